// Runs the kelvo-tex binary on pictures written here with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "model/texture_slots.h"
#include "support/recording_platform.h"

#ifndef KELVO_TEX_PATH
#error "KELVO_TEX_PATH must name the kelvo-tex binary"
#endif

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgba = std::array<std::uint8_t, 4>;

// Writes a `width` x `height` RGBA picture of colour(x, y) as a PNG.
bool write_png(const std::string& path, int width, int height, const std::function<Rgba(int, int)>& colour) {
  Bytes data;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (std::uint8_t c : colour(x, y)) data.push_back(c);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width), image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, data.data(), 0, nullptr);
}

// For 32 x 32 pictures: every channel from 0 to 255, and an alpha that changes.
Rgba gradient(int x, int y) {
  return {static_cast<std::uint8_t>(x * 255 / 31), static_cast<std::uint8_t>(y * 255 / 31),
          static_cast<std::uint8_t>(x * 7 + y * 13), static_cast<std::uint8_t>(x * 8)};
}

std::function<Rgba(int, int)> solid(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return [=](int, int) { return Rgba{r, g, b, 255}; };
}

class KelvoTexTool : public ::testing::Test {
 protected:
  struct Run {
    int status = -1;
    std::string err;
  };
  // Runs kelvo-tex with `args`; standard error is collected.
  Run run(const std::vector<std::string>& args) {
    std::string command = KELVO_TEX_PATH;
    for (const std::string& a : args) command += " '" + a + "'";
    std::FILE* pipe = popen((command + " 2>&1 >/dev/null").c_str(), "r");
    Run r;
    if (!pipe) return r;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.err.append(buffer, n);
    const int status = pclose(pipe);
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
  }
  std::string path(const std::string& name) const { return dir_.file(name); }
  // A refusal names the file at fault first.
  Run expect_refused(const std::vector<std::string>& args, const std::string& file) {
    const Run r = run(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("kelvo-tex: " + path(file) + ": ", 0), 0u) << r.err;
    return r;
  }

  test::TempDir dir_;
};

TEST_F(KelvoTexTool, PngRoundTripKeepsColoursWithinRgb565StepsAndDropsAlpha) {
  ASSERT_TRUE(write_png(path("in.png"), 32, 32, gradient));
  const Run to = run({"to3df", path("in.png"), path("OUT.3DF")});
  ASSERT_EQ(std::make_pair(to.status, to.err), std::make_pair(0, std::string()));
  auto texture = read_3df(path("OUT.3DF"));
  ASSERT_TRUE(texture);
  ASSERT_EQ(run({"topng", path("OUT.3DF"), path("back.png")}).status, 0);
  png_image back{};
  back.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&back, path("back.png").c_str()));
  back.format = PNG_FORMAT_RGB;
  Bytes rgb(PNG_IMAGE_SIZE(back));
  ASSERT_TRUE(png_image_finish_read(&back, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(rgb, texture->rgb);  // the preview shows exactly what the engine loads
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    const int x = static_cast<int>(i / 3 % 32), y = static_cast<int>(i / 3 / 32);
    const int original = gradient(x, y)[i % 3], allowed = i % 3 == 1 ? 3 : original > 252 ? 7 : 4;
    ASSERT_LE(std::abs(rgb[i] - original), allowed) << i;
  }
  EXPECT_EQ(dir_.list(), (std::vector<std::string>{"OUT.3DF", "back.png", "in.png"}));  // no stray files
}

TEST_F(KelvoTexTool, NonPowerOfTwoNeedsResize) {
  ASSERT_TRUE(write_png(path("odd.png"), 30, 20, solid(96, 160, 200)));
  const Run refused = expect_refused({"to3df", path("odd.png"), path("ODD.3DF")}, "odd.png");
  EXPECT_NE(refused.err.find("30x20"), std::string::npos);

  ASSERT_EQ(run({"to3df", "--resize", path("odd.png"), path("ODD.3DF")}).status, 0);
  auto texture = read_3df(path("ODD.3DF"));
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->width, 32);
  // A uniform picture stays uniform through the filter (96,160,200 in rgb565).
  for (std::size_t i = 0; i < texture->rgb.size(); ++i) ASSERT_EQ(texture->rgb[i], (Bytes{96, 160, 200}[i % 3])) << i;
}

TEST_F(KelvoTexTool, BrokenInputExitsWithOneAndLeavesNoOutput) {
  dir_.write("junk.png", "this is not a picture at all");
  ASSERT_TRUE(write_png(path("whole.png"), 32, 32, gradient));
  const std::string whole = dir_.read("whole.png");
  dir_.write("cut.png", whole.substr(0, whole.size() / 2));  // cut in the middle of its pixel data
  // Wider than any picture the tool takes (8192 pixels a side).
  ASSERT_TRUE(write_png(path("huge.png"), 9000, 1, solid(1, 2, 3)));
  dir_.write("BAD.3DF", "3df v1.1\r\nrgb565\r\n");

  expect_refused({"to3df", path("junk.png"), path("J.3DF")}, "junk.png");
  expect_refused({"to3df", path("cut.png"), path("C.3DF")}, "cut.png");
  expect_refused({"to3df", "--resize", path("huge.png"), path("H.3DF")}, "huge.png");
  expect_refused({"to3df", path("missing.png"), path("M.3DF")}, "missing.png");
  expect_refused({"topng", path("BAD.3DF"), path("bad.png")}, "BAD.3DF");
  expect_refused({"to3df", path("whole.png"), path("no/such/dir/W.3DF")}, "no/such/dir/W.3DF");
  EXPECT_EQ(dir_.list(), (std::vector<std::string>{"BAD.3DF", "cut.png", "huge.png", "junk.png", "whole.png"}));
}

TEST_F(KelvoTexTool, BadUsageExitsWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"convert", "a", "b"},
                                             {"to3df", "a.png"},
                                             {"to3df", "a.png", "b.3DF", "--format", "rgb888"},
                                             {"topng", "a.3DF", "b.png", "--resize"}})
    EXPECT_EQ(run(args).status, 2) << ::testing::PrintToString(args);
  const Run help = run({"--help"});
  EXPECT_EQ(std::make_pair(help.status, help.err), std::make_pair(0, std::string()));
}

}  // namespace
}  // namespace kelvo
