// Runs the kelvo-tex binary on pictures written here with libpng.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/texture_slots.h"

#ifndef KELVO_TEX_PATH
#error "KELVO_TEX_PATH must name the kelvo-tex binary"
#endif

extern char** environ;

namespace kelvo {
namespace {

struct Picture {
  int width = 0, height = 0;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int bit_depth = 8;
  std::vector<std::uint8_t> data;  // packed rows as libpng takes them
  std::vector<png_color> palette;  // for palette pictures
};

void jump_on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Writes `picture` as a PNG; false on any libpng error.
bool write_png_file(const std::string& path, const Picture* picture) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jump_on_error, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture->width), static_cast<png_uint_32>(picture->height),
               picture->bit_depth, picture->colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!picture->palette.empty()) {
    png_set_PLTE(png, info, picture->palette.data(), static_cast<int>(picture->palette.size()));
  }
  png_write_info(png, info);
  const std::size_t row_bytes = picture->data.size() / static_cast<std::size_t>(picture->height);
  for (int y = 0; y < picture->height; ++y) {
    png_write_row(png, picture->data.data() + row_bytes * static_cast<std::size_t>(y));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// Reads a PNG as 8-bit RGB with libpng's simplified interface.
bool read_png_file(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return true;
}

struct RunResult {
  int status = -1;
  std::string err;
};

class KelvoTexTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir_template[] = "/tmp/kelvo-tex-tool-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    dir_ = dir_template;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs kelvo-tex with `args`; its standard error is collected.
  RunResult run(const std::vector<std::string>& args) {
    const std::string err_path = path("stderr.txt");
    std::vector<std::string> all = {KELVO_TEX_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    RunResult result;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return result;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    std::ifstream in(err_path);
    result.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::filesystem::remove(err_path);
    return result;
  }

  // Files in the directory other than the ones named.
  std::vector<std::string> strays(const std::vector<std::string>& expected) const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      std::string name = entry.path().filename().string();
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) found.push_back(name);
    }
    return found;
  }

  std::string dir_;
};

Picture gradient(int width, int height) {
  Picture p;
  p.width = width;
  p.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.data.push_back(static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)));
      p.data.push_back(static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)));
      p.data.push_back(static_cast<std::uint8_t>((x * 7 + y * 13) & 0xFF));
    }
  }
  return p;
}

Picture solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Picture p;
  p.width = width;
  p.height = height;
  for (int i = 0; i < width * height; ++i) p.data.insert(p.data.end(), {r, g, b});
  return p;
}

// Largest difference the rgb565 format allows between a channel and what comes back.
int allowed_error(std::size_t index, int original) {
  if (index % 3 == 1) return 3;
  return original > 252 ? 7 : 4;
}

TEST_F(KelvoTexTool, PngRoundTripKeepsColoursWithinRgb565Steps) {
  const Picture picture = gradient(32, 32);
  ASSERT_TRUE(write_png_file(path("in.png"), &picture));

  RunResult to = run({"to3df", path("in.png"), path("OUT.3DF")});
  ASSERT_EQ(to.status, 0) << to.err;
  EXPECT_EQ(to.err, "");
  auto texture = read_3df(path("OUT.3DF"));
  ASSERT_TRUE(texture);
  ASSERT_EQ(texture->width, 32);

  RunResult back = run({"topng", path("OUT.3DF"), path("back.png")});
  ASSERT_EQ(back.status, 0) << back.err;
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  ASSERT_TRUE(read_png_file(path("back.png"), width, height, rgb));
  ASSERT_EQ(width, 32);
  ASSERT_EQ(height, 32);
  ASSERT_EQ(rgb.size(), picture.data.size());
  EXPECT_EQ(rgb, texture->rgb);  // the preview shows exactly what the engine loads
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    ASSERT_LE(std::abs(int{rgb[i]} - int{picture.data[i]}), allowed_error(i, picture.data[i])) << i;
  }
  EXPECT_TRUE(strays({"in.png", "OUT.3DF", "back.png"}).empty());
}

