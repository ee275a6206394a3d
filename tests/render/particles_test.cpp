// The particle pass: one step and one drawing of every particle per frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "render/eye_transform.h"
#include "render/gl_recorder.h"
#include "render/particles.h"
#include "render/render_rig.h"

namespace kelvo::test {
namespace {

ParticleSystem particle_system(int object, int count) {
  ParticleSystem s;
  s.object = object;
  s.count = count;
  s.particles.resize(static_cast<std::size_t>(count));
  s.life = 20;
  s.size = 3;
  s.acceleration = 1.05f;
  s.spread = 0.4f;
  s.velocity = {0, 0.5f, 0};
  s.start_colour = {255, 255, 100};
  s.end_colour = {50, 0, 0};
  return s;
}

// An emitter: one vertex, no faces.
struct ParticleScene {
  Engine e;
  RecordingPlatform platform;
  ParticleScene(Vec3 emitter = {0, 0, 100}, int count = 4) {
    quiet(e);
    e.gl_ready = 1;
    e.particle_switch = 1;
    add_object(e, object_with_points({emitter}));
    e.particle_systems.push_back(particle_system(0, count));
    e.particle_system_count = 1;
  }
  ParticleSystem& system() { return e.particle_systems[0]; }
  std::vector<RecordedDraw> frame() {
    GlRecorder recorder;
    render_frame(e, platform);
    return recorder.draws;
  }
};

TEST(Particle, LivesLastFromTheSystemLifeToTwiceItLessOne) {
  ParticleScene s;
  random_seed(s.e.random, 12345);
  Particle p;
  int shortest = 1000, longest = 0;
  for (int i = 0; i < 2000; ++i) {
    rebirth_particle(s.e, s.system(), s.e.objects[0].vertices[0], p);
    shortest = std::min(shortest, p.life);
    longest = std::max(longest, p.life);
    EXPECT_GE(p.jitter.x, -0.4f - 1e-6f);
    EXPECT_LE(p.jitter.z, 0.392f + 1e-6f);
  }
  EXPECT_EQ(shortest, 20);
  EXPECT_EQ(longest, 39);
}

TEST(Particle, SystemWithoutALifeLengthOrAnEmitterVertexIsHarmless) {
  ParticleScene s;
  s.system().life = 0;  // lives are taken modulo the life: one frame then
  Particle p;
  rebirth_particle(s.e, s.system(), s.e.objects[0].vertices[0], p);
  EXPECT_EQ(p.life, 1);
  EXPECT_EQ(s.frame().size(), 4u);
  s.e.objects[0].vertices.clear();
  s.e.particle_systems.push_back(particle_system(5, 3));  // no such object
  EXPECT_TRUE(s.frame().empty());
}

TEST(Particle, RebirthDrawsTheLifeFirstThenTheJitterInXYZOrder) {
  ParticleScene s;
  random_seed(s.e.random, 777);
  RandomGenerator copy;
  random_seed(copy, 777);
  Particle p;
  s.e.objects[0].vertices[0].vertex_colour = 0xABCDEF01u;
  rebirth_particle(s.e, s.system(), s.e.objects[0].vertices[0], p);
  EXPECT_EQ(p.life, random_next(copy) % 20 + 20);
  EXPECT_FLOAT_EQ(p.jitter.x, ((random_next(copy) % 100) * 0.02f - 1.0f) * 0.4f);
  EXPECT_FLOAT_EQ(p.jitter.y, ((random_next(copy) % 100) * 0.02f - 1.0f) * 0.4f);
  EXPECT_FLOAT_EQ(p.jitter.z, ((random_next(copy) % 100) * 0.02f - 1.0f) * 0.4f);
  EXPECT_EQ(p.vertex.vertex_colour, 0xABCDEF01u);  // the emitter's whole vertex record
  EXPECT_FLOAT_EQ(p.vertex.position.z, 100.0f);
  EXPECT_FLOAT_EQ(p.velocity.y, 0.5f);
  EXPECT_FLOAT_EQ(p.colour.x, 255.0f);
}

TEST(Particle, ColourStepsFromTheStartColourToTheEndColourOverOneLife) {
  ParticleScene s;
  Particle p;
  for (int i = 0; i < 1000 && p.life != 25; ++i) rebirth_particle(s.e, s.system(), s.e.objects[0].vertices[0], p);
  ASSERT_EQ(p.life, 25);
  EXPECT_FLOAT_EQ(p.colour_step.x, -8.2f);
  EXPECT_FLOAT_EQ(p.colour_step.y, -10.2f);
  EXPECT_FLOAT_EQ(p.colour_step.z, -4.0f);
  s.system().particles[0] = p;
  s.system().particles.resize(1);
  for (int i = 0; i < 25; ++i) s.frame();
  const Particle& q = s.system().particles[0];
  EXPECT_EQ(q.life, 0);
  EXPECT_NEAR(q.colour.x, 50.0f, 1e-2);
  EXPECT_NEAR(q.colour.y, 0.0f, 1e-2);
  EXPECT_NEAR(q.colour.z, 0.0f, 1e-2);
  s.frame();  // dead: born again at the emitter
  EXPECT_GE(s.system().particles[0].life, 20);
  EXPECT_FLOAT_EQ(s.system().particles[0].colour.x, 255.0f);
}

TEST(Particle, LivingParticleMovesByVelocityAndJitterAndAccelerates) {
  ParticleScene s({0, 0, 100}, 1);
  Particle& p = s.system().particles[0];
  p.life = 10;
  p.vertex.position = {0, 0, 100};
  p.velocity = {0, 0.5f, 0};
  p.jitter = {0.1f, 0.2f, -0.3f};
  float y = 0;
  const float rises[3] = {0.5f, 0.525f, 0.55125f};
  for (float rise : rises) {
    s.frame();
    y += rise + 0.2f;
    EXPECT_NEAR(p.vertex.position.y, y, 1e-5);
  }
  EXPECT_NEAR(p.vertex.position.x, 0.3f, 1e-5);
  EXPECT_NEAR(p.vertex.position.z, 100 - 0.9f, 1e-4);
  EXPECT_EQ(p.life, 7);
}

TEST(Particle, SwitchOffFreezesAndHidesParticlesAndHiddenEmitterOnlyHides) {
  ParticleScene s;
  s.frame();  // every particle born
  s.frame();  // and moved once
  const Vec3 before = s.system().particles[0].vertex.position;
  s.e.particle_switch = 0;
  EXPECT_TRUE(s.frame().empty());
  EXPECT_FLOAT_EQ(s.system().particles[0].vertex.position.y, before.y);
  s.e.particle_switch = 1;
  EXPECT_EQ(s.frame().size(), 4u);
  EXPECT_NE(s.system().particles[0].vertex.position.y, before.y);

  s.e.objects[0].visible = 0;
  const float y = s.system().particles[0].vertex.position.y;
  EXPECT_TRUE(s.frame().empty());
  EXPECT_NE(s.system().particles[0].vertex.position.y, y);
}

TEST(Particle, SquaresAreDrawnAtTheTurnedParticleWithItsColourEvenForAFixedEmitter) {
  for (int fixed : {0, 2}) {
    ParticleScene s({0, 0, 100}, 1);
    s.e.objects[0].fixed = fixed;
    s.e.camera_pos = {0, 0, 50};
    s.e.camera_rot = {0, 90, 0};
    Particle& p = s.system().particles[0];
    p.life = 5;
    p.vertex.position = {0, 0, 100};
    p.velocity = {};
    p.jitter = {};
    p.colour = {255, 51, 0};
    p.colour_step = {};
    const std::vector<RecordedDraw> draws = s.frame();
    ASSERT_EQ(draws.size(), 1u);
    // A quarter turn about Y takes z to x; the camera position counts only
    // for a world emitter.
    const float x = fixed == 0 ? 150.0f : 100.0f;
    EXPECT_NEAR(p.vertex.eye_position.x, x, 1e-3);
    EXPECT_NEAR(p.vertex.eye_position.z, 0.0f, 1e-3);
    const RecordedDraw& d = draws[0];
    ASSERT_EQ(d.vertices.size(), 4u);
    EXPECT_NEAR(d.vertices[0].x, x - 3, 1e-3);
    EXPECT_NEAR(d.vertices[0].y, 3, 1e-3);
    EXPECT_NEAR(d.vertices[2].x, x + 3, 1e-3);
    EXPECT_NEAR(d.vertices[2].y, -3, 1e-3);
    EXPECT_FLOAT_EQ(d.vertices[2].s, 1.0f);
    EXPECT_FLOAT_EQ(d.vertices[0].r, 1.0f);
    EXPECT_NEAR(d.vertices[0].g, 0.2f, 1e-6);
  }
}

TEST(Particle, EachSystemSetsItsDepthTestBlendAndTexture) {
  ParticleScene s({0, 0, 100}, 1);
  fake_slot(s.e, 1, 41);
  fake_slot(s.e, 2, 42);
  s.system().texture_slot = 1;
  s.system().depth_test = 1;
  s.system().blend = 1;
  ParticleSystem second = particle_system(0, 1);
  second.texture_slot = 2;
  s.e.particle_systems.push_back(second);
  const std::vector<RecordedDraw> draws = s.frame();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].texture, 41);
  EXPECT_EQ(draws[0].depth_test, 1);
  EXPECT_EQ(draws[0].blend_dst, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(draws[1].texture, 42);
  EXPECT_EQ(draws[1].depth_test, 0);
  EXPECT_EQ(draws[1].blend_dst, GL_ONE);
  EXPECT_EQ(draws[1].fog, 0);
}

TEST(Particle, ParticlesAppearOnScreenAroundTheEmitter) {
  for (int on : {1, 0}) {
    RenderRig rig;
    rig.e.particle_switch = on;
    add_object(rig.e, object_with_points({{0, 0, 100}}));
    ParticleSystem s = particle_system(0, 20);
    s.texture_slot = rig.texture("PARTICLE", 255, 255, 255);
    s.start_colour = {255, 255, 255};
    s.end_colour = {255, 255, 255};
    rig.e.particle_systems.push_back(s);
    rig.frame();
    if (on)
      EXPECT_GT(brightness_of(rig.pixel(80, 60)), 3 * 240);
    else
      EXPECT_EQ(rig.pixels_unlike(0), 0);
  }
}

}  // namespace
}  // namespace kelvo::test
