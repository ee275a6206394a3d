// File helpers shared by every reader: the path separator, the directory part
// of a path, the file-existence test and the names of the engine's own work
// files.
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

// The files the engine itself writes into its work directory, beside the
// unpacked members: the member stream while it is split, the list of
// members, the logo texture, and the instance lock with its temporary name.
inline constexpr const char* kStreamFileName = "Kelvo.tmp";
inline constexpr const char* kListFileName = "files.lst";
inline constexpr const char* kLogoFileName = "KLV.3DF";
inline constexpr const char* kLockFileName = ".kelvo-lock";
inline constexpr const char* kLockTempFileName = ".kelvo-lock.new";

// True when `name` is one of those work files, in any case: a package must
// unpack the same on every platform, and where names ignore case "klv.3df"
// is the logo's file.
bool is_work_file_name(std::string_view name);

}  // namespace kelvo
