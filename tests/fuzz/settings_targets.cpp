// The settings files the servers may rewrite through xmledit: the server
// list "vqconnect.xml" and the feed file "vqfeed.xml", each read from a
// scratch data directory.
#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/vq_connect_settings.h"
#include "engine/vq_feed_settings.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "support/apr_pool.h"
#include "web/web.h"

namespace vq_fuzz {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A request that is only filled, never sent.
class UnsentWeb : public Web {
 public:
  explicit UnsentWeb(apr_pool_t* pool) : Web(pool) {}
  bool get() override { return false; }
};

}  // namespace

bool FuzzConnectSettings(const uint8_t* data, size_t size,
                         std::string* failure) {
  ScratchDir dir;
  WriteFile(VqConnectSettings::vqConnectFilename, Bytes(data, size));
  apr::Pool pool;
  VqConnectSettings settings(pool);
  const std::vector<std::string> servers = settings.getServers();
  const std::set<std::string> distinct(servers.begin(), servers.end());
  if (distinct.size() != servers.size()) {
    *failure = "the server list holds a duplicate";
    return false;
  }
  if (distinct.count("")) {
    *failure = "the server list holds an empty server";
    return false;
  }
  return true;
}

bool FuzzFeedSettings(const uint8_t* data, size_t size, std::string* failure) {
  ScratchDir dir;
  WriteFile(VqFeedSettings::feedSettingsFilename, Bytes(data, size));
  // Files the feed's include elements may name.
  WriteFile("a.txt", "included text");
  WriteFile("b.xml", "<b><c/></b>");
  apr::Pool pool;
  {
    VqFeedSettings feed(pool);
    UnsentWeb web(pool);
    feed.prepareRequest(web);
  }
  VqFeedSettings::getUserId();
  (void)failure;
  return true;
}

}  // namespace vq_fuzz
