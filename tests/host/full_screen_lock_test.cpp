// One full-screen player at a time: the lock names the running player, and
// a player that was killed leaves nothing that blocks the next one.
#include "host/full_screen_lock_posix.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

// A process that takes the lock in `base`, says so on a pipe and waits.
pid_t holder_process(const std::string& base) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    FullScreenLock lock;
    pid_t other = 0;
    std::string error;
    const char answer = lock.acquire(base, other, error) == FullScreenLock::Result::acquired ? 'y' : 'n';
    (void)!::write(ready[1], &answer, 1);
    ::pause();
    ::_exit(0);
  }
  char answer = 0;
  ::close(ready[1]);
  const bool ok = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
  ::close(ready[0]);
  return ok ? pid : -1;
}

TEST(FullScreenLock, TheRunningPlayerIsNamedAndAKilledOneBlocksNothing) {
  test::TempDir dir;
  const std::string base = dir.path() + "kelvo";
  const pid_t first = holder_process(base);
  ASSERT_GT(first, 0);
  FullScreenLock lock;
  pid_t holder = 0;
  std::string error;
  EXPECT_EQ(lock.acquire(base, holder, error), FullScreenLock::Result::held);
  EXPECT_EQ(holder, first);
  // Killed: the kernel drops its lock; its file is still there.
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);
  EXPECT_EQ(dir.list(), std::vector<std::string>{"kelvo"});
  EXPECT_EQ(lock.acquire(base, holder, error), FullScreenLock::Result::acquired) << error;
  // The next one is turned away while this one holds it ...
  const pid_t refused = ::fork();
  if (refused == 0) {
    FullScreenLock second;
    pid_t other = 0;
    ::_exit(second.acquire(base, other, error) == FullScreenLock::Result::held && other == ::getppid() ? 0 : 1);
  }
  int status = -1;
  ::waitpid(refused, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // ... and the file goes when it lets go.
  lock.release();
  EXPECT_EQ(::access((base + "/" + FullScreenLock::kFileName).c_str(), F_OK), -1);
  // No private folder to keep it in: nothing can be locked.
  dir.write("file", "x");
  EXPECT_EQ(lock.acquire(dir.file("file"), holder, error), FullScreenLock::Result::unavailable);
  EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace kelvo
