// A platform that does nothing: no window, no display modes, no settings
// store; the cursor stays where it is put. For the benchmarks and the fuzz
// targets, which move and draw scenes without a screen.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/base/platform.h"

namespace kelvo {

class NullSettingsStore : public SettingsStore {
 public:
  bool open() override { return false; }
  std::optional<std::string> read(std::string_view) override { return std::nullopt; }
  bool write(const std::vector<std::pair<std::string, std::string>>&) override { return false; }
};

class NullPlatform : public Platform {
 public:
  explicit NullPlatform(int width = 800, int height = 600)
      : width_(width), height_(height), cursor_{width / 2, height / 2} {}

  WindowRect window_rect() override { return {0, 0, width_, height_}; }
  void show_cursor(bool) override {}
  void set_thread_priority(ThreadPriority) override {}
  void show_window() override {}
  bool set_display_mode(int, int) override { return true; }
  void restore_display_mode() override {}
  bool create_gl_context() override { return true; }
  void release_gl_context() override {}
  void swap_buffers() override {}
  void message_box(const char*, const char*) override {}
  std::pair<int, int> cursor_pos() override { return cursor_; }
  void set_cursor_pos(int x, int y) override { cursor_ = {x, y}; }
  long default_proc(const WindowMessage&) override { return 0; }
  std::string work_directory() override { return {}; }
  std::string program_directory() override { return {}; }
  std::string debug_log_path() override { return {}; }
  SettingsStore& settings_store() override { return settings_; }

 private:
  int width_, height_;
  std::pair<int, int> cursor_;
  NullSettingsStore settings_;
};

}  // namespace kelvo
