// The platform of the headless renderer (kelvo-render): no window, no display
// and no input; the GL context is Mesa's OSMesa drawing into memory.
//
// The "window" is a rectangle of the requested size at the origin. Each swap
// copies the finished picture out of the OSMesa buffer (turned top side up,
// RGB), so the frame stays readable after the engine starts drawing the next
// one. The settings come from the player's settings file with the command
// line's overrides, ResX and ResY answered by the requested size and Sounds
// by 0: a render run is silent and never changes the stored settings.
//
// This file and its users must not link libGL: OSMesa exports the GL entry
// points itself, and a binary that links both may draw with the wrong one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/base/platform.h"
#include "host/player_options.h"
#include "host/settings.h"
#include "host/settings_file.h"
#include "host/settings_overrides.h"
#include "host/work_dir.h"

namespace kelvo {

class HeadlessPlatform : public Platform {
 public:
  // A picture of width x height; `settings_path` is the settings file;
  // `overrides` are the command line's settings for this run.
  HeadlessPlatform(int width, int height, std::string settings_path,
                   const std::vector<SettingOverride>& overrides = {});
  ~HeadlessPlatform() override;
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  // The picture of the last swap: height rows from the top, width RGB texels
  // each. Black before the first swap.
  const std::vector<std::uint8_t>& frame() const { return frame_; }
  int swaps() const { return swaps_; }

  // Platform
  WindowRect window_rect() override { return {0, 0, width_, height_}; }
  void show_cursor(bool) override {}
  void set_thread_priority(ThreadPriority) override {}
  void show_window() override {}
  // Accepts the picture's own size only (the settings answer with it).
  bool set_display_mode(int width, int height) override;
  void restore_display_mode() override {}
  // An OSMesa RGBA context with a 16-bit depth buffer, made current.
  bool create_gl_context() override;
  void release_gl_context() override;
  void swap_buffers() override;
  void message_box(const char* text, const char* title) override;
  std::pair<int, int> cursor_pos() override { return {width_ / 2, height_ / 2}; }
  void set_cursor_pos(int, int) override {}
  long default_proc(const WindowMessage&) override { return 0; }
  std::string work_directory() override;
  std::string program_directory() override;
  std::string debug_log_path() override;
  SettingsStore& settings_store() override { return overrides_; }
  std::vector<std::string> package_directories() override;

 private:
  int width_, height_;
  void* context_ = nullptr;
  std::vector<std::uint8_t> buffer_;  // what OSMesa draws into: RGBA, bottom row first
  std::vector<std::uint8_t> frame_;   // the last swapped picture: RGB, top row first
  int swaps_ = 0;

  LazyWorkDir work_dir_{"kelvo-render"};
  SettingsFile settings_;
  OverrideStore overrides_;
};

// Writes an RGB picture (rows from the top) as an 8-bit PNG file. False with
// a reason in `error` when the file cannot be written.
bool write_png_rgb(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
                   std::string& error);

}  // namespace kelvo
