// The scene description file: header keys, then one object per line.
#pragma once

#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Reads work directory + name + ".TXT" into the engine state.
void load_scene(Engine& e, const std::string& name);

}  // namespace kelvo
