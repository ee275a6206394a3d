#include "host/base/files.h"

namespace kelvo {

std::string directory_of(std::string_view path) {
  std::size_t slash = path.find_last_of(kPathSeparator);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

}  // namespace kelvo
