// Halos and lens flares: screen-facing textured squares over the finished
// scene, anchored at an object's first vertex (its eye position this frame)
// and coloured with its first face's colour. Drawn under the additive state.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// One square of half-size `h` centred on (x, y) at depth z, textured with
// `slot`, in the current colour. Its corners run clockwise on screen.
void draw_billboard(const Engine& e, float x, float y, float z, float h, int slot);

// The halo of every visible object with a `halo_dim`, advancing its animation
// in the frames in which its face textures advance.
void draw_halos(Engine& e);

// The eight-square flare of every visible object with a `flare_dim`.
void draw_lens_flares(const Engine& e);

}  // namespace kelvo
