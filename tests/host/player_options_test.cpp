#include "host/player_options.h"

#include "host/settings.h"
#include "support/recording_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace kelvo {
namespace {

using Args = std::vector<std::string_view>;

// The options a command line set, in a fixed order, for comparison.
std::string describe(const PlayerOptions& o) {
  static const char* const modes[] = {"config", "", "preview", "password", "refused"};
  std::ostringstream s;
  if (o.mode != SaverMode::full_screen) s << " " << modes[static_cast<int>(o.mode)];
  if (o.config_parent) s << " parent=" << *o.config_parent;
  for (const auto& [name, value] : o.settings) s << " " << name << "=" << value;
  if (!o.package_file.empty()) s << " package=" << o.package_file;
  if (!o.data_dir.empty()) s << " data=" << o.data_dir;
  if (o.window) s << " window";
  if (o.width || o.height) s << " size=" << o.width << "x" << o.height;
  if (o.help) s << " help";
  if (o.root) s << " root";
  if (o.fps) s << " fps";
  if (o.fps_value) s << "=" << *o.fps_value;
  if (o.window_id) s << " id=" << *o.window_id;
  if (o.render_frames) s << " render=" << o.render_frames;
  if (!o.out_dir.empty()) s << " out=" << o.out_dir;
  return s.str();
}

// What an accepted command line sets, or "!" and part of the message.
TEST(PlayerOptions, CommandLinesAreParsedOrRefusedNamingTheProblem) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{}, ""},  // full screen as configured
      {{"--package=../other/./x.pak"}, " package=/home/other/x.pak"},
      {{"--size=320X240", "-window"}, " ResX=320 ResY=240 window size=320x240"},
      {{"--help", "--no-such-option"}, " help"},  // help stops parsing
      // Screen-saver daemon conventions: -fps takes a number when one follows.
      {{"--root", "--fps"}, " root fps"}, {{"-fps", "30", "-root"}, " root fps=30"},
      {{"--fps=12.5"}, " fps=12.5"},
      {{"-window-id", "0x3a00007"}, " preview id=60817415"},
      // Headless rendering; its frames may be smaller than a player window.
      {{"--out=/x/", "--render=1000000", "--package", "p.pak"}, " package=/home/me/p.pak render=1000000 out=/x/"},
      {{"--render", "1", "--out", "/d", "--size", "16x16"}, " ResX=16 ResY=16 size=16x16 render=1 out=/d"},
      {{"--bogus"}, "!unknown option '--bogus'"}, {{"--fps", "-5"}, "!unknown option '-5'"},
      {{"scene.pak"}, "!unexpected argument 'scene.pak'"}, {{"--package="}, "!non-empty"},
      {{"--window=yes"}, "!takes no value"}, {{"--data"}, "!needs a value"},
      {{"--package", "a.pak", "--data", "dir"}, "!cannot be used together"},
      {{"--window-id", "0x1FFFFFFFFFFFFFFFF"}, "!--window-id"}, {{"--size", "99999999999x1"}, "!--size"},
      // The Windows-style modes first on the line, through the shared
      // dispatch; options may follow them.
      {{"-S", "--fps", "30"}, " fps=30"}, {{"-p1234", "-fps"}, " preview fps id=1234"}, {{"/l", "77x"}, " preview id=77"},
      {{"/c"}, " config"}, {{"-c:3000"}, " config parent=3000"}, {{"/c", "--fps"}, "!no other options"},
      {{"--config"}, " config"}, {{"--fps", "--config"}, "!no other options"},
      {{"/a", "55"}, " password"}, {{"/p"}, " refused id=0"}, {{"/x"}, " refused"},
      {{"-sounds"}, " Sounds=1"},  // an option, not the mode S
      // Settings for this run.
      {{"--no-sounds", "--fog", "--speed", "HALF", "--colors", "--no-random", "--size", "640x480"},
       " Sounds=0 Fog=1 Speed=2 Colors=1 Random=0 ResX=640 ResY=480 size=640x480"},
      {{"--module", "forest.PAK"}, " Module=forest Random=0"}, {{"--random", "--module=x"}, " Random=1 Module=x"},
      {{"--speed", "fast"}, "!--speed needs normal, double or half"}, {{"--module", "../x"}, "!--module"},
      {{"--module", "a", "--package", "b.pak"}, "!--module does not go with"}, {{"--fog=1"}, "!takes no value"},
      // What XScreenSaver passes, accepted and ignored.
      {{"-install", "-visual", "0x21", "-mono", "--no-fps", "-root"}, " root"},
      {{"--window-id", "5", "--root"}, "!does not go with --root"}, {{"-p", "5", "--size", "64x64"}, "!--size"},
      {{"--root", "--window"}, "!--root does not go with --window"},
      {{"--render", "3"}, "!--out"}, {{"--out", "d"}, "!--render"},
      {{"--render", "0", "--out", "d"}, "!render"}, {{"--render", "3", "--out", "d", "--window"}, "!--window"},
      {{"--size", "64x48"}, "!from 64"}, {{"--render", "1", "--out", "d", "--size", "15x48"}, "!from 16 to 8192"},
      {{"--fps=5000"}, "!--fps needs a number of frames per second from 0 to 1000"},
      {{"--fps", "1e3"}, "!--fps"},
  };
  for (const auto& [args, expected] : cases) {
    PlayerOptions o;
    std::string error;
    const bool ok = parse_player_options(args, "/home/me", o, error);
    if (expected.starts_with('!'))
      EXPECT_TRUE(!ok && error.find(expected.substr(1)) != std::string::npos) << expected << ", got: " << error;
    else
      EXPECT_TRUE(ok && describe(o) == expected) << expected << ", got:" << describe(o) << " " << error;
  }
}

