// The 3DF texture format: decoding hostile headers and short files, encoding,
// and the round trip through both.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes file_3df(const std::string& format, const std::string& a, const std::string& b, const Bytes& texels = {}) {
  const std::string text = "3df v1.1\n" + format + "\nlod range: " + a + " " + b + "\naspect ratio: 1 1\n";
  Bytes bytes(text.begin(), text.end());
  bytes.insert(bytes.end(), texels.begin(), texels.end());
  return bytes;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Texture3dfDecode, TexelFormatsDecodeToTheirKnownColours) {
  auto colour = decode_3df(file_3df("rgb565", "2", "2", {0xF8, 0x1F, 0x07, 0xE0, 0xFF, 0xFF, 0x00, 0x00}));
  ASSERT_TRUE(colour);
  EXPECT_EQ(colour->rgb, (Bytes{248, 0, 248, 0, 252, 0, 248, 252, 248, 0, 0, 0}));
  auto grey = decode_3df(file_3df("i8", "2", "2", {0x80, 0x00, 0xFF, 0x01}));
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->rgb, (Bytes{128, 128, 128, 0, 0, 0, 255, 255, 255, 1, 1, 1}));
}

TEST(Texture3dfDecode, SizeIsTheLargerNumberBothWaysAndEveryTexelIsRead) {
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
}

TEST(Texture3dfDecode, HeadersThatDoNotMatchExactlyAreRefused) {
  const Bytes texels(16, 0x55);
  ASSERT_TRUE(decode_3df(file_3df("i8", "4", "4", texels)));
  const Bytes refused[] = {
      text("3df v1.1\r\ni8\r\nlod range: 4 4\r\naspect ratio: 1 1\r\n"),  // the CR stays part of the line
      text("3DF v1.1\ni8\nlod range: 4 4\naspect ratio: 1 1\n"),
      file_3df("argb1555", "4", "4", texels),
      text("3df v1.1" + std::string(100, ' ') + "\ni8\nlod range: 4 4\na\n"),  // far longer than its field
      {},
      text("3df v1.1\nrgb565\nlod ra"),  // cut short before its numbers
      // A number of 20 characters, and sizes that are zero or too large.
      file_3df("i8", "00000000000000000008", "1"),
      file_3df("i8", "0", "0"),
      file_3df("rgb565", "4097", "1"),
  };
  for (std::size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(decode_3df(refused[i])) << i;
}

TEST(Texture3dfDecode, FileThatEndsEarlyLeavesTheRestBlack) {
  // 4 x 4 rgb565 with five whole texels and half of a sixth.
  auto image = decode_3df(file_3df("rgb565", "4", "4", Bytes(11, 0xFF)));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->rgb.size(), 4u * 4u * 3u);
  for (std::size_t i = 0; i < image->rgb.size(); ++i)
    EXPECT_EQ(image->rgb[i], i >= 15 ? 0 : i % 3 == 1 ? 252 : 248) << i;
}

TEST(Texture3dfDecode, RandomGarbageNeverCrashes) {
  std::mt19937 rng(12345);
  const Bytes valid = file_3df("rgb565", "8", "8", Bytes(128, 0xA5));
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes = valid;
    if (round % 2 == 0) {
      bytes.resize(rng() % 200);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    } else {
      // A valid file with a few bytes changed and maybe cut short.
      for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n)
        bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng() % 2 ? rng() : '0' + rng() % 10);
      bytes.resize(rng() % (bytes.size() + 1));
    }
    auto image = decode_3df(bytes);
    if (!image) continue;
    ++decoded;
    ASSERT_TRUE(image->width >= 1 && image->width <= k3dfMaxSize && image->width == image->height) << image->width;
    ASSERT_EQ(image->rgb.size(), static_cast<std::size_t>(image->width) * image->height * 3);
  }
  EXPECT_GT(decoded, 0);  // some of the changed files keep a valid header
}

TEST(Texture3dfEncode, WritesTheHeaderTheDecoderReadsAndTheNearestTexels) {
  // rgb565 high byte first (255 becomes 248, the top step); i8 the luminance.
  const Image image{2, 2, {248, 0, 248, 0, 252, 0, 255, 255, 255, 0, 0, 0}};
  EXPECT_EQ(encode_3df(image, TexelFormat::rgb565),
            file_3df("rgb565", "2", "2", {0xF8, 0x1F, 0x07, 0xE0, 0xFF, 0xFF, 0x00, 0x00}));
  EXPECT_EQ(encode_3df(image, TexelFormat::i8), file_3df("i8", "2", "2", {102, 148, 255, 0}));
  EXPECT_EQ(encode_3df({1, 1, {6, 5, 3}}, TexelFormat::rgb565), file_3df("rgb565", "1", "1", {0x08, 0x20}));
  // An odd side is written; images the format cannot hold are not.
  EXPECT_EQ(encode_3df({3, 3, Bytes(27, 100)}, TexelFormat::i8), file_3df("i8", "3", "3", Bytes(9, 100)));
  const Image refused[] = {{}, {4, 2, Bytes(4 * 2 * 3)}, {4, 4, Bytes(10)}, {k3dfMaxSize + 1, k3dfMaxSize + 1, {}}};
  for (const Image& bad : refused) {
    EXPECT_TRUE(encode_3df(bad, TexelFormat::rgb565).empty()) << bad.width << "x" << bad.height;
    EXPECT_TRUE(encode_3df(bad, TexelFormat::i8).empty()) << bad.width << "x" << bad.height;
  }
}

}  // namespace
}  // namespace kelvo
