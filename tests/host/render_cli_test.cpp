// The real kelvo-render and kelvo binaries drawing a tiny scene folder into
// PNG files (--render N --out DIR), and their refusals.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/recording_platform.h"

#ifndef KELVO_RENDER_PATH
#error "KELVO_RENDER_PATH must name the kelvo-render binary"
#endif

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A home folder for a run with a scene folder in it: an orange-red fog (which
// is also the clear colour) and one green rectangle in the upper middle of
// the view, out of the fog's reach.
struct Home : TempDir {
  Home() {
    fs::create_directories(file("tmp"));
    fs::create_directories(file("scene"));
    write("scene/SCENE1.TXT",
          "FOGCOLOR_R=200 FOGCOLOR_G=40 FOGCOLOR_B=10\nFOGNEAR=1000 FOGFAR=2000\n"
          "PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nSQUARE 0 0 200\n");
    write("scene/SQUARE.TXT",
          "AUTOLIGHTED=1\nCOLOR_R=0 COLOR_G=255 COLOR_B=0 COLOR_A=255\n"
          "POINTS\n-40,40,0 40,40,0 40,5,0 -40,5,0\nFACES\n1 2 3 4\n");
  }
  // Runs a program (no quotes in its arguments) with its own settings, work
  // and state folders, no log and no display; gives the exit status (-1 when
  // the program did not exit) and its standard output and error together.
  std::pair<int, std::string> run(const std::string& program, const std::vector<std::string>& args) const {
    std::string command = "env -u XDG_RUNTIME_DIR -u KELVO_LOG -u SDL_VIDEODRIVER -u DISPLAY HOME=" + path() +
                          " XDG_CONFIG_HOME=" + file("config") + " XDG_STATE_HOME=" + file("state") +
                          " TMPDIR=" + file("tmp") + " " + program;
    for (const std::string& a : args) command += " '" + a + "'";
    const int status = std::system((command + " >" + file("output.txt") + " 2>&1").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read("output.txt")};
  }
};

// The frames of a run at 64 x 48: all there, the right size, the fog colour
// at the edges and below the middle, the rectangle's green above it (so the
// picture is the right way up).
void expect_frames(const std::string& dir, int count) {
  for (int n = 1; n <= count; ++n) {
    const std::string name = dir + "frame000" + std::to_string(n) + ".png";  // fewer than ten frames
    SCOPED_TRACE(name);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, name.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ((std::pair{image.width, image.height}), (std::pair{64u, 48u}));
    auto at = [&](int x, int y) {  // 0xRRGGBB, y from the top
      const std::uint8_t* p = &rgb[static_cast<std::size_t>(y * 64 + x) * 3];
      return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    };
    for (auto [x, y] : {std::pair{0, 0}, {63, 47}, {32, 36}}) EXPECT_EQ(at(x, y), 0xC8280Au) << x << "," << y;
    const std::uint32_t centre = at(32, 16);
    EXPECT_TRUE((centre >> 16) < 0x40 && ((centre >> 8) & 0xFF) > 0xC0 && (centre & 0xFF) < 0x40)
        << std::hex << centre;
  }
  EXPECT_FALSE(fs::exists(dir + "frame000" + std::to_string(count + 1) + ".png"));
}

// (kelvo hands --render runs to kelvo-render: installed_tree_test.sh runs it
// that way.)
TEST(RenderBinary, DrawsTheFramesOfASceneFolderAsPngFilesOrExplainsWhyNot) {
  {
    Home home;
    const auto [status, output] = home.run(KELVO_RENDER_PATH, {"--render", "3", "--out", home.file("frames"), "--size",
                                                               "64x48", "--data", home.file("scene"), "--fps", "5"});
    ASSERT_EQ(status, 0) << output;
    expect_frames(home.file("frames/"), 3);
    // The run leaves no instance folder behind.
    for (const auto& entry : fs::recursive_directory_iterator(home.file("tmp")))
      EXPECT_NE(entry.path().filename().string().rfind("inst-", 0), 0u) << entry.path();
  }
  // What it cannot do, it explains.
  Home home;
  home.write("file", "not a folder");
  fs::create_directories(home.file("empty"));
  home.write("junk.pak", "this is not a scene package");
  const std::string scene = home.file("scene"), frames = home.file("frames");
  using Case = std::tuple<std::vector<std::string>, int, const char*>;  // arguments, exit status, message
  for (const auto& [args, expected_status, message] : std::vector<Case>{
           {{"--render", "1", "--out", home.file("file"), "--data", scene}, 1, "cannot write"},
           {{"--render", "1", "--out", frames, "--data", home.file("empty")}, 1, "no scene"},
           {{"--render", "1", "--out", frames, "--package", home.file("junk.pak")}, 1, "not a scene package"},
           {{"--out", frames}, 2, "--render"},  // a usage error
       }) {
    const auto [status, output] = home.run(KELVO_RENDER_PATH, args);
    EXPECT_EQ(status, expected_status) << output;
    EXPECT_NE(output.find(message), std::string::npos) << output;
  }
}

}  // namespace
}  // namespace kelvo
