// Songs (MIDI) and sounds (WAV).
#pragma once

#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Starts `path` as the song (replacing one that plays).
void start_song(Engine& e, const std::string& path);
// Stops the song that is playing, if any.
void stop_song(Engine& e);

}  // namespace kelvo
