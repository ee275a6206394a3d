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
  EXPECT_EQ(halo.texture, 101);
  EXPECT_EQ(halo.blend_dst, GL_ONE);
  EXPECT_EQ(halo.depth_test, 0);
  ASSERT_EQ(halo.vertices.size(), 4u);
  const float x[4] = {-2, 8, 8, -2}, y[4] = {9, 9, -1, -1}, s[4] = {0, 1, 1, 0}, t[4] = {0, 0, 1, 1};
  for (std::size_t k = 0; k < 4; ++k) {
    const RecordedVertex& v = halo.vertices[k];
    EXPECT_FLOAT_EQ(v.x, x[k]);
    EXPECT_FLOAT_EQ(v.y, y[k]);
    EXPECT_FLOAT_EQ(v.z, 200.0f);
    EXPECT_FLOAT_EQ(v.s, s[k]);
    EXPECT_FLOAT_EQ(v.t, t[k]);
    EXPECT_FLOAT_EQ(v.r + v.g + v.a, 2.0f);  // the first face's colour, red
  }
}

TEST(Halo, HiddenObjectOrSwitchOffDrawsNoHaloOrFlareAndNoAnchorDrawsNothing) {
  HaloFrame f;
  Object& o = add_object(f.e, anchored_at({0, 0, 200}, 5, 2));
  o.visible = 0;
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
  empty.halo_dim = pointed.halo_dim = 5;
  empty.flare_dim = pointed.flare_dim = 2;
  add_object(g.e, empty);
  add_object(g.e, pointed);
  EXPECT_TRUE(g.frame().empty());
}

TEST(Halo, HaloAnimatesInTheFramesInWhichFaceTexturesAdvance) {
  HaloFrame f;
  Object& o = add_object(f.e, anchored_at({0, 0, 200}, 5));
  o.halo_tex[1] = 2;
  o.tex_speed = o.tex_countdown = 1;
  std::vector<long> shown;
  for (int i = 0; i < 4; ++i) shown.push_back(f.frame().at(0).texture);
  EXPECT_TRUE(shown == (std::vector<long>{101, 102, 101, 102}) || shown == (std::vector<long>{102, 101, 102, 101}));
  o.tex_speed = 0;  // without tex speed it stays put
  const long now = f.frame().at(0).texture;
  EXPECT_EQ(f.frame().at(0).texture, now);
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
  // The direction uses the anchor's whole units: (3.7, -2.2) gives (1, 6).
  f.e.objects[0] = anchored_at({3.7f, -2.2f, 300}, 0, 4);
  ASSERT_EQ(f.frame().size(), 8u);
  const std::vector<RecordedVertex>& v = f.rec.draws[1].vertices;
  EXPECT_NEAR((v[0].x + v[1].x) / 2, 3.7f + 0.5f, 1e-4);
  EXPECT_NEAR((v[0].y + v[2].y) / 2, -2.2f + 3.0f, 1e-4);
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

TEST(Halo, ShadowCastingObjectsHaloSitsOnItsShadowPoint) {
  HaloFrame f;
  f.e.light_switch = 1;
  Object& o = add_object(f.e, anchored_at({10, 5, 150}, 1));
  o.shadow_cast = -20, o.front_face = 2;
  add_hidden_light(f.e, {0, 100, 150}, {1, 100, 150}, {0, 100, 151});
  f.e.camera_rot = {0, 0, 90};  // the shadow point is moved, not turned
  const RecordedDraw& halo = f.frame().back();
  ASSERT_EQ(halo.texture, 101);
  EXPECT_FLOAT_EQ((halo.vertices[0].x + halo.vertices[1].x) / 2, 10 - 0.05f * (0 - 10));
  EXPECT_FLOAT_EQ((halo.vertices[0].y + halo.vertices[2].y) / 2, -20.0f);
}

}  // namespace
}  // namespace kelvo::test
