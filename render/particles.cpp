#include "render/particles.h"

#include "render/eye_transform.h"
#include "render/gl_calls.h"
#include "render/gl_states.h"

namespace kelvo {

namespace {

constexpr float kInv255 = 0.003921569f;

inline float jitter(Engine& e, float spread) { return ((random_next(e.random) % 100) * 0.02f - 1.0f) * spread; }

}  // namespace

void rebirth_particle(Engine& e, const ParticleSystem& s, const Vertex& emitter, Particle& p) {
  // A life below one frame would have no length to draw from.
  const std::int32_t life = s.life > 0 ? s.life : 1;
  p.life = random_next(e.random) % life + life;
  const float frames = static_cast<float>(p.life);
  p.colour_step = {static_cast<float>(s.end_colour[0] - s.start_colour[0]) / frames,
                   static_cast<float>(s.end_colour[1] - s.start_colour[1]) / frames,
                   static_cast<float>(s.end_colour[2] - s.start_colour[2]) / frames};
  p.colour = {static_cast<float>(s.start_colour[0]), static_cast<float>(s.start_colour[1]),
              static_cast<float>(s.start_colour[2])};
  p.vertex = emitter;
  p.velocity = s.velocity;
  p.jitter.x = jitter(e, s.spread);
  p.jitter.y = jitter(e, s.spread);
  p.jitter.z = jitter(e, s.spread);
}

void draw_particles(Engine& e) {
  const GlCalls& g = *gl;
  const Vec3 camera = e.camera_pos;
  const CameraTurn turn_by = camera_turn(e);
  const PerspectiveScale scale = perspective_scale(e);
  const bool perspective = e.perspective_switch != 0;
  for (ParticleSystem& s : e.particle_systems) {
    if (s.object < 0 || s.object >= static_cast<int>(e.objects.size())) continue;
    const Object& o = e.objects[static_cast<std::size_t>(s.object)];
    if (o.vertices.empty()) continue;
    if (s.depth_test != 0)
      g.Enable(GL_DEPTH_TEST);
    else
      g.Disable(GL_DEPTH_TEST);
    g.BlendFunc(GL_SRC_ALPHA, s.blend == 1 ? GL_ONE_MINUS_SRC_ALPHA : GL_ONE);
    bind_texture_slot(e, s.texture_slot);
    const bool draw = o.visible != 0;
    const bool follow_camera = o.fixed == 0;
    const float h = static_cast<float>(s.size);
    const float acceleration = s.acceleration;
    for (Particle& p : s.particles) {
      if (p.life != 0) {
        --p.life;
        Vec3& q = p.vertex.position;
        q.x += p.jitter.x + p.velocity.x;
        q.y += p.jitter.y + p.velocity.y;
        q.z += p.jitter.z + p.velocity.z;
        p.velocity = {p.velocity.x * acceleration, p.velocity.y * acceleration, p.velocity.z * acceleration};
        p.colour = {p.colour.x + p.colour_step.x, p.colour.y + p.colour_step.y, p.colour.z + p.colour_step.z};
      } else {
        rebirth_particle(e, s, o.vertices[0], p);
      }
      if (!draw) continue;

      Vec3 q = p.vertex.position;
      if (follow_camera) q = {q.x + camera.x, q.y + camera.y, q.z + camera.z};
      q = turn(turn_by, q);
      if (perspective) apply_perspective(scale, q);
      p.vertex.eye_position = q;
      g.Begin(GL_QUADS);
      g.Color3f(p.colour.x * kInv255, p.colour.y * kInv255, p.colour.z * kInv255);
      g.TexCoord2f(0, 0);
      g.Vertex3f(q.x - h, q.y + h, q.z);
      g.TexCoord2f(1, 0);
      g.Vertex3f(q.x + h, q.y + h, q.z);
      g.TexCoord2f(1, 1);
      g.Vertex3f(q.x + h, q.y - h, q.z);
      g.TexCoord2f(0, 1);
      g.Vertex3f(q.x - h, q.y - h, q.z);
      g.End();
    }
  }
}

}  // namespace kelvo
