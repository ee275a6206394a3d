// Object transforms and the camera's collision test.
#include "motion/object_transform.h"

#include <algorithm>
#include <cmath>

namespace kelvo {
namespace {

constexpr float kDegToRad = 0.017453292f;

// The vertices the object counts (the array may hold more).
std::size_t vertex_total(const Object& o) {
  return std::min<std::size_t>(o.vertex_count < 0 ? 0 : static_cast<std::size_t>(o.vertex_count),
                               o.vertices.size());
}

// Sines and cosines of one rotation, computed once per call.
struct Rotation {
  float s1, c1, s2, c2, s3, c3;

  Rotation(float ax, float ay, float az)
      : s1(std::sin(ax * kDegToRad)),
        c1(std::cos(ax * kDegToRad)),
        s2(std::sin(ay * kDegToRad)),
        c2(std::cos(ay * kDegToRad)),
        s3(std::sin(az * kDegToRad)),
        c3(std::cos(az * kDegToRad)) {}

  Vec3 apply(const Vec3& p) const {
    const float t = c2 * p.x - s2 * p.z;  // about Y
    const float w = c2 * p.z + s2 * p.x;
    const float x = c3 * t + s3 * p.y;    // about Z
    const float u = c3 * p.y - s3 * t;
    const float y = c1 * u + s1 * w;      // about X
    const float z = c1 * w - s1 * u;
    return {x, y, z};
  }
};

}  // namespace

void compute_bounds(Object& o) {
  const std::size_t n = vertex_total(o);
  std::array<float, 6>& b = o.bbox;
  if (n > 0) {
    const Vec3& first = o.vertices[0].position;
    b = {first.x, first.x, first.y, first.y, first.z, first.z};
    for (std::size_t i = 1; i < n; ++i) {
      const Vec3& p = o.vertices[i].position;
      if (p.x < b[0]) b[0] = p.x;
      if (p.x > b[1]) b[1] = p.x;
      if (p.y < b[2]) b[2] = p.y;
      if (p.y > b[3]) b[3] = p.y;
      if (p.z < b[4]) b[4] = p.z;
      if (p.z > b[5]) b[5] = p.z;
    }
  }
  o.centre = {b[0] + (b[1] - b[0]) * 0.5f, b[2] + (b[3] - b[2]) * 0.5f, b[4] + (b[5] - b[4]) * 0.5f};
}

namespace {

// The bounding box moves with the object's centre.
void shift_bounds(Object& o, float dx, float dy, float dz) {
  o.bbox[0] += dx;
  o.bbox[1] += dx;
  o.bbox[2] += dy;
  o.bbox[3] += dy;
  o.bbox[4] += dz;
  o.bbox[5] += dz;
}

}  // namespace

void translate_object(Object& o, float dx, float dy, float dz) {
  const std::size_t n = vertex_total(o);
  for (std::size_t i = 0; i < n; ++i) {
    Vec3& p = o.vertices[i].position;
    p.x += dx;
    p.y += dy;
    p.z += dz;
  }
  o.centre.x += dx;
  o.centre.y += dy;
  o.centre.z += dz;
  shift_bounds(o, dx, dy, dz);
}

Vec3 rotate_point(const Vec3& p, float ax, float ay, float az) { return Rotation(ax, ay, az).apply(p); }

void rotate_object(Object& o, float ax, float ay, float az) {
  const Rotation r(ax, ay, az);
  const std::size_t n = vertex_total(o);
  for (std::size_t i = 0; i < n; ++i) o.vertices[i].position = r.apply(o.vertices[i].position);
  const Vec3 old = o.centre;
  o.centre = r.apply(old);
  const float dx = o.centre.x - old.x, dy = o.centre.y - old.y, dz = o.centre.z - old.z;
  shift_bounds(o, dx, dy, dz);
}

void spin_object(Object& o, float ax, float ay, float az) {
  const Rotation r(ax, ay, az);
  const Vec3 c = o.centre;
  const std::size_t n = vertex_total(o);
  for (std::size_t i = 0; i < n; ++i) {
    Vec3& p = o.vertices[i].position;
    const Vec3 q = r.apply({p.x - c.x, p.y - c.y, p.z - c.z});
    p = {c.x + q.x, c.y + q.y, c.z + q.z};
  }
}

void scale_object(Object& o, float factor) {
  const std::size_t n = vertex_total(o);
  for (std::size_t i = 0; i < n; ++i) {
    Vec3& p = o.vertices[i].position;
    p.x *= factor;
    p.y *= factor;
    p.z *= factor;
  }
}

int collision_test(const Engine& e, std::int32_t excluded, float x, float y, float z) {
  if (e.collision_detection == 0 || e.object_count <= 0) return 0;
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(e.object_count), e.objects.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<std::int64_t>(i) == excluded) continue;
    const Object& o = e.objects[i];
    if (o.solidity == 0) continue;
    const std::array<float, 6>& b = o.bbox;
    if (b[0] - kCollisionMargin <= x && x <= b[1] + kCollisionMargin && b[2] - kCollisionMargin <= y &&
        y <= b[3] + kCollisionMargin && b[4] - kCollisionMargin <= z && z <= b[5] + kCollisionMargin) {
      return 1;
    }
  }
  return 0;
}

}  // namespace kelvo
