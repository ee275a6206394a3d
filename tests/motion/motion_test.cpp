// The motion step: scripted camera, perspective and object events, the
// objects' own orbit and spin, and mouse steering.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <utility>

#include "motion/events.h"
#include "motion/motion_step.h"
#include "motion/object_transform.h"
#include "script/script_writes.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

// A platform whose cursor the test puts where it likes.
class CursorPlatform : public test::RecordingPlatform {
 public:
  std::pair<int, int> cursor{400, 300};
  int warps = 0;
  std::pair<int, int> cursor_pos() override { return cursor; }
  void set_cursor_pos(int x, int y) override {
    cursor = {x, y};
    ++warps;
  }
};

void expect_near(const Vec3& a, const Vec3& b, float tolerance = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

struct MotionRig {
  Engine e;
  CursorPlatform platform;

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
  Object orbit_first = o, spin_first = o;
  rotate_object(orbit_first, 0, 90, 0);
  spin_object(orbit_first, 90, 0, 0);
  spin_object(spin_first, 90, 0, 0);
  rotate_object(spin_first, 0, 90, 0);
  rig.frames(1);
  bool differs = false;  // the order shows: spinning first puts the vertices elsewhere
  for (std::size_t i = 0; i < o.vertices.size(); ++i) {
    expect_near(o.vertices[i].position, orbit_first.vertices[i].position);
    differs |= std::abs(o.vertices[i].position.y - spin_first.vertices[i].position.y) > 1.0f;
  }
  EXPECT_TRUE(differs);
  expect_near(o.centre, {-10, 0, 100});
  o.automove = 0;  // without automove the speeds do nothing
  rig.frames(2);
  expect_near(o.centre, {-10, 0, 100});
}

TEST(MotionStep, EventsWaitForTheScriptAndQueuedWritesApplyFirst) {
  MotionRig rig;
  rig.e.script_running = 0;
  rig.event(0, kTargetCamera, 1, kModeMove, {10, 0, 0});
  rig.frames(2);
  EXPECT_EQ(rig.frames_of(0), 1);
  ScriptWrite fix;
  fix.kind = ScriptWriteKind::fix_camera;
  fix.pos = {1, 2, 3};
  fix.rot = {4, 5, 6};
  ASSERT_TRUE(queue_script_write(rig.e, fix));
  rig.e.script_running = 1;
  rig.frames(1);
  EXPECT_EQ(rig.frames_of(0), 0);
  expect_near(rig.e.camera_pos, {-9, 2, 3}, 0);
  expect_near(rig.e.camera_rot, {4, 5, 6}, 0);
  EXPECT_EQ(rig.e.script_writes.pending.load(), 0);
}

// --- starting and finishing events --------------------------------------------

TEST(MotionEvents, OneFrameEventAppliesItsWholeMoveAndIsMarkedAsRun) {
  MotionRig rig;
  rig.event(0, kTargetCamera, 1, kModeMove, {10, 20, 30}, {1, 2, 3});
  rig.frames(4);  // a record that has run is never found again
  expect_near(rig.e.camera_pos, {-10, -20, -30}, 0);
  expect_near(rig.e.camera_rot, {-1, -2, -3}, 0);
  EXPECT_EQ(rig.frames_of(0), 0);
  EXPECT_EQ(rig.e.events[0].target.load(), kTargetDone);
  EXPECT_EQ(rig.e.camera_event.frames_left, 0);
}

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

TEST(MotionEvents, ScriptWritesQueuedBeforeARecordApplyBeforeItStarts) {
  MotionRig rig;
  ScriptWrite speed;
  speed.kind = ScriptWriteKind::speed;
  speed.value = 1;
  ASSERT_TRUE(queue_script_write(rig.e, speed));
  rig.event(3, kTargetCamera, 4, kModeMove);
  std::int32_t cursor = 0;
  EXPECT_EQ(take_event(rig.e, rig.platform, kTargetCamera, cursor), 3);
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(rig.frames_of(3), 2);
}

TEST(MotionEvents, SearchStartsAtTheCursorAndAFruitlessSearchResetsIt) {
  MotionRig rig;
  rig.event(5, kTargetCamera, 1, kModeMove, {1, 0, 0});
  rig.frames(1);
  EXPECT_EQ(rig.e.camera_event.cursor, 5);  // stays on the record it ran
  // A record behind the cursor: the next search finds nothing and goes back
  // to 0, the one after finds it.
  rig.event(2, kTargetCamera, 1, kModeMove, {1, 0, 0});
  rig.frames(1);
  EXPECT_EQ(rig.e.camera_event.cursor, 0);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -1);
  rig.frames(1);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -2);
  EXPECT_EQ(rig.e.camera_event.cursor, 2);
}

