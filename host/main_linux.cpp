// The Linux player's entry: reads the command line, picks the mode (play,
// preview, settings dialog, refused), keeps full screen to one player per
// user, and hands the run to the SDL player (host/player_run_sdl.cpp).
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings_dialog.h"
#include "host/full_screen_lock_posix.h"
#include "host/mode_dispatch.h"
#include "host/player_options.h"
#include "host/player_run_sdl.h"
#include "host/user_dirs_posix.h"
#include "host/work_dir.h"

namespace {

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

// True when this start may go on full screen; false when another player
// already shows it, which is asked to come to the front. Without a usable
// runtime directory nothing is locked and the start goes on.
bool first_full_screen(kelvo::FullScreenLock& lock) {
  pid_t holder = 0;
  std::string error;
  switch (lock.acquire(kelvo::InstanceWorkDir::base_path(), holder, error)) {
    case kelvo::FullScreenLock::Result::acquired:
      return true;
    case kelvo::FullScreenLock::Result::held:
      if (holder > 0) ::kill(holder, SIGUSR1);
      return false;
    case kelvo::FullScreenLock::Result::unavailable:
      std::fprintf(stderr, "kelvo: cannot keep full screen to one player: %s\n", error.c_str());
      return true;
  }
  return true;
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

  switch (options.mode) {
    case kelvo::SaverMode::invalid:
      if (options.window_id)
        std::fprintf(stderr, "kelvo: a preview needs the number of a window: /p ID\n");
      else
        std::fprintf(stderr, "kelvo: '%s' is no screen-saver mode (/s, /p ID, /c, /c:ID); see 'kelvo --help'\n",
                     argc > 1 ? argv[1] : "");
      return kelvo::kModeRefusedExit;
    case kelvo::SaverMode::change_password:
      std::fprintf(stderr,
                   "kelvo: Kelvo keeps no password; passwords belong to the screen locker "
                   "(XScreenSaver's lock, or your desktop's)\n");
      return kelvo::kModeRefusedExit;
    case kelvo::SaverMode::config:
      return kelvo::run_settings_dialog(kelvo::SettingsDialogRequest{options.config_parent});
    case kelvo::SaverMode::full_screen:
    case kelvo::SaverMode::preview:
      break;
  }

  // Offscreen frames are drawn by a program of its own, which links OSMesa
  // instead of libGL; it takes the same arguments.
  if (options.render_frames > 0) return exec_renderer(argc, argv);
  if (!kelvo::check_player_inputs(options, error)) {
    std::fprintf(stderr, "kelvo: %s\n", error.c_str());
    return 1;
  }
  if (!kelvo::check_module(options, kelvo::package_directories(), error)) {
    std::fprintf(stderr, "kelvo: %s\n", error.c_str());
    return kelvo::kUsageExitCode;
  }

  kelvo::install_player_signal_handlers();
  kelvo::FullScreenLock lock;
  if (options.own_full_screen() && !first_full_screen(lock)) return 0;
  return kelvo::run_player(options);
}
