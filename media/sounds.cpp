#include "media/sounds.h"

namespace kelvo {

// Playback comes with the media layer; until then sounds are only noted.
void play_sound(Engine& e, const std::string& path, bool loop) {
  debug_log(e.log, "sound %s%s", path.c_str(), loop ? " (loop)" : "");
}

void stop_sound(Engine& e) { debug_log(e.log, "sound stop"); }

}  // namespace kelvo
