// The motion step: scripted camera, perspective and object events, the
// objects' own orbit and spin, and mouse steering.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <utility>

#include "script/script_rig.h"

namespace kelvo {
namespace {

void expect_near(const Vec3& a, const Vec3& b, float tolerance = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

struct MotionRig {
  Engine e;
  test::CursorPlatform platform;

  MotionRig() {
    e.script_running = 1;
    e.viewport_box = {0, 0, 800, 600};
    e.screen_centre = {400, 300};
    e.last_cursor = {400, 300};
  }
  // Fills record `slot` as the script does: every field, then frames.
  void event(int slot, std::int32_t target, std::int32_t frames, std::int32_t mode, Vec3 a = {}, Vec3 b = {}) {
    EventRecord& r = e.events[static_cast<std::size_t>(slot)];
    r.target.store(target);
    r.mode = mode;
    r.a = a;
    r.b = b;
    r.frames.store(frames, std::memory_order_release);
  }
  // A box from `min` to `max` (its eight corners as vertices).
  Object& add_object(Vec3 min = {-10, -10, -10}, Vec3 max = {10, 10, 10}) {
    Object o;
    for (int i = 0; i < 8; ++i)
      o.vertices.push_back({{(i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z}, 0, {}});
    o.vertex_count = 8;
    o.index = static_cast<std::int32_t>(e.objects.size());
    compute_bounds(o);
    e.objects.push_back(o);
    e.object_count = static_cast<std::int32_t>(e.objects.size());
    return e.objects.back();
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) motion_step(e, platform);
  }
  std::int32_t frames_of(int slot) const { return e.events[static_cast<std::size_t>(slot)].frames.load(); }
  void steer(int x, int y) {
    platform.cursor = {x, y};
    mouse_steering(e, platform);
  }
};

// --- the motion step ----------------------------------------------------------

TEST(MotionStep, NothingMovesWhileTheObjectsMoveSwitchIsOffButTheMouseStillSteers) {
  MotionRig rig;
  Object& o = rig.add_object({90, -10, -10}, {110, 10, 10});
  o.automove = 1;
  o.orbit_speed = {0, 10, 0};
  rig.event(0, kTargetCamera, 5, kModeMove, {50, 0, 0});
  rig.event(1, 0, 5, kModeMove, {50, 0, 0});
  rig.e.objects_move_switch = 0;
  rig.frames(3);
  expect_near(rig.e.camera_pos, {0, 0, 0}, 0);
  expect_near(o.centre, {100, 0, 0}, 0);
  EXPECT_EQ(rig.frames_of(0) + rig.frames_of(1), 10);
  rig.steer(410, 300);
  EXPECT_EQ(rig.e.camera_rot.y, -10.0f);
  rig.e.objects_move_switch = 1;
  rig.frames(1);
  expect_near(rig.e.camera_pos, {-10, 0, 0});
}

TEST(MotionStep, ObjectsOrbitThenSpinByThemselvesHiddenOnesIncluded) {
  MotionRig rig;
  Object& o = rig.add_object({90, -10, -10}, {110, 10, 30});
  o.automove = 1;
  o.visible = 0;
  o.orbit_speed = {0, 90, 0};
  o.rot_speed = {90, 0, 0};
  rig.frames(1);
  // (90, -10, -10) orbits to (10, -10, 90), (20, -10, -10) from the centre
  // (-10, 0, 100), and spins to (20, -10, 10) from it; spinning first would
  // end elsewhere.
  expect_near(o.vertices[0].position, {10, -10, 110});
  expect_near(o.centre, {-10, 0, 100});
  o.automove = 0;  // without automove the speeds do nothing
  rig.frames(2);
  expect_near(o.centre, {-10, 0, 100});
}

// --- starting and finishing events --------------------------------------------

TEST(MotionEvents, SpeedAndConstantFramesSetTheLengthWhenTheEventStarts) {
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
    rig.frames(1);
    EXPECT_EQ(rig.frames_of(0), c.stored);
    rig.frames(c.total - 2);
    EXPECT_EQ(rig.frames_of(0) != 0, c.total > 1);
    rig.frames(1);
    EXPECT_EQ(rig.frames_of(0), 0);
    EXPECT_NEAR(rig.e.camera_pos.x, -30, 1e-4f);
  }
}

TEST(MotionEvents, OddLengthsEndSafelyAndRunRecordsAreMarked) {
  MotionRig rig;
  rig.event(0, kTargetCamera, -5, kModeMove, {10, 0, 0});
  rig.frames(3);  // a record that has run is never found again
  EXPECT_EQ(rig.frames_of(0), 0);  // a negative length runs one frame
  EXPECT_EQ(rig.e.events[0].target.load(), kTargetDone);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, 2);
  rig.e.Speed = 2;
  rig.event(1, kTargetCamera, INT_MAX - 1, kModeMove);
  rig.frames(1);
  EXPECT_EQ(rig.frames_of(1), INT_MAX);  // doubled as far as it goes
  rig.event(2, kTargetPerspective, INT_MIN, kModeMove);
  rig.frames(1);
  EXPECT_EQ(rig.frames_of(2), 0);
  EXPECT_EQ(rig.e.perspective_event.frames_left, 0);
}

// --- the camera ---------------------------------------------------------------

TEST(MotionCamera, AMoveIntoASolidObjectStopsAtTheLastFreePointAndEnds) {
  for (std::int32_t collide : {1, 0}) {
    MotionRig rig;
    rig.e.collision_detection = collide;
    rig.add_object({100, -10, -10}, {200, 10, 10});
    // World x goes 20, 40, 60, 80; 80 is inside the box widened by 20.
    rig.event(0, kTargetCamera, 10, kModeMove, {200, 0, 0}, {0, 10, 0});
    rig.frames(4);
    EXPECT_EQ(rig.frames_of(0), collide ? 0 : 10);
    rig.frames(6);
    EXPECT_FLOAT_EQ(rig.e.camera_pos.x, collide ? -60 : -200);
    EXPECT_FLOAT_EQ(rig.e.camera_rot.y, collide ? -4 : -10);  // the angles keep that frame's step
  }
}

// --- objects ------------------------------------------------------------------

TEST(MotionObjects, MoveAndSpinTurnAboutTheCentreRotateAboutTheOrigin) {
  for (std::int32_t mode : {kModeMove, kModeSpin}) {
    MotionRig rig;
    const Object& o = rig.add_object({90, -10, -10}, {110, 10, 10});
    rig.event(0, 0, 1, mode, mode == kModeSpin ? Vec3{500, 0, 0} : Vec3{}, {0, 90, 0});  // spin ignores a
    rig.frames(1);
    expect_near(o.centre, {100, 0, 0}, 0);
    expect_near(o.vertices[7].position, {110, 10, -10});  // (10, 10, 10) from the centre, turned by -90 about y
  }
  MotionRig rig;
  const Object& o = rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.event(0, 0, 3, kModeOrbit, {}, {0, -90, 0});
  rig.event(1, 0, 5, kModeGoTo, {0, 50, -20});
  rig.frames(3);
  expect_near(o.centre, {0, 0, 100});
  rig.frames(7);  // position_object brings the centre to the target
  expect_near(o.centre, {0, 50, -20});
}

// --- mouse steering -------------------------------------------------------------

TEST(MouseSteering, CursorMovesTurnTheCameraOrInObjectModeTheFirstObject) {
  MotionRig rig;
  rig.steer(405, 297);
  expect_near(rig.e.camera_rot, {-3, -5, 0}, 0);
  rig.steer(405, 307);
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
  EXPECT_EQ(rig.platform.warps, 0);
  rig.e.keyboard = 0;  // keyboard off: nothing
  rig.steer(420, 310);
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
  EXPECT_EQ(rig.e.last_cursor.y, 307);
  rig.e.keyboard = 1;
  rig.e.last_cursor = {420, 310};
  rig.e.obj_mode = 1;  // object mode turns the first object about the origin
  const Object& o = rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.steer(510, 310);  // 90 pixels: 90 degrees
  expect_near(o.centre, {0, 0, -100});
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
}

TEST(MouseSteering, CursorAtTheEdgeIsWarpedToTheCentreWithoutTurning) {
  for (std::pair<int, int> edge : {std::pair{0, 300}, std::pair{799, 300}, std::pair{400, 0}, std::pair{400, 599}}) {
    MotionRig rig;
    rig.e.last_cursor = {380, 280};
    rig.steer(edge.first, edge.second);
    EXPECT_EQ(rig.platform.warps, 1);
    EXPECT_EQ(rig.platform.cursor, (std::pair{400, 300}));
    expect_near(rig.e.camera_rot, {0, 0, 0}, 0);
    EXPECT_EQ(rig.e.last_cursor.x + rig.e.last_cursor.y, 700);
  }
}

}  // namespace
}  // namespace kelvo
