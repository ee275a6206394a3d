// Draws and presents one frame of the scene: the camera transform, lighting
// and visibility, every visible object's faces in their passes (with their
// shadows), then over the finished scene the logo, the script's texts, the
// statistics line, halos, lens flares and particles.
#pragma once

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// Draws nothing (and presents nothing) while gl_ready is clear.
void render_frame(Engine& e, Platform& platform);

// One object: eye transform, lighting and visibility, the fog and ghoul
// states around its faces, the faces in their passes, its shadows.
void draw_object(Engine& e, Object& o);

// The logo in the lower left corner, when it is loaded and switched on.
void draw_logo(const Engine& e);

}  // namespace kelvo
