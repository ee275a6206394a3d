// Starting SDL's video on a display a person can see, for the player and the
// settings dialog alike.
#pragma once

#include <string>

namespace kelvo {

// SDL_Init(SDL_INIT_VIDEO), refusing the drivers that show nothing (offscreen,
// dummy) unless SDL_VIDEODRIVER asks for them by name: without any display
// SDL falls back to them, and a window nobody can see would wait for ever.
// False with the reason, SDL shut down again.
bool start_sdl_video(std::string& reason);

}  // namespace kelvo