TEST(MotionEvents, ConsumersTakeOnlyTheirOwnRecordsInTableOrder) {
  MotionRig rig;
  rig.add_object();
  rig.add_object();
  rig.event(0, 1, 1, kModeMove, {5, 0, 0});
  rig.event(1, kTargetText, 1, kModeText);
  rig.event(2, kTargetCamera, 1, kModeMove, {7, 0, 0});
  rig.event(3, kTargetCamera, 1, kModeMove, {100, 0, 0});
  rig.event(4, 0, 1, kModeMove, {4, 0, 0});
  rig.frames(1);
  expect_near(rig.e.objects[0].centre, {4, 0, 0}, 0);
  expect_near(rig.e.objects[1].centre, {5, 0, 0}, 0);
  EXPECT_EQ(rig.e.objects[0].motion.cursor, 4);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -7);
  EXPECT_EQ(rig.frames_of(1), 1);  // the text overlay's, untouched here
  EXPECT_EQ(rig.frames_of(3), 1);  // the camera's next one, for the next frame
  rig.frames(1);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -107);
}

TEST(MotionEvents, OddLengthsEndSafely) {
  MotionRig rig;
  rig.event(0, kTargetCamera, -5, kModeMove, {10, 0, 0});
  rig.frames(1);
  EXPECT_EQ(rig.frames_of(0), 0);  // a negative length runs one frame
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

TEST(MotionCamera, PositionCameraEndsAtTheNegatedTarget) {
  MotionRig rig;
  rig.e.camera_pos = {5, -7, 100};
  rig.e.camera_rot = {10, 0, 0};
  rig.event(0, kTargetCamera, 4, kModeGoTo, {50, 60, -70}, {15, 30, 45});
  rig.frames(2);
  expect_near(rig.e.camera_pos, {-22.5f, -33.5f, 85});  // half way
  rig.frames(2);
  expect_near(rig.e.camera_pos, {-50, -60, 70});
  expect_near(rig.e.camera_rot, {-15, -30, -45});
  // Modes other than move and go-to keep the previous steps.
  rig.event(1, kTargetCamera, 1, kModeMove, {10, 0, 0}, {0, 0, 2});
  rig.event(2, kTargetCamera, 2, kModeOrbit, {999, 999, 999}, {999, 999, 999});
  rig.frames(3);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -80);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.z, -51);
}

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
    const Vec3 turned = rotate_point({10, 10, 10}, 0, -90, 0);
    expect_near(o.vertices[7].position, {100 + turned.x, turned.y, turned.z});
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

TEST(MouseSteering, CursorMovesTurnTheCameraOneDegreePerPixel) {
  MotionRig rig;
  rig.steer(405, 297);
  expect_near(rig.e.camera_rot, {-3, -5, 0}, 0);
  EXPECT_EQ(rig.e.last_cursor.x, 405);
  rig.steer(405, 307);
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
  EXPECT_EQ(rig.platform.warps, 0);
  rig.e.keyboard = 0;  // keyboard off: nothing
  rig.steer(420, 310);
  expect_near(rig.e.camera_rot, {7, -5, 0}, 0);
  EXPECT_EQ(rig.e.last_cursor.y, 307);
}

TEST(MouseSteering, ObjectModeTurnsTheFirstObjectAboutTheOrigin) {
  MotionRig rig;
  rig.e.obj_mode = 1;
  rig.steer(450, 320);  // without objects there is nothing to turn
  EXPECT_EQ(rig.e.last_cursor.x, 450);
  const Object& o = rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.steer(540, 320);
  expect_near(o.centre, rotate_point({100, 0, 0}, 0, -90, 0));
  expect_near(rig.e.camera_rot, {0, 0, 0}, 0);
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
