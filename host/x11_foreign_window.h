// The X11 side of drawing into a window another program made (a daemon's
// saver window, a settings dialog's preview, the root window): finding it,
// watching it on a connection of our own for size changes and destruction,
// and a window of ours inside it when its visual cannot take the GL picture.
// X errors about a window that has gone are counted, not fatal. Only host/
// platform files include this.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct SDL_Window;
struct _XDisplay;

namespace kelvo::x11 {

// The window --root draws into: XSCREENSAVER_WINDOW (decimal, or hexadecimal
// with 0x) when it is set, else the root window of the default screen.
// nullopt with `error` when the variable is malformed or there is no display.
std::optional<std::uint64_t> root_target_window(std::string& error);

// From here on X errors are counted, not fatal: Xlib's default handler (and
// SDL's) would end the process when the window someone else owns goes away
// while a frame is being drawn into it.
void install_error_handler();
// The X errors seen since install_error_handler, and the first of them
// ("BadDrawable (request 152.11, resource 0x...)"), for the log.
int errors_seen();
std::string first_error();

class ForeignWindow {
 public:
  // Watches `target` on a connection of its own. A target whose visual is
  // not the screen's default (a daemon's 32-bit window, which the GL here
  // cannot draw into) gets a child window of the default visual covering
  // it, which follows its size. nullptr with `error` when `target` names no
  // window or there is no display.
  static std::unique_ptr<ForeignWindow> open(std::uint64_t target, std::string& error);
  ~ForeignWindow();
  ForeignWindow(const ForeignWindow&) = delete;
  ForeignWindow& operator=(const ForeignWindow&) = delete;

  // The window to draw into: the target, or the child made in it.
  std::uint64_t drawable() const { return child_ ? child_ : target_; }
  bool has_child() const { return child_ != 0; }

  // Reads what happened to the target; true once it has been destroyed.
  bool destroyed();

 private:
  ForeignWindow(_XDisplay* display, std::uint64_t target) : display_(display), target_(target) {}

  _XDisplay* display_;
  std::uint64_t target_;
  std::uint64_t child_ = 0;
  bool destroyed_ = false;
};

// Asks the X server, on SDL's connection, for the size changes of the window
// SDL draws into (so SDL knows its size), and for its key presses when
// `keys` is set. False when SDL does not say which X window it is.
bool watch_window(SDL_Window* window, bool keys);

}  // namespace kelvo::x11
