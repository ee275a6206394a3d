// Particle systems: one step of every particle and its drawing, in one pass.
// A particle whose life has run out is born again at its emitter's first
// vertex; living particles move in world space by their velocity (which
// grows by the system's acceleration each step) plus the jitter of their
// life, and shift colour toward the end colour.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Advances and draws every particle system, under the additive state; sets the
// depth test and blend function per system. Particles of a hidden emitter
// still move but are not drawn.
void draw_particles(Engine& e);

// A new life for `p` at `emitter`: its length (the system's life L to 2L - 1
// frames, drawn first), colour and colour step, position, velocity and
// jitter (drawn x, y, z).
void rebirth_particle(Engine& e, const ParticleSystem& s, const Vertex& emitter, Particle& p);

}  // namespace kelvo
