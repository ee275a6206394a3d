#include "media/songs.h"

namespace kelvo {

// Playback comes with the media layer.
void stop_song(Engine& e) { e.song_playing = 0; }

}  // namespace kelvo
