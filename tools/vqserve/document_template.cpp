#include "vqserve/document_template.h"

#include <cstring>
#include <utility>

namespace vqtools {

namespace {

const char kServerBase[] = "server.base";
const char kDownloadBase[] = "download.base";
const char kDownloadMd5[] = "download.md5:";
const char kDownloadSha256[] = "download.sha256:";

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

DocumentTemplate::DocumentTemplate(std::string server_base,
                                   std::string download_base,
                                   const DownloadFolder* downloads)
    : server_base_(std::move(server_base)),
      download_base_(std::move(download_base)),
      downloads_(downloads) {}

std::string DocumentTemplate::expand(const std::string& text,
                                     std::vector<std::string>* warnings) const {
  std::string out;
  out.reserve(text.size());
  size_t position = 0;
  while (true) {
    const size_t start = text.find("${", position);
    const size_t end =
        start == std::string::npos ? start : text.find('}', start + 2);
    if (end == std::string::npos) {
      out.append(text, position, std::string::npos);
      return out;
    }
    out.append(text, position, start - position);
    const std::string name = text.substr(start + 2, end - start - 2);
    const std::string placeholder = text.substr(start, end - start + 1);
    if (name == kServerBase) {
      out += server_base_;
    } else if (name == kDownloadBase) {
      out += download_base_;
    } else if (startsWith(name, kDownloadMd5) ||
               startsWith(name, kDownloadSha256)) {
      const bool md5 = startsWith(name, kDownloadMd5);
      const std::string file = name.substr(
          md5 ? sizeof(kDownloadMd5) - 1 : sizeof(kDownloadSha256) - 1);
      const std::string path =
          downloads_ ? downloads_->resolve(file) : std::string();
      std::string digest;
      if (!path.empty() && (md5 ? fileMd5Hex(path, &digest)
                                : fileSha256Hex(path, &digest))) {
        out += digest;
      } else {
        out += placeholder;
        warnings->push_back("no download file for " + placeholder);
      }
    } else {
      out += placeholder;
    }
    position = end + 1;
  }
}

}  // namespace vqtools
