// The faces of one object in their passes: chroma key, first and second bump,
// main (textured or coloured, with scrolling and animation), environment map
// and mask, in that order per face. Each face and pass is its own
// glBegin/glEnd block.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Draws every face of `o` whose `visible` is set, in array order. Advances the
// faces' texture scrolling and animation. Expects the object's eye transform,
// visibility and colours of this frame and its texture countdown already
// counted.
void draw_object_faces(const Engine& e, Object& o);

// The texture offset of the second bump pass for a face whose corner 0 is
// `v`: the direction (in eye space, x and y) from `v` toward the first
// light's corner 0 as the light update copied it, times `level`. 0, 0 without
// a light or when the two points meet.
struct TexOffset {
  float s = 0, t = 0;
};
TexOffset bump_offset(const Engine& e, const Vertex& v, float level);

}  // namespace kelvo
