// The real kelvo-render and kelvo binaries drawing a tiny scene folder into
// PNG files (--render N --out DIR), and their refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/recording_platform.h"

#ifndef KELVO_RENDER_PATH
#error "KELVO_RENDER_PATH must name the kelvo-render binary"
#endif

extern char** environ;

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct RunResult {
  int status = -1;     // the exit status, or -1 when the program did not exit
  std::string output;  // standard output and error together
};

constexpr std::array<std::string_view, 8> kPrivate = {"XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=", "XDG_STATE_HOME=",
                                                     "TMPDIR=", "HOME=", "KELVO_LOG=", "SDL_VIDEODRIVER=", "DISPLAY="};

// Runs a program in a private environment under `home`: its own settings,
// work and state folders, no log and no display.
RunResult run(const std::string& program, const std::vector<std::string>& args, const TempDir& home) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::none_of(kPrivate.begin(), kPrivate.end(), [&](auto v) { return std::string_view(*e).starts_with(v); }))
      env.emplace_back(*e);
  fs::create_directories(home.file("config"));
  fs::create_directories(home.file("tmp"));
  env.insert(env.end(), {"HOME=" + home.path(), "XDG_CONFIG_HOME=" + home.file("config"),
                         "XDG_STATE_HOME=" + home.file("state"), "TMPDIR=" + home.file("tmp")});
  std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, home.file("output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  RunResult result;
  int status = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0 &&
      ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  posix_spawn_file_actions_destroy(&actions);
  result.output = home.read("output.txt");
  return result;
}

// A scene folder: an orange-red fog (which is also the clear colour) and one
// green rectangle in the upper middle of the view, out of the fog's reach.
void write_tiny_scene(const TempDir& home) {
  fs::create_directories(home.file("scene"));
  home.write("scene/SCENE1.TXT",
             "FOGCOLOR_R=200 FOGCOLOR_G=40 FOGCOLOR_B=10\nFOGNEAR=1000 FOGFAR=2000\n"
             "PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nSQUARE 0 0 200\n");
  home.write("scene/SQUARE.TXT",
             "AUTOLIGHTED=1\nCOLOR_R=0 COLOR_G=255 COLOR_B=0 COLOR_A=255\n"
             "POINTS\n-40,40,0 40,40,0 40,5,0 -40,5,0\nFACES\n1 2 3 4\n");
}

std::string frame_name(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "frame%04d.png", n);
  return name;
}

// The frames of a run at 64 x 48: all there, the right size, the fog colour
// at the edges and below the middle, the rectangle's green above it (so the
// picture is the right way up).
void expect_frames(const std::string& dir, int count) {
  for (int n = 1; n <= count; ++n) {
    SCOPED_TRACE(frame_name(n));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + frame_name(n)).c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ(image.width, 64u);
    ASSERT_EQ(image.height, 48u);
    auto at = [&](int x, int y) {  // 0xRRGGBB, y from the top
      const std::uint8_t* p = &rgb[static_cast<std::size_t>(y * 64 + x) * 3];
      return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    };
    for (auto [x, y] : {std::pair{0, 0}, {63, 47}, {32, 36}}) EXPECT_EQ(at(x, y), 0xC8280Au) << x << "," << y;
    const std::uint32_t centre = at(32, 16);
    EXPECT_TRUE((centre >> 16) < 0x40 && ((centre >> 8) & 0xFF) > 0xC0 && (centre & 0xFF) < 0x40)
        << std::hex << centre;
  }
  EXPECT_FALSE(fs::exists(dir + frame_name(count + 1)));
}

TEST(RenderBinary, DrawsTheFramesOfASceneFolderAsPngFiles) {
  TempDir home;
  write_tiny_scene(home);
  const RunResult r = run(KELVO_RENDER_PATH, {"--render", "3", "--out", home.file("frames"), "--size", "64x48",
                                              "--data", home.file("scene"), "--fps", "5"},
                          home);
  ASSERT_EQ(r.status, 0) << r.output;
  expect_frames(home.file("frames/"), 3);
  // The run leaves no instance folder behind.
  for (const auto& entry : fs::recursive_directory_iterator(home.file("tmp")))
    EXPECT_NE(entry.path().filename().string().rfind("inst-", 0), 0u) << entry.path();
}

TEST(RenderBinary, ExplainsWhatItCannotDo) {
  TempDir home;
  write_tiny_scene(home);
  home.write("file", "not a folder");
  fs::create_directories(home.file("locked"));
  ::chmod(home.file("locked").c_str(), 0500);
  fs::create_directories(home.file("empty"));
  home.write("junk.pak", "this is not a scene package");
  const std::string scene = home.file("scene"), frames = home.file("frames");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"--render", "1", "--out", home.file("file"), "--data", scene}, 1, "cannot write"},
      {{"--render", "1", "--out", home.file("locked"), "--data", scene}, ::geteuid() == 0 ? 0 : 1, "cannot write"},
      {{"--render", "1", "--out", frames, "--data", home.file("empty")}, 1, "no scene"},
      {{"--render", "1", "--out", frames, "--package", home.file("junk.pak")}, 1, "not a scene package"},
      {{"--out", frames}, 2, "--render"},  // a usage error
  };
  for (const Case& c : cases) {
    if (c.status == 0) continue;  // root writes anywhere
    const RunResult r = run(KELVO_RENDER_PATH, c.args, home);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  ::chmod(home.file("locked").c_str(), 0700);
}

#ifdef KELVO_PLAYER_PATH
TEST(RenderBinary, ThePlayerHandsRenderRunsToTheRenderer) {
  TempDir home;
  write_tiny_scene(home);
  // No display is needed: the player never opens one for --render.
  const std::vector<std::string> args = {"--data", home.file("scene"), "--size", "64x48", "--render", "2",
                                         "--out", home.file("frames")};
  RunResult r = run(KELVO_PLAYER_PATH, args, home);
  ASSERT_EQ(r.status, 0) << r.output;
  expect_frames(home.file("frames/"), 2);

  // A player without its renderer beside it says so.
  fs::remove_all(home.file("frames"));
  fs::create_directories(home.file("alone"));
  fs::copy_file(KELVO_PLAYER_PATH, home.file("alone/kelvo"));
  r = run(home.file("alone/kelvo"), args, home);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("kelvo-render"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(home.file("frames")));
}
#endif

}  // namespace
}  // namespace kelvo
