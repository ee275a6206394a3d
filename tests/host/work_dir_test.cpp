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

namespace fs = std::filesystem;

namespace kelvo {
namespace {

void write_file(const std::string& path, const std::string& text = "x") {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

std::string strip_slash(std::string p) {
  if (!p.empty() && p.back() == '/') p.pop_back();
  return p;
}

int count_instances(const std::string& base) {
  int n = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(base, ec))
    if (entry.path().filename().string().rfind("inst-", 0) == 0) ++n;
  return n;
}

// Points XDG_RUNTIME_DIR (and TMPDIR) at fresh private directories for each
// test and puts the old values back afterwards.
class WorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    save("XDG_RUNTIME_DIR", saved_runtime_);
    save("TMPDIR", saved_tmpdir_);
    char templ[] = "/tmp/kelvo-workdir-test-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    root_ = templ;
    runtime_ = root_ + "/run";
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    base_ = runtime_ + "/kelvo";
  }
  void TearDown() override {
    restore("XDG_RUNTIME_DIR", saved_runtime_);
    restore("TMPDIR", saved_tmpdir_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  static void save(const char* name, std::optional<std::string>& slot) {
    const char* v = std::getenv(name);
    if (v) slot = v;
  }
  static void restore(const char* name, const std::optional<std::string>& slot) {
    if (slot)
      ::setenv(name, slot->c_str(), 1);
    else
      ::unsetenv(name);
  }

  // An instance directory made by hand, as a crashed instance leaves it.
  std::string make_dead_instance(const std::string& name, bool with_lock) {
    std::string dir = base_ + "/" + name;
    EXPECT_EQ(::mkdir(base_.c_str(), 0700) == 0 || errno == EEXIST, true);
    EXPECT_EQ(::mkdir(dir.c_str(), 0700), 0);
    if (with_lock) write_file(dir + "/" + InstanceWorkDir::kLockName, "");
    write_file(dir + "/SCENE1", "scene");
    write_file(dir + "/list.txt", "SCENE1\n");
    return dir;
  }

  std::string root_, runtime_, base_;
  std::optional<std::string> saved_runtime_, saved_tmpdir_;
};

TEST_F(WorkDirTest, InstanceDirIsPrivateLockedAndEndsInSlash) {
  std::string error;
  auto dir = InstanceWorkDir::create(error);
  ASSERT_TRUE(dir) << error;
  const std::string& p = dir->path();
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.back(), '/');
  EXPECT_EQ(p.rfind(base_ + "/inst-", 0), 0u) << p;
  EXPECT_EQ(mode_of(base_), 0700u);
  EXPECT_EQ(mode_of(strip_slash(p)), 0700u);
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(strip_slash(p))));

  // The lock file exists and is held: another descriptor cannot take it.
  int fd = ::open((p + InstanceWorkDir::kLockName).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);

  // Files can be written there.
  write_file(p + "probe");
  EXPECT_TRUE(fs::exists(p + "probe"));
}

TEST_F(WorkDirTest, DestructorRemovesTheInstanceDirAndItsFiles) {
  std::string path;
  {
    std::string error;
    auto dir = InstanceWorkDir::create(error);
    ASSERT_TRUE(dir) << error;
    path = dir->path();
    write_file(path + "SCENE1");
    write_file(path + "TEX01.bmp");
    ASSERT_EQ(::symlink("/etc/hostname", (path + "link").c_str()), 0);
  }
  EXPECT_FALSE(fs::exists(strip_slash(path)));
  EXPECT_TRUE(fs::exists(base_));
  EXPECT_EQ(count_instances(base_), 0);
}

TEST_F(WorkDirTest, MovedFromInstanceRemovesNothing) {
  std::string error;
  auto first = InstanceWorkDir::create(error);
  ASSERT_TRUE(first) << error;
  std::string path = first->path();
  {
    InstanceWorkDir moved(std::move(*first));
    EXPECT_EQ(moved.path(), path);
    first.reset();  // the moved-from object is destroyed here
    EXPECT_TRUE(fs::exists(strip_slash(path)));
  }
  EXPECT_FALSE(fs::exists(strip_slash(path)));
}

