// The file-existence test on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/base/files.h"

namespace kelvo {

int file_exists(const std::string& path) {
  if (path.empty()) return 0;
  // Non-blocking: opening a FIFO must not wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  struct stat st {};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular ? 1 : 0;
}

}  // namespace kelvo
