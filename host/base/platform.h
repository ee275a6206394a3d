// What the engine needs from the platform: one window, its GL context, the
// cursor, thread priority, the private work directory and the settings store.
//
// Implemented once per platform (SDL2 on Linux, Win32 later) and by a
// recording platform in the tests. The engine never calls SDL or Windows
// directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/base/window_message.h"

namespace kelvo {

struct WindowRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

enum class ThreadPriority { normal, highest, lowest };

// Where the eight settings persist (a registry key, a settings file).
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // False when the store does not exist or cannot be read.
  virtual bool open() = 0;
  // One value of the store opened last; nullopt when it is missing.
  virtual std::optional<std::string> read(std::string_view name) = 0;
  // Replaces the whole store with these values, in this order. False when the
  // store cannot be created.
  virtual bool write(const std::vector<std::pair<std::string, std::string>>& values) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The window's rectangle in screen coordinates.
  virtual WindowRect window_rect() = 0;
  virtual void show_cursor(bool show) = 0;
  virtual void set_thread_priority(ThreadPriority priority) = 0;
  // Shows the window (maximised in full screen) and gives it the focus.
  virtual void show_window() = 0;

  // Switches the display to width x height for full screen. False when the
  // display offers no such mode.
  virtual bool set_display_mode(int width, int height) = 0;
  virtual void restore_display_mode() = 0;
  // Creates a double-buffered GL context with a depth buffer and makes it
  // current. False when no pixel format fits.
  virtual bool create_gl_context() = 0;
  virtual void release_gl_context() = 0;
  virtual void swap_buffers() = 0;

  virtual void message_box(const char* text, const char* title) = 0;

  // The cursor in screen coordinates.
  virtual std::pair<int, int> cursor_pos() = 0;
  virtual void set_cursor_pos(int x, int y) = 0;

  // The host's handling of what the engine passes on: input ends the saver.
  // Returns the message's result.
  virtual long default_proc(const WindowMessage& message) = 0;

  // The directory extracted files go to, created private to this user and
  // this running instance. Empty when it cannot be made.
  virtual std::string work_directory() = 0;

  // The program's own directory, ending in a separator (on Windows taken from
  // the command line, on Linux the executable's directory).
  virtual std::string program_directory() = 0;

  // The directories searched for scene packages after the program's own, in
  // order (a repeat of the program's directory is passed over); none by
  // default.
  virtual std::vector<std::string> package_directories() { return {}; }

  // Whether the window is a preview inside someone else's window (the
  // child-preview flag): drawn at that window's size, the cursor left alone,
  // input never ends the run.
  virtual bool child_preview() { return false; }

  // Where the debug log goes when logging is switched on.
  virtual std::string debug_log_path() = 0;

  virtual SettingsStore& settings_store() = 0;
};

}  // namespace kelvo
