// The headless renderer's command line (--render N --out DIR), and the real
// kelvo-render and kelvo binaries drawing a tiny scene folder into PNG files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/player_options.h"

#ifndef KELVO_RENDER_PATH
#error "KELVO_RENDER_PATH must name the kelvo-render binary"
#endif

extern char** environ;

namespace kelvo {
namespace {

namespace fs = std::filesystem;

// ------------------------------------------------------------ options --

PlayerOptions parse_ok(std::vector<std::string_view> args) {
  PlayerOptions o;
  std::string error;
  EXPECT_TRUE(parse_player_options(args, "/home/me", o, error)) << error;
  return o;
}

std::string parse_error(std::vector<std::string_view> args) {
  PlayerOptions o;
  std::string error;
  EXPECT_FALSE(parse_player_options(args, "/home/me", o, error));
  return error;
}

TEST(RenderOptions, RenderTakesAFrameCountAndAnOutputFolder) {
  PlayerOptions o = parse_ok({"--render", "3", "--out", "frames"});
  EXPECT_EQ(o.render_frames, 3);
  EXPECT_EQ(o.out_dir, "/home/me/frames");
  o = parse_ok({"--out=/tmp/x/", "--render=1000000", "--package", "demo.pak"});
  EXPECT_EQ(o.render_frames, kMaxRenderFrames);
  EXPECT_EQ(o.out_dir, "/tmp/x/");
  EXPECT_EQ(o.package_file, "/home/me/demo.pak");
  // A plain run has neither.
  o = parse_ok({"--window"});
  EXPECT_EQ(o.render_frames, 0);
  EXPECT_TRUE(o.out_dir.empty());
}

TEST(RenderOptions, BadFrameCountsAreRefused) {
  for (std::string_view bad : {"0", "-1", "x", "3x", "1000001", "", "2.5"}) {
    const std::string error = parse_error({"--render", bad, "--out", "d"});
    EXPECT_NE(error.find("render"), std::string::npos) << bad << ": " << error;
  }
  EXPECT_NE(parse_error({"--render"}).find("needs a value"), std::string::npos);
}

TEST(RenderOptions, RenderAndOutGoTogetherAndNotWithAWindow) {
  EXPECT_NE(parse_error({"--render", "3"}).find("--out"), std::string::npos);
  EXPECT_NE(parse_error({"--out", "d"}).find("--render"), std::string::npos);
  EXPECT_NE(parse_error({"--render", "3", "--out", "d", "--window"}).find("--window"), std::string::npos);
  EXPECT_NE(parse_error({"--render", "3", "--out", "d", "--data", "a", "--package", "b.pak"}).find("together"),
            std::string::npos);
}

TEST(RenderOptions, OffscreenFramesMayBeSmallerThanAPlayerWindow) {
  // The player keeps its minimum of 64 on each side ...
  EXPECT_NE(parse_error({"--size", "64x48"}).find("from 64"), std::string::npos);
  EXPECT_NE(parse_error({"--window", "--size", "48x64"}).find("from 64"), std::string::npos);
  // ... while --render accepts 16, whichever comes first on the line.
  PlayerOptions o = parse_ok({"--size", "64x48", "--render", "3", "--out", "d"});
  EXPECT_EQ(o.width, 64);
  EXPECT_EQ(o.height, 48);
  o = parse_ok({"--render", "1", "--out", "d", "--size", "16x16"});
  EXPECT_EQ(o.width, 16);
  EXPECT_NE(parse_error({"--render", "1", "--out", "d", "--size", "15x48"}).find("from 16 to 8192 with --render"),
            std::string::npos);
  EXPECT_FALSE(parse_error({"--render", "1", "--out", "d", "--size", "64x8193"}).empty());
}

TEST(RenderOptions, FpsIsAcceptedAndTheHelpNamesTheOptions) {
  PlayerOptions o = parse_ok({"--render", "2", "--out", "d", "--fps", "30"});
  EXPECT_EQ(o.render_frames, 2);
  EXPECT_TRUE(o.fps);
  const std::string usage = player_usage("kelvo");
  EXPECT_NE(usage.find("--render N"), std::string::npos);
  EXPECT_NE(usage.find("--out DIR"), std::string::npos);
}

// ------------------------------------------------------------ binaries --

class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "kelvo-render-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void write_text(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct RunResult {
  int status = -1;  // the exit status, or -1 when the program did not exit
  std::string output;  // standard output and error together
};

// Runs a program with `args` in a private environment under `home`: its own
// settings, work and state folders, no log.
RunResult run(const std::string& program, const std::vector<std::string>& args, const Scratch& home) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    bool drop = false;
    for (std::string_view name : {"XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=", "XDG_STATE_HOME=", "TMPDIR=", "HOME=",
                                  "KELVO_LOG=", "SDL_VIDEODRIVER=", "DISPLAY="})
      drop |= entry.substr(0, name.size()) == name;
    if (!drop) env.emplace_back(entry);
  }
  fs::create_directories(home / "config");
  fs::create_directories(home / "tmp");
  env.push_back("HOME=" + home.path());
  env.push_back("XDG_CONFIG_HOME=" + (home / "config"));
  env.push_back("XDG_STATE_HOME=" + (home / "state"));
  env.push_back("TMPDIR=" + (home / "tmp"));

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  const std::string log = home / "output.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  RunResult result;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.output = read_text(log);
  return result;
}

struct Png {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  std::uint32_t at(int x, int y) const {  // 0xRRGGBB, y from the top
    const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
  }
};

