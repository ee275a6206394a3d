// The frame renderer's order of work and the GL state of each face pass, seen
// through the recorded GL calls; whole frames drawn into a small software GL
// context, judged by their pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "render/render_rig.h"

namespace kelvo::test {
namespace {

using Calls = std::vector<std::string>;
constexpr const char* kNormalBlend = "BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)";

// A quad and a triangle over the same four points at depth 100.
Object quad_and_triangle(std::initializer_list<int> triangle = {0, 1, 2}) {
  Object o = object_with_points({{-10, 10, 100}, {10, 10, 100}, {10, -10, 100}, {-10, -10, 100}});
  add_face(o, {0, 1, 2, 3}, 100, 100, 100);
  add_face(o, triangle, 100, 100, 100);
  return o;
}

TEST(RenderFrame, WhileGlIsNotReadyNothingIsDrawnPresentedOrTransformed) {
  RecordedFrame f;
  add_object(f.e, square_at(100)).vertices[0].eye_position = {1, 2, 3};
  f.e.gl_ready = 0;
  EXPECT_TRUE(f.frame().empty() && f.rec.calls.empty());
  EXPECT_EQ(f.platform.swaps, 0);
  EXPECT_FLOAT_EQ(f.e.objects[0].vertices[0].eye_position.y, 2.0f);
  f.e.gl_ready = 1;
  EXPECT_EQ(f.frame().size(), 1u);
  EXPECT_EQ(f.rec.calls.front(), "Clear(16640)");
  EXPECT_EQ(f.platform.swaps, 1);
}

// An object with every pass: chroma key, two bump textures, main texture,
// environment map, mask, fog and a shadow.
TEST(RenderPasses, ObjectUsingEveryPassDrawsThemInOrderWithTheStatesOfEachPass) {
  RecordedFrame f;
  f.e.Fog = f.e.light_switch = 1;
  for (int slot = 1; slot <= 6; ++slot) fake_slot(f.e, slot, static_cast<std::uint32_t>(10 + slot));
  Object& o = add_object(f.e, square_at(100));
  o.faces[0].texture_frames[0] = 1;
  o.chromakey = 1, o.chroma_tex = 2, o.bump_level = 0.5f, o.bump_tex = {3, 4};
  o.tex_evmap = 5, o.tex_mask = 6, o.tex_env = 0.01f, o.tex_shift = {0.1f, 0.2f}, o.shadow_cast = -50;
  add_hidden_light(f.e, {0, 200, 100}, {1, 200, 100}, {0, 200, 101});
  f.frame(2);  // the second frame starts from the state the first one left

  const Calls expected = {
      "Clear(16640)", kNormalBlend, "FrontFace(GL_CW)", "Enable(GL_CULL_FACE)", "Disable(GL_FOG)",
      // chroma key
      "BlendFunc(GL_DST_COLOR, GL_ZERO)", "BindTexture(12)", "Begin(GL_QUADS)", "End", "BlendFunc(GL_ONE, GL_ONE)",
      // first and second bump
      "Enable(GL_TEXTURE_2D)", kNormalBlend, "BindTexture(13)", "Begin(GL_QUADS)", "End",  //
      "BindTexture(14)", "BlendFunc(GL_ONE, GL_ONE)", "Begin(GL_QUADS)", "End", "BlendFunc(GL_DST_COLOR, GL_SRC_COLOR)",
      // main
      "Enable(GL_TEXTURE_2D)", "BindTexture(11)", "Begin(GL_QUADS)", "End",
      // environment map
      "Enable(GL_TEXTURE_2D)", "BlendFunc(GL_DST_COLOR, GL_SRC_COLOR)", "BindTexture(15)", "Begin(GL_QUADS)", "End",
      kNormalBlend,
      // mask
      "Enable(GL_TEXTURE_2D)", "BlendFunc(GL_SRC_ALPHA, GL_ONE)", "BindTexture(16)", "Begin(GL_QUADS)", "End",
      kNormalBlend,
      // fog back on, then the shadow
      "Enable(GL_FOG)", "Disable(GL_TEXTURE_2D)", "Begin(GL_QUADS)", "End",
      // additive state for the (here empty) overlays, then the normal state
      "Enable(GL_TEXTURE_2D)", "BlendFunc(GL_SRC_ALPHA, GL_ONE)", "Disable(GL_FOG)", "Disable(GL_DEPTH_TEST)",
      "Enable(GL_DEPTH_TEST)", "Enable(GL_FOG)", kNormalBlend};
  EXPECT_EQ(f.rec.calls, expected);

  const std::vector<RecordedDraw>& d = f.rec.draws;
  ASSERT_EQ(d.size(), 7u);
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);  // a chroma-key object is not fogged
    EXPECT_EQ(std::vector<long>({d[i].depth_test, d[i].fog, d[i].cull_face, d[i].front_face}),
              std::vector<long>({1, 0, 1, GL_CW}));
    ASSERT_EQ(d[i].vertices.size(), 4u);
  }
  EXPECT_EQ(d[6].texture_2d + d[6].fog, 1);  // the shadow: fogged, untextured
  // Bump offset toward the light's corner 0 as last frame's light update
  // copied it (a hidden light object keeps eye position 0, 0, 0).
  const RecordedDraw &chroma = d[0], &bump2 = d[2], &main = d[3], &envmap = d[4], &mask = d[5];
  const float dx = -main.vertices[0].x, dy = -main.vertices[0].y, dz = -main.vertices[0].z;
  const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
  for (std::size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const Vertex& v = f.e.objects[0].vertices[k];
    // Two frames of scrolling, which the earlier passes see without storing.
    EXPECT_NEAR(main.vertices[k].s, (k == 1 || k == 2 ? 1.0f : 0.0f) + 0.2f, 1e-6);
    EXPECT_NEAR(main.vertices[k].t, (k >= 2 ? 1.0f : 0.0f) + 0.4f, 1e-6);
    EXPECT_FLOAT_EQ(chroma.vertices[k].t, main.vertices[k].t);
    EXPECT_NEAR(bump2.vertices[k].s, main.vertices[k].s + dx / length * 0.5f, 1e-5);
    EXPECT_NEAR(bump2.vertices[k].t, main.vertices[k].t + dy / length * 0.5f, 1e-5);
    // Planar coordinates from the model positions, for the map and the mask.
    EXPECT_FLOAT_EQ(envmap.vertices[k].s, v.position.x * 0.01f + 0.5f);
    EXPECT_FLOAT_EQ(mask.vertices[k].t, v.position.y * 0.01f + 0.5f);
    // White key, map and mask; half grey bumps; the main pass has the lit
    // colour (ambient only: the light shines past); the shadow is black.
    EXPECT_FLOAT_EQ(chroma.vertices[k].r + envmap.vertices[k].b + mask.vertices[k].g, 3.0f);
    EXPECT_FLOAT_EQ(d[1].vertices[k].g + main.vertices[k].r, 74 / 127.0f);
    EXPECT_FLOAT_EQ(d[6].vertices[k].r, 0.0f);
  }
}

