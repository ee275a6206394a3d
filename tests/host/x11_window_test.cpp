// Window tests of the player under a virtual X display (run through
// with_xvfb.sh), with pixels read back from the X server.
//
//   x11_window_test preview KELVO
//       Makes a window of its own, runs `KELVO --window-id` into it and
//       checks: the scene fills the window; after a resize it fills the new
//       size; a key press does not end the run; destroying the window ends
//       the player with status 0 within 2 s and nothing left in its work
//       directory. The player gets XDG folders of its own.
//   x11_window_test wait-scene WINDOW SECONDS
//       Waits until WINDOW (an id, or "root") shows a scene, not black and
//       not a loading screen; prints the seconds it took. Exit 1 on timeout.
//   x11_window_test changing WINDOW
//       Exit 0 when WINDOW's picture changes within 2 s (it is being drawn).
//   x11_window_test preview-cpu KELVO SECONDS
//       Prints the player's processor use while it previews the demo in a
//       200x150 window (a figure, not a check).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int g_failures = 0;

void check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  if (!ok) ++g_failures;
}

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB, rows from the top

  // Share of the pixels in the rectangle whose brightest channel is above a
  // faint glow.
  double lit(int x0, int y0, int x1, int y1) const {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width), y1 = std::min(y1, height);
    if (x1 <= x0 || y1 <= y0) return 0.0;
    long count = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
        if (((p >> 16) & 0xff) > 8 || ((p >> 8) & 0xff) > 8 || (p & 0xff) > 8) ++count;
      }
    return static_cast<double>(count) / ((x1 - x0) * static_cast<double>(y1 - y0));
  }
  std::size_t colours() const { return colours(0, 0, width, height); }
  std::size_t colours(int x0, int y0, int x1, int y1) const {
    std::set<std::uint32_t> seen;
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) seen.insert(pixels[static_cast<std::size_t>(y) * width + x]);
    return seen.size();
  }
  // A scene, not black and not the loading screen's line of text: every
  // quarter mostly lit, with many colours.
  bool scene() const {
    const int w2 = width / 2, h2 = height / 2;
    return width > 0 && lit(0, 0, w2, h2) > 0.5 && lit(w2, 0, width, h2) > 0.5 && lit(0, h2, w2, height) > 0.5 &&
           lit(w2, h2, width, height) > 0.5 && colours() > 32;
  }
};

// The window's pixels as the X server has them (empty if it is gone).
Picture grab(Display* display, Window window) {
  Picture picture;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return picture;
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!image) return picture;
  picture.width = attributes.width;
  picture.height = attributes.height;
  picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      picture.pixels[static_cast<std::size_t>(y) * picture.width + x] =
          static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xffffff);
  XDestroyImage(image);
  return picture;
}

int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// Waits until the window shows a scene; the seconds it took, or nothing.
std::optional<double> wait_for_scene(Display* display, Window window, double limit) {
  const Clock::time_point start = Clock::now();
  while (seconds_since(start) < limit) {
    if (grab(display, window).scene()) return seconds_since(start);
    sleep_ms(50);
  }
  return std::nullopt;
}

// Whether the window's picture changes within 2 s (it is being drawn).
bool changing(Display* display, Window window) {
  const Picture first = grab(display, window);
  for (int i = 0; i < 40; ++i, sleep_ms(50))
    if (grab(display, window).pixels != first.pixels) return true;
  return false;
}

