#include "host/player_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/recording_platform.h"

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

TEST(PlayerOptions, AcceptedCommandLines) {
  const std::vector<std::pair<Args, const char*>> cases = {
      {{}, ""},  // full screen as configured
      {{"--package", "demo.pak"}, " package=/home/me/demo.pak"}, {{"--package", "/y.pak"}, " package=/y.pak"},
      {{"--package=../other/./x.pak"}, " package=/home/other/x.pak"},
      {{"--data", "level1"}, " data=/home/me/level1"}, {{"--data", "."}, " data=/home/me/"},
      {{"--window", "--size", "1024x768"}, " window size=1024x768"},
      {{"--size=320X240", "-window"}, " window size=320x240"}, {{"--size", "64x8192"}, " size=64x8192"},
      {{"--help", "--no-such-option"}, " help"}, {{"-h", "-x"}, " help"}, {{"-help"}, " help"},  // help stops parsing
      // Screen-saver daemon conventions: -fps takes a number when one follows.
      {{"-root"}, " root"}, {{"--root", "--fps"}, " root fps"}, {{"-fps", "30", "-root"}, " root fps=30"},
      {{"--fps", "--window"}, " window fps"}, {{"--fps=12.5"}, " fps=12.5"}, {{"--fps=0"}, " fps=0"},
      {{"--fps", "1000"}, " fps=1000"}, {{"-fps", "0.5"}, " fps=0.5"}, {{"--fps", "24.", "-window"}, " window fps=24"},
      {{"-window-id", "0x3a00007"}, " id=60817415"}, {{"--window-id", "60817415"}, " id=60817415"},
      {{"--window-id=0XFF"}, " id=255"},
      // Headless rendering; its frames may be smaller than a player window.
      {{"--render", "3", "--out", "frames"}, " render=3 out=/home/me/frames"},
      {{"--out=/x/", "--render=1000000", "--package", "p.pak"}, " package=/home/me/p.pak render=1000000 out=/x/"},
      {{"--size", "64x48", "--render", "3", "--out", "/d"}, " size=64x48 render=3 out=/d"},
      {{"--render", "1", "--out", "/d", "--size", "16x16"}, " size=16x16 render=1 out=/d"},
      {{"--render", "2", "--out", "/d", "--fps", "30"}, " fps=30 render=2 out=/d"},
  };
  for (const auto& [args, expected] : cases) {
    PlayerOptions o;
    std::string error;
    EXPECT_TRUE(parse_player_options(args, "/home/me", o, error)) << expected << ": " << error;
    EXPECT_EQ(describe(o), expected);
  }
  // Without a folder given, the current one is used.
  const char* argv[] = {"kelvo", "--data", "here", nullptr};
  PlayerOptions o;
  std::string error;
  ASSERT_TRUE(parse_player_options(3, argv, o, error)) << error;
  EXPECT_EQ(o.data_dir, std::filesystem::current_path().string() + "/here");
}

TEST(PlayerOptions, RefusedCommandLinesNameTheProblem) {
  std::vector<std::pair<Args, std::string_view>> cases = {
      {{"--bogus"}, "unknown option '--bogus'"}, {{"-x"}, "unknown option '-x'"}, {{"--h"}, "unknown option '--h'"},
      {{"--fps", "-5"}, "unknown option '-5'"},  // no number for --fps but an option
      {{"scene.pak"}, "unexpected argument 'scene.pak'"}, {{"-"}, "unexpected argument '-'"},
      {{"--package="}, "non-empty"}, {{"--window=yes"}, "takes no value"},
      {{"--package", "a.pak", "--data", "dir"}, "cannot be used together"},
      {{"--window-id", "0xZZ"}, "--window-id"}, {{"--window-id", "12ab"}, "--window-id"},
      {{"--window-id", "0x1FFFFFFFFFFFFFFFF"}, "--window-id"},
      {{"--render", "3"}, "--out"}, {{"--out", "d"}, "--render"},
      {{"--render", "3", "--out", "d", "--window"}, "--window"},
      {{"--render", "3", "--out", "d", "--data", "a", "--package", "b.pak"}, "together"},
      {{"--size", "64x48"}, "from 64"}, {{"--window", "--size", "48x64"}, "from 64"},
      {{"--render", "1", "--out", "d", "--size", "15x48"}, "from 16 to 8192 with --render"},
      {{"--render", "1", "--out", "d", "--size", "64x8193"}, "from 16 to 8192 with --render"},
  };
  for (std::string_view option : {"--package", "--data", "--size", "--window-id", "--render", "--out"})
    cases.push_back({{option}, "needs a value"});
  for (std::string_view bad : {"800", "800x", "x600", "63x600", "800x8193", "-800x600", "800x600x2", "8a0x600",
                               "99999999999x1"})
    cases.push_back({{"--size", bad}, "--size"});
  for (std::string_view bad : {"0", "-1", "x", "3x", "1000001", "", "2.5"})
    cases.push_back({{"--render", bad, "--out", "d"}, "render"});
  for (std::string_view bad : {"--fps=fast", "--fps=5000", "--fps=0x10", "--fps=", "--fps=-5"})
    cases.push_back({{bad}, "--fps needs a number of frames per second from 0 to 1000"});
  for (std::string_view bad : {"1001", "1000.5", "30fps", "1e3", ".", "1.2.3"})
    cases.push_back({{"--fps", bad}, "--fps needs a number of frames per second from 0 to 1000"});
  for (const auto& [args, expected] : cases) {
    PlayerOptions o;
    std::string error;
    EXPECT_FALSE(parse_player_options(args, "/home/me", o, error)) << expected;
    EXPECT_NE(error.find(expected), std::string::npos) << "wanted '" << expected << "', got: " << error;
  }
}

