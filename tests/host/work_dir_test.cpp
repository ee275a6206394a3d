#include "host/work_dir_posix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string strip_slash(std::string p) {
  if (!p.empty() && p.back() == '/') p.pop_back();
  return p;
}

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
  EXPECT_EQ(p.back(), '/');
  EXPECT_EQ(p.rfind(base_ + "/inst-", 0), 0u) << p;
  EXPECT_EQ(mode_of(base_), 0700u);
  EXPECT_EQ(mode_of(strip_slash(p)), 0700u);
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(strip_slash(p))));
  // The lock file exists and is held: another descriptor cannot take it.
  const int fd = ::open((p + InstanceWorkDir::kLockName).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);

  touch(p + "SCENE1");
  touch(p + "TEX01.bmp");
  ASSERT_EQ(::symlink("/etc/hostname", (p + "link").c_str()), 0);
  {
    InstanceWorkDir moved(std::move(*dir));
    EXPECT_EQ(moved.path(), p);
    dir.reset();  // the moved-from object removes nothing
    EXPECT_TRUE(fs::exists(p + "SCENE1"));
  }
  EXPECT_FALSE(fs::exists(strip_slash(p)));
  EXPECT_TRUE(fs::exists(base_));
  EXPECT_EQ(count_instances(base_), 0);
}

TEST_F(WorkDirTest, LiveInstancesNeverRemoveEachOther) {
  auto a = create(), b = create(), c = create();
  ASSERT_TRUE(a && b && c);
  EXPECT_NE(a->path(), b->path());
  touch(a->path() + "SCENE1");
  touch(b->path() + "SCENE1");
  EXPECT_EQ(InstanceWorkDir::remove_stale(base_), 0);
  for (const auto* dir : {&a, &b}) {
    EXPECT_TRUE(fs::exists((*dir)->path() + "SCENE1"));
    EXPECT_TRUE(fs::exists((*dir)->path() + InstanceWorkDir::kLockName));
  }
  EXPECT_EQ(count_instances(base_), 3);
  b.reset();
  EXPECT_EQ(count_instances(base_), 2);
  EXPECT_TRUE(fs::exists(a->path() + "SCENE1"));
}

TEST_F(WorkDirTest, InstanceOfAnotherProcessSurvivesWhileItLivesAndGoesAfterItsCrash) {
  int to_parent[2], to_child[2];
  ASSERT_EQ(::pipe(to_parent), 0);
  ASSERT_EQ(::pipe(to_child), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string error;
    auto dir = InstanceWorkDir::create(error);
    const std::string msg = (dir ? dir->path() : "!" + error) + "\n";
    (void)!::write(to_parent[1], msg.data(), msg.size());
    char c;
    (void)!::read(to_child[0], &c, 1);  // wait until the parent has looked
    ::_exit(0);                         // no destructor: like a crash
  }
  char buf[512] = {};
  const ssize_t n = ::read(to_parent[0], buf, sizeof buf - 1);
  ASSERT_GT(n, 0);
  const std::string child_path(buf, static_cast<size_t>(n) - 1);
  ASSERT_NE(child_path[0], '!') << child_path;

  auto mine = create();
  EXPECT_TRUE(fs::exists(child_path + InstanceWorkDir::kLockName));
  (void)!::write(to_child[1], "x", 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(fs::exists(strip_slash(child_path)));
  // The next instance cleans up after it.
  auto next = create();
  EXPECT_FALSE(fs::exists(strip_slash(child_path)));
  EXPECT_TRUE(mine && fs::exists(mine->path()));
  for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) ::close(fd);
}

TEST_F(WorkDirTest, StaleInstanceDirsAreRemovedWithoutFollowingLinks) {
  // Unlocked lock file: removed at once, whatever its age; a symbolic link
  // inside is removed, its target left alone.
  const std::string dead = make_dead_instance("inst-dead01", true);
  touch(root_.file("outside.txt"), "keep me");
  ASSERT_EQ(::symlink(root_.file("outside.txt").c_str(), (dead + "/link").c_str()), 0);
  // No lock file and recent: perhaps an instance that is starting; kept.
  const std::string young = make_dead_instance("inst-young1", false);
  // No lock file and older than the grace period: removed.
  const std::string old = make_dead_instance("inst-old001", false);
  const timespec times[2] = {{::time(nullptr) - 2 * InstanceWorkDir::kUnlockedGraceSeconds, 0},
                             {::time(nullptr) - 2 * InstanceWorkDir::kUnlockedGraceSeconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
  // An instance entry that is a link to somewhere else is not followed.
  fs::create_directories(root_.file("victim"));
  touch(root_.file("victim/precious"));
  touch(root_.file("victim/") + InstanceWorkDir::kLockName, "");
  ASSERT_EQ(::symlink(root_.file("victim").c_str(), (base_ + "/inst-evil01").c_str()), 0);
  // Entries that are not instance directories are none of our business.
  touch(base_ + "/other-file");
  fs::create_directories(base_ + "/other-dir");

  auto dir = create();
  ASSERT_TRUE(dir);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(root_.file("outside.txt")));
  EXPECT_TRUE(fs::exists(young + "/SCENE1"));
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(root_.file("victim/precious")));
  EXPECT_TRUE(fs::exists(base_ + "/other-file"));
  EXPECT_TRUE(fs::exists(base_ + "/other-dir"));
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
  // Another user's base: refused (only root can set this up).
  if (::geteuid() != 0) return;
  ASSERT_EQ(::chown(base_.c_str(), 65534, 65534), 0);
  EXPECT_NE(refusal().find("another user"), std::string::npos);
}

TEST_F(WorkDirTest, BaseFollowsTheEnvironment) {
  EXPECT_EQ(InstanceWorkDir::base_path(), base_);
  ::setenv("XDG_RUNTIME_DIR", (runtime_ + "/").c_str(), 1);
  EXPECT_EQ(InstanceWorkDir::base_path(), base_);

  const std::string root = strip_slash(root_.path()), fallback = root + "/kelvo-" + std::to_string(::geteuid());
  ::setenv("TMPDIR", root.c_str(), 1);
  touch(root + "/file");
  // Unusable runtime directories: relative, missing, or a file.
  for (const std::string& bad : {std::string("relative/run"), root + "/missing", root + "/file"}) {
    ::setenv("XDG_RUNTIME_DIR", bad.c_str(), 1);
    EXPECT_EQ(InstanceWorkDir::base_path(), fallback) << bad;
  }
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstanceWorkDir::base_path(), fallback);
  // The fallback base works like the runtime one.
  auto dir = create();
  ASSERT_TRUE(dir);
  EXPECT_EQ(dir->path().rfind(fallback + "/inst-", 0), 0u);
  EXPECT_EQ(mode_of(fallback), 0700u);
  ::unsetenv("TMPDIR");
  EXPECT_EQ(InstanceWorkDir::base_path(), "/tmp/kelvo-" + std::to_string(::geteuid()));
}

}  // namespace
}  // namespace kelvo
