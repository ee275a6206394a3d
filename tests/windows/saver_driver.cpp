// Drives kelvo.scr as Windows does and checks what a user would see: the
// modes of the command line, the preview inside a window of ours, the
// full-screen saver, the settings in the registry, the settings dialog,
// songs and sounds. Runs under Wine (tests/windows/wine_test.sh); one group
// per run:
//
//   kelvo-saver-driver GROUP PATH\kelvo.scr
//
// GROUP: dispatch, preview, full_screen, settings, dialog, media, first_frame.
// Prints one line per failed check and exits 1 when any failed.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "config/settings_dialog_model.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/bmp_writer.h"

namespace {

constexpr const char* kSaverClass = "WindowsScreenSaverClass";
constexpr const char* kKelvoKey = "SOFTWARE\\Kelvo";
constexpr DWORD kExitTimeoutMs = 20000;
constexpr DWORD kDrawTimeoutMs = 40000;
// The demo's loading screen has a handful of colours; a drawn scene has many.
constexpr std::size_t kSceneColours = 40;

std::string g_saver;
int g_failures = 0;

void fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::printf("FAIL: ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
  std::fflush(stdout);
  ++g_failures;
}

void note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
  std::fflush(stdout);
}

// Hands our own windows their messages while we wait: the saver's preview
// window is a child of ours, and creating it sends messages to the parent.
void pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    const DWORD now = GetTickCount();
    if (static_cast<int>(end - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(end - now, 20), QS_ALLINPUT);
  }
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD end = GetTickCount() + timeout_ms;
  while (!done()) {
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    pump(25);
  }
  return true;
}

struct Saver {
  PROCESS_INFORMATION info{};
  bool started = false;

  bool start(const std::string& args, const std::string& program = g_saver) {
    std::string line = "\"" + program + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    if (!started) fail("cannot start %s", line.c_str());
    return started;
  }
  bool running() const { return started && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
  // The exit status, or nothing after the timeout (the process is then ended).
  bool wait_exit(DWORD timeout_ms, DWORD& code) {
    if (!started) return false;
    if (!wait_until([&] { return !running(); }, timeout_ms)) {
      TerminateProcess(info.hProcess, 99);
      WaitForSingleObject(info.hProcess, 5000);
      return false;
    }
    GetExitCodeProcess(info.hProcess, &code);
    return true;
  }
  // Fails unless the process ends in time with the status `expected`.
  void expect_exit(DWORD expected, const char* what) {
    DWORD code = 0;
    if (!wait_exit(kExitTimeoutMs, code))
      fail("%s did not end", what);
    else if (code != expected)
      fail("%s exited with %ld, expected %ld", what, static_cast<long>(code), static_cast<long>(expected));
  }
  ~Saver() {
    if (!started) return;
    if (running()) {
      TerminateProcess(info.hProcess, 99);
      WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
};

// A picture as 0xRRGGBB pixels, top row first.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

// The window's client area as the screen shows it.
Picture screen_picture(HWND window) {
  Picture picture;
  RECT client{};
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return picture;
  const int w = client.right, h = client.bottom;
  POINT corner{0, 0};
  ClientToScreen(window, &corner);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, corner.x, corner.y, SRCCOPY);
  GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  picture.width = w;
  picture.height = h;
  picture.pixels.assign(p, p + static_cast<std::size_t>(w) * h);
  for (std::uint32_t& px : picture.pixels) px &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return picture;
}

// The frame the saver wrote to its snapshot file (a 24-bit bottom-up bitmap).
Picture snapshot_picture(const std::string& path) {
  Picture picture;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return picture;
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (bytes[at + 3] << 24));
  };
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return picture;
  const int w = static_cast<int>(u32(18)), h = static_cast<int>(u32(22));
  const std::size_t offset = u32(10), row = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  if (w <= 0 || h <= 0 || bytes.size() < offset + row * h) return picture;
  picture.width = w;
  picture.height = h;
  for (int y = h - 1; y >= 0; --y) {
    const std::uint8_t* r = bytes.data() + offset + row * y;
    for (int x = 0; x < w; ++x) picture.pixels.push_back(r[x * 3] | (r[x * 3 + 1] << 8) | (r[x * 3 + 2] << 16));
  }
  return picture;
}