pid_t start_player(const std::string& kelvo, const std::string& work, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  for (const char* dir : {"run", "config", "state", "data"}) {
    const std::string path = work + "/" + dir;
    mkdir(path.c_str(), 0700);
  }
  setenv("XDG_RUNTIME_DIR", (work + "/run").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
  setenv("XDG_STATE_HOME", (work + "/state").c_str(), 1);
  setenv("XDG_DATA_HOME", (work + "/data").c_str(), 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::vector<char*> argv{const_cast<char*>(kelvo.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(kelvo.c_str(), argv.data());
  std::perror("exec");
  _exit(127);
}

// The exit status once the process has ended within `limit` seconds.
std::optional<int> wait_exit(pid_t pid, double limit, double* took = nullptr) {
  const Clock::time_point start = Clock::now();
  do {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (took) *took = seconds_since(start);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    sleep_ms(20);
  } while (seconds_since(start) < limit);
  return std::nullopt;
}

// The instance directories left in the player's runtime folder.
std::vector<std::string> leftovers(const std::string& work) {
  std::vector<std::string> names;
  if (DIR* dir = opendir((work + "/run/kelvo").c_str())) {
    while (dirent* entry = readdir(dir))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

Window make_window(Display* display, int width, int height) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, 0, BlackPixel(display, screen));
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  XEvent event;
  do XNextEvent(display, &event);
  while (event.type != MapNotify);
  return window;
}

std::string hex(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
  return text;
}

void send_key(Display* display, Window window, KeySym key) {
  for (int type : {KeyPress, KeyRelease}) {
    XEvent event{};
    event.xkey.type = type;
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.keycode = XKeysymToKeycode(display, key);
    event.xkey.same_screen = True;
    XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
  }
  XFlush(display);
}

int preview(Display* display, const std::string& kelvo, const std::string& work) {
  Window window = make_window(display, 320, 240);
  const pid_t pid = start_player(kelvo, work, {"--window-id", hex(window)});

  std::optional<double> shown = wait_for_scene(display, window, 30.0);
  check(shown.has_value(), "the scene fills the 320x240 window");

  // Grow it: the new area must show the scene too (a picture that kept its
  // size would leave the top and the right in the plain clear colour).
  XResizeWindow(display, window, 480, 360);
  XSync(display, False);
  bool followed = false;
  for (int i = 0; i < 100 && !followed; ++i, sleep_ms(50)) {
    const Picture p = grab(display, window);
    followed = p.width == 480 && p.scene() && p.lit(320, 0, 480, 360) > 0.5 && p.colours(320, 0, 480, 360) > 32 &&
               p.lit(0, 0, 480, 120) > 0.5 && p.colours(0, 0, 480, 120) > 32;
  }
  check(followed, "after a resize to 480x360 the whole window is drawn");

  send_key(display, window, XK_x);
  check(!wait_exit(pid, 1.5).has_value(), "a key press does not end the preview");
  check(changing(display, window), "the preview keeps drawing after the key");

  XDestroyWindow(display, window);
  XSync(display, False);
  double took = 0;
  std::optional<int> status = wait_exit(pid, 2.0, &took);
  check(status.has_value(), "destroying the window ends the player within 2 s");
  if (status) {
    std::printf("(ended %.2f s after the window)\n", took);
    check(*status == 0, "with status 0 (got " + std::to_string(*status) + ")");
  } else {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  const std::vector<std::string> left = leftovers(work);
  check(left.empty(), "nothing is left in its work directory" + (left.empty() ? "" : ": " + left.front()));
  return g_failures == 0 ? 0 : 1;
}

std::optional<Window> parse_window(Display* display, const char* text) {
  if (std::strcmp(text, "root") == 0) return DefaultRootWindow(display);
  char* end = nullptr;
  const unsigned long id = std::strtoul(text, &end, 0);
  if (*end != '\0' || id == 0) return std::nullopt;
  return static_cast<Window>(id);
}

// utime + stime of a process, in seconds.
double cpu_seconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0.0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int preview_cpu(Display* display, const std::string& kelvo, const std::string& work, double seconds) {
  const Window window = make_window(display, 200, 150);
  const pid_t pid = start_player(kelvo, work, {"--window-id", hex(window)});
  int result = 1;
  if (wait_for_scene(display, window, 30.0)) {
    sleep_ms(1000);  // past the loading
    const double before = cpu_seconds(pid);
    const Clock::time_point start = Clock::now();
    sleep_ms(static_cast<int>(seconds * 1000));
    const double used = cpu_seconds(pid) - before;
    std::printf("cpu %.1f%% of one core over %.1f s\n", 100.0 * used / seconds_since(start), seconds_since(start));
    result = 0;
  } else {
    std::printf("the preview never showed the scene\n");
  }
  kill(pid, SIGTERM);
  wait_exit(pid, 10.0);
  XDestroyWindow(display, window);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string command = argc > 1 ? argv[1] : "";
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "x11_window_test: no X display\n");
    return 1;
  }
  // Reading a window that has just gone is an answer, not a reason to stop.
  XSetErrorHandler(ignore_x_error);
  int result = 2;
  char work[] = "/tmp/kelvo-x11-XXXXXX";
  if ((command == "preview" || command == "preview-cpu") && !mkdtemp(work)) {
    std::perror("mkdtemp");
    return 1;
  }
  if (command == "preview" && argc == 3) {
    result = preview(display, argv[2], work);
  } else if (command == "preview-cpu" && argc == 4) {
    result = preview_cpu(display, argv[2], work, std::atof(argv[3]));
  } else if (command == "wait-scene" && argc == 4) {
    if (std::optional<Window> window = parse_window(display, argv[2])) {
      std::optional<double> took = wait_for_scene(display, *window, std::atof(argv[3]));
      if (took) std::printf("%.3f\n", *took);
      result = took ? 0 : 1;
    }
  } else if (command == "changing" && argc == 3) {
    if (std::optional<Window> window = parse_window(display, argv[2])) result = changing(display, *window) ? 0 : 1;
  }
  if (result == 2) std::fprintf(stderr, "usage: see the head of x11_window_test.cpp\n");
  if (work[std::strlen(work) - 1] != 'X') {
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
  }
  XCloseDisplay(display);
  return result;
}
