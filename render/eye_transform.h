// The camera transform: world positions into eye space (x right, y up, z into
// the screen), done on the processor for every vertex of every drawn object.
//
// The world is moved, not the eye: `camera_pos` is added to a position, then
// the point is turned by the camera angles about Y, then X, then Z. With the
// perspective effect on, x and y are then scaled by the perspective factors
// over the viewport's right and bottom.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// camera_sin and camera_cos of the three camera angles; once per frame, before
// anything reads them.
void compute_camera_angles(Engine& e);

// The camera angles of this frame, as one value a tight loop can keep in
// registers.
struct CameraTurn {
  float sin_x, cos_x, sin_y, cos_y, sin_z, cos_z;
};

inline CameraTurn camera_turn(const Engine& e) {
  return {e.camera_sin[0], e.camera_cos[0], e.camera_sin[1], e.camera_cos[1], e.camera_sin[2], e.camera_cos[2]};
}

// Turns a point by the camera angles: about Y, then X, then Z.
inline Vec3 turn(const CameraTurn& t, Vec3 p) {
  float x = t.cos_y * p.x + t.sin_y * p.z;
  float z = t.cos_y * p.z - t.sin_y * p.x;
  const float y = t.cos_x * p.y + t.sin_x * z;
  z = t.cos_x * z - t.sin_x * p.y;
  return {t.cos_z * x - t.sin_z * y, t.sin_z * x + t.cos_z * y, z};
}

// The perspective effect's factors and the viewport's right and bottom.
struct PerspectiveScale {
  float factor_x, factor_y, right, bottom;
};

inline PerspectiveScale perspective_scale(const Engine& e) {
  return {e.perspective[0], e.perspective[1], static_cast<float>(e.viewport_box.x1),
          static_cast<float>(e.viewport_box.y1)};
}

inline void apply_perspective(const PerspectiveScale& s, Vec3& p) {
  p.x = s.factor_x * p.x / s.right;
  p.y = s.factor_y * p.y / s.bottom;
}

// The full transform of a point that follows the camera position: the one
// shadows and particles use (they scale whenever the effect is on).
inline Vec3 world_to_eye(const CameraTurn& t, const Vec3& camera_pos, const PerspectiveScale* perspective, Vec3 p) {
  p = turn(t, {p.x + camera_pos.x, p.y + camera_pos.y, p.z + camera_pos.z});
  if (perspective) apply_perspective(*perspective, p);
  return p;
}

// Eye positions of every vertex of `o`: `fixed` 0 adds the camera position,
// 1 does not (the object travels with the camera), 2 neither adds it nor
// turns (the object stays put on the screen). The perspective factors apply
// while the effect is on and the object accepts it.
void eye_transform_object(const Engine& e, Object& o);

}  // namespace kelvo
