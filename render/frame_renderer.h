// Draws and presents one frame of the scene.
#pragma once

#include "host/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// Draws nothing while gl_ready is clear.
void render_frame(Engine& e, Platform& platform);

}  // namespace kelvo
