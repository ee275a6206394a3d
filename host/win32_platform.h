// The Windows platform of the engine: the screen-saver window made by the
// host (host/saver_window_win32.h), its WGL context, the display mode, the
// cursor, thread priority, the registry settings and the private work
// directory.
#pragma once

#include <windows.h>

#include <functional>

#include "host/base/platform.h"
#include "host/registry_settings.h"
#include "host/work_dir.h"

namespace kelvo {

// One Win32 message as the window procedure received it.
struct Win32Message {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

class Win32Platform : public Platform {
 public:
  // `default_proc` is the host's default procedure: it gets the Win32 message
  // behind what the engine hands on.
  explicit Win32Platform(std::function<LRESULT(const Win32Message&)> default_proc);
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // The window the engine lives in; set on its first message.
  void attach(HWND window) { window_ = window; }
  // The message being handled, so that default_proc can pass it on; the
  // window procedure sets it around each call of the engine (messages nest).
  const Win32Message* handling = nullptr;

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
  std::pair<int, int> cursor_pos() override;
  void set_cursor_pos(int x, int y) override;
  long default_proc(const WindowMessage& message) override;
  std::string work_directory() override;
  std::string program_directory() override;
  std::string debug_log_path() override;
  SettingsStore& settings_store() override;

 private:
  bool change_mode(DEVMODEA& mode);

  std::function<LRESULT(const Win32Message&)> default_proc_;
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC gl_context_ = nullptr;
  bool mode_changed_ = false;
  // KELVO_SNAPSHOT names a bitmap file that gets the frame drawn, once a
  // second: what a preview shows where the screen cannot be read back.
  std::string snapshot_path_;
  DWORD last_snapshot_ = 0;
  LazyWorkDir work_dir_{"kelvo"};
  RegistrySettings settings_;
};

// The program's directory, ending in a backslash: from the command line as
// the system passes it, or from the module's own file name when the command
// line names no existing folder (a program started by its bare name).
std::string program_directory_win32();

// Where KELVO_LOG=1 writes the log: "%LOCALAPPDATA%\Kelvo\debug.txt" (the
// folder is made if missing).
std::string debug_log_path_win32();

}  // namespace kelvo
