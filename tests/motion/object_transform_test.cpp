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
  compute_bounds(o);
  return o;
}

void expect_near(const Vec3& a, const Vec3& b, float tolerance = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(ObjectTransform, RotationTurnsAboutYThenZThenX) {
  // Each axis alone by 90 degrees, then the order: Y before X (X first would
  // leave (1, 0, 0) on the X axis and give (0, 0, 1)), Y before Z, Z before X.
  const struct {
    Vec3 p, angles, want;
  } cases[] = {{{1, 0, 0}, {0, 90, 0}, {0, 0, 1}},  {{1, 0, 0}, {0, 0, 90}, {0, -1, 0}},
               {{0, 1, 0}, {90, 0, 0}, {0, 0, -1}}, {{1, 0, 0}, {90, 90, 0}, {0, 1, 0}},
               {{1, 0, 0}, {0, 90, 90}, {0, 0, 1}}, {{1, 0, 0}, {90, 0, 90}, {0, 0, 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.angles.x << " " << c.angles.y << " " << c.angles.z);
    expect_near(rotate_point(c.p, c.angles.x, c.angles.y, c.angles.z), c.want);
  }
}

// (Spin and orbit through the motion step are in motion_test.cpp.)
TEST(ObjectTransform, TranslateRotateAndScaleMoveTheBoxWithTheCentre) {
  Object o = object_with({{80, -6, -8}, {100, 4, 12}});
  translate_object(o, 10, 1, -2);
  expect_near(o.vertices[1].position, {110, 5, 10}, 0);
  // About the origin, the box moving with the centre: (90, -5, -10) -> (10, -5, 90).
  rotate_object(o, 0, 90, 0);
  expect_near(o.centre, {0, 0, 100}, 1e-3f);
  const std::array<float, 6> box{-10, 10, -5, 5, 90, 110};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(o.bbox[i], box[i], 1e-3f) << i;
  expect_near(o.vertices[0].position, {10, -5, 90}, 1e-3f);
  scale_object(o, 2);  // the vertices only
  expect_near(o.vertices[0].position, {20, -10, 180}, 1e-3f);
  EXPECT_NEAR(o.bbox[4], 90, 1e-3f);
}

TEST(ObjectTransform, CollisionTestUsesTheWidenedBoxesOfSolidObjects) {
  Engine e;
  e.collision_detection = 1;
  e.objects = {object_with({{0, 0, 0}, {100, 100, 100}}), object_with({{1000, 0, 0}, {1100, 100, 100}})};
  e.object_count = 2;
  // Bounds included: exactly 20 beyond a face collides, a little more not.
  const struct {
    Vec3 p;
    int hit;
  } points[] = {{{50, 50, 50}, 1},        {{-20, 50, 50}, 1},     {{50, 120, 50}, 1}, {{50, 50, -20}, 1},
                {{-20.01f, 50, 50}, 0},   {{50, 50, 120.01f}, 0}, {{500, 50, 50}, 0}, {{1120, 120, 120}, 1}};
  for (const auto& c : points) EXPECT_EQ(collision_test(e, -1, c.p.x, c.p.y, c.p.z), c.hit) << c.p.x << " " << c.p.z;

  // The excluded object, objects that are not solid and objects past
  // object_count never block; with collision detection off nothing does.
  EXPECT_EQ(collision_test(e, 0, 50, 50, 50) + 2 * collision_test(e, 0, 1050, 50, 50), 2);
  e.objects[1].solidity = 0;
  EXPECT_EQ(collision_test(e, -1, 1050, 50, 50), 0);
  e.object_count = 1;
  e.objects[1].solidity = 1;
  EXPECT_EQ(collision_test(e, -1, 1050, 50, 50), 0);
  e.collision_detection = 0;
  EXPECT_EQ(collision_test(e, -1, 50, 50, 50), 0);
}

}  // namespace
}  // namespace kelvo