// A grid of points over the picture, and how many colours they show.
std::vector<std::uint32_t> grid(const Picture& picture) {
  std::vector<std::uint32_t> points;
  if (picture.width <= 0 || picture.height <= 0) return points;
  for (int gy = 0; gy < 48; ++gy)
    for (int gx = 0; gx < 64; ++gx) {
      const int x = (gx * 2 + 1) * picture.width / 128, y = (gy * 2 + 1) * picture.height / 96;
      points.push_back(picture.pixels[static_cast<std::size_t>(y) * picture.width + x]);
    }
  return points;
}

std::size_t colours(const Picture& picture) {
  const std::vector<std::uint32_t> points = grid(picture);
  return std::set<std::uint32_t>(points.begin(), points.end()).size();
}

using PictureSource = std::function<Picture()>;

bool draws_scene(const PictureSource& source, DWORD timeout_ms) {
  std::size_t best = 0;
  const bool ok = wait_until(
      [&] {
        best = std::max(best, colours(source()));
        return best >= kSceneColours;
      },
      timeout_ms);
  if (!ok) fail("the window shows %zu colours, not a drawn scene", best);
  return ok;
}

// Frames keep coming: the picture changes within a few seconds.
bool keeps_drawing(const PictureSource& source) {
  const std::vector<std::uint32_t> first = grid(source());
  const bool ok = wait_until([&] { return grid(source()) != first; }, 10000);
  if (!ok) fail("the picture stopped changing");
  return ok;
}

std::string temp_dir() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, n);
}

// What the saver instances left in the user's temporary folder.
std::vector<std::string> leftovers() {
  std::vector<std::string> found;
  const std::string base = temp_dir() + "kelvo\\";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((base + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") found.push_back(base + name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return found;
}

void check_nothing_left(const char* when) {
  for (const std::string& path : leftovers()) fail("%s: %s is left behind", when, path.c_str());
}

std::string reg_read(const char* name, DWORD* type = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKelvoKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char buffer[300];
  DWORD size = sizeof buffer - 1, t = 0;
  std::string value = "<missing>";
  if (RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
    buffer[size] = 0;
    value = buffer;
  }
  if (type) *type = t;
  RegCloseKey(key);
  return value;
}

void reg_clear() { RegDeleteTreeA(HKEY_CURRENT_USER, kKelvoKey); }

void reg_write(const std::vector<std::pair<const char*, const char*>>& values) {
  reg_clear();
  HKEY key;
  RegCreateKeyExA(HKEY_CURRENT_USER, kKelvoKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  for (const auto& [name, value] : values)
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(std::strlen(value) + 1));
  RegCloseKey(key);
}

// Quick settings for the runs: the demo without its song unless a test wants
// sound.
void reg_quiet_defaults(const char* sounds = "0") {
  reg_write({{"Module", "kelvo"}, {"Sounds", sounds}, {"Fog", "1"}, {"ResX", "800"}, {"ResY", "600"},
             {"Random", "0"}, {"Speed", "0"}, {"Colors", "0"}});
}

LRESULT CALLBACK parent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
}

// A window of ours, like the monitor picture the display settings show.
HWND make_parent(int width, int height) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = parent_proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = "KelvoTestParent";
    RegisterClassA(&cls);
    registered = true;
  }
  RECT r{0, 0, width, height};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  HWND parent = CreateWindowA("KelvoTestParent", "Display settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  pump(100);
  return parent;
}

// Starts "/p HWND" in `parent` and waits for the preview window.
HWND start_preview(Saver& saver, HWND parent) {
  char args[40];
  std::snprintf(args, sizeof args, "/p %llu", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(parent)));
  if (!saver.start(args)) return nullptr;
  HWND child = nullptr;
  if (!wait_until([&] { return (child = FindWindowExA(parent, nullptr, kSaverClass, "Preview")) != nullptr; },
                  kDrawTimeoutMs))
    fail("no child window of class %s titled Preview", kSaverClass);
  return child;
}

HWND find_full_screen() { return FindWindowA(kSaverClass, "Screen Saver"); }

// Starts "/s" and waits for its window.
HWND start_full_screen(Saver& saver) {
  if (!saver.start("/s")) return nullptr;
  HWND window = nullptr;
  if (!wait_until([&] { return (window = find_full_screen()) != nullptr; }, kDrawTimeoutMs))
    fail("no window titled Screen Saver");
  return window;
}

