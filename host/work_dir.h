// The private work directory of one running player.
//
// Every instance gets its own directory under a per-user base. On POSIX
// (host/work_dir_posix.cpp):
//   $XDG_RUNTIME_DIR/kelvo/inst-XXXXXX/         when XDG_RUNTIME_DIR is usable,
//   ${TMPDIR:-/tmp}/kelvo-<uid>/inst-XXXXXX/    otherwise.
// The base and the instance directories are mode 0700 and owned by the user;
// a base that is a symbolic link, not a directory or someone else's is
// refused. Each instance holds an exclusive flock on a lock file inside its
// directory for as long as it lives; a directory whose lock can be taken
// belongs to an instance that has ended and is removed when the next instance
// starts. Removal never follows symbolic links and never recurses.
//
// On Windows (host/work_dir_win32.cpp) the base is "kelvo" in the user's
// temporary folder, which lies in the user's profile and is private to the
// user; the lock file is held open without sharing, so only an ended
// instance's lock can be deleted. Links and junctions are never followed.
#pragma once

#include <optional>
#include <string>

#include "host/base/files.h"

namespace kelvo {

class InstanceWorkDir {
 public:
  // The name of the lock file inside each instance directory.
  static constexpr const char* kLockName = kLockFileName;
  // An instance directory without a lock file is left alone until it is this
  // old (it may belong to an instance that is still starting).
  static constexpr int kUnlockedGraceSeconds = 60;

  // Makes the base if needed, removes the directories of ended instances and
  // creates this instance's directory. nullopt with `error` set on failure.
  static std::optional<InstanceWorkDir> create(std::string& error);

  // The base directory from the environment (no trailing '/'); does not
  // create or check it.
  static std::string base_path();

  // Creates `base` if needed and checks that it is a private directory of
  // this user (not a link); returns it open (close it), or -1 with `error`.
  static int open_private_base(const std::string& base, std::string& error);

  // Removes the directories of ended instances in `base`. Returns how many
  // were removed.
  static int remove_stale(const std::string& base);

  InstanceWorkDir(InstanceWorkDir&& other) noexcept;
  InstanceWorkDir& operator=(InstanceWorkDir&& other) noexcept;
  InstanceWorkDir(const InstanceWorkDir&) = delete;
  InstanceWorkDir& operator=(const InstanceWorkDir&) = delete;
  // Deletes the files in the directory (not subdirectories), then the
  // directory itself, and releases the lock.
  ~InstanceWorkDir();

  // The instance directory, ending in the path separator.
  const std::string& path() const { return path_; }

 private:
  InstanceWorkDir(std::string path, int dir_fd, int lock_fd)
      : path_(std::move(path)), dir_fd_(dir_fd), lock_fd_(lock_fd) {}
  void release();

  std::string path_;
  // The open directory and lock file. On Windows only the lock is held, as a
  // C runtime descriptor of its file handle.
  int dir_fd_ = -1;
  int lock_fd_ = -1;
};

// A platform's instance directory, made on first use. A failure is reported
// once on stderr under `program`'s name and gives "" from then on.
class LazyWorkDir {
 public:
  explicit LazyWorkDir(const char* program) : program_(program) {}
  std::string path();

 private:
  const char* program_;
  std::optional<InstanceWorkDir> dir_;
  bool failed_ = false;
};

}  // namespace kelvo
