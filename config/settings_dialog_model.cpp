#include "config/settings_dialog_model.h"

#include <algorithm>
#include <cstdio>

#include "host/base/text_helpers.h"
#include "host/settings.h"
#include "package/member_read.h"

namespace kelvo {

const std::array<DialogControl, 15> kSettingsDialogControls = {{
    {kIdStatic, ControlKind::group_box, "Select Module", 5, 5, 113, 140},
    {kIdThumbnail, ControlKind::thumbnail_area, "", 10, 16, 106, 76},
    {kIdPackageList, ControlKind::drop_down_list, "", 10, 94, 105, 57},
    {kIdStatic, ControlKind::information_text, "", 13, 120, 99, 18},
    {kIdStatic, ControlKind::group_box, "Options", 119, 5, 113, 122},
    {kIdSounds, ControlKind::check_box, "Enable Sounds", 125, 17, 79, 11},
    {kIdFog, ControlKind::check_box, "Enable Fog", 125, 28, 75, 11},
    {kIdRandom, ControlKind::check_box, "Random Module", 125, 43, 76, 11},
    {kIdColors, ControlKind::check_box, "Random Colors", 125, 54, 76, 11},
    {kIdDoubleSpeed, ControlKind::check_box, "Double Speed", 125, 70, 101, 11},
    {kIdHalfSpeed, ControlKind::check_box, "Half Speed", 125, 81, 66, 11},
    {kIdStatic, ControlKind::label, "Resolution", 126, 100, 36, 10},
    {kIdResolutionList, ControlKind::drop_down_list, "", 167, 98, 62, 54},
    {kIdCancel, ControlKind::push_button, "Cancel", 125, 132, 49, 13},
    {kIdOk, ControlKind::default_push_button, "OK", 179, 132, 49, 13},
}};

namespace {

bool takes_focus(const DialogControl& c) {
  return c.kind == ControlKind::drop_down_list || c.kind == ControlKind::check_box ||
         c.kind == ControlKind::push_button || c.kind == ControlKind::default_push_button;
}

std::size_t check_index(int id) {
  return static_cast<std::size_t>(std::find(kCheckBoxIds.begin(), kCheckBoxIds.end(), id) - kCheckBoxIds.begin());
}

// The setting a plain check box stands for.
std::int32_t* check_setting(Engine& e, int id) {
  switch (id) {
    case kIdSounds: return &e.Sounds;
    case kIdFog: return &e.Fog;
    case kIdRandom: return &e.Random;
    case kIdColors: return &e.Colors;
    default: return nullptr;
  }
}

void set_checked(SettingsDialog& d, int id, bool on) {
  const std::size_t i = check_index(id);
  if (i < d.checked.size()) d.checked[i] = on;
}

void show_thumbnail(SettingsDialog& d) {
  d.thumbnail.reset();
  if (d.package_selection >= 0)
    d.thumbnail = load_package_thumbnail(d.packages[static_cast<std::size_t>(d.package_selection)].path,
                                         d.settings->log);
  ++d.thumbnail_serial;
}

}  // namespace

const DialogControl* find_dialog_control(int id) {
  for (const DialogControl& c : kSettingsDialogControls)
    if (c.id == id && id != kIdStatic) return &c;
  return nullptr;
}

int next_tab_stop(int id, bool forward) {
  const int n = static_cast<int>(kSettingsDialogControls.size());
  int at = 0;
  while (at < n && kSettingsDialogControls[static_cast<std::size_t>(at)].id != id) ++at;
  if (at == n) at = forward ? n - 1 : 0;  // an unknown id: start at the first stop
  for (int step = 1; step <= n; ++step) {
    const int i = ((forward ? at + step : at - step) % n + n) % n;
    const DialogControl& c = kSettingsDialogControls[static_cast<std::size_t>(i)];
    if (takes_focus(c)) return c.id;
  }
  return id;
}

bool dialog_checked(const SettingsDialog& d, int id) {
  const std::size_t i = check_index(id);
  return i < d.checked.size() && d.checked[i];
}

std::string_view dialog_information(const SettingsDialog& d) {
  if (d.save_failed) return "The settings could not be saved. Nothing was changed.";
  return d.information;
}

int find_list_entry(const std::vector<PackageEntry>& entries, std::string_view text) {
  // An exact entry first: a prefix search alone would pick "kelvo2" for the
  // module "kelvo" when both exist.
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (equal_ignoring_case(entries[i].name, text)) return static_cast<int>(i);
  const std::size_t n = entries.size();
  for (std::size_t step = 1; step <= n; ++step) {
    const std::size_t i = step % n;
    if (starts_with_ignoring_case(entries[i].name, text)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<DibBitmap> load_package_thumbnail(const std::string& package_path, DebugLog& log) {
  MemberRead member = read_package_member(package_path, kThumbnailMember, kMaxThumbnailFileSize);
  if (member.status != MemberReadStatus::found) {
    debug_log(log, "thumbnail of %s: %s", package_path.c_str(), member_read_status_text(member.status));
    return std::nullopt;
  }
  BitmapReadResult bitmap = read_bitmap(member.data);
  if (!bitmap.bitmap) debug_log(log, "thumbnail of %s: %s", package_path.c_str(), bitmap.error.c_str());
  return std::move(bitmap.bitmap);
}

int open_settings_dialog(SettingsDialog& d, Engine& settings, SettingsStore& store, std::vector<PackageEntry> packages,
                         std::string information) {
  d = SettingsDialog{};
  d.settings = &settings;
  d.store = &store;
  d.information = std::move(information);
  Engine& e = settings;
  // A value that cannot be read takes its default alone and the store is
  // completed; the user's other choices stay, even after Cancel.
  load_settings(e, store);

  // The package list sorts itself, as a sorted list control does.
  d.packages = std::move(packages);
  std::stable_sort(d.packages.begin(), d.packages.end(), [](const PackageEntry& a, const PackageEntry& b) {
    return compare_ignoring_case(a.name, b.name) < 0;
  });
  d.package_selection = find_list_entry(d.packages, e.Module);

  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", e.ResX, e.ResY);
  d.resolution_selection = -1;
  for (std::size_t i = 0; i < kResolutionTexts.size(); ++i)
    if (kResolutionTexts[i] == std::string_view(size)) d.resolution_selection = static_cast<int>(i);

  set_checked(d, kIdSounds, e.Sounds != 0);
  set_checked(d, kIdFog, e.Fog != 0);
  set_checked(d, kIdRandom, e.Random != 0);
  set_checked(d, kIdDoubleSpeed, e.Speed == 1);
  set_checked(d, kIdHalfSpeed, e.Speed == 2);
  set_checked(d, kIdColors, e.Colors != 0);

  show_thumbnail(d);
  return 1;
}

int settings_dialog_command(SettingsDialog& d, int id, int notification, int value) {
  Engine& e = *d.settings;
  switch (id) {
    case kIdResolutionList:
      if (notification != kNotifySelectionChange) return 0;
      if (value >= 0 && value < static_cast<int>(kResolutions.size())) {
        d.resolution_selection = value;
        e.ResX = kResolutions[static_cast<std::size_t>(value)][0];
        e.ResY = kResolutions[static_cast<std::size_t>(value)][1];
      }
      return 1;
    case kIdPackageList:
      if (notification != kNotifySelectionChange) return 0;
      if (value >= 0 && value < static_cast<int>(d.packages.size())) {
        d.package_selection = value;
        e.Module = d.packages[static_cast<std::size_t>(value)].name;
        show_thumbnail(d);
      }
      return 1;
    case kIdSounds:
    case kIdFog:
    case kIdRandom:
    case kIdColors:
      set_checked(d, id, value != 0);
      *check_setting(e, id) = value != 0 ? 1 : 0;
      return 1;
    case kIdDoubleSpeed:
    case kIdHalfSpeed: {
      const bool on = value != 0;
      set_checked(d, id, on);
      if (on) set_checked(d, id == kIdDoubleSpeed ? kIdHalfSpeed : kIdDoubleSpeed, false);
      e.Speed = on ? (id == kIdDoubleSpeed ? 1 : 2) : 0;
      return 1;
    }
    case kIdOk:
    case kIdDialogOk:
      // Without a selected entry (an empty list, or a module that is not in
      // it) the module name stays as it is.
      if (d.package_selection >= 0) e.Module = d.packages[static_cast<std::size_t>(d.package_selection)].name;
      d.save_failed = write_settings(e, *d.store) == 0;
      if (!d.save_failed) d.end = DialogEnd::ok;
      return 1;
    case kIdCancel:
    case kIdDialogCancel:
      d.end = DialogEnd::cancel;
      return 1;
    default:
      return 0;
  }
}

}  // namespace kelvo
