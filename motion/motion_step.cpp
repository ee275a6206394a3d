#include "motion/motion_step.h"

#include "motion/events.h"
#include "motion/object_transform.h"
#include "script/script_writes.h"

namespace kelvo {

namespace {

bool any_nonzero(const Vec3& v) { return v.x != 0.0f || v.y != 0.0f || v.z != 0.0f; }

}  // namespace

void motion_step(Engine& e, Platform& platform) {
  apply_script_writes(e, platform);
  if (e.objects_move_switch == 0) return;

  const bool scripted = e.script_running.load(std::memory_order_acquire) != 0;
  if (scripted) {
    perspective_event_step(e, platform);
    camera_event_step(e, platform);
  }
  for (Object& o : e.objects) {
    if (scripted) object_event_step(e, platform, o);
    if (o.automove) {
      if (any_nonzero(o.orbit_speed)) rotate_object(o, o.orbit_speed.x, o.orbit_speed.y, o.orbit_speed.z);
      if (any_nonzero(o.rot_speed)) spin_object(o, o.rot_speed.x, o.rot_speed.y, o.rot_speed.z);
    }
  }
}

}  // namespace kelvo
