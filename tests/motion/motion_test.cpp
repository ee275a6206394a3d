// The motion step: scripted camera, perspective and object events, the
// objects' own orbit and spin, mouse steering; object transforms (rotation
// order, translate, rotate about the origin, scale) and the collision test.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <utility>

#include "script/script_rig.h"

namespace kelvo {
namespace {

using test::expect_near;

struct MotionRig : test::ScriptRig {
  MotionRig() { e.script_running = 1, e.last_cursor = {400, 300}; }
  std::int32_t frames_of(int i) { return record(i).frames.load(); }
  void steer(int x, int y) {
    platform.cursor = {x, y};
    mouse_steering(e, platform);
  }
};

// --- the motion step ----------------------------------------------------------

TEST(MotionStep, NothingMovesWhileTheObjectsMoveSwitchIsOffButTheMouseStillSteers) {
  MotionRig rig;
  Object& o = rig.add_box({90, -10, -10}, {110, 10, 10});
  o.automove = 1;
  o.orbit_speed = {0, 10, 0};
  rig.event(0, kTargetCamera, 5, kModeMove, {50, 0, 0});
  rig.event(1, 0, 5, kModeMove, {50, 0, 0});
  rig.e.objects_move_switch = 0;
  rig.frame(3);
  expect_near(rig.e.camera_pos, {0, 0, 0}, 0);
  expect_near(o.centre, {100, 0, 0}, 0);
  EXPECT_EQ(rig.frames_of(0) + rig.frames_of(1), 10);
  rig.steer(410, 300);
  EXPECT_EQ(rig.e.camera_rot.y, -10.0f);
  rig.e.objects_move_switch = 1;
  rig.frame(1);
  expect_near(rig.e.camera_pos, {-10, 0, 0});
}

TEST(MotionStep, ObjectsOrbitThenSpinByThemselvesHiddenOnesIncluded) {
  MotionRig rig;
  Object& o = rig.add_box({90, -10, -10}, {110, 10, 30});
  o.automove = 1;
  o.visible = 0;
  o.orbit_speed = {0, 90, 0};
  o.rot_speed = {90, 0, 0};
  rig.frame(1);
  // (90, -10, -10) orbits to (10, -10, 90), (20, -10, -10) from the centre
  // (-10, 0, 100), and spins to (20, -10, 10) from it; spinning first would
  // end elsewhere.
  expect_near(o.vertices[0].position, {10, -10, 110});
  expect_near(o.centre, {-10, 0, 100});
  o.automove = 0;  // without automove the speeds do nothing
  rig.frame(2);
  expect_near(o.centre, {-10, 0, 100});
}

// --- starting and finishing events --------------------------------------------

TEST(MotionEvents, SpeedAndConstantFramesSetTheLengthWhenTheEventStartsOddLengthsEndSafely) {
  // Constant frames replace the script's length before the speed setting
  // halves or doubles it; the record keeps the changed length.
  const struct {
    std::int32_t speed, constant, frames, stored, total;
  } cases[] = {{1, 0, 5, 2, 2}, {1, 0, 1, 0, 1}, {2, 0, 5, 10, 10}, {0, 30, 3, 30, 30}, {1, 30, 3, 15, 15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.speed << " " << c.constant << " " << c.frames);
    MotionRig rig;
    rig.e.Speed = c.speed;
    rig.e.constant_frames = c.constant;
    rig.event(0, kTargetCamera, c.frames, kModeMove, {30, 0, 0});
    rig.frame(1);
    EXPECT_EQ(rig.frames_of(0), c.stored);
    rig.frame(c.total - 2);
    EXPECT_EQ(rig.frames_of(0) != 0, c.total > 1);
    rig.frame(1);
    EXPECT_EQ(rig.frames_of(0), 0);
    EXPECT_NEAR(rig.e.camera_pos.x, -30, 1e-4f);
  }
  // Odd lengths end safely; records that have run are marked.
  MotionRig rig;
  rig.event(0, kTargetCamera, -5, kModeMove, {10, 0, 0});
  rig.frame(3);  // a record that has run is never found again
  EXPECT_EQ(rig.frames_of(0), 0);  // a negative length runs one frame
  EXPECT_EQ(rig.e.events[0].target.load(), kTargetDone);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, 2);
  rig.e.Speed = 2;
  rig.event(1, kTargetCamera, INT_MAX - 1, kModeMove);
  rig.frame(1);
  EXPECT_EQ(rig.frames_of(1), INT_MAX);  // doubled as far as it goes
  rig.event(2, kTargetPerspective, INT_MIN, kModeMove);
  rig.frame(1);
  EXPECT_EQ(rig.frames_of(2), 0);
  EXPECT_EQ(rig.e.perspective_event.frames_left, 0);
  EXPECT_EQ(rig.e.perspective_switch, 1);  // a perspective event switches the effect on
  // The cursor stays on the record that ran: one written behind it is found
  // after a scan that finds nothing (an idle frame) has put it back to 0.
  MotionRig behind;
  behind.event(1, kTargetCamera, 1, kModeMove, {10, 0, 0});
  behind.frame(1);
  behind.event(0, kTargetCamera, 1, kModeMove, {5, 0, 0});
  behind.frame(1);
  EXPECT_FLOAT_EQ(behind.e.camera_pos.x, -10);
  behind.frame(1);
  EXPECT_FLOAT_EQ(behind.e.camera_pos.x, -15);
}

// --- the camera ---------------------------------------------------------------

TEST(MotionCamera, AMoveIntoASolidObjectStopsAtTheLastFreePointAndEnds) {
  for (std::int32_t collide : {1, 0}) {
    MotionRig rig;
    rig.e.collision_detection = collide;
    rig.add_box({100, -10, -10}, {200, 10, 10});
    // World x goes 20, 40, 60, 80; 80 is inside the box widened by 20.
    rig.event(0, kTargetCamera, 10, kModeMove, {200, 0, 0}, {0, 10, 0});
    rig.frame(4);
    EXPECT_EQ(rig.frames_of(0), collide ? 0 : 10);
    rig.frame(6);
    EXPECT_FLOAT_EQ(rig.e.camera_pos.x, collide ? -60 : -200);
    EXPECT_FLOAT_EQ(rig.e.camera_rot.y, collide ? -4 : -10);  // the angles keep that frame's step
  }
}

// --- objects ------------------------------------------------------------------

TEST(MotionObjects, MoveAndSpinTurnAboutTheCentreRotateAboutTheOrigin) {
  for (std::int32_t mode : {kModeMove, kModeSpin}) {
    MotionRig rig;
    const Object& o = rig.add_box({90, -10, -10}, {110, 10, 10});
    rig.event(0, 0, 1, mode, mode == kModeSpin ? Vec3{500, 0, 0} : Vec3{}, {0, 90, 0});  // spin ignores a
    rig.frame(1);
    expect_near(o.centre, {100, 0, 0}, 0);
    expect_near(o.vertices[7].position, {110, 10, -10});  // (10, 10, 10) from the centre, turned by -90 about y
  }
  MotionRig rig;
  const Object& o = rig.add_box({90, -10, -10}, {110, 10, 10});
  rig.event(0, 0, 3, kModeOrbit, {}, {0, -90, 0});
  rig.event(1, 0, 5, kModeGoTo, {0, 50, -20});
  rig.frame(3);
  expect_near(o.centre, {0, 0, 100});
  rig.e.collision_detection = 1;  // the box went along: it blocks the camera there
  EXPECT_EQ(collision_test(rig.e, -1, 0, 0, 115), 1);
  rig.frame(7);  // position_object brings the centre to the target
  expect_near(o.centre, {0, 50, -20});
}

// --- mouse steering -------------------------------------------------------------

TEST(MouseSteering, CursorMovesTurnTheCameraOrTheFirstObjectAndAtTheEdgeAreWarped) {
  MotionRig rig;
  rig.steer(405, 297);
  expect_near(rig.e.camera_rot, {-3, -5, 0}, 0);
  rig.steer(405, 307);
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
  rig.e.keyboard = 0;  // keyboard off: nothing
  rig.steer(420, 310);
  rig.e.keyboard = 1;
  rig.e.last_cursor = {420, 310};
  rig.e.obj_mode = 1;  // object mode turns the first object about the origin
  const Object& o = rig.add_box({90, -10, -10}, {110, 10, 10});
  rig.steer(510, 310);  // 90 pixels: 90 degrees
  expect_near(o.centre, {0, 0, -100});
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
  EXPECT_EQ(rig.platform.warps, 0);
  rig.e.obj_mode = 0;  // at the edge: warped to the centre without turning
  for (std::pair<int, int> edge : {std::pair{0, 300}, std::pair{799, 300}, std::pair{400, 0}, std::pair{400, 599}}) {
    rig.e.last_cursor = {380, 280};
    rig.steer(edge.first, edge.second);
    EXPECT_EQ(rig.platform.cursor, (std::pair{400, 300}));
    EXPECT_EQ(rig.e.last_cursor.x + rig.e.last_cursor.y, 700);
  }
  EXPECT_EQ(rig.platform.warps, 4);
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
}

// --- object transforms and the collision test ---------------------------------

TEST(ObjectTransform, RotationTurnsAboutYThenZThenXCollisionsUseTheWidenedBoxes) {
  // Each axis alone by 90 degrees, then the order: Y before X (X first would
  // leave (1, 0, 0) on the X axis and give (0, 0, 1)), Y before Z, Z before X.
  const struct {
    Vec3 p, angles, want;
  } cases[] = {{{1, 0, 0}, {0, 90, 0}, {0, 0, 1}},  {{1, 0, 0}, {0, 0, 90}, {0, -1, 0}},
               {{0, 1, 0}, {90, 0, 0}, {0, 0, -1}}, {{1, 0, 0}, {90, 90, 0}, {0, 1, 0}},
               {{1, 0, 0}, {0, 90, 90}, {0, 0, 1}}, {{1, 0, 0}, {90, 0, 90}, {0, 0, 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.angles.x << " " << c.angles.y << " " << c.angles.z);
    expect_near(rotate_point(c.p, c.angles.x, c.angles.y, c.angles.z), c.want, 1e-4f);
  }

  // The collision test uses the widened boxes of solid objects.
  Engine e;
  e.collision_detection = 1;
  e.objects = {test::box({0, 0, 0}, {100, 100, 100}, 0), test::box({1000, 0, 0}, {1100, 100, 100}, 1)};
  e.object_count = 2;
  // Bounds included: exactly 20 beyond a face collides, a little more not.
  const struct {
    Vec3 p;
    int hit;
  } points[] = {{{50, 50, 50}, 1}, {{-20, 50, 50}, 1}, {{50, 120, 50}, 1}, {{-20.01f, 50, 50}, 0},
                {{50, 50, 120.01f}, 0}, {{500, 50, 50}, 0}, {{1120, 120, 120}, 1}, {{1050, 300, 50}, 0}};
  for (const auto& c : points) EXPECT_EQ(collision_test(e, -1, c.p.x, c.p.y, c.p.z), c.hit) << c.p.x << " " << c.p.z;
  // The excluded object, objects that are not solid and objects past
  // object_count never block; with collision detection off nothing does.
  EXPECT_EQ(collision_test(e, 0, 50, 50, 50) + 2 * collision_test(e, 0, 1050, 50, 50), 2);
  e.objects[1].solidity = 0;
  EXPECT_EQ(collision_test(e, -1, 1050, 50, 50), 0);
  e.object_count = 1, e.objects[1].solidity = 1;
  EXPECT_EQ(collision_test(e, -1, 1050, 50, 50), 0);
  e.collision_detection = 0;
  EXPECT_EQ(collision_test(e, -1, 50, 50, 50), 0);
}

}  // namespace
}  // namespace kelvo
