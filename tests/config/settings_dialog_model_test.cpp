// The configuration dialog's behaviour without a window: opening, the
// command table, OK and Cancel, thumbnails of good, bare and damaged
// packages, and the keyboard order.
#include <gtest/gtest.h>

#include <memory>

#include "config/settings_dialog_model.h"
#include "support/bmp_writer.h"
#include "support/package_bytes.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Values = std::map<std::string, std::string, std::less<>>;

using test::member;
using test::pak;

// A thumbnail of one colour, 2 x 2.
std::string thumbnail(char letter) {
  test::BmpLayout layout;
  test::encode_rows(layout, {std::string(2, letter), std::string(2, letter)});
  return test::write_bmp(layout);
}

Values stored(const std::string& module, int speed, int x, int y) {
  return {{"Module", module}, {"Sounds", "1"}, {"Fog", "0"},           {"ResX", std::to_string(x)},
          {"ResY", std::to_string(y)}, {"Random", "1"}, {"Speed", std::to_string(speed)}, {"Colors", "0"}};
}

struct DialogRig {
  test::TempDir dir;
  test::MemorySettings store;
  std::unique_ptr<Engine> e = std::make_unique<Engine>();
  SettingsDialog d;

  PackageEntry package(const std::string& name, const std::string& bytes) {
    dir.write(name + ".pak", bytes);
    return {name, dir.file(name + ".pak")};
  }
  void open(const Values& values, std::vector<PackageEntry> packages) {
    store.exists = true;
    store.values = values;
    open_settings_dialog(d, *e, store, std::move(packages), "where packages are");
  }
  // The colour the thumbnail shows at its top left, 0x00RRGGBB; -1 for none.
  long thumbnail_colour() const {
    if (!d.thumbnail) return -1;
    const RgbaImage image = bitmap_to_rgba(*d.thumbnail);
    return (image.pixels[0] << 16) | (image.pixels[1] << 8) | image.pixels[2];
  }
  // The six boxes in template order, checked or not: "101010".
  std::string boxes() const {
    std::string out;
    for (int id : {kIdSounds, kIdFog, kIdRandom, kIdColors, kIdHalfSpeed, kIdDoubleSpeed})
      out += dialog_checked(d, id) ? '1' : '0';
    return out;
  }
  std::vector<std::string> list() const {
    std::vector<std::string> names;
    for (const PackageEntry& p : d.packages) names.push_back(p.name);
    return names;
  }
};

TEST(SettingsDialog, OpeningSelectsTheModuleTheStoredSizeAndTheBoxes) {
  const std::vector<PackageEntry> ks = {{"kelvo2", "b"}, {"zeta", "c"}, {"kelvo", "a"}};
  const std::vector<PackageEntry> az = {{"Zeta", "z"}, {"Alpha", "a"}, {"kelvo", "k"}};
  struct Case {
    const char* module;
    const std::vector<PackageEntry>& packages;
    std::vector<std::string> sorted;
    int selected;
  } cases[] = {
      // An equal entry wins over "kelvo2", which the prefix search finds first.
      {"KELVO", ks, {"kelvo", "kelvo2", "zeta"}, 0},
      {"ke", ks, {"kelvo", "kelvo2", "zeta"}, 1},  // the prefix search starts at the second entry
      {"kelvo3", ks, {"kelvo", "kelvo2", "zeta"}, -1},
      {"al", az, {"Alpha", "kelvo", "Zeta"}, 0},  // ... and wraps round to the first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    DialogRig rig;
    rig.open(stored(c.module, 2, 1152, 864), c.packages);
    EXPECT_EQ(rig.list(), c.sorted);
    EXPECT_EQ(rig.d.package_selection, c.selected);
    EXPECT_EQ(rig.d.resolution_selection, -1);  // 1152x864 is not in the list
    EXPECT_EQ(rig.boxes(), "101010");
  }

  // No settings stored: the defaults are stored and shown.
  DialogRig fresh;
  open_settings_dialog(fresh.d, *fresh.e, fresh.store, {}, "");
  EXPECT_EQ(fresh.store.values, (Values{{"Module", "kelvo"}, {"Sounds", "1"}, {"Fog", "1"}, {"ResX", "800"},
                                         {"ResY", "600"}, {"Random", "0"}, {"Speed", "0"}, {"Colors", "0"}}));
  EXPECT_EQ(fresh.d.resolution_selection, 1);
  EXPECT_EQ(fresh.boxes(), "110000");

  // A bad value takes its default alone: the user's other choices are shown
  // and stay stored.
  DialogRig partly;
  Values bad = stored("other", 2, 1024, 768);
  bad["Colors"] = "x";
  partly.open(bad, {{"kelvo", "k"}, {"other", "o"}});
  Values completed = stored("other", 2, 1024, 768);
  EXPECT_EQ(partly.store.values, completed);
  EXPECT_EQ(partly.d.package_selection, 1);
  EXPECT_EQ(partly.d.resolution_selection, 2);
  EXPECT_TRUE(dialog_checked(partly.d, kIdHalfSpeed));
}

