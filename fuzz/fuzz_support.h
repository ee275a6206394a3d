// What the reader fuzz targets share: a private folder on a memory file
// system, a platform and GL entry points that do nothing, frames moved and
// drawn into nothing, the demo's files as a scene folder, and the checks that
// stop a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo::fuzz {

// A new private folder for one target (under /dev/shm when there is one);
// ends with '/'. Removed at exit.
std::string make_work_dir(const char* tag);

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size);
void write_file(const std::string& path, std::string_view text);

// Stops the run with `what` when `ok` is false.
void check(bool ok, const char* what);

class NullPlatform : public Platform {
 public:
  WindowRect window_rect() override { return {0, 0, 800, 600}; }
  void show_cursor(bool) override {}
  void set_thread_priority(ThreadPriority) override {}
  void show_window() override {}
  bool set_display_mode(int, int) override { return true; }
  void restore_display_mode() override {}
  bool create_gl_context() override { return true; }
  void release_gl_context() override {}
  void swap_buffers() override {}
  void message_box(const char*, const char*) override {}
  std::pair<int, int> cursor_pos() override { return {cursor_x, cursor_y}; }
  void set_cursor_pos(int x, int y) override { cursor_x = x, cursor_y = y; }
  long default_proc(const WindowMessage&) override { return 0; }
  std::string work_directory() override { return {}; }
  std::string program_directory() override { return {}; }
  std::string debug_log_path() override { return {}; }
  SettingsStore& settings_store() override;

  int cursor_x = 400, cursor_y = 300;
};

// Points the renderer at GL entry points that do nothing.
void use_null_gl();

// An engine as start-up leaves it before the scene load, reading from `dir`,
// without GL textures or sound.
void prepare_engine(Engine& e, const std::string& dir);

// `frames` frames: the motion step (with a mouse move) and the whole
// renderer, drawing into nothing. Then checks what every frame relies on.
void run_frames(Engine& e, int frames);

// The scene's invariants: counts match the tables, every corner indexes a
// vertex, the budget holds.
void check_scene(const Engine& e);

// Copies the demo's object files and models into `dir` (not its scene, script
// or media) and writes a 2x2 texture under each of its texture names.
void copy_demo_objects(const std::string& dir);

}  // namespace kelvo::fuzz
