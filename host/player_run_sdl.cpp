#include "host/player_run_sdl.h"

#include <SDL2/SDL.h>

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "host/engine_proc.h"
#include "host/mode_dispatch.h"
#include "host/sdl_platform.h"
#include "host/sdl_video.h"
#include "host/start_failure.h"
#include "host/settings_file.h"
#include "host/x11_foreign_window.h"
#include "media/audio.h"
#include "media/sdl_mixer_audio.h"
#include "scene/engine_state.h"

namespace kelvo {

namespace {

volatile std::sig_atomic_t g_stop_signal = 0;
volatile std::sig_atomic_t g_front_requested = 0;

extern "C" void on_stop_signal(int signal_number) { g_stop_signal = signal_number; }
extern "C" void on_front_signal(int) { g_front_requested = 1; }

// The stored size, for a --window run that has no --size: the window must
// exist before the engine reads the settings.
void stored_size(int& width, int& height) {
  SettingsFile settings(SettingsFile::default_path());
  if (!settings.open()) return;
  auto number = [&](const char* name, int& out) {
    std::optional<std::string> text = settings.read(name);
    if (!text) return;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, 10);
    if (end != text->c_str() && v >= kMinPlayerSize && v <= kMaxPlayerSize) out = static_cast<int>(v);
  };
  number("ResX", width);
  number("ResY", height);
}

long send(Engine& e, SdlPlatform& platform, MessageType type, int key = 0, int x = 0, int y = 0) {
  WindowMessage message;
  message.type = type;
  message.key = key;
  message.x = x;
  message.y = y;
  return engine_window_proc(e, platform, message);
}

// Hands one SDL event to the engine. False when the run must end.
bool dispatch(const SDL_Event& event, Engine& e, SdlPlatform& platform) {
  switch (event.type) {
    case SDL_QUIT:
      return false;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) return false;
      if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        send(e, platform, MessageType::resize, 0, event.window.data1, event.window.data2);
      break;
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

void run_loop(Engine& e, SdlPlatform& platform, const FramePacing& pacing, x11::ForeignWindow* foreign) {
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
    // Someone else's window went away: the run ends with it, cleanly.
    if (foreign && foreign->destroyed()) {
      debug_log(e.log, "the window was destroyed");
      break;
    }
    if (g_front_requested) {
      g_front_requested = 0;
      platform.bring_to_front();
    }

    const Uint64 now = SDL_GetPerformanceCounter();
    if (period > 0 && now < next_frame) {
      const Uint64 wait_ms = ((next_frame - now) * 1000 + frequency - 1) / frequency;
      // A plain sleep, not SDL_WaitEventTimeout: SDL wakes such a wait by
      // sending an event to the window over a second X connection, and when
      // input ends the run at once that event can reach the server after the
      // window is gone; the error then surfaces as SDL closes that connection,
      // with Xlib's fatal handler back in place, and the process exits 1.
      SDL_Delay(static_cast<Uint32>(wait_ms));
      continue;
    }
    send(e, platform, MessageType::paint);
    next_frame += period;
    if (next_frame < now) next_frame = now + period;  // fell behind: do not catch up
  }
}

// The window someone else made that this run draws into, if any; false with
// the exit status in `status` when it cannot be used.
bool open_foreign(const PlayerOptions& options, std::unique_ptr<x11::ForeignWindow>& foreign, int& status) {
  std::string error;
  std::optional<std::uint64_t> target = options.window_id;
  if (!target && options.root) {
    target = x11::root_target_window(error);
    if (!target) {
      std::fprintf(stderr, "kelvo: --root: %s\n", error.c_str());
      status = 1;
      return false;
    }
  }
  if (!target) return true;
  foreign = x11::ForeignWindow::open(*target, error);
  if (!foreign) {
    // The dispatch's answer to a preview window that is not a window.
    std::fprintf(stderr, "kelvo: %s to draw into\n", error.c_str());
    status = kModeRefusedExit;
    return false;
  }
  return true;
}

}  // namespace

void install_player_signal_handlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a wait is cut short
  action.sa_handler = on_stop_signal;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
  action.sa_handler = on_front_signal;
  sigaction(SIGUSR1, &action, nullptr);
}

int run_player(const PlayerOptions& options) {
  std::unique_ptr<x11::ForeignWindow> foreign;
  int status = 0;
  if (!open_foreign(options, foreign, status)) return status;

  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A screen saver must let the display sleep.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");

  auto engine = std::make_unique<Engine>();
  Engine& e = *engine;
  e.overrides.package_file = options.package_file;
  e.overrides.data_dir = options.data_dir;
  e.overrides.show_frame_rate = options.show_frame_rate();

  std::string error;
  if (!start_sdl_video(error)) {
    std::fprintf(stderr, "kelvo: no display available (%s)\n", error.c_str());
    return 1;
  }
  // Xlib's default handler (SDL passes errors on to it) ends the process on
  // any X error, before the teardown; a window that went away under a request
  // is no reason to leave files behind.
  if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) x11::install_error_handler();

  int exit_code = 0;
  {
    SdlPlatform platform;
    platform.set_overrides(options.settings);

    open_log_from_environment(e.log, [&] { return platform.debug_log_path(); }, "kelvo");

    bool opened;
    if (foreign) {
      const bool preview = options.mode == SaverMode::preview;
      opened = platform.open_foreign_window(foreign->drawable(), preview, error);
      // Key presses reach a preview only when it draws into the window itself.
      if (opened && !x11::watch_window(platform.window(), preview && !foreign->has_child()))
        std::fprintf(stderr, "kelvo: cannot follow the size of window %llu\n",
                     static_cast<unsigned long long>(foreign->drawable()));
    } else {
      int width = e.ResX, height = e.ResY;
      if (options.width > 0) {
        width = options.width;
        height = options.height;
      } else if (options.window) {
        stored_size(width, height);
      }
      opened = platform.open_window(options.window, width, height, error);
    }
    if (!opened) {
      std::fprintf(stderr, "kelvo: no display available (%s)\n", error.c_str());
      e.log.close();
      SDL_Quit();
      return 1;
    }

    // Songs and sounds play through SDL_mixer; it opens the audio device on
    // the first one.
    use_sdl_mixer_audio();

    send(e, platform, MessageType::create);
    if (e.exit_code < 0) {
      // A failed start-up keeps the screen black until input ends the run;
      // it draws nothing, so it keeps the default pace whatever --fps says.
      const FramePacing pacing =
          e.start_failure.empty() ? frame_pacing(options, platform.refresh_rate()) : FramePacing{};
      // The GL context is current here; the platform asked for vsync.
      if (!pacing.vsync) SDL_GL_SetSwapInterval(0);
      run_loop(e, platform, pacing, foreign.get());
    }
    send(e, platform, MessageType::destroy);
    exit_code = run_exit_status(e);  // non-zero after a failed start-up
    // The teardown stopped the song; a sound may still play. The output goes
    // before SDL shuts down.
    close_audio(e);
    if (g_stop_signal) debug_log(e.log, "ended by signal %d", static_cast<int>(g_stop_signal));
    if (x11::errors_seen() > 0)
      debug_log(e.log, "X errors passed over: %d, the first: %s", x11::errors_seen(), x11::first_error().c_str());
    e.log.close();
  }  // the platform goes: the GL context, the window, the work directory
  SDL_Quit();
  return exit_code;
}

}  // namespace kelvo
