// The particle pass (one step and one drawing of every particle per frame),
// halos and lens flares.
#include <gtest/gtest.h>

#include "render/halos_flares.h"
#include "render/particles.h"
#include "render/render_rig.h"

namespace kelvo::test {
namespace {

ParticleSystem particle_system(int count) {
  ParticleSystem s;
  s.count = count;
  s.particles.resize(static_cast<std::size_t>(count));
  s.life = 20, s.size = 3, s.acceleration = 1.05f, s.spread = 0.4f;
  s.velocity = {0, 0.5f, 0};
  s.start_colour = {255, 255, 100};
  s.end_colour = {50, 0, 0};
  return s;
}

// An emitter (one vertex, no faces) with a system of `count` particles.
struct ParticleScene : RecordedFrame {
  explicit ParticleScene(int count = 4) {
    e.particle_switch = 1;
    add_object(e, object_with_points({{0, 0, 100}}));
    e.particle_systems.push_back(particle_system(count));
    e.particle_system_count = 1;
  }
  ParticleSystem& system() { return e.particle_systems[0]; }
  Particle& first() { return e.particle_systems[0].particles[0]; }
  void rebirth(Particle& p) { rebirth_particle(e, system(), e.objects[0].vertices[0], p); }
};

TEST(Particle, SystemWithoutALifeLengthOrAnEmitterVertexIsHarmless) {
  ParticleScene s;
  s.system().life = 0;  // lives are taken modulo the life: one frame then
  s.rebirth(s.first());
  EXPECT_EQ(s.first().life, 1);
  EXPECT_EQ(s.frame().size(), 4u);
  s.e.objects[0].vertices.clear();
  s.e.particle_systems.push_back(particle_system(3));
  s.e.particle_systems.back().object = 5;  // no such object
  EXPECT_TRUE(s.frame().empty());
}

TEST(Particle, OneLifeMovesByJitterAndAcceleratedVelocityAndStepsToTheEndColour) {
  ParticleScene s(1);
  s.system().velocity = {0, 0.5f, -0.2f};
  Particle& p = s.first();
  for (int i = 0; i < 1000 && p.life != 25; ++i) {
    s.rebirth(p);
    ASSERT_TRUE(p.life >= 20 && p.life < 40) << p.life;  // from the life to twice it less one
  }
  ASSERT_EQ(p.life, 25);
  // Each step moves by the jitter plus the velocity, which then grows by the
  // acceleration: 0.5, 0.525, 0.55125 upward.
  const Vec3 start = p.vertex.position, jitter = p.jitter;
  s.frame(3);
  EXPECT_NEAR(p.vertex.position.y - start.y, 1.57625f + 3 * jitter.y, 1e-4);
  EXPECT_NEAR(p.vertex.position.z - start.z, -0.6305f + 3 * jitter.z, 1e-4);
  EXPECT_NEAR(p.vertex.position.x - start.x, 3 * jitter.x, 1e-4);
  EXPECT_NEAR(p.velocity.y, 0.5f * 1.05f * 1.05f * 1.05f, 1e-5);
  // The particles of a hidden emitter are not drawn but move on.
  s.e.objects[0].visible = 0;
  EXPECT_TRUE(s.frame().empty());
  EXPECT_NEAR(p.vertex.position.y - start.y, 1.57625f + 0.5788125f + 4 * jitter.y, 1e-4);
  s.frame(21);
  EXPECT_EQ(p.life, 0);
  EXPECT_NEAR(p.colour.x, 50.0f, 1e-2);
  EXPECT_NEAR(p.colour.y, 0.0f, 1e-2);
  EXPECT_NEAR(p.colour.z, 0.0f, 1e-2);
  s.frame();  // dead: born again at the emitter
  EXPECT_GE(p.life, 20);
  EXPECT_FLOAT_EQ(p.colour.x, 255.0f);
}

// A quarter turn about Y takes z to x; the camera position counts only for a
// world emitter, the perspective factors (here x halved) for every one.
TEST(Particle, SquaresAreDrawnAtTheTurnedParticleWithItsColourEvenForAFixedEmitter) {
  const struct {
    int fixed, perspective;
    float x;
  } cases[] = {{0, 0, 150}, {2, 0, 100}, {2, 1, 50}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "fixed " << c.fixed << " perspective " << c.perspective);
    ParticleScene s(1);
    s.e.objects[0].fixed = c.fixed, s.e.camera_pos = {0, 0, 50}, s.e.camera_rot = {0, 90, 0};
    s.e.perspective = {400, 300}, s.e.perspective_switch = c.perspective;
    Particle& p = s.first();
    p.life = 5, p.vertex.position = {0, 0, 100}, p.colour = {255, 51, 0};
    ASSERT_EQ(s.frame().size(), 1u);
    EXPECT_NEAR(p.vertex.eye_position.x, c.x, 1e-3);
    // Clockwise from the top left, 3 to each side, the whole texture.
    const std::vector<RecordedVertex>& v = s.rec.draws[0].vertices;
    ASSERT_EQ(v.size(), 4u);
    const float corners[4][4] = {{-3, 3, 0, 0}, {3, 3, 1, 0}, {3, -3, 1, 1}, {-3, -3, 0, 1}};
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_NEAR(v[k].x - c.x, corners[k][0], 1e-3) << k;
      EXPECT_NEAR(v[k].y, corners[k][1], 1e-3) << k;
      EXPECT_EQ(std::make_pair(v[k].s, v[k].t), std::make_pair(corners[k][2], corners[k][3])) << k;
    }
    EXPECT_NEAR(v[0].r + v[0].g, 1.2f, 1e-6);
  }
}

