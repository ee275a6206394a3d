// The player's command line.
//
//   kelvo [--package FILE.pak | --data DIR] [--window] [--size WxH] [--fps N]
//   kelvo --render N --out DIR [--size WxH] [--package FILE.pak | --data DIR]
//
// --render draws N frames offscreen and saves them as DIR/frame0001.png ...;
// the player hands such a run to the headless renderer, kelvo-render.
//
// --fps N caps the frame rate at N frames per second (0 to 1000; 0 draws as
// fast as the machine allows, without waiting for the display). Without it the
// player draws at most one frame per display refresh.
//
// Also accepts what a desktop screen-saver daemon passes to its programs
// (-root, -window, -window-id ID, -fps, each with one or two dashes); -root and
// a bare -fps (the daemon's frame-rate display) change nothing yet, the window
// id is kept for later.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/base/platform.h"

namespace kelvo {

inline constexpr int kMinPlayerSize = 64;
inline constexpr int kMaxPlayerSize = 8192;
// The smallest side of an offscreen frame (--render).
inline constexpr int kMinRenderSize = 16;

struct PlayerOptions {
  std::string package_file;  // absolute, empty when not given
  std::string data_dir;      // absolute, empty when not given
  bool window = false;       // a normal window instead of full screen
  int width = 0, height = 0; // --size; 0 when not given
  bool help = false;
  bool root = false;                        // -root (accepted, unused)
  bool fps = false;                         // -fps given, with or without a number
  std::optional<double> fps_value;          // its number: the frame-rate cap, 0..kMaxFps
  std::optional<std::uint64_t> window_id;   // -window-id (kept, unused)
  int render_frames = 0;     // --render N; 0 when not given
  std::string out_dir;       // --out, absolute; empty when not given
  bool config = false;       // --config: the settings dialog instead of a scene
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
// player then exits with kUsageExitCode.
bool parse_player_options(const std::vector<std::string_view>& args, const std::string& cwd,
                          PlayerOptions& options, std::string& error);

// The same for main's argc/argv, relative to the current directory.
bool parse_player_options(int argc, const char* const* argv, PlayerOptions& options, std::string& error);

inline constexpr int kUsageExitCode = 2;

// Whether the package or folder the options name can be read: an author's
// misspelt name is an error, not a silent fall back to the configured scene.
// False with `error` set (the name and the reason).
bool check_player_inputs(const PlayerOptions& options, std::string& error);

// The --help text: one line per option.
std::string player_usage(std::string_view program);

// Reads ResX and ResY from another store but answers with the --size values,
// so the size applies to this run only; writes go through unchanged.
class SizeOverrideStore : public SettingsStore {
 public:
  SizeOverrideStore(SettingsStore& inner, int width, int height)
      : inner_(inner), width_(width), height_(height) {}
  bool open() override;
  std::optional<std::string> read(std::string_view name) override;
  bool write(const std::vector<std::pair<std::string, std::string>>& values) override;

 private:
  SettingsStore& inner_;
  int width_, height_;
};

}  // namespace kelvo
