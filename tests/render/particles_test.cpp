// The particle pass: one step and one drawing of every particle per frame.
#include <gtest/gtest.h>

#include <tuple>

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

TEST(Particle, ColourStepsFromTheStartColourToTheEndColourOverOneLife) {
  ParticleScene s(1);
  Particle& p = s.first();
  for (int i = 0; i < 1000 && p.life != 25; ++i) {
    s.rebirth(p);
    ASSERT_TRUE(p.life >= 20 && p.life < 40) << p.life;  // from the life to twice it less one
  }
  ASSERT_EQ(p.life, 25);
  s.frame(25);
  EXPECT_EQ(p.life, 0);
  EXPECT_NEAR(p.colour.x, 50.0f, 1e-2);
  EXPECT_NEAR(p.colour.y, 0.0f, 1e-2);
  EXPECT_NEAR(p.colour.z, 0.0f, 1e-2);
  s.frame();  // dead: born again at the emitter
  EXPECT_GE(p.life, 20);
  EXPECT_FLOAT_EQ(p.colour.x, 255.0f);
}

TEST(Particle, LivingParticleMovesByVelocityAndJitterAndAccelerates) {
  ParticleScene s(1);
  Particle& p = s.first();
  p.life = 10, p.vertex.position = {0, 0, 100}, p.velocity = {0, 0.5f, 0}, p.jitter = {0.1f, 0.2f, -0.3f};
  s.frame(3);  // the velocity grows by 5 % a frame
  EXPECT_NEAR(p.vertex.position.y, 0.5f + 0.525f + 0.55125f + 3 * 0.2f, 1e-5);
  EXPECT_NEAR(p.vertex.position.x, 0.3f, 1e-5);
  EXPECT_NEAR(p.vertex.position.z, 100 - 0.9f, 1e-4);
  EXPECT_EQ(p.life, 7);
}

TEST(Particle, SquaresAreDrawnAtTheTurnedParticleWithItsColourEvenForAFixedEmitter) {
  for (int fixed : {0, 2}) {
    ParticleScene s(1);
    s.e.objects[0].fixed = fixed, s.e.camera_pos = {0, 0, 50}, s.e.camera_rot = {0, 90, 0};
    Particle& p = s.first();
    p.life = 5, p.vertex.position = {0, 0, 100}, p.colour = {255, 51, 0};
    ASSERT_EQ(s.frame().size(), 1u);
    // A quarter turn about Y takes z to x; the camera position counts only
    // for a world emitter.
    const float x = fixed == 0 ? 150.0f : 100.0f;
    EXPECT_NEAR(p.vertex.eye_position.x, x, 1e-3);
    const std::vector<RecordedVertex>& v = s.rec.draws[0].vertices;
    ASSERT_EQ(v.size(), 4u);
    for (const auto& [i, dx, dy] : {std::tuple{0, -3, 3}, {2, 3, -3}}) {
      EXPECT_NEAR(v[i].x, x + dx, 1e-3);
      EXPECT_NEAR(v[i].y, dy, 1e-3);
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

TEST(Particle, ParticlesAppearOnScreenAroundTheEmitter) {
  RenderRig rig;
  rig.e.particle_switch = 1;
  add_object(rig.e, object_with_points({{0, 0, 100}}));
  ParticleSystem s = particle_system(20);
  s.texture_slot = rig.texture("PARTICLE", 255, 255, 255);
  s.start_colour = s.end_colour = {255, 255, 255};
  rig.e.particle_systems.push_back(s);
  rig.frame();
  EXPECT_GT(brightness_of(rig.pixel(80, 60)), 3 * 240);
}

}  // namespace
}  // namespace kelvo::test
