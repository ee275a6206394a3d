#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes header(const std::string& format, const std::string& a, const std::string& b) {
  std::string text = "3df v1.1\n" + format + "\nlod range: " + a + " " + b + "\naspect ratio: 1 1\n";
  return Bytes(text.begin(), text.end());
}

Bytes with_texels(Bytes bytes, const Bytes& texels) {
  bytes.insert(bytes.end(), texels.begin(), texels.end());
  return bytes;
}

std::array<int, 3> texel(const Image& image, int x, int y) {
  std::size_t at = (static_cast<std::size_t>(y) * image.width + x) * 3;
  return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

TEST(Texture3dfDecode, Rgb565TexelsDecodeToTheirKnownColours) {
  auto image = decode_3df(with_texels(header("rgb565", "2", "2"),
                                      {0xF8, 0x1F, 0x07, 0xE0, 0xFF, 0xFF, 0x00, 0x00}));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 2);
  EXPECT_EQ(image->height, 2);
  ASSERT_EQ(image->rgb.size(), 2u * 2u * 3u);
  EXPECT_EQ(texel(*image, 0, 0), (std::array<int, 3>{248, 0, 248}));
  EXPECT_EQ(texel(*image, 1, 0), (std::array<int, 3>{0, 252, 0}));
  EXPECT_EQ(texel(*image, 0, 1), (std::array<int, 3>{248, 252, 248}));
  EXPECT_EQ(texel(*image, 1, 1), (std::array<int, 3>{0, 0, 0}));
}

TEST(Texture3dfDecode, I8TexelsAreGrey) {
  auto image = decode_3df(with_texels(header("i8", "2", "2"), {0x80, 0x00, 0xFF, 0x01}));
  ASSERT_TRUE(image);
  EXPECT_EQ(texel(*image, 0, 0), (std::array<int, 3>{128, 128, 128}));
  EXPECT_EQ(texel(*image, 1, 0), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(texel(*image, 0, 1), (std::array<int, 3>{255, 255, 255}));
  EXPECT_EQ(texel(*image, 1, 1), (std::array<int, 3>{1, 1, 1}));
}

TEST(Texture3dfDecode, SizeIsTheLargerNumberBothWaysAndEveryTexelIsRead) {
  // 128 x 128 texels of value 1 with a distinct last texel, then a further
  // detail level of 0xFF that must be ignored.
  Bytes texels(128 * 128, 0x01);
  texels.back() = 0x7B;
  Bytes next_level(64 * 64, 0xFF);
  for (auto [a, b] : {std::pair{"64", "128"}, std::pair{"128", "64"}}) {
    auto image = decode_3df(with_texels(with_texels(header("i8", a, b), texels), next_level));
    ASSERT_TRUE(image) << a << " " << b;
    EXPECT_EQ(image->width, 128);
    EXPECT_EQ(image->height, 128);
    ASSERT_EQ(image->rgb.size(), 128u * 128u * 3u);
    EXPECT_EQ(texel(*image, 0, 0), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(texel(*image, 0, 64), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(texel(*image, 127, 127), (std::array<int, 3>{0x7B, 0x7B, 0x7B}));
  }
}

TEST(Texture3dfDecode, SizeNumbersUseTheirLeadingDigits) {
  auto image = decode_3df(with_texels(header("i8", "2x", "4 and more"), Bytes(16, 9)));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 4);

  // 19 characters fit a number field; 20 do not.
  EXPECT_TRUE(decode_3df(header("i8", "0000000000000000008", "1")));
  EXPECT_FALSE(decode_3df(header("i8", "00000000000000000008", "1")));
  EXPECT_FALSE(decode_3df(header("i8", "1", "00000000000000000008")));
}

TEST(Texture3dfDecode, HeadersThatDoNotMatchExactlyAreRefused) {
  const Bytes texels(16, 0x55);
  ASSERT_TRUE(decode_3df(with_texels(header("i8", "4", "4"), texels)));

  auto text = [&](const std::string& s) { return with_texels(Bytes(s.begin(), s.end()), texels); };
  // Carriage-return line ends: the CR stays part of the line.
  EXPECT_FALSE(decode_3df(text("3df v1.1\r\ni8\r\nlod range: 4 4\r\naspect ratio: 1 1\r\n")));
  EXPECT_FALSE(decode_3df(text("3df v1.1\r\ni8\nlod range: 4 4\naspect ratio: 1 1\n")));
  EXPECT_FALSE(decode_3df(text("3df v1.1\ni8\r\nlod range: 4 4\naspect ratio: 1 1\n")));
  EXPECT_FALSE(decode_3df(text("3DF v1.1\ni8\nlod range: 4 4\naspect ratio: 1 1\n")));
  EXPECT_FALSE(decode_3df(text("3df v1.0\ni8\nlod range: 4 4\naspect ratio: 1 1\n")));
  EXPECT_FALSE(decode_3df(text("3df v1.1\nrgb555\nlod range: 4 4\naspect ratio: 1 1\n")));
  EXPECT_FALSE(decode_3df(text("3df v1.1\nargb1555\nlod range: 4 4\naspect ratio: 1 1\n")));
  EXPECT_FALSE(decode_3df(text(" 3df v1.1\ni8\nlod range: 4 4\naspect ratio: 1 1\n")));
  // A first line far longer than its field.
  EXPECT_FALSE(decode_3df(text("3df v1.1" + std::string(100, ' ') + "\ni8\nlod range: 4 4\na\n")));
  EXPECT_FALSE(decode_3df(Bytes{}));
  EXPECT_FALSE(decode_3df(text("3df v1.1\n")));
}

TEST(Texture3dfDecode, ZeroNegativeAndHugeSizesAreRefused) {
  EXPECT_FALSE(decode_3df(header("i8", "0", "0")));
  EXPECT_FALSE(decode_3df(header("i8", "-8", "-8")));
  EXPECT_FALSE(decode_3df(header("rgb565", "100000", "100000")));
  EXPECT_FALSE(decode_3df(header("rgb565", "4097", "1")));
  EXPECT_FALSE(decode_3df(header("rgb565", "1", "9999999999999999999")));
  // The largest accepted size; no texels follow, so the image is all black.
  auto largest = decode_3df(header("i8", "4096", "4096"));
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->width, k3dfMaxSize);
  EXPECT_EQ(largest->rgb.size(), 4096u * 4096u * 3u);
  // The header cut short before its numbers gives no size.
  std::string cut = "3df v1.1\nrgb565\nlod ra";
  EXPECT_FALSE(decode_3df(Bytes(cut.begin(), cut.end())));
}

TEST(Texture3dfDecode, FileThatEndsEarlyLeavesTheRestBlack) {
  // 4 x 4 rgb565 with five whole texels and half of a sixth.
  Bytes texels;
  for (int i = 0; i < 5; ++i) {
    texels.push_back(0xFF);
    texels.push_back(0xFF);
  }
  texels.push_back(0xFF);
  auto image = decode_3df(with_texels(header("rgb565", "4", "4"), texels));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->rgb.size(), 4u * 4u * 3u);
  for (int i = 0; i < 16; ++i) {
    auto c = texel(*image, i % 4, i / 4);
    if (i < 5) {
      EXPECT_EQ(c, (std::array<int, 3>{248, 252, 248})) << i;
    } else {
      EXPECT_EQ(c, (std::array<int, 3>{0, 0, 0})) << i;
    }
  }
}

