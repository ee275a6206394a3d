// The script thread: starting, stopping (promptly, wherever the script is)
// and a script running beside frames drawn by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "script/script_thread.h"
#include "script_rig.h"

namespace kelvo {
namespace {

using test::ScriptRig;

// Polls `condition` until it holds; false when it never did within a minute.
bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 60000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return condition();
}

bool queued(ScriptRig& rig, ScriptWriteKind kind, std::int32_t value) {
  for (const ScriptWrite& w : rig.queued())
    if (w.kind == kind && w.value == value) return true;
  return false;
}

TEST(ScriptThread, AMissingScriptStartsNoThreadButResetsTheEventState) {
  ScriptRig rig;
  rig.add_objects(1);
  rig.record(5).frames.store(9);
  rig.e.camera_event = {7, 3, {}, {}};
  rig.e.objects[0].motion.frames_left = 2;
  EXPECT_EQ(start_script(rig.e, "SCRIPT1"), 0);
  EXPECT_EQ(rig.count_logged("scene script failed " + rig.dir.file("SCRIPT1.TXT")), 1);
  EXPECT_EQ(rig.e.script_thread, nullptr);
  EXPECT_EQ(rig.record(5).frames.load(), 0);
  EXPECT_EQ(rig.e.camera_event.frames_left + rig.e.objects[0].motion.frames_left, 0);
}

TEST(ScriptThread, StopOrANewScriptDuringALongWaitReturnsAndNothingAfterItRuns) {
  ScriptRig rig;
  rig.dir.write("SCRIPT1.TXT", "set_fog(5)\nwait(100000)\nset_fog(9)\n");
  rig.dir.write("SCRIPT2.TXT", "set_smooth(1)\nwait(100000)\nset_fog(9)\n");
  ASSERT_EQ(start_script(rig.e, "SCRIPT1"), 1);
  ASSERT_TRUE(eventually([&] { return queued(rig, ScriptWriteKind::fog, 5); }));
  ASSERT_EQ(start_script(rig.e, "SCRIPT2"), 1);
  ASSERT_TRUE(eventually([&] { return queued(rig, ScriptWriteKind::smooth, 1); }));
  stop_script(rig.e);
  EXPECT_EQ(rig.e.script_thread, nullptr);
  EXPECT_EQ(rig.e.script_running.load(), 0);
  EXPECT_FALSE(queued(rig, ScriptWriteKind::fog, 9));
  rig.frame();
  EXPECT_EQ(rig.e.Fog, 5);
}

TEST(ScriptThread, StopWhileWaitingForAFreeRecordReturns) {
  ScriptRig rig;
  // A loop count of 0 never ends: the script fills the whole table.
  rig.dir.write("SCRIPT1.TXT", "startloop(0)\nmove_camera(100,1,0,0,0,0,0)\nendloop\n");
  ASSERT_EQ(start_script(rig.e, "SCRIPT1"), 1);
  ASSERT_TRUE(eventually([&] { return rig.active_records() == kEventCount; }));
  stop_script(rig.e);
  EXPECT_EQ(rig.e.script_running.load(), 0);
  rig.frame();  // with the script stopped no event starts
  EXPECT_EQ(rig.e.camera_pos.x, 0);
}

TEST(ScriptThread, DestroyingTheEngineStopsItsScript) {
  test::TempDir dir;
  dir.write("SCRIPT1.TXT", "wait(100000)\nplay_wav(BELL)\n");
  dir.write("BELL.WAV", "RIFF");
  std::atomic<int> sound_lines{0};
  {
    Engine e;
    e.paths.dir_temp = dir.path();
    e.log.to_callback([&](std::string_view line) { sound_lines += line.rfind("sound", 0) == 0; });
    ASSERT_EQ(start_script(e, "SCRIPT1"), 1);
    ASSERT_TRUE(eventually([&] { return e.script_running.load() == 1; }));
  }
  EXPECT_EQ(sound_lines.load(), 0);
}

}  // namespace
}  // namespace kelvo