bool read_png(const std::string& path, Png& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgb.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

// A scene folder: an orange-red fog (which is also the clear colour) and one
// green rectangle in the upper middle of the view, out of the fog's reach.
void write_tiny_scene(const std::string& dir) {
  write_text(dir + "/SCENE1.TXT",
             "FOGCOLOR_R=200 FOGCOLOR_G=40 FOGCOLOR_B=10\n"
             "FOGNEAR=1000 FOGFAR=2000\n"
             "PERSPECTIVE_X=1 PERSPECTIVE_Y=1\n"
             "OBJECTS\n"
             "SQUARE 0 0 200\n");
  write_text(dir + "/SQUARE.TXT",
             "AUTOLIGHTED=1\n"
             "COLOR_R=0 COLOR_G=255 COLOR_B=0 COLOR_A=255\n"
             "POINTS\n"
             "-40,40,0 40,40,0 40,5,0 -40,5,0\n"
             "FACES\n"
             "1 2 3 4\n");
}

constexpr std::uint32_t kFogColour = 0xC8280A;  // 200, 40, 10

std::string frame_name(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "frame%04d.png", n);
  return name;
}

// The frames of a run at 64 x 48: all there, the right size, the clear colour
// at the edges and below the middle, the rectangle's green above it (so the
// picture is the right way up).
void expect_frames(const std::string& out_dir, int count) {
  for (int n = 1; n <= count; ++n) {
    SCOPED_TRACE(frame_name(n));
    Png png;
    ASSERT_TRUE(read_png(out_dir + "/" + frame_name(n), png));
    EXPECT_EQ(png.width, 64);
    EXPECT_EQ(png.height, 48);
    EXPECT_EQ(png.at(0, 0), kFogColour);
    EXPECT_EQ(png.at(63, 47), kFogColour);
    EXPECT_EQ(png.at(32, 36), kFogColour);
    const std::uint32_t centre = png.at(32, 16);
    EXPECT_LT(centre >> 16, 0x40u) << std::hex << centre;
    EXPECT_GT((centre >> 8) & 0xFF, 0xC0u) << std::hex << centre;
    EXPECT_LT(centre & 0xFF, 0x40u) << std::hex << centre;
    std::set<std::uint32_t> colours;
    for (int y = 0; y < png.height; ++y)
      for (int x = 0; x < png.width; ++x) colours.insert(png.at(x, y));
    EXPECT_GE(colours.size(), 2u);
  }
  EXPECT_FALSE(fs::exists(out_dir + "/" + frame_name(count + 1)));
}

TEST(RenderBinary, DrawsTheFramesOfASceneFolderAsPngFiles) {
  Scratch home;
  write_tiny_scene(home / "scene");
  const RunResult r = run(KELVO_RENDER_PATH, {"--render", "3", "--out", home / "frames", "--size", "64x48", "--data",
                                        home / "scene", "--fps", "5"},
                    home);
  ASSERT_EQ(r.status, 0) << r.output;
  expect_frames(home / "frames", 3);
  // The run leaves no instance folder behind.
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(home / "tmp", ec))
    EXPECT_FALSE(entry.is_directory() && entry.path().filename().string().rfind("inst-", 0) == 0) << entry.path();
}

TEST(RenderBinary, RefusesAnOutputFolderItCannotWrite) {
  Scratch home;
  write_tiny_scene(home / "scene");
  write_text(home / "file", "not a folder");
  RunResult r = run(KELVO_RENDER_PATH, {"--render", "1", "--out", home / "file", "--size", "64x48", "--data", home / "scene"},
              home);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;

  if (::geteuid() != 0) {  // root writes anywhere
    fs::create_directories(home / "locked");
    ::chmod((home / "locked").c_str(), 0500);
    r = run(KELVO_RENDER_PATH, {"--render", "1", "--out", home / "locked", "--data", home / "scene"}, home);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;
    ::chmod((home / "locked").c_str(), 0700);
  }
}

TEST(RenderBinary, ExplainsAMissingSceneAndBadArguments) {
  Scratch home;
  fs::create_directories(home / "empty");
  RunResult r = run(KELVO_RENDER_PATH, {"--render", "1", "--out", home / "frames", "--data", home / "empty"}, home);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("no scene"), std::string::npos) << r.output;

  r = run(KELVO_RENDER_PATH, {"--out", home / "frames"}, home);
  EXPECT_EQ(r.status, kUsageExitCode);
  EXPECT_NE(r.output.find("--render"), std::string::npos) << r.output;

  // A package that is no package.
  write_text(home / "junk.pak", "this is not a scene package");
  r = run(KELVO_RENDER_PATH, {"--render", "1", "--out", home / "frames", "--package", home / "junk.pak"}, home);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("not a scene package"), std::string::npos) << r.output;
}

#ifdef KELVO_PLAYER_PATH
TEST(RenderBinary, ThePlayerHandsRenderRunsToTheRenderer) {
  Scratch home;
  write_tiny_scene(home / "scene");
  // No display is needed: the player never opens one for --render.
  const RunResult r = run(KELVO_PLAYER_PATH, {"--data", home / "scene", "--size", "64x48", "--render", "2", "--out",
                                        home / "frames"},
                    home);
  ASSERT_EQ(r.status, 0) << r.output;
  expect_frames(home / "frames", 2);
}

TEST(RenderBinary, ThePlayerSaysWhenTheRendererIsMissing) {
  Scratch home;
  write_tiny_scene(home / "scene");
  fs::create_directories(home / "alone");
  fs::copy_file(KELVO_PLAYER_PATH, home / "alone/kelvo");
  const RunResult r = run(home / "alone/kelvo", {"--render", "1", "--out", home / "frames", "--data", home / "scene"}, home);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("kelvo-render"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(home / "frames"));
}
#endif

}  // namespace
}  // namespace kelvo
