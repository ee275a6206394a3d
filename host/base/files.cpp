#include "host/base/files.h"

#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvo {

namespace fs = std::filesystem;

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_but_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

bool plain_file_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// Something other than a directory stands at `path`.
bool non_directory_at(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return !ec && fs::exists(status) && !fs::is_directory(status);
}

}  // namespace

std::string directory_of(std::string_view path) {
  std::size_t slash = path.find_last_of(kPathSeparator);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string find_file(const std::string& directory, std::string_view name) {
  if (!plain_file_name(name)) return {};
  std::string exact = directory + std::string(name);
  if (non_directory_at(exact)) return exact;

  // Only when the exact name is missing: one pass over the directory.
  std::string best;
  std::error_code ec;
  fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (!same_but_case(entry, name) || (!best.empty() && entry >= best)) continue;
    std::error_code type_error;
    if (it->is_directory(type_error)) continue;
    best = std::move(entry);
  }
  return best.empty() ? std::string() : directory + best;
}

#ifndef _WIN32

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

#else

int file_exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec) ? 1 : 0;
}

UniqueFile open_regular_file(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !fs::is_regular_file(path, ec)) return nullptr;
  return UniqueFile(std::fopen(path.c_str(), "rb"));
}

#endif

}  // namespace kelvo
