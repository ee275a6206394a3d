// Planar shadows: each light squashes a shadow-casting object onto the
// horizontal plane y = `shadow cast` and draws it there in black with the
// object's shadow darkness as alpha.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// After the object's faces, when its `shadow_cast` is not 0. Texturing is
// turned off. For each light the object's eye positions are replaced by the
// shadow points (moved by the camera position, not yet turned), so whatever
// reads them later this frame (halos, flares) sees the last light's shadow.
// The shadow is drawn only for a light more than 10 units above the plane.
// A light at height 0 gives no shadow point to project to: it is passed over.
void draw_shadows(const Engine& e, Object& o);

}  // namespace kelvo
