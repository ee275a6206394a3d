// The Linux dialog's face: Dear ImGui widgets placed where the template puts
// its controls, scaled from dialog units to pixels, over the platform-free
// dialog state; and the keyboard, as a dialog manager handles it (Tab moves
// the focus, Space toggles or presses, Enter is OK, Escape is Cancel). Draws
// with OpenGL through ImGui's OpenGL2 renderer; no SDL here.
#pragma once

#include "config/settings_dialog_model.h"

struct ImFont;

namespace kelvo {

enum class DialogKey { tab, back_tab, space, enter, escape, up, down, home, end, open_list };

struct SettingsDialogView {
  float unit_x = 2.0f;  // pixels per horizontal dialog unit
  float unit_y = 2.0f;  // pixels per vertical dialog unit
  ImFont* small_font = nullptr;  // for the information line; null: the default

  int focus = kIdPackageList;  // the control with the keyboard focus
  int open_list = 0;           // the list dropped down, 0 for none
  bool open_pending = false;   // its drop-down is shown from the next frame on
  int list_hot = -1;           // its highlighted entry
  bool scroll_to_hot = false;

  unsigned texture = 0;                 // GL texture of the thumbnail, 0 for none
  unsigned texture_serial = ~0u;        // the thumbnail the texture shows
};

// Dialog units to pixels the way a dialog manager scales them: a quarter of
// the font's average letter width, an eighth of its height.
void set_dialog_units(SettingsDialogView& v, float average_letter_width, float font_height);
int dialog_pixel_width(const SettingsDialogView& v);
int dialog_pixel_height(const SettingsDialogView& v);

// One key press.
void dialog_view_key(SettingsDialogView& v, SettingsDialog& d, DialogKey key);

// Builds this frame's widgets (between ImGui::NewFrame and ImGui::Render)
// and passes what the mouse did to the dialog as commands. Needs the GL
// context current: the thumbnail's texture is replaced here when the
// thumbnail changed.
void draw_settings_dialog(SettingsDialogView& v, SettingsDialog& d);

// Releases the thumbnail's texture.
void release_dialog_view(SettingsDialogView& v);

}  // namespace kelvo
