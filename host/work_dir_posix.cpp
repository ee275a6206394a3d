#include "host/work_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace kelvo {

namespace {

constexpr const char* kInstancePrefix = "inst-";
constexpr const char* kLockTempName = kLockTempFileName;

std::string without_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// XDG_RUNTIME_DIR is only used when it names a directory of ours that we can
// write to.
bool runtime_dir_usable(const char* dir) {
  if (!dir || dir[0] != '/') return false;
  struct stat st;
  if (::stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != ::geteuid()) return false;
  return ::access(dir, W_OK | X_OK) == 0;
}

std::string errno_text(int err) { return std::strerror(err); }

// The names of the entries of the directory open as `dir_fd`, without "." and
// "..". The descriptor's position is shared with the copy that is read.
std::vector<std::string> list_entries(int dir_fd) {
  std::vector<std::string> names;
  int copy = ::dup(dir_fd);
  if (copy < 0) return names;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return names;
  }
  ::rewinddir(dir);
  while (struct dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

// Unlinks every entry of the directory that is not a directory (symbolic
// links are removed, never followed), except `keep`.
void remove_files(int dir_fd, const char* keep) {
  for (const std::string& name : list_entries(dir_fd)) {
    if (keep && name == keep) continue;
    struct stat st;
    if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) continue;
    ::unlinkat(dir_fd, name.c_str(), 0);
  }
}

// Creates (if needed) and checks the base directory; returns it open, or -1
// with `error` set.
int open_base(const std::string& base, std::string& error) {
  if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + base + ": " + errno_text(errno);
    return -1;
  }
  struct stat st;
  if (::lstat(base.c_str(), &st) != 0) {
    error = "cannot examine " + base + ": " + errno_text(errno);
    return -1;
  }
  if (S_ISLNK(st.st_mode)) {
    error = base + " is a symbolic link; refusing to use it";
    return -1;
  }
  if (!S_ISDIR(st.st_mode)) {
    error = base + " is not a directory";
    return -1;
  }
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + base + ": " + errno_text(errno);
    return -1;
  }
  // Checked again on the open directory: the name may have been swapped.
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = base + " is not a directory";
    ::close(fd);
    return -1;
  }
  if (st.st_uid != ::geteuid()) {
    error = base + " belongs to another user; refusing to use it";
    ::close(fd);
    return -1;
  }
  if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
    error = base + " is accessible to other users and cannot be made private: " + errno_text(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string random_suffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // No entropy source: time and pid still make a collision unlikely, and
    // mkdirat refuses names that exist.
    unsigned long long seed = static_cast<unsigned long long>(std::time(nullptr)) * 6364136223846793005ull +
                              static_cast<unsigned long long>(::getpid()) + reinterpret_cast<std::uintptr_t>(bytes);
    for (unsigned char& b : bytes) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      b = static_cast<unsigned char>(seed >> 56);
    }
  }
  std::string s;
  for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

}  // namespace

int InstanceWorkDir::open_private_base(const std::string& base, std::string& error) {
  return open_base(base, error);
}

std::string InstanceWorkDir::base_path() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime_dir_usable(runtime)) {
    std::string dir = without_trailing_slashes(runtime);
    return (dir == "/" ? std::string() : dir) + "/kelvo";
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp && tmp[0] == '/') ? without_trailing_slashes(tmp) : std::string("/tmp");
  return (dir == "/" ? std::string() : dir) + "/kelvo-" + std::to_string(::geteuid());
}

int InstanceWorkDir::remove_stale(const std::string& base) {
  int base_fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (base_fd < 0) return 0;
  int removed = 0;
  const std::time_t now = std::time(nullptr);
  for (const std::string& name : list_entries(base_fd)) {
    if (name.rfind(kInstancePrefix, 0) != 0) continue;
    int dir_fd = ::openat(base_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir_fd < 0) continue;  // a symbolic link or something else: not ours
    struct stat st;
    if (::fstat(dir_fd, &st) != 0 || st.st_uid != ::geteuid()) {
      ::close(dir_fd);
      continue;
    }
    int lock_fd = ::openat(dir_fd, kLockName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (lock_fd >= 0) {
      if (::flock(lock_fd, LOCK_EX | LOCK_NB) != 0) {
        // Its instance is running.
        ::close(lock_fd);
        ::close(dir_fd);
        continue;
      }
    } else if (now - st.st_mtime < kUnlockedGraceSeconds) {
      // No lock yet: possibly an instance that is just starting.
      ::close(dir_fd);
      continue;
    }
    // We hold the lock (or there is none): nobody else uses the directory.
    remove_files(dir_fd, kLockName);
    ::unlinkat(dir_fd, kLockName, 0);
    ::close(dir_fd);
    if (lock_fd >= 0) ::close(lock_fd);
    if (::unlinkat(base_fd, name.c_str(), AT_REMOVEDIR) == 0) ++removed;
  }
  ::close(base_fd);
  return removed;
}

std::optional<InstanceWorkDir> InstanceWorkDir::create(std::string& error) {
  const std::string base = base_path();
  int base_fd = open_base(base, error);
  if (base_fd < 0) return std::nullopt;

  remove_stale(base);

  std::string name;
  bool made = false;
  for (int attempt = 0; attempt < 100 && !made; ++attempt) {
    name = std::string(kInstancePrefix) + random_suffix();
    if (::mkdirat(base_fd, name.c_str(), 0700) == 0) {
      made = true;
    } else if (errno != EEXIST) {
      error = "cannot create a directory in " + base + ": " + errno_text(errno);
      ::close(base_fd);
      return std::nullopt;
    }
  }
  if (!made) {
    error = "cannot find a free directory name in " + base;
    ::close(base_fd);
    return std::nullopt;
  }
  const std::string dir = base + "/" + name;
  auto fail = [&](const std::string& what, int dir_fd, int lock_fd) -> std::optional<InstanceWorkDir> {
    error = what + ": " + errno_text(errno);
    if (lock_fd >= 0) ::close(lock_fd);
    if (dir_fd >= 0) {
      remove_files(dir_fd, nullptr);
      ::close(dir_fd);
    }
    ::unlinkat(base_fd, name.c_str(), AT_REMOVEDIR);
    ::close(base_fd);
    return std::nullopt;
  };

  int dir_fd = ::openat(base_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir_fd < 0) return fail("cannot open " + dir, -1, -1);
  // The lock is taken under another name and then moved into place, so no
  // other instance can ever find our lock file unlocked.
  int lock_fd = ::openat(dir_fd, kLockTempName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock_fd < 0) return fail("cannot create the lock file in " + dir, dir_fd, -1);
  if (::flock(lock_fd, LOCK_EX | LOCK_NB) != 0) return fail("cannot lock " + dir, dir_fd, lock_fd);
  if (::renameat(dir_fd, kLockTempName, dir_fd, kLockName) != 0)
    return fail("cannot create the lock file in " + dir, dir_fd, lock_fd);
  ::close(base_fd);
  return InstanceWorkDir(dir + "/", dir_fd, lock_fd);
}

void InstanceWorkDir::release() {
  if (dir_fd_ >= 0) {
    remove_files(dir_fd_, kLockName);
    ::unlinkat(dir_fd_, kLockName, 0);
    ::close(dir_fd_);
    dir_fd_ = -1;
    // The base is ours and private, so the name still means our directory.
    ::rmdir(without_trailing_slashes(path_).c_str());
  }
  if (lock_fd_ >= 0) {
    ::close(lock_fd_);
    lock_fd_ = -1;
  }
  path_.clear();
}

}  // namespace kelvo