bool same_mode(const DEVMODEA& a, const DEVMODEA& b) {
  return a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight && a.dmBitsPerPel == b.dmBitsPerPel;
}

DEVMODEA current_mode() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  return mode;
}

void press_key(HWND window, WORD key) {
  SetForegroundWindow(window);
  pump(100);
  INPUT input[2]{};
  input[0].type = INPUT_KEYBOARD;
  input[0].ki.wVk = key;
  input[1] = input[0];
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

// ------------------------------------------------------------------ groups --

void test_dispatch() {
  // A window number that names no window.
  std::uintptr_t no_window = 0x7FFF0000;
  while (IsWindow(reinterpret_cast<HWND>(no_window))) no_window += 4;
  const struct {
    std::string args;
    DWORD expected;
  } cases[] = {
      {"/p 0", static_cast<DWORD>(-1)},
      {"/p " + std::to_string(no_window), static_cast<DWORD>(-1)},
      {"-l", static_cast<DWORD>(-1)},  // preview without a window number
      {"/x", static_cast<DWORD>(-1)},
      {"/a", static_cast<DWORD>(-1)},  // no screen-saver password on this line of Windows
      {"/a 0", static_cast<DWORD>(-1)},
  };
  for (const auto& c : cases) {
    Saver saver;
    if (!saver.start(c.args)) continue;
    saver.expect_exit(c.expected, ("'" + c.args + "'").c_str());
  }
  check_nothing_left("after the refused modes");
}

void test_preview() {
  reg_quiet_defaults();
  // A GL child window of another process's window is not composed onto
  // Wine's screen: the saver writes what it draws to a bitmap instead.
  const std::string snapshot = temp_dir() + "kelvo-preview.bmp";
  DeleteFileA(snapshot.c_str());
  SetEnvironmentVariableA("KELVO_SNAPSHOT", snapshot.c_str());
  HWND parent = make_parent(320, 240);
  Saver saver;
  HWND child = start_preview(saver, parent);
  if (!child) return;
  RECT pc{}, cc{};
  GetClientRect(parent, &pc);
  GetClientRect(child, &cc);
  if (pc.right != cc.right || pc.bottom != cc.bottom)
    fail("the preview is %ldx%ld, its parent's client area %ldx%ld", cc.right, cc.bottom, pc.right, pc.bottom);
  if (!(GetWindowLongA(child, GWL_STYLE) & WS_CHILD)) fail("the preview is not a child window");
  const PictureSource drawn = [&] { return snapshot_picture(snapshot); };
  if (draws_scene(drawn, kDrawTimeoutMs)) {
    keeps_drawing(drawn);
    // The saver replaces the file once a second: a read may meet the moment
    // of the swap.
    Picture picture;
    wait_until([&] { return (picture = drawn()).width > 0; }, 5000);
    if (picture.width != pc.right || picture.height != pc.bottom)
      fail("the preview draws %dx%d pixels into a %ldx%ld window", picture.width, picture.height, pc.right, pc.bottom);
  }
  SetEnvironmentVariableA("KELVO_SNAPSHOT", nullptr);
  DeleteFileA(snapshot.c_str());
  // No full-screen window appears beside the preview.
  if (find_full_screen()) fail("a full-screen window appeared in preview mode");
  // Closing the parent ends the saver.
  DestroyWindow(parent);
  saver.expect_exit(0, "the preview whose parent window closed");
  check_nothing_left("after the preview");
}

void test_full_screen() {
  reg_quiet_defaults();
  const DEVMODEA before = current_mode();
  Saver first;
  HWND window = start_full_screen(first);
  if (!window) return;
  if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) fail("the full-screen window is not top-most");
  if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) fail("the full-screen window is a child window");
  const PictureSource shown = [&] { return screen_picture(window); };
  if (draws_scene(shown, kDrawTimeoutMs)) keeps_drawing(shown);
  const DEVMODEA during = current_mode();
  if (during.dmPelsWidth != 800 || during.dmPelsHeight != 600)
    fail("the display runs at %lux%lu, not the configured 800x600", during.dmPelsWidth, during.dmPelsHeight);
  RECT r{};
  GetWindowRect(window, &r);
  if (r.left != 0 || r.top != 0 || r.right != 800 || r.bottom != 600)
    fail("the full-screen window covers %ld,%ld-%ld,%ld, not the 800x600 screen", r.left, r.top, r.right, r.bottom);

  // A second start brings the first to the front and ends.
  {
    Saver second;
    if (second.start("/s")) {
      second.expect_exit(0, "a second full-screen start");
    }
    if (!first.running()) fail("the first saver ended when the second started");
  }
  // '0' does not end it; another key does.
  press_key(window, '0');
  pump(1000);
  if (!first.running()) fail("the key 0 ended the saver");
  press_key(window, 'A');
  first.expect_exit(0, "the saver after a key press");
  check_nothing_left("after full screen");
  const DEVMODEA after = current_mode();
  if (!same_mode(before, after))
    fail("the display mode was %lux%lux%lu and is %lux%lux%lu", before.dmPelsWidth, before.dmPelsHeight,
         before.dmBitsPerPel, after.dmPelsWidth, after.dmPelsHeight, after.dmBitsPerPel);
}

