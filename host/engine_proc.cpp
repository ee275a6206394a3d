#include "host/engine_proc.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "host/gl_context.h"
#include "host/paths.h"
#include "host/settings.h"
#include "host/start_failure.h"
#include "media/songs.h"
#include "model/texture_slots.h"
#include "motion/motion_step.h"
#include "package/extract.h"
#include "package/logo.h"
#include "render/frame_renderer.h"
#include "render/text_overlay.h"
#include "scene/scene_file.h"
#include "script/script_thread.h"

namespace kelvo {

namespace {

constexpr int kKeyZero = 0x30;
constexpr int kPreviewWidth = 640;

}  // namespace

int start_up(Engine& e, Platform& platform) {
  // 1-2
  random_seed(e.random, static_cast<std::uint32_t>(std::time(nullptr)));
  e.preview = 0;
  // 3
  const WindowRect rect = platform.window_rect();
  // 4
  if (!load_settings(e, platform.settings_store())) debug_log(e.log, "settings missing or bad: stored again");
  // 5-6
  const std::string app_dir = platform.program_directory();
  path_setup(e, platform, app_dir);
  if (random_package_choice(e)) path_setup(e, platform, app_dir);
  // 7
  e.viewport_box = {0, 0, e.ResX, e.ResY};
  // 8
  platform.show_cursor(false);
  platform.set_thread_priority(ThreadPriority::highest);
  platform.show_window();
  // 9: a narrow window, or one inside someone else's window whatever its
  // size, is a preview drawn at the window's size.
  if (rect.right - rect.left < kPreviewWidth || platform.child_preview()) {
    platform.set_thread_priority(ThreadPriority::normal);
    platform.show_cursor(true);
    e.preview = 1;
    e.ResX = rect.right - rect.left;
    e.ResY = rect.bottom - rect.top;
    e.viewport_box = {0, 0, e.ResX, e.ResY};
  }
  // 10
  switch (extract_package(e)) {
    case ExtractResult::extracted:
    case ExtractResult::no_package:
      break;
    case ExtractResult::bad_magic:
      std::fputs("Unrecognized file format!\n", stdout);
      std::fflush(stdout);
      e.exit_code = 1;
      report_start_failure(e, "%s is not a scene package", e.paths.path_pack.c_str());
      return 0;
    case ExtractResult::damaged:
      report_start_failure(e, "the package %s is damaged: it cannot be unpacked", e.paths.path_pack.c_str());
      return 0;
    case ExtractResult::stream_open_failed:
      if (e.work_dir.empty())
        report_start_failure(e, "no private work directory to unpack the package %s into", e.paths.path_pack.c_str());
      else
        report_start_failure(e, "the package %s cannot be unpacked into %s", e.paths.path_pack.c_str(),
                             e.work_dir.c_str());
      return 0;
  }
  // 11 (a failure is reported there)
  if (!create_gl_context(e, platform)) return 0;
  // 12-18
  start_scene(e, platform);
  // 19
  write_logo_texture(e);
  // Mouse steering turns by the cursor's moves from here on; without a last
  // position the first move would turn the camera by the cursor's whole
  // distance from the corner.
  const auto [x, y] = platform.cursor_pos();
  e.last_cursor = {x, y};
  return 1;
}

void start_scene(Engine& e, Platform& platform) {
  engine_init(e);
  clear_texture_slots(e);
  load_font_texture(e);
  view_setup(e, platform);
  if (!load_scene(e, "SCENE1")) {
    // The run goes on as before (a black screen, the script if there is one).
    const Paths& p = e.paths;
    const bool no_package = !p.path_pack.empty() && !file_exists(p.path_pack);
    report_start_failure(e, "no scene: %sSCENE1.TXT is missing, unreadable or no scene file%s%s%s", p.dir_temp.c_str(),
                         no_package ? " (and there is no package " : "", no_package ? p.path_pack.c_str() : "",
                         no_package ? "; use --package or --data)" : "");
  }
  start_script(e, "SCRIPT1");
  view_setup(e, platform);
}

void tear_down(Engine& e, Platform& platform) {
  stop_script(e);
  stop_song(e);
  free_textures(e);
  release_gl_context(e, platform);
  free_all(e);
  delete_logo_texture_file(e);
  delete_extracted_files(e);
}

long engine_window_proc(Engine& e, Platform& platform, const WindowMessage& message) {
  switch (message.type) {
    case MessageType::create:
      if (!start_up(e, platform)) return 0;
      return platform.default_proc(message);
    case MessageType::paint:
      count_frame_rate(e, std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
      motion_step(e, platform);
      render_frame(e, platform);
      return 0;
    case MessageType::key_down:
      if (message.key == kKeyZero) return 1;
      return platform.default_proc(message);
    case MessageType::key_up:
      if (message.key == kKeyZero) {
        e.LOGO = e.LOGO == 0 ? 1 : 0;
        return 1;
      }
      return platform.default_proc(message);
    case MessageType::mouse_move:
      mouse_steering(e, platform);
      return 1;
    case MessageType::destroy:
      tear_down(e, platform);
      return platform.default_proc(message);
    case MessageType::resize:
      resize_view(e, message.x, message.y);
      return 0;
    case MessageType::mouse_button:
    case MessageType::other:
      break;
  }
  return platform.default_proc(message);
}

}  // namespace kelvo
