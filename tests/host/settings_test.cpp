#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "host/settings.h"
#include "host/settings_file.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::MemorySettings;
using test::TempDir;

TEST(Settings, AMissingOrIncompleteStoreIsReplacedByTheDefaults) {
  const std::map<std::string, std::string, std::less<>> defaults = {
      {"Module", "kelvo"}, {"Sounds", "1"}, {"Fog", "1"},   {"ResX", "800"},
      {"ResY", "600"},     {"Random", "0"}, {"Speed", "0"}, {"Colors", "0"}};
  MemorySettings incomplete;
  incomplete.exists = true;
  incomplete.values = {{"Module", "forest"}, {"Sounds", "0"}, {"Fog", "0"}, {"ResX", "1024x"},
                       {"ResY", "768"},      {"Random", "1"}, {"Speed", "2"}};  // no Colors
  Engine f;
  f.Colors = 5;
  EXPECT_EQ(read_settings(f, incomplete), 0);
  // What was read before the missing value holds; the rest keeps its value.
  EXPECT_EQ((std::array{f.Speed, f.Colors}), (std::array{2, 5}));
  EXPECT_EQ(f.Module, "forest");
  EXPECT_EQ(store_defaults(f, incomplete), 1);
  EXPECT_EQ(incomplete.values, defaults);
  EXPECT_EQ(f.Module, "kelvo");

  // A refused write still leaves the defaults in memory.
  MemorySettings refusing;
  refusing.writable = false;
  f.Module = "x";
  EXPECT_EQ(store_defaults(f, refusing), 0);
  EXPECT_EQ(f.Module, "kelvo");
}

TEST(Settings, NumbersReadWithTheLeadingDigitsConversion) {
  MemorySettings store;
  store.exists = true;
  store.values = {{"Module", std::string(300, 'm')}, {"Sounds", "abc"}, {"Fog", " 7"}, {"ResX", "1024x"},
                  {"ResY", "-12"}, {"Random", "99999999999"}, {"Speed", "+2"}, {"Colors", ""}};
  Engine e;
  EXPECT_EQ(read_settings(e, store), 1);
  EXPECT_EQ(e.Module.size(), 254u);  // the value buffer holds 254 characters
  EXPECT_EQ((std::array{e.Sounds, e.Fog, e.ResX, e.ResY, e.Random, e.Speed, e.Colors}),
            (std::array{0, 7, 1024, -12, INT32_MAX, 2, 0}));
}

TEST(SettingsFile, WritesAtomicallyAndReadsBack) {
  TempDir dir;
  const std::string path = dir.file("config/kelvo/settings");
  SettingsFile file(path);
  Engine e;
  EXPECT_EQ(store_defaults(e, file), 1);  // the folders are made
  const std::string text = dir.read("config/kelvo/settings");
  EXPECT_NE(text.find("\nResX=800\n"), std::string::npos) << text;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  e.Module = "line\nbreak";
  e.ResX = 1280;
  EXPECT_EQ(write_settings(e, file), 1);
  Engine back;
  EXPECT_EQ(read_settings(back, file), 1);
  EXPECT_EQ(back.Module, "line break");
  EXPECT_EQ(back.ResX, 1280);
  // Only the settings file is left: the temporary file was renamed over it.
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp" + std::to_string(::getpid())));
}

TEST(SettingsFile, AFailedWriteKeepsTheOldFile) {
  TempDir dir;
  dir.write("settings", "Module=mine\n");
  SettingsFile file(dir.file("settings"));
  // The temporary file cannot be created: a directory stands in its way.
  ASSERT_EQ(::mkdir(dir.file("settings.tmp" + std::to_string(::getpid())).c_str(), 0700), 0);
  EXPECT_FALSE(file.write({{"Module", "theirs"}}));
  EXPECT_EQ(dir.read("settings"), "Module=mine\n");
  EXPECT_FALSE(SettingsFile(dir.file("settings/inside")).write({{"Module", "x"}}));  // a file for a folder
}

}  // namespace
}  // namespace kelvo
