#include "host/base/files.h"

#include <filesystem>
#include <system_error>

#include "host/base/text_helpers.h"

namespace kelvo {

namespace fs = std::filesystem;

namespace {

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
    if (!equal_ignoring_case(entry, name) || (!best.empty() && entry >= best)) continue;
    std::error_code type_error;
    if (it->is_directory(type_error)) continue;
    best = std::move(entry);
  }
  return best.empty() ? std::string() : directory + best;
}

bool is_work_file_name(std::string_view name) {
  for (const char* work : {kStreamFileName, kListFileName, kLogoFileName, kLockFileName, kLockTempFileName})
    if (equal_ignoring_case(name, work)) return true;
  return false;
}

}  // namespace kelvo
