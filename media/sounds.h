// Short sounds (WAV) that the script plays by name. One sound plays at a time;
// the next sound command stops it.
//
// Called on the script thread only (the media lock makes any thread safe).
#pragma once

#include <cstdint>
#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Plays the WAV file `path` in the background, once or (loop) until the next
// sound command stops it, replacing the sound that plays. Returns 1 when it
// plays; 0 with `Sounds` 0, for a file that does not exist or lies outside the
// work directory, without a sound output, or when the file is no playable
// sound.
std::int32_t play_sound(Engine& e, const std::string& path, bool loop);
// Stops the sound that plays, if any.
void stop_sound(Engine& e);

}  // namespace kelvo