TEST_F(KelvoTexTool, AnyPngLayoutBecomesRgbWithAlphaDropped) {
  // Palette, 4 x 4.
  Picture palette;
  palette.width = palette.height = 4;
  palette.colour_type = PNG_COLOR_TYPE_PALETTE;
  palette.palette = {{200, 16, 40}, {0, 128, 255}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) palette.data.push_back(static_cast<std::uint8_t>((x + y) % 2));
  }
  // 16-bit grey, 2 x 2: 0x8000 scales to 128.
  Picture grey16;
  grey16.width = grey16.height = 2;
  grey16.colour_type = PNG_COLOR_TYPE_GRAY;
  grey16.bit_depth = 16;
  grey16.data = {0x80, 0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00};
  // RGBA, 2 x 2, transparent: the colour stays.
  Picture rgba;
  rgba.width = rgba.height = 2;
  rgba.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  for (int i = 0; i < 4; ++i) rgba.data.insert(rgba.data.end(), {0, 252, 0, 0});
  // 1-bit grey, 8 x 8, all white.
  Picture bits;
  bits.width = bits.height = 8;
  bits.colour_type = PNG_COLOR_TYPE_GRAY;
  bits.bit_depth = 1;
  bits.data.assign(8, 0xFF);

  ASSERT_TRUE(write_png_file(path("palette.png"), &palette));
  ASSERT_TRUE(write_png_file(path("grey16.png"), &grey16));
  ASSERT_TRUE(write_png_file(path("rgba.png"), &rgba));
  ASSERT_TRUE(write_png_file(path("bits.png"), &bits));

  ASSERT_EQ(run({"to3df", path("palette.png"), path("P.3DF")}).status, 0);
  auto p = read_3df(path("P.3DF"));
  ASSERT_TRUE(p);
  EXPECT_EQ(std::vector<int>(p->rgb.begin(), p->rgb.begin() + 6), (std::vector<int>{200, 16, 40, 0, 128, 248}));

  ASSERT_EQ(run({"to3df", "--format", "i8", path("grey16.png"), path("G.3DF")}).status, 0);
  auto g = read_3df(path("G.3DF"));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->rgb, std::vector<std::uint8_t>(2 * 2 * 3, 128));

  ASSERT_EQ(run({"to3df", path("rgba.png"), path("A.3DF"), "--format", "rgb565"}).status, 0);
  auto a = read_3df(path("A.3DF"));
  ASSERT_TRUE(a);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::vector<int>(a->rgb.begin() + i * 3, a->rgb.begin() + i * 3 + 3), (std::vector<int>{0, 252, 0}));
  }

  ASSERT_EQ(run({"to3df", path("bits.png"), path("B.3DF"), "--format", "i8"}).status, 0);
  auto b = read_3df(path("B.3DF"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->width, 8);
  EXPECT_EQ(b->rgb, std::vector<std::uint8_t>(8 * 8 * 3, 255));
}

