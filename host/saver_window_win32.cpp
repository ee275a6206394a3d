#include "host/saver_window_win32.h"

#include <memory>

#include "host/base/debug_log.h"
#include "host/engine_proc.h"
#include "host/resource_ids_win32.h"
#include "host/win32_platform.h"
#include "media/audio.h"
#include "media/mci_audio.h"
#include "scene/engine_state.h"

namespace kelvo {

namespace {

using ImmAssociateContextFn = HANDLE(WINAPI*)(HWND, HANDLE);

// The host's state; one saver window per process.
struct SaverHost {
  HWND window = nullptr;
  HWND parent = nullptr;
  bool child_preview = false;
  bool closing = false;
  ImmAssociateContextFn imm_associate = nullptr;
  HANDLE saved_input_context = nullptr;
  POINT initial_cursor{};
  std::unique_ptr<Engine> engine;
  std::unique_ptr<Win32Platform> platform;
};

SaverHost* g_host = nullptr;

// The engine's view of a Win32 message.
WindowMessage translate(UINT message, WPARAM wparam, LPARAM lparam) {
  WindowMessage m;
  switch (message) {
    case WM_CREATE: m.type = MessageType::create; break;
    case WM_PAINT: m.type = MessageType::paint; break;
    case WM_KEYDOWN:
      m.type = MessageType::key_down;
      m.key = static_cast<int>(wparam);
      break;
    case WM_KEYUP:
      m.type = MessageType::key_up;
      m.key = static_cast<int>(wparam);
      break;
    case WM_MOUSEMOVE:
      m.type = MessageType::mouse_move;
      m.x = static_cast<short>(LOWORD(lparam));
      m.y = static_cast<short>(HIWORD(lparam));
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      m.type = MessageType::mouse_button;
      m.x = static_cast<short>(LOWORD(lparam));
      m.y = static_cast<short>(HIWORD(lparam));
      break;
    case WM_DESTROY: m.type = MessageType::destroy; break;
    default: break;
  }
  return m;
}

// What the engine does not consume: input ends the full-screen saver. In the
// preview, and once closing, everything goes to the system.
LRESULT host_default_proc(const Win32Message& m) {
  SaverHost& host = *g_host;
  if (host.child_preview || host.closing) return DefWindowProcA(m.window, m.message, m.wparam, m.lparam);
  switch (m.message) {
    case WM_CLOSE:
      // No password on this platform: closing may go ahead.
      host.closing = true;
      break;
    case WM_SETCURSOR:
      SetCursor(nullptr);
      return 1;
    case WM_SHOWWINDOW:
      if (m.wparam) SetCursor(nullptr);
      break;
    case WM_ACTIVATEAPP:
      if (m.wparam == FALSE) PostMessageA(m.window, WM_CLOSE, 0, 0);
      break;
    case WM_POWERBROADCAST:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      PostMessageA(m.window, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
  return DefWindowProcA(m.window, m.message, m.wparam, m.lparam);
}

LRESULT call_engine(SaverHost& host, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const Win32Message raw{window, message, wparam, lparam};
  const Win32Message* outer = host.platform->handling;
  host.platform->handling = &raw;
  const long result = engine_window_proc(*host.engine, *host.platform, translate(message, wparam, lparam));
  host.platform->handling = outer;
  return result;
}

LRESULT CALLBACK host_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!g_host) return DefWindowProcA(window, message, wparam, lparam);
  SaverHost& host = *g_host;
  if (!host.window) {
    // The first message (WM_NCCREATE or before): the window is ours.
    host.window = window;
    host.platform->attach(window);
  }
  switch (message) {
    case WM_CREATE:
      // Keys must reach the saver, not an input method's composition window.
      if (HMODULE imm = GetModuleHandleA("IMM32.DLL")) {
        host.imm_associate = reinterpret_cast<ImmAssociateContextFn>(
            reinterpret_cast<void*>(GetProcAddress(imm, "ImmAssociateContext")));
        if (host.imm_associate) host.saved_input_context = host.imm_associate(window, nullptr);
      }
      GetCursorPos(&host.initial_cursor);
      if (!host.child_preview) SetCursor(nullptr);
      break;
    case WM_DESTROY:
      if (host.imm_associate && host.saved_input_context) host.imm_associate(window, host.saved_input_context);
      PostQuitMessage(0);
      break;
    case WM_SETTEXT:
      return 0;
    case WM_PAINT:
      if (host.closing) return DefWindowProcA(window, message, wparam, lparam);
      if (!host.child_preview) SetCursor(nullptr);
      break;
    case WM_HELP:
    case WM_CONTEXTMENU:
      if (host.child_preview) {
        PostMessageA(host.parent, message, reinterpret_cast<WPARAM>(host.parent), lparam);
        return 1;
      }
      break;
    case WM_SYSCOMMAND:
      if (!host.child_preview &&
          (wparam == SC_NEXTWINDOW || wparam == SC_PREVWINDOW || wparam == SC_SCREENSAVE))
        return 0;
      break;
    case WM_TIMER:
      if (host.closing) return 0;
      Sleep(0);
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (host.closing) return DefWindowProcA(window, message, wparam, lparam);
      break;
    default:
      break;
  }
  return call_engine(host, window, message, wparam, lparam);
}

}  // namespace

int run_saver(HINSTANCE instance, HWND parent) {
  SaverHost host;
  host.parent = parent;
  host.child_preview = parent != nullptr;

  RECT area{};
  DWORD style, ex_style = 0;
  const char* title;
  if (parent) {
    GetClientRect(parent, &area);
    style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
    title = kPreviewTitle;
  } else {
    if (HWND running = FindWindowA(kSaverClassName, kFullScreenTitle)) {
      SetForegroundWindow(running);
      return 0;
    }
    HDC screen = GetDC(nullptr);
    GetClipBox(screen, &area);
    ReleaseDC(nullptr, screen);
    style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    ex_style = WS_EX_TOPMOST;
    title = kFullScreenTitle;
  }

  WNDCLASSA cls{};
  cls.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  cls.lpfnWndProc = host_window_proc;
  cls.hInstance = instance;
  cls.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(KELVO_ICON_ID));
  cls.hCursor = nullptr;
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  cls.lpszClassName = kSaverClassName;
  if (!RegisterClassA(&cls)) return 1;

  host.engine = std::make_unique<Engine>();
  host.platform = std::make_unique<Win32Platform>(host_default_proc);
  Engine& e = *host.engine;
  open_log_from_environment(e.log, [&] { return host.platform->debug_log_path(); }, "kelvo");
  // Songs tell the saver window when they end (nothing restarts them).
  set_audio_backend([&host] { return make_mci_audio(host.window); });

  g_host = &host;
  HWND window = CreateWindowExA(ex_style, kSaverClassName, title, style, area.left, area.top, area.right - area.left,
                                area.bottom - area.top, parent, nullptr, instance, nullptr);
  int exit_code = 0;
  if (!window) {
    exit_code = 1;
  } else if (!parent) {
    SetForegroundWindow(window);
  }
  MSG msg;
  BOOL got;
  while (window && (got = GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (window && got == 0) exit_code = static_cast<int>(msg.wParam);
  if (e.exit_code >= 0) exit_code = e.exit_code;

  close_audio(e);
  set_audio_backend(nullptr);
  e.log.close();
  g_host = nullptr;
  host.platform.reset();  // the GL context, the display mode, the work directory
  UnregisterClassA(kSaverClassName, instance);
  return exit_code;
}

}  // namespace kelvo
