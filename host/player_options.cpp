#include "host/player_options.h"

#include "host/settings.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "package/package_search.h"

namespace kelvo {

namespace {

std::string make_absolute(const std::string& path, const std::string& cwd) {
  std::filesystem::path p(path);
  if (p.is_relative()) p = std::filesystem::path(cwd) / p;
  return p.lexically_normal().string();
}

bool parse_int(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// Checks the upper bound only; the lower one depends on --render, which may
// come later on the line.
bool parse_size(std::string_view text, int& width, int& height) {
  std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  int w = 0, h = 0;
  if (!parse_int(text.substr(0, x), w) || !parse_int(text.substr(x + 1), h)) return false;
  if (w < kMinRenderSize || w > kMaxPlayerSize || h < kMinRenderSize || h > kMaxPlayerSize) return false;
  width = w;
  height = h;
  return true;
}

bool parse_number(std::string_view text, double& value) {
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s.c_str(), &end);
  if (errno != 0 || end != s.c_str() + s.size()) return false;
  value = v;
  return true;
}

// A frame rate: digits with at most one decimal point, e.g. 30 or 12.5.
bool parse_frame_rate(std::string_view text, double& value) {
  bool digit = false, point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit && parse_number(text, value);
}

// Whether an argument after -fps is meant as its number.
bool numeric_start(std::string_view text) {
  return !text.empty() && ((text[0] >= '0' && text[0] <= '9') || text[0] == '.');
}

// A window id as the daemon writes it: hexadecimal with 0x, or decimal.
bool parse_window_id(std::string_view text, std::uint64_t& id) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    if (v > (UINT64_MAX - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) return false;
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  id = v;
  return true;
}

// A Windows-style mode word: '/' and anything, or one dash and a mode letter
// alone or followed by its window number ("-s", "-p12", "-c:34"). "-sounds"
// or "-colors" are options, not modes.
bool is_mode_word(std::string_view arg) {
  if (arg.empty()) return false;
  if (arg[0] == '/') return true;
  if (arg.size() < 2 || arg[0] != '-' || std::string_view("sSpPlLcCaA").find(arg[1]) == std::string_view::npos)
    return false;
  return arg.size() == 2 || arg[2] == ':' || (arg[2] >= '0' && arg[2] <= '9');
}

// The on/off settings with their option names: --NAME sets 1, --no-NAME 0.
struct SwitchOption {
  std::string_view option;
  const char* setting;
};
constexpr SwitchOption kSwitchOptions[] = {
    {"sounds", "Sounds"}, {"fog", "Fog"}, {"random", "Random"}, {"colors", "Colors"}};

// XScreenSaver's standard options that change nothing here.
constexpr std::string_view kIgnoredFlags[] = {"install", "mono", "no-fps"};

}  // namespace

bool parse_player_options(const std::vector<std::string_view>& args, const std::string& cwd,
                          PlayerOptions& options, std::string& error) {
  options = PlayerOptions{};
  std::string_view size_text;
  // The player's windows are at least kMinPlayerSize on each side; offscreen
  // frames may be smaller.
  auto size_error = [&](std::string_view text) {
    const bool render = options.render_frames > 0;
    return "--size needs WIDTHxHEIGHT, each from " + std::to_string(render ? kMinRenderSize : kMinPlayerSize) +
           " to " + std::to_string(kMaxPlayerSize) + (render ? " with --render" : "") + ", not '" +
           std::string(text) + "'";
  };
  std::size_t first = 0;
  // A Windows-style mode word first: its window number may be the next
  // argument ("/p 1234"); the shared dispatch decides.
  if (!args.empty() && is_mode_word(args[0])) {
    std::string text(args[0]);
    first = 1;
    const char letter = static_cast<char>(args[0].size() > 1 ? args[0][1] : 0);
    const bool takes_number = std::string_view("pPlLaA").find(letter) != std::string_view::npos && letter != 0;
    if (takes_number && args[0].size() == 2 && args.size() > 1 && !args[1].empty() && args[1][0] >= '0' &&
        args[1][0] <= '9') {
      text += ' ';
      text += args[1];
      first = 2;
    }
    const ModeRequest request = dispatch_mode(text);
    options.mode = request.mode;
    // A refused preview keeps its number (0 or none), for the message.
    if (request.mode == SaverMode::preview || std::string_view("pPlL").find(letter) != std::string_view::npos)
      options.window_id = request.window.value_or(0);
    if (request.mode == SaverMode::config) options.config_parent = request.window;
    if (request.mode == SaverMode::invalid || request.mode == SaverMode::change_password) return true;
  }
  bool random_given = false;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      error = "unexpected argument '" + std::string(arg) + "'";
      return false;
    }
    // One or two dashes, and "--name=value" for options that take a value.
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    std::optional<std::string_view> inline_value;
    if (std::size_t eq = name.find('='); eq != std::string_view::npos) {
      inline_value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto takes_no_value = [&]() {
      if (!inline_value) return true;
      error = "option '" + std::string(name) + "' takes no value";
      return false;
    };
    // The value of an option that needs one.
    auto value = [&](std::string_view& out) {
      if (inline_value) {
        out = *inline_value;
      } else if (i + 1 < args.size()) {
        out = args[++i];
      } else {
        error = "option '" + std::string(arg) + "' needs a value";
        return false;
      }
      if (out.empty()) {
        error = "option '" + std::string(name) + "' needs a non-empty value";
        return false;
      }
      return true;
    };

    std::string_view v;
    const SwitchOption* switch_option = nullptr;
    bool switch_on = true;
    for (const SwitchOption& so : kSwitchOptions) {
      if (name == so.option) switch_option = &so;
      if (name.size() == so.option.size() + 3 && name.starts_with("no-") && name.substr(3) == so.option) {
        switch_option = &so;
        switch_on = false;
      }
    }
    if (switch_option) {
      if (!takes_no_value()) return false;
      options.settings.emplace_back(switch_option->setting, switch_on ? "1" : "0");
      if (switch_option->option == "random") random_given = true;
      continue;
    }
    if (std::find(std::begin(kIgnoredFlags), std::end(kIgnoredFlags), name) != std::end(kIgnoredFlags)) {
      if (!takes_no_value()) return false;
      continue;
    }
    if (name == "help" || (name == "h" && arg[1] != '-')) {
      if (!takes_no_value()) return false;
      options.help = true;
      return true;
    } else if (name == "package") {
      if (!value(v)) return false;
      options.package_file = make_absolute(std::string(v), cwd);
    } else if (name == "data") {
      if (!value(v)) return false;
      options.data_dir = make_absolute(std::string(v), cwd);
    } else if (name == "config") {
      if (!takes_no_value()) return false;
      options.mode = SaverMode::config;
    } else if (name == "module") {
      if (!value(v)) return false;
      std::string module(v);
      if (module.size() > 4 && strcasecmp(module.c_str() + module.size() - 4, ".pak") == 0)
        module.resize(module.size() - 4);
      if (!package_name_usable(module)) {
        error = "--module needs a package name (a file name without .pak, no folders), not '" + std::string(v) + "'";
        return false;
      }
      options.module = module;
      options.settings.emplace_back("Module", module);
    } else if (name == "speed") {
      if (!value(v)) return false;
      const std::string word(v);
      const char* speed = nullptr;
      if (strcasecmp(word.c_str(), "normal") == 0) speed = "0";
      if (strcasecmp(word.c_str(), "double") == 0) speed = "1";
      if (strcasecmp(word.c_str(), "half") == 0) speed = "2";
      if (!speed) {
        error = "--speed needs normal, double or half, not '" + std::string(v) + "'";
        return false;
      }
      options.settings.emplace_back("Speed", speed);
    } else if (name == "visual") {
      if (!value(v)) return false;  // the daemon's visual: the window's own is used
    } else if (name == "window") {
      if (!takes_no_value()) return false;
      options.window = true;
    } else if (name == "size") {
      if (!value(v)) return false;
      if (!parse_size(v, options.width, options.height)) {
        error = size_error(v);
        return false;
      }
      size_text = v;
      options.settings.emplace_back("ResX", std::to_string(options.width));
      options.settings.emplace_back("ResY", std::to_string(options.height));
    } else if (name == "root") {
      if (!takes_no_value()) return false;
      options.root = true;
    } else if (name == "fps") {
      // The number is optional: a screen-saver daemon passes a bare -fps.
      options.fps = true;
      std::optional<std::string_view> text = inline_value;
      if (!text && i + 1 < args.size() && numeric_start(args[i + 1])) text = args[++i];
      if (text) {
        double number = 0;
        if (!parse_frame_rate(*text, number) || number > kMaxFps) {
          error = "--fps needs a number of frames per second from 0 to " + std::to_string(static_cast<int>(kMaxFps)) +
                  " (0: as fast as possible), not '" + std::string(*text) + "'";
          return false;
        }
        options.fps_value = number;
      }
    } else if (name == "window-id") {
      if (!value(v)) return false;
      std::uint64_t id = 0;
      if (!parse_window_id(v, id)) {
        error = "--window-id needs a window id (decimal or 0x hexadecimal), not '" + std::string(v) + "'";
        return false;
      }
      options.window_id = id;
      options.mode = SaverMode::preview;
    } else if (name == "render") {
      if (!value(v)) return false;
      int frames = 0;
      if (!parse_int(v, frames) || frames < 1 || frames > kMaxRenderFrames) {
        error = "--render needs a number of frames from 1 to " + std::to_string(kMaxRenderFrames) + ", not '" +
                std::string(v) + "'";
        return false;
      }
      options.render_frames = frames;
    } else if (name == "out") {
      if (!value(v)) return false;
      options.out_dir = make_absolute(std::string(v), cwd);
    } else {
      error = "unknown option '" + std::string(arg) + "'";
      return false;
    }
  }
  if (!options.package_file.empty() && !options.data_dir.empty()) {
    error = "--package and --data cannot be used together";
    return false;
  }
  if (!options.module.empty() && (!options.package_file.empty() || !options.data_dir.empty())) {
    error = "--module does not go with --package or --data";
    return false;
  }
  // A named module plays that module, even when the stored settings pick a
  // random one, unless --random says otherwise.
  if (!options.module.empty() && !random_given) options.settings.emplace_back("Random", "0");
  if (options.mode == SaverMode::config && args.size() > first + (first == 0 ? 1 : 0)) {
    error = "the configuration mode takes no other options";
    return false;
  }
  if (options.mode == SaverMode::preview) {
    const char* clash = options.root             ? "--root"
                        : options.window         ? "--window"
                        : options.width > 0      ? "--size (the preview has its window's size)"
                        : options.render_frames  ? "--render"
                                                 : nullptr;
    if (clash) {
      error = std::string("a preview in another window does not go with ") + clash;
      return false;
    }
  }
  if (options.root && (options.window || options.render_frames > 0)) {
    error = std::string("--root does not go with ") + (options.window ? "--window" : "--render");
    return false;
  }
  if (options.render_frames == 0 && options.width > 0 &&
      (options.width < kMinPlayerSize || options.height < kMinPlayerSize)) {
    error = size_error(size_text);
    return false;
  }
  if (options.render_frames > 0 && options.out_dir.empty()) {
    error = "--render needs --out DIR for the frames";
    return false;
  }
  if (options.render_frames == 0 && !options.out_dir.empty()) {
    error = "--out only goes with --render N";
    return false;
  }
  if (options.render_frames > 0 && options.window) {
    error = "--render draws offscreen; --window does not go with it";
    return false;
  }
  return true;
}

