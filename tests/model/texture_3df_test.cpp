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
  EXPECT_EQ(std::make_pair(colour->width, colour->height), std::make_pair(2, 2));
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
    EXPECT_EQ(std::make_pair(image->width, image->height), std::make_pair(128, 128));
    ASSERT_EQ(image->rgb.size(), 128u * 128u * 3u);
    EXPECT_EQ(image->rgb[3 * 64 * 128], 1);
    EXPECT_EQ(Bytes(image->rgb.end() - 4, image->rgb.end()), (Bytes{1, 0x7B, 0x7B, 0x7B}));
  }
  // Numbers use their leading digits; 19 characters fit a number field.
  auto image = decode_3df(file_3df("i8", "2x", "4 and more", Bytes(16, 9)));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 4);
  EXPECT_TRUE(decode_3df(file_3df("i8", "0000000000000000008", "1")));
  // The largest accepted size; no texels follow, so the image is all black.
  auto largest = decode_3df(file_3df("i8", "4096", "4096"));
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->width, k3dfMaxSize);
  EXPECT_EQ(largest->rgb.size(), 4096u * 4096u * 3u);
}

TEST(Texture3dfDecode, HeadersThatDoNotMatchExactlyAreRefused) {
  const Bytes texels(16, 0x55);
  ASSERT_TRUE(decode_3df(file_3df("i8", "4", "4", texels)));
  const Bytes refused[] = {
      // Carriage-return line ends: the CR stays part of the line.
      text("3df v1.1\r\ni8\r\nlod range: 4 4\r\naspect ratio: 1 1\r\n"),
      text("3df v1.1\r\ni8\nlod range: 4 4\naspect ratio: 1 1\n"),
      text("3df v1.1\ni8\r\nlod range: 4 4\naspect ratio: 1 1\n"),
      text("3DF v1.1\ni8\nlod range: 4 4\naspect ratio: 1 1\n"),
      text("3df v1.0\ni8\nlod range: 4 4\naspect ratio: 1 1\n"),
      text(" 3df v1.1\ni8\nlod range: 4 4\naspect ratio: 1 1\n"),
      file_3df("rgb555", "4", "4", texels),
      file_3df("argb1555", "4", "4", texels),
      // A first line far longer than its field.
      text("3df v1.1" + std::string(100, ' ') + "\ni8\nlod range: 4 4\na\n"),
      {},
      text("3df v1.1\n"),
      text("3df v1.1\nrgb565\nlod ra"),  // cut short before its numbers
      // Numbers of 20 characters, and sizes that are zero, negative or huge.
      file_3df("i8", "00000000000000000008", "1"),
      file_3df("i8", "1", "00000000000000000008"),
      file_3df("i8", "0", "0"),
      file_3df("i8", "-8", "-8"),
      file_3df("rgb565", "100000", "100000"),
      file_3df("rgb565", "4097", "1"),
      file_3df("rgb565", "1", "9999999999999999999"),
  };
  for (std::size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(decode_3df(refused[i])) << i;
}

TEST(Texture3dfDecode, FileThatEndsEarlyLeavesTheRestBlack) {
  // 4 x 4 rgb565 with five whole texels and half of a sixth.
  auto image = decode_3df(file_3df("rgb565", "4", "4", Bytes(11, 0xFF)));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->rgb.size(), 4u * 4u * 3u);
  for (std::size_t i = 0; i < image->rgb.size(); ++i) {
    EXPECT_EQ(image->rgb[i], i >= 15 ? 0 : i % 3 == 1 ? 252 : 248) << i;
  }
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
    ASSERT_GE(image->width, 1);
    ASSERT_LE(image->width, k3dfMaxSize);
    ASSERT_EQ(image->width, image->height);
    ASSERT_EQ(image->rgb.size(), static_cast<std::size_t>(image->width) * image->height * 3);
  }
  EXPECT_GT(decoded, 0);  // some of the changed files keep a valid header
}

TEST(Texture3dfEncode, RoundTripKeepsColoursWithinTheFormatsSteps) {
  std::mt19937 rng(777);
  Image image{16, 16, Bytes(16 * 16 * 3)};
  for (auto& c : image.rgb) c = static_cast<std::uint8_t>(rng());
  for (int i = 0; i < 3; ++i) image.rgb[i] = 255, image.rgb[3 + i] = 0;  // the extremes
  // The header the decoder reads, and the texels high byte first.
  EXPECT_EQ(encode_3df({2, 2, {248, 0, 248, 0, 252, 0, 255, 255, 255, 0, 0, 0}}, TexelFormat::rgb565),
            file_3df("rgb565", "2", "2", {0xF8, 0x1F, 0x07, 0xE0, 0xFF, 0xFF, 0x00, 0x00}));

  auto colour = decode_3df(encode_3df(image, TexelFormat::rgb565));
  ASSERT_TRUE(colour);
  ASSERT_EQ(colour->width, 16);
  ASSERT_EQ(colour->rgb.size(), image.rgb.size());
  for (std::size_t i = 0; i < image.rgb.size(); ++i) {
    const int original = image.rgb[i], back = colour->rgb[i];
    const bool green = i % 3 == 1;
    EXPECT_EQ(back % (green ? 4 : 8), 0) << i;
    EXPECT_LE(back, green ? 252 : 248) << i;
    // Nearest step; only the top of the range is further off (255 -> 248).
    EXPECT_LE(std::abs(original - back), green ? 3 : (original > 252 ? 7 : 4)) << i;
  }
  auto grey = decode_3df(encode_3df(image, TexelFormat::i8));
  ASSERT_TRUE(grey);
  for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
    EXPECT_NEAR(grey->rgb[i], 0.299 * image.rgb[i] + 0.587 * image.rgb[i + 1] + 0.114 * image.rgb[i + 2], 0.5001) << i;
    EXPECT_EQ(Bytes(grey->rgb.begin() + i, grey->rgb.begin() + i + 3), Bytes(3, grey->rgb[i])) << i;
  }
  EXPECT_EQ(luminance_of(255, 255, 255), 255);
  EXPECT_EQ(luminance_of(255, 0, 0), 76);
}

TEST(Texture3dfEncode, ImagesTheFormatCannotHoldAreRefused) {
  const Image refused[] = {{}, {4, 2, Bytes(4 * 2 * 3)}, {4, 4, Bytes(10)}, {k3dfMaxSize + 1, k3dfMaxSize + 1, {}}};
  for (const Image& image : refused) {
    EXPECT_TRUE(encode_3df(image, TexelFormat::rgb565).empty()) << image.width << "x" << image.height;
    EXPECT_TRUE(encode_3df(image, TexelFormat::i8).empty()) << image.width << "x" << image.height;
  }
  // An odd side is written.
  EXPECT_EQ(encode_3df({3, 3, Bytes(27, 100)}, TexelFormat::i8), file_3df("i8", "3", "3", Bytes(9, 100)));
}

}  // namespace
}  // namespace kelvo
