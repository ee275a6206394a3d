// Halos and lens flares.
#include <gtest/gtest.h>

#include "render/gl_recorder.h"
#include "render/halos_flares.h"
#include "render/render_rig.h"

namespace kelvo::test {
namespace {

// An object whose first vertex is the anchor, with a red first face turned
// away from the camera (so only its halo or flare shows).
Object anchored_at(Vec3 anchor) {
  Object o = object_with_points({anchor, {anchor.x, anchor.y - 1, anchor.z}, {anchor.x + 1, anchor.y, anchor.z}});
  add_face(o, {0, 1, 2}, 127, 0, 0);
  return o;
}

struct HaloFrame {
  Engine e;
  RecordingPlatform platform;
  HaloFrame() {
    quiet(e);
    e.gl_ready = 1;
    e.halo_switch = 1;
    e.flare_switch = 1;
    for (int slot = 1; slot <= 8; ++slot) fake_slot(e, slot, static_cast<std::uint32_t>(100 + slot));
  }
  std::vector<RecordedDraw> frame() {
    GlRecorder recorder;
    render_frame(e, platform);
    return recorder.draws;
  }
};

TEST(Halo, HaloIsASquareOfTwiceItsDimCentredOnTheFirstVertex) {
  HaloFrame f;
  Object& o = add_object(f.e, anchored_at({3, 4, 200}));
  o.halo_dim = 5;
  o.halo_tex[0] = 1;
  const std::vector<RecordedDraw> draws = f.frame();
  ASSERT_EQ(draws.size(), 1u);
  const RecordedDraw& halo = draws[0];
  EXPECT_EQ(halo.texture, 101);
  EXPECT_EQ(halo.primitive, static_cast<GLenum>(GL_QUADS));
  EXPECT_EQ(halo.blend_dst, GL_ONE);
  EXPECT_EQ(halo.depth_test, 0);
  ASSERT_EQ(halo.vertices.size(), 4u);
  const float x[4] = {-2, 8, 8, -2}, y[4] = {9, 9, -1, -1}, s[4] = {0, 1, 1, 0}, t[4] = {0, 0, 1, 1};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_FLOAT_EQ(halo.vertices[k].x, x[k]);
    EXPECT_FLOAT_EQ(halo.vertices[k].y, y[k]);
    EXPECT_FLOAT_EQ(halo.vertices[k].z, 200.0f);
    EXPECT_FLOAT_EQ(halo.vertices[k].s, s[k]);
    EXPECT_FLOAT_EQ(halo.vertices[k].t, t[k]);
    EXPECT_FLOAT_EQ(halo.vertices[k].r, 1.0f);  // the first face's colour
    EXPECT_FLOAT_EQ(halo.vertices[k].g, 0.0f);
    EXPECT_FLOAT_EQ(halo.vertices[k].a, 1.0f);
  }
}

TEST(Halo, HiddenObjectDrawsNeitherHaloNorFlare) {
  HaloFrame f;
  Object& o = add_object(f.e, anchored_at({0, 0, 200}));
  o.halo_dim = 5;
  o.flare_dim = 2;
  o.visible = 0;
  EXPECT_TRUE(f.frame().empty());
  f.e.objects[0].visible = 1;
  EXPECT_EQ(f.frame().size(), 9u);
  // The switches decide too.
  f.e.halo_switch = 0;
  EXPECT_EQ(f.frame().size(), 8u);
  f.e.flare_switch = 0;
  EXPECT_TRUE(f.frame().empty());
}

TEST(Halo, HaloAnimatesInTheFramesInWhichFaceTexturesAdvance) {
  HaloFrame f;
  Object& o = add_object(f.e, anchored_at({0, 0, 200}));
  o.halo_dim = 5;
  o.halo_tex[0] = 1;
  o.halo_tex[1] = 2;
  o.tex_speed = 1;
  o.tex_countdown = 1;
  std::vector<long> shown;
  for (int i = 0; i < 6; ++i) shown.push_back(f.frame().at(0).texture);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_TRUE(shown[i] == 101 || shown[i] == 102) << shown[i];
    if (i > 0) {
      EXPECT_NE(shown[i], shown[i - 1]);
    }
  }
  // Without tex speed it stays put.
  f.e.objects[0].tex_speed = 0;
  const long now = f.frame().at(0).texture;
  EXPECT_EQ(f.frame().at(0).texture, now);
}

