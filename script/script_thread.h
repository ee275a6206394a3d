// The scene script's own thread.
#pragma once

#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Starts the script work directory + name + ".TXT" on its own thread.
void start_script(Engine& e, const std::string& name);
// Stops the script thread; no command runs after it returns.
void stop_script(Engine& e);

}  // namespace kelvo
