// The frame renderer's order of work and the GL state of each face pass, seen
// through the recorded GL calls.
#include <gtest/gtest.h>

#include <cmath>

#include "render/face_passes.h"
#include "render/frame_renderer.h"
#include "render/gl_recorder.h"
#include "render/render_rig.h"

namespace kelvo::test {
namespace {

constexpr const char* kNormalBlend = "BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)";

struct RecordedFrame {
  Engine e;
  RecordingPlatform platform;
  RecordedFrame() {
    quiet(e);
    e.gl_ready = 1;
  }
  // Draws `frames` frames; the recorder keeps only the last one.
  void frames(GlRecorder& recorder, int frames = 1) {
    for (int i = 0; i < frames; ++i) {
      recorder.clear();
      render_frame(e, platform);
    }
  }
};

// Calls that change state or draw, without the per-vertex ones.
std::vector<std::string> between(const GlRecorder& r, int from, int to) {
  return {r.calls.begin() + from, r.calls.begin() + to};
}

TEST(RenderFrame, DrawsAndPresentsNothingWhileGlIsNotReady) {
  RecordedFrame f;
  f.e.gl_ready = 0;
  add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
  f.e.objects[0].vertices[0].eye_position = {1, 2, 3};
  GlRecorder recorder;
  f.frames(recorder);
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_EQ(f.platform.swaps, 0);
  EXPECT_FLOAT_EQ(f.e.objects[0].vertices[0].eye_position.y, 2.0f);
}

TEST(RenderFrame, ClearsDrawsObjectsInArrayOrderThenOverlaysAndPresents) {
  RecordedFrame f;
  Engine& e = f.e;
  fake_slot(e, 1, 11);
  fake_slot(e, 2, 12);
  fake_slot(e, 3, 13);
  fake_slot(e, 4, 14);
  fake_slot(e, 5, 15);
  fake_slot(e, 6, 16);
  fake_slot(e, 7, 17);
  fake_slot(e, 8, 18);
  add_object(e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100)).faces[0].texture_frames[0] = 1;
  add_object(e, facing_square(-10, -10, 10, 10, 50, 100, 100, 100)).faces[0].texture_frames[0] = 2;
  Object& haloed = e.objects[1];
  haloed.halo_dim = 5;
  haloed.halo_tex[0] = 4;
  haloed.flare_dim = 2;
  e.lens_slots = {5, 5, 5, 5};
  e.logo_slot = 3;
  e.LOGO = 1;
  e.font_slot = 6;
  e.fps = 1;
  e.halo_switch = e.flare_switch = e.particle_switch = 1;
  ParticleSystem s;
  s.object = 0;
  s.count = 2;
  s.particles.resize(2);
  s.life = 5;
  s.texture_slot = 7;
  s.size = 2;
  e.particle_systems.push_back(s);
  e.particle_system_count = 1;

  GlRecorder recorder;
  f.frames(recorder);
  ASSERT_FALSE(recorder.calls.empty());
  EXPECT_EQ(recorder.calls.front(), "Clear(16640)");
  EXPECT_EQ(f.platform.swaps, 1);

  // Texture of each drawn block, in order: the two objects, the logo, the
  // statistics line (one block per character), the halo, eight flare
  // squares, the two particles.
  std::vector<long> textures;
  for (const RecordedDraw& d : recorder.draws) textures.push_back(d.texture);
  std::vector<long> expected = {11, 12, 13};
  const std::size_t line = std::string("0 [0 0 0] [0 0 0]").size();
  expected.insert(expected.end(), line, 16);
  expected.push_back(14);
  expected.insert(expected.end(), 8, 15);
  expected.insert(expected.end(), 2, 17);
  EXPECT_EQ(textures, expected);

