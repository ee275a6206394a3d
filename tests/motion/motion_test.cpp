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

// A box from `min` to `max` (its eight corners as vertices).
Object box_object(Vec3 min, Vec3 max, std::int32_t index) {
  Object o;
  for (int i = 0; i < 8; ++i) {
    Vec3 p{(i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z};
    o.vertices.push_back({p, 0, {}});
  }
  o.vertex_count = 8;
  o.index = index;
  compute_bounds(o);
  return o;
}

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
  void add_object(Vec3 min, Vec3 max) {
    e.objects.push_back(box_object(min, max, static_cast<std::int32_t>(e.objects.size())));
    e.object_count = static_cast<std::int32_t>(e.objects.size());
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) motion_step(e, platform);
  }
  std::int32_t frames_of(int slot) const { return e.events[static_cast<std::size_t>(slot)].frames.load(); }
  std::int32_t target_of(int slot) const { return e.events[static_cast<std::size_t>(slot)].target.load(); }
};

// --- the motion step ----------------------------------------------------------

TEST(MotionStep, NothingMovesWhileTheObjectsMoveSwitchIsOffButTheMouseStillSteers) {
  MotionRig rig;
  rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.e.objects[0].automove = 1;
  rig.e.objects[0].orbit_speed = {0, 10, 0};
  rig.event(0, kTargetCamera, 5, kModeMove, {50, 0, 0});
  rig.event(1, 0, 5, kModeMove, {50, 0, 0});
  rig.e.objects_move_switch = 0;

  rig.frames(3);
  expect_near(rig.e.camera_pos, {0, 0, 0}, 0);
  expect_near(rig.e.objects[0].centre, {100, 0, 0}, 0);
  EXPECT_EQ(rig.frames_of(0), 5);
  EXPECT_EQ(rig.frames_of(1), 5);

  rig.platform.cursor = {410, 300};
  mouse_steering(rig.e, rig.platform);
  EXPECT_EQ(rig.e.camera_rot.y, -10.0f);

  rig.e.objects_move_switch = 1;
  rig.frames(1);
  expect_near(rig.e.camera_pos, {-10, 0, 0});
}

TEST(MotionStep, ObjectsOrbitThenSpinByThemselvesHiddenOnesIncluded) {
  MotionRig rig;
  rig.add_object({90, -10, -10}, {110, 10, 30});
  Object& o = rig.e.objects[0];
  o.automove = 1;
  o.visible = 0;
  o.orbit_speed = {0, 90, 0};
  o.rot_speed = {90, 0, 0};

  Object orbit_first = o;
  rotate_object(orbit_first, 0, 90, 0);
  spin_object(orbit_first, 90, 0, 0);
  Object spin_first = o;
  spin_object(spin_first, 90, 0, 0);
  rotate_object(spin_first, 0, 90, 0);

  rig.frames(1);
  for (std::size_t i = 0; i < o.vertices.size(); ++i)
    expect_near(o.vertices[i].position, orbit_first.vertices[i].position);
  // The order shows: spinning first would put the vertices elsewhere.
  bool differs = false;
  for (std::size_t i = 0; i < o.vertices.size(); ++i)
    differs |= std::abs(o.vertices[i].position.y - spin_first.vertices[i].position.y) > 1.0f;
  EXPECT_TRUE(differs);
  expect_near(o.centre, {-10, 0, 100});

  // Without automove the speeds do nothing.
  o.automove = 0;
  const Vec3 centre = o.centre;
  rig.frames(2);
  expect_near(o.centre, centre, 0);
}

TEST(MotionStep, EventsWaitForTheScriptToRun) {
  MotionRig rig;
  rig.e.script_running = 0;
  rig.event(0, kTargetCamera, 1, kModeMove, {10, 0, 0});
  rig.frames(2);
  EXPECT_EQ(rig.frames_of(0), 1);
  expect_near(rig.e.camera_pos, {0, 0, 0}, 0);
  rig.e.script_running = 1;
  rig.frames(1);
  EXPECT_EQ(rig.frames_of(0), 0);
  expect_near(rig.e.camera_pos, {-10, 0, 0}, 0);
}

TEST(MotionStep, QueuedScriptWritesApplyAtTheStartOfTheStep) {
  MotionRig rig;
  ScriptWrite fix;
  fix.kind = ScriptWriteKind::fix_camera;
  fix.pos = {1, 2, 3};
  fix.rot = {4, 5, 6};
  ASSERT_TRUE(queue_script_write(rig.e, fix));
  rig.event(0, kTargetCamera, 1, kModeMove, {10, 0, 0});
  rig.frames(1);
  expect_near(rig.e.camera_pos, {-9, 2, 3}, 0);
  expect_near(rig.e.camera_rot, {4, 5, 6}, 0);
  EXPECT_EQ(rig.e.script_writes.pending.load(), 0);
}