// Runs a short preview (no display mode change) so that the saver reads and
// stores its settings.
void run_preview_briefly() {
  HWND parent = make_parent(200, 150);
  Saver saver;
  if (!start_preview(saver, parent)) return;
  pump(500);
  DestroyWindow(parent);
  DWORD code = 0;
  if (!saver.wait_exit(kExitTimeoutMs, code)) fail("the preview did not end");
}

void test_settings() {
  const std::vector<std::pair<const char*, const char*>> defaults = {
      {"Module", "kelvo"}, {"Sounds", "1"}, {"Fog", "1"},   {"ResX", "800"},
      {"ResY", "600"},     {"Random", "0"}, {"Speed", "0"}, {"Colors", "0"}};
  const struct {
    const char* what;
    std::vector<std::pair<const char*, const char*>> stored;  // empty: no key
    std::vector<std::pair<const char*, const char*>> expected;
  } cases[] = {
      {"no key", {}, defaults},
      // A missing value takes its default alone; the user's other choices stay.
      {"a key without Colors",
       {{"Module", "other"}, {"Sounds", "0"}, {"Fog", "0"}, {"ResX", "1024"}, {"ResY", "768"}, {"Random", "0"},
        {"Speed", "2"}},
       {{"Module", "other"}, {"Sounds", "0"}, {"Fog", "0"}, {"ResX", "1024"}, {"ResY", "768"}, {"Random", "0"},
        {"Speed", "2"}, {"Colors", "0"}}},
      {"a complete key",
       {{"Module", "kelvo"}, {"Sounds", "0"}, {"Fog", "0"}, {"ResX", "1024x"}, {"ResY", "768"}, {"Random", "0"},
        {"Speed", "2"}, {"Colors", "1"}},
       {{"Module", "kelvo"}, {"Sounds", "0"}, {"Fog", "0"}, {"ResX", "1024x"}, {"ResY", "768"}, {"Random", "0"},
        {"Speed", "2"}, {"Colors", "1"}}},
  };
  for (const auto& c : cases) {
    if (c.stored.empty())
      reg_clear();
    else
      reg_write(c.stored);
    run_preview_briefly();
    for (const auto& [name, value] : c.expected) {
      DWORD type = 0;
      const std::string got = reg_read(name, &type);
      if (got != value) fail("%s: %s is '%s', expected '%s'", c.what, name, got.c_str(), value);
      if (type != REG_SZ) fail("%s: %s is not a string value", c.what, name);
    }
  }
  check_nothing_left("after the settings runs");
}

// ------------------------------------------------------------- dialog --

using Values = std::vector<std::pair<const char*, const char*>>;

// Every value under the key is as expected.
void expect_registry(const char* when, const Values& expected) {
  for (const auto& [name, value] : expected) {
    const std::string got = reg_read(name);
    if (got != value) fail("%s: %s is '%s', expected '%s'", when, name, got.c_str(), value);
  }
}

bool write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string package_bytes(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string stream;
  for (const auto& [name, data] : members) kelvo::append_member(stream, name, data);
  const std::vector<std::uint8_t> coded =
      kelvo::pak_encode(std::vector<std::uint8_t>(stream.begin(), stream.end()));
  return std::string(coded.begin(), coded.end());
}

// The thumbnail colours, 0xRRGGBB.
constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;

