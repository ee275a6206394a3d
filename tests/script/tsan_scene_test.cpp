// A scripted scene on the real script thread while the test's thread draws
// frames: the motion step, the text overlay's use of the event table and the
// reads the renderer makes. Meant for a ThreadSanitizer build (KELVO_TSAN),
// where any field both threads touch without a hand-over is reported.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "script/script_thread.h"
#include "script_rig.h"

namespace kelvo {
namespace {

using test::ScriptRig;

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
  std::atomic<int> rounds{0}, sounds{0};  // before the rig: its script thread logs here
  ScriptRig scene;
  scene.add_objects(3);
  scene.e.particle_systems.resize(2);
  scene.e.perspective = {800, 600};
  scene.dir.write("BELL.WAV", "RIFF");
  scene.dir.write("SONG.MID", "MThd");
  scene.e.log.to_callback([&](std::string_view line) {
    rounds += line == test::kUnknown + "round_done";
    sounds += line.rfind("sound", 0) == 0;
  });
  scene.dir.write("SCRIPT1.TXT", kEveryCommand);
  ASSERT_EQ(start_script(scene.e, "SCRIPT1"), 1);
  // At least 3000 frames and three rounds, or give up after a minute.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  int n = 0;
  double sum = 0;
  while ((n < 3000 || rounds.load() < 3) && std::chrono::steady_clock::now() < give_up) {
    motion_step(scene.e, scene.platform);
    consume_text_events(scene.e, scene.platform);
    if (n % 7 == 0) {
      scene.platform.cursor = {400 + n % 13, 300 - n % 11};
      mouse_steering(scene.e, scene.platform);
    }
    sum += read_like_the_renderer(scene.e);
    if (++n % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  EXPECT_FALSE(std::isnan(sum));
  EXPECT_GE(rounds.load(), 3);
  EXPECT_GE(sounds.load(), 3 * 4);
  stop_script(scene.e);
  EXPECT_EQ(scene.e.script_running.load(), 0);
}

}  // namespace
}  // namespace kelvo
