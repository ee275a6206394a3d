#include "host/player_options.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kelvo {
namespace {

struct Parsed {
  bool ok = false;
  PlayerOptions options;
  std::string error;
};

Parsed parse(std::vector<std::string_view> args, const std::string& cwd = "/home/author/scenes") {
  Parsed p;
  p.ok = parse_player_options(args, cwd, p.options, p.error);
  return p;
}

TEST(PlayerOptions, NoArgumentsMeanFullScreenAsConfigured) {
  Parsed p = parse({});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.package_file.empty());
  EXPECT_TRUE(p.options.data_dir.empty());
  EXPECT_FALSE(p.options.window);
  EXPECT_EQ(p.options.width, 0);
  EXPECT_EQ(p.options.height, 0);
  EXPECT_FALSE(p.options.help);
}

TEST(PlayerOptions, PackageAndDataPathsBecomeAbsolute) {
  Parsed p = parse({"--package", "demo.pak"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.package_file, "/home/author/scenes/demo.pak");

  p = parse({"--package=../other/./x.pak"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.package_file, "/home/author/other/x.pak");

  p = parse({"--package", "/abs/y.pak"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.package_file, "/abs/y.pak");

  p = parse({"--data", "level1"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.data_dir, "/home/author/scenes/level1");
  EXPECT_TRUE(p.options.package_file.empty());

  p = parse({"--data", "."});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.data_dir, "/home/author/scenes/");
}

TEST(PlayerOptions, WindowAndSize) {
  Parsed p = parse({"--window", "--size", "1024x768"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.window);
  EXPECT_EQ(p.options.width, 1024);
  EXPECT_EQ(p.options.height, 768);

  p = parse({"--size=320X240", "-window"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.window);
  EXPECT_EQ(p.options.width, 320);
  EXPECT_EQ(p.options.height, 240);

  p = parse({"--size", "64x8192"});
  EXPECT_TRUE(p.ok) << p.error;

  for (std::string_view bad : {"800", "800x", "x600", "63x600", "800x8193", "-800x600", "800x600x2", "8a0x600",
                               "99999999999x1"}) {
    p = parse({"--size", bad});
    EXPECT_FALSE(p.ok) << bad;
    EXPECT_NE(p.error.find("--size"), std::string::npos) << p.error;
  }
}

TEST(PlayerOptions, HelpStopsParsing) {
  for (std::string_view h : {"--help", "-h", "-help"}) {
    Parsed p = parse({h, "--no-such-option"});
    EXPECT_TRUE(p.ok) << h;
    EXPECT_TRUE(p.options.help) << h;
  }
}

TEST(PlayerOptions, UsageListsEveryOptionOnItsOwnLine) {
  std::string usage = player_usage("kelvo");
  EXPECT_EQ(usage.rfind("Usage: kelvo", 0), 0u);
  std::map<std::string, int> seen;
  std::istringstream in(usage);
  std::string line;
  for (const char* option : {"--package", "--data", "--window ", "--size", "--root", "--fps", "--window-id",
                             "--help"}) {
    seen[option] = 0;
  }
  while (std::getline(in, line)) {
    for (auto& [option, count] : seen)
      if (line.find("  " + option) != std::string::npos || line.find(", " + option) != std::string::npos) ++count;
  }
  for (const auto& [option, count] : seen) EXPECT_EQ(count, 1) << option;
}

TEST(PlayerOptions, ErrorsNameTheProblem) {
  struct Case {
    std::vector<std::string_view> args;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--h"}, "unknown option '--h'"},
      {{"scene.pak"}, "unexpected argument 'scene.pak'"},
      {{"-"}, "unexpected argument '-'"},
      {{"--package"}, "needs a value"},
      {{"--data"}, "needs a value"},
      {{"--size"}, "needs a value"},
      {{"--window-id"}, "needs a value"},
      {{"--package="}, "non-empty"},
      {{"--window=yes"}, "takes no value"},
      {{"--package", "a.pak", "--data", "dir"}, "cannot be used together"},
      {{"--window-id", "0xZZ"}, "--window-id"},
      {{"--window-id", "12ab"}, "--window-id"},
      {{"--fps=fast"}, "--fps"},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.args);
    EXPECT_FALSE(p.ok) << c.expected;
    EXPECT_NE(p.error.find(c.expected), std::string::npos) << "got: " << p.error;
  }
  EXPECT_EQ(kUsageExitCode, 2);
}

TEST(PlayerOptions, ScreenSaverDaemonConventionsAreAccepted) {
  Parsed p = parse({"-root"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.root);
  EXPECT_FALSE(p.options.window);

  p = parse({"--root", "--fps"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.options.fps);
  EXPECT_FALSE(p.options.fps_value);

  // -fps takes a number when one follows, and leaves other arguments alone.
  p = parse({"-fps", "30", "-root"});
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.options.fps_value);
  EXPECT_DOUBLE_EQ(*p.options.fps_value, 30.0);
  EXPECT_TRUE(p.options.root);

  p = parse({"--fps", "--window"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_FALSE(p.options.fps_value);
  EXPECT_TRUE(p.options.window);

  p = parse({"--fps=12.5"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_DOUBLE_EQ(*p.options.fps_value, 12.5);

  p = parse({"-window-id", "0x3a00007"});
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.options.window_id);
  EXPECT_EQ(*p.options.window_id, 0x3a00007u);

  p = parse({"--window-id", "60817415"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(*p.options.window_id, 60817415u);

  p = parse({"--window-id=0XFF"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(*p.options.window_id, 255u);

  p = parse({"--window-id", "0x1FFFFFFFFFFFFFFFF"});
  EXPECT_FALSE(p.ok);
}

TEST(PlayerOptions, ArgcArgvUsesTheCurrentDirectory) {
  const char* argv[] = {"kelvo", "--data", "here", nullptr};
  PlayerOptions options;
  std::string error;
  ASSERT_TRUE(parse_player_options(3, argv, options, error)) << error;
  ASSERT_FALSE(options.data_dir.empty());
  EXPECT_EQ(options.data_dir.front(), '/');
  EXPECT_EQ(options.data_dir.substr(options.data_dir.size() - 5), "/here");
}

// A store that remembers what it was given.
class MemoryStore : public SettingsStore {
 public:
  bool open() override { return opened = !values.empty(); }
  std::optional<std::string> read(std::string_view name) override {
    for (const auto& [k, v] : values)
      if (k == name) return v;
    return std::nullopt;
  }
  bool write(const std::vector<std::pair<std::string, std::string>>& v) override {
    values = v;
    return true;
  }
  bool opened = false;
  std::vector<std::pair<std::string, std::string>> values;
};

TEST(PlayerOptions, SizeOverrideAnswersReadsButStoresNothing) {
  MemoryStore inner;
  SizeOverrideStore store(inner, 1024, 768);
  EXPECT_FALSE(store.open());  // nothing stored yet: the inner store decides
  std::vector<std::pair<std::string, std::string>> defaults = {
      {"Module", "kelvo"}, {"ResX", "800"}, {"ResY", "600"}, {"Fog", "1"}};
  EXPECT_TRUE(store.write(defaults));
  EXPECT_TRUE(store.open());
  EXPECT_EQ(store.read("ResX"), "1024");
  EXPECT_EQ(store.read("resy"), "768");
  EXPECT_EQ(store.read("Fog"), "1");
  EXPECT_EQ(store.read("Missing"), std::nullopt);
  // The stored values stay the configured ones.
  EXPECT_EQ(inner.read("ResX"), "800");
  EXPECT_EQ(inner.read("ResY"), "600");

  SizeOverrideStore pass_through(inner, 0, 0);
  EXPECT_EQ(pass_through.read("ResX"), "800");
}

TEST(PlayerOptions, FpsTakesAFrameRateFromZeroToOneThousand) {
  for (const auto& [args, expected] : std::vector<std::pair<std::vector<std::string_view>, double>>{
           {{"--fps", "30"}, 30.0},
           {{"--fps=0"}, 0.0},
           {{"--fps", "1000"}, 1000.0},
           {{"-fps", "0.5"}, 0.5},
           {{"--fps", "24.", "--window"}, 24.0},
       }) {
    Parsed p = parse(args);
    ASSERT_TRUE(p.ok) << args[0] << " " << args[1] << ": " << p.error;
    ASSERT_TRUE(p.options.fps_value) << args[1];
    EXPECT_DOUBLE_EQ(*p.options.fps_value, expected);
  }
}

TEST(PlayerOptions, FpsRefusesRatesOutOfRangeOrMalformed) {
  for (const std::vector<std::string_view>& args : std::vector<std::vector<std::string_view>>{
           {"--fps", "1001"},
           {"--fps=5000"},
           {"--fps", "1000.5"},
           {"--fps", "30fps"},
           {"--fps", "1e3"},
           {"--fps=0x10"},
           {"--fps", "."},
           {"--fps", "1.2.3"},
           {"--fps="},
           {"--fps=-5"},
       }) {
    Parsed p = parse(args);
    EXPECT_FALSE(p.ok) << args.back();
    EXPECT_NE(p.error.find("--fps needs a number of frames per second from 0 to 1000"), std::string::npos)
        << "got: " << p.error;
  }
  // A negative number after a bare -fps is no number of it but an option.
  Parsed p = parse({"--fps", "-5"});
  EXPECT_FALSE(p.ok);
  EXPECT_NE(p.error.find("unknown option '-5'"), std::string::npos) << p.error;
}

TEST(PlayerOptions, FpsPacing) {
  PlayerOptions options;
  // Default: one frame per refresh, with vsync; 60 when the display does not say.
  FramePacing pacing = frame_pacing(options, 75);
  EXPECT_DOUBLE_EQ(pacing.frames_per_second, 75.0);
  EXPECT_TRUE(pacing.vsync);
  pacing = frame_pacing(options, 0);
  EXPECT_DOUBLE_EQ(pacing.frames_per_second, 60.0);
  EXPECT_TRUE(pacing.vsync);

  // A bare -fps from a daemon changes nothing.
  Parsed p = parse({"-fps"});
  ASSERT_TRUE(p.ok);
  pacing = frame_pacing(p.options, 75);
  EXPECT_DOUBLE_EQ(pacing.frames_per_second, 75.0);
  EXPECT_TRUE(pacing.vsync);

  // A cap below the refresh rate keeps vsync; one above it drops it, since
  // vsync would hold the rate down to the refresh rate.
  options.fps_value = 30;
  pacing = frame_pacing(options, 60);
  EXPECT_DOUBLE_EQ(pacing.frames_per_second, 30.0);
  EXPECT_TRUE(pacing.vsync);
  options.fps_value = 144;
  pacing = frame_pacing(options, 60);
  EXPECT_DOUBLE_EQ(pacing.frames_per_second, 144.0);
  EXPECT_FALSE(pacing.vsync);
  pacing = frame_pacing(options, 0);
  EXPECT_TRUE(pacing.vsync);

  // 0: as fast as possible, no timer and no vsync.
  options.fps_value = 0;
  pacing = frame_pacing(options, 60);
  EXPECT_DOUBLE_EQ(pacing.frames_per_second, 0.0);
  EXPECT_FALSE(pacing.vsync);
}

TEST(PlayerOptions, FpsUsageSaysWhatItDoes) {
  const std::string usage = player_usage("kelvo");
  EXPECT_NE(usage.find("--fps N"), std::string::npos);
  EXPECT_NE(usage.find("0 draws as fast"), std::string::npos);
  EXPECT_EQ(usage.find("--fps [N]         accepted"), std::string::npos);
}

}  // namespace
}  // namespace kelvo
