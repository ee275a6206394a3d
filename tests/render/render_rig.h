// Scenes built by hand for the renderer's tests, drawn either through the GL
// recorder or into a small software GL context set up as the player sets up
// its view.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/gl_context.h"
#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "render/frame_renderer.h"
#include "render/gl_recorder.h"
#include "scene/engine_state.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

namespace kelvo::test {

inline std::uint32_t argb(int a, int r, int g, int b) {
  return (std::uint32_t(a) << 24) | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
}

// Adds a face over 3 or 4 `corners` with colour r, g, b (0..127) and alpha, as
// the scene load leaves it: corner and vertex colours equal to the face colour,
// texture coordinates 0..1 over a quad.
inline Face& add_face(Object& o, std::initializer_list<int> corners, int r, int g, int b, int a = 127) {
  Face f;
  f.corner_count = 0;
  for (int c : corners) {
    f.corners[static_cast<std::size_t>(f.corner_count++)] = c;
    o.vertices[static_cast<std::size_t>(c)].vertex_colour = argb(a, r, g, b);
  }
  f.red = std::uint8_t(r), f.green = std::uint8_t(g), f.blue = std::uint8_t(b), f.alpha = std::uint8_t(a);
  f.visible = 1, f.u = {0, 1, 1, 0}, f.v = {0, 0, 1, 1};
  f.corner_colours.fill(argb(a, r, g, b));
  o.faces.push_back(f);
  o.face_count = static_cast<std::int32_t>(o.faces.size());
  return o.faces.back();
}

inline Object object_with_points(std::initializer_list<Vec3> points) {
  Object o;
  for (const Vec3& p : points) o.vertices.push_back(Vertex{p, 0, {}});
  o.vertex_count = static_cast<std::int32_t>(o.vertices.size());
  return o;
}

// A square in the plane z from (x0, y0) to (x1, y1), clockwise on screen seen
// from the origin (so it faces the camera with the default culling).
inline Object facing_square(float x0, float y0, float x1, float y1, float z, int r, int g, int b) {
  Object o = object_with_points({{x0, y1, z}, {x1, y1, z}, {x1, y0, z}, {x0, y0, z}});
  add_face(o, {0, 1, 2, 3}, r, g, b);
  return o;
}
// A grey 20 x 20 square at depth z.
inline Object square_at(float z) { return facing_square(-10, -10, 10, 10, z, 100, 100, 100); }

inline Object& add_object(Engine& e, Object o) {
  o.index = e.object_count++;  // the tests add every object here
  e.objects.push_back(std::move(o));
  return e.objects.back();
}

// Adds a hidden object with one white face over p0, p1, p2 and a white light
// for it, as the scene load does.
inline void add_hidden_light(Engine& e, Vec3 p0, Vec3 p1, Vec3 p2) {
  Object o = object_with_points({p0, p1, p2});
  add_face(o, {0, 1, 2}, 127, 127, 127);
  o.visible = 0;
  e.lights.push_back(Light{});
  e.lights.back().object = add_object(e, std::move(o)).index;
  e.lights.back().colour = {1, 1, 1};
  e.light_count = static_cast<std::int32_t>(e.lights.size());
}

// Gives texture slot `slot` a made-up GL name, for recorded frames.
inline void fake_slot(Engine& e, int slot, std::uint32_t gl_name) {
  TextureSlot& s = e.texture_slots[static_cast<std::size_t>(slot)];
  s.name = "T" + std::to_string(slot), s.used = 1, s.gl_name = gl_name;
}

// An engine with nothing switched on beyond what a test asks for.
inline void quiet(Engine& e) {
  e.Fog = e.light_switch = e.flare_switch = e.halo_switch = e.particle_switch = e.objects_move_switch = 0;
  e.viewport_box = {0, 0, 800, 600};
}

// Frames drawn through the recorder, without a GL context.
struct RecordedFrame {
  Engine e;
  RecordingPlatform platform;
  GlRecorder rec;
  RecordedFrame() { quiet(e), e.gl_ready = 1; }
  // Draws `n` frames; the recorder keeps only the last one.
  const std::vector<RecordedDraw>& frame(int n = 1) {
    for (int i = 0; i < n; ++i) rec.calls.clear(), rec.draws.clear(), render_frame(e, platform);
    return rec.draws;
  }
};

inline int red_of(std::uint32_t rgba) { return static_cast<int>(rgba >> 24); }
inline int green_of(std::uint32_t rgba) { return static_cast<int>((rgba >> 16) & 0xFF); }
inline int blue_of(std::uint32_t rgba) { return static_cast<int>((rgba >> 8) & 0xFF); }
inline int brightness_of(std::uint32_t rgba) { return red_of(rgba) + green_of(rgba) + blue_of(rgba); }

// A real GL context of width x height with the player's view on it.
struct RenderRig {
  OsmesaContext context;
  RecordingPlatform platform;
  TempDir dir;
  Engine e;

  explicit RenderRig(int width = 160, int height = 120) : context(width, height) {
    quiet(e);
    e.viewport_box = {0, 0, width, height};
    e.ResX = width, e.ResY = height, e.paths.dir_temp = dir.path();
    set_initial_gl_state(e);
    view_setup(e, platform);
  }
  // `image` as the texture `name`, loaded into a slot; its slot.
  int texture(const std::string& name, const Image& image) {
    std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    dir.write(name + ".3DF", std::string(bytes.begin(), bytes.end()));
    return load_texture(e, name);
  }
  // A square texture of one colour.
  int texture(const std::string& name, std::uint8_t r, std::uint8_t g, std::uint8_t b, int side = 4) {
    Image image{side, side, {}};
    for (int i = 0; i < side * side; ++i) image.rgb.insert(image.rgb.end(), {r, g, b});
    return texture(name, image);
  }
  void frame() { render_frame(e, platform); }
  std::uint32_t pixel(int x, int y) const { return context.pixel(x, y); }
  bool black(int x, int y) const { return (pixel(x, y) & 0xFFFFFF00u) == 0; }
};

}  // namespace kelvo::test
