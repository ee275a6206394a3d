// A platform for tests: records every call in order (together with the
// engine's log lines) and renders into an OSMesa context.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/base/platform.h"
#include "scene/engine_state.h"
#include "support/osmesa_context.h"

namespace kelvo::test {

class MemorySettings : public SettingsStore {
 public:
  bool exists = false;
  bool writable = true;
  std::map<std::string, std::string, std::less<>> values;
  int writes = 0;

  bool open() override { return exists; }
  std::optional<std::string> read(std::string_view name) override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool write(const std::vector<std::pair<std::string, std::string>>& v) override {
    if (!writable) return false;
    ++writes;
    exists = true;
    values.clear();
    for (const auto& [name, value] : v) values[name] = value;
    return true;
  }
};

// A fresh temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }  // ends with '/'
  std::string file(const std::string& name) const { return path_ + name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  std::vector<std::string> list() const;  // names, sorted

 private:
  std::string path_;
};

class RecordingPlatform : public Platform {
 public:
  std::vector<std::string> calls;
  WindowRect rect{0, 0, 800, 600};
  bool display_mode_ok = true;
  bool pixel_format_ok = true;
  std::string program_dir;
  std::string work_dir;
  MemorySettings settings;
  std::unique_ptr<OsmesaContext> gl;
  int swaps = 0;
  int close_requests = 0;
  bool child = false;  // a preview inside another program's window

  // Sends the engine's log lines into `calls` as "log: ...".
  void record_log(Engine& e);
  // Index of the first call equal to `name`, or -1.
  int index_of(const std::string& name) const;

  WindowRect window_rect() override { calls.push_back("window_rect"); return rect; }
  void show_cursor(bool show) override { calls.push_back(show ? "show_cursor" : "hide_cursor"); }
  void set_thread_priority(ThreadPriority p) override;
  void show_window() override { calls.push_back("show_window"); }
  bool child_preview() override { return child; }
  bool set_display_mode(int w, int h) override;
  void restore_display_mode() override { calls.push_back("restore_display_mode"); }
  bool create_gl_context() override;
  void release_gl_context() override { calls.push_back("release_gl_context"); gl.reset(); }
  void swap_buffers() override { calls.push_back("swap_buffers"); ++swaps; }
  void message_box(const char* text, const char* title) override;
  std::pair<int, int> cursor = {0, 0};
  std::pair<int, int> cursor_pos() override { return cursor; }
  void set_cursor_pos(int, int) override {}
  long default_proc(const WindowMessage& m) override;
  std::string work_directory() override { return work_dir; }
  std::string program_directory() override { return program_dir; }
  std::string debug_log_path() override { return work_dir + "debug.txt"; }
  SettingsStore& settings_store() override { return settings; }
};

}  // namespace kelvo::test