// --- starting and finishing events --------------------------------------------

TEST(MotionEvents, OneFrameEventAppliesItsWholeMoveAndIsMarkedAsRun) {
  MotionRig rig;
  rig.event(0, kTargetCamera, 1, kModeMove, {10, 20, 30}, {1, 2, 3});
  rig.frames(1);
  expect_near(rig.e.camera_pos, {-10, -20, -30}, 0);
  expect_near(rig.e.camera_rot, {-1, -2, -3}, 0);
  EXPECT_EQ(rig.frames_of(0), 0);
  EXPECT_EQ(rig.target_of(0), kTargetDone);
  EXPECT_EQ(rig.e.camera_event.frames_left, 0);
  EXPECT_EQ(rig.e.camera_event.cursor, 0);
  // A record that has run is never found again.
  rig.frames(3);
  expect_near(rig.e.camera_pos, {-10, -20, -30}, 0);
}

TEST(MotionEvents, SpeedSettingHalvesOrDoublesTheLengthWhenTheEventStarts) {
  {
    MotionRig rig;
    rig.e.Speed = 1;
    rig.event(0, kTargetCamera, 5, kModeMove, {10, 0, 0});
    rig.frames(1);
    EXPECT_EQ(rig.frames_of(0), 2);  // the record keeps the changed length
    EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -5);
    rig.frames(1);
    EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -10);
    EXPECT_EQ(rig.frames_of(0), 0);
  }
  {
    MotionRig rig;
    rig.e.Speed = 1;
    rig.event(0, kTargetCamera, 1, kModeMove, {10, 0, 0});
    rig.frames(1);
    EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -10);
    EXPECT_EQ(rig.frames_of(0), 0);
  }
  {
    MotionRig rig;
    rig.e.Speed = 2;
    rig.event(0, kTargetCamera, 5, kModeMove, {10, 0, 0});
    rig.frames(1);
    EXPECT_EQ(rig.frames_of(0), 10);
    rig.frames(8);
    EXPECT_NE(rig.frames_of(0), 0);
    rig.frames(1);
    EXPECT_EQ(rig.frames_of(0), 0);
    EXPECT_NEAR(rig.e.camera_pos.x, -10, 1e-4f);
  }
}

TEST(MotionEvents, ConstantFramesReplaceTheScriptsLengthBeforeTheSpeedSetting) {
  MotionRig rig;
  rig.e.constant_frames = 30;
  rig.event(0, kTargetCamera, 3, kModeMove, {30, 0, 0});
  rig.frames(1);
  EXPECT_EQ(rig.frames_of(0), 30);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -1);
  rig.frames(29);
  EXPECT_EQ(rig.frames_of(0), 0);

  MotionRig halved;
  halved.e.constant_frames = 30;
  halved.e.Speed = 1;
  halved.event(0, kTargetCamera, 3, kModeMove, {30, 0, 0});
  halved.frames(1);
  EXPECT_EQ(halved.frames_of(0), 15);
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
  EXPECT_EQ(rig.e.Speed, 1);
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
  rig.add_object({-10, -10, -10}, {10, 10, 10});
  rig.add_object({-10, -10, -10}, {10, 10, 10});
  rig.event(0, 1, 1, kModeMove, {5, 0, 0});
  rig.event(1, kTargetText, 1, kModeText);
  rig.event(2, kTargetCamera, 1, kModeMove, {7, 0, 0});
  rig.event(3, kTargetCamera, 1, kModeMove, {100, 0, 0});
  rig.frames(1);
  expect_near(rig.e.objects[0].centre, {0, 0, 0}, 0);
  expect_near(rig.e.objects[1].centre, {5, 0, 0}, 0);
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

  MotionRig lowest;
  lowest.event(0, kTargetPerspective, INT_MIN, kModeMove);
  lowest.frames(1);
  EXPECT_EQ(lowest.frames_of(0), 0);
  EXPECT_EQ(lowest.e.perspective_event.frames_left, 0);
}

TEST(MotionEvents, TargetDifferenceComparesTheNegatedValueWhenAsked) {
  EXPECT_EQ(target_difference(1, 5, 10), 15);
  EXPECT_EQ(target_difference(0, 5, 10), 5);
  EXPECT_EQ(target_difference(0, 3, 3), 0);
  EXPECT_EQ(target_difference(1, -3, 3), 0);
}

