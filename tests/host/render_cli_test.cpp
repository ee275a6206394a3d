// The real kelvo-render and kelvo binaries drawing a tiny scene folder into
// PNG files (--render N --out DIR), and their refusals.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/recording_platform.h"

#ifndef KELVO_RENDER_PATH
#error "KELVO_RENDER_PATH must name the kelvo-render binary"
#endif

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct RunResult {
  int status = -1;     // the exit status, or -1 when the program did not exit
  std::string output;  // standard output and error together
};

// Runs a program (no quotes in its arguments) in a private environment under
// `home`: its own settings, work and state folders, no log and no display.
RunResult run(const std::string& program, const std::vector<std::string>& args, const TempDir& home) {
  fs::create_directories(home.file("config"));
  fs::create_directories(home.file("tmp"));
  std::string command = "env -u XDG_RUNTIME_DIR -u KELVO_LOG -u SDL_VIDEODRIVER -u DISPLAY HOME=" + home.path() +
                        " XDG_CONFIG_HOME=" + home.file("config") + " XDG_STATE_HOME=" + home.file("state") +
                        " TMPDIR=" + home.file("tmp") + " " + program;
  for (const std::string& a : args) command += " '" + a + "'";
  const int status = std::system((command + " >" + home.file("output.txt") + " 2>&1").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, home.read("output.txt")};
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
  fs::create_directories(home.file("empty"));
  home.write("junk.pak", "this is not a scene package");
  const std::string scene = home.file("scene"), frames = home.file("frames");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"--render", "1", "--out", home.file("file"), "--data", scene}, 1, "cannot write"},
      {{"--render", "1", "--out", frames, "--data", home.file("empty")}, 1, "no scene"},
      {{"--render", "1", "--out", frames, "--package", home.file("junk.pak")}, 1, "not a scene package"},
      {{"--out", frames}, 2, "--render"},  // a usage error
  };
  for (const Case& c : cases) {
    const RunResult r = run(KELVO_RENDER_PATH, c.args, home);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
}

#ifdef KELVO_PLAYER_PATH
TEST(RenderBinary, ThePlayerHandsRenderRunsToTheRenderer) {
  TempDir home;
  write_tiny_scene(home);
  // No display is needed: the player never opens one for --render.
  const std::vector<std::string> args = {"--data", home.file("scene"), "--size", "64x48", "--render", "2",
                                         "--out", home.file("frames")};
  const RunResult r = run(KELVO_PLAYER_PATH, args, home);
  ASSERT_EQ(r.status, 0) << r.output;
  expect_frames(home.file("frames/"), 2);
}
#endif

}  // namespace
}  // namespace kelvo
