// Songs: one MIDI file at a time, played once through the sound output
// (media/audio.h). The scene loader starts the scene's song, the script starts
// songs by name, the teardown stops the song.
//
// `song_playing` is 1 from a successful start until the song is stopped, also
// after the song has played to its end (it stays open; nothing restarts it).
#pragma once

#include <cstdint>
#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Starts the MIDI file `path` as the song, closing the song that was open
// first. Returns 1 when the song plays, 0 when it does not: in preview, with
// `Sounds` 0 (logged), for a file that does not exist or lies outside the work
// directory, without a sound output, or when the file is no playable song.
std::int32_t start_song(Engine& e, const std::string& path);
// Closes the open song, if any; `song_playing` becomes 0.
void stop_song(Engine& e);

}  // namespace kelvo