TEST(Halo, FlareSquaresLieAlongTheLineFromTheAnchorTowardItsSize) {
  HaloFrame f;
  f.e.lens_slots = {1, 2, 3, 4};
  Object& o = add_object(f.e, anchored_at({0, 0, 300}));
  o.flare_dim = 4;
  const std::vector<RecordedDraw> draws = f.frame();
  ASSERT_EQ(draws.size(), 8u);
  // D = (4, 4): centres at A + k D, half-sizes in units of 4.
  const float along[8] = {0, 0.5f, 0.55f, 0.6f, 1.9f, 1.7f, 1.75f, -0.15f};
  const float half[8] = {40, 24, 24, 8, 40, 16, 24, 32};
  const long lens[8] = {101, 102, 101, 103, 104, 101, 102, 104};
  for (std::size_t i = 0; i < 8; ++i) {
    const RecordedDraw& d = draws[i];
    ASSERT_EQ(d.vertices.size(), 4u);
    EXPECT_EQ(d.texture, lens[i]) << i;
    const float cx = (d.vertices[0].x + d.vertices[1].x) / 2, cy = (d.vertices[0].y + d.vertices[2].y) / 2;
    EXPECT_NEAR(cx, along[i] * 4, 1e-4) << i;
    EXPECT_NEAR(cy, along[i] * 4, 1e-4) << i;
    EXPECT_NEAR(d.vertices[1].x - d.vertices[0].x, 2 * half[i], 1e-4) << i;
    EXPECT_FLOAT_EQ(d.vertices[2].z, 300.0f);
  }
  EXPECT_NEAR((draws[1].vertices[0].x + draws[1].vertices[1].x) / 2, 2.0f, 1e-5);

  // The direction uses the anchor's whole units: (3.7, -2.2) gives (1, 6).
  f.e.objects[0] = anchored_at({3.7f, -2.2f, 300});
  f.e.objects[0].flare_dim = 4;
  const std::vector<RecordedDraw> moved = f.frame();
  ASSERT_EQ(moved.size(), 8u);
  EXPECT_NEAR((moved[1].vertices[0].x + moved[1].vertices[1].x) / 2, 3.7f + 0.5f, 1e-4);
  EXPECT_NEAR((moved[1].vertices[0].y + moved[1].vertices[2].y) / 2, -2.2f + 3.0f, 1e-4);
}

TEST(Halo, ObjectWithoutAFirstVertexOrFaceHasNoAnchorAndDrawsNothing) {
  HaloFrame f;
  Object& empty = add_object(f.e, Object{});
  empty.halo_dim = 5;
  empty.flare_dim = 2;
  Object& pointed = add_object(f.e, object_with_points({{0, 0, 100}}));
  pointed.halo_dim = 5;
  pointed.flare_dim = 2;
  EXPECT_TRUE(f.frame().empty());
}

TEST(Halo, HaloTestLetsGeometryInFrontHideTheHalo) {
  for (int test : {0, 1}) {
    RenderRig rig;
    rig.e.halo_switch = 1;
    // A blue wall at 100 in front of the halo's anchor at 200.
    add_object(rig.e, facing_square(-30, -30, 30, 30, 100, 0, 0, 127));
    Object& o = add_object(rig.e, anchored_at({0, 0, 200}));
    o.halo_dim = 10;
    o.halo_tex[0] = rig.texture("HALO", 255, 255, 255);
    o.ghoul_test = test;
    rig.frame();
    const std::uint32_t centre = rig.pixel(80, 60);
    EXPECT_GT(blue_of(centre), 240);
    if (test)
      EXPECT_LT(red_of(centre), 8);
    else
      EXPECT_GT(red_of(centre), 240);
  }
}

TEST(Halo, ShadowCastingObjectsHaloSitsOnItsShadowPoint) {
  HaloFrame f;
  f.e.light_switch = 1;
  Object& o = add_object(f.e, anchored_at({10, 5, 150}));
  o.halo_dim = 1;
  o.halo_tex[0] = 1;
  o.shadow_cast = -20;
  o.front_face = 2;
  Object light = object_with_points({{0, 100, 150}, {1, 100, 150}, {0, 100, 151}});
  add_face(light, {0, 1, 2}, 127, 127, 127);
  add_object(f.e, std::move(light)).visible = 0;
  add_light(f.e, 1);
  f.e.camera_rot = {0, 0, 90};  // the shadow point is moved, not turned
  const std::vector<RecordedDraw> draws = f.frame();
  const RecordedDraw& halo = draws.back();
  ASSERT_EQ(halo.texture, 101);
  EXPECT_FLOAT_EQ((halo.vertices[0].x + halo.vertices[1].x) / 2, 10 - 0.05f * (0 - 10));
  EXPECT_FLOAT_EQ((halo.vertices[0].y + halo.vertices[2].y) / 2, -20.0f);
}

}  // namespace
}  // namespace kelvo::test
