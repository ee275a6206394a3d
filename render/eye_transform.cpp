#include "render/eye_transform.h"

#include <cmath>

namespace kelvo {

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

// One loop per combination, so the body has no branches.
template <bool kAddCamera, bool kTurn, bool kPerspective>
void transform_vertices(Vertex* v, Vertex* end, const Vec3 camera, const CameraTurn t, const PerspectiveScale s) {
  for (; v != end; ++v) {
    Vec3 p = v->position;
    if constexpr (kAddCamera) p = {p.x + camera.x, p.y + camera.y, p.z + camera.z};
    if constexpr (kTurn) p = turn(t, p);
    if constexpr (kPerspective) apply_perspective(s, p);
    v->eye_position = p;
  }
}

}  // namespace

void compute_camera_angles(Engine& e) {
  const float angles[3] = {e.camera_rot.x, e.camera_rot.y, e.camera_rot.z};
  for (int i = 0; i < 3; ++i) {
    const float r = angles[i] * kDegreesToRadians;
    e.camera_sin[static_cast<std::size_t>(i)] = std::sin(r);
    e.camera_cos[static_cast<std::size_t>(i)] = std::cos(r);
  }
}

void eye_transform_object(const Engine& e, Object& o) {
  Vertex* begin = o.vertices.data();
  Vertex* end = begin + o.vertices.size();
  const Vec3 camera = e.camera_pos;
  const CameraTurn t = camera_turn(e);
  const PerspectiveScale s = perspective_scale(e);
  const bool perspective = e.perspective_switch != 0 && o.perspective_ok == 1;
  if (o.fixed == 0) {
    if (perspective)
      transform_vertices<true, true, true>(begin, end, camera, t, s);
    else
      transform_vertices<true, true, false>(begin, end, camera, t, s);
  } else if (o.fixed != 2) {
    if (perspective)
      transform_vertices<false, true, true>(begin, end, camera, t, s);
    else
      transform_vertices<false, true, false>(begin, end, camera, t, s);
  } else {
    if (perspective)
      transform_vertices<false, false, true>(begin, end, camera, t, s);
    else
      transform_vertices<false, false, false>(begin, end, camera, t, s);
  }
}

}  // namespace kelvo