bool parse_player_options(int argc, const char* const* argv, PlayerOptions& options, std::string& error) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  std::string cwd;
  std::error_code ec;
  std::filesystem::path current = std::filesystem::current_path(ec);
  if (!ec) {
    cwd = current.string();
  } else if (const char* pwd = std::getenv("PWD")) {
    cwd = pwd;
  } else {
    cwd = "/";
  }
  return parse_player_options(args, cwd, options, error);
}

std::string player_usage(std::string_view program) {
  std::string p(program);
  return "Usage: " + p + " [OPTION]...\n"
         "Plays a Kelvo scene full screen until a key or mouse button is pressed.\n"
         "\n"
         "  --package FILE    play the scene package FILE (.pak)\n"
         "  --data DIR        play the loose scene files in DIR\n"
         "  --module NAME     play the package NAME.pak from the package folders\n"
         "  --window          play in a normal window of the configured size\n"
         "  --size WxH        play at W x H for this run (the stored setting is kept)\n"
         "  --fps N           draw at most N frames per second, 0 to 1000; 0 draws as fast\n"
         "                    as possible (without vsync); default: one frame per display\n"
         "                    refresh (60 per second when the display does not say)\n"
         "  --fps             (no number) show the statistics line with the frame rate\n"
         "  --sounds, --no-sounds   songs and sounds on or off for this run\n"
         "  --fog, --no-fog         fog on or off for this run\n"
         "  --random, --no-random   a package picked at random, or the configured one\n"
         "  --colors, --no-colors   random object colours on or off for this run\n"
         "  --speed normal|double|half  the scene's speed for this run\n"
         "  --config          open the settings dialog (also: /c, -c:ID)\n"
         "  --root            draw into the window $XSCREENSAVER_WINDOW names, else the root window\n"
         "  --window-id ID    draw a preview into window ID (decimal or 0x hex; also /p ID)\n"
         "  --render N        draw N frames offscreen (at --size, or the stored size)\n"
         "                    and save them as PNG files; no display is needed\n"
         "  --out DIR         where --render writes frame0001.png, frame0002.png, ...\n"
         "  -h, --help        show this help and exit\n"
         "\n"
         "Accepted and ignored for screen-saver daemons: --install, --visual ID, --mono, --no-fps.\n"
         "Windows-style modes: /s full screen, /p ID preview, /c[:ID] settings, /a (refused).\n"
         "Settings: ~/.config/kelvo/settings. Packages: beside the program, ~/.local/share/kelvo,\n"
         "then the installed share/kelvo.\n"
         "Environment: KELVO_LOG=1 writes the debug log file, KELVO_LOG=- writes it to standard error.\n";
}