// --- the camera ---------------------------------------------------------------

TEST(MotionCamera, PositionCameraEndsAtTheNegatedTarget) {
  MotionRig rig;
  rig.e.camera_pos = {5, -7, 100};
  rig.e.camera_rot = {10, 0, 0};
  rig.event(0, kTargetCamera, 4, kModeGoTo, {50, 60, -70}, {15, 30, 45});
  rig.frames(2);
  // Half way after two of four frames.
  expect_near(rig.e.camera_pos, {-22.5f, -33.5f, 85});
  rig.frames(2);
  expect_near(rig.e.camera_pos, {-50, -60, 70});
  expect_near(rig.e.camera_rot, {-15, -30, -45});
}

TEST(MotionCamera, AMoveIntoASolidObjectStopsAtTheLastFreePointAndEnds) {
  MotionRig rig;
  rig.e.collision_detection = 1;
  rig.add_object({100, -10, -10}, {200, 10, 10});
  // World x goes 20, 40, 60, 80; 80 is inside the box widened by 20.
  rig.event(0, kTargetCamera, 10, kModeMove, {200, 0, 0}, {0, 10, 0});
  rig.frames(4);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -60);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.y, -4);  // the angles keep that frame's step
  EXPECT_EQ(rig.frames_of(0), 0);
  EXPECT_EQ(rig.e.camera_event.frames_left, 0);
  rig.frames(2);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -60);

  // Without collision detection the same move goes through.
  MotionRig free;
  free.add_object({100, -10, -10}, {200, 10, 10});
  free.event(0, kTargetCamera, 10, kModeMove, {200, 0, 0});
  free.frames(10);
  EXPECT_FLOAT_EQ(free.e.camera_pos.x, -200);
}

TEST(MotionCamera, ModesOtherThanMoveAndGoToKeepThePreviousSteps) {
  MotionRig rig;
  rig.event(0, kTargetCamera, 1, kModeMove, {10, 0, 0}, {0, 0, 2});
  rig.event(1, kTargetCamera, 2, kModeOrbit, {999, 999, 999}, {999, 999, 999});
  rig.frames(3);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -30);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.z, -6);
}

TEST(MotionCamera, PerspectiveEventLowersTheFactorsEvenly) {
  MotionRig rig;
  rig.e.perspective = {800, 600};
  rig.event(0, kTargetPerspective, 4, kModeMove, {40, 20, 0});
  rig.frames(1);
  EXPECT_EQ(rig.e.perspective_switch, 1);
  EXPECT_FLOAT_EQ(rig.e.perspective[0], 790);
  EXPECT_FLOAT_EQ(rig.e.perspective[1], 595);
  rig.frames(5);
  EXPECT_FLOAT_EQ(rig.e.perspective[0], 760);
  EXPECT_FLOAT_EQ(rig.e.perspective[1], 580);
  EXPECT_EQ(rig.frames_of(0), 0);
}

// --- objects ------------------------------------------------------------------

TEST(MotionObjects, MoveTranslatesByAnyNonZeroStep) {
  MotionRig rig;
  rig.add_object({-10, -10, -10}, {10, 10, 10});
  rig.event(0, 0, 2, kModeMove, {2, -2, 0});
  rig.frames(1);
  expect_near(rig.e.objects[0].centre, {1, -1, 0}, 0);
  rig.frames(1);
  expect_near(rig.e.objects[0].centre, {2, -2, 0}, 0);
  expect_near(rig.e.objects[0].vertices[0].position, {-8, -12, -10}, 0);
  EXPECT_EQ(rig.frames_of(0), 0);
}

TEST(MotionObjects, MoveAndSpinTurnAboutTheCentreByTheNegatedAngles) {
  for (std::int32_t mode : {kModeMove, kModeSpin}) {
    MotionRig rig;
    rig.add_object({90, -10, -10}, {110, 10, 10});
    rig.e.objects[0].vertices[0].position = {90, -10, -10};
    const Vec3 corner = rig.e.objects[0].vertices[7].position;  // (110, 10, 10)
    // Spin mode ignores a: no translation.
    rig.event(0, 0, 1, mode, mode == kModeSpin ? Vec3{500, 0, 0} : Vec3{}, {0, 90, 0});
    rig.frames(1);
    const Object& o = rig.e.objects[0];
    expect_near(o.centre, {100, 0, 0}, 0);
    const Vec3 turned = rotate_point({corner.x - 100, corner.y, corner.z}, 0, -90, 0);
    expect_near(o.vertices[7].position, {100 + turned.x, turned.y, turned.z});
  }
}

