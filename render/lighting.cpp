#include "render/lighting.h"

#include <GL/gl.h>

#include <cmath>

namespace kelvo {

namespace {

constexpr std::uint32_t kCull = 2;  // front_face value that turns culling off

Vec3 minus(const Vec3& p, const Vec3& q) { return {p.x - q.x, p.y - q.y, p.z - q.z}; }

// The sign test on the eye positions of corners 0, 1 and 2.
inline int facing(const Vertex* v, const Face& f, std::uint32_t front_face) {
  if (front_face == kCull) return 1;
  const Vec3& e0 = v[f.corners[0]].eye_position;
  const Vec3& e1 = v[f.corners[1]].eye_position;
  const Vec3& e2 = v[f.corners[2]].eye_position;
  const float d = (e0.x * e1.z - e0.z * e1.x) * e2.y + (e0.y * e1.x - e0.x * e1.y) * e2.z +
                  (e0.z * e1.y - e0.y * e1.z) * e2.x;
  if (d < 0 && front_face == GL_CW) return 0;
  if (d > 0 && front_face == GL_CCW) return 0;
  return 1;
}

}  // namespace

void light_update(Engine& e) {
  for (Light& l : e.lights) {
    if (l.object < 0 || l.object >= static_cast<int>(e.objects.size())) continue;
    const Object& o = e.objects[static_cast<std::size_t>(l.object)];
    if (o.faces.empty()) continue;
    const Face& f = o.faces[0];
    bool ok = true;
    for (int k = 0; k < 3; ++k) ok = ok && static_cast<std::size_t>(f.corners[static_cast<std::size_t>(k)]) < o.vertices.size();
    if (!ok) continue;
    for (std::size_t k = 0; k < 3; ++k) l.corners[k] = o.vertices[static_cast<std::size_t>(f.corners[k])];
    const Vec3 a = minus(l.corners[2].position, l.corners[0].position);
    const Vec3 b = minus(l.corners[1].position, l.corners[0].position);
    l.normal = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    l.normal_length = std::sqrt(l.normal.x * l.normal.x + l.normal.y * l.normal.y + l.normal.z * l.normal.z);
  }
}

int face_visible(const Object& o, int i) {
  return facing(o.vertices.data(), o.faces[static_cast<std::size_t>(i)], o.front_face);
}

float light_factor(const Vec3& n, float n_length, const Light& light, int shader) {
  const float length = n_length * light.normal_length;
  if (length == 0.0f) return 0.0f;  // a face or light without area
  float c = (n.x * light.normal.x + n.y * light.normal.y + n.z * light.normal.z) / length;
  if (!(c > 0.0f)) return 0.0f;
  if (shader != 1 && shader != 2) return c;
  // The cone variants: light falls off with the angle itself; variant 2 is
  // narrower, has its full light off the axis and none inside 1 / 1.2. A
  // cosine above 1 is rounding of a face lit head-on, which variant 1 lights
  // fully.
  if (shader == 1 && c > 1.0f) c = 1.0f;
  const float x = shader == 1 ? c : 1.2f * c;
  if (x > 1.0f) return 0.0f;
  const float f = 1.0f - std::fabs(std::acos(x));
  return f > 0.0f ? f : 0.0f;
}

void light_object(const Engine& e, Object& o) {
  Vertex* v = o.vertices.data();
  const std::uint32_t front_face = o.front_face;
  if (!e.light_switch || o.autolighted) {
    for (Face& f : o.faces) f.visible = facing(v, f, front_face);
    return;
  }
  const bool phong = e.phong != 0;
  if (phong)
    for (Vertex& vertex : o.vertices) vertex.vertex_colour = 0;
  const float ambient[3] = {static_cast<float>(e.ambient[0]), static_cast<float>(e.ambient[1]),
                            static_cast<float>(e.ambient[2])};
  const Light* lights = e.lights.data();
  const std::size_t light_count = e.lights.size();
  const int shader = o.shader;
  for (Face& f : o.faces) {
    f.visible = facing(v, f, front_face);
    if (!f.visible) continue;
    const Vec3& v0 = v[f.corners[0]].position;
    const Vec3 b = minus(v[f.corners[1]].position, v0);
    const Vec3 a = minus(v[f.corners[2]].position, v0);
    const Vec3 n{b.y * a.z - b.z * a.y, b.z * a.x - b.x * a.z, b.x * a.y - b.y * a.x};
    const float n_length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    float sum[3] = {ambient[0], ambient[1], ambient[2]};
    const float base[3] = {static_cast<float>(f.red), static_cast<float>(f.green), static_cast<float>(f.blue)};
    for (std::size_t i = 0; i < light_count; ++i) {
      const Light& l = lights[i];
      const float factor = light_factor(n, n_length, l, shader);
      const float colour[3] = {l.colour.x, l.colour.y, l.colour.z};
      for (int c = 0; c < 3; ++c) {
        sum[c] += base[c] * colour[c] * factor;
        if (sum[c] > base[c]) sum[c] = base[c];
      }
    }
    const std::uint32_t word = (std::uint32_t(f.alpha) << 24) |
                               ((static_cast<std::uint32_t>(static_cast<std::int32_t>(sum[0])) & 0xFFu) << 16) |
                               ((static_cast<std::uint32_t>(static_cast<std::int32_t>(sum[1])) & 0xFFu) << 8) |
                               (static_cast<std::uint32_t>(static_cast<std::int32_t>(sum[2])) & 0xFFu);
    const int corners = f.corner_count == 4 ? 4 : 3;
    if (!phong) {
      for (int k = 0; k < corners; ++k) f.corner_colours[static_cast<std::size_t>(k)] = word;
    } else {
      for (int k = 0; k < corners; ++k) {
        std::uint32_t& c = v[f.corners[static_cast<std::size_t>(k)]].vertex_colour;
        if (word > c) c = word;
      }
    }
  }
}

}  // namespace kelvo
