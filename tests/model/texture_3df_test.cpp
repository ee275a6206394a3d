// The 3DF texture format: decoding hostile headers and short files, encoding,
// the round trip through both; and the kelvo-tex binary run on pictures
// written here with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

Bytes file_3df(const std::string& format, const std::string& a, const std::string& b, const Bytes& texels = {}) {
  const std::string text = "3df v1.1\n" + format + "\nlod range: " + a + " " + b + "\naspect ratio: 1 1\n";
  Bytes bytes(text.begin(), text.end());
  bytes.insert(bytes.end(), texels.begin(), texels.end());
  return bytes;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Texture3df, EncodesTheNearestTexelsAndDecodesThemBack) {
  // rgb565 high byte first (255 becomes 248, the top step); i8 the luminance.
  const Image image{2, 2, {248, 0, 248, 0, 252, 0, 255, 255, 255, 0, 0, 0}};
  const Bytes rgb565 = file_3df("rgb565", "2", "2", {0xF8, 0x1F, 0x07, 0xE0, 0xFF, 0xFF, 0x00, 0x00});
  const Bytes i8 = file_3df("i8", "2", "2", {102, 148, 255, 0});
  EXPECT_EQ(encode_3df(image, TexelFormat::rgb565), rgb565);
  EXPECT_EQ(encode_3df(image, TexelFormat::i8), i8);
  EXPECT_EQ(decode_3df(rgb565).value().rgb, (Bytes{248, 0, 248, 0, 252, 0, 248, 252, 248, 0, 0, 0}));
  EXPECT_EQ(decode_3df(i8).value().rgb, (Bytes{102, 102, 102, 148, 148, 148, 255, 255, 255, 0, 0, 0}));
  EXPECT_EQ(encode_3df({1, 1, {6, 5, 3}}, TexelFormat::rgb565), file_3df("rgb565", "1", "1", {0x08, 0x20}));
  // An odd side is written; images the format cannot hold are not.
  EXPECT_EQ(encode_3df({3, 3, Bytes(27, 100)}, TexelFormat::i8), file_3df("i8", "3", "3", Bytes(9, 100)));
  const Image refused[] = {{}, {4, 2, Bytes(4 * 2 * 3)}, {4, 4, Bytes(10)}, {k3dfMaxSize + 1, k3dfMaxSize + 1, {}}};
  for (const Image& bad : refused)
    EXPECT_TRUE(encode_3df(bad, TexelFormat::rgb565).empty() && encode_3df(bad, TexelFormat::i8).empty())
        << bad.width << "x" << bad.height;
}

TEST(Texture3df, SizeIsTheLargerNumberBothWaysAndAShortFileLeavesTheRestBlack) {
  // 128 x 128 texels of value 1 with a distinct last texel, then a further
  // detail level of 0xFF that must be ignored.
  Bytes texels(128 * 128, 0x01);
  texels.back() = 0x7B;
  texels.resize(texels.size() + 64 * 64, 0xFF);
  for (auto [a, b] : {std::pair{"64", "128"}, std::pair{"128", "64"}}) {
    auto image = decode_3df(file_3df("i8", a, b, texels));
    ASSERT_TRUE(image) << a << " " << b;
    EXPECT_EQ(std::make_tuple(image->width, image->height, image->rgb.size()),
              std::make_tuple(128, 128, std::size_t{128 * 128 * 3}));
    EXPECT_EQ(Bytes(image->rgb.end() - 4, image->rgb.end()), (Bytes{1, 0x7B, 0x7B, 0x7B}));
  }
  // 4 x 4 rgb565 with five whole texels and half of a sixth.
  auto image = decode_3df(file_3df("rgb565", "4", "4", Bytes(11, 0xFF)));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->rgb.size(), 4u * 4u * 3u);
  for (std::size_t i = 0; i < image->rgb.size(); ++i)
    EXPECT_EQ(image->rgb[i], i >= 15 ? 0 : i % 3 == 1 ? 252 : 248) << i;
}

TEST(Texture3df, HeadersThatDoNotMatchExactlyAreRefused) {
  const Bytes texels(16, 0x55);
  ASSERT_TRUE(decode_3df(file_3df("i8", "4", "4", texels)));
  const Bytes refused[] = {
      text("3df v1.1\r\ni8\r\nlod range: 4 4\r\naspect ratio: 1 1\r\n"),  // the CR stays part of the line
      text("3DF v1.1\ni8\nlod range: 4 4\naspect ratio: 1 1\n"),
      file_3df("argb1555", "4", "4", texels),
      text("3df v1.1" + std::string(100, ' ') + "\ni8\nlod range: 4 4\na\n"),  // far longer than its field
      text("3df v1.1\nrgb565\nlod ra"),  // cut short before its numbers
      // A number of 20 characters, and sizes that are zero or too large.
      file_3df("i8", "00000000000000000008", "1"),
      file_3df("i8", "0", "0"),
      file_3df("rgb565", "4097", "1"),
  };
  for (std::size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(decode_3df(refused[i])) << i;
}

// For 32 x 32 pictures: every channel from 0 to 255, and an alpha that changes.
Bytes gradient(int x, int y) {
  return {static_cast<std::uint8_t>(x * 255 / 31), static_cast<std::uint8_t>(y * 255 / 31),
          static_cast<std::uint8_t>(x * 7 + y * 13), static_cast<std::uint8_t>(x * 8)};
}

// Writes a `width` x `height` PNG of the gradient, or of the RGBA colour `solid`.
bool write_png(const std::string& path, int width, int height, const Bytes& solid = {}) {
  Bytes data;
  for (int i = 0; i < width * height; ++i) {
    const Bytes c = solid.empty() ? gradient(i % width, i / width) : solid;
    data.insert(data.end(), c.begin(), c.end());
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width), image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, data.data(), 0, nullptr);
}

