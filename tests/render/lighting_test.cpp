// The camera transform, lighting and shadows.
#include <gtest/gtest.h>

#include <cmath>

#include "render/eye_transform.h"
#include "render/lighting.h"
#include "render/render_rig.h"
#include "render/shadows.h"

namespace kelvo::test {
namespace {

// Each angle alone, then all three (about Y, then X, then Z: each other
// order gives other results); the camera position counts for `fixed` 0 only,
// the angles unless `fixed` is 2; the perspective factors (x halved, y
// quartered) for objects that accept them.
TEST(RenderEyeTransform, CameraMovesAndTurnsTheWorldAndThePerspectiveScalesIt) {
  struct Case {
    Vec3 rot;
    int fixed, perspective;  // 0 off, 1 on, 2 on but not for this object
    Vec3 p, want;
  };
  const Case cases[] = {
      {{90, 0, 0}, 1, 0, {0, 0, 100}, {0, 100, 0}},     {{0, 90, 0}, 1, 0, {0, 0, 100}, {100, 0, 0}},
      {{0, 0, 90}, 1, 0, {100, 0, 0}, {0, 100, 0}},     {{90, 90, 90}, 0, 0, {0, 0, 100}, {0, 0, -100}},
      {{90, 90, 90}, 1, 0, {0, 0, 100}, {0, 100, 0}},   {{90, 90, 90}, 1, 0, {100, 0, 0}, {100, 0, 0}},
      {{90, 90, 90}, 2, 0, {0, 0, 100}, {0, 0, 100}},   {{0, 0, 0}, 0, 1, {40, -60, 200}, {20, 10, 100}},
      {{0, 0, 0}, 0, 2, {40, -60, 200}, {40, 40, 100}}, {{0, 0, 0}, 2, 1, {40, -60, 200}, {20, -15, 200}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rot.x << "," << c.rot.y << "," << c.rot.z << " fixed " << c.fixed
                                    << " perspective " << c.perspective);
    Engine e;
    quiet(e);
    e.camera_pos = {0, 100, -100}, e.camera_rot = c.rot;
    e.perspective = {400, 150}, e.perspective_switch = c.perspective != 0;
    compute_camera_angles(e);
    Object o = object_with_points({c.p});
    o.fixed = c.fixed, o.perspective_ok = c.perspective != 2;
    eye_transform_object(e, o);
    const Vec3 got = o.vertices[0].eye_position;
    EXPECT_TRUE(std::abs(got.x - c.want.x) + std::abs(got.y - c.want.y) + std::abs(got.z - c.want.z) < 1e-3)
        << got.x << "," << got.y << "," << got.z;
  }
}

// A face at z 100 facing the camera, and a hidden light in front of it whose
// face looks at it head-on (or, turned, away from it).
void light_facing(Engine& e, bool toward = true) {
  const Vec3 a{-1, -1, 50}, b{1, 1, 50};
  add_hidden_light(e, {-1, 1, 50}, toward ? a : b, toward ? b : a);
}
struct LitScene {
  Engine e;
  explicit LitScene(bool toward = true) {
    quiet(e);
    e.light_switch = 1;
    add_object(e, facing_square(-20, -20, 20, 20, 100, 100, 100, 100));
    light_facing(e, toward);
  }
  std::uint32_t lit_colour() {
    compute_camera_angles(e), light_update(e);
    eye_transform_object(e, e.objects[0]), light_object(e, e.objects[0]);
    return e.objects[0].faces[0].corner_colours[0];
  }
};

TEST(Lighting, FaceGetsAmbientPlusEachLightCappedAtItsOwnColour) {
  LitScene white;  // ambient 10, colour 100, white light: 110 capped at 100
  EXPECT_EQ(white.lit_colour(), argb(127, 100, 100, 100));
  LitScene tinted;
  tinted.e.lights[0].colour = {0.5f, 0.25f, 0};
  tinted.e.ambient = {10, 20, 30};
  EXPECT_EQ(tinted.lit_colour(), argb(127, 60, 45, 30));
  LitScene two;  // each adds, the cap holds
  light_facing(two.e);
  two.e.lights[0].colour = two.e.lights[1].colour = {0.3f, 0.3f, 0.3f};
  EXPECT_EQ(two.lit_colour(), argb(127, 70, 70, 70));
  two.e.lights[1].colour = {1, 1, 1};
  EXPECT_EQ(two.lit_colour(), argb(127, 100, 100, 100));
  LitScene tilted;  // a light leaning 45 degrees off: 10 + 100 cos 45
  tilted.e.lights.clear();
  add_hidden_light(tilted.e, {0, 0, 50}, {1, 1, 49}, {0, 1, 49});
  EXPECT_EQ(tilted.lit_colour(), argb(127, 80, 80, 80));
  LitScene flat;  // a face of no area gets ambient only
  flat.e.objects[0].front_face = 2;
  flat.e.objects[0].vertices[1].position = flat.e.objects[0].vertices[2].position = {-20, 20, 100};
  EXPECT_EQ(flat.lit_colour(), argb(127, 10, 10, 10));
}

// The cones of shaders 1 and 2: 1 lights from cos(1 rad) up, 2 between
// 0.45 and 1 / 1.2 (most near 1 / 1.2, not at all head-on).
TEST(Lighting, ShadersOneAndTwoLightOnlyWithinTheirCones) {
  Light light;
  light.normal = {0, 0, -2}, light.normal_length = 2;
  const struct {
    int shader;
    float c, want;
  } cases[] = {{0, 0.6f, 0.6f},     {0, -0.5f, 0},    {1, 1, 1},     {1, 0.6f, 0.072705f}, {1, 0.5f, 0},
               {2, 0.8f, 0.716210f}, {2, 0.5f, 0.072705f}, {2, 0.9f, 0}, {2, 0.4f, 0},         {2, 1, 0}};
  for (const auto& c : cases) {
    const Vec3 n{std::sqrt(1 - c.c * c.c), 0, -c.c};
    EXPECT_NEAR(light_factor(n, 1, light, c.shader), c.want, 1e-4) << c.shader << " at " << c.c;
  }
}

// On the screen: a face the light looks at shows its colour, one it looks
// away from only the ambient light, also with phong (where the vertices
// carry the light); an autolighted face keeps its vertex colours (here
// unlike its corner colours, as after random colours).
TEST(Lighting, LitFacesShowTheirLightOnScreenAutolightedOnesTheirOwnColour) {
  const struct {
    int phong, autolighted;
    bool toward, bright;
  } cases[] = {{0, 0, true, true}, {0, 0, false, false}, {1, 0, true, true}, {1, 0, false, false},
               {0, 1, false, true}, {1, 1, false, true}};
  for (const auto& c : cases) {
    RenderRig rig;
    rig.e.light_switch = 1, rig.e.phong = c.phong;
    Object& o = add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 100, 100, 100));
    o.autolighted = c.autolighted;
    if (c.autolighted) o.faces[0].corner_colours.fill(argb(127, 0, 0, 0));
    light_facing(rig.e, c.toward);
    rig.frame();
    const int brightness = brightness_of(rig.pixel(80, 60));  // 100 of 127 in each channel, or ambient 10
    EXPECT_TRUE(c.bright ? brightness > 3 * 180 : brightness < 3 * 40)
        << brightness << ": phong " << c.phong << " autolighted " << c.autolighted << " toward " << c.toward;
  }
}

