#include "render/shadows.h"

#include "render/eye_transform.h"
#include "render/gl_calls.h"

namespace kelvo {

void draw_shadows(const Engine& e, Object& o) {
  const GlCalls& g = *gl;
  g.Disable(GL_TEXTURE_2D);
  const Vec3 camera = e.camera_pos;
  const CameraTurn turn_by = camera_turn(e);
  const PerspectiveScale scale = perspective_scale(e);
  const bool perspective = e.perspective_switch != 0;
  const float plane = o.shadow_cast;
  const GLbyte alpha = static_cast<GLbyte>(o.shadow_dark & 0xFF);
  Vertex* v = o.vertices.data();
  Vertex* const end = v + o.vertices.size();
  for (const Light& l : e.lights) {
    const Vec3 light = l.corners[0].position;
    if (light.y == 0.0f) continue;
    for (Vertex* p = v; p != end; ++p) {
      const Vec3 w = p->position;
      const float t = w.y / light.y;
      p->eye_position = {w.x - t * (light.x - w.x) + camera.x, plane + camera.y, w.z - t * (light.z - w.z) + camera.z};
    }
    if (!(plane + 10.0f < light.y)) continue;
    for (const Face& f : o.faces) {
      const int corners = f.corner_count == 4 ? 4 : 3;
      g.Begin(corners == 4 ? GL_QUADS : GL_TRIANGLES);
      for (int k = 0; k < corners; ++k) {
        Vec3 q = turn(turn_by, v[f.corners[static_cast<std::size_t>(k)]].eye_position);
        if (perspective) apply_perspective(scale, q);
        g.Color4b(0, 0, 0, alpha);
        g.Vertex3f(q.x, q.y, q.z);
      }
      g.End();
    }
  }
}

}  // namespace kelvo
