#include "host/x11_foreign_window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace kelvo::x11 {

namespace {

std::atomic<int> g_errors{0};

int count_error(Display*, XErrorEvent*) {
  g_errors.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

// A private connection for questions asked before SDL has a window.
struct Connection {
  Display* display = XOpenDisplay(nullptr);
  ~Connection() {
    if (display) XCloseDisplay(display);
  }
};

bool parse_id(const char* text, std::uint64_t& id) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 0);  // decimal, or 0x hexadecimal
  if (errno != 0 || *end != '\0' || text[0] == '-' || text[0] == '+') return false;
  id = v;
  return true;
}

}  // namespace

std::optional<std::uint64_t> root_target_window(std::string& error) {
  if (const char* named = std::getenv("XSCREENSAVER_WINDOW")) {
    std::uint64_t id = 0;
    if (!parse_id(named, id) || id == 0) {
      error = std::string("XSCREENSAVER_WINDOW is not a window id: '") + named + "'";
      return std::nullopt;
    }
    return id;
  }
  Connection c;
  if (!c.display) {
    error = "cannot open the X display";
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(DefaultRootWindow(c.display));
}

bool window_exists(std::uint64_t id, std::string& error) {
  Connection c;
  if (!c.display) {
    error = "cannot open the X display";
    return false;
  }
  XErrorHandler previous = XSetErrorHandler(count_error);
  const int before = g_errors.load();
  XWindowAttributes attributes;
  const bool ok = id != 0 && id <= 0xFFFFFFFFu && XGetWindowAttributes(c.display, static_cast<Window>(id), &attributes) != 0;
  XSync(c.display, False);
  const bool failed = g_errors.load() != before;
  g_errors.store(before);
  XSetErrorHandler(previous);
  if (ok && !failed) return true;
  error = "there is no window " + std::to_string(id);
  return false;
}

void install_error_handler() { XSetErrorHandler(count_error); }

int errors_seen() { return g_errors.load(std::memory_order_relaxed); }

bool watch_window(SDL_Window* window, bool keys) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  long mask = StructureNotifyMask;
  // Never the button mask: only one client may select it, and the window's
  // owner usually has.
  if (keys) mask |= KeyPressMask | KeyReleaseMask;
  XSelectInput(info.info.x11.display, info.info.x11.window, mask);
  XFlush(info.info.x11.display);
  // Every X event reaches the loop, so a DestroyNotify can be seen.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  return true;
}

bool window_destroyed(const SDL_Event& event, std::uint64_t window) {
  if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return false;
  const XEvent& x = event.syswm.msg->msg.x11.event;
  return x.type == DestroyNotify && x.xdestroywindow.window == static_cast<Window>(window);
}

}  // namespace kelvo::x11
