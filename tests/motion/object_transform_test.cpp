// Object transforms (bounds, translate, rotate about the origin, spin, scale)
// and the camera's collision test.
#include <gtest/gtest.h>

#include <vector>

#include "motion/object_transform.h"

namespace kelvo {
namespace {

Object object_with(std::vector<Vec3> points) {
  Object o;
  for (const Vec3& p : points) o.vertices.push_back({p, 0, {}});
  o.vertex_count = static_cast<std::int32_t>(points.size());
  return o;
}

void expect_near(const Vec3& a, const Vec3& b, float tolerance = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(ObjectTransform, BoundsHoldTheExtremesAndTheirMidpoint) {
  Object o = object_with({{1, -2, 3}, {-4, 5, 6}, {7, 0, -9}});
  compute_bounds(o);
  EXPECT_EQ(o.bbox, (std::array<float, 6>{-4, 7, -2, 5, -9, 6}));
  expect_near(o.centre, {1.5f, 1.5f, -1.5f}, 0);

  // Without vertices the box stays; the centre is still taken from it.
  Object none;
  none.bbox = {0, 2, 0, 4, 0, 6};
  none.centre = {9, 9, 9};
  compute_bounds(none);
  EXPECT_EQ(none.bbox, (std::array<float, 6>{0, 2, 0, 4, 0, 6}));
  expect_near(none.centre, {1, 2, 3}, 0);
}

TEST(ObjectTransform, RotationTurnsAboutYThenZThenX) {
  // Each axis alone by 90 degrees, then the order: Y before X (X first would
  // leave (1, 0, 0) on the X axis and give (0, 0, 1)), Y before Z, Z before X.
  const struct {
    Vec3 p, angles, want;
  } cases[] = {{{1, 0, 0}, {0, 90, 0}, {0, 0, 1}},  {{0, 0, 1}, {0, 90, 0}, {-1, 0, 0}},
               {{1, 0, 0}, {0, 0, 90}, {0, -1, 0}}, {{0, 1, 0}, {0, 0, 90}, {1, 0, 0}},
               {{0, 1, 0}, {90, 0, 0}, {0, 0, -1}}, {{0, 0, 1}, {90, 0, 0}, {0, 1, 0}},
               {{1, 0, 0}, {90, 90, 0}, {0, 1, 0}}, {{1, 0, 0}, {0, 90, 90}, {0, 0, 1}},
               {{1, 0, 0}, {90, 0, 90}, {0, 0, 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.angles.x << " " << c.angles.y << " " << c.angles.z);
    expect_near(rotate_point(c.p, c.angles.x, c.angles.y, c.angles.z), c.want);
  }
  const Vec3 p = rotate_point({3, 4, 12}, 17, -31, 123);  // a general turn keeps the length
  EXPECT_NEAR(p.x * p.x + p.y * p.y + p.z * p.z, 169.0f, 1e-3f);
}

TEST(ObjectTransform, TranslateAndRotateAboutTheOriginMoveTheBoxWithTheCentre) {
  Object o = object_with({{90, -5, -10}, {110, 5, 10}});
  compute_bounds(o);
  translate_object(o, 10, 0, 0);
  translate_object(o, 0, -1, 2);
  EXPECT_EQ(o.bbox, (std::array<float, 6>{100, 120, -6, 4, -8, 12}));
  expect_near(o.centre, {110, -1, 2}, 0);
  expect_near(o.vertices[1].position, {120, 4, 12}, 0);
  translate_object(o, -10, 1, -2);
  expect_near(o.centre, {100, 0, 0}, 0);
  rotate_object(o, 0, 90, 0);
  expect_near(o.centre, {0, 0, 100});
  // The box moved by (-100, 0, 100) and kept its size; the vertices turned
  // about the origin: (90, -5, -10) -> (10, -5, 90).
  const std::array<float, 6> box{-10, 10, -5, 5, 90, 110};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(o.bbox[i], box[i], 1e-3f) << i;
  expect_near(o.vertices[0].position, {10, -5, 90});
}

TEST(ObjectTransform, SpinTurnsAboutTheCentreAndKeepsCentreAndBox) {
  Object o = object_with({{90, 0, 0}, {110, 0, 0}, {100, 10, 0}});
  compute_bounds(o);
  const std::array<float, 6> box = o.bbox;
  const Vec3 centre = o.centre;
  spin_object(o, 0, 90, 0);
  EXPECT_EQ(o.bbox, box);
  expect_near(o.centre, centre, 0);
  // About the centre (100, 5, 0): (90, 0, 0) is (-10, -5, 0) from it and
  // turns to (0, -5, -10).
  expect_near(o.vertices[0].position, {100, 0, -10});
  expect_near(o.vertices[1].position, {100, 0, 10});
  expect_near(o.vertices[2].position, {100, 10, 0});
}

TEST(ObjectTransform, ScaleMultipliesVerticesOnly) {
  Object o = object_with({{1, 2, 3}, {-4, 0, 8}});
  compute_bounds(o);
  const std::array<float, 6> box = o.bbox;
  scale_object(o, 2.5f);
  expect_near(o.vertices[0].position, {2.5f, 5, 7.5f}, 0);
  expect_near(o.vertices[1].position, {-10, 0, 20}, 0);
  EXPECT_EQ(o.bbox, box);
  compute_bounds(o);
  EXPECT_EQ(o.bbox, (std::array<float, 6>{-10, 2.5f, 0, 5, 7.5f, 20}));
}

TEST(ObjectTransform, CollisionTestUsesTheWidenedBoxesOfSolidObjects) {
  Engine e;
  e.collision_detection = 1;
  e.objects.push_back(object_with({{0, 0, 0}, {100, 100, 100}}));
  e.objects.push_back(object_with({{1000, 0, 0}, {1100, 100, 100}}));
  for (Object& o : e.objects) compute_bounds(o);
  e.object_count = 2;

  // Bounds included: exactly 20 beyond a face collides, a little more not.
  EXPECT_EQ(collision_test(e, -1, 50, 50, 50), 1);
  EXPECT_EQ(collision_test(e, -1, -20, 50, 50), 1);
  EXPECT_EQ(collision_test(e, -1, 50, 120, 50), 1);
  EXPECT_EQ(collision_test(e, -1, 50, 50, -20), 1);
  EXPECT_EQ(collision_test(e, -1, -20.01f, 50, 50), 0);
  EXPECT_EQ(collision_test(e, -1, 50, 50, 120.01f), 0);
  EXPECT_EQ(collision_test(e, -1, 500, 50, 50), 0);
  EXPECT_EQ(collision_test(e, -1, 1120, 120, 120), 1);

  // The excluded object and objects that are not solid never block.
  EXPECT_EQ(collision_test(e, 0, 50, 50, 50), 0);
  EXPECT_EQ(collision_test(e, 0, 1050, 50, 50), 1);
  e.objects[1].solidity = 0;
  EXPECT_EQ(collision_test(e, -1, 1050, 50, 50), 0);
  // Objects past object_count are not in the scene yet.
  e.object_count = 1;
  e.objects[1].solidity = 1;
  EXPECT_EQ(collision_test(e, -1, 1050, 50, 50), 0);
  // Collision detection off, or no objects: nothing collides.
  e.object_count = 2;
  e.collision_detection = 0;
  EXPECT_EQ(collision_test(e, -1, 50, 50, 50), 0);
  e.collision_detection = 1;
  e.object_count = 0;
  EXPECT_EQ(collision_test(e, -1, 50, 50, 50), 0);
}

}  // namespace
}  // namespace kelvo
