// Opening the debug log file on POSIX: created with user-only permissions.
#include <fcntl.h>
#include <unistd.h>

#include "host/base/debug_log.h"

namespace kelvo {

bool DebugLog::open_file(const std::string& path, bool truncate) {
  std::lock_guard lock(mutex_);
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
  int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return false;
  std::FILE* f = ::fdopen(fd, truncate ? "w" : "a");
  if (!f) {
    ::close(fd);
    return false;
  }
  adopt_file(f);
  return true;
}

}  // namespace kelvo
