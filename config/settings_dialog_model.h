// The configuration dialog's behaviour, written once for every platform.
//
// The dialog template (control ids, kinds, texts and positions in dialog
// units), what opening the dialog does, what each command from a control
// does, and the thumbnail to paint. A platform's half draws the controls from
// this state and passes the user's actions in as commands: the Win32 dialog
// procedure from its messages, the Linux window from Dear ImGui's widgets.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/thumbnail_bitmap.h"
#include "host/base/platform.h"
#include "package/package_search.h"
#include "scene/engine_state.h"

namespace kelvo {

// Control ids of the dialog template.
inline constexpr int kIdPackageList = 1000;
inline constexpr int kIdResolutionList = 1001;
inline constexpr int kIdSounds = 1002;
inline constexpr int kIdOk = 1003;
inline constexpr int kIdCancel = 1004;
inline constexpr int kIdFog = 1005;
inline constexpr int kIdRandom = 1006;
inline constexpr int kIdDoubleSpeed = 1007;
inline constexpr int kIdColors = 1008;
inline constexpr int kIdHalfSpeed = 1009;
inline constexpr int kIdThumbnail = 1010;
// What a dialog manager sends for Enter without a default button (IDOK) and
// for Escape and the close box (IDCANCEL).
inline constexpr int kIdDialogOk = 1;
inline constexpr int kIdDialogCancel = 2;
// Controls without an id (group boxes, labels).
inline constexpr int kIdStatic = -1;

// Notification codes of a command: a button was clicked (BN_CLICKED), a
// list's selection changed (CBN_SELCHANGE).
inline constexpr int kNotifyClicked = 0;
inline constexpr int kNotifySelectionChange = 1;

enum class ControlKind {
  group_box,
  thumbnail_area,     // black, sunken; the thumbnail is drawn stretched into it
  drop_down_list,     // closed height is one line; the rest is the dropped list
  information_text,   // the line saying where packages are found
  label,
  check_box,
  push_button,
  default_push_button,
};

struct DialogControl {
  int id;
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
};

inline constexpr const char* kSettingsDialogCaption = "Kelvo Engine v1.3.1";
inline constexpr int kSettingsDialogWidth = 237;  // dialog units
inline constexpr int kSettingsDialogHeight = 150;

// The template's controls in its order, which is also the keyboard order.
extern const std::array<DialogControl, 15> kSettingsDialogControls;

const DialogControl* find_dialog_control(int id);
// The control Tab (forward) or Shift+Tab moves the focus to from `id`: the
// lists, check boxes and buttons in template order, wrapping round.
int next_tab_stop(int id, bool forward);

// The resolution list's entries; entry i sets ResX and ResY.
inline constexpr std::array<const char*, 5> kResolutionTexts = {"640x480", "800x600", "1024x768", "1280x1024",
                                                                "1600x1200"};
inline constexpr std::array<std::array<int, 2>, 5> kResolutions = {
    {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}}};

// The check boxes, in template order.
inline constexpr std::array<int, 6> kCheckBoxIds = {kIdSounds, kIdFog, kIdRandom, kIdColors, kIdDoubleSpeed,
                                                    kIdHalfSpeed};

enum class DialogEnd { open, ok, cancel };

// The thumbnail member every package may carry, and the largest one read.
inline constexpr std::string_view kThumbnailMember = "THUMB.BMP";
inline constexpr std::size_t kMaxThumbnailFileSize = 16 * 1024 * 1024;

struct SettingsDialog {
  // The settings in memory and where they are stored; owned by the caller.
  Engine* settings = nullptr;
  SettingsStore* store = nullptr;

  std::string information;             // the information line's text
  std::vector<PackageEntry> packages;  // sorted, as the list shows them
  int package_selection = -1;          // -1: no entry selected
  int resolution_selection = -1;
  std::array<bool, kCheckBoxIds.size()> checked{};  // by kCheckBoxIds order

  // The selected package's thumbnail; replaced (and `thumbnail_serial`
  // counted up) whenever another package is shown.
  std::optional<DibBitmap> thumbnail;
  unsigned thumbnail_serial = 0;

  bool save_failed = false;  // OK could not write the settings; still open
  DialogEnd end = DialogEnd::open;
};

// Opening the dialog: reads the settings (a value that cannot be read takes
// its default and is stored; the others are kept), fills the package list (sorted without regard to case)
// and the resolution list, selects the module's package and the stored size
// (none when the size is not in the list), sets the check boxes and loads the
// selected package's thumbnail. Returns 1.
int open_settings_dialog(SettingsDialog& d, Engine& settings, SettingsStore& store, std::vector<PackageEntry> packages,
                         std::string information);

// A command from control `id` with its notification code; `value` is what
// the control shows now: a check box's state (0 or 1), a list's selected
// entry (-1 for none). Returns 1 when the command was handled, 0 otherwise.
int settings_dialog_command(SettingsDialog& d, int id, int notification, int value);

bool dialog_checked(const SettingsDialog& d, int id);

// The text the information line shows: where packages are found, or why
// saving failed.
std::string_view dialog_information(const SettingsDialog& d);

// The entry a list would select for `text`: an entry equal to it without
// regard to case, else the first entry that starts with it, searched from
// the second entry on and wrapping round to the first; -1 when none.
int find_list_entry(const std::vector<PackageEntry>& entries, std::string_view text);

// The thumbnail a package carries, read from the package in memory; none
// (with the reason in `log`) when it has none or cannot be read.
std::optional<DibBitmap> load_package_thumbnail(const std::string& package_path, DebugLog& log);

}  // namespace kelvo
