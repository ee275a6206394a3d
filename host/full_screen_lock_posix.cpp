#include "host/full_screen_lock_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/work_dir.h"

namespace kelvo {

namespace {

struct flock whole_file(short type) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

// Whether the name in the directory still means the open file.
bool still_named(int base_fd, int fd) {
  struct stat named, open;
  return ::fstatat(base_fd, FullScreenLock::kFileName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

}  // namespace

FullScreenLock::Result FullScreenLock::acquire(const std::string& base, pid_t& holder, std::string& error) {
  release();
  holder = 0;
  base_fd_ = InstanceWorkDir::open_private_base(base, error);
  if (base_fd_ < 0) return Result::unavailable;
  // A few rounds: each lost race means another process just took or freed it.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::openat(base_fd_, kFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      error = base + "/" + kFileName + ": " + std::strerror(errno);
      break;
    }
    struct flock lock = whole_file(F_WRLCK);
    if (::fcntl(fd, F_SETLK, &lock) == 0) {
      if (still_named(base_fd_, fd)) {
        fd_ = fd;
        return Result::acquired;
      }
      ::close(fd);  // locked a file its holder had just removed
      continue;
    }
    const int err = errno;
    struct flock probe = whole_file(F_WRLCK);
    const bool known = (err == EACCES || err == EAGAIN) && ::fcntl(fd, F_GETLK, &probe) == 0;
    ::close(fd);
    if (!known) {
      error = base + "/" + kFileName + ": " + std::strerror(err);
      break;
    }
    if (probe.l_type == F_UNLCK) continue;  // freed meanwhile
    holder = probe.l_pid;
    ::close(base_fd_);
    base_fd_ = -1;
    return Result::held;
  }
  if (error.empty()) error = "the lock " + base + "/" + kFileName + " kept changing hands";
  ::close(base_fd_);
  base_fd_ = -1;
  return Result::unavailable;
}

void FullScreenLock::release() {
  if (fd_ >= 0) {
    // Removed while still locked, so nobody can lock the old file and think
    // it is the current one.
    ::unlinkat(base_fd_, kFileName, 0);
    ::close(fd_);
    fd_ = -1;
  }
  if (base_fd_ >= 0) {
    ::close(base_fd_);
    base_fd_ = -1;
  }
}

}  // namespace kelvo
