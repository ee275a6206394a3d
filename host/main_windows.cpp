// The Windows screen saver kelvo.scr: the system starts it with a command line
// that names the mode (full screen, preview in a window, configuration).
#include <windows.h>

#include <string>

#include "config/settings_dialog.h"
#include "host/mode_dispatch.h"
#include "host/saver_window_win32.h"

namespace {

// A window number from the command line, as a window of this desktop.
HWND window_from_number(std::uint64_t number) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(number));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const kelvo::ModeRequest request = kelvo::dispatch_mode(kelvo::skip_program_name(GetCommandLineA()));
  switch (request.mode) {
    case kelvo::SaverMode::full_screen:
      return kelvo::run_saver(instance, nullptr);
    case kelvo::SaverMode::preview: {
      HWND parent = window_from_number(*request.window);
      if (!IsWindow(parent)) return kelvo::kModeRefusedExit;
      return kelvo::run_saver(instance, parent);
    }
    case kelvo::SaverMode::config: {
      kelvo::SettingsDialogRequest dialog;
      dialog.parent_window = request.window;
      dialog.owned = request.config_owned;
      return kelvo::run_settings_dialog(dialog);
    }
    case kelvo::SaverMode::change_password:
      // Only the consumer line of Windows keeps a screen-saver password.
    case kelvo::SaverMode::invalid:
      break;
  }
  return kelvo::kModeRefusedExit;
}
