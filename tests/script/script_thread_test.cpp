// The script thread as the operating system sees it: named, and running below
// the thread that draws, so that a script that loops without waiting cannot
// slow the frames (bench/render_bench.cpp measures the frame rates).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "scene/engine_state.h"
#include "script/script_thread.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

// The id of this process's thread named `name`, once it shows (within 10 s).
std::optional<pid_t> thread_named(const std::string& name) {
  for (int tries = 0; tries < 1000; ++tries) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::string comm;
      std::getline(std::ifstream(task.path() / "comm"), comm);
      if (comm == name) return static_cast<pid_t>(std::stoi(task.path().filename().string()));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

TEST(ScriptThread, RunsNamedAtTheLowestPriority) {
  for (const char* script : {"startloop(0)\nwait(0.5)\nendloop\n", "startloop(0)\nendloop\n"}) {
    SCOPED_TRACE(script);
    test::TempDir dir;
    dir.write("SCRIPT1.TXT", script);
    Engine e;
    e.paths.dir_temp = dir.path();
    ASSERT_EQ(start_script(e, "SCRIPT1"), 1);
    const std::optional<pid_t> tid = thread_named("kelvo-script");
    ASSERT_TRUE(tid);
    errno = 0;
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(*tid)), 19);  // the lowest
    EXPECT_EQ(errno, 0);
    stop_script(e);
  }
}

}  // namespace
}  // namespace kelvo
