#include "host/work_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/recording_platform.h"

namespace fs = std::filesystem;

namespace kelvo {
namespace {

mode_t mode_of(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void touch(const std::string& path, const std::string& text = "x") { std::ofstream(path) << text; }

// Points XDG_RUNTIME_DIR at a fresh private directory for each test and puts
// XDG_RUNTIME_DIR and TMPDIR back afterwards.
class WorkDirTest : public ::testing::Test {
 protected:
  WorkDirTest() {
    for (auto& [name, value] : saved_)
      if (const char* v = std::getenv(name)) value = v;
    EXPECT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  ~WorkDirTest() override {
    for (auto& [name, value] : saved_) value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }

  std::optional<InstanceWorkDir> create() { return InstanceWorkDir::create(error_); }

  std::string error_;  // the last refusal
  test::TempDir root_;
  const std::string runtime_ = root_.file("run"), base_ = runtime_ + "/kelvo";
  std::pair<const char*, std::optional<std::string>> saved_[2] = {{"XDG_RUNTIME_DIR", {}}, {"TMPDIR", {}}};
};

TEST_F(WorkDirTest, InstanceDirsArePrivateLockedAndRemovedWithTheirFilesButNeverByEachOther) {
  auto a = create(), b = create();
  ASSERT_TRUE(a && b) << error_;
  const std::string p = a->path(), q = b->path();
  EXPECT_NE(p, q);
  EXPECT_EQ(p.rfind(base_ + "/inst-", 0), 0u) << p;
  EXPECT_EQ(mode_of(base_), 0700u);
  EXPECT_EQ(mode_of(p), 0700u);
  // The lock file exists and is held: another descriptor cannot take it.
  const int fd = ::open((p + InstanceWorkDir::kLockName).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);

  touch(p + "SCENE1");
  touch(q + "SCENE1");
  EXPECT_EQ(InstanceWorkDir::remove_stale(base_), 0);  // live instances are left alone
  b.reset();
  EXPECT_FALSE(fs::exists(q));
  {
    InstanceWorkDir moved(std::move(*a));
    a.reset();  // the moved-from object removes nothing
    EXPECT_TRUE(fs::exists(p + "SCENE1"));
  }
  EXPECT_FALSE(fs::exists(p));
  EXPECT_TRUE(fs::is_empty(base_));
}

TEST_F(WorkDirTest, StaleInstanceDirsAreRemovedWithoutFollowingLinks) {
  // As crashed instances leave them. An unlocked lock file: removed at once,
  // whatever its age; a symbolic link inside is removed, its target left alone.
  const std::string dead = base_ + "/inst-dead01", young = base_ + "/inst-young1";
  fs::create_directories(dead);
  touch(dead + "/" + InstanceWorkDir::kLockName, "");
  touch(root_.file("outside.txt"), "keep me");
  ASSERT_EQ(::symlink(root_.file("outside.txt").c_str(), (dead + "/link").c_str()), 0);
  // No lock file and recent: perhaps an instance that is starting; kept.
  fs::create_directories(young);
  touch(young + "/SCENE1");
  // An instance entry that is a link to somewhere else is not followed.
  fs::create_directories(root_.file("victim"));
  touch(root_.file("victim/precious"));
  touch(root_.file("victim/") + InstanceWorkDir::kLockName, "");
  ASSERT_EQ(::symlink(root_.file("victim").c_str(), (base_ + "/inst-evil01").c_str()), 0);
  // Entries that are not instance directories are none of our business.
  touch(base_ + "/other-file");

  auto dir = create();
  ASSERT_TRUE(dir) << error_;
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(root_.file("outside.txt")));
  EXPECT_TRUE(fs::exists(young + "/SCENE1"));
  EXPECT_TRUE(fs::exists(root_.file("victim/precious")));
  EXPECT_TRUE(fs::exists(base_ + "/other-file"));
  EXPECT_TRUE(fs::exists(dir->path()));
}

TEST_F(WorkDirTest, UnsafeBasesAreRefusedOrTightened) {
  // A symbolic link as the base: refused, and nothing is made behind it.
  fs::create_directories(root_.file("elsewhere"));
  ASSERT_EQ(::symlink(root_.file("elsewhere").c_str(), base_.c_str()), 0);
  EXPECT_FALSE(create());
  EXPECT_NE(error_.find("symbolic link"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(root_.file("elsewhere")));
  ASSERT_EQ(::unlink(base_.c_str()), 0);
  // A plain file as the base: refused.
  touch(base_);
  EXPECT_FALSE(create());
  EXPECT_NE(error_.find("not a directory"), std::string::npos);
  ASSERT_EQ(::unlink(base_.c_str()), 0);
  // Our own base open to others: made private again before use.
  ASSERT_EQ(::mkdir(base_.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(base_.c_str(), 0755), 0);
  EXPECT_TRUE(create()) << error_;
  EXPECT_EQ(mode_of(base_), 0700u);
}

TEST_F(WorkDirTest, WithoutAUsableRuntimeDirTheTemporaryFolderIsUsedAsPrivately) {
  const std::string root = root_.path().substr(0, root_.path().size() - 1);
  const std::string fallback = root + "/kelvo-" + std::to_string(::geteuid());
  ::setenv("TMPDIR", root.c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);
  EXPECT_EQ(InstanceWorkDir::base_path(), fallback);
  ::setenv("XDG_RUNTIME_DIR", (root + "/missing").c_str(), 1);
  auto dir = create();
  ASSERT_TRUE(dir) << error_;
  EXPECT_EQ(dir->path().rfind(fallback + "/inst-", 0), 0u);
  EXPECT_EQ(mode_of(fallback), 0700u);
}

}  // namespace
}  // namespace kelvo
