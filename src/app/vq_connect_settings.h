#ifndef VQ_APP_VQ_CONNECT_SETTINGS_H_
#define VQ_APP_VQ_CONNECT_SETTINGS_H_

#include <apr_pools.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace log4cpp {
class Category;
}  // namespace log4cpp

// Reader of the server list file "vqconnect.xml":
//   <vqconnect version="1.0"><server>URL</server>...</vqconnect>
// The root name and the version are compared without regard to case. The
// program never writes this file; the servers change it through xmledit.
class VqConnectSettings {
 public:
  // The file name, relative to the working directory (the data directory).
  static const std::string vqConnectFilename;

  // Does not read the file. `pool` is kept for the owner's convenience.
  explicit VqConnectSettings(apr_pool_t* pool);
  // Reads `fileName` instead of vqConnectFilename.
  VqConnectSettings(apr_pool_t* pool, std::string fileName);

  // Reads the file. On failure records the error (see getError), logs it at
  // error priority and keeps the previous server list. Never throws.
  void read();
  // read(), then a copy of the server list: file order, no duplicates
  // (exact comparison), empty server elements skipped.
  std::vector<std::string> getServers();
  // False once any read has failed; never reset.
  bool isOk() const { return error == 0; }
  // The text of the last failure.
  const std::string& getError() const { return errorText; }
  // Always throws the std::string "VqConnectSettings should never be written
  // - it can be updated using xmledit".
  [[noreturn]] void write();
  // read(), then prints servers = ["a","b"] and a newline to `out`.
  void debug(std::ostream& out);
  void debug();

 private:
  log4cpp::Category& logger;
  int error;
  std::string errorText;
  std::vector<std::string> servers;
  apr_pool_t* pool;
  std::string fileName_;
};

#endif  // VQ_APP_VQ_CONNECT_SETTINGS_H_
