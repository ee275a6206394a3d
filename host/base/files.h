// File helpers shared by every reader: the path separator, the directory part
// of a path and the file-existence test.
#pragma once

#include <string>
#include <string_view>

namespace kelvo {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// 1 when `path` names an existing regular file that can be opened, else 0.
int file_exists(const std::string& path);

// The directory part of `path` including its last separator ("" if none).
std::string directory_of(std::string_view path);

}  // namespace kelvo
