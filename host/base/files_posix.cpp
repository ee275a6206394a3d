// The file-existence test and the opening of regular files on POSIX.
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

UniqueFile open_regular_file(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  // A regular file: reads block (briefly) as usual again.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return UniqueFile(f);
}

}  // namespace kelvo