TEST_F(WorkDirTest, LiveInstancesNeverRemoveEachOther) {
  std::string error;
  auto a = InstanceWorkDir::create(error);
  ASSERT_TRUE(a) << error;
  auto b = InstanceWorkDir::create(error);
  ASSERT_TRUE(b) << error;
  EXPECT_NE(a->path(), b->path());
  write_file(a->path() + "SCENE1");
  write_file(b->path() + "SCENE1");

  auto c = InstanceWorkDir::create(error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(InstanceWorkDir::remove_stale(base_), 0);
  EXPECT_TRUE(fs::exists(a->path() + "SCENE1"));
  EXPECT_TRUE(fs::exists(b->path() + "SCENE1"));
  EXPECT_TRUE(fs::exists(a->path() + InstanceWorkDir::kLockName));
  EXPECT_TRUE(fs::exists(b->path() + InstanceWorkDir::kLockName));
  EXPECT_EQ(count_instances(base_), 3);

  b.reset();
  EXPECT_EQ(count_instances(base_), 2);
  EXPECT_TRUE(fs::exists(a->path() + "SCENE1"));
}

TEST_F(WorkDirTest, InstanceOfAnotherLiveProcessSurvives) {
  int to_parent[2], to_child[2];
  ASSERT_EQ(::pipe(to_parent), 0);
  ASSERT_EQ(::pipe(to_child), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string error;
    auto dir = InstanceWorkDir::create(error);
    std::string msg = dir ? dir->path() : std::string("!") + error;
    msg += '\n';
    (void)!::write(to_parent[1], msg.data(), msg.size());
    char c;
    (void)!::read(to_child[0], &c, 1);  // wait until the parent has looked
    ::_exit(0);
  }
  char buf[512] = {};
  ssize_t n = ::read(to_parent[0], buf, sizeof buf - 1);
  ASSERT_GT(n, 0);
  std::string child_path(buf, static_cast<size_t>(n) - 1);
  ASSERT_NE(child_path[0], '!') << child_path;

  std::string error;
  auto mine = InstanceWorkDir::create(error);
  EXPECT_TRUE(mine) << error;
  EXPECT_TRUE(fs::exists(child_path + InstanceWorkDir::kLockName));

  // The child ends without running its destructor, like a crash: the next
  // instance cleans up after it.
  (void)!::write(to_child[1], "x", 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(fs::exists(strip_slash(child_path)));
  auto next = InstanceWorkDir::create(error);
  ASSERT_TRUE(next) << error;
  EXPECT_FALSE(fs::exists(strip_slash(child_path)));
  EXPECT_TRUE(fs::exists(mine->path()));
  for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) ::close(fd);
}

TEST_F(WorkDirTest, StaleInstanceDirsAreRemoved) {
  // Unlocked lock file: removed at once, whatever its age.
  std::string dead = make_dead_instance("inst-dead01", true);
  // A symbolic link inside is removed, its target left alone.
  std::string outside = root_ + "/outside.txt";
  write_file(outside, "keep me");
  ASSERT_EQ(::symlink(outside.c_str(), (dead + "/link").c_str()), 0);
  // No lock file and recent: perhaps an instance that is starting; kept.
  std::string young = make_dead_instance("inst-young1", false);
  // No lock file and older than the grace period: removed.
  std::string old = make_dead_instance("inst-old001", false);
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - 2 * InstanceWorkDir::kUnlockedGraceSeconds;
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
  // Entries that are not instance directories are none of our business.
  write_file(base_ + "/other-file");
  ASSERT_EQ(::mkdir((base_ + "/other-dir").c_str(), 0700), 0);

  std::string error;
  auto dir = InstanceWorkDir::create(error);
  ASSERT_TRUE(dir) << error;
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(fs::exists(young + "/SCENE1"));
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(base_ + "/other-file"));
  EXPECT_TRUE(fs::exists(base_ + "/other-dir"));
  EXPECT_TRUE(fs::exists(dir->path()));
}