TEST(Particle, EachSystemSetsItsDepthTestBlendAndTexture) {
  ParticleScene s(1);
  fake_slot(s.e, 1, 41), fake_slot(s.e, 2, 42);
  s.system().texture_slot = s.system().depth_test = s.system().blend = 1;
  s.e.particle_systems.push_back(particle_system(1));
  s.e.particle_systems.back().texture_slot = 2;
  const std::vector<RecordedDraw>& d = s.frame();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(std::vector<long>({d[0].texture, d[0].depth_test, d[0].blend_dst, d[1].texture, d[1].depth_test,
                               d[1].blend_dst, d[1].fog}),
            std::vector<long>({41, 1, GL_ONE_MINUS_SRC_ALPHA, 42, 0, GL_ONE, 0}));
}

// --- halos and lens flares -------------------------------------------------------

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
  f.e.objects[0].ghoul_test = 1;  // the halo test lets geometry in front hide it
  EXPECT_EQ(f.frame().at(0).depth_test, 1);
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
  f.e.halo_switch = f.e.flare_switch = 1;
  f.e.objects[0] = object_with_points({{0, 0, 100}});  // no first face
  add_object(f.e, Object{});                            // no first vertex
  for (Object& o : f.e.objects) o.halo_dim = 5, o.flare_dim = 2;
  EXPECT_TRUE(f.frame().empty());
}

// Halo textures A (red) and B (blue): the halo steps on in the frames in
// which face textures step (every frame with speed 1, every second with 2).
TEST(Halo, HaloStepsThroughItsTexturesWithTheObjectsTextureSpeed) {
  for (const auto& [speed, want] : {std::pair{0, "AAAAA"}, {1, "BABAB"}, {2, "ABBAA"}}) {
    RenderRig rig;
    rig.e.halo_switch = 1;
    Object& o = add_object(rig.e, anchored_at({0, 0, 100}, 10));
    o.faces[0].green = o.faces[0].blue = 127;  // white: the halo shows its texture
    o.halo_tex[0] = rig.texture("A", 255, 0, 0), o.halo_tex[1] = rig.texture("B", 0, 0, 255);
    o.tex_speed = o.tex_countdown = speed;
    std::string shown;
    for (int i = 0; i < 5; ++i) {
      rig.frame();
      const std::uint32_t centre = rig.pixel(80, 60);
      shown += red_of(centre) > 200 ? 'A' : blue_of(centre) > 200 ? 'B' : '-';
    }
    EXPECT_EQ(shown, want) << "speed " << speed;
  }
}

// Two red halos behind a blue wall: the one with the halo test is hidden,
// the next one (without it) shows through.
TEST(Halo, HaloTestLetsGeometryInFrontHideThatHaloOnly) {
  RenderRig rig;
  rig.e.halo_switch = 1;
  const int white = rig.texture("W", 255, 255, 255);
  add_object(rig.e, facing_square(-50, -50, 50, 50, 100, 0, 0, 127));
  for (float x : {-60.0f, 60.0f}) add_object(rig.e, anchored_at({x, 0, 200}, 20)).halo_tex[0] = white;
  rig.e.objects[1].ghoul_test = 1;
  rig.frame();
  // The anchors are at x 32 and 128 on the screen.
  EXPECT_LT(red_of(rig.pixel(32, 60)), 50);
  EXPECT_GT(blue_of(rig.pixel(32, 60)), 200);
  EXPECT_GT(red_of(rig.pixel(128, 60)), 200);
}

TEST(Halo, FlareSquaresLieAlongTheLineFromTheAnchorTowardItsSize) {
  HaloFrame f;
  f.e.lens_slots = {1, 2, 3, 4};
  add_object(f.e, anchored_at({10.5f, -20.5f, 300}, 0, 4));
  ASSERT_EQ(f.frame().size(), 8u);
  // D = (4 - 10, 4 + 20) (the anchor's fraction dropped): centres at A + k D,
  // half-sizes in units of 4.
  const float along[8] = {0, 0.5f, 0.55f, 0.6f, 1.9f, 1.7f, 1.75f, -0.15f};
  const float half[8] = {40, 24, 24, 8, 40, 16, 24, 32};
  const long lens[8] = {101, 102, 101, 103, 104, 101, 102, 104};
  for (std::size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const std::vector<RecordedVertex>& v = f.rec.draws[i].vertices;
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(f.rec.draws[i].texture, lens[i]);
    EXPECT_NEAR((v[0].x + v[1].x) / 2, 10.5f - along[i] * 6, 1e-4);
    EXPECT_NEAR((v[0].y + v[2].y) / 2, -20.5f + along[i] * 24, 1e-4);
    EXPECT_NEAR(v[1].x - v[0].x, 2 * half[i], 1e-4);
    EXPECT_FLOAT_EQ(v[2].z, 300.0f);
  }
}

}  // namespace
}  // namespace kelvo::test
