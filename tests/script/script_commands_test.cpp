// The script commands, by kind: camera, objects, texts, switches, sounds.
// (Flow control is in script_interpreter_test.cpp.)
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>

#include "script_rig.h"

namespace kelvo {
namespace {

using test::expect_near;
using test::ScriptRig;

struct WantRecord {
  std::int32_t target, frames, mode;
  Vec3 a, b;
};

void expect_records(ScriptRig& rig, std::initializer_list<WantRecord> want) {
  int i = 0;
  for (const WantRecord& w : want) {
    SCOPED_TRACE(i);
    const EventRecord& r = rig.record(i++);
    EXPECT_EQ((std::array<int, 3>{r.target.load(), r.frames.load(), r.mode}),
              (std::array<int, 3>{w.target, w.frames, w.mode}));
    expect_near(r.a, w.a);
    expect_near(r.b, w.b);
  }
}

// --- camera and perspective -----------------------------------------------------

TEST(ScriptCamera, CameraCommandsFillRecordsAndRunToTheirTargetsRandomOnesWithinTheirBounds) {
  ScriptRig rig;
  rig.record(2).mode = 7;  // change_res leaves the mode and the third value
  rig.record(2).a.z = 9;
  rig.e.perspective = {800, 600};
  rig.load("move_camera(50,1,2,3,4,5,6)\nposition_camera(7,-1,-2,-3,-4,-5,-6)\nchange_res(10,50,60)\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);  // the end waits for them
  expect_records(rig, {{kTargetCamera, 50, kModeMove, {1, 2, 3}, {4, 5, 6}},
                       {kTargetCamera, 7, kModeGoTo, {-1, -2, -3}, {-4, -5, -6}},
                       {kTargetPerspective, 10, 7, {50, 60, 9}, {}}});
  EXPECT_EQ(rig.run_to_end(), 57);
  expect_near(rig.e.camera_pos, {1, 2, 3});  // the go-to ends at the negated target
  expect_near(rig.e.camera_rot, {4, 5, 6});
  EXPECT_FLOAT_EQ(rig.e.perspective[0], 750);
  EXPECT_FLOAT_EQ(rig.e.perspective[1], 540);

  EXPECT_EQ(rig.play("fix_camera(10,20,30,40,50,60)\n"), 0);
  expect_near(rig.e.camera_pos, {1, 2, 3});  // set at the next frame
  rig.frame();
  expect_near(rig.e.camera_pos, {10, 20, 30});
  expect_near(rig.e.camera_rot, {40, 50, 60});

  // random_camera draws only the values with a bound.
  random_seed(rig.e.random, 12345);
  rig.load("startloop(40)\nrandom_camera(100,0,0,50,0,0,0)\nendloop\nrandom_camera(100,0,-5,0,0,0,0)\n");
  rig.run();
  std::set<float> zs;  // whole numbers 0 .. 50, only z drawn
  for (const EventRecord& r : rig.e.events)
    if (r.target.load() == kTargetCamera && r.a.x == 0 && r.a.y == 0 && r.a.z == std::floor(r.a.z)) zs.insert(r.a.z);
  EXPECT_TRUE(zs.size() > 10 && *zs.begin() >= 0 && *zs.rbegin() <= 50);
  EXPECT_EQ(rig.count_logged("script - random_camera bound below 0"), 1);
}

TEST(ScriptCamera, RecordsAreTakenLowestFreeFirstAndWaitedForWhenAllAreBusy) {
  ScriptRig rig;
  rig.load("startloop(201)\nmove_camera(1,1,0,0,0,0,0)\nendloop\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  EXPECT_EQ(rig.active_records(), kEventCount);
  EXPECT_EQ(rig.step(), ScriptStatus::blocked);
  rig.frame();  // runs record 0
  EXPECT_EQ(rig.step(), ScriptStatus::ran);
  EXPECT_EQ(rig.record(0).frames.load(), 1);
  EXPECT_EQ(rig.run_to_end(), kEventCount);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -201);
}

// --- objects ----------------------------------------------------------------------

TEST(ScriptObjects, ObjectCommandsTargetTheObjectBeforeTheirNumberOrTheConstantOne) {
  ScriptRig rig;
  rig.add_objects(3);
  rig.load("move_object(2,10,1,2,3,4,5,6)\nposition_object(3,11,7,8,9,1,2,3)\nrotate_object(0,12,7,8,9)\n"
           "rotate_center(2,13,4,5,6)\n");
  rig.run();
  expect_records(rig, {{1, 10, kModeMove, {1, 2, 3}, {4, 5, 6}},
                       {2, 11, kModeGoTo, {7, 8, 9}, {1, 2, 3}},
                       {kTargetCamera, 12, kModeOrbit, {0, 0, 0}, {7, 8, 9}}});  // 0: the camera
  // Object records use only records 0 .. object count - 1: the fourth waits.
  EXPECT_EQ(rig.active_records(), 3);
  EXPECT_EQ(rig.step(), ScriptStatus::blocked);
  EXPECT_NE(rig.run_to_end(), -1);
  rig.load("set_constant_object(3)\nmove_object(0,10,1,0,0,0,0,0)\n");
  rig.run();
  EXPECT_EQ(rig.record(0).target.load(), 2);  // 0: the constant object
}

TEST(ScriptObjects, HideAndShowSwitchObjectsAtTheNextFrameNumbersOfNoObjectAreRejected) {
  ScriptRig rig;
  rig.add_objects(3);
  rig.play("hide_object(2)\nhide_object(3)\nshow_object(3)\nmove_object(4,10,1)\nrotate_center(-4,10,1)\n"
           "hide_object(9)\nshow_object(-1)\n");
  EXPECT_EQ(rig.active_records(), 0);
  const auto visibility = [](const ScriptWrite& w) { return w.kind == ScriptWriteKind::object_visible; };
  EXPECT_EQ(std::ranges::count_if(rig.queued(), visibility), 3);
  for (const char* n : {"4", "-4", "9", "-1"}) EXPECT_EQ(rig.count_logged(std::string("script - no object ") + n), 1);
  EXPECT_EQ(rig.e.objects[1].visible, 1);
  rig.frame();
  EXPECT_EQ(rig.e.objects[1].visible + 2 * rig.e.objects[2].visible, 2);

  // The loop value counts down; from an empty stack (or 0) the constant
  // object stays as it was.
  rig.play("startloop(3)\nset_constant_object(loopvalue)\nhide_object(0)\nendloop\n"
           "set_constant_object(loopvalue)\nset_constant_object(0)\n");
  std::vector<std::int32_t> hidden;
  for (const ScriptWrite& w : rig.queued())
    if (w.kind == ScriptWriteKind::object_visible && w.value == 0) hidden.push_back(w.object);
  EXPECT_EQ(hidden, (std::vector<std::int32_t>{2, 1, 0}));
  EXPECT_EQ(rig.e.constant_object, 1);
}

TEST(ScriptObjects, FlushObjectWaitsForThatTargetOnly) {
  ScriptRig rig;
  rig.add_objects(2);
  // flush_object(0) waits for the camera's events; the object's may go on.
  rig.load("move_object(1,9,1,0,0,0,0,0)\nmove_camera(2,1,0,0,0,0,0)\nflush_object(0)\ndone\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  EXPECT_EQ(rig.script->arg(1), -1);  // the slot keeps arg1 - 1
  rig.frame();
  EXPECT_EQ(rig.step(), ScriptStatus::blocked);
  rig.frame();
  EXPECT_EQ(rig.step(), ScriptStatus::ran);
  EXPECT_EQ(rig.record(0).frames.load(), 9);  // the object's event still runs

}

// --- texts --------------------------------------------------------------------------

TEST(ScriptTexts, DrawTextFillsATextRecordCutAndKeptWithinReachShownInTurn) {
  ScriptRig rig;
  rig.record(0).a.z = 4;
  rig.record(0).b = {1, 2, 3};
  rig.load("draw_text(2,100,200,Hello world)\ndraw_text(3,1e30,-1e30," + std::string(70, 'x') + ")\n");
  rig.run();
  expect_records(rig, {{kTargetText, 2, kModeText, {100, 200, 4}, {1, 2, 3}}});
  EXPECT_EQ(std::string(rig.record(1).text.data()), std::string(63, 'x'));
  EXPECT_FLOAT_EQ(rig.record(1).a.x, 1e6f);
  EXPECT_FLOAT_EQ(rig.record(1).a.y, -1e6f);
  EXPECT_EQ(rig.run_to_end(), 5);
  const std::string x(63, 'x');
  EXPECT_EQ(rig.texts, (std::vector<std::string>{"Hello world", "Hello world", x, x, x}));
}

// --- switches and settings --------------------------------------------------------------

TEST(ScriptSwitches, SwitchesReachTheEngineAtTheNextFrameWaitingForRoomTextFrameAndWaitSettingsAtOnce) {
  ScriptRig rig;
  rig.e.Fog = 1;
  rig.platform.cursor = {123, 45};
  rig.play("set_renderer(3)\nset_fog(0)\nset_smooth(1)\nset_particles(0)\nset_lighting(0)\ndouble_speed(2)\n"
           "set_feedback(0)\nset_textparams(8,9,10,11,12,13.7)\nset_constant_frames(30)\n");
  const TextParameters& t = rig.e.text_parameters;
  EXPECT_EQ((std::array<int, 6>{t.width, t.height, t.red, t.green, t.blue, t.alpha}),
            (std::array<int, 6>{8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(rig.e.constant_frames.load(), 30);
  EXPECT_EQ(rig.e.Fog, 1);
  rig.frame();
  EXPECT_EQ((std::array<int, 6>{rig.e.draw_mode, rig.e.Fog, rig.e.phong, rig.e.particle_switch, rig.e.light_switch,
                                rig.e.Speed}),
            (std::array<int, 6>{3, 0, 1, 0, 0, 2}));
  EXPECT_EQ(rig.e.keyboard, 0);  // feedback takes the cursor position first
  EXPECT_EQ(std::pair(rig.e.last_cursor.x, rig.e.last_cursor.y), std::pair(123, 45));
  // Waits scale with the speed setting and keep the scaled value.
  rig.play("double_speed(1)\nwait(3)\nwait\nwait(0.9)\nset_double_speed(2)\nwait(3)\nwait(-5)\nwait(1e300)\n");
  EXPECT_EQ(rig.sleeps, (std::vector<std::int64_t>{1000, 0, 0, 6000, 0, std::int64_t{INT_MAX} * 1000}));
  // A script faster than the frames waits for room in the queue.
  rig.frame();
  rig.load("startloop(300)\nset_fog(1)\nendloop\nset_fog(0)\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  EXPECT_EQ(rig.queued().size(), kScriptWriteCapacity);
  rig.frame();
  EXPECT_EQ(rig.run(), ScriptStatus::ended);
  rig.frame();
  EXPECT_EQ(rig.e.Fog, 0);
}

TEST(ScriptSwitches, RandomColorsAndLightingRecolourAcceptingObjects) {
  ScriptRig rig;
  rig.add_objects(2);
  rig.e.objects[1].accept_random = 0;
  rig.e.particle_systems.resize(1);
  rig.play("set_randomcolors(1)\n");
  rig.frame();
  const Object& o = rig.e.objects[0];
  std::set<std::uint32_t> corners;
  for (const Face& f : o.faces) corners.insert(f.corner_colours.begin(), f.corner_colours.end());
  EXPECT_GT(corners.size(), 20u);
  for (std::uint32_t c : corners) EXPECT_EQ(c & 0x80808080u, 0u);  // every byte 0..127
  EXPECT_NE(rig.e.particle_systems[0].start_colour, (std::array<std::int32_t, 3>{}));

  // Lighting resets the corners to the face colours (60, 61, 62, 63) without
  // touching GL (there is no GL context here); random colours off make the
  // accepting objects grey.
  rig.e.gl_ready = 1;
  rig.e.light_switch = 0;
  rig.play("set_lighting(1)\nset_randomcolors(0)\n");
  rig.frame();
  EXPECT_EQ(rig.e.light_switch + 2 * rig.e.Colors, 1);
  EXPECT_EQ(rig.e.objects[1].faces[0].corner_colours[3], 0x3C3D3E3Fu);
  EXPECT_EQ(rig.e.objects[1].faces[0].red, 61);  // not accepting: kept
  EXPECT_EQ((std::array<int, 4>{o.faces[5].alpha, o.faces[5].red, o.faces[5].blue, int(o.faces[5].corner_colours[2])}),
            (std::array<int, 4>{127, 127, 127, 0x7F7F7F7F}));
  for (const Vertex& v : o.vertices) EXPECT_EQ(v.vertex_colour, 0x7F7F7F7Fu);
}

// --- sounds -----------------------------------------------------------------------------

TEST(ScriptSounds, PlayWavStopsThenPlaysAnExistingFileAndNamesWithAPathAreRefused) {
  ScriptRig rig;
  rig.dir.write("BELL.WAV", "RIFF");
  rig.play("play_wav(MISSING)\nplay_wav(BELL)\nplaynostop_wav(BELL)\nplay_wav(../BELL)\nplay_midi(a/SONG)\n");
  const std::string path = rig.dir.file("BELL.WAV");
  EXPECT_EQ(rig.logged_with("sound"), (std::vector<std::string>{"sound stop", "sound stop", "sound " + path,
                                                                "sound stop", "sound " + path + " (loop)",
                                                                "sound stop"}));
  EXPECT_EQ(rig.count_logged("script - sound name with a path: ../BELL"), 1);
  EXPECT_EQ(rig.count_logged("script - song name with a path: a/SONG"), 1);

  rig.e.Sounds = 0;  // sound off: nothing plays
  rig.play("play_wav(BELL)\nplaynostop_wav(BELL)\nplay_midi(SONG)\n");
  EXPECT_EQ(rig.logged_with("sound").size(), 6u);
}

}  // namespace
}  // namespace kelvo
