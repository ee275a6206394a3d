// Texts on the screen: the loading screen (and, with the renderer, the
// script's texts and the statistics line).
#pragma once

#include "host/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// Clears the screen, shows `message` and presents it.
void draw_loading_screen(Engine& e, Platform& platform, const char* message);

}  // namespace kelvo
