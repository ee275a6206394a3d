#include "host/base/files.h"

#include "host/base/text_helpers.h"

namespace kelvo {

std::string directory_of(std::string_view path) {
  std::size_t slash = path.find_last_of(kPathSeparator);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool is_work_file_name(std::string_view name) {
  for (const char* work : {kStreamFileName, kListFileName, kLogoFileName, kLockFileName, kLockTempFileName})
    if (equal_ignoring_case(name, work)) return true;
  return false;
}

}  // namespace kelvo
