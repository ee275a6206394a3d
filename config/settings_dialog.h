// The configuration dialog as a program mode: a window of its own where the
// user picks the scene package, the resolution and the options, stored on OK.
#pragma once

#include <cstdint>
#include <optional>

namespace kelvo {

struct SettingsDialogRequest {
  // The window the dialog belongs to, when the caller named one.
  std::optional<std::uint64_t> parent_window;
  // Whether it belongs to a window at all; when the named one is not a
  // window, the foreground window is taken.
  bool owned = false;
};

// Shows the dialog until OK, Cancel or closing. Returns the process's exit
// status: 0 after OK or Cancel, 1 when the dialog could not be shown.
int run_settings_dialog(const SettingsDialogRequest& request);

}  // namespace kelvo
