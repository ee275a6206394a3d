#include "render/face_passes.h"

#include <cmath>

#include "render/gl_calls.h"
#include "render/gl_states.h"

namespace kelvo {

namespace {

// How one pass finds a corner's texture coordinates.
enum class Coords { shifted, planar, stored };

struct PassInput {
  const Vertex* v;
  float shift_u, shift_v;
  float env;
};

inline void send_coords(const GlCalls& g, const PassInput& in, const Face& f, int k, Coords coords,
                        const Vertex& vertex, TexOffset offset) {
  const std::size_t i = static_cast<std::size_t>(k);
  switch (coords) {
    case Coords::shifted:
      g.TexCoord2f(f.u[i] + in.shift_u + offset.s, f.v[i] + in.shift_v + offset.t);
      break;
    case Coords::planar:
      g.TexCoord2f(vertex.position.x * in.env + 0.5f, vertex.position.y * in.env + 0.5f);
      break;
    case Coords::stored:
      g.TexCoord2f(f.u[i], f.v[i]);
      break;
  }
}

// One pass of a face in a single colour.
void draw_flat(const GlCalls& g, const PassInput& in, const Face& f, int corners, GLenum primitive, GLbyte grey,
               Coords coords, TexOffset offset = {}) {
  g.Begin(primitive);
  g.Color4b(grey, grey, grey, 127);
  for (int k = 0; k < corners; ++k) {
    const Vertex& vertex = in.v[f.corners[static_cast<std::size_t>(k)]];
    send_coords(g, in, f, k, coords, vertex, offset);
    g.Vertex3f(vertex.eye_position.x, vertex.eye_position.y, vertex.eye_position.z);
  }
  g.End();
}

inline GLbyte channel(std::uint32_t word, int shift) { return static_cast<GLbyte>((word >> shift) & 0xFFu); }

}  // namespace

TexOffset bump_offset(const Engine& e, const Vertex& v, float level) {
  if (e.lights.empty()) return {};
  const Vec3& light = e.lights[0].corners[0].eye_position;
  const float dx = light.x - v.eye_position.x;
  const float dy = light.y - v.eye_position.y;
  const float dz = light.z - v.eye_position.z;
  const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (length == 0.0f) return {};
  return {dx / length * level, dy / length * level};
}

void draw_object_faces(const Engine& e, Object& o) {
  const GlCalls& g = *gl;
  const PassInput in{o.vertices.data(), o.tex_shift[0], o.tex_shift[1], o.tex_env};
  const Vertex* v = in.v;
  const bool lines = e.draw_mode == 3;
  const bool lit_colours = e.light_switch != 0 && o.autolighted == 0 && e.phong == 0;
  const bool animate = o.tex_speed != 0 && o.tex_countdown == o.tex_speed;
  const bool planar_main = o.tex_env != 0.0f && o.tex_evmap == -1;
  const bool nearest = o.object_bilinear == 0;
  const bool chroma = o.chromakey != 0;
  const bool bump = o.bump_level != 0.0f;
  const bool evmap = o.tex_evmap != -1;
  const bool mask = o.tex_mask != -1;
  const Coords mask_coords = o.tex_env != 0.0f ? Coords::planar : Coords::stored;

  for (Face& f : o.faces) {
    if (!f.visible) continue;
    const int corners = f.corner_count == 4 ? 4 : 3;
    const GLenum primitive = lines ? GL_LINE_STRIP : corners == 4 ? GL_QUADS : GL_TRIANGLES;

    // Chroma key: multiplies what lies behind by the key texture; keeps the
    // texturing state the previous pass left.
    if (chroma) {
      g.BlendFunc(GL_DST_COLOR, GL_ZERO);
      bind_texture_slot(e, o.chroma_tex);
      draw_flat(g, in, f, corners, primitive, 127, Coords::shifted);
      g.BlendFunc(GL_ONE, GL_ONE);
    }

    // Bump: the first texture, then the second one added on top, shifted
    // toward the light.
    if (bump) {
      g.Enable(GL_TEXTURE_2D);
      g.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      bind_texture_slot(e, o.bump_tex[0]);
      draw_flat(g, in, f, corners, primitive, 64, Coords::shifted);
      bind_texture_slot(e, o.bump_tex[1]);
      g.BlendFunc(GL_ONE, GL_ONE);
      draw_flat(g, in, f, corners, primitive, 64, Coords::shifted,
                bump_offset(e, v[f.corners[0]], o.bump_level));
      g.BlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
    }

    // Main: the face's current texture (or none) with its colours, blended
    // by whatever function is in force.
    if (f.current_frame >= f.texture_frames.size()) f.current_frame = 0;
    const std::uint16_t slot = f.texture_frames[f.current_frame];
    const bool textured = slot != kNoTexture16;
    if (!textured) {
      g.Disable(GL_TEXTURE_2D);
    } else {
      g.Enable(GL_TEXTURE_2D);
      bind_texture_slot(e, slot);
      if (nearest) {
        g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      }
      if (animate) {
        // The next frame shows from the next drawn frame on.
        unsigned next = f.current_frame + 1u;
        if (next >= f.texture_frames.size() || f.texture_frames[next] == kNoTexture16) next = 0;
        f.current_frame = static_cast<std::uint8_t>(next);
      }
    }
    const GLbyte alpha = static_cast<GLbyte>(f.alpha);
    g.Begin(primitive);
    for (int k = 0; k < corners; ++k) {
      const std::size_t i = static_cast<std::size_t>(k);
      const Vertex& vertex = v[f.corners[i]];
      const std::uint32_t word = lit_colours ? f.corner_colours[i] : vertex.vertex_colour;
      g.Color4b(channel(word, 16), channel(word, 8), channel(word, 0), alpha);
      if (planar_main) {
        g.TexCoord2f(vertex.position.x * in.env + 0.5f, vertex.position.y * in.env + 0.5f);
      } else {
        f.v[i] += in.shift_v;
        f.u[i] += in.shift_u;
        g.TexCoord2f(f.u[i], f.v[i]);
      }
      g.Vertex3f(vertex.eye_position.x, vertex.eye_position.y, vertex.eye_position.z);
    }
    g.End();
    if (textured && nearest) {
      g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }

    // Environment map: planar coordinates from the model positions,
    // modulating what the main pass left.
    if (evmap) {
      g.Enable(GL_TEXTURE_2D);
      g.BlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
      bind_texture_slot(e, o.tex_evmap);
      draw_flat(g, in, f, corners, primitive, 127, Coords::planar);
      g.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }

    // Mask: added by its alpha.
    if (mask) {
      g.Enable(GL_TEXTURE_2D);
      g.BlendFunc(GL_SRC_ALPHA, GL_ONE);
      bind_texture_slot(e, o.tex_mask);
      draw_flat(g, in, f, corners, primitive, 127, mask_coords);
      g.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
  }
}

}  // namespace kelvo