  // The overlays run under the additive state, and the frame ends with the
  // normal state.
  const int additive = recorder.find("BlendFunc(GL_SRC_ALPHA, GL_ONE)");
  ASSERT_GE(additive, 0);
  EXPECT_EQ(between(recorder, additive - 1, additive + 3),
            (std::vector<std::string>{"Enable(GL_TEXTURE_2D)", "BlendFunc(GL_SRC_ALPHA, GL_ONE)", "Disable(GL_FOG)",
                                      "Disable(GL_DEPTH_TEST)"}));
  for (std::size_t i = 2; i < recorder.draws.size(); ++i) {
    EXPECT_EQ(recorder.draws[i].depth_test, 0) << i;
    EXPECT_EQ(recorder.draws[i].fog, 0) << i;
  }
  const int n = static_cast<int>(recorder.calls.size());
  EXPECT_EQ(between(recorder, n - 3, n),
            (std::vector<std::string>{"Enable(GL_DEPTH_TEST)", "Disable(GL_FOG)", kNormalBlend}));
}

TEST(RenderFrame, HiddenObjectIsNeitherTransformedNorDrawnNorShadowed) {
  RecordedFrame f;
  Engine& e = f.e;
  e.light_switch = 1;
  Object& o = add_object(e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
  o.visible = 0;
  o.shadow_cast = -50;
  o.tex_shift = {0.5f, 0.5f};
  for (Vertex& v : o.vertices) v.eye_position = {7, 7, 7};
  Object& light = add_object(e, object_with_points({{0, 200, 100}, {1, 200, 100}, {0, 200, 101}}));
  add_face(light, {0, 1, 2}, 127, 127, 127);
  light.visible = 0;
  add_light(e, 1);

  GlRecorder recorder;
  f.frames(recorder);
  EXPECT_TRUE(recorder.draws.empty());
  for (const Vertex& v : e.objects[0].vertices) EXPECT_FLOAT_EQ(v.eye_position.x, 7.0f);
  EXPECT_FLOAT_EQ(e.objects[0].faces[0].u[1], 1.0f);  // no scrolling either
  EXPECT_EQ(f.platform.swaps, 1);
}

// An object that uses every pass: chroma key, two bump textures, an animated
// main texture, an environment map, a mask, fog and a shadow.
struct EveryPass : RecordedFrame {
  EveryPass() {
    e.Fog = 1;
    e.light_switch = 1;
    for (int slot = 1; slot <= 6; ++slot) fake_slot(e, slot, static_cast<std::uint32_t>(10 + slot));
    Object& o = add_object(e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
    o.faces[0].texture_frames[0] = 1;
    o.chromakey = 1;
    o.chroma_tex = 2;
    o.bump_level = 0.5f;
    o.bump_tex = {3, 4};
    o.tex_evmap = 5;
    o.tex_mask = 6;
    o.tex_env = 0.01f;
    o.tex_shift = {0.1f, 0.2f};
    o.shadow_cast = -50;
    Object& light = add_object(e, object_with_points({{0, 200, 100}, {1, 200, 100}, {0, 200, 101}}));
    add_face(light, {0, 1, 2}, 127, 127, 127);
    light.visible = 0;
    add_light(e, 1);
  }
};

TEST(RenderPasses, ObjectUsingEveryPassDrawsThemInOrderWithTheStatesOfEachPass) {
  EveryPass f;
  GlRecorder recorder;
  f.frames(recorder, 2);  // the second frame starts from the state the first one left

  const std::vector<std::string> expected = {
      "Clear(16640)",
      // the object
      kNormalBlend, "FrontFace(GL_CW)", "Enable(GL_CULL_FACE)", "Disable(GL_FOG)",
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
  EXPECT_EQ(recorder.calls, expected);

  ASSERT_EQ(recorder.draws.size(), 7u);
  const RecordedDraw& chroma = recorder.draws[0];
  const RecordedDraw& bump1 = recorder.draws[1];
  const RecordedDraw& bump2 = recorder.draws[2];
  const RecordedDraw& main = recorder.draws[3];
  const RecordedDraw& envmap = recorder.draws[4];
  const RecordedDraw& mask = recorder.draws[5];
  const RecordedDraw& shadow = recorder.draws[6];
  for (std::size_t i = 0; i < 6; ++i) {
    const RecordedDraw& d = recorder.draws[i];
    EXPECT_EQ(d.depth_test, 1) << i;
    EXPECT_EQ(d.fog, 0) << i;  // a chroma-key object is not fogged
    EXPECT_EQ(d.cull_face, 1) << i;
    EXPECT_EQ(d.front_face, GL_CW) << i;
    ASSERT_EQ(d.vertices.size(), 4u) << i;
  }
  // The main pass draws with the blend the bump passes left.
  EXPECT_EQ(main.blend_src, GL_DST_COLOR);
  EXPECT_EQ(main.blend_dst, GL_SRC_COLOR);
  EXPECT_EQ(shadow.texture_2d, 0);
  EXPECT_EQ(shadow.fog, 1);

  const Object& o = f.e.objects[0];
  const Face& face = o.faces[0];
  // Bump offset toward the light's corner 0 as last frame's light update
  // copied it (a hidden light object keeps eye position 0, 0, 0).
  const RecordedVertex& corner0 = main.vertices[0];
  const float dx = -corner0.x, dy = -corner0.y, dz = -corner0.z;
  const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
  for (std::size_t k = 0; k < 4; ++k) {
    const Vertex& v = o.vertices[static_cast<std::size_t>(face.corners[k])];
    // Every pass draws the eye positions; the shadow then replaced them with
    // the shadow points.
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_FLOAT_EQ(recorder.draws[i].vertices[k].x, v.position.x);
      EXPECT_FLOAT_EQ(recorder.draws[i].vertices[k].z, 100.0f);
    }
    EXPECT_FLOAT_EQ(v.eye_position.y, -50.0f);
    // Two frames of scrolling: the passes before the main pass shift without
    // storing, the main pass stores; all see the same coordinates.
    EXPECT_NEAR(main.vertices[k].s, (k == 1 || k == 2 ? 1.0f : 0.0f) + 0.2f, 1e-6);
    EXPECT_NEAR(main.vertices[k].t, (k >= 2 ? 1.0f : 0.0f) + 0.4f, 1e-6);
    EXPECT_FLOAT_EQ(chroma.vertices[k].s, main.vertices[k].s);
    EXPECT_FLOAT_EQ(chroma.vertices[k].t, main.vertices[k].t);
    EXPECT_FLOAT_EQ(bump1.vertices[k].s, main.vertices[k].s);
    EXPECT_NEAR(bump2.vertices[k].s, main.vertices[k].s + dx / length * 0.5f, 1e-5);
    EXPECT_NEAR(bump2.vertices[k].t, main.vertices[k].t + dy / length * 0.5f, 1e-5);
    // Planar coordinates from the model positions.
    EXPECT_FLOAT_EQ(envmap.vertices[k].s, v.position.x * 0.01f + 0.5f);
    EXPECT_FLOAT_EQ(envmap.vertices[k].t, v.position.y * 0.01f + 0.5f);
    EXPECT_FLOAT_EQ(mask.vertices[k].s, envmap.vertices[k].s);
    // Colours: white for key, map and mask; half grey for the bumps; the
    // lit corner colour (ambient only: the light shines past the face) in
    // the main pass; black with the shadow darkness for the shadow.
    EXPECT_FLOAT_EQ(chroma.vertices[k].r, 1.0f);
    EXPECT_FLOAT_EQ(bump1.vertices[k].g, 64 / 127.0f);
    EXPECT_FLOAT_EQ(bump2.vertices[k].a, 1.0f);
    EXPECT_FLOAT_EQ(main.vertices[k].r, 10 / 127.0f);
    EXPECT_FLOAT_EQ(main.vertices[k].a, 1.0f);
    EXPECT_FLOAT_EQ(envmap.vertices[k].b, 1.0f);
    EXPECT_FLOAT_EQ(mask.vertices[k].g, 1.0f);
    EXPECT_FLOAT_EQ(shadow.vertices[k].r, 0.0f);
    EXPECT_FLOAT_EQ(shadow.vertices[k].a, 125 / 127.0f);
  }
}

TEST(RenderPasses, BumpOffsetPointsTowardTheFirstLightAndIsZeroWithoutOne) {
  Engine e;
  Vertex v{{0, 0, 0}, 0, {1, 2, 3}};
  TexOffset none = bump_offset(e, v, 0.5f);
  EXPECT_FLOAT_EQ(none.s, 0.0f);
  EXPECT_FLOAT_EQ(none.t, 0.0f);
  add_light(e, 0).corners[0].eye_position = {4, 6, 3};  // (3, 4, 0) away
  TexOffset toward = bump_offset(e, v, 0.5f);
  EXPECT_FLOAT_EQ(toward.s, 0.3f);
  EXPECT_FLOAT_EQ(toward.t, 0.4f);
  e.lights[0].corners[0].eye_position = v.eye_position;  // no direction
  EXPECT_FLOAT_EQ(bump_offset(e, v, 0.5f).s, 0.0f);
}

TEST(RenderPasses, MainPassBlendsAsTheEarlierPassesLeftIt) {
  // Chroma key without bump: the main pass adds (one, one).
  RecordedFrame f;
  fake_slot(f.e, 1, 11);
  fake_slot(f.e, 2, 12);
  Object& o = add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
  o.faces[0].texture_frames[0] = 1;
  o.chromakey = 1;
  o.chroma_tex = 2;
  // A second face after it, without passes of its own: it blends as the
  // first face's last pass left it.
  Object& plain = add_object(f.e, facing_square(-10, -10, 10, 10, 90, 100, 100, 100));
  plain.faces.push_back(plain.faces[0]);
  GlRecorder recorder;
  f.frames(recorder);
  ASSERT_EQ(recorder.draws.size(), 4u);
  EXPECT_EQ(recorder.draws[1].blend_src, GL_ONE);
  EXPECT_EQ(recorder.draws[1].blend_dst, GL_ONE);
  // The next object starts with source-alpha blending.
  EXPECT_EQ(recorder.draws[2].blend_src, GL_SRC_ALPHA);
  EXPECT_EQ(recorder.draws[2].blend_dst, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(recorder.draws[3].blend_dst, GL_ONE_MINUS_SRC_ALPHA);
  // An untextured face is drawn with texturing off.
  EXPECT_EQ(recorder.draws[3].texture_2d, 0);
}

TEST(RenderPasses, GhoulModesDrawAdditivelyAndRestoreTheNormalState) {
  struct Case {
    int mode, test;
    GLenum src, dst;
  };
  for (const Case c : {Case{1, 0, GL_SRC_ALPHA, GL_ONE}, Case{1, 1, GL_SRC_ALPHA, GL_ONE},
                       Case{2, 0, GL_DST_COLOR, GL_SRC_COLOR}, Case{3, 0, GL_DST_COLOR, GL_ONE}}) {
    RecordedFrame f;
    f.e.Fog = 1;
    Object& o = add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
    o.ghoul_mode = c.mode;
    o.ghoul_test = c.test;
    add_object(f.e, facing_square(-10, -10, 10, 10, 90, 100, 100, 100));
    GlRecorder recorder;
    f.frames(recorder, 2);
    ASSERT_EQ(recorder.draws.size(), 2u);
    const RecordedDraw& ghoul = recorder.draws[0];
    EXPECT_EQ(ghoul.blend_src, static_cast<long>(c.src)) << c.mode;
    EXPECT_EQ(ghoul.blend_dst, static_cast<long>(c.dst)) << c.mode;
    EXPECT_EQ(ghoul.depth_test, c.test) << c.mode;
    EXPECT_EQ(ghoul.fog, 0) << c.mode;
    const RecordedDraw& after = recorder.draws[1];
    EXPECT_EQ(after.depth_test, 1);
    EXPECT_EQ(after.fog, 1);
    EXPECT_EQ(after.blend_dst, GL_ONE_MINUS_SRC_ALPHA);
  }
}

TEST(RenderPasses, FixedAndChromaKeyObjectsAreDrawnWithoutFogWhileFogIsOn) {
  for (int fog : {1, 0}) {
    RecordedFrame f;
    f.e.Fog = fog;
    fake_slot(f.e, 1, 11);
    add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
    add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100)).fixed = 1;
    add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100)).fixed = 2;
    Object& keyed = add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
    keyed.chromakey = 1;
    keyed.chroma_tex = 1;
    add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
    GlRecorder recorder;
    f.frames(recorder, 2);
    std::vector<int> fogged;
    for (const RecordedDraw& d : recorder.draws) fogged.push_back(d.fog);
    if (fog)
      EXPECT_EQ(fogged, (std::vector<int>{1, 0, 0, 0, 0, 1}));
    else
      EXPECT_EQ(fogged, (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(recorder.find("Enable(GL_FOG)") >= 0, fog == 1);
  }
}

TEST(RenderPasses, DrawModeThreeSendsEveryFaceAsAnOpenLineStrip) {
  RecordedFrame f;
  Object& o = add_object(f.e, object_with_points({{-10, 10, 100}, {10, 10, 100}, {10, -10, 100}, {-10, -10, 100}}));
  add_face(o, {0, 1, 2, 3}, 100, 100, 100);
  add_face(o, {0, 1, 2}, 100, 100, 100);
  for (int mode : {3, 1}) {
    f.e.draw_mode = mode;
    GlRecorder recorder;
    f.frames(recorder);
    ASSERT_EQ(recorder.draws.size(), 2u);
    EXPECT_EQ(recorder.draws[0].primitive, static_cast<GLenum>(mode == 3 ? GL_LINE_STRIP : GL_QUADS));
    EXPECT_EQ(recorder.draws[1].primitive, static_cast<GLenum>(mode == 3 ? GL_LINE_STRIP : GL_TRIANGLES));
    EXPECT_EQ(recorder.draws[0].vertices.size(), 4u);
    EXPECT_EQ(recorder.draws[1].vertices.size(), 3u);
  }
}

TEST(RenderPasses, TextureAnimationStepsEveryTexSpeedFramesAndWrapsAtTheFirstEmptyFrame) {
  RecordedFrame f;
  fake_slot(f.e, 1, 11);
  fake_slot(f.e, 2, 12);
  Object& o = add_object(f.e, facing_square(-10, -10, 10, 10, 100, 100, 100, 100));
  o.faces[0].texture_frames[0] = 1;
  o.faces[0].texture_frames[1] = 2;
  o.faces[0].texture_frames[3] = 1;  // after the empty frame 2: never shown
  o.tex_speed = 2;
  o.tex_countdown = 2;
  std::vector<long> shown;
  for (int i = 0; i < 8; ++i) {
    GlRecorder recorder;
    f.frames(recorder);
    ASSERT_EQ(recorder.draws.size(), 1u);
    shown.push_back(recorder.draws[0].texture);
  }
  EXPECT_EQ(shown, (std::vector<long>{11, 11, 12, 12, 11, 11, 12, 12}));

  // All nine frames used: the tenth step returns to frame 0.
  Face& face = f.e.objects[0].faces[0];
  for (int k = 0; k < 9; ++k) face.texture_frames[static_cast<std::size_t>(k)] = 1;
  face.current_frame = 8;
  f.e.objects[0].tex_speed = 1;
  f.e.objects[0].tex_countdown = 1;
  GlRecorder recorder;
  f.frames(recorder);
  EXPECT_EQ(face.current_frame, 0);
}

TEST(RenderPasses, ScrollingAdvancesOnlyTheFacesThatAreDrawn) {
  RecordedFrame f;
  Object& o = add_object(f.e, object_with_points({{-10, 10, 100}, {10, 10, 100}, {10, -10, 100}, {-10, -10, 100}}));
  add_face(o, {0, 1, 2, 3}, 100, 100, 100);
  add_face(o, {3, 2, 1, 0}, 100, 100, 100);  // turned away: culled
  o.tex_shift = {0.01f, 0.0f};
  GlRecorder recorder;
  f.frames(recorder, 3);
  EXPECT_NEAR(f.e.objects[0].faces[0].u[0], 0.03f, 1e-6);
  EXPECT_NEAR(f.e.objects[0].faces[0].u[1], 1.03f, 1e-6);
  EXPECT_FLOAT_EQ(f.e.objects[0].faces[1].u[0], 0.0f);
  EXPECT_EQ(f.e.objects[0].faces[1].visible, 0);
  EXPECT_EQ(recorder.draws.size(), 1u);
}

TEST(RenderPasses, NearestFilteringIsSetAroundTheMainPassOfAnObjectWithoutBilinear) {
  RecordedFrame f;
  fake_slot(f.e, 1, 11);
  Object& o = add_object(f.e, object_with_points({{-10, 10, 100}, {10, 10, 100}, {10, -10, 100}, {-10, -10, 100}}));
  add_face(o, {0, 1, 2, 3}, 100, 100, 100).texture_frames[0] = 1;
  add_face(o, {0, 1, 2}, 100, 100, 100);  // untextured: no filter changes
  o.object_bilinear = 0;
  GlRecorder recorder;
  f.frames(recorder);
  const int bind = recorder.find("BindTexture(11)");
  ASSERT_GE(bind, 0);
  EXPECT_EQ(between(recorder, bind, bind + 5),
            (std::vector<std::string>{"BindTexture(11)", "TexParameteri(GL_TEXTURE_MIN_FILTER, GL_NEAREST)",
                                      "TexParameteri(GL_TEXTURE_MAG_FILTER, GL_NEAREST)", "Begin(GL_QUADS)", "End"}));
  EXPECT_EQ(between(recorder, bind + 5, bind + 10),
            (std::vector<std::string>{"TexParameteri(GL_TEXTURE_MIN_FILTER, GL_LINEAR)",
                                      "TexParameteri(GL_TEXTURE_MAG_FILTER, GL_LINEAR)", "Disable(GL_TEXTURE_2D)",
                                      "Begin(GL_TRIANGLES)", "End"}));
}

TEST(RenderPasses, FrontFaceTwoTurnsCullingOffAndDrawsEveryFace) {
  RecordedFrame f;
  Object& o = add_object(f.e, object_with_points({{-10, 10, 100}, {10, 10, 100}, {10, -10, 100}, {-10, -10, 100}}));
  add_face(o, {0, 1, 2, 3}, 100, 100, 100);
  add_face(o, {3, 2, 1, 0}, 100, 100, 100);
  for (std::uint32_t front : {0x900u, 0x901u, 2u}) {
    f.e.objects[0].front_face = front;
    GlRecorder recorder;
    f.frames(recorder);
    const int faces = static_cast<int>(recorder.draws.size());
    if (front == 2) {
      EXPECT_EQ(faces, 2);
      EXPECT_GE(recorder.find("Disable(GL_CULL_FACE)"), 0);
    } else {
      EXPECT_EQ(faces, 1);
      EXPECT_GE(recorder.find("Enable(GL_CULL_FACE)"), 0);
      // The face drawn is the one that winds the way front faces do.
      EXPECT_FLOAT_EQ(recorder.draws[0].vertices[0].y, front == 0x900u ? 10.0f : -10.0f);
    }
  }
}

TEST(RenderFrame, LogoUsesItsStoredCornersWithFullTextureUnderTheAdditiveState) {
  RecordedFrame f;
  fake_slot(f.e, 3, 33);
  f.e.logo_slot = 3;
  f.e.logo_corners = {Vec3{-400, -236, 800}, Vec3{-336, -236, 800}, Vec3{-336, -300, 800}, Vec3{-400, -300, 800}};
  for (int on : {1, 0}) {
    f.e.LOGO = on;
    GlRecorder recorder;
    f.frames(recorder);
    if (!on) {
      EXPECT_TRUE(recorder.draws.empty());
      continue;
    }
    ASSERT_EQ(recorder.draws.size(), 1u);
    const RecordedDraw& logo = recorder.draws[0];
    EXPECT_EQ(logo.texture, 33);
    EXPECT_EQ(logo.front_face, GL_CW);
    EXPECT_EQ(logo.blend_dst, GL_ONE);
    ASSERT_EQ(logo.vertices.size(), 4u);
    const float s[4] = {0, 1, 1, 0}, t[4] = {0, 0, 1, 1};
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_FLOAT_EQ(logo.vertices[k].x, f.e.logo_corners[k].x);
      EXPECT_FLOAT_EQ(logo.vertices[k].y, f.e.logo_corners[k].y);
      EXPECT_FLOAT_EQ(logo.vertices[k].s, s[k]);
      EXPECT_FLOAT_EQ(logo.vertices[k].t, t[k]);
      EXPECT_FLOAT_EQ(logo.vertices[k].r, 1.0f);
    }
  }
  // Not loaded: nothing, even with LOGO on.
  f.e.logo_slot = -1;
  f.e.LOGO = 1;
  GlRecorder recorder;
  f.frames(recorder);
  EXPECT_TRUE(recorder.draws.empty());
}

}  // namespace
}  // namespace kelvo::test