TEST(RenderPasses, GhoulModesDrawAdditivelyAndRestoreTheNormalState) {
  struct Case {
    int mode, test;
    GLenum src, dst;
  };
  for (const Case c : {Case{1, 0, GL_SRC_ALPHA, GL_ONE}, Case{1, 1, GL_SRC_ALPHA, GL_ONE},
                       Case{2, 0, GL_DST_COLOR, GL_SRC_COLOR}, Case{3, 0, GL_DST_COLOR, GL_ONE}}) {
    SCOPED_TRACE(c.mode);
    RecordedFrame f;
    f.e.Fog = 1;
    add_object(f.e, square_at(100)).ghoul_mode = c.mode;
    f.e.objects[0].ghoul_test = c.test;
    add_object(f.e, square_at(90));
    const std::vector<RecordedDraw>& d = f.frame(2);
    ASSERT_EQ(d.size(), 2u);
    // The ghoul without fog; the next object with depth test, fog and normal blend.
    EXPECT_EQ(std::vector<long>({d[0].blend_src, d[0].blend_dst, d[0].depth_test, d[0].fog, d[1].depth_test,
                                 d[1].fog, d[1].blend_dst}),
              std::vector<long>({c.src, c.dst, c.test, 0, 1, 1, GL_ONE_MINUS_SRC_ALPHA}));
  }
}

