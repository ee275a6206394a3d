// The camera transform, lighting, face visibility and shadows.
#include <gtest/gtest.h>

#include <cmath>

#include "render/eye_transform.h"
#include "render/gl_recorder.h"
#include "render/lighting.h"
#include "render/render_rig.h"
#include "render/shadows.h"

namespace kelvo::test {
namespace {

// The transform written out in doubles.
Vec3 expected_eye(Vec3 p, Vec3 camera, Vec3 angles, bool add_camera, bool rotate) {
  double x = p.x, y = p.y, z = p.z;
  if (add_camera) x += camera.x, y += camera.y, z += camera.z;
  if (rotate) {
    const double k = 0.017453292;
    const double sx = std::sin(angles.x * k), cx = std::cos(angles.x * k);
    const double sy = std::sin(angles.y * k), cy = std::cos(angles.y * k);
    const double sz = std::sin(angles.z * k), cz = std::cos(angles.z * k);
    double x1 = cy * x + sy * z, z1 = cy * z - sy * x;
    double y1 = cx * y + sx * z1, z2 = cx * z1 - sx * y;
    double x2 = cz * x1 - sz * y1, y2 = sz * x1 + cz * y1;
    x = x2, y = y2, z = z2;
  }
  return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

TEST(RenderEyeTransform, FixedModesChooseWhetherTheCameraMovesAndTurnsTheObject) {
  Engine e;
  quiet(e);
  e.camera_pos = {5, -3, 20};
  e.camera_rot = {30, 45, 60};
  compute_camera_angles(e);
  EXPECT_FLOAT_EQ(e.camera_sin[1], std::sin(45 * 0.017453292f));
  EXPECT_FLOAT_EQ(e.camera_cos[2], std::cos(60 * 0.017453292f));
  const Vec3 p{1, 2, 3};
  for (int fixed : {0, 1, 2}) {
    Object o = object_with_points({p, {-4, 7, 100}});
    o.fixed = fixed;
    eye_transform_object(e, o);
    for (const Vertex& v : o.vertices) {
      const Vec3 want = expected_eye(v.position, e.camera_pos, e.camera_rot, fixed == 0, fixed != 2);
      EXPECT_NEAR(v.eye_position.x, want.x, 1e-3) << fixed;
      EXPECT_NEAR(v.eye_position.y, want.y, 1e-3) << fixed;
      EXPECT_NEAR(v.eye_position.z, want.z, 1e-3) << fixed;
    }
  }
  // A quarter turn about Y brings a point ahead to the right.
  e.camera_pos = {};
  e.camera_rot = {0, 90, 0};
  compute_camera_angles(e);
  Object o = object_with_points({{0, 0, 100}});
  eye_transform_object(e, o);
  EXPECT_NEAR(o.vertices[0].eye_position.x, 100.0f, 1e-3);
  EXPECT_NEAR(o.vertices[0].eye_position.z, 0.0f, 1e-3);
}

TEST(RenderEyeTransform, PerspectiveScalesOnlyObjectsThatAcceptIt) {
  Engine e;
  quiet(e);
  e.viewport_box = {0, 0, 160, 120};
  e.perspective = {320, 360};  // twice and three times
  compute_camera_angles(e);
  for (int on : {0, 1})
    for (int ok : {0, 1}) {
      e.perspective_switch = on;
      Object o = object_with_points({{10, 20, 100}});
      o.perspective_ok = ok;
      eye_transform_object(e, o);
      const bool scaled = on && ok;
      EXPECT_FLOAT_EQ(o.vertices[0].eye_position.x, scaled ? 20.0f : 10.0f);
      EXPECT_FLOAT_EQ(o.vertices[0].eye_position.y, scaled ? 60.0f : 20.0f);
      EXPECT_FLOAT_EQ(o.vertices[0].eye_position.z, 100.0f);
    }
}

// A face at z 100 facing the camera, and a hidden light whose face looks at
// it head-on (or, turned, away from it).
struct LitScene {
  Engine e;
  LitScene(int face_colour = 100, bool light_faces_it = true) {
    quiet(e);
    e.light_switch = 1;
    add_object(e, facing_square(-20, -20, 20, 20, 100, face_colour, face_colour, face_colour));
    Object light = light_faces_it ? object_with_points({{-1, 1, 50}, {-1, -1, 50}, {1, 1, 50}})
                                  : object_with_points({{-1, 1, 50}, {1, 1, 50}, {-1, -1, 50}});
    add_face(light, {0, 1, 2}, 127, 127, 127);
    add_object(e, std::move(light)).visible = 0;
    add_light(e, 1);
  }
  std::uint32_t lit_colour() {
    compute_camera_angles(e);
    light_update(e);
    Object& o = e.objects[0];
    eye_transform_object(e, o);
    light_object(e, o);
    return o.faces[0].corner_colours[0];
  }
};

TEST(Lighting, LightUpdateCopiesTheLightFaceCornersAndItsNormal) {
  LitScene s;
  light_update(s.e);
  const Light& l = s.e.lights[0];
  EXPECT_FLOAT_EQ(l.corners[1].position.y, -1.0f);
  EXPECT_FLOAT_EQ(l.corners[2].position.x, 1.0f);
  EXPECT_FLOAT_EQ(l.normal.x, 0.0f);
  EXPECT_FLOAT_EQ(l.normal.z, -4.0f);
  EXPECT_FLOAT_EQ(l.normal_length, 4.0f);
}

TEST(Lighting, FaceLitHeadOnGetsAmbientPlusLightCappedAtItsOwnColour) {
  {
    LitScene s;  // ambient 10, colour 100, white light: 110 capped at 100
    EXPECT_EQ(s.lit_colour(), argb(127, 100, 100, 100));
  }
  {
    LitScene s;
    s.e.lights[0].colour = {0.5f, 0.25f, 0};
    s.e.ambient = {10, 20, 30};
    EXPECT_EQ(s.lit_colour(), argb(127, 60, 45, 30));
  }
  {
    LitScene s(100, false);  // the light looks away: ambient only
    EXPECT_EQ(s.lit_colour(), argb(127, 10, 10, 10));
  }
  {
    LitScene s;  // two lights: each adds, the cap holds
    s.e.lights[0].colour = {0.3f, 0.3f, 0.3f};
    add_light(s.e, 1, 0.3f, 0.3f, 0.3f);
    EXPECT_EQ(s.lit_colour(), argb(127, 70, 70, 70));
    s.e.lights[1].colour = {1, 1, 1};
    EXPECT_EQ(s.lit_colour(), argb(127, 100, 100, 100));
  }
}

TEST(Lighting, LightsOffOrAutolightedKeepColoursAndOnlyDecideVisibility) {
  for (int autolighted : {0, 1}) {
    LitScene s;
    s.e.light_switch = autolighted ? 1 : 0;
    Object& o = s.e.objects[0];
    o.autolighted = autolighted;
    o.faces[0].corner_colours.fill(0x12345678u);
    o.faces[0].visible = 0;
    o.vertices[0].vertex_colour = 0x01020304u;
    s.lit_colour();
    EXPECT_EQ(o.faces[0].corner_colours[2], 0x12345678u);
    EXPECT_EQ(o.vertices[0].vertex_colour, 0x01020304u);
    EXPECT_EQ(o.faces[0].visible, 1);
  }
}

TEST(Lighting, ShaderVariantsNarrowTheLitCone) {
  Light l;
  l.normal = {0, 0, 1};
  l.normal_length = 1;
  auto factor = [&](float c, int shader) {
    const Vec3 n{std::sqrt(1 - c * c), 0, c};
    return light_factor(n, 1.0f, l, shader);
  };
  EXPECT_FLOAT_EQ(factor(0.6f, 0), 0.6f);
  EXPECT_FLOAT_EQ(factor(-0.6f, 0), 0.0f);
  // Variant 1: 1 - acos(c), light only above cos(1 rad) = 0.54.
  EXPECT_NEAR(factor(0.6f, 1), 1 - std::acos(0.6f), 1e-5);
  EXPECT_FLOAT_EQ(factor(0.5f, 1), 0.0f);
  EXPECT_NEAR(factor(1.0f, 1), 1.0f, 1e-3);
  // Head-on, with the lengths rounded so that the cosine comes out above 1.
  EXPECT_FLOAT_EQ(light_factor({0, 0, 1}, 0.9999999f, l, 1), 1.0f);
  // Variant 2: 1 - acos(1.2 c), only for 0.45 < c <= 1/1.2.
  EXPECT_NEAR(factor(0.8f, 2), 1 - std::acos(0.96f), 1e-5);
  EXPECT_GT(factor(0.46f, 2), 0.0f);
  EXPECT_FLOAT_EQ(factor(0.44f, 2), 0.0f);
  EXPECT_FLOAT_EQ(factor(0.9f, 2), 0.0f);
  // No area, no light.
  EXPECT_FLOAT_EQ(light_factor({0, 0, 0}, 0.0f, l, 0), 0.0f);
  l.normal_length = 0;
  EXPECT_FLOAT_EQ(light_factor({0, 0, 1}, 1.0f, l, 0), 0.0f);
}

TEST(Lighting, ZeroAreaFaceGetsAmbientOnly) {
  LitScene s;
  Object& o = s.e.objects[0];
  o.front_face = 2;
  o.vertices[1].position = o.vertices[0].position;
  o.vertices[2].position = o.vertices[0].position;
  EXPECT_EQ(s.lit_colour(), argb(127, 10, 10, 10));
}

TEST(Lighting, PhongVerticesTakeTheBrightestColourOfTheirLitFaces) {
  LitScene s;
  s.e.phong = 1;
  Object& o = s.e.objects[0];
  o.faces.clear();
  add_face(o, {0, 1, 2}, 50, 50, 50);
  add_face(o, {0, 2, 3}, 100, 100, 100);
  o.faces[0].corner_colours.fill(7);
  s.lit_colour();
  EXPECT_EQ(o.vertices[0].vertex_colour, argb(127, 100, 100, 100));  // shared: the brighter
  EXPECT_EQ(o.vertices[1].vertex_colour, argb(127, 50, 50, 50));
  EXPECT_EQ(o.vertices[3].vertex_colour, argb(127, 100, 100, 100));
  EXPECT_EQ(o.faces[0].corner_colours[0], 7u);  // corner colours are left alone
  // A vertex of no visible face goes black.
  o.faces[0].corners = {0, 2, 1, 0};  // now turned away
  o.vertices[1].vertex_colour = 0xFFFFFFFFu;
  s.lit_colour();
  EXPECT_EQ(o.vertices[1].vertex_colour, 0u);
}

TEST(Lighting, FaceVisibilityFollowsTheWindingOfTheEyePositions) {
  Object o = object_with_points({{-10, 10, 100}, {10, 10, 100}, {10, -10, 100}, {0, 10, 100}, {0, -10, 100}});
  add_face(o, {0, 1, 2}, 1, 1, 1);  // clockwise on screen
  add_face(o, {2, 1, 0}, 1, 1, 1);  // counter-clockwise
  add_face(o, {3, 4, 3}, 1, 1, 1);  // edge-on: d is 0
  for (Vertex& v : o.vertices) v.eye_position = v.position;
  o.front_face = 0x900;
  EXPECT_EQ(face_visible(o, 0), 1);
  EXPECT_EQ(face_visible(o, 1), 0);
  EXPECT_EQ(face_visible(o, 2), 1);
  o.front_face = 0x901;
  EXPECT_EQ(face_visible(o, 0), 0);
  EXPECT_EQ(face_visible(o, 1), 1);
  EXPECT_EQ(face_visible(o, 2), 1);
  o.front_face = 2;
  EXPECT_EQ(face_visible(o, 0), 1);
  EXPECT_EQ(face_visible(o, 1), 1);
}

TEST(Lighting, LitFaceIsBrighterOnScreenThanOneTheLightLooksAwayFrom) {
  int brightness[2];
  for (int facing : {1, 0}) {
    RenderRig rig;
    rig.e.light_switch = 1;
    add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 100, 100, 100));
    Object light = facing ? object_with_points({{-1, 1, 50}, {-1, -1, 50}, {1, 1, 50}})
                          : object_with_points({{-1, 1, 50}, {1, 1, 50}, {-1, -1, 50}});
    add_face(light, {0, 1, 2}, 127, 127, 127);
    add_object(rig.e, std::move(light)).visible = 0;
    add_light(rig.e, 1);
    rig.frame();
    brightness[facing] = brightness_of(rig.pixel(80, 60));
  }
  EXPECT_GT(brightness[1], 3 * 180);   // 100 of 127 in each channel
  EXPECT_LT(brightness[0], 3 * 40);    // ambient 10 of 127
}

// A caster above a floor, a light high above both.
struct ShadowScene {
  Engine e;
  explicit ShadowScene(float light_height = 100) {
    quiet(e);
    e.light_switch = 1;
    Object caster = object_with_points({{-10, 5, 140}, {10, 5, 140}, {10, 5, 160}, {-10, 5, 160}});
    add_face(caster, {0, 1, 2, 3}, 100, 100, 100);
    add_face(caster, {3, 2, 1, 0}, 100, 100, 100);
    caster.shadow_cast = -19.5f;
    caster.shadow_dark = 125;
    caster.front_face = 2;
    add_object(e, std::move(caster));
    Object light =
        object_with_points({{0, light_height, 150}, {1, light_height, 150}, {0, light_height, 151}});
    add_face(light, {0, 1, 2}, 127, 127, 127);
    add_object(e, std::move(light)).visible = 0;
    add_light(e, 1);
  }
};

TEST(Shadow, ShadowPointsReplaceTheEyePositionsAndAreDrawnBlackWithTheShadowDarkness) {
  ShadowScene s;
  s.e.camera_pos = {1, 2, 3};
  compute_camera_angles(s.e);
  light_update(s.e);
  Object& caster = s.e.objects[0];
  caster.faces[1].visible = 0;
  GlRecorder recorder;
  draw_shadows(s.e, caster);
  // t = 5 / 100: x moves away from the light by 5 %, y drops to the plane.
  const Vertex& v = caster.vertices[0];
  EXPECT_FLOAT_EQ(v.eye_position.x, -10 - 0.05f * 10 + 1);
  EXPECT_FLOAT_EQ(v.eye_position.y, -19.5f + 2);
  EXPECT_FLOAT_EQ(v.eye_position.z, 140 - 0.05f * 10 + 3);
  EXPECT_EQ(recorder.calls.front(), "Disable(GL_TEXTURE_2D)");
  ASSERT_EQ(recorder.draws.size(), 2u);  // every face, visible or not
  for (const RecordedDraw& d : recorder.draws) {
    EXPECT_EQ(d.primitive, static_cast<GLenum>(GL_QUADS));
    ASSERT_EQ(d.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(d.vertices[0].r, 0.0f);
    EXPECT_FLOAT_EQ(d.vertices[0].a, 125 / 127.0f);
  }
  EXPECT_FLOAT_EQ(recorder.draws[0].vertices[0].y, -17.5f);
}

TEST(Shadow, LightTooLowCastsNoShadowAndLightAtHeightZeroIsPassedOver) {
  {
    ShadowScene s(-9.5f);  // exactly 10 above the plane
    compute_camera_angles(s.e);
    light_update(s.e);
    Object& caster = s.e.objects[0];
    GlRecorder recorder;
    draw_shadows(s.e, caster);
    EXPECT_TRUE(recorder.draws.empty());
    EXPECT_FLOAT_EQ(caster.vertices[0].eye_position.y, -19.5f);  // the points are still stored
  }
  {
    ShadowScene s(0.0f);
    compute_camera_angles(s.e);
    light_update(s.e);
    Object& caster = s.e.objects[0];
    eye_transform_object(s.e, caster);
    GlRecorder recorder;
    draw_shadows(s.e, caster);
    EXPECT_TRUE(recorder.draws.empty());
    EXPECT_FLOAT_EQ(caster.vertices[0].eye_position.y, 5.0f);
    EXPECT_TRUE(std::isfinite(caster.vertices[0].eye_position.x));
  }
  {
    ShadowScene s;
    s.e.objects[0].shadow_cast = 0;  // no shadow at all
    GlRecorder recorder;
    RecordingPlatform platform;
    s.e.gl_ready = 1;
    render_frame(s.e, platform);
    EXPECT_EQ(recorder.draws.size(), 2u);  // the caster's two faces, no shadow
  }
}

TEST(Shadow, ShadowDarkensTheFloorBeneathTheCaster) {
  int brightness[2];
  for (int cast : {0, 1}) {
    RenderRig rig;
    Object floor = object_with_points({{-200, -20, 1000}, {200, -20, 1000}, {200, -20, 50}, {-200, -20, 50}});
    add_face(floor, {0, 1, 2, 3}, 100, 100, 100);
    floor.autolighted = 1;
    add_object(rig.e, std::move(floor));
    ShadowScene s;
    for (Object& o : s.e.objects) add_object(rig.e, std::move(o));
    add_light(rig.e, 2);
    rig.e.light_switch = 1;
    rig.e.objects[1].shadow_cast = cast ? -19.5f : 0.0f;
    rig.frame();
    brightness[cast] = brightness_of(rig.pixel(80, 39));
  }
  EXPECT_GT(brightness[0], 3 * 150);
  EXPECT_LT(brightness[1], brightness[0] / 4);
}

}  // namespace
}  // namespace kelvo::test
