#include "transact/file_system_sync.h"

#include <fcntl.h>
#include <unistd.h>

bool syncFileSystemContaining(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
#if defined(__linux__)
  const bool ok = ::syncfs(fd) == 0;
#else
  // No per-file-system flush here: flush them all.
  ::sync();
  const bool ok = true;
#endif
  ::close(fd);
  return ok;
}
