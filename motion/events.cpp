#include "motion/events.h"

#include <climits>

#include "motion/object_transform.h"
#include "script/script_writes.h"

namespace kelvo {

namespace {

bool any_nonzero(const Vec3& v) { return v.x != 0.0f || v.y != 0.0f || v.z != 0.0f; }

Vec3 divided(const Vec3& v, std::int32_t frames) {
  const float f = static_cast<float>(frames);
  return {v.x / f, v.y / f, v.z / f};
}

Vec3 negated(const Vec3& v) { return {-v.x, -v.y, -v.z}; }

// Counts one applied step; the last one hands the record back. `frames_left`
// may be anything a script gave (negative lengths run one frame).
void count_step(Engine& e, std::int32_t& frames_left, std::int32_t cursor) {
  if (frames_left <= 1) {
    frames_left = 0;
    finish_event(e, cursor);
  } else {
    --frames_left;
  }
}

}  // namespace

float target_difference(int negate, float current, float target) {
  const float x = negate == 1 ? -current : current;
  return target - x;
}

int take_event(Engine& e, Platform& platform, std::int32_t target, std::int32_t& cursor) {
  if (cursor < 0 || cursor >= kEventCount) cursor = 0;
  int found = -1;
  for (int i = cursor; i < kEventCount; ++i) {
    const EventRecord& r = e.events[static_cast<std::size_t>(i)];
    if (r.frames.load(std::memory_order_acquire) != 0 && r.target.load(std::memory_order_relaxed) == target) {
      found = i;
      break;
    }
  }
  if (found < 0) {
    cursor = 0;
    return -1;
  }
  // Changes the script made before it wrote this record (Speed among them).
  apply_script_writes(e, platform);

  EventRecord& r = e.events[static_cast<std::size_t>(found)];
  std::int32_t frames = r.frames.load(std::memory_order_relaxed);
  const std::int32_t constant = e.constant_frames.load(std::memory_order_relaxed);
  if (constant != 0) frames = constant;
  if (frames >= 2) {
    if (e.Speed == 1) frames /= 2;
    else if (e.Speed == 2) frames = frames > INT_MAX / 2 ? INT_MAX : frames * 2;
  }
  // Consumers count down from the length; keep that defined for the most
  // negative one (a negative length runs a single frame either way).
  if (frames == INT_MIN) frames = INT_MIN + 1;
  r.frames.store(frames, std::memory_order_relaxed);
  cursor = found;
  return found;
}

void finish_event(Engine& e, std::int32_t index) {
  if (index < 0 || index >= kEventCount) return;
  EventRecord& r = e.events[static_cast<std::size_t>(index)];
  r.target.store(kTargetDone, std::memory_order_relaxed);
  r.frames.store(0, std::memory_order_release);
}

void camera_event_step(Engine& e, Platform& platform) {
  CameraEventState& c = e.camera_event;
  if (c.frames_left == 0) {
    const int i = take_event(e, platform, kTargetCamera, c.cursor);
    if (i < 0) return;
    const EventRecord& r = e.events[static_cast<std::size_t>(i)];
    const std::int32_t frames = r.frames.load(std::memory_order_relaxed);
    c.frames_left = frames;
    if (r.mode == kModeMove) {
      c.pos_step = divided(r.a, frames);
      c.rot_step = divided(r.b, frames);
    } else if (r.mode == kModeGoTo) {
      const Vec3 pos{target_difference(1, e.camera_pos.x, r.a.x), target_difference(1, e.camera_pos.y, r.a.y),
                     target_difference(1, e.camera_pos.z, r.a.z)};
      const Vec3 rot{target_difference(1, e.camera_rot.x, r.b.x), target_difference(1, e.camera_rot.y, r.b.y),
                     target_difference(1, e.camera_rot.z, r.b.z)};
      c.pos_step = divided(pos, frames);
      c.rot_step = divided(rot, frames);
    }
    // Other modes move on with the steps of the previous camera event.
  }

  const Vec3 before = e.camera_pos;
  e.camera_rot.x -= c.rot_step.x;
  e.camera_rot.y -= c.rot_step.y;
  e.camera_rot.z -= c.rot_step.z;
  e.camera_pos.x -= c.pos_step.x;
  e.camera_pos.y -= c.pos_step.y;
  e.camera_pos.z -= c.pos_step.z;
  if (e.collision_detection &&
      collision_test(e, -1, -e.camera_pos.x, -e.camera_pos.y, -e.camera_pos.z)) {
    // Stop at the last free position; the angles keep this frame's step.
    e.camera_pos = before;
    c.frames_left = 0;
  }
  count_step(e, c.frames_left, c.cursor);
}

void perspective_event_step(Engine& e, Platform& platform) {
  PerspectiveEventState& p = e.perspective_event;
  if (p.frames_left == 0) {
    const int i = take_event(e, platform, kTargetPerspective, p.cursor);
    if (i < 0) return;
    const EventRecord& r = e.events[static_cast<std::size_t>(i)];
    const std::int32_t frames = r.frames.load(std::memory_order_relaxed);
    p.frames_left = frames;
    p.step_x = r.a.x / static_cast<float>(frames);
    p.step_y = r.a.y / static_cast<float>(frames);
  }
  e.perspective_switch = 1;
  e.perspective[0] -= p.step_x;
  e.perspective[1] -= p.step_y;
  count_step(e, p.frames_left, p.cursor);
}

void object_event_step(Engine& e, Platform& platform, Object& o) {
  MotionState& m = o.motion;
  if (m.frames_left == 0) {
    const int i = take_event(e, platform, o.index, m.cursor);
    if (i < 0) return;
    const EventRecord& r = e.events[static_cast<std::size_t>(i)];
    const std::int32_t frames = r.frames.load(std::memory_order_relaxed);
    m.frames_left = frames;
    m.orbit_step = {};
    m.spin_step = {};
    m.translation_step = {};
    switch (r.mode) {
      case kModeMove:
        m.translation_step = divided(r.a, frames);
        m.spin_step = divided(r.b, frames);
        break;
      case kModeSpin:
        m.spin_step = divided(r.b, frames);
        break;
      case kModeOrbit:
        m.orbit_step = divided(r.b, frames);
        break;
      case kModeGoTo: {
        const Vec3 move{target_difference(0, o.centre.x, r.a.x), target_difference(0, o.centre.y, r.a.y),
                        target_difference(0, o.centre.z, r.a.z)};
        const Vec3 spin{target_difference(0, 0.0f, r.b.x), target_difference(0, 0.0f, r.b.y),
                        target_difference(0, 0.0f, r.b.z)};
        m.translation_step = divided(move, frames);
        m.spin_step = divided(spin, frames);
        break;
      }
      default:
        break;  // an unknown mode runs its frames without moving
    }
  }

  if (any_nonzero(m.orbit_step)) {
    const Vec3 a = negated(m.orbit_step);
    rotate_object(o, a.x, a.y, a.z);
  }
  if (any_nonzero(m.spin_step)) {
    const Vec3 a = negated(m.spin_step);
    spin_object(o, a.x, a.y, a.z);
  }
  if (any_nonzero(m.translation_step)) {
    translate_object(o, m.translation_step.x, m.translation_step.y, m.translation_step.z);
  }
  count_step(e, m.frames_left, m.cursor);
}

}  // namespace kelvo
