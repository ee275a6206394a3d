// One full-screen player per user at a time (POSIX).
//
// The lock is a record lock on "fullscreen.lock" in the per-user runtime
// directory of the instance work directories. The kernel drops it when its
// process ends, however it ends, so a killed player never blocks the next
// start; the holder's process id comes from the kernel, not from the file.
// The holder removes the file when it lets go; a starter that locked a file
// which was removed meanwhile tries again on the new one.
#pragma once

#include <sys/types.h>

#include <string>

namespace kelvo {

class FullScreenLock {
 public:
  static constexpr const char* kFileName = "fullscreen.lock";

  enum class Result {
    acquired,        // this process is the full-screen player
    held,            // another one is: `holder` is its process id
    unavailable,     // no lock could be made (`error` says why)
  };

  FullScreenLock() = default;
  FullScreenLock(const FullScreenLock&) = delete;
  FullScreenLock& operator=(const FullScreenLock&) = delete;
  ~FullScreenLock() { release(); }

  // Takes the lock in the directory `base` (made private if missing).
  Result acquire(const std::string& base, pid_t& holder, std::string& error);
  void release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  int base_fd_ = -1;
};

}  // namespace kelvo
