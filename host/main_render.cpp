// kelvo-render: the headless renderer. Runs the engine's start-up on the
// configured (or given) package in an OSMesa context, draws N frames with the
// normal frame step (motion, then the renderer), saves each presented frame as
// DIR/frame0001.png, DIR/frame0002.png, ... and tears the engine down.
//
//   kelvo-render --render N --out DIR [--size WxH] [--package FILE.pak | --data DIR]
//
// `kelvo --render ...` starts this program with the same arguments. Frames are
// drawn back to back: --fps is accepted and ignored. The size is --size, or
// the stored ResX x ResY, or 800 x 600.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "host/engine_proc.h"
#include "host/headless_platform.h"
#include "host/paths.h"
#include "host/player_options.h"
#include "host/settings_file.h"
#include "scene/engine_state.h"

namespace {

constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 600;

// The stored ResX and ResY, when both are there and usable.
void stored_size(const std::string& settings_path, int& width, int& height) {
  kelvo::SettingsFile settings(settings_path);
  if (!settings.open()) return;
  auto number = [&](const char* name, int& out) {
    std::optional<std::string> text = settings.read(name);
    if (!text) return false;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, 10);
    if (end == text->c_str() || v < kelvo::kMinPlayerSize || v > kelvo::kMaxPlayerSize) return false;
    out = static_cast<int>(v);
    return true;
  };
  int w = 0, h = 0;
  if (number("ResX", w) && number("ResY", h)) {
    width = w;
    height = h;
  }
}

// Creates DIR (and its parents) and checks that files can be made in it.
bool prepare_out_dir(const std::string& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  if (!std::filesystem::is_directory(dir, ec)) {
    error = "not a directory";
    return false;
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

std::string frame_path(const std::string& dir, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame%04d.png", number);
  return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name;
}

void send(kelvo::Engine& e, kelvo::HeadlessPlatform& platform, kelvo::MessageType type) {
  kelvo::WindowMessage message;
  message.type = type;
  kelvo::engine_window_proc(e, platform, message);
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::PlayerOptions options;
  std::string error;
  if (!kelvo::parse_player_options(argc, argv, options, error)) {
    std::fprintf(stderr, "kelvo-render: %s\nTry 'kelvo-render --help' for the options.\n", error.c_str());
    return kelvo::kUsageExitCode;
  }
  if (options.help) {
    std::fputs(kelvo::player_usage("kelvo-render").c_str(), stdout);
    return 0;
  }
  if (options.render_frames <= 0) {
    std::fprintf(stderr, "kelvo-render: --render N and --out DIR are needed\n");
    return kelvo::kUsageExitCode;
  }
  if (!kelvo::check_player_inputs(options, error)) {
    std::fprintf(stderr, "kelvo-render: %s\n", error.c_str());
    return 1;
  }
  if (!prepare_out_dir(options.out_dir, error)) {
    std::fprintf(stderr, "kelvo-render: cannot write %s: %s\n", options.out_dir.c_str(), error.c_str());
    return 1;
  }

  const std::string settings_path = kelvo::SettingsFile::default_path();
  int width = kDefaultWidth, height = kDefaultHeight;
  if (options.width > 0) {
    width = options.width;
    height = options.height;
  } else {
    stored_size(settings_path, width, height);
  }

  auto engine = std::make_unique<kelvo::Engine>();
  kelvo::Engine& e = *engine;
  e.overrides.package_file = options.package_file;
  e.overrides.data_dir = options.data_dir;

  int exit_code = 0;
  {
    kelvo::HeadlessPlatform platform(width, height, settings_path);
    kelvo::open_log_from_environment(e.log, [&] { return platform.debug_log_path(); }, "kelvo-render");

    if (!kelvo::start_up(e, platform)) {
      if (e.exit_code >= 0) {
        std::fprintf(stderr, "kelvo-render: %s is not a scene package\n", e.paths.path_pack.c_str());
        exit_code = e.exit_code;
      } else if (platform.gl_failed()) {
        std::fprintf(stderr, "kelvo-render: no OSMesa context: nothing can be drawn\n");
        exit_code = 1;
      } else if (!platform.gl_requested() && e.work_dir.empty()) {
        std::fprintf(stderr, "kelvo-render: no private work directory to unpack the package into\n");
        exit_code = 1;
      } else if (!platform.gl_requested()) {
        std::fprintf(stderr, "kelvo-render: cannot unpack the package %s\n", e.paths.path_pack.c_str());
        exit_code = 1;
      } else {
        std::fprintf(stderr, "kelvo-render: the %dx%d picture cannot be set up\n", width, height);
        exit_code = 1;
      }
    } else if (!kelvo::file_exists(kelvo::find_file(e.paths.dir_temp, "SCENE1.TXT"))) {
      std::fprintf(stderr, "kelvo-render: no scene: %s has no SCENE1.TXT%s\n", e.paths.dir_temp.c_str(),
                   options.package_file.empty() && options.data_dir.empty()
                       ? " (no package beside the program either; use --package or --data)"
                       : "");
      exit_code = 1;
    } else {
      for (int frame = 1; frame <= options.render_frames; ++frame) {
        send(e, platform, kelvo::MessageType::paint);
        const std::string path = frame_path(options.out_dir, frame);
        if (!kelvo::write_png_rgb(path, platform.width(), platform.height(), platform.frame(), error)) {
          std::fprintf(stderr, "kelvo-render: cannot write %s: %s\n", path.c_str(), error.c_str());
          exit_code = 1;
          break;
        }
      }
    }
    kelvo::tear_down(e, platform);
    e.log.close();
  }  // the platform goes: the OSMesa context and the work directory
  return exit_code;
}