TEST(RenderPasses, CullingDrawsAndScrollsOnlyFrontFacesUnlessFrontFaceIsTwo) {
  RecordedFrame f;
  Object& o = add_object(f.e, quad_and_triangle({2, 1, 0}));  // the triangle is turned away
  o.tex_shift = {0.01f, 0.0f};
  EXPECT_EQ(f.frame(3).size(), 1u);
  EXPECT_GE(f.rec.find("Enable(GL_CULL_FACE)"), 0);
  EXPECT_NEAR(o.faces[0].u[1], 1.03f, 1e-6);
  EXPECT_FLOAT_EQ(o.faces[1].u[0], 0.0f);  // not drawn, not scrolled
  o.front_face = 0x901;                     // counter-clockwise: only the turned face
  ASSERT_EQ(f.frame().size(), 1u);
  EXPECT_EQ(f.rec.draws[0].primitive, static_cast<GLenum>(GL_TRIANGLES));
  o.front_face = 2;
  EXPECT_EQ(f.frame().size(), 2u);
  EXPECT_GE(f.rec.find("Disable(GL_CULL_FACE)"), 0);
}

TEST(RenderPasses, TextureAnimationStepsEveryTexSpeedFramesAndWrapsAtAMissingFrame) {
  RecordedFrame f;
  Object& o = add_object(f.e, square_at(50));
  o.tex_speed = o.tex_countdown = 2;
  for (int slot : {1, 2, 3}) fake_slot(f.e, slot, 10u + static_cast<std::uint32_t>(slot));
  o.faces[0].texture_frames[0] = 1, o.faces[0].texture_frames[1] = 2, o.faces[0].texture_frames[2] = 3;
  std::string frames;
  for (int i = 0; i < 7; ++i) f.frame(), frames += std::to_string(o.faces[0].current_frame);
  EXPECT_EQ(frames, "0112200");  // one step every second frame; frame 3 has no texture: back to 0
  o.visible = 0;                 // a hidden object does not move on
  f.frame(2);
  EXPECT_EQ(o.faces[0].current_frame, 0);
  o.visible = 1;
  f.frame();
  EXPECT_EQ(o.faces[0].current_frame, 1);
}

// --- pixels ---------------------------------------------------------------------

// Lit pixels of row y (or column x) from a to b.
int lit_in_row(const RenderRig& rig, int y, int a, int b) {
  int n = 0;
  for (int x = a; x < b; ++x) n += !rig.black(x, y);
  return n;
}
int lit_in_column(const RenderRig& rig, int x, int a, int b) {
  int n = 0;
  for (int y = a; y < b; ++y) n += !rig.black(x, y);
  return n;
}

TEST(RenderPixels, DrawModeThreeOutlinesEachFaceWithoutClosingIt) {
  RenderRig rig;
  rig.e.draw_mode = 3;
  add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 127, 127, 127));
  rig.frame();
  // The square spans x 48..112 and y 28..92 on the screen. Its corners run
  // top left, top right, bottom right, bottom left: the left edge, back to
  // the first corner, is not drawn, and the inside stays empty.
  EXPECT_TRUE(rig.black(80, 60));
  EXPECT_EQ(lit_in_row(rig, 60, 0, 80), 0);
  EXPECT_GT(lit_in_row(rig, 60, 80, 160), 0);
  EXPECT_GT(lit_in_column(rig, 80, 0, 60), 0);
  EXPECT_GT(lit_in_column(rig, 80, 60, 120), 0);
}

