#include "host/player_options.h"

#include "support/recording_platform.h"

#include <gtest/gtest.h>

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
  std::ostringstream s;
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
      {{"--size=320X240", "-window"}, " window size=320x240"},
      {{"--help", "--no-such-option"}, " help"},  // help stops parsing
      // Screen-saver daemon conventions: -fps takes a number when one follows.
      {{"--root", "--fps"}, " root fps"}, {{"-fps", "30", "-root"}, " root fps=30"},
      {{"--fps", "--window"}, " window fps"}, {{"--fps=12.5"}, " fps=12.5"},
      {{"-window-id", "0x3a00007"}, " id=60817415"},
      // Headless rendering; its frames may be smaller than a player window.
      {{"--out=/x/", "--render=1000000", "--package", "p.pak"}, " package=/home/me/p.pak render=1000000 out=/x/"},
      {{"--render", "1", "--out", "/d", "--size", "16x16"}, " size=16x16 render=1 out=/d"},
      {{"--bogus"}, "!unknown option '--bogus'"}, {{"--fps", "-5"}, "!unknown option '-5'"},
      {{"scene.pak"}, "!unexpected argument 'scene.pak'"}, {{"--package="}, "!non-empty"},
      {{"--window=yes"}, "!takes no value"}, {{"--data"}, "!needs a value"},
      {{"--package", "a.pak", "--data", "dir"}, "!cannot be used together"},
      {{"--window-id", "0x1FFFFFFFFFFFFFFFF"}, "!--window-id"}, {{"--size", "99999999999x1"}, "!--size"},
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
}

}  // namespace
}  // namespace kelvo