TEST(PlayerOptions, UsageListsEveryOptionOnceOnItsOwnLine) {
  const std::string usage = player_usage("kelvo");
  EXPECT_EQ(usage.rfind("Usage: kelvo", 0), 0u);
  for (std::string option : {"--package", "--data", "--window ", "--size", "--root", "--fps N", "--window-id",
                             "--help", "--render N", "--out DIR"}) {
    int lines = 0;
    std::istringstream in(usage);
    for (std::string line; std::getline(in, line);)
      lines += line.find("  " + option) != std::string::npos || line.find(", " + option) != std::string::npos;
    EXPECT_EQ(lines, 1) << option;
  }
  EXPECT_NE(usage.find("0 draws as fast"), std::string::npos);
}

TEST(PlayerOptions, FpsPacing) {
  struct {
    bool fps;
    std::optional<double> cap;
    int refresh;
    double expected_rate;
    bool vsync;
  } const cases[] = {
      {false, {}, 75, 75, true},  // one frame per refresh, with vsync
      {false, {}, 0, 60, true},   // 60 when the display does not say
      {true, {}, 75, 75, true},   // a bare -fps from a daemon changes nothing
      {true, 30, 60, 30, true},   // a cap below the refresh rate keeps vsync ...
      {true, 144, 60, 144, false},  // ... one above drops it, or vsync would hold the rate down
      {true, 144, 0, 144, true},
      {true, 0, 60, 0, false},  // as fast as possible: no timer, no vsync
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cap.value_or(-1) << " at " << c.refresh);
    PlayerOptions o;
    o.fps = c.fps;
    o.fps_value = c.cap;
    const FramePacing pacing = frame_pacing(o, c.refresh);
    EXPECT_DOUBLE_EQ(pacing.frames_per_second, c.expected_rate);
    EXPECT_EQ(pacing.vsync, c.vsync);
  }
}

TEST(PlayerOptions, SizeOverrideAnswersReadsButStoresNothing) {
  test::MemorySettings inner;
  SizeOverrideStore store(inner, 1024, 768);
  EXPECT_FALSE(store.open());  // nothing stored yet: the inner store decides
  EXPECT_TRUE(store.write({{"Module", "kelvo"}, {"ResX", "800"}, {"ResY", "600"}, {"Fog", "1"}}));
  EXPECT_TRUE(store.open());
  EXPECT_EQ(store.read("ResX"), "1024");
  EXPECT_EQ(store.read("resy"), "768");
  EXPECT_EQ(store.read("Fog"), "1");
  EXPECT_EQ(store.read("Missing"), std::nullopt);
  EXPECT_EQ(inner.values["ResX"], "800");  // the stored values stay the configured ones
  EXPECT_EQ(inner.values["ResY"], "600");
  SizeOverrideStore pass_through(inner, 0, 0);
  EXPECT_EQ(pass_through.read("ResX"), "800");
}

}  // namespace
}  // namespace kelvo
