// File helpers shared by every reader: the path separator, the directory part
// of a path, the lookup of a file a scene names whatever the case of its
// letters, the file-existence test, the opening of regular files only and the
// names of the engine's own work files.
#pragma once

#include <cstdio>
#include <memory>
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

// The file `name` of `directory` (which ends in a separator, or is empty for
// the current directory), found the way the platform scenes are authored on
// finds it: whatever the case of its letters. The exact name wins when it is
// there; otherwise, among the entries whose names differ from `name` only in
// the case of ASCII letters, the first in byte order ("VASE.3DS" before
// "Vase.3ds"). Directories never match. Returns directory + the name found,
// or "" when nothing matches or `name` is not a plain file name (empty, "."
// or "..", or holding a separator or a NUL byte).
std::string find_file(const std::string& directory, std::string_view name);

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for binary reading if it is a regular file. A FIFO, device or
// directory is refused without blocking (opening a FIFO would wait for a
// writer). Null when refused or unreadable.
UniqueFile open_regular_file(const std::string& path);

}  // namespace kelvo