TEST(Texture3dfDecode, RandomGarbageNeverCrashes) {
  std::mt19937 rng(12345);
  const Bytes valid = with_texels(header("rgb565", "8", "8"), Bytes(128, 0xA5));
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes;
    if (round % 2 == 0) {
      bytes.resize(rng() % 200);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    } else {
      // A valid file with a few bytes changed and maybe cut short.
      bytes = valid;
      for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) {
        bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng() % 2 ? rng() : '0' + rng() % 10);
      }
      bytes.resize(rng() % (bytes.size() + 1));
    }
    auto image = decode_3df(bytes);
    if (image) {
      ++decoded;
      ASSERT_GE(image->width, 1);
      ASSERT_LE(image->width, k3dfMaxSize);
      ASSERT_EQ(image->width, image->height);
      ASSERT_EQ(image->rgb.size(), static_cast<std::size_t>(image->width) * image->height * 3);
    }
  }
  // Some of the mutated files keep a valid header.
  EXPECT_GT(decoded, 0);
}

TEST(Texture3dfRead, ReadsRegularFilesOnly) {
  char dir_template[] = "/tmp/kelvo-3df-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const std::string path = dir + "/T.3DF";
  Bytes bytes = with_texels(header("rgb565", "1", "1"), {0x07, 0xE0});
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);

  auto image = read_3df(path);
  ASSERT_TRUE(image);
  EXPECT_EQ(texel(*image, 0, 0), (std::array<int, 3>{0, 252, 0}));
  EXPECT_FALSE(read_3df(dir + "/MISSING.3DF"));
  EXPECT_FALSE(read_3df(dir));
  EXPECT_FALSE(read_3df(""));
  std::filesystem::remove_all(dir);
}

