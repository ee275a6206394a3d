#include "host/x11_foreign_window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kelvo::x11 {

namespace {

std::atomic<int> g_errors{0};
char g_first_error[160];

int count_error(Display* display, XErrorEvent* error) {
  if (g_errors.fetch_add(1, std::memory_order_relaxed) == 0) {
    char text[96] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::snprintf(g_first_error, sizeof g_first_error, "%s (request %d.%d, resource 0x%lx)", text,
                  error->request_code, error->minor_code, error->resourceid);
  }
  return 0;
}

bool parse_id(const char* text, std::uint64_t& id) {
  if (!text || !*text || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 0);  // decimal, or 0x hexadecimal
  if (errno != 0 || *end != '\0') return false;
  id = v;
  return true;
}

// The window's attributes, or false when it is not a window (asked with
// errors counted aside, so nothing is reported).
bool attributes_of(Display* display, std::uint64_t id, XWindowAttributes& attributes) {
  if (id == 0 || id > 0x1FFFFFFFu) return false;  // X resource ids have 29 bits
  XErrorHandler previous = XSetErrorHandler(count_error);
  const int before = g_errors.load();
  const bool ok = XGetWindowAttributes(display, static_cast<Window>(id), &attributes) != 0;
  XSync(display, False);
  const bool failed = g_errors.load() != before;
  g_errors.store(before);
  XSetErrorHandler(previous);
  return ok && !failed;
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
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    error = "cannot open the X display";
    return std::nullopt;
  }
  const std::uint64_t root = DefaultRootWindow(display);
  XCloseDisplay(display);
  return root;
}

void install_error_handler() { XSetErrorHandler(count_error); }

int errors_seen() { return g_errors.load(std::memory_order_relaxed); }

std::string first_error() { return g_first_error; }

std::unique_ptr<ForeignWindow> ForeignWindow::open(std::uint64_t target, std::string& error) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    error = "cannot open the X display";
    return nullptr;
  }
  XWindowAttributes attributes;
  if (!attributes_of(display, target, attributes)) {
    XCloseDisplay(display);
    error = "there is no window " + std::to_string(target);
    return nullptr;
  }
  std::unique_ptr<ForeignWindow> window(new ForeignWindow(display, target));
  XSelectInput(display, static_cast<Window>(target), StructureNotifyMask);

  Screen* screen = attributes.screen;
  if (attributes.visual != DefaultVisualOfScreen(screen)) {
    XSetWindowAttributes set;
    set.background_pixel = BlackPixelOfScreen(screen);
    set.border_pixel = 0;
    set.colormap = DefaultColormapOfScreen(screen);
    const Window child = XCreateWindow(display, static_cast<Window>(target), 0, 0,
                                       static_cast<unsigned>(attributes.width), static_cast<unsigned>(attributes.height),
                                       0, DefaultDepthOfScreen(screen), InputOutput, DefaultVisualOfScreen(screen),
                                       CWBackPixel | CWBorderPixel | CWColormap, &set);
    XMapWindow(display, child);
    window->child_ = child;
  }
  XSync(display, False);
  return window;
}

ForeignWindow::~ForeignWindow() {
  if (child_ && !destroyed_) XDestroyWindow(display_, static_cast<Window>(child_));
  XCloseDisplay(display_);
}

bool ForeignWindow::destroyed() {
  while (!destroyed_ && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.xany.window != static_cast<Window>(target_)) continue;
    if (event.type == DestroyNotify && event.xdestroywindow.window == static_cast<Window>(target_)) {
      destroyed_ = true;  // our child went with it
    } else if (event.type == ConfigureNotify && child_) {
      XResizeWindow(display_, static_cast<Window>(child_), static_cast<unsigned>(event.xconfigure.width),
                    static_cast<unsigned>(event.xconfigure.height));
      XFlush(display_);
    }
  }
  return destroyed_;
}

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
  return true;
}

}  // namespace kelvo::x11
