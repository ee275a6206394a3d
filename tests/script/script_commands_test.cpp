// The script commands, by kind: camera, objects, texts, switches, sounds.
// (Flow control is in script_interpreter_test.cpp.)
#include <gtest/gtest.h>

#include <climits>
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
  rig.load("startloop(40)\nrandom_camera(100,0,0,1,0,0,0)\nendloop\n");
  rig.run();
  std::set<float> zs;  // 0 or 1 (the bound itself is drawn too), only z drawn
  for (const EventRecord& r : rig.e.events)
    if (r.target.load() == kTargetCamera && r.a.x == 0 && r.a.y == 0) zs.insert(r.a.z);
  EXPECT_EQ(zs, (std::set<float>{0, 1}));
  // A bound below 0, which no number meets, refuses the line; the script
  // goes on.
  ScriptRig refused;
  EXPECT_EQ(refused.play("random_camera(100,0,-5,0,0,0,0)\nmove_camera(2,0,0,6,0,0,0)\n"), 2);
  expect_near(refused.e.camera_pos, {0, 0, -6});
}

// --- objects ----------------------------------------------------------------------

// Numbers count from 1; 0 stands for the constant object when one is set
// and for the camera when not; numbers of no object are refused. Each object
// moves by its own commands only.
TEST(ScriptObjects, ObjectCommandsMoveTheObjectOfTheirNumberOrTheConstantOne) {
  ScriptRig rig;
  rig.add_objects(3);  // centres at x 0, 100 and 200
  EXPECT_NE(rig.play("move_object(2,10,1,2,3,0,0,0)\nrotate_center(2,12,0,90,0)\nposition_object(3,11,7,8,9,0,0,0)\n"
                     "rotate_center(1,12,0,90,0)\n"
                     "rotate_object(0,12,0,90,0)\nmove_object(4,10,1)\nrotate_center(-4,10,1)\n"
                     "set_constant_object(3)\nmove_object(0,5,0,10,0,0,0,0)\nmove_object(1,5,0,0,50,0,0,0)\n"),
            -1);
  const std::vector<Object>& o = rig.e.objects;
  expect_near(o[0].centre, {0, 0, 50});  // spun in place by -90 degrees about y, then moved
  expect_near(o[0].vertices[1].position, {-10, -10, 40});
  expect_near(o[1].centre, {101, 2, 3});  // moved, then spun where it stands
  expect_near(o[2].centre, {7, 18, 9});  // to (7, 8, 9), then moved as object 0
  // Object 0 without a constant object: a camera record of a mode by which
  // the camera does not move.
  expect_near(rig.e.camera_pos, {0, 0, 0}, 0);
  expect_near(rig.e.camera_rot, {0, 0, 0}, 0);
}

TEST(ScriptObjects, HideAndShowSwitchObjectsAtTheNextFrameNumbersOfNoObjectChangeNothing) {
  ScriptRig rig;
  rig.add_objects(3);
  const auto visible = [&rig] {
    return std::vector<int>{rig.e.objects[0].visible, rig.e.objects[1].visible, rig.e.objects[2].visible};
  };
  rig.play("hide_object(2)\nhide_object(3)\nshow_object(3)\nhide_object(9)\nshow_object(-1)\nhide_object(0)\n");
  EXPECT_EQ(visible(), (std::vector<int>{1, 1, 1}));
  rig.frame();
  EXPECT_EQ(visible(), (std::vector<int>{1, 0, 1}));
  // The loop value counts down: objects 3, 2 and 1 are shown and moved as
  // object 0; from an empty stack (or 0) the constant object stays 1.
  rig.play("startloop(3)\nset_constant_object(loopvalue)\nshow_object(0)\nmove_object(0,1,0,0,5,0,0,0)\nendloop\n"
           "set_constant_object(loopvalue)\nset_constant_object(0)\nhide_object(0)\n");
  rig.frame();
  EXPECT_EQ(visible(), (std::vector<int>{0, 1, 1}));
  for (const Object& o : rig.e.objects) EXPECT_FLOAT_EQ(o.centre.z, 5.0f);
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
  rig.frame();
  EXPECT_EQ(rig.run(), ScriptStatus::ended);
  rig.frame();
  EXPECT_EQ(rig.e.Fog, 0);
}

// set_feedback turns mouse steering on or off, counting the next move from
// where the cursor is when the command takes effect.
TEST(ScriptSwitches, FeedbackTurnsMouseSteeringOnFromTheCursorOrOff) {
  ScriptRig rig;
  rig.e.keyboard = 0, rig.e.last_cursor = {400, 300}, rig.platform.cursor = {300, 200};
  const auto steer = [&rig](int x, int y) {
    rig.platform.cursor = {x, y};
    mouse_steering(rig.e, rig.platform);
  };
  rig.play("set_feedback(1)\n");
  rig.frame();
  steer(310, 195);
  expect_near(rig.e.camera_rot, {-5, -10, 0}, 0);
  rig.play("set_feedback(0)\n");
  rig.frame();
  steer(350, 250);
  expect_near(rig.e.camera_rot, {-5, -10, 0}, 0);
}

TEST(ScriptSwitches, RandomColorsAndLightingRecolourAcceptingObjects) {
  ScriptRig rig;
  rig.add_objects(2);
  rig.e.objects[1].accept_random = 0;
  rig.e.particle_systems.resize(1);
  // A face naming a vertex past the array (no reader makes one) is coloured
  // without writing outside the array.
  Object& first = rig.e.objects[0];
  first.vertices.shrink_to_fit();
  first.faces.push_back(first.faces[0]);
  first.faces.back().corners[3] = static_cast<std::int32_t>(first.vertices.size());
  rig.play("set_randomcolors(1)\n");
  rig.frame();
  const Object& o = rig.e.objects[0];
  std::set<std::uint32_t> corners;
  for (const Face& f : o.faces) corners.insert(f.corner_colours.begin(), f.corner_colours.end());
  EXPECT_GT(corners.size(), 20u);
  for (std::uint32_t c : corners) EXPECT_EQ(c & 0x80808080u, 0u);  // every byte 0..127
  EXPECT_TRUE(std::ranges::any_of(corners, [](std::uint32_t c) { return c >> 24 != 0; }));  // alpha too
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

}  // namespace
}  // namespace kelvo
