// The X11 side of drawing into a window another program made: the window a
// daemon names, the events the player must see on it, and X errors about a
// window that has gone. Only host/ platform files include this.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct SDL_Window;
union SDL_Event;

namespace kelvo::x11 {

// The window --root draws into: XSCREENSAVER_WINDOW (decimal, or hexadecimal
// with 0x) when it is set, else the root window of the default screen.
// nullopt with `error` when the variable is malformed or there is no display.
std::optional<std::uint64_t> root_target_window(std::string& error);

// Whether `id` names a window on the display; false with `error` otherwise.
bool window_exists(std::uint64_t id, std::string& error);

// From here on X errors are counted, not fatal: Xlib's default handler (and
// SDL's) would end the process when the window someone else owns goes away
// while a frame is being drawn into it.
void install_error_handler();
// The X errors seen since install_error_handler.
int errors_seen();

// Asks the X server, on SDL's connection, for the window's size changes and
// destruction, and for its key presses when `keys` is set. False when SDL
// does not say which X window it is.
bool watch_window(SDL_Window* window, bool keys);

// Whether an SDL_SYSWMEVENT reports the destruction of `window`.
bool window_destroyed(const SDL_Event& event, std::uint64_t window);

}  // namespace kelvo::x11
