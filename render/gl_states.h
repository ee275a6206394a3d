// The two named GL states the passes switch between.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Depth test on, fog as the Fog switch says, blending by source alpha.
void set_normal_state(const Engine& e);

}  // namespace kelvo
