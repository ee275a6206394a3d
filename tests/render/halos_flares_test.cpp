// Halos and lens flares.
#include <gtest/gtest.h>

#include "render/halos_flares.h"
#include "render/render_rig.h"

namespace kelvo::test {
namespace {

// An object whose first vertex is the anchor, with a red first face turned
// away from the camera (so only its halo or flare shows).
Object anchored_at(Vec3 anchor, int halo_dim = 0, int flare_dim = 0) {
  Object o = object_with_points({anchor, {anchor.x, anchor.y - 1, anchor.z}, {anchor.x + 1, anchor.y, anchor.z}});
  add_face(o, {0, 1, 2}, 127, 0, 0);
  o.halo_dim = halo_dim, o.flare_dim = flare_dim, o.halo_tex[0] = 1;
  return o;
}

struct HaloFrame : RecordedFrame {
  HaloFrame() {
    e.halo_switch = e.flare_switch = 1;
    for (int slot = 1; slot <= 8; ++slot) fake_slot(e, slot, static_cast<std::uint32_t>(100 + slot));
  }
};

TEST(Halo, HaloIsASquareOfTwiceItsDimCentredOnTheFirstVertex) {
  HaloFrame f;
  add_object(f.e, anchored_at({3, 4, 200}, 5));
  ASSERT_EQ(f.frame().size(), 1u);
  const RecordedDraw& halo = f.rec.draws[0];
  EXPECT_EQ(std::vector<long>({halo.texture, halo.blend_dst, halo.depth_test}), std::vector<long>({101, GL_ONE, 0}));
  // Corners x, y, s, t, z and r + g + a (the first face's colour, red).
  std::vector<std::vector<float>> corners;
  for (const RecordedVertex& v : halo.vertices) corners.push_back({v.x, v.y, v.s, v.t, v.z, v.r + v.g + v.a});
  EXPECT_EQ(corners, (std::vector<std::vector<float>>{
                         {-2, 9, 0, 0, 200, 2}, {8, 9, 1, 0, 200, 2}, {8, -1, 1, 1, 200, 2}, {-2, -1, 0, 1, 200, 2}}));
}

TEST(Halo, HiddenObjectOrSwitchOffDrawsNoHaloOrFlareAndNoAnchorDrawsNothing) {
  HaloFrame f;
  add_object(f.e, anchored_at({0, 0, 200}, 5, 2)).visible = 0;
  EXPECT_TRUE(f.frame().empty());
  f.e.objects[0].visible = 1;
  EXPECT_EQ(f.frame().size(), 9u);
  f.e.halo_switch = 0;
  EXPECT_EQ(f.frame().size(), 8u);
  f.e.flare_switch = 0;
  EXPECT_TRUE(f.frame().empty());
  // Objects without a first vertex or a first face have no anchor.
  HaloFrame g;
  Object empty, pointed = object_with_points({{0, 0, 100}});
  empty.halo_dim = pointed.halo_dim = 5, empty.flare_dim = pointed.flare_dim = 2;
  add_object(g.e, empty), add_object(g.e, pointed);
  EXPECT_TRUE(g.frame().empty());
}

TEST(Halo, FlareSquaresLieAlongTheLineFromTheAnchorTowardItsSize) {
  HaloFrame f;
  f.e.lens_slots = {1, 2, 3, 4};
  add_object(f.e, anchored_at({0, 0, 300}, 0, 4));
  ASSERT_EQ(f.frame().size(), 8u);
  // D = (4, 4): centres at A + k D, half-sizes in units of 4.
  const float along[8] = {0, 0.5f, 0.55f, 0.6f, 1.9f, 1.7f, 1.75f, -0.15f};
  const float half[8] = {40, 24, 24, 8, 40, 16, 24, 32};
  const long lens[8] = {101, 102, 101, 103, 104, 101, 102, 104};
  for (std::size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const std::vector<RecordedVertex>& v = f.rec.draws[i].vertices;
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(f.rec.draws[i].texture, lens[i]);
    EXPECT_NEAR((v[0].x + v[1].x) / 2, along[i] * 4, 1e-4);
    EXPECT_NEAR((v[0].y + v[2].y) / 2, along[i] * 4, 1e-4);
    EXPECT_NEAR(v[1].x - v[0].x, 2 * half[i], 1e-4);
    EXPECT_FLOAT_EQ(v[2].z, 300.0f);
  }
}

TEST(Halo, HaloTestLetsGeometryInFrontHideTheHalo) {
  for (int test : {0, 1}) {
    RenderRig rig;
    rig.e.halo_switch = 1;
    add_object(rig.e, facing_square(-30, -30, 30, 30, 100, 0, 0, 127));  // a blue wall in front
    Object& o = add_object(rig.e, anchored_at({0, 0, 200}, 10));
    o.halo_tex[0] = rig.texture("HALO", 255, 255, 255);
    o.ghoul_test = test;
    rig.frame();
    EXPECT_GT(blue_of(rig.pixel(80, 60)), 240);
    EXPECT_EQ(red_of(rig.pixel(80, 60)) > 240, test == 0);
  }
}

}  // namespace
}  // namespace kelvo::test