FramePacing frame_pacing(const PlayerOptions& options, int refresh_rate) {
  FramePacing pacing;
  if (!options.fps_value) {
    pacing.frames_per_second = refresh_rate > 0 ? refresh_rate : kDefaultRefreshRate;
    return pacing;
  }
  pacing.frames_per_second = *options.fps_value;
  if (pacing.frames_per_second <= 0)
    pacing.vsync = false;
  else if (refresh_rate > 0 && pacing.frames_per_second > refresh_rate)
    pacing.vsync = false;
  return pacing;
}

bool check_player_inputs(const PlayerOptions& options, std::string& error) {
  struct stat st;
  if (!options.package_file.empty()) {
    if (::stat(options.package_file.c_str(), &st) != 0 || ::access(options.package_file.c_str(), R_OK) != 0) {
      error = options.package_file + ": " + std::strerror(errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      error = options.package_file + ": not a file";
      return false;
    }
  }
  if (!options.data_dir.empty()) {
    if (::stat(options.data_dir.c_str(), &st) != 0) {
      error = options.data_dir + ": " + std::strerror(errno);
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      error = options.data_dir + ": not a folder";
      return false;
    }
  }
  return true;
}

bool check_module(const PlayerOptions& options, const std::vector<std::string>& package_dirs, std::string& error) {
  if (options.module.empty() || find_package(package_dirs, options.module)) return true;
  error = "--module: no package " + options.module + ".pak in";
  for (std::size_t i = 0; i < package_dirs.size(); ++i) error += (i ? ", " : " ") + package_dirs[i];
  return false;
}

}  // namespace kelvo