TEST(MotionObjects, RotateTurnsAboutTheWorldOriginByTheNegatedAngles) {
  MotionRig rig;
  rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.event(0, 0, 3, kModeOrbit, {}, {0, -90, 0});
  rig.frames(3);
  expect_near(rig.e.objects[0].centre, {0, 0, 100});
}

TEST(MotionObjects, PositionObjectBringsTheCentreToTheTarget) {
  MotionRig rig;
  rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.event(0, 0, 5, kModeGoTo, {0, 50, -20});
  rig.frames(5);
  expect_near(rig.e.objects[0].centre, {0, 50, -20});
  rig.frames(2);
  expect_near(rig.e.objects[0].centre, {0, 50, -20});
}

TEST(MotionObjects, EachObjectTakesTheEventsOfItsOwnIndex) {
  MotionRig rig;
  rig.add_object({-10, -10, -10}, {10, 10, 10});
  rig.add_object({-10, -10, -10}, {10, 10, 10});
  rig.event(0, 1, 1, kModeMove, {0, 0, 9});
  rig.event(1, 0, 1, kModeMove, {4, 0, 0});
  rig.frames(1);
  expect_near(rig.e.objects[0].centre, {4, 0, 0}, 0);
  expect_near(rig.e.objects[1].centre, {0, 0, 9}, 0);
  EXPECT_EQ(rig.e.objects[0].motion.cursor, 1);
  EXPECT_EQ(rig.e.objects[1].motion.cursor, 0);
}

// --- mouse steering -------------------------------------------------------------

TEST(MouseSteering, CursorMovesTurnTheCameraOneDegreePerPixel) {
  MotionRig rig;
  rig.platform.cursor = {405, 297};
  mouse_steering(rig.e, rig.platform);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.x, -3);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.y, -5);
  EXPECT_EQ(rig.e.last_cursor.x, 405);
  EXPECT_EQ(rig.e.last_cursor.y, 297);
  rig.platform.cursor = {405, 307};
  mouse_steering(rig.e, rig.platform);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.x, 7);
  EXPECT_FLOAT_EQ(rig.e.camera_rot.y, -5);
  EXPECT_EQ(rig.platform.warps, 0);
}

TEST(MouseSteering, ObjectModeTurnsTheFirstObjectAboutTheOrigin) {
  MotionRig rig;
  rig.e.obj_mode = 1;
  rig.add_object({90, -10, -10}, {110, 10, 10});
  rig.platform.cursor = {490, 300};
  mouse_steering(rig.e, rig.platform);
  expect_near(rig.e.objects[0].centre, rotate_point({100, 0, 0}, 0, -90, 0));
  expect_near(rig.e.camera_rot, {0, 0, 0}, 0);

  // Without objects there is nothing to turn.
  MotionRig none;
  none.e.obj_mode = 1;
  none.platform.cursor = {450, 320};
  mouse_steering(none.e, none.platform);
  expect_near(none.e.camera_rot, {0, 0, 0}, 0);
  EXPECT_EQ(none.e.last_cursor.x, 450);
}

TEST(MouseSteering, CursorAtTheEdgeIsWarpedToTheCentreWithoutTurning) {
  for (std::pair<int, int> edge : {std::pair{0, 300}, std::pair{799, 300}, std::pair{400, 0}, std::pair{400, 599}}) {
    MotionRig rig;
    rig.e.last_cursor = {380, 280};
    rig.platform.cursor = edge;
    mouse_steering(rig.e, rig.platform);
    EXPECT_EQ(rig.platform.warps, 1);
    EXPECT_EQ(rig.platform.cursor, (std::pair{400, 300}));
    expect_near(rig.e.camera_rot, {0, 0, 0}, 0);
    EXPECT_EQ(rig.e.last_cursor.x, 400);
    EXPECT_EQ(rig.e.last_cursor.y, 300);
  }
}

TEST(MouseSteering, DoesNothingWithKeyboardOff) {
  MotionRig rig;
  rig.e.keyboard = 0;
  rig.platform.cursor = {420, 310};
  mouse_steering(rig.e, rig.platform);
  expect_near(rig.e.camera_rot, {0, 0, 0}, 0);
  EXPECT_EQ(rig.e.last_cursor.x, 400);
}

}  // namespace
}  // namespace kelvo
