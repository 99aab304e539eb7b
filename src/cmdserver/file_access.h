#ifndef VQ_CMDSERVER_FILE_ACCESS_H_
#define VQ_CMDSERVER_FILE_ACCESS_H_

#include <sys/types.h>

#include <string>

namespace cmdserver {

// Decides which file of the data directory a request path may read. Only
// regular files are served, and only when their real path (every link
// resolved) lies inside the data directory's real path and names no private
// file, and when they are not another name (a hard link) for one of the
// agent's private files.
class FileAccess {
 public:
  enum class Verdict { kServe, kPrivate, kNotFound };

  struct Decision {
    Verdict verdict = Verdict::kNotFound;
    std::string realPath;  // the file to send, for kServe
  };

  explicit FileAccess(const std::string& dataDir);

  // `path` is the decoded request path (no query).
  Decision decide(const std::string& path) const;

 private:
  bool isPrivateFileByIdentity(dev_t device, ino_t inode) const;

  std::string dataDir_;
  std::string realDataDir_;
};

}  // namespace cmdserver

#endif  // VQ_CMDSERVER_FILE_ACCESS_H_