// A caster above a floor, and a light above it at `light_height`.
void add_caster_and_light(Engine& e, float light_height = 100) {
  e.light_switch = 1;
  Object& caster = add_object(e, object_with_points({{-10, 5, 140}, {10, 5, 140}, {10, 5, 160}, {-10, 5, 160}}));
  add_face(caster, {0, 1, 2, 3}, 100, 100, 100);
  add_face(caster, {3, 2, 1, 0}, 100, 100, 100);
  caster.shadow_cast = -19.5f, caster.shadow_dark = 125, caster.front_face = 2;
  add_hidden_light(e, {0, light_height, 150}, {1, light_height, 150}, {0, light_height, 151});
}

TEST(Shadow, ShadowPointsReplaceTheEyePositionsAndAreDrawnBlackWithTheShadowDarkness) {
  for (int perspective : {0, 1}) {
    RecordedFrame f;
    add_caster_and_light(f.e);
    f.e.camera_pos = {1, 2, 3};
    f.e.perspective = {400, 300}, f.e.perspective_switch = perspective;  // halves x and y
    compute_camera_angles(f.e), light_update(f.e);
    Object& caster = f.e.objects[0];
    caster.faces[1].visible = 0;
    draw_shadows(f.e, caster);
    // t = 5 / 100: x moves away from the light by 5 %, y drops to the plane.
    const Vec3 p = caster.vertices[0].eye_position;
    EXPECT_EQ(std::vector<float>({p.x, p.y, p.z}),
              std::vector<float>({-10 - 0.05f * 10 + 1, -17.5f, 140 - 0.05f * 10 + 3}));
    EXPECT_EQ(f.rec.calls.front(), "Disable(GL_TEXTURE_2D)");
    ASSERT_EQ(f.rec.draws.size(), 2u);  // every face, visible or not
    const float scale = perspective ? 0.5f : 1.0f;
    for (const RecordedDraw& d : f.rec.draws) {
      ASSERT_EQ(d.vertices.size(), 4u);
      EXPECT_EQ(std::vector<float>({d.vertices[0].x, d.vertices[0].y, d.vertices[0].r, d.vertices[0].a}),
                std::vector<float>({p.x * scale, p.y * scale, 0, 125 / 127.0f}));
    }
  }
}

TEST(Shadow, LightTooLowCastsNoShadowAndLightAtHeightZeroIsPassedOver) {
  for (const float height : {-9.5f, 0.0f}) {  // exactly 10 above the plane; at height 0
    RecordedFrame f;
    add_caster_and_light(f.e, height);
    compute_camera_angles(f.e), light_update(f.e);
    Object& caster = f.e.objects[0];
    eye_transform_object(f.e, caster), draw_shadows(f.e, caster);
    EXPECT_TRUE(f.rec.draws.empty()) << height;
    // Too low: the points are still stored; at height 0: left as they were.
    const Vec3 p = caster.vertices[0].eye_position;
    EXPECT_TRUE(p.y == (height == 0 ? 5.0f : -19.5f) && std::isfinite(p.x)) << p.y;
  }
}

TEST(Shadow, ShadowDarkensTheFloorBeneathTheCaster) {
  int brightness[2];
  for (int cast : {0, 1}) {
    RenderRig rig;
    Object& floor =
        add_object(rig.e, object_with_points({{-200, -20, 1000}, {200, -20, 1000}, {200, -20, 50}, {-200, -20, 50}}));
    add_face(floor, {0, 1, 2, 3}, 100, 100, 100);
    floor.autolighted = 1;
    add_caster_and_light(rig.e);
    rig.e.objects[1].shadow_cast = cast ? -19.5f : 0.0f;
    rig.frame();
    brightness[cast] = brightness_of(rig.pixel(80, 39));
  }
  EXPECT_GT(brightness[0], 3 * 150);
  EXPECT_LT(brightness[1], brightness[0] / 4);
}

}  // namespace
}  // namespace kelvo::test
