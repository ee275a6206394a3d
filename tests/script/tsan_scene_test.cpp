// The script thread: starting, stopping (promptly, wherever the script is),
// and a scripted scene on it while the test's thread draws frames: the motion
// step, the text overlay's use of the event table and the reads the renderer
// makes. Also built with ThreadSanitizer (KELVO_TSAN), where any field both
// threads touch without a hand-over is reported.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
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
  return std::ranges::any_of(rig.queued(), [&](const ScriptWrite& w) { return w.kind == kind && w.value == value; });
}

TEST(ScriptThread, AMissingScriptStartsNoThreadButResetsTheEventStateAndEndsAtOnce) {
  ScriptRig rig;
  rig.add_objects(1);
  rig.record(5).frames.store(9);
  rig.e.camera_event = {7, 3, {}, {}};
  rig.e.objects[0].motion.frames_left = 2;
  EXPECT_EQ(start_script(rig.e, "SCRIPT1"), 0);
  EXPECT_EQ(rig.e.script_thread, nullptr);
  EXPECT_EQ(rig.record(5).frames.load(), 0);
  EXPECT_EQ(rig.e.camera_event.frames_left + rig.e.objects[0].motion.frames_left, 0);
  // The interpreter alone: a script that cannot be opened ends at once.
  ScriptInterpreter script(rig.e, 0);
  EXPECT_FALSE(script.open(rig.dir.file("NONE.TXT")));
  EXPECT_EQ(script.step().status, ScriptStatus::ended);
}

TEST(ScriptThread, ANewScriptDuringALongWaitAndAStopWithTheEventTableFullReturnAndNothingAfterRuns) {
  ScriptRig rig;
  rig.dir.write("SCRIPT1.TXT", "set_fog(5)\nwait(100000)\nset_fog(9)\n");
  // A loop count of 0 never ends: the script fills the whole table, then
  // waits for a free record.
  rig.dir.write("SCRIPT2.TXT", "startloop(0)\nmove_camera(100,1,0,0,0,0,0)\nendloop\n");
  ASSERT_EQ(start_script(rig.e, "SCRIPT1"), 1);
  ASSERT_TRUE(eventually([&] { return queued(rig, ScriptWriteKind::fog, 5); }));
  ASSERT_EQ(start_script(rig.e, "SCRIPT2"), 1);
  ASSERT_TRUE(eventually([&] { return rig.active_records() == kEventCount; }));
  stop_script(rig.e);
  EXPECT_EQ(rig.e.script_thread, nullptr);
  EXPECT_EQ(rig.e.script_running.load(), 0);
  rig.frame();  // with the script stopped no event starts, and the fog stays as the first script left it
  EXPECT_EQ(rig.e.Fog, 5);
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

// The script thread runs named and below the thread that draws, so that a
// script that loops without waiting cannot slow the frames
// (bench/render_bench.cpp measures the frame rates).
//
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

// Every command kind; runs round after round until it is stopped.
constexpr const char* kEveryCommand =
    "// every command kind\nlabel(top)\nset_textparams(10,12,200,100,50,255)\nset_renderer(1)\n"
    "set_randomcolors(1)\nset_lighting(1)\nset_fog(0)\nset_smooth(1)\nset_particles(1)\nset_feedback(1)\n"
    "set_constant_frames(0)\ndraw_text(3,100,200,hello)\nplay_midi(SONG)\nplay_wav(BELL)\nplaynostop_wav(BELL)\n"
    "move_camera(4,10,0,0,1,2,3)\nrandom_camera(5,10,10,10,5,5,5)\nposition_camera(3,0,0,-100,0,0,0)\n"
    "fix_camera(0,0,-50,0,0,0)\nchange_res(2,1,1)\nhide_object(1)\nshow_object(1)\n"
    "move_object(1,3,1,0,0,0,0,0)\nposition_object(2,3,0,0,0,0,10,0)\nrotate_object(3,3,0,5,0)\n"
    "rotate_center(1,2,0,0,5)\nstartloop(3)\nset_constant_object(loopvalue)\nhide_object(0)\nshow_object(0)\n"
    "move_object(0,2,0,1,0,0,0,0)\nendloop\ngosub(proc)\nflush_object(1)\nwait(0.5)\nset_randomcolors(0)\n"
    "set_constant_frames(2)\ndouble_speed(1)\nmove_camera(6,0,0,10,0,0,0)\nflush_events\n"
    "set_constant_frames(0)\nset_double_speed(0)\nstartloop(2)\ndraw_text(1,0,0,loop)\nendloop\n"
    "goto(second)\nnever_here\nlabel(second)\nround_done\nrestart\nprocedure(proc)\nset_lighting(0)\nreturn\n";

// What the renderer reads each frame, folded into one number.
double read_like_the_renderer(Engine& e) {
  double sum = e.camera_pos.x + e.camera_pos.y + e.camera_pos.z + e.camera_rot.x + e.camera_rot.y + e.camera_rot.z;
  sum += e.perspective[0] + e.perspective[1] + e.perspective_switch;
  sum += e.Fog + e.draw_mode + e.phong + e.light_switch + e.particle_switch + e.keyboard + e.Colors + e.Speed;
  const TextParameters& t = e.text_parameters;
  sum += t.width + t.height + t.red + t.green + t.blue + t.alpha;
  sum += e.text_event.x + e.text_event.y + e.text_event.text[0];
  for (const Object& o : e.objects) {
    sum += o.visible + o.centre.x;
    for (const Vertex& v : o.vertices) sum += v.position.x + v.position.y + (v.vertex_colour & 0xFF);
    for (const Face& f : o.faces) sum += f.visible + f.alpha + f.red + f.green + f.blue + (f.corner_colours[0] & 0xFF);
  }
  for (const ParticleSystem& p : e.particle_systems) sum += p.start_colour[0] + p.end_colour[2];
  return sum;
}

TEST(TsanScene, EveryCommandKindRunsBesideTheFrameLoopUntilStopped) {
  ScriptRig scene;
  scene.add_objects(3);
  scene.e.particle_systems.resize(2);
  scene.e.perspective = {800, 600};
  scene.dir.write("BELL.WAV", "RIFF");
  scene.dir.write("SONG.MID", "MThd");
  scene.dir.write("SCRIPT1.TXT", kEveryCommand);
  ASSERT_EQ(start_script(scene.e, "SCRIPT1"), 1);
  const auto rounds = [&scene] { return scene.count_logged(test::kUnknown + "round_done"); };
  // At least 3000 frames and three rounds, or give up after a minute.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  int n = 0;
  double sum = 0;
  while ((n < 3000 || rounds() < 3) && std::chrono::steady_clock::now() < give_up) {
    scene.frame();
    if (n % 7 == 0) {
      scene.platform.cursor = {400 + n % 13, 300 - n % 11};
      mouse_steering(scene.e, scene.platform);
    }
    sum += read_like_the_renderer(scene.e);
    if (++n % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  EXPECT_FALSE(std::isnan(sum));
  EXPECT_GE(rounds(), 3);
  EXPECT_GE(scene.logged_with("sound").size(), 3u * 4);
  stop_script(scene.e);
  EXPECT_EQ(scene.e.script_running.load(), 0);
}

}  // namespace
}  // namespace kelvo