// 64 x 48 with a 4-entry colour table: red, green / blue, yellow quarters.
std::string quarters_bitmap() {
  kelvo::test::Picture picture;
  for (int y = 0; y < 48; ++y)
    picture.push_back(std::string(32, y < 24 ? 'R' : 'B') + std::string(32, y < 24 ? 'G' : 'Y'));
  kelvo::test::BmpLayout layout;
  layout.bits = 4;
  layout.colors = {kRed, kGreen, kBlue, kYellow};
  layout.clr_used = 4;
  kelvo::test::encode_rows(layout, picture);
  return kelvo::test::write_bmp(layout);
}

// A folder as a user sets it up: a copy of the saver with the demo package
// and two more beside it, "bands" (its thumbnail has four coloured quarters)
// and "plain" (no thumbnail). The list shows them as bands, kelvo, plain.
struct DialogApp {
  std::string dir = temp_dir() + "kelvo-dialog\\";
  std::string saver = dir + "kelvo.scr";
  const char* files[4] = {"kelvo.scr", "kelvo.pak", "bands.pak", "plain.pak"};

  bool make() {
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string from = g_saver.substr(0, g_saver.rfind('\\') + 1);
    const bool ok = CopyFileA(g_saver.c_str(), saver.c_str(), FALSE) &&
                    CopyFileA((from + "kelvo.pak").c_str(), (dir + "kelvo.pak").c_str(), FALSE) &&
                    write_file(dir + "bands.pak",
                               package_bytes({{"SCENE1.TXT", "scene"}, {"THUMB.BMP", quarters_bitmap()}})) &&
                    write_file(dir + "plain.pak", package_bytes({{"SCENE1.TXT", "scene"}}));
    if (!ok) fail("cannot set up the saver's folder %s", dir.c_str());
    return ok;
  }
  ~DialogApp() {
    for (const char* name : files) DeleteFileA((dir + name).c_str());
    RemoveDirectoryA(dir.c_str());
  }
};

// One run of "kelvo.scr /c...", driven through its controls as another
// program can drive a dialog.
struct DialogRun {
  Saver saver;
  HWND dialog = nullptr;

