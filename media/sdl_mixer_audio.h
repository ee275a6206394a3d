// The sound output on SDL2_mixer: songs through FluidSynth with a General
// MIDI soundfont, sounds on the mixer's channels. Lives in its own library
// (kelvo_media_sdl) so that programs without SDL can use the engine.
#pragma once

#include <memory>
#include <string>

#include "media/audio.h"

namespace kelvo {

// A new, unopened SDL_mixer output. SDL_mixer keeps process-wide state: the
// first output to open initialises SDL's audio and opens the mixer, the last
// one to go closes them; a song started by one output replaces another's.
std::unique_ptr<AudioBackend> make_sdl_mixer_audio();

// Makes SDL_mixer the sound output of engines that open theirs from now on.
void use_sdl_mixer_audio();

// The soundfont songs are played with: the TimGM6mb set found when the
// program was built, else the first soundfont in /usr/share/sounds/sf2, else
// /usr/share/sounds/sf3/default-GM.sf3; empty when there is none.
std::string system_soundfont();

}  // namespace kelvo
