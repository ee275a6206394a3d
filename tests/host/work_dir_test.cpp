#include "host/work_dir_posix.h"

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

std::string strip_slash(const std::string& p) { return p.ends_with('/') ? p.substr(0, p.size() - 1) : p; }

int count_instances(const std::string& base) {
  int n = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(base, ec))
    n += entry.path().filename().string().starts_with("inst-");
  return n;
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

  static std::optional<InstanceWorkDir> create() {
    std::string error;
    auto dir = InstanceWorkDir::create(error);
    EXPECT_TRUE(dir) << error;
    return dir;
  }
  static std::string refusal() {
    std::string error;
    EXPECT_FALSE(InstanceWorkDir::create(error));
    return error;
  }
  // An instance directory made by hand, as a crashed instance leaves it.
  std::string make_dead_instance(const std::string& name, bool with_lock) {
    const std::string dir = base_ + "/" + name;
    fs::create_directories(dir);
    if (with_lock) touch(dir + "/" + InstanceWorkDir::kLockName, "");
    touch(dir + "/SCENE1", "scene");
    return dir;
  }

  test::TempDir root_;
  const std::string runtime_ = root_.file("run"), base_ = runtime_ + "/kelvo";
  std::pair<const char*, std::optional<std::string>> saved_[2] = {{"XDG_RUNTIME_DIR", {}}, {"TMPDIR", {}}};
};

TEST_F(WorkDirTest, InstanceDirIsPrivateLockedAndRemovedWithItsFiles) {
  auto dir = create();
  ASSERT_TRUE(dir);
  const std::string p = dir->path();
  EXPECT_EQ(p.rfind(base_ + "/inst-", 0), 0u) << p;
  EXPECT_EQ(mode_of(base_), 0700u);
  EXPECT_EQ(mode_of(strip_slash(p)), 0700u);
  // The lock file exists and is held: another descriptor cannot take it.
  const int fd = ::open((p + InstanceWorkDir::kLockName).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);

  touch(p + "SCENE1");
  ASSERT_EQ(::symlink("/etc/hostname", (p + "link").c_str()), 0);
  {
    InstanceWorkDir moved(std::move(*dir));
    dir.reset();  // the moved-from object removes nothing
    EXPECT_TRUE(fs::exists(p + "SCENE1"));
  }
  EXPECT_FALSE(fs::exists(strip_slash(p)));
  EXPECT_EQ(count_instances(base_), 0);
}

TEST_F(WorkDirTest, LiveInstancesNeverRemoveEachOther) {
  auto a = create(), b = create();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->path(), b->path());
  touch(a->path() + "SCENE1");
  touch(b->path() + "SCENE1");
  EXPECT_EQ(InstanceWorkDir::remove_stale(base_), 0);
  EXPECT_TRUE(fs::exists(a->path() + "SCENE1") && fs::exists(b->path() + "SCENE1"));
  b.reset();
  EXPECT_EQ(count_instances(base_), 1);
  EXPECT_TRUE(fs::exists(a->path() + "SCENE1"));
}

TEST_F(WorkDirTest, StaleInstanceDirsAreRemovedWithoutFollowingLinks) {
  // Unlocked lock file: removed at once, whatever its age; a symbolic link
  // inside is removed, its target left alone.
  const std::string dead = make_dead_instance("inst-dead01", true);
  touch(root_.file("outside.txt"), "keep me");
  ASSERT_EQ(::symlink(root_.file("outside.txt").c_str(), (dead + "/link").c_str()), 0);
  // No lock file and recent: perhaps an instance that is starting; kept.
  const std::string young = make_dead_instance("inst-young1", false);
  // An instance entry that is a link to somewhere else is not followed.
  fs::create_directories(root_.file("victim"));
  touch(root_.file("victim/precious"));
  touch(root_.file("victim/") + InstanceWorkDir::kLockName, "");
  ASSERT_EQ(::symlink(root_.file("victim").c_str(), (base_ + "/inst-evil01").c_str()), 0);
  // Entries that are not instance directories are none of our business.
  touch(base_ + "/other-file");

  auto dir = create();
  ASSERT_TRUE(dir);
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
  EXPECT_NE(refusal().find("symbolic link"), std::string::npos);
  EXPECT_EQ(count_instances(root_.file("elsewhere")), 0);
  ASSERT_EQ(::unlink(base_.c_str()), 0);
  // A plain file as the base: refused.
  touch(base_);
  EXPECT_NE(refusal().find("not a directory"), std::string::npos);
  ASSERT_EQ(::unlink(base_.c_str()), 0);
  // Our own base open to others: made private again before use.
  ASSERT_EQ(::mkdir(base_.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(base_.c_str(), 0755), 0);
  EXPECT_TRUE(create());
  EXPECT_EQ(mode_of(base_), 0700u);
}

TEST_F(WorkDirTest, WithoutAUsableRuntimeDirTheTemporaryFolderIsUsedAsPrivately) {
  const std::string root = strip_slash(root_.path()), fallback = root + "/kelvo-" + std::to_string(::geteuid());
  ::setenv("TMPDIR", root.c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);
  EXPECT_EQ(InstanceWorkDir::base_path(), fallback);
  ::setenv("XDG_RUNTIME_DIR", (root + "/missing").c_str(), 1);
  auto dir = create();
  ASSERT_TRUE(dir);
  EXPECT_EQ(dir->path().rfind(fallback + "/inst-", 0), 0u);
  EXPECT_EQ(mode_of(fallback), 0700u);
}

}  // namespace
}  // namespace kelvo
