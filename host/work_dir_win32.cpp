// The private work directory of one running instance on Windows (see
// host/work_dir.h): "kelvo\inst-XXXXXX\" in the user's temporary folder, with
// a lock file that its instance holds open without sharing.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <random>
#include <vector>

#include "host/work_dir.h"

namespace kelvo {

namespace {

constexpr const char* kInstancePrefix = "inst-";

std::string error_text(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string s = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s;
}

struct FoundEntry {
  std::string name;
  DWORD attributes = 0;
  FILETIME written{};
};

// The entries of `dir` matching `pattern`, without "." and "..".
std::vector<FoundEntry> list_entries(const std::string& dir, const char* pattern) {
  std::vector<FoundEntry> entries;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, data.dwFileAttributes, data.ftLastWriteTime});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

bool is_plain_directory(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deletes every entry of `dir` that is not a directory, except `keep`. A link
// is deleted as a link; its target is never touched.
void remove_files(const std::string& dir, const char* keep) {
  for (const FoundEntry& entry : list_entries(dir, "*")) {
    if (keep && entry.name == keep) continue;
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string path = dir + "\\" + entry.name;
    if (entry.attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
}

std::int64_t seconds_since(const FILETIME& then) {
  FILETIME now_ft;
  GetSystemTimeAsFileTime(&now_ft);
  auto ticks = [](const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(now_ft) - ticks(then)) / 10000000;
}

std::string random_suffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::string s;
  for (int i = 0; i < 6; ++i) s += kChars[device() % (sizeof kChars - 1)];
  return s;
}

}  // namespace

std::string InstanceWorkDir::base_path() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  std::string dir = n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string("C:\\Windows\\Temp\\");
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  if (dir.back() != '\\') dir += '\\';
  return dir + "kelvo";
}

int InstanceWorkDir::remove_stale(const std::string& base) {
  int removed = 0;
  for (const FoundEntry& entry : list_entries(base, "inst-*")) {
    if (!is_plain_directory(entry.attributes)) continue;  // a link or a file: not ours
    const std::string dir = base + "\\" + entry.name;
    const std::string lock = dir + "\\" + kLockName;
    if (GetFileAttributesA(lock.c_str()) != INVALID_FILE_ATTRIBUTES) {
      // A running instance holds its lock open without sharing: the delete
      // fails with a sharing violation.
      if (!DeleteFileA(lock.c_str())) continue;
    } else if (seconds_since(entry.written) < kUnlockedGraceSeconds) {
      continue;  // possibly an instance that is just starting
    }
    remove_files(dir, nullptr);
    if (RemoveDirectoryA(dir.c_str())) ++removed;
  }
  return removed;
}

std::optional<InstanceWorkDir> InstanceWorkDir::create(std::string& error) {
  const std::string base = base_path();
  if (!CreateDirectoryA(base.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    error = "cannot create " + base + ": " + error_text(GetLastError());
    return std::nullopt;
  }
  if (!is_plain_directory(GetFileAttributesA(base.c_str()))) {
    error = base + " is not a plain directory; refusing to use it";
    return std::nullopt;
  }
  remove_stale(base);

  std::string dir;
  bool made = false;
  for (int attempt = 0; attempt < 100 && !made; ++attempt) {
    dir = base + "\\" + kInstancePrefix + random_suffix();
    if (CreateDirectoryA(dir.c_str(), nullptr)) {
      made = true;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      error = "cannot create a directory in " + base + ": " + error_text(GetLastError());
      return std::nullopt;
    }
  }
  if (!made) {
    error = "cannot find a free directory name in " + base;
    return std::nullopt;
  }
  // Created and locked in one step: no other instance ever sees it unlocked.
  HANDLE lock = CreateFileA((dir + "\\" + kLockName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (lock == INVALID_HANDLE_VALUE) {
    error = "cannot create the lock file in " + dir + ": " + error_text(GetLastError());
    RemoveDirectoryA(dir.c_str());
    return std::nullopt;
  }
  const int lock_fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(lock), _O_RDWR | _O_NOINHERIT);
  if (lock_fd < 0) {
    error = "cannot hold the lock file in " + dir;
    CloseHandle(lock);
    DeleteFileA((dir + "\\" + kLockName).c_str());
    RemoveDirectoryA(dir.c_str());
    return std::nullopt;
  }
  return InstanceWorkDir(dir + "\\", -1, lock_fd);
}

void InstanceWorkDir::release() {
  if (lock_fd_ >= 0) {
    const std::string dir = path_.substr(0, path_.size() - 1);
    remove_files(dir, kLockName);
    _close(lock_fd_);  // closes the lock file's handle
    lock_fd_ = -1;
    DeleteFileA((dir + "\\" + kLockName).c_str());
    RemoveDirectoryA(dir.c_str());
  }
  path_.clear();
}

}  // namespace kelvo
