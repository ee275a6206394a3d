// The Linux platform: one SDL2 window with an OpenGL compatibility context.
//
// Full screen covers the desktop without changing its mode (nothing is left
// in another mode if the player dies). The configured size then becomes an
// offscreen framebuffer of that size, scaled onto the window with black bars
// at each swap; without framebuffer objects the engine draws straight into
// the window. --window opens a plain window of the configured size. A window
// another program made (a daemon's saver or preview window, the root window)
// is drawn into as it is: never shown, raised or given a cursor by us.
//
// The header does not include SDL, so SDL-free code may use the helpers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "host/base/platform.h"
#include "host/player_options.h"
#include "host/settings_file.h"
#include "host/settings_overrides.h"
#include "host/work_dir.h"

struct SDL_Window;

namespace kelvo {

// Where a picture of src_w x src_h goes in a target of dst_w x dst_h: as large
// as fits with its aspect ratio kept, centred. x, y from the bottom-left.
struct FitRect {
  int x = 0, y = 0, width = 0, height = 0;
};
inline FitRect fit_letterboxed(int src_w, int src_h, int dst_w, int dst_h) {
  if (src_w <= 0 || src_h <= 0 || dst_w <= 0 || dst_h <= 0) return {};
  FitRect r;
  // Compare the aspect ratios without rounding: dst_w / dst_h vs src_w / src_h.
  const std::int64_t wide = static_cast<std::int64_t>(dst_w) * src_h;
  const std::int64_t tall = static_cast<std::int64_t>(dst_h) * src_w;
  if (wide >= tall) {
    // The target is wider: bars left and right.
    r.height = dst_h;
    r.width = static_cast<int>((static_cast<std::int64_t>(dst_h) * src_w * 2 + src_h) / (2 * src_h));
  } else {
    r.width = dst_w;
    r.height = static_cast<int>((static_cast<std::int64_t>(dst_w) * src_h * 2 + src_w) / (2 * src_w));
  }
  r.width = std::clamp(r.width, 1, dst_w);
  r.height = std::clamp(r.height, 1, dst_h);
  r.x = (dst_w - r.width) / 2;
  r.y = (dst_h - r.height) / 2;
  return r;
}

class SdlPlatform : public Platform {
 public:
  // SDL's video subsystem must be initialised.
  SdlPlatform();
  ~SdlPlatform() override;
  SdlPlatform(const SdlPlatform&) = delete;
  SdlPlatform& operator=(const SdlPlatform&) = delete;

  // Opens the (hidden) window: full screen on the desktop, or a normal window
  // of width x height. False with SDL's reason in `error`.
  bool open_window(bool windowed, int width, int height, std::string& error);
  // Draws into the X window `id` that another program made. With
  // `child_preview` it is a preview (see Platform::child_preview).
  bool open_foreign_window(std::uint64_t id, bool child_preview, std::string& error);
  // The command line's settings for this run; the stored file keeps its own.
  void set_overrides(const std::vector<SettingOverride>& overrides) { overrides_.set(overrides); }

  SDL_Window* window() const { return window_; }
  bool foreign() const { return foreign_; }
  // Raises our own full-screen window above the others (another start asked).
  void bring_to_front();

  // Set once input asked the player to end (see default_proc).
  bool close_requested() const { return close_requested_; }
  // The display's refresh rate in Hz; 0 when the display does not say.
  int refresh_rate() const;
  // Converts window coordinates to the engine's view coordinates (they differ
  // when an offscreen framebuffer is scaled onto the window).
  std::pair<int, int> window_to_view(int x, int y) const;

  // Platform
  WindowRect window_rect() override;
  void show_cursor(bool show) override;
  void set_thread_priority(ThreadPriority priority) override;
  void show_window() override;
  bool set_display_mode(int width, int height) override;
  void restore_display_mode() override;
  bool create_gl_context() override;
  void release_gl_context() override;
  void swap_buffers() override;
  void message_box(const char* text, const char* title) override;
  // In window coordinates (the view's, when scaled): the same as screen
  // coordinates in full screen, and what the mouse steering needs in a window.
  std::pair<int, int> cursor_pos() override;
  void set_cursor_pos(int x, int y) override;
  long default_proc(const WindowMessage& message) override;
  std::string work_directory() override;
  std::vector<std::string> package_directories() override;
  bool child_preview() override { return child_preview_; }
  std::string program_directory() override;
  std::string debug_log_path() override;
  SettingsStore& settings_store() override;

 private:
  struct Fbo;

  bool create_fbo();
  void delete_fbo();
  std::pair<int, int> drawable_size() const;
  FitRect view_rect() const;

  SDL_Window* window_ = nullptr;
  void* gl_context_ = nullptr;
  bool windowed_ = false;
  bool foreign_ = false;
  bool child_preview_ = false;
  bool close_requested_ = false;
  // The size set_display_mode asked for; 0 when none.
  int mode_width_ = 0, mode_height_ = 0;
  std::unique_ptr<Fbo> fbo_;

  LazyWorkDir work_dir_{"kelvo"};
  SettingsFile settings_;
  OverrideStore overrides_{settings_};
};

}  // namespace kelvo
