// The player's command line.
//
//   kelvo [--package FILE.pak | --data DIR | --module NAME] [--window] [--size WxH]
//         [--fps N] [setting options]
//   kelvo --render N --out DIR [--size WxH] [--package FILE.pak | --data DIR]
//   kelvo --config
//   kelvo --root | --window-id ID         (for screen-saver daemons)
//   kelvo /s | /p ID | /c[:ID] | /a       (the Windows screen-saver modes)
//
// --render draws N frames offscreen and saves them as DIR/frame0001.png ...;
// the player hands such a run to the headless renderer, kelvo-render.
//
// --fps N caps the frame rate at N frames per second (0 to 1000; 0 draws as
// fast as the machine allows, without waiting for the display). Without it the
// player draws at most one frame per display refresh. A bare -fps (what a
// daemon passes for its "show frame rate" box) shows the statistics line with
// the measured frame rate.
//
// A first argument that starts with '/', or a single dash and one of the mode
// letters (-s, -p 12, -c:34, -a), is a Windows-style mode and goes through the
// shared mode dispatch; options may follow it. Everything else is a GNU-style
// option with one or two dashes. No argument at all plays full screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/base/platform.h"
#include "host/mode_dispatch.h"
#include "host/settings_overrides.h"

namespace kelvo {

inline constexpr int kMinPlayerSize = 64;
inline constexpr int kMaxPlayerSize = 8192;
// The smallest side of an offscreen frame (--render).
inline constexpr int kMinRenderSize = 16;

struct PlayerOptions {
  // full_screen plays (in a window of its own, or in --root's window);
  // preview draws into window_id; config opens the settings dialog over
  // config_parent; change_password and invalid are refused.
  SaverMode mode = SaverMode::full_screen;
  std::string package_file;  // absolute, empty when not given
  std::string data_dir;      // absolute, empty when not given
  bool window = false;       // a normal window instead of full screen
  int width = 0, height = 0; // --size; 0 when not given
  bool help = false;
  bool root = false;                        // -root: XSCREENSAVER_WINDOW, else the root window
  bool fps = false;                         // -fps given, with or without a number
  std::optional<double> fps_value;          // its number: the frame-rate cap, 0..kMaxFps
  std::optional<std::uint64_t> window_id;   // -window-id or /p: the preview's window
  std::optional<std::uint64_t> config_parent;  // /c:ID: the dialog's parent window
  int render_frames = 0;     // --render N; 0 when not given
  std::string out_dir;       // --out, absolute; empty when not given
  // Stored settings answered differently for this run (--size, --module,
  // --sounds, --fog, --random, --colors, --speed), in the order given.
  std::vector<SettingOverride> settings;
  std::string module;        // --module, without ".pak"; empty when not given

  // A bare -fps: the statistics line with the measured frame rate.
  bool show_frame_rate() const { return fps && !fps_value; }
  // A full-screen window of the player's own (at most one runs at a time).
  bool own_full_screen() const {
    return mode == SaverMode::full_screen && !window && !root && render_frames == 0;
  }
};

inline constexpr int kMaxRenderFrames = 1000000;
inline constexpr double kMaxFps = 1000.0;
// The frame rate when the display does not tell its refresh rate.
inline constexpr int kDefaultRefreshRate = 60;

// How the player paces its frames.
struct FramePacing {
  double frames_per_second = kDefaultRefreshRate;  // the timer's rate; 0: no timer, draw back to back
  bool vsync = true;                               // wait for the display at each swap
};

// The pacing for `options` on a display refreshing `refresh_rate` times a
// second (0 when unknown): one frame per refresh by default; --fps N caps at N,
// without vsync when N is above a known refresh rate (vsync would hold the
// rate down to the refresh rate); --fps 0 neither waits nor syncs.
FramePacing frame_pacing(const PlayerOptions& options, int refresh_rate);

// Parses the arguments after the program name. `cwd` makes relative paths
// absolute. On error returns false with a one-line message in `error`; the
// player then exits with kUsageExitCode. A Windows-style mode that the
// dispatch refuses is not an error here: `mode` says invalid.
bool parse_player_options(const std::vector<std::string_view>& args, const std::string& cwd,
                          PlayerOptions& options, std::string& error);

// The same for main's argc/argv, relative to the current directory.
bool parse_player_options(int argc, const char* const* argv, PlayerOptions& options, std::string& error);

inline constexpr int kUsageExitCode = 2;

// Whether the package or folder the options name can be read: an author's
// misspelt name is an error, not a silent fall back to the configured scene.
// False with `error` set (the name and the reason).
bool check_player_inputs(const PlayerOptions& options, std::string& error);

// Whether --module names a package of `package_dirs`; false with `error`
// naming the folders searched. (A usage error: exit kUsageExitCode.)
bool check_module(const PlayerOptions& options, const std::vector<std::string>& package_dirs, std::string& error);

// The --help text: one line per option.
std::string player_usage(std::string_view program);

}  // namespace kelvo
