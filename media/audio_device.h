// Inside the media layer: the engine's sound output and the lock that guards
// every use of it. Only media/*.cpp include this.
#pragma once

#include <memory>
#include <mutex>

#include "media/audio.h"

namespace kelvo {

class AudioDevice {
 public:
  // Null when no output exists (none registered, or it would not open).
  std::unique_ptr<AudioBackend> backend;
};

// The one lock of all media calls, in every engine of the process (sound
// libraries keep process-wide state).
std::mutex& media_mutex();

// The engine's open output, opening it on first use; null when there is none.
// The caller holds media_mutex().
AudioBackend* open_audio(Engine& e);
// The engine's output if it is open, without opening it. The caller holds
// media_mutex().
AudioBackend* opened_audio(Engine& e);

}  // namespace kelvo
