// What the work directory does the same on every platform: moving the
// handle and making the directory on first use.
#include <cstdio>

#include "host/work_dir.h"

namespace kelvo {

InstanceWorkDir::InstanceWorkDir(InstanceWorkDir&& other) noexcept
    : path_(std::move(other.path_)), dir_fd_(other.dir_fd_), lock_fd_(other.lock_fd_) {
  other.path_.clear();
  other.dir_fd_ = -1;
  other.lock_fd_ = -1;
}

InstanceWorkDir& InstanceWorkDir::operator=(InstanceWorkDir&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    dir_fd_ = other.dir_fd_;
    lock_fd_ = other.lock_fd_;
    other.path_.clear();
    other.dir_fd_ = -1;
    other.lock_fd_ = -1;
  }
  return *this;
}

InstanceWorkDir::~InstanceWorkDir() { release(); }

std::string LazyWorkDir::path() {
  if (dir_) return dir_->path();
  if (failed_) return {};
  std::string error;
  dir_ = InstanceWorkDir::create(error);
  if (!dir_) {
    failed_ = true;
    std::fprintf(stderr, "%s: no private work directory: %s\n", program_, error.c_str());
    return {};
  }
  return dir_->path();
}

}  // namespace kelvo
