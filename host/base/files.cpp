#include "host/base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace kelvo {

std::string directory_of(std::string_view path) {
  std::size_t slash = path.find_last_of(kPathSeparator);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool is_work_file_name(std::string_view name) {
  const auto same_ignoring_case = [name](std::string_view work) {
    return name.size() == work.size() &&
           std::equal(name.begin(), name.end(), work.begin(), [](unsigned char a, unsigned char b) {
             return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
           });
  };
  for (const char* work : {kStreamFileName, kListFileName, kLogoFileName, kLockFileName, kLockTempFileName})
    if (same_ignoring_case(work)) return true;
  return false;
}

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
