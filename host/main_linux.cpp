// The Linux player: parses the command line, opens the SDL window and feeds
// the engine window procedure its messages until input, the window manager
// or a signal ends the run; then the engine's teardown runs in full.
#include <SDL2/SDL.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/engine_proc.h"
#include "host/player_options.h"
#include "host/sdl_platform.h"
#include "host/user_dirs_posix.h"
#include "host/settings_file.h"
#include "host/start_failure.h"
#include "media/audio.h"
#include "media/sdl_mixer_audio.h"
#include "scene/engine_state.h"

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void on_stop_signal(int signal_number) { g_stop_signal = signal_number; }

// SIGTERM (how screen-saver daemons end their programs), SIGINT and SIGHUP end
// the run through the normal teardown. No SA_RESTART: a wait is cut short.
void install_signal_handlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
}

// The stored size, for a --window run that has no --size: the window must
// exist before the engine reads the settings.
void stored_size(int& width, int& height) {
  kelvo::SettingsFile settings(kelvo::SettingsFile::default_path());
  if (!settings.open()) return;
  auto number = [&](const char* name, int& out) {
    std::optional<std::string> text = settings.read(name);
    if (!text) return;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, 10);
    if (end != text->c_str() && v >= kelvo::kMinPlayerSize && v <= kelvo::kMaxPlayerSize) out = static_cast<int>(v);
  };
  number("ResX", width);
  number("ResY", height);
}

// Without any display SDL falls back to drivers that show nothing (offscreen,
// dummy); those only count when SDL_VIDEODRIVER asks for them by name.
bool real_display_or_requested(std::string& reason) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) {
    reason = SDL_GetError();
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
  return false;
}

long send(kelvo::Engine& e, kelvo::SdlPlatform& platform, kelvo::MessageType type, int key = 0, int x = 0,
          int y = 0) {
  kelvo::WindowMessage message;
  message.type = type;
  message.key = key;
  message.x = x;
  message.y = y;
  return kelvo::engine_window_proc(e, platform, message);
}

// Hands one SDL event to the engine. False when the run must end.
bool dispatch(const SDL_Event& event, kelvo::Engine& e, kelvo::SdlPlatform& platform) {
  using kelvo::MessageType;
  switch (event.type) {
    case SDL_QUIT:
      return false;
    case SDL_WINDOWEVENT:
      return event.window.event != SDL_WINDOWEVENT_CLOSE;
    case SDL_KEYDOWN:
      // The key's character code for printable keys ('0' is 0x30).
      send(e, platform, MessageType::key_down, static_cast<int>(event.key.keysym.sym));
      break;
    case SDL_KEYUP:
      send(e, platform, MessageType::key_up, static_cast<int>(event.key.keysym.sym));
      break;
    case SDL_MOUSEMOTION: {
      auto [x, y] = platform.window_to_view(event.motion.x, event.motion.y);
      send(e, platform, MessageType::mouse_move, 0, x, y);
      break;
    }
    case SDL_MOUSEBUTTONDOWN: {
      auto [x, y] = platform.window_to_view(event.button.x, event.button.y);
      send(e, platform, MessageType::mouse_button, 0, x, y);
      break;
    }
    default:
      break;
  }
  return !platform.close_requested();
}

void run_loop(kelvo::Engine& e, kelvo::SdlPlatform& platform, const kelvo::FramePacing& pacing) {
  // Paced by a timer (one frame per display refresh unless --fps says
  // otherwise): no headless display honours the swap interval, and a frame
  // that draws nothing must not spin a core. --fps 0 has no timer: frames
  // follow each other as fast as they are drawn.
  const Uint64 frequency = SDL_GetPerformanceFrequency();
  Uint64 period = 0;
  if (pacing.frames_per_second > 0) {
    const double ticks = static_cast<double>(frequency) / pacing.frames_per_second;
    period = ticks < 1.0 ? 1 : static_cast<Uint64>(ticks);
  }
  Uint64 next_frame = SDL_GetPerformanceCounter();

  while (!g_stop_signal && !platform.close_requested()) {
    SDL_Event event;
    bool running = true;
    while (running && SDL_PollEvent(&event)) running = dispatch(event, e, platform);
    if (!running || g_stop_signal || platform.close_requested()) break;

    const Uint64 now = SDL_GetPerformanceCounter();
    if (period > 0 && now < next_frame) {
      const Uint64 wait_ms = ((next_frame - now) * 1000 + frequency - 1) / frequency;
      SDL_WaitEventTimeout(nullptr, static_cast<int>(wait_ms));
      continue;
    }
    send(e, platform, kelvo::MessageType::paint);
    next_frame += period;
    if (next_frame < now) next_frame = now + period;  // fell behind: do not catch up
  }
}

