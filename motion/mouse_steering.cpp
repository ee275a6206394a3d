#include "motion/motion_step.h"

#include <tuple>

#include "motion/object_transform.h"

namespace kelvo {

void mouse_steering(Engine& e, Platform& platform) {
  if (e.keyboard == 0) return;

  auto [px, py] = platform.cursor_pos();
  CursorPoint last = e.last_cursor;
  const ViewportBox& v = e.viewport_box;
  if (!(px < v.x1 - 1 && py < v.y1 - 1 && px > v.x0 && py > v.y0)) {
    // At the edge: back to the centre, and this move turns nothing.
    platform.set_cursor_pos(e.screen_centre[0], e.screen_centre[1]);
    std::tie(px, py) = platform.cursor_pos();
    last = {px, py};
  }

  if (e.obj_mode == 0) {
    if (py != last.y) e.camera_rot.x += static_cast<float>(py - last.y);
    if (px != last.x) e.camera_rot.y += static_cast<float>(last.x - px);
  } else if (!e.objects.empty()) {
    Object& first = e.objects.front();
    if (py != last.y) rotate_object(first, static_cast<float>(last.y - py), 0, 0);
    if (px != last.x) rotate_object(first, 0, static_cast<float>(last.x - px), 0);
  }
  e.last_cursor = {px, py};
}

}  // namespace kelvo
