// Lights, particle emitters and the lens-flare textures, set up while the
// scene loads.
#pragma once

#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Adds a light for object `n` (its first face is the light). An object
// without faces gets none.
void setup_light(Engine& e, int n);

// Adds a particle system for object `n`, born at its first vertex. An object
// without vertices gets none.
void setup_particle_system(Engine& e, int n, const ParticleParameters& parameters, const std::string& texture_name,
                           int blend, int accept_random);

// Loads "LENS1" to "LENS4" into the lens slots while flares are on.
void load_lens_textures(Engine& e);

// Gives a particle a new life at its emitter.
void birth_particle(Engine& e, const ParticleSystem& system, const Vertex& emitter, Particle& particle);

inline constexpr int kMaxParticlesPerSystem = 100000;

}  // namespace kelvo
