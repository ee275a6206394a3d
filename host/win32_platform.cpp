#include "host/win32_platform.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/base/little_endian.h"
#include "host/paths.h"

namespace kelvo {

namespace {

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr DWORD kSnapshotPeriodMs = 1000;

// The frame in the back buffer as a 24-bit bitmap file, written under another
// name and moved into place so a reader never sees half a file.
void write_snapshot(const std::string& path, HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  const int w = client.right, h = client.bottom;
  if (w <= 0 || h <= 0) return;
  const int row = (w * 3 + 3) & ~3;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(row) * h);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, w, h, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
  std::vector<std::uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  put_le32(file, static_cast<std::uint32_t>(54 + pixels.size()));
  put_le32(file, 0);
  put_le32(file, 54);
  put_le32(file, 40);
  put_le32(file, static_cast<std::uint32_t>(w));
  put_le32(file, static_cast<std::uint32_t>(h));  // bottom-up rows, as GL reads them
  put_le16(file, 1);
  put_le16(file, 24);
  for (int i = 0; i < 6; ++i) put_le32(file, 0);
  file.insert(file.end(), pixels.begin(), pixels.end());
  const std::string temp = path + ".new";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return;
  const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  if (std::fclose(f) == 0 && ok) MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  else DeleteFileA(temp.c_str());
}

}  // namespace

std::string program_directory_win32() {
  const std::string from_line = app_dir_from_command_line(GetCommandLineA());
  if (is_directory(from_line)) return from_line;
  char module[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
  if (n == 0 || n >= sizeof module) return from_line;
  const std::string path(module, n);
  return path.substr(0, path.rfind('\\') + 1);
}

Win32Platform::Win32Platform(std::function<LRESULT(const Win32Message&)> default_proc)
    : default_proc_(std::move(default_proc)) {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("KELVO_SNAPSHOT", path, sizeof path);
  if (n > 0 && n < sizeof path) snapshot_path_.assign(path, n);
}

Win32Platform::~Win32Platform() {
  release_gl_context();
  restore_display_mode();
}

WindowRect Win32Platform::window_rect() {
  RECT r{};
  if (window_) GetWindowRect(window_, &r);
  return {r.left, r.top, r.right, r.bottom};
}

void Win32Platform::show_cursor(bool show) { ShowCursor(show ? TRUE : FALSE); }

void Win32Platform::set_thread_priority(ThreadPriority priority) {
  int level = THREAD_PRIORITY_NORMAL;
  if (priority == ThreadPriority::highest) level = THREAD_PRIORITY_HIGHEST;
  if (priority == ThreadPriority::lowest) level = THREAD_PRIORITY_LOWEST;
  SetThreadPriority(GetCurrentThread(), level);
}

void Win32Platform::show_window() {
  if (!window_) return;
  ShowWindow(window_, SW_MAXIMIZE);
  UpdateWindow(window_);
  SetFocus(window_);
  // The device context belongs to the window for its whole life (CS_OWNDC).
  if (!dc_) dc_ = GetDC(window_);
}

bool Win32Platform::change_mode(DEVMODEA& mode) {
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
  mode_changed_ = true;
  // The window covered the old screen: it now covers the new one, so the
  // viewport's corner is the screen's.
  if (window_)
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
                 SWP_NOACTIVATE);
  return true;
}

bool Win32Platform::set_display_mode(int width, int height) {
  DEVMODEA current{};
  current.dmSize = sizeof current;
  const bool have_current = EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &current);
  // Scenes are made for 16 bits per pixel; Windows 8 and later offer no such
  // mode, so the same size at the desktop's depth comes second.
  const DWORD depths[] = {16, have_current ? current.dmBitsPerPel : 16};
  for (DWORD depth : depths) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
      if (mode.dmBitsPerPel != depth || mode.dmPelsWidth != static_cast<DWORD>(width) ||
          mode.dmPelsHeight != static_cast<DWORD>(height))
        continue;
      if (change_mode(mode)) return true;
      break;  // refused: try the next depth
    }
  }
  return false;
}

void Win32Platform::restore_display_mode() {
  if (!mode_changed_) return;
  ChangeDisplaySettingsA(nullptr, 0);
  mode_changed_ = false;
}

bool Win32Platform::create_gl_context() {
  if (gl_context_) return true;
  if (!window_) return false;
  if (!dc_) dc_ = GetDC(window_);
  PIXELFORMATDESCRIPTOR request{};
  request.nSize = sizeof request;
  request.nVersion = 1;
  request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  request.iPixelType = PFD_TYPE_RGBA;
  request.cColorBits = 16;
  request.cDepthBits = 16;
  request.iLayerType = PFD_MAIN_PLANE;
  const int format = ChoosePixelFormat(dc_, &request);
  if (format == 0 || !SetPixelFormat(dc_, format, &request)) return false;
  gl_context_ = wglCreateContext(dc_);
  if (!gl_context_) return false;
  if (!wglMakeCurrent(dc_, gl_context_)) {
    wglDeleteContext(gl_context_);
    gl_context_ = nullptr;
    return false;
  }
  return true;
}

void Win32Platform::release_gl_context() {
  if (!gl_context_) return;
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(gl_context_);
  gl_context_ = nullptr;
}

void Win32Platform::swap_buffers() {
  if (!dc_) return;
  if (!snapshot_path_.empty() && gl_context_ && GetTickCount() - last_snapshot_ >= kSnapshotPeriodMs) {
    write_snapshot(snapshot_path_, window_);
    last_snapshot_ = GetTickCount();
  }
  SwapBuffers(dc_);
}

void Win32Platform::message_box(const char* text, const char* title) {
  MessageBoxA(nullptr, text, title, MB_ICONHAND);
}

std::pair<int, int> Win32Platform::cursor_pos() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

void Win32Platform::set_cursor_pos(int x, int y) { SetCursorPos(x, y); }

long Win32Platform::default_proc(const WindowMessage&) {
  // The engine hands on the message it was given, unchanged.
  if (!handling) return 0;
  return static_cast<long>(default_proc_(*handling));
}

std::string Win32Platform::work_directory() { return work_dir_.path(); }

std::string Win32Platform::program_directory() { return program_directory_win32(); }

std::string Win32Platform::debug_log_path() { return debug_log_path_win32(); }

std::string debug_log_path_win32() {
  char buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", buffer, sizeof buffer);
  std::string dir = n > 0 && n < sizeof buffer ? std::string(buffer, n) : InstanceWorkDir::base_path();
  dir += "\\Kelvo";
  CreateDirectoryA(dir.c_str(), nullptr);  // the log simply stays closed if this fails
  return dir + "\\debug.txt";
}

SettingsStore& Win32Platform::settings_store() { return settings_; }

}  // namespace kelvo
