// The sound output on Windows: songs through the MCI sequencer device, sounds
// through the system's sound player (PlaySoundA). Lives in its own library
// (kelvo_media_mci), linked by kelvo.scr.
#pragma once

#include <memory>

#include "media/audio.h"

namespace kelvo {

// A new MCI output; the sequencer tells `notify_window` (a window handle)
// when a song has played to its end.
std::unique_ptr<AudioBackend> make_mci_audio(void* notify_window);

}  // namespace kelvo
