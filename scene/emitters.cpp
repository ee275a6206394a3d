#include "scene/emitters.h"

#include <algorithm>

#include "model/texture_slots.h"

namespace kelvo {

void setup_light(Engine& e, int n) {
  debug_log(e.log, "processing light %d on obj %d", e.light_count, n);
  const Object& o = e.objects[static_cast<std::size_t>(n)];
  if (o.faces.empty()) {
    debug_log(e.log, "light on obj %d has no face: no light", n);
    return;
  }
  Light light;
  light.object = n;
  const Face& face = o.faces[0];
  light.colour = {face.red * 0.003921569f, face.green * 0.003921569f, face.blue * 0.003921569f};
  e.lights.push_back(light);
  ++e.light_count;
}

void birth_particle(Engine& e, const ParticleSystem& s, const Vertex& emitter, Particle& p) {
  p.vertex = emitter;
  p.velocity = s.velocity;
  p.jitter.x = ((random_next(e.random) % 100) * 0.02f - 1.0f) * s.spread;
  p.jitter.y = ((random_next(e.random) % 100) * 0.02f - 1.0f) * s.spread;
  p.jitter.z = ((random_next(e.random) % 100) * 0.02f - 1.0f) * s.spread;
  p.colour = {static_cast<float>(s.start_colour[0]), static_cast<float>(s.start_colour[1]),
              static_cast<float>(s.start_colour[2])};
  p.life = random_next(e.random) % s.life + s.life;
  const float life = static_cast<float>(p.life);
  p.colour_step = {(s.end_colour[0] - s.start_colour[0]) / life, (s.end_colour[1] - s.start_colour[1]) / life,
                   (s.end_colour[2] - s.start_colour[2]) / life};
}

void setup_particle_system(Engine& e, int n, const ParticleParameters& parameters, const std::string& texture_name,
                           int blend, int accept_random) {
  debug_log(e.log, "processing particle system %d on obj %d", e.particle_system_count, n);
  const Object& o = e.objects[static_cast<std::size_t>(n)];
  if (o.vertices.empty()) {
    debug_log(e.log, "particle system on obj %d has no vertex: no particles", n);
    return;
  }
  ParticleSystem s;
  s.object = n;
  s.accept_random = accept_random;
  s.texture_slot = load_texture(e, texture_name);
  s.depth_test = o.particle_test;
  s.blend = blend;
  s.end_colour = parameters.end_colour;
  s.start_colour = parameters.start_colour;
  s.count = std::clamp(parameters.count, 0, kMaxParticlesPerSystem);
  if (s.count != parameters.count)
    debug_log(e.log, "particle count %d on obj %d limited to %d", parameters.count, n, s.count);
  s.size = parameters.size;
  // A life below one frame has no length to draw from.
  s.life = std::max(parameters.life, 1);
  s.velocity = parameters.velocity;
  s.acceleration = parameters.acceleration;
  s.spread = parameters.spread;
  s.particles.resize(static_cast<std::size_t>(s.count));
  for (Particle& p : s.particles) birth_particle(e, s, o.vertices[0], p);
  e.particle_systems.push_back(std::move(s));
  ++e.particle_system_count;
}

void load_lens_textures(Engine& e) {
  if (!e.flare_switch) return;
  const char* names[4] = {"LENS1", "LENS2", "LENS3", "LENS4"};
  for (int i = 0; i < 4; ++i) e.lens_slots[static_cast<std::size_t>(i)] = load_texture(e, names[i]);
}

}  // namespace kelvo