TEST(SettingsDialog, CommandTableSpeedBoxesResolutionOkAndCancel) {
  DialogRig rig;
  rig.open(stored("kelvo", 2, 1152, 864), {{"kelvo", "k"}, {"other", "o"}});
  Engine& e = *rig.e;
  SettingsDialog& d = rig.d;

  // Double Speed and Half Speed exclude each other; both clear is Speed 0.
  std::string speeds;
  for (const auto& [id, on] : {std::pair{kIdDoubleSpeed, 1}, {kIdDoubleSpeed, 0}, {kIdHalfSpeed, 1}}) {
    EXPECT_EQ(settings_dialog_command(d, id, kNotifyClicked, on), 1);
    speeds += std::to_string(e.Speed) + rig.boxes().substr(4) + " ";
  }
  EXPECT_EQ(speeds, "101 000 210 ");

  // Options change in memory; Cancel writes nothing and they stay changed.
  settings_dialog_command(d, kIdFog, kNotifyClicked, 1);
  settings_dialog_command(d, kIdSounds, 5, 0);  // any notification code
  settings_dialog_command(d, kIdColors, kNotifyClicked, 1);
  settings_dialog_command(d, kIdRandom, kNotifyClicked, 0);
  settings_dialog_command(d, kIdPackageList, kNotifySelectionChange, 1);
  EXPECT_EQ(settings_dialog_command(d, kIdCancel, kNotifyClicked, 0), 1);
  EXPECT_EQ(d.end, DialogEnd::cancel);
  EXPECT_EQ(rig.store.writes, 0);
  EXPECT_EQ(rig.store.values, stored("kelvo", 2, 1152, 864));
  EXPECT_EQ(e.Fog, 1);
  EXPECT_EQ(e.Module, "other");

  // OK keeps a size that is not in the list unless one is picked; list
  // notifications other than a selection change are not handled.
  d.end = DialogEnd::open;
  EXPECT_EQ(settings_dialog_command(d, kIdResolutionList, 7, 2), 0);
  settings_dialog_command(d, kIdOk, kNotifyClicked, 0);
  EXPECT_EQ(d.end, DialogEnd::ok);
  Values expected = {{"Module", "other"}, {"Sounds", "0"}, {"Fog", "1"},   {"ResX", "1152"},
                     {"ResY", "864"},     {"Random", "0"}, {"Speed", "2"}, {"Colors", "1"}};
  EXPECT_EQ(rig.store.values, expected);
  settings_dialog_command(d, kIdResolutionList, kNotifySelectionChange, 2);
  settings_dialog_command(d, kIdDialogOk, kNotifyClicked, 0);  // Enter without a default button
  expected["ResX"] = "1024";
  expected["ResY"] = "768";
  EXPECT_EQ(rig.store.values, expected);

  // Escape and the close box cancel; a store that refuses keeps the dialog
  // open and says so.
  d.end = DialogEnd::open;
  settings_dialog_command(d, kIdDialogCancel, kNotifyClicked, 0);
  EXPECT_EQ(d.end, DialogEnd::cancel);
  d.end = DialogEnd::open;
  rig.store.writable = false;
  settings_dialog_command(d, kIdOk, kNotifyClicked, 0);
  EXPECT_EQ(d.end, DialogEnd::open);
  EXPECT_NE(dialog_information(d).find("could not be saved"), std::string_view::npos);
}

TEST(SettingsDialog, OkWithoutASelectedPackageKeepsTheModule) {
  for (bool empty : {true, false}) {
    DialogRig rig;
    rig.open(stored("gone", 0, 800, 600), empty ? std::vector<PackageEntry>{} : std::vector<PackageEntry>{{"kelvo", "k"}});
    EXPECT_EQ(rig.d.package_selection, -1);
    EXPECT_FALSE(rig.d.thumbnail);
    settings_dialog_command(rig.d, kIdOk, kNotifyClicked, 0);
    EXPECT_EQ(rig.store.values.at("Module"), "gone");
  }
}

TEST(SettingsDialog, EachPackageShowsItsThumbnailOrTheBlackArea) {
  DialogRig rig;
  std::string damaged = pak(member("SCENE1.TXT", std::string(3000, 'x')) + member("THUMB.BMP", thumbnail('G')));
  damaged.resize(damaged.size() / 2);
  rig.open(stored("blue", 0, 800, 600),
           {rig.package("blue", pak(member("SCENE1.TXT", "s") + member("thumb.bmp", thumbnail('B')))),
            rig.package("red", pak(member("THUMB.BMP", thumbnail('R')))),
            rig.package("bare", pak(member("SCENE1.TXT", "no thumbnail"))),
            rig.package("damaged", damaged),
            rig.package("notpak", "plain text"),
            rig.package("badbmp", pak(member("THUMB.BMP", "BM not a bitmap")))});
  ASSERT_EQ(rig.list(), (std::vector<std::string>{"badbmp", "bare", "blue", "damaged", "notpak", "red"}));
  EXPECT_EQ(rig.thumbnail_colour(), 0x0000FF);
  unsigned serial = rig.d.thumbnail_serial;
  for (int entry : {5, 1, 3, 4, 0, 5}) {
    settings_dialog_command(rig.d, kIdPackageList, kNotifySelectionChange, entry);
    EXPECT_EQ(rig.thumbnail_colour(), entry == 5 ? 0xFF0000 : -1) << rig.list()[static_cast<std::size_t>(entry)];
    EXPECT_NE(rig.d.thumbnail_serial, serial);
    serial = rig.d.thumbnail_serial;
  }
  // Still usable after the damaged ones.
  settings_dialog_command(rig.d, kIdPackageList, kNotifySelectionChange, 3);
  settings_dialog_command(rig.d, kIdOk, kNotifyClicked, 0);
  EXPECT_EQ(rig.store.values.at("Module"), "damaged");
}

}  // namespace
}  // namespace kelvo
