// The file-existence test and the opening of regular files on Windows.
#include <windows.h>

#include "host/base/files.h"

namespace kelvo {

int file_exists(const std::string& path) {
  if (path.empty()) return 0;
  // Opened for reading with every kind of sharing: a file that another
  // program holds open still counts. Devices ("CON", "\\.\...") and folders
  // are no files.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  const bool regular = GetFileType(h) == FILE_TYPE_DISK && !(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  return regular ? 1 : 0;
}

UniqueFile open_regular_file(const std::string& path) {
  if (path.find('\0') != std::string::npos || !file_exists(path)) return nullptr;
  return UniqueFile(std::fopen(path.c_str(), "rb"));
}

}  // namespace kelvo