TEST(RenderPixels, ObjectWithoutBilinearShowsSharpTexelsAndTheNextOneSmoothOnes) {
  RenderRig rig;
  const int checker = rig.texture("CHECKER", Image{2, 2, {0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}});
  for (float x : {-40.0f, 5.0f}) add_object(rig.e, facing_square(x, -20, x + 35, 20, 100, 127, 127, 127));
  for (Object& o : rig.e.objects) o.faces[0].texture_frames[0] = static_cast<std::uint16_t>(checker);
  rig.e.objects[0].object_bilinear = 0;
  rig.frame();
  // Grey pixels along the middle row of the left square (x 16..72) and of
  // the right one (88..144), which uses the same texture after it.
  const auto greys = [&](int a, int b) {
    int n = 0;
    for (int x = a; x < b; ++x) n += red_of(rig.pixel(x, 60)) > 40 && red_of(rig.pixel(x, 60)) < 215;
    return n;
  };
  EXPECT_EQ(greys(18, 70), 0);
  EXPECT_GT(greys(90, 142), 10);
}

// The logo's square in the lower left corner (64 virtual units a side)
// shows its texture upright: first row at the top, first column left.
TEST(RenderPixels, LogoShowsItsTextureUprightInTheLowerLeftCorner) {
  RenderRig rig(320, 240);
  rig.e.logo_slot = rig.texture("KLV", Image{2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}});
  rig.e.LOGO = 1;
  const float corners[4][2] = {{0, 64}, {64, 64}, {64, 0}, {0, 0}};
  for (std::size_t k = 0; k < 4; ++k) rig.e.logo_corners[k] = {corners[k][0] - 400, corners[k][1] - 300, 800};
  rig.frame();
  // The square covers pixels 0..25 across and up.
  const std::uint32_t top_left = rig.pixel(6, 19), top_right = rig.pixel(19, 19);
  const std::uint32_t bottom_left = rig.pixel(6, 6), bottom_right = rig.pixel(19, 6);
  EXPECT_TRUE(red_of(top_left) > 200 && green_of(top_left) < 50 && green_of(top_right) > 200 &&
              red_of(top_right) < 50 && blue_of(bottom_left) > 200 && red_of(bottom_left) < 50 &&
              brightness_of(bottom_right) > 3 * 200)
      << std::hex << top_left << " " << top_right << " " << bottom_left << " " << bottom_right;
}

TEST(RenderPixels, FogFadesAFarFaceTowardsTheFogColourButNotAFixedOne) {
  struct Case {
    float z, half;
    int fixed;
    bool fogged;
  };
  for (const Case c : {Case{110, 30, 0, false}, Case{900, 300, 0, true}, Case{900, 300, 1, false}}) {
    SCOPED_TRACE(testing::Message() << c.z << " fixed " << c.fixed);
    RenderRig rig;
    rig.e.Fog = 1, rig.e.fog_near = 100, rig.e.fog_far = 1000, rig.e.fog_colour = {0, 0, 255};
    view_setup(rig.e, rig.platform);
    add_object(rig.e, facing_square(-c.half, -c.half, c.half, c.half, c.z, 127, 0, 0)).fixed = c.fixed;
    rig.frame();
    const std::uint32_t centre = rig.pixel(80, 60);
    // Fogged: faded towards blue, not gone.
    EXPECT_TRUE(c.fogged ? blue_of(centre) > 3 * red_of(centre) && red_of(centre) > 0
                         : red_of(centre) > 3 * blue_of(centre)) << std::hex << centre;
    EXPECT_EQ(rig.pixel(1, 1), 0x0000FF00u);  // cleared to the fog colour
  }
}

}  // namespace
}  // namespace kelvo::test