TEST(Texture3dfEncode, WritesTheHeaderLoaderReads) {
  Image image;
  image.width = image.height = 2;
  image.rgb = {248, 0, 248, 0, 252, 0, 255, 255, 255, 0, 0, 0};
  Bytes bytes = encode_3df(image, TexelFormat::rgb565);
  const std::string expected = "3df v1.1\nrgb565\nlod range: 2 2\naspect ratio: 1 1\n";
  ASSERT_EQ(bytes.size(), expected.size() + 8);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<long>(expected.size())), expected);
  EXPECT_EQ(Bytes(bytes.end() - 8, bytes.end()), (Bytes{0xF8, 0x1F, 0x07, 0xE0, 0xFF, 0xFF, 0x00, 0x00}));

  Bytes grey = encode_3df(image, TexelFormat::i8);
  const std::string grey_header = "3df v1.1\ni8\nlod range: 2 2\naspect ratio: 1 1\n";
  ASSERT_EQ(grey.size(), grey_header.size() + 4);
  EXPECT_EQ(std::string(grey.begin(), grey.begin() + static_cast<long>(grey_header.size())), grey_header);
}

TEST(Texture3dfEncode, RoundTripKeepsColoursWithinTheFormatsSteps) {
  std::mt19937 rng(777);
  Image image;
  image.width = image.height = 16;
  image.rgb.resize(16 * 16 * 3);
  for (auto& c : image.rgb) c = static_cast<std::uint8_t>(rng());
  // Make sure the extremes are there.
  image.rgb[0] = image.rgb[1] = image.rgb[2] = 255;
  image.rgb[3] = image.rgb[4] = image.rgb[5] = 0;

  auto colour = decode_3df(encode_3df(image, TexelFormat::rgb565));
  ASSERT_TRUE(colour);
  ASSERT_EQ(colour->width, 16);
  ASSERT_EQ(colour->rgb.size(), image.rgb.size());
  for (std::size_t i = 0; i < image.rgb.size(); ++i) {
    int original = image.rgb[i], back = colour->rgb[i];
    bool green = i % 3 == 1;
    EXPECT_EQ(back % (green ? 4 : 8), 0) << i;
    EXPECT_LE(back, green ? 252 : 248) << i;
    // Nearest step; only the top of the range is further off (255 -> 248).
    EXPECT_LE(std::abs(original - back), green ? 3 : (original > 252 ? 7 : 4)) << i;
  }

  auto grey = decode_3df(encode_3df(image, TexelFormat::i8));
  ASSERT_TRUE(grey);
  for (int i = 0; i < 16 * 16; ++i) {
    const std::uint8_t* in = &image.rgb[static_cast<std::size_t>(i) * 3];
    double y = 0.299 * in[0] + 0.587 * in[1] + 0.114 * in[2];
    const std::uint8_t* out = &grey->rgb[static_cast<std::size_t>(i) * 3];
    EXPECT_NEAR(out[0], y, 0.5001) << i;
    EXPECT_EQ(out[0], out[1]);
    EXPECT_EQ(out[0], out[2]);
  }
  EXPECT_EQ(luminance_of(255, 255, 255), 255);
  EXPECT_EQ(luminance_of(255, 0, 0), 76);
}

TEST(Texture3dfEncode, ImagesTheFormatCannotHoldAreRefused) {
  Image none;
  EXPECT_TRUE(encode_3df(none, TexelFormat::rgb565).empty());
  Image wide;
  wide.width = 4;
  wide.height = 2;
  wide.rgb.resize(4 * 2 * 3);
  EXPECT_TRUE(encode_3df(wide, TexelFormat::rgb565).empty());
  Image short_buffer;
  short_buffer.width = short_buffer.height = 4;
  short_buffer.rgb.resize(10);
  EXPECT_TRUE(encode_3df(short_buffer, TexelFormat::i8).empty());
  Image too_big;
  too_big.width = too_big.height = k3dfMaxSize + 1;
  EXPECT_TRUE(encode_3df(too_big, TexelFormat::i8).empty());
  Image odd;
  odd.width = odd.height = 3;
  odd.rgb.resize(27, 100);
  EXPECT_EQ(encode_3df(odd, TexelFormat::i8).size(), std::string("3df v1.1\ni8\nlod range: 3 3\naspect ratio: 1 1\n").size() + 9);
}

}  // namespace
}  // namespace kelvo