TEST_F(WorkDirTest, SymlinkedInstanceEntryIsNotFollowed) {
  ASSERT_EQ(::mkdir(base_.c_str(), 0700), 0);
  std::string victim = root_ + "/victim";
  ASSERT_EQ(::mkdir(victim.c_str(), 0700), 0);
  write_file(victim + "/precious");
  write_file(victim + "/" + InstanceWorkDir::kLockName, "");
  ASSERT_EQ(::symlink(victim.c_str(), (base_ + "/inst-evil01").c_str()), 0);

  std::string error;
  auto dir = InstanceWorkDir::create(error);
  ASSERT_TRUE(dir) << error;
  EXPECT_TRUE(fs::exists(victim + "/precious"));
}

TEST_F(WorkDirTest, UnsafeBasesAreRefusedOrTightened) {
  std::string error;
  {
    // A symbolic link as the base: refused, and nothing is made behind it.
    std::string target = root_ + "/elsewhere";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(target.c_str(), base_.c_str()), 0);
    auto dir = InstanceWorkDir::create(error);
    EXPECT_FALSE(dir);
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_EQ(count_instances(target), 0);
    ASSERT_EQ(::unlink(base_.c_str()), 0);
  }
  {
    // A plain file as the base: refused.
    error.clear();
    write_file(base_);
    auto dir = InstanceWorkDir::create(error);
    EXPECT_FALSE(dir);
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
    ASSERT_EQ(::unlink(base_.c_str()), 0);
  }
  {
    // Our own base open to others: made private again before use.
    ASSERT_EQ(::mkdir(base_.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(base_.c_str(), 0755), 0);
    auto dir = InstanceWorkDir::create(error);
    ASSERT_TRUE(dir) << error;
    EXPECT_EQ(mode_of(base_), 0700u);
  }
}

TEST_F(WorkDirTest, BaseOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a directory away";
  ASSERT_EQ(::mkdir(base_.c_str(), 0700), 0);
  ASSERT_EQ(::chown(base_.c_str(), 65534, 65534), 0);
  std::string error;
  auto dir = InstanceWorkDir::create(error);
  EXPECT_FALSE(dir);
  EXPECT_NE(error.find("another user"), std::string::npos) << error;
  EXPECT_EQ(count_instances(base_), 0);
}

TEST_F(WorkDirTest, BaseFollowsTheEnvironment) {
  EXPECT_EQ(InstanceWorkDir::base_path(), base_);
  ::setenv("XDG_RUNTIME_DIR", (runtime_ + "/").c_str(), 1);
  EXPECT_EQ(InstanceWorkDir::base_path(), base_);

  const std::string uid = std::to_string(::geteuid());
  ::setenv("TMPDIR", root_.c_str(), 1);
  // Unusable runtime directories: relative, missing, or a file.
  for (std::string bad : {std::string("relative/run"), root_ + "/missing", root_ + "/file"}) {
    if (bad == root_ + "/file") write_file(bad);
    ::setenv("XDG_RUNTIME_DIR", bad.c_str(), 1);
    EXPECT_EQ(InstanceWorkDir::base_path(), root_ + "/kelvo-" + uid) << bad;
  }
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstanceWorkDir::base_path(), root_ + "/kelvo-" + uid);
  ::unsetenv("TMPDIR");
  EXPECT_EQ(InstanceWorkDir::base_path(), "/tmp/kelvo-" + uid);

  // The fallback base works like the runtime one.
  ::setenv("TMPDIR", root_.c_str(), 1);
  std::string error;
  auto dir = InstanceWorkDir::create(error);
  ASSERT_TRUE(dir) << error;
  EXPECT_EQ(dir->path().rfind(root_ + "/kelvo-" + uid + "/inst-", 0), 0u);
  EXPECT_EQ(mode_of(root_ + "/kelvo-" + uid), 0700u);
}

}  // namespace
}  // namespace kelvo
