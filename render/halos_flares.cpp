#include "render/halos_flares.h"

#include <cmath>

#include "render/gl_calls.h"
#include "render/gl_states.h"

namespace kelvo {

namespace {

// Whether an object has the first vertex and face an anchor needs.
bool has_anchor(const Object& o) { return !o.vertices.empty() && !o.faces.empty(); }

void anchor_colour(const GlCalls& g, const Face& f) {
  g.Color3b(static_cast<GLbyte>(f.red), static_cast<GLbyte>(f.green), static_cast<GLbyte>(f.blue));
}

// The squares of one flare: where along the line through the anchor (in
// multiples of the direction), how large (in multiples of the flare size)
// and which of the four lens textures.
struct FlareSquare {
  float along;
  int size;
  int lens;
};
constexpr FlareSquare kFlare[8] = {
    {0.0f, 10, 0}, {0.5f, 6, 1}, {0.55f, 6, 0}, {0.6f, 2, 2}, {1.9f, 10, 3}, {1.7f, 4, 0}, {1.75f, 6, 1}, {-0.15f, 8, 3},
};

}  // namespace

void draw_billboard(const Engine& e, float x, float y, float z, float h, int slot) {
  const GlCalls& g = *gl;
  bind_texture_slot(e, slot);
  g.Begin(GL_QUADS);
  g.TexCoord2f(0, 0);
  g.Vertex3f(x - h, y + h, z);
  g.TexCoord2f(1, 0);
  g.Vertex3f(x + h, y + h, z);
  g.TexCoord2f(1, 1);
  g.Vertex3f(x + h, y - h, z);
  g.TexCoord2f(0, 1);
  g.Vertex3f(x - h, y - h, z);
  g.End();
}

void draw_halos(Engine& e) {
  const GlCalls& g = *gl;
  for (Object& o : e.objects) {
    if (o.halo_dim == 0 || o.visible == 0 || !has_anchor(o)) continue;
    if (o.ghoul_test != 0) g.Enable(GL_DEPTH_TEST);
    const Vec3 a = o.vertices[0].eye_position;
    anchor_colour(g, o.faces[0]);
    if (static_cast<unsigned>(o.halo_frame) >= o.halo_tex.size()) o.halo_frame = 0;
    if (o.tex_speed != 0 && o.tex_countdown == o.tex_speed) {
      ++o.halo_frame;
      if (o.halo_frame >= static_cast<int>(o.halo_tex.size()) || o.halo_tex[static_cast<std::size_t>(o.halo_frame)] == -1)
        o.halo_frame = 0;
    }
    draw_billboard(e, a.x, a.y, a.z, static_cast<float>(o.halo_dim), o.halo_tex[static_cast<std::size_t>(o.halo_frame)]);
    if (o.ghoul_test != 0) g.Disable(GL_DEPTH_TEST);
  }
}

void draw_lens_flares(const Engine& e) {
  const GlCalls& g = *gl;
  for (const Object& o : e.objects) {
    if (o.flare_dim == 0 || o.visible == 0 || !has_anchor(o)) continue;
    const Vec3 a = o.vertices[0].eye_position;
    anchor_colour(g, o.faces[0]);
    // The line runs from the anchor toward (d, d) in whole units; computed in
    // double so that it is the integer difference for any anchor.
    const double d = o.flare_dim;
    const float dx = static_cast<float>(d - std::trunc(static_cast<double>(a.x)));
    const float dy = static_cast<float>(d - std::trunc(static_cast<double>(a.y)));
    for (const FlareSquare& s : kFlare)
      draw_billboard(e, a.x + s.along * dx, a.y + s.along * dy, a.z, static_cast<float>(s.size) * static_cast<float>(o.flare_dim),
                     e.lens_slots[static_cast<std::size_t>(s.lens)]);
  }
}

}  // namespace kelvo
