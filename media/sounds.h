// Short sounds (WAV) that the script plays by name. One sound plays at a time;
// the next sound command stops it.
//
// Called on the script thread only.
#pragma once

#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Plays the WAV file `path` in the background, once or (loop) until the next
// sound command stops it.
void play_sound(Engine& e, const std::string& path, bool loop);
// Stops the sound that plays, if any.
void stop_sound(Engine& e);

}  // namespace kelvo
