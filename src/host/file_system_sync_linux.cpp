#include "host/file_system_sync.h"

#include <fcntl.h>
#include <unistd.h>

namespace host {

bool syncFileSystemContaining(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::syncfs(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace host
