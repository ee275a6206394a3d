// Runs the kelvo-tex binary on pictures written here with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <csetjmp>
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

struct Picture {
  int width = 0, height = 0;
  Bytes data;  // packed rows as libpng takes them
  int colour_type = PNG_COLOR_TYPE_RGB, bit_depth = 8;
  std::vector<png_color> palette;  // for palette pictures
};

void jump_on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Writes `p` as a PNG; false on any libpng error.
bool write_png(const std::string& path, const Picture& p) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jump_on_error, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool ok = png && info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), p.bit_depth,
                 p.colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), static_cast<int>(p.palette.size()));
    png_write_info(png, info);
    const std::size_t row = p.data.size() / static_cast<std::size_t>(p.height);
    for (int y = 0; y < p.height; ++y) png_write_row(png, p.data.data() + row * static_cast<std::size_t>(y));
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}

Picture rgb_picture(int width, int height, const std::function<std::array<std::uint8_t, 3>(int, int)>& colour) {
  Picture p{width, height, {}, PNG_COLOR_TYPE_RGB, 8, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (std::uint8_t c : colour(x, y)) p.data.push_back(c);
  return p;
}

Picture gradient(int width, int height) {
  return rgb_picture(width, height, [=](int x, int y) {
    return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(x * 255 / (width - 1)),
                                       static_cast<std::uint8_t>(y * 255 / (height - 1)),
                                       static_cast<std::uint8_t>(x * 7 + y * 13)};
  });
}

Picture solid(int width, int height, std::array<std::uint8_t, 3> colour) {
  return rgb_picture(width, height, [=](int, int) { return colour; });
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

TEST_F(KelvoTexTool, PngRoundTripKeepsColoursWithinRgb565Steps) {
  const Picture picture = gradient(32, 32);
  ASSERT_TRUE(write_png(path("in.png"), picture));
  const Run to = run({"to3df", path("in.png"), path("OUT.3DF")});
  ASSERT_EQ(to.status, 0) << to.err;
  EXPECT_EQ(to.err, "");
  auto texture = read_3df(path("OUT.3DF"));
  ASSERT_TRUE(texture);
  ASSERT_EQ(texture->width, 32);
  ASSERT_EQ(run({"topng", path("OUT.3DF"), path("back.png")}).status, 0);
  png_image back{};
  back.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&back, path("back.png").c_str()));
  back.format = PNG_FORMAT_RGB;
  Bytes rgb(PNG_IMAGE_SIZE(back));
  ASSERT_TRUE(png_image_finish_read(&back, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(std::make_tuple(back.width, back.height), std::make_tuple(32u, 32u));
  EXPECT_EQ(rgb, texture->rgb);  // the preview shows exactly what the engine loads
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    const int original = picture.data[i], allowed = i % 3 == 1 ? 3 : original > 252 ? 7 : 4;
    ASSERT_LE(std::abs(rgb[i] - original), allowed) << i;
  }
  EXPECT_EQ(dir_.list(), (std::vector<std::string>{"OUT.3DF", "back.png", "in.png"}));  // no stray files
}

TEST_F(KelvoTexTool, AnyPngLayoutBecomesRgbWithAlphaDropped) {
  const struct {
    const char* name;
    Picture picture;
    const char* format;
    std::vector<int> rgb;  // the first texels expected
  } cases[] = {
      {"palette", {4, 4, {0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0}, PNG_COLOR_TYPE_PALETTE, 8,
                   {{200, 16, 40}, {0, 128, 255}}},
       "rgb565", {200, 16, 40, 0, 128, 248, 200, 16, 40}},
      // 16-bit grey: 0x8000 scales to 128.
      {"grey16", {2, 2, {0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0}, PNG_COLOR_TYPE_GRAY, 16, {}}, "i8",
       std::vector<int>(12, 128)},
      // Transparent: the colour stays.
      {"rgba", {2, 2, {0, 252, 0, 0, 0, 252, 0, 0, 0, 252, 0, 0, 0, 252, 0, 0}, PNG_COLOR_TYPE_RGB_ALPHA, 8, {}},
       "rgb565", {0, 252, 0, 0, 252, 0, 0, 252, 0, 0, 252, 0}},
      {"bits", {8, 8, Bytes(8, 0xFF), PNG_COLOR_TYPE_GRAY, 1, {}}, "i8", std::vector<int>(8 * 8 * 3, 255)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(write_png(path(c.name + std::string(".png")), c.picture));
    const Run r = run({"to3df", path(c.name + std::string(".png")), path("OUT.3DF"), "--format", c.format});
    ASSERT_EQ(r.status, 0) << r.err;
    auto texture = read_3df(path("OUT.3DF"));
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->width, c.picture.width);
    EXPECT_EQ(std::vector<int>(texture->rgb.begin(), texture->rgb.begin() + static_cast<long>(c.rgb.size())), c.rgb);
  }
}

TEST_F(KelvoTexTool, NonPowerOfTwoNeedsResize) {
  ASSERT_TRUE(write_png(path("odd.png"), solid(30, 20, {96, 160, 200})));
  const Run refused = expect_refused({"to3df", path("odd.png"), path("ODD.3DF")}, "odd.png");
  EXPECT_NE(refused.err.find("30x20"), std::string::npos);
  EXPECT_EQ(dir_.list(), std::vector<std::string>{"odd.png"});

  ASSERT_EQ(run({"to3df", "--resize", path("odd.png"), path("ODD.3DF")}).status, 0);
  auto texture = read_3df(path("ODD.3DF"));
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->width, 32);
  // A uniform picture stays uniform through the filter (96,160,200 in rgb565).
  for (std::size_t i = 0; i < texture->rgb.size(); ++i) ASSERT_EQ(texture->rgb[i], (Bytes{96, 160, 200}[i % 3])) << i;

  // Large pictures shrink to at most 1024 a side; the box filter averages
  // stripes of black and white to grey.
  ASSERT_TRUE(write_png(path("wide.png"), rgb_picture(2000, 4, [](int x, int) {
    const std::uint8_t v = x % 2 ? 255 : 0;
    return std::array<std::uint8_t, 3>{v, v, v};
  })));
  ASSERT_EQ(run({"to3df", path("wide.png"), path("WIDE.3DF"), "--resize", "--format", "i8"}).status, 0);
  auto wide = read_3df(path("WIDE.3DF"));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->width, 1024);
  EXPECT_NEAR(wide->rgb[3 * (512 * 1024 + 512)], 128, 20);
}

TEST_F(KelvoTexTool, BrokenInputExitsWithOneAndLeavesNoOutput) {
  dir_.write("junk.png", "this is not a picture at all");
  ASSERT_TRUE(write_png(path("whole.png"), gradient(64, 64)));
  const std::string whole = dir_.read("whole.png");
  ASSERT_GT(whole.size(), 200u);
  dir_.write("cut.png", whole.substr(0, whole.size() / 2));  // cut in the middle of its pixel data
  // Wider than any picture the tool takes (8192 pixels a side).
  ASSERT_TRUE(write_png(path("huge.png"), solid(9000, 1, {1, 2, 3})));
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
  const std::vector<std::vector<std::string>> usages = {
      {}, {"convert", "a", "b"}, {"to3df", "a.png"}, {"to3df", "a.png", "b.3DF", "--format", "rgb888"},
      {"to3df", "a.png", "b.3DF", "--format"}, {"to3df", "a.png", "b.3DF", "--sharpen"},
      {"topng", "a.3DF", "b.png", "--resize"}};
  for (const auto& args : usages) EXPECT_EQ(run(args).status, 2) << ::testing::PrintToString(args);
  const Run help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace kelvo
