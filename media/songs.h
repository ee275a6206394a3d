// Songs (MIDI) and sounds (WAV).
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Stops the song that is playing, if any.
void stop_song(Engine& e);

}  // namespace kelvo
