// Lighting and face visibility, on the processor, per face.
//
// A light is the first face of a light-source object; it shines along that
// face's normal. Faces are lit by how squarely they face a light (the light
// face looking at them head-on gives full light), never above their own
// colour; with `phong` the vertices take the brightest colour of the lit
// faces around them and GL interpolates.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Copies each light's corners 0..2 (with last frame's eye positions) and
// recomputes its normal and the normal's length. Once per frame, first.
void light_update(Engine& e);

// 1 when face `i` of `o` faces the camera by its eye positions (always with
// culling off; a face seen edge-on counts as facing), else 0.
int face_visible(const Object& o, int i);

// Sets every face's `visible`; unless the lights are off or the object is
// autolighted, also lights each visible face into its corner colours (or,
// with `phong`, into the vertex colours). After the object's eye transform.
void light_object(const Engine& e, Object& o);

// How much light a face with normal `n` (length `n_length`) gets from `light`
// with shading variant `shader`: 0 .. 1.
float light_factor(const Vec3& n, float n_length, const Light& light, int shader);

}  // namespace kelvo