  bool open(const std::string& program, const std::string& args) {
    if (!saver.start(args, program)) return false;
    if (!wait_until(
            [&] {
              dialog = FindWindowA("#32770", kelvo::kSettingsDialogCaption);
              return dialog && IsWindowVisible(dialog);
            },
            kDrawTimeoutMs)) {
      fail("'%s' shows no dialog titled %s", args.c_str(), kelvo::kSettingsDialogCaption);
      return false;
    }
    return true;
  }
  HWND item(int id) const { return GetDlgItem(dialog, id); }
  void click(int id) const { SendMessageA(item(id), BM_CLICK, 0, 0); }
  // Picks a list entry as the user does: the selection changes, the dialog
  // is told.
  void pick(int id, int entry) const {
    SendMessageA(item(id), CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)));
  }
  bool checked(int id) const { return SendMessageA(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  // (Wine hands a list's text to another process as UTF-16 whichever way
  // it is asked for.)
  std::string entry_text(int id, int entry) const {
    wchar_t text[300] = L"";
    if (SendMessageW(item(id), CB_GETLBTEXTLEN, static_cast<WPARAM>(entry), 0) >= 300) return "<too long>";
    SendMessageW(item(id), CB_GETLBTEXT, static_cast<WPARAM>(entry), reinterpret_cast<LPARAM>(text));
    char narrow[600] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
  }
  std::vector<std::string> entries(int id) const {
    std::vector<std::string> all;
    const LRESULT n = SendMessageA(item(id), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) all.push_back(entry_text(id, static_cast<int>(i)));
    return all;
  }
  std::string selected(int id) const {
    const LRESULT at = SendMessageA(item(id), CB_GETCURSEL, 0, 0);
    return at < 0 ? "<none>" : entry_text(id, static_cast<int>(at));
  }
  // The dialog closes and the saver exits with 0.
  void expect_end(const char* how) { saver.expect_exit(0, (std::string("the dialog closed by ") + how).c_str()); }
};

std::string window_text(HWND window) {
  char text[300] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The class and the style bits a control of the template's kind has.
struct KindCheck {
  const char* window_class;
  DWORD mask, style;
};

KindCheck kind_check(const kelvo::DialogControl& c) {
  using kelvo::ControlKind;
  switch (c.kind) {
    case ControlKind::group_box: return {"Button", BS_TYPEMASK, BS_GROUPBOX};
    case ControlKind::thumbnail_area: return {"Static", SS_TYPEMASK | SS_SUNKEN, SS_BLACKRECT | SS_SUNKEN};
    case ControlKind::drop_down_list:
      return {"ComboBox", 3 | CBS_SORT,
              static_cast<DWORD>(CBS_DROPDOWNLIST | (c.id == kelvo::kIdPackageList ? CBS_SORT : 0))};
    case ControlKind::information_text:
    case ControlKind::label: return {"Static", SS_TYPEMASK, SS_LEFT};
    case ControlKind::check_box: return {"Button", BS_TYPEMASK, BS_AUTOCHECKBOX};
    case ControlKind::push_button: return {"Button", BS_TYPEMASK, BS_PUSHBUTTON};
    case ControlKind::default_push_button: return {"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON};
  }
  return {"", 0, 0};
}

// The dialog's child windows are the template's controls in its order: id,
// class, style, text and place (dialog units scaled by the dialog's size).
void check_dialog_layout(HWND dialog) {
  RECT client{};
  GetClientRect(dialog, &client);
  const double sx = client.right / static_cast<double>(kelvo::kSettingsDialogWidth);
  const double sy = client.bottom / static_cast<double>(kelvo::kSettingsDialogHeight);
  HWND child = GetWindow(dialog, GW_CHILD);
  for (const kelvo::DialogControl& c : kelvo::kSettingsDialogControls) {
    char what[64];
    std::snprintf(what, sizeof what, "control %d \"%s\"", c.id, c.text);
    if (!child) {
      fail("the dialog has no %s", what);
      return;
    }
    if (static_cast<WORD>(GetDlgCtrlID(child)) != static_cast<WORD>(c.id))
      fail("%s: the dialog's control in its place has the id %d", what, GetDlgCtrlID(child));
    const KindCheck kind = kind_check(c);
    char window_class[64] = "";
    GetClassNameA(child, window_class, sizeof window_class);
    if (lstrcmpiA(window_class, kind.window_class) != 0)
      fail("%s is a %s, not a %s", what, window_class, kind.window_class);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    if ((style & kind.mask) != kind.style) fail("%s has the style %#lx", what, style);
    const std::string text = window_text(child);
    if (c.kind == kelvo::ControlKind::information_text) {
      if (text.find("kelvo.scr") == std::string::npos) fail("the information line says '%s'", text.c_str());
    } else if (c.kind != kelvo::ControlKind::drop_down_list && text != c.text) {
      fail("%s shows '%s'", what, text.c_str());
    }
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    // A closed drop-down list is one line high; the rest is its list.
    const bool any_height = c.kind == kelvo::ControlKind::drop_down_list;
    const auto off = [](double got, double expected) { return got < expected - 1.5 || got > expected + 1.5; };
    if (off(r.left, c.x * sx) || off(r.top, c.y * sy) || off(r.right, (c.x + c.width) * sx) ||
        (!any_height && off(r.bottom, (c.y + c.height) * sy)))
      fail("%s lies at %ld,%ld-%ld,%ld, expected %.0f,%.0f-%.0f,%.0f", what, r.left, r.top, r.right, r.bottom,
           c.x * sx, c.y * sy, (c.x + c.width) * sx, (c.y + c.height) * sy);
    child = GetWindow(child, GW_HWNDNEXT);
  }
  if (child) fail("the dialog has more controls than its template");
}

// What the thumbnail area shows near its four corners and in the middle of
// its quarters, as the screen shows it: a thumbnail stretched over the whole
// area has the same colour near each corner as in that corner's quarter.
std::vector<std::uint32_t> thumbnail_colours(HWND area) {
  const Picture p = screen_picture(area);
  if (p.width < 8 || p.height < 8) return {};
  const auto at = [&](int x, int y) { return p.pixels[static_cast<std::size_t>(y) * p.width + x]; };
  const int w = p.width, h = p.height;
  return {at(w / 4, h / 4), at(3 * w / 4, h / 4), at(w / 4, 3 * h / 4), at(3 * w / 4, 3 * h / 4),
          at(1, 1),         at(w - 2, 1),         at(1, h - 2),         at(w - 2, h - 2)};
}

std::uint32_t system_rgb(int index) {
  const COLORREF c = GetSysColor(index);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// The quarters' colours, or none for the bare area: all of it the black
// rectangle's colour (the window-frame colour on Windows, the darkest 3D
// shadow in Wine, grey in its default theme).
void shows_thumbnail(HWND area, const std::vector<std::uint32_t>& quarters, const char* what) {
  std::vector<std::uint32_t> expected = quarters;
  expected.insert(expected.end(), quarters.begin(), quarters.end());
  const auto as_expected = [&](const std::vector<std::uint32_t>& got) {
    if (!quarters.empty()) return got == expected;
    for (const int index : {COLOR_WINDOWFRAME, COLOR_3DDKSHADOW})
      if (got == std::vector<std::uint32_t>(8, system_rgb(index))) return true;
    return false;
  };
  std::vector<std::uint32_t> got;
  if (wait_until([&] { return as_expected(got = thumbnail_colours(area)); }, 10000)) return;
  std::string seen;
  for (std::uint32_t c : got) seen += " " + std::to_string(c);
  fail("the thumbnail area of %s shows%s", what, seen.empty() ? " nothing" : seen.c_str());
}

void test_dialog() {
  using namespace kelvo;
  DialogApp app;
  if (!app.make()) return;
  const Values stored = {{"Module", "bands"}, {"Sounds", "1"}, {"Fog", "0"},   {"ResX", "800"},
                         {"ResY", "600"},     {"Random", "0"}, {"Speed", "1"}, {"Colors", "1"}};
  const std::vector<std::uint32_t> quarters = {kRed, kGreen, kBlue, kYellow}, bare;

  // The template, what opening shows, each package's thumbnail; then changes
  // that Cancel drops.
  reg_write(stored);
  {
    DialogRun run;
    if (!run.open(app.saver, "/c")) return;
    check_dialog_layout(run.dialog);
    const std::vector<std::string> packages = {"bands", "kelvo", "plain"};
    if (run.entries(kIdPackageList) != packages) fail("the package list is not bands, kelvo, plain");
    if (run.selected(kIdPackageList) != "bands") fail("the package shown is %s", run.selected(kIdPackageList).c_str());
    const std::vector<std::string> sizes(kResolutionTexts.begin(), kResolutionTexts.end());
    if (run.entries(kIdResolutionList) != sizes) fail("the resolution list is not the five sizes");
    if (run.selected(kIdResolutionList) != "800x600")
      fail("the resolution shown is %s", run.selected(kIdResolutionList).c_str());
    const struct {
      int id;
      bool on;
    } boxes[] = {{kIdSounds, true},   {kIdFog, false},        {kIdRandom, false},
                 {kIdColors, true},   {kIdDoubleSpeed, true}, {kIdHalfSpeed, false}};
    for (const auto& b : boxes)
      if (run.checked(b.id) != b.on) fail("check box %d is %s", b.id, b.on ? "clear" : "checked");

    HWND area = run.item(kIdThumbnail);
    shows_thumbnail(area, quarters, "bands on opening");
    run.pick(kIdPackageList, 2);
    shows_thumbnail(area, bare, "plain");
    run.pick(kIdPackageList, 0);
    shows_thumbnail(area, quarters, "bands picked again");

    run.click(kIdHalfSpeed);
    if (run.checked(kIdDoubleSpeed) || !run.checked(kIdHalfSpeed))
      fail("checking Half Speed did not clear Double Speed");
    run.click(kIdFog);
    run.pick(kIdResolutionList, 4);
    run.pick(kIdPackageList, 1);
    run.click(kIdCancel);
    run.expect_end("Cancel");
  }
  expect_registry("after Cancel", stored);

  // Escape and the close box act as Cancel. "/c" opens the dialog over the
  // foreground window, an empty command line on its own.
  HWND front = make_parent(200, 150);
  for (const bool escape : {true, false}) {
    const char* how = escape ? "Escape" : "the close box";
    reg_write(stored);
    SetForegroundWindow(front);
    pump(100);
    DialogRun run;
    if (!run.open(app.saver, escape ? "/c" : "")) break;
    if (GetWindow(run.dialog, GW_OWNER) != (escape ? front : nullptr))
      fail("the dialog of '%s' belongs to the wrong window", escape ? "/c" : "");
    run.click(kIdSounds);
    run.pick(kIdResolutionList, 2);
    if (escape)
      press_key(run.dialog, VK_ESCAPE);
    else
      PostMessageA(run.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    run.expect_end(how);
    expect_registry(how, stored);
  }
  DestroyWindow(front);

  // OK over a window of ours: the dialog belongs to it and stores exactly
  // what was changed.
  reg_write(stored);
  Values saved = stored;
  {
    HWND parent = make_parent(320, 240);
    DialogRun run;
    char args[40];
    std::snprintf(args, sizeof args, "/c:%llu",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(parent)));
    if (run.open(app.saver, args)) {
      if (GetWindow(run.dialog, GW_OWNER) != parent) fail("the dialog of '/c:HWND' does not belong to that window");
      run.click(kIdHalfSpeed);
      run.pick(kIdResolutionList, 2);
      run.click(kIdOk);
      run.expect_end("OK");
      saved = {{"Module", "bands"}, {"Sounds", "1"}, {"Fog", "0"},   {"ResX", "1024"},
               {"ResY", "768"},     {"Random", "0"}, {"Speed", "2"}, {"Colors", "1"}};
      expect_registry("after OK", saved);
    }
    DestroyWindow(parent);
  }

  // Enter presses the default button, OK.
  {
    DialogRun run;
    if (!run.open(app.saver, "/c")) return;
    if (!run.checked(kIdHalfSpeed)) fail("the stored Speed 2 does not show Half Speed checked");
    run.click(kIdDoubleSpeed);
    press_key(run.dialog, VK_RETURN);
    run.expect_end("Enter");
    saved[6].second = "1";
    expect_registry("after Enter", saved);
  }
  check_nothing_left("after the dialog");
}

void test_media() {
  // The song starts with the scene and the script plays sounds from its first
  // line; without a sound card neither may hold up the frames or the end.
  reg_quiet_defaults("1");
  Saver saver;
  HWND window = start_full_screen(saver);
  if (!window) return;
  const PictureSource shown = [&] { return screen_picture(window); };
  if (draws_scene(shown, kDrawTimeoutMs)) {
    keeps_drawing(shown);
    pump(3000);  // the script's first sounds
    keeps_drawing(shown);
  }
  const DWORD pressed = GetTickCount();
  press_key(window, VK_SPACE);
  DWORD code = 1;
  if (!saver.wait_exit(kExitTimeoutMs, code))
    fail("the saver did not end with its song open");
  else
    note("ended %lu ms after the key press", GetTickCount() - pressed);
  check_nothing_left("after the run with sound");
}

// The figure: time from the start of "/s" to the first frame of the demo on
// the screen, five runs.
void test_first_frame() {
  reg_quiet_defaults();
  std::vector<DWORD> times;
  for (int run = 0; run < 5; ++run) {
    const DWORD start = GetTickCount();
    Saver saver;
    if (!saver.start("/s")) return;
    HWND window = nullptr;
    if (!wait_until([&] { return (window = find_full_screen()) != nullptr && colours(screen_picture(window)) >= kSceneColours; },
                    kDrawTimeoutMs)) {
      fail("run %d drew no scene", run + 1);
      return;
    }
    times.push_back(GetTickCount() - start);
    press_key(window, 'A');
    DWORD code = 0;
    saver.wait_exit(kExitTimeoutMs, code);
  }
  std::vector<DWORD> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  std::printf("first frame after (ms):");
  for (DWORD t : times) std::printf(" %lu", t);
  std::printf("; median %lu\n", sorted[2]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kelvo-saver-driver GROUP PATH\\kelvo.scr\n");
    return 2;
  }
  const std::string group = argv[1];
  g_saver = argv[2];
  const struct {
    const char* name;
    void (*run)();
  } groups[] = {{"dispatch", test_dispatch}, {"preview", test_preview},   {"full_screen", test_full_screen},
                {"settings", test_settings}, {"dialog", test_dialog},     {"media", test_media},
                {"first_frame", test_first_frame}};
  for (const auto& g : groups) {
    if (group != g.name) continue;
    g.run();
    if (g_failures == 0) std::printf("%s: passed\n", g.name);
    return g_failures == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "kelvo-saver-driver: unknown group %s\n", group.c_str());
  return 2;
}
