// The configuration dialog on Windows: the modal dialog of template 2003
// (host/kelvo.rc) and its dialog procedure, which passes the controls'
// messages to the platform-free dialog (config/settings_dialog_model.h) and
// shows what it decides. Settings go to the registry; the packages listed are
// those beside kelvo.scr, as the saver finds them.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "config/settings_dialog.h"
#include "config/settings_dialog_model.h"
#include "host/registry_settings.h"
#include "host/resource_ids_win32.h"
#include "host/win32_platform.h"
#include "package/package_search.h"
#include "scene/engine_state.h"

namespace kelvo {

namespace {

// What one open dialog works on; its address is the dialog's user data.
struct Win32Dialog {
  Engine engine;
  RegistrySettings store;
  SettingsDialog model;
  HWND window = nullptr;
  WNDPROC thumbnail_proc = nullptr;  // the static control's own procedure
};

Win32Dialog* dialog_of(HWND window) {
  return reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
}

// The information line has no id of its own: it follows the package list in
// the template, and so among the dialog's child windows.
HWND information_control(HWND window) { return GetWindow(GetDlgItem(window, kIdPackageList), GW_HWNDNEXT); }

std::string window_text(HWND window) {
  char text[512];
  const int n = GetWindowTextA(window, text, sizeof text);
  return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The whole thumbnail stretched over the thumbnail area's client rectangle.
void draw_thumbnail(const Win32Dialog& d) {
  if (!d.model.thumbnail) return;
  HWND area = GetDlgItem(d.window, kIdThumbnail);
  RECT client{};
  if (!area || !GetClientRect(area, &client)) return;
  const DibBitmap& dib = *d.model.thumbnail;
  const std::vector<std::uint8_t> info = bitmap_info_bytes(dib);
  const int height = dib.header.height < 0 ? -dib.header.height : dib.header.height;
  HDC dc = GetDC(area);
  StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, dib.header.width, height, dib.pixels.data(),
                reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
  ReleaseDC(area, dc);
}

// The thumbnail area paints itself (black, sunken), then the thumbnail on
// top: whatever uncovers it, the picture comes back.
LRESULT CALLBACK thumbnail_area_proc(HWND area, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Dialog* d = dialog_of(GetParent(area));
  if (!d || !d->thumbnail_proc) return DefWindowProcA(area, message, wparam, lparam);
  const LRESULT result = CallWindowProcA(d->thumbnail_proc, area, message, wparam, lparam);
  if (message == WM_PAINT) draw_thumbnail(*d);
  return result;
}

// Shows the thumbnail the model holds now: the area repaints, black when
// there is none.
void show_thumbnail(const Win32Dialog& d) { InvalidateRect(GetDlgItem(d.window, kIdThumbnail), nullptr, TRUE); }

// The package list sorts itself; each entry remembers its place in the
// model's list, so the two orders need not agree.
void fill_package_list(const Win32Dialog& d) {
  HWND list = GetDlgItem(d.window, kIdPackageList);
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  int shown = CB_ERR;
  for (std::size_t i = 0; i < d.model.packages.size(); ++i) {
    const LRESULT at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.model.packages[i].name.c_str()));
    if (at < 0) continue;
    SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
    if (static_cast<int>(i) == d.model.package_selection) shown = static_cast<int>(at);
  }
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(shown), 0);
}

void fill_resolution_list(const Win32Dialog& d) {
  HWND list = GetDlgItem(d.window, kIdResolutionList);
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (const char* text : kResolutionTexts) SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(d.model.resolution_selection), 0);
}

void show_check_boxes(const Win32Dialog& d) {
  for (int id : kCheckBoxIds) CheckDlgButton(d.window, id, dialog_checked(d.model, id) ? BST_CHECKED : BST_UNCHECKED);
}

// The model's entry a list shows as selected; -1 for none.
int selected_entry(HWND window, int id) {
  HWND list = GetDlgItem(window, id);
  const LRESULT at = SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (at < 0) return -1;
  if (id != kIdPackageList) return static_cast<int>(at);
  const LRESULT entry = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(at), 0);
  return entry == CB_ERR ? -1 : static_cast<int>(entry);
}

BOOL open_dialog(HWND window, Win32Dialog& d) {
  d.window = window;
  SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&d));
  open_settings_dialog(d.model, d.engine, d.store, search_packages({program_directory_win32()}),
                       window_text(information_control(window)));
  SetFocus(window);
  fill_package_list(d);
  fill_resolution_list(d);
  show_check_boxes(d);
  HWND area = GetDlgItem(window, kIdThumbnail);
  d.thumbnail_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(area, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thumbnail_area_proc)));
  show_thumbnail(d);
  return TRUE;
}

BOOL command(HWND window, Win32Dialog& d, int id, int notification) {
  const unsigned serial = d.model.thumbnail_serial;
  int value = 0;
  if (id == kIdPackageList || id == kIdResolutionList)
    value = selected_entry(window, id);
  else if (IsDlgButtonChecked(window, id) == BST_CHECKED)
    value = 1;
  const int handled = settings_dialog_command(d.model, id, notification, value);
  if (!handled) return FALSE;
  // The speed boxes clear each other.
  show_check_boxes(d);
  if (d.model.thumbnail_serial != serial) show_thumbnail(d);
  if (d.model.save_failed) {
    const std::string_view why = dialog_information(d.model);
    MessageBoxA(window, std::string(why).c_str(), kSettingsDialogCaption, MB_OK | MB_ICONERROR);
  }
  if (d.model.end != DialogEnd::open) EndDialog(window, 1);
  return TRUE;
}

INT_PTR CALLBACK settings_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) return open_dialog(window, *reinterpret_cast<Win32Dialog*>(lparam));
  Win32Dialog* d = dialog_of(window);
  if (!d) return FALSE;
  switch (message) {
    case WM_COMMAND:
      return command(window, *d, LOWORD(wparam), HIWORD(wparam));
    case WM_PAINT:
      // The dialog's own painting goes on.
      draw_thumbnail(*d);
      return FALSE;
    case WM_DESTROY:
      if (d->thumbnail_proc)
        SetWindowLongPtrA(GetDlgItem(window, kIdThumbnail), GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(d->thumbnail_proc));
      d->thumbnail_proc = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

// The dialog uses the system's own control classes only.
int register_dialog_classes(HINSTANCE) { return 1; }

}  // namespace

int run_settings_dialog(const SettingsDialogRequest& request) {
  HWND parent = nullptr;
  if (request.owned) {
    if (request.parent_window) parent = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*request.parent_window));
    if (!parent || !IsWindow(parent)) parent = GetForegroundWindow();
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  register_dialog_classes(instance);
  auto d = std::make_unique<Win32Dialog>();
  open_log_from_environment(d->engine.log, [] { return debug_log_path_win32(); }, "kelvo");
  const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(KELVO_CONFIG_DIALOG_ID), parent,
                                         settings_dialog_proc, reinterpret_cast<LPARAM>(d.get()));
  debug_log(d->engine.log, "settings dialog: %s",
            result == -1                         ? "cannot be shown"
            : d->model.end == DialogEnd::ok      ? "OK, settings written"
                                                 : "cancelled");
  return result == -1 ? 1 : 0;
}

}  // namespace kelvo
