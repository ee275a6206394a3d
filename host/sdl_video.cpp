#include "host/sdl_video.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

namespace kelvo {

bool start_sdl_video(std::string& reason) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    reason = SDL_GetError();
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) {
    reason = SDL_GetError();
    SDL_Quit();
    return false;
  }
  if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
  const char* requested = std::getenv("SDL_VIDEODRIVER");
  if (requested && std::strstr(requested, driver)) return true;
  const char* x_display = std::getenv("DISPLAY");
  if (x_display && *x_display)
    reason = std::string("cannot open display ") + x_display;
  else
    reason = "DISPLAY is not set";
  reason += std::string("; only SDL's ") + driver + " video driver started";
  SDL_Quit();
  return false;
}

}  // namespace kelvo
