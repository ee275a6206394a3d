// The configuration dialog on Windows (not built yet).
#include <windows.h>

#include "config/settings_dialog.h"

namespace kelvo {

int run_settings_dialog(const SettingsDialogRequest& request) {
  HWND parent = request.parent_window ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*request.parent_window))
                                      : nullptr;
  if (!parent || !IsWindow(parent)) parent = GetForegroundWindow();
  MessageBoxA(parent, "The settings dialog is not built yet. The settings are stored in the registry under "
              "HKEY_CURRENT_USER\\SOFTWARE\\Kelvo.", "Kelvo", MB_OK | MB_ICONINFORMATION);
  return 0;
}

}  // namespace kelvo