// Replaces this process with kelvo-render from the player's own directory,
// passing the arguments on. Returns only on failure, with the exit status.
int exec_renderer(int argc, char** argv) {
  const std::string renderer = kelvo::executable_directory() + "kelvo-render";
  if (::access(renderer.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "kelvo: --render needs the program kelvo-render beside kelvo (%s): %s\n", renderer.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::vector<char*> args;
  args.push_back(const_cast<char*>(renderer.c_str()));
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  ::execv(renderer.c_str(), args.data());
  std::fprintf(stderr, "kelvo: cannot start %s: %s\n", renderer.c_str(), std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::PlayerOptions options;
  std::string error;
  if (!kelvo::parse_player_options(argc, argv, options, error)) {
    std::fprintf(stderr, "kelvo: %s\nTry 'kelvo --help' for the options.\n", error.c_str());
    return kelvo::kUsageExitCode;
  }
  if (options.help) {
    std::fputs(kelvo::player_usage("kelvo").c_str(), stdout);
    return 0;
  }

  // Offscreen frames are drawn by a program of its own, which links OSMesa
  // instead of libGL; it takes the same arguments.
  if (options.render_frames > 0) return exec_renderer(argc, argv);
  if (!kelvo::check_player_inputs(options, error)) {
    std::fprintf(stderr, "kelvo: %s\n", error.c_str());
    return 1;
  }

  install_signal_handlers();
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A screen saver must let the display sleep.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");

  auto engine = std::make_unique<kelvo::Engine>();
  kelvo::Engine& e = *engine;
  e.overrides.package_file = options.package_file;
  e.overrides.data_dir = options.data_dir;

  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "kelvo: no display available (%s)\n", SDL_GetError());
    return 1;
  }
  if (!real_display_or_requested(error)) {
    std::fprintf(stderr, "kelvo: no display available (%s)\n", error.c_str());
    SDL_Quit();
    return 1;
  }

  int exit_code = 0;
  {
    kelvo::SdlPlatform platform;
    platform.set_size_override(options.width, options.height);

    kelvo::open_log_from_environment(e.log, [&] { return platform.debug_log_path(); }, "kelvo");

    int width = e.ResX, height = e.ResY;
    if (options.width > 0) {
      width = options.width;
      height = options.height;
    } else if (options.window) {
      stored_size(width, height);
    }
    if (!platform.open_window(options.window, width, height, error)) {
      std::fprintf(stderr, "kelvo: no display available (%s)\n", error.c_str());
      e.log.close();
      SDL_Quit();
      return 1;
    }

    // Songs and sounds play through SDL_mixer; it opens the audio device on
    // the first one.
    kelvo::use_sdl_mixer_audio();

    send(e, platform, kelvo::MessageType::create);
    if (e.exit_code >= 0) {
      exit_code = e.exit_code;
    } else {
      const kelvo::FramePacing pacing = kelvo::frame_pacing(options, platform.refresh_rate());
      // The GL context is current here; the platform asked for vsync.
      if (!pacing.vsync) SDL_GL_SetSwapInterval(0);
      run_loop(e, platform, pacing);
    }
    send(e, platform, kelvo::MessageType::destroy);
    exit_code = kelvo::run_exit_status(e);  // non-zero after a failed start-up
    // The teardown stopped the song; a sound may still play. The output goes
    // before SDL shuts down.
    kelvo::close_audio(e);
    if (g_stop_signal) kelvo::debug_log(e.log, "ended by signal %d", static_cast<int>(g_stop_signal));
    e.log.close();
  }  // the platform goes: the GL context, the window, the work directory
  SDL_Quit();
  return exit_code;
}
