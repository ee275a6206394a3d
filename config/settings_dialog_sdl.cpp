// The configuration dialog on Linux (not drawn yet).
#include "config/settings_dialog.h"

#include <cstdio>

namespace kelvo {

int run_settings_dialog(const SettingsDialogRequest&) {
  std::fputs("kelvo: the configuration dialog is not available in this build; edit ~/.config/kelvo/settings\n",
             stderr);
  return 1;
}

}  // namespace kelvo