TEST_F(KelvoTexTool, NonPowerOfTwoNeedsResize) {
  const Picture odd = solid(30, 20, 96, 160, 200);
  ASSERT_TRUE(write_png_file(path("odd.png"), &odd));

  RunResult refused = run({"to3df", path("odd.png"), path("ODD.3DF")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("kelvo-tex: " + path("odd.png") + ": ", 0), 0u) << refused.err;
  EXPECT_NE(refused.err.find("30x20"), std::string::npos) << refused.err;
  EXPECT_TRUE(strays({"odd.png"}).empty());

  RunResult resized = run({"to3df", "--resize", path("odd.png"), path("ODD.3DF")});
  ASSERT_EQ(resized.status, 0) << resized.err;
  auto texture = read_3df(path("ODD.3DF"));
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->width, 32);
  // A uniform picture stays uniform through the filter (96,160,200 in rgb565).
  for (std::size_t i = 0; i < texture->rgb.size(); i += 3) {
    ASSERT_EQ(std::vector<int>(texture->rgb.begin() + static_cast<long>(i), texture->rgb.begin() + static_cast<long>(i) + 3),
              (std::vector<int>{96, 160, 200}))
        << i / 3;
  }

  // Large pictures shrink to at most 1024 a side; the box filter averages
  // stripes of black and white to grey.
  Picture stripes;
  stripes.width = 2000;
  stripes.height = 4;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 2000; ++x) {
      std::uint8_t v = x % 2 ? 255 : 0;
      stripes.data.insert(stripes.data.end(), {v, v, v});
    }
  }
  ASSERT_TRUE(write_png_file(path("wide.png"), &stripes));
  ASSERT_EQ(run({"to3df", path("wide.png"), path("WIDE.3DF"), "--resize", "--format", "i8"}).status, 0);
  auto wide = read_3df(path("WIDE.3DF"));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->width, 1024);
  EXPECT_NEAR(wide->rgb[3 * (512 * 1024 + 512)], 128, 20);
}

TEST_F(KelvoTexTool, BrokenInputExitsWithOneAndLeavesNoOutput) {
  const std::string junk = "this is not a picture at all";
  std::ofstream(path("junk.png")) << junk;
  RunResult garbage = run({"to3df", path("junk.png"), path("J.3DF")});
  EXPECT_EQ(garbage.status, 1);
  EXPECT_EQ(garbage.err.rfind("kelvo-tex: " + path("junk.png") + ": ", 0), 0u) << garbage.err;

  // A real PNG cut in the middle of its pixel data.
  const Picture picture = gradient(64, 64);
  ASSERT_TRUE(write_png_file(path("whole.png"), &picture));
  std::ifstream whole(path("whole.png"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 200u);
  std::ofstream(path("cut.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  RunResult cut = run({"to3df", path("cut.png"), path("C.3DF")});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err.rfind("kelvo-tex: " + path("cut.png") + ": ", 0), 0u) << cut.err;

  // Wider than any picture the tool takes (8192 pixels a side).
  const Picture huge = solid(9000, 1, 1, 2, 3);
  ASSERT_TRUE(write_png_file(path("huge.png"), &huge));
  RunResult too_wide = run({"to3df", "--resize", path("huge.png"), path("H.3DF")});
  EXPECT_EQ(too_wide.status, 1);
  EXPECT_EQ(too_wide.err.rfind("kelvo-tex: " + path("huge.png") + ": ", 0), 0u) << too_wide.err;

  EXPECT_EQ(run({"to3df", path("missing.png"), path("M.3DF")}).status, 1);
  std::ofstream(path("BAD.3DF")) << "3df v1.1\r\nrgb565\r\n";
  EXPECT_EQ(run({"topng", path("BAD.3DF"), path("bad.png")}).status, 1);
  // The output directory does not exist.
  RunResult nowhere = run({"to3df", path("whole.png"), path("no/such/dir/W.3DF")});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.err.rfind("kelvo-tex: " + path("no/such/dir/W.3DF") + ": ", 0), 0u) << nowhere.err;

  EXPECT_TRUE(strays({"junk.png", "whole.png", "cut.png", "huge.png", "BAD.3DF"}).empty());
}

TEST_F(KelvoTexTool, BadUsageExitsWithTwo) {
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"convert", "a", "b"}).status, 2);
  EXPECT_EQ(run({"to3df", "a.png"}).status, 2);
  EXPECT_EQ(run({"to3df", "a.png", "b.3DF", "--format", "rgb888"}).status, 2);
  EXPECT_EQ(run({"to3df", "a.png", "b.3DF", "--format"}).status, 2);
  EXPECT_EQ(run({"to3df", "a.png", "b.3DF", "--sharpen"}).status, 2);
  EXPECT_EQ(run({"topng", "a.3DF", "b.png", "--resize"}).status, 2);
  RunResult help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace kelvo