// Runs kelvo-tex with `args` in `dir`: the exit status and standard error.
std::pair<int, std::string> run(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = "cd '" + dir.path() + "' && " KELVO_TEX_PATH;
  for (const std::string& a : args) command += " '" + a + "'";
  std::FILE* pipe = popen((command + " 2>&1 >/dev/null").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string err;
  char buffer[256];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) err.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(KelvoTexTool, PngRoundTripKeepsColoursWithinRgb565StepsAndResizeKeepsAUniformPicture) {
  TempDir dir;
  ASSERT_TRUE(write_png(dir.file("in.png"), 32, 32));
  ASSERT_EQ(run(dir, {"to3df", "in.png", "OUT.3DF"}), std::make_pair(0, std::string()));
  auto texture = read_3df(dir.file("OUT.3DF"));
  ASSERT_TRUE(texture);
  ASSERT_EQ(run(dir, {"topng", "OUT.3DF", "back.png"}).first, 0);
  png_image back{};
  back.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&back, dir.file("back.png").c_str()));
  back.format = PNG_FORMAT_RGB;
  Bytes rgb(PNG_IMAGE_SIZE(back));
  ASSERT_TRUE(png_image_finish_read(&back, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(rgb, texture->rgb);  // the preview shows exactly what the engine loads; alpha is dropped
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    const int x = static_cast<int>(i / 3 % 32), y = static_cast<int>(i / 3 / 32);
    const int original = gradient(x, y)[i % 3], allowed = i % 3 == 1 ? 3 : original > 252 ? 7 : 4;
    ASSERT_LE(std::abs(rgb[i] - original), allowed) << i;
  }
  // 30 x 20 is scaled to 32 x 32 by --resize; 96,160,200 is exact in rgb565.
  ASSERT_TRUE(write_png(dir.file("odd.png"), 30, 20, {96, 160, 200, 255}));
  ASSERT_EQ(run(dir, {"to3df", "--resize", "odd.png", "ODD.3DF"}).first, 0);
  texture = read_3df(dir.file("ODD.3DF"));
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->width, 32);
  for (std::size_t i = 0; i < texture->rgb.size(); ++i) ASSERT_EQ(texture->rgb[i], (Bytes{96, 160, 200}[i % 3])) << i;
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"ODD.3DF", "OUT.3DF", "back.png", "in.png", "odd.png"}));
}

TEST(KelvoTexTool, BrokenInputExitsWithOneBadUsageWithTwoAndNeitherLeavesOutput) {
  TempDir dir;
  dir.write("junk.png", "this is not a picture at all");
  ASSERT_TRUE(write_png(dir.file("whole.png"), 32, 32));
  const std::string whole = dir.read("whole.png");
  dir.write("cut.png", whole.substr(0, whole.size() / 2));  // cut in the middle of its pixel data
  ASSERT_TRUE(write_png(dir.file("odd.png"), 30, 20, {1, 2, 3, 255}));
  // Wider than any picture the tool takes (8192 pixels a side).
  ASSERT_TRUE(write_png(dir.file("huge.png"), 9000, 1, {1, 2, 3, 255}));
  dir.write("BAD.3DF", "3df v1.1\r\nrgb565\r\n");
  // Exit status, arguments, how standard error starts after "kelvo-tex: ".
  const std::tuple<int, std::vector<std::string>, std::string> cases[] = {
      {1, {"to3df", "junk.png", "J.3DF"}, "junk.png: "},
      {1, {"to3df", "cut.png", "C.3DF"}, "cut.png: "},
      {1, {"to3df", "odd.png", "O.3DF"}, "odd.png: picture is 30x20"},
      {1, {"to3df", "--resize", "huge.png", "H.3DF"}, "huge.png: "},
      {1, {"topng", "BAD.3DF", "bad.png"}, "BAD.3DF: "},
      {1, {"to3df", "whole.png", "no/such/dir/W.3DF"}, "no/such/dir/W.3DF: "},
      {2, {"convert", "a", "b"}, "unknown command 'convert'"},
      {2, {"to3df", "a.png", "b.3DF", "--format", "rgb888"}, "unknown format 'rgb888'"},
  };
  for (const auto& [status, args, says] : cases) {
    const auto [got, err] = run(dir, args);
    EXPECT_EQ(got, status) << err;
    EXPECT_EQ(err.rfind("kelvo-tex: " + says, 0), 0u) << err;
  }
  const std::vector<std::string> inputs = {"BAD.3DF", "cut.png", "huge.png", "junk.png", "odd.png", "whole.png"};
  EXPECT_EQ(dir.list(), inputs);
  EXPECT_EQ(run(dir, {"--help"}), std::make_pair(0, std::string()));
}

}  // namespace
}  // namespace kelvo