TEST(PlayerOptions, FpsPacing) {
  // -fps given, its number and the display's refresh rate; the frame rate and vsync.
  using Case = std::tuple<bool, std::optional<double>, int, double, bool>;
  for (const auto& [fps, cap, refresh, rate, vsync] : std::vector<Case>{
           {false, {}, 0, 60, true},     // one frame per refresh, 60 when the display does not say
           {true, {}, 75, 75, true},     // a bare -fps from a daemon changes nothing
           {true, 30, 60, 30, true},     // a cap below the refresh rate keeps vsync ...
           {true, 144, 60, 144, false},  // ... one above drops it, or vsync would hold the rate down
           {true, 0, 60, 0, false},      // as fast as possible: no timer, no vsync
       }) {
    SCOPED_TRACE(testing::Message() << cap.value_or(-1) << " at " << refresh);
    PlayerOptions o;
    o.fps = fps;
    o.fps_value = cap;
    const FramePacing pacing = frame_pacing(o, refresh);
    EXPECT_DOUBLE_EQ(pacing.frames_per_second, rate);
    EXPECT_EQ(pacing.vsync, vsync);
  }
}

// Settings given on the command line apply to this run; the stored file
// keeps its values, or gets the defaults when it had none.
TEST(PlayerOptions, SettingsOfTheCommandLineNeverReachTheStoredFile) {
  PlayerOptions o;
  std::string error;
  ASSERT_TRUE(parse_player_options({"--no-fog", "--speed", "double", "--module", "forest", "--size", "1024x768"}, "/",
                                   o, error));
  test::MemorySettings file;
  file.exists = true;
  file.values = {{"Module", "mine"}, {"Sounds", "0"}, {"Fog", "1"}, {"ResX", "800"},
                 {"ResY", "600"}, {"Random", "1"}, {"Speed", "0"}, {"Colors", "1"}};
  const auto stored = file.values;
  OverrideStore store(file);
  store.set(o.settings);
  Engine e;
  ASSERT_EQ(read_settings(e, store), 1);
  EXPECT_EQ(e.Module, "forest");
  EXPECT_EQ((std::array{e.Sounds, e.Fog, e.ResX, e.ResY, e.Random, e.Speed, e.Colors}),
            (std::array{0, 0, 1024, 768, 0, 1, 1}));
  e.Colors = 0;  // a value of the file's own still changes
  ASSERT_EQ(write_settings(e, store), 1);
  auto expected = stored;
  expected["Colors"] = "0";
  EXPECT_EQ(file.values, expected);
  // A missing file is written with the defaults; this run still has its own.
  test::MemorySettings empty;
  OverrideStore fresh(empty);
  fresh.set(o.settings);
  ASSERT_EQ(store_defaults(e, fresh), 1);
  EXPECT_EQ(empty.values.at("Module"), "kelvo");
  EXPECT_EQ(empty.values.at("Fog"), "1");
  EXPECT_EQ(empty.values.at("Speed"), "0");
  EXPECT_EQ((std::array{e.Fog, e.Speed, e.ResX}), (std::array{0, 1, 1024}));
}

TEST(PlayerOptions, NamedPackageAndFolderMustBeThere) {
  test::TempDir dir;
  dir.write("A.pak", "x");
  std::string error;
  for (const auto& [package, data, expected] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {dir.file("A.pak"), "", ""},
           {"", dir.path(), ""},
           {dir.file("B.pak"), "", "B.pak: No such file"},
           {dir.path(), "", ": not a file"},
           {"", dir.file("A.pak"), "A.pak: not a folder"},
       }) {
    PlayerOptions o;
    o.package_file = package, o.data_dir = data;
    error.clear();
    EXPECT_EQ(check_player_inputs(o, error), expected.empty()) << package << data;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  // --module names a package of the package folders, in any case.
  PlayerOptions o;
  ASSERT_TRUE(parse_player_options({"--module", "a"}, "/", o, error));
  EXPECT_TRUE(check_module(o, {"/nonexistent/", dir.path()}, error));
  ASSERT_TRUE(parse_player_options({"--module", "b"}, "/", o, error));
  EXPECT_FALSE(check_module(o, {"/nonexistent/", dir.path()}, error));
  EXPECT_EQ(error, "--module: no package b.pak in /nonexistent/, " + dir.path());
}

}  // namespace
}  // namespace kelvo
