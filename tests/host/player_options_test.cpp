#include "host/player_options.h"
#include "host/sdl_platform.h"

#include <gtest/gtest.h>

#include <array>
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
  };
  for (const auto& [args, expected] : cases) {
    PlayerOptions o;
    std::string error;
    EXPECT_TRUE(parse_player_options(args, "/home/me", o, error)) << expected << ": " << error;
    EXPECT_EQ(describe(o), expected);
  }
}

TEST(PlayerOptions, RefusedCommandLinesNameTheProblem) {
  const std::vector<std::pair<Args, std::string_view>> cases = {
      {{"--bogus"}, "unknown option '--bogus'"}, {{"--fps", "-5"}, "unknown option '-5'"},
      {{"scene.pak"}, "unexpected argument 'scene.pak'"}, {{"--package="}, "non-empty"},
      {{"--window=yes"}, "takes no value"}, {{"--data"}, "needs a value"},
      {{"--package", "a.pak", "--data", "dir"}, "cannot be used together"},
      {{"--window-id", "0x1FFFFFFFFFFFFFFFF"}, "--window-id"},
      {{"--render", "3"}, "--out"}, {{"--out", "d"}, "--render"},
      {{"--render", "3", "--out", "d", "--window"}, "--window"},
      {{"--render", "0", "--out", "d"}, "render"},
      {{"--size", "64x48"}, "from 64"}, {{"--render", "1", "--out", "d", "--size", "15x48"}, "from 16 to 8192"},
      {{"--size", "99999999999x1"}, "--size"},
      {{"--fps=5000"}, "--fps needs a number of frames per second from 0 to 1000"},
      {{"--fps", "1e3"}, "--fps needs a number of frames per second from 0 to 1000"},
  };
  for (const auto& [args, expected] : cases) {
    PlayerOptions o;
    std::string error;
    EXPECT_FALSE(parse_player_options(args, "/home/me", o, error)) << expected;
    EXPECT_NE(error.find(expected), std::string::npos) << "wanted '" << expected << "', got: " << error;
  }
}

TEST(PlayerOptions, FpsPacing) {
  struct {
    bool fps;
    std::optional<double> cap;
    int refresh;
    double expected_rate;
    bool vsync;
  } const cases[] = {
      {false, {}, 0, 60, true},   // one frame per refresh, 60 when the display does not say
      {true, {}, 75, 75, true},   // a bare -fps from a daemon changes nothing
      {true, 30, 60, 30, true},   // a cap below the refresh rate keeps vsync ...
      {true, 144, 60, 144, false},  // ... one above drops it, or vsync would hold the rate down
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
  EXPECT_EQ(store.read("Fog"), "1");
  EXPECT_EQ(inner.values["ResX"], "800");  // the stored values stay the configured ones
  SizeOverrideStore pass_through(inner, 0, 0);
  EXPECT_EQ(pass_through.read("ResX"), "800");
}

// The SDL platform's letterboxing, which needs no display.
TEST(SdlPlatformFit, KeepsTheAspectRatioWithCentredBars) {
  struct Case {
    int src_w, src_h, dst_w, dst_h;
    FitRect expected;
  } const cases[] = {
      {800, 600, 1920, 1080, {240, 0, 1440, 1080}},  // 4:3 on 16:9: bars left and right
      {1920, 1080, 800, 600, {0, 75, 800, 450}},     // larger than the target: bars top and bottom
      {700, 500, 1000, 1000, {0, 143, 1000, 714}},   // 714.28 rounds down
      {300, 700, 1000, 1000, {285, 0, 429, 1000}},   // 428.57 rounds up; the odd pixel goes right
      {0, 600, 800, 600, {}},                        // empty sizes give an empty rect
      {800, 600, 800, -1, {}},
  };
  for (const Case& c : cases) {
    const FitRect r = fit_letterboxed(c.src_w, c.src_h, c.dst_w, c.dst_h);
    SCOPED_TRACE(testing::Message() << c.src_w << "x" << c.src_h << " in " << c.dst_w << "x" << c.dst_h);
    EXPECT_EQ((std::array{r.x, r.y, r.width, r.height}),
              (std::array{c.expected.x, c.expected.y, c.expected.width, c.expected.height}));
  }
}

}  // namespace
}  // namespace kelvo
