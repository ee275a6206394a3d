// The scene description file "NAME.TXT": header keys (KEY=value words) up to
// the word OBJECTS, then one object per line with its placement and its own
// motion. After the objects the loader rescales colours and texture
// coordinates, switches off the features no object uses, resets the colours
// and starts the scene's song.
#pragma once

#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Reads work directory + name + ".TXT" into the engine state. 0 when the
// file cannot be opened or is not a scene file (nothing is read), else 1.
int load_scene(Engine& e, const std::string& name);

// Every face visible again, its corner and vertex colours set to the face
// colour; then the normal GL state (when a context is ready).
void colour_reset(Engine& e);

}  // namespace kelvo
