// The thumbnail bitmap reader: the load steps' edge cases, every format
// against known pixels, the RLE escapes and a table of hostile headers. Every
// bitmap read here is also written to the fuzz target's seed folder.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "config/thumbnail_bitmap.h"
#include "support/bmp_writer.h"

namespace kelvo {
namespace {

using test::BmpLayout;
using test::Picture;

void save_seed([[maybe_unused]] const std::string& file) {
#ifdef KELVO_BMP_SEED_DIR
  std::filesystem::create_directories(KELVO_BMP_SEED_DIR);
  char name[32];
  std::snprintf(name, sizeof name, "%016zx.bmp", std::hash<std::string>{}(file));
  std::ofstream(std::string(KELVO_BMP_SEED_DIR) + "/" + name, std::ios::binary) << file;
#endif
}

BitmapReadResult read(const std::string& file) {
  save_seed(file);
  return read_bitmap(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
}

std::vector<std::uint8_t> rgba_of(const std::string& file) {
  BitmapReadResult r = read(file);
  EXPECT_TRUE(r.bitmap) << r.error;
  return r.bitmap ? bitmap_to_rgba(*r.bitmap).pixels : std::vector<std::uint8_t>{};
}

void put32(std::string& file, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& file, std::size_t at, std::uint16_t v) {
  file[at] = static_cast<char>(v);
  file[at + 1] = static_cast<char>(v >> 8);
}

// Offsets of the 40-byte header's fields behind a file header.
constexpr std::size_t kWidth = 18, kHeight = 22, kBits = 28, kCompression = 30, kImageSize = 34, kClrUsed = 46;

const std::vector<std::uint32_t> kEight = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                           0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};  // K W R G B Y C M
const Picture kPicture = {"RGBYC", "MWKRG", "BKWCY"};

std::vector<std::uint32_t> table(std::size_t entries) {
  std::vector<std::uint32_t> t = kEight;
  t.resize(entries, 0);
  return t;
}

BmpLayout layout(std::uint16_t bits, std::uint32_t compression = 0, std::vector<std::uint32_t> colors = {},
             std::array<std::uint32_t, 3> masks = {}) {
  BmpLayout s;
  s.bits = bits;
  s.compression = compression;
  s.colors = std::move(colors);
  s.masks = masks;
  return s;
}

TEST(ThumbnailBitmap, EachFormatDrawsItsKnownPixels) {
  struct Case {
    const char* name;
    BmpLayout layout;
    Picture picture = kPicture;
    bool top_down = false;
  };
  std::vector<Case> cases = {
      {"1 bpp, rows crossing a byte", layout(1, 0, {0x000000, 0xFFFFFF}), {"WKWKWKWKW", "KKWWKKWWK"}},
      {"4 bpp, 8 colours used", layout(4, 0, kEight)},
      {"8 bpp, 256 colours", layout(8, 0, table(256))},
      {"8 bpp top-down", layout(8, 0, table(256)), kPicture, true},
      {"16 bpp 5-5-5", layout(16)},
      {"16 bpp 5-6-5 bit fields", layout(16, kBiBitfields, {}, {0xF800, 0x07E0, 0x001F})},
      {"24 bpp", layout(24)},
      {"24 bpp top-down", layout(24), kPicture, true},
      {"32 bpp", layout(32)},
      {"32 bpp 10-10-10 bit fields, top-down", layout(32, kBiBitfields, {}, {0x3FF00000, 0xFFC00, 0x3FF}), kPicture,
       true},
      {"32 bpp bit fields in a 124-byte header", layout(32, kBiBitfields, {}, {0xFF, 0xFF00, 0xFF0000})},
      {"8 bpp core header", layout(8, 0, table(256))},
      {"8 bpp without a file header", layout(8, 0, table(256))},
  };
  cases[1].layout.clr_used = 8;
  cases[10].layout.header_size = 124;
  cases[11].layout.header_size = 12;
  cases[12].layout.file_header = false;
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    encode_rows(c.layout, c.picture, c.top_down);
    EXPECT_EQ(rgba_of(write_bmp(c.layout)), test::picture_rgba(c.picture));
  }
  // 5-bit fields widen with their top bits repeated: 10000 is 132.
  BmpLayout grey = layout(16);
  grey.width = grey.height = 1;
  grey.pixels = std::string("\x10\x42\0\0", 4);
  EXPECT_EQ(rgba_of(write_bmp(grey)), (std::vector<std::uint8_t>{132, 132, 132, 255}));
}

TEST(ThumbnailBitmap, LoadStepsEdgeCases) {
  // A 24-bit bitmap has no colour table.
  BmpLayout rgb = layout(24);
  encode_rows(rgb, kPicture);
  BitmapReadResult r = read(write_bmp(rgb));
  ASSERT_TRUE(r.bitmap);
  EXPECT_TRUE(r.bitmap->colors.empty());
  EXPECT_EQ(bitmap_info_bytes(*r.bitmap).size(), 40u);

  // An 8-bit one with "colours used" 0 gets 256 entries, and an image size
  // of 0 is computed from the rows (5 pixels padded to 8 bytes, 3 rows).
  BmpLayout indexed = layout(8, 0, table(256));
  encode_rows(indexed, kPicture);
  std::string file = write_bmp(indexed);
  put32(file, kImageSize, 0);
  r = read(file);
  ASSERT_TRUE(r.bitmap);
  EXPECT_EQ(r.bitmap->colors.size(), 256u);
  EXPECT_EQ(r.bitmap->header.clr_used, 256u);
  EXPECT_EQ(r.bitmap->header.size_image, 24u);
  EXPECT_EQ(bitmap_info_bytes(*r.bitmap).size(), 40u + 4 * 256);

  // A core header with 16 colours: its 3-byte entries widened to 4 bytes.
  BmpLayout core = layout(4);
  for (std::uint32_t i = 0; i < 16; ++i) core.colors.push_back(0x010203 * i + 0x400000);
  core.header_size = 12;
  core.width = 2;
  core.height = 1;
  core.pixels = std::string("\x0F\0\0\0", 4);
  r = read(write_bmp(core));
  ASSERT_TRUE(r.bitmap) << r.error;
  EXPECT_EQ(r.bitmap->colors, core.colors);
  EXPECT_EQ(r.bitmap->header.size, 40u);
  EXPECT_EQ(r.bitmap->header.clr_important, 16u);
  const std::vector<std::uint8_t> info = bitmap_info_bytes(*r.bitmap);
  ASSERT_EQ(info.size(), 40u + 16 * 4);
  EXPECT_EQ(std::vector<std::uint8_t>(info.begin() + 40 + 4, info.begin() + 48), (std::vector<std::uint8_t>{0x03, 0x02, 0x41, 0}));
  EXPECT_EQ(bitmap_to_rgba(*r.bitmap).pixels, (std::vector<std::uint8_t>{0x40, 0, 0, 255, 0x4F, 0x1E, 0x2D, 255}));

  // A short pixel area: what is missing is black (the last stored row is
  // the top one).
  BmpLayout cut = layout(24);
  encode_rows(cut, {"WWW", "WWW"});
  file = write_bmp(cut);
  file.resize(file.size() - 9);
  EXPECT_EQ(rgba_of(file), test::picture_rgba({"WKK", "WWW"}));
}

TEST(ThumbnailBitmap, RleRunsLiteralsAndEscapes) {
  // RLE8, bottom row first: a run cut at the row's end (no wrapping), end of
  // line, a literal run padded to 16 bits, a delta that skips a row and moves
  // right, end of bitmap (the codes after it draw nothing).
  BmpLayout rle8 = layout(8, kBiRle8, kEight);
  rle8.width = 4;
  rle8.height = 4;
  rle8.pixels = std::string("\x06\x02\0\0" "\0\x03\x03\x04\x05\0" "\x01\x01\0\0" "\0\x02\x02\x01" "\x02\x06" "\0\x01" "\x05\x07",
                            24);
  EXPECT_EQ(rgba_of(write_bmp(rle8)), test::picture_rgba({"KKCC", "KKKK", "GBYW", "RRRR"}));

  // RLE4: a run of two alternating colours; a literal of five indices in
  // three bytes, padded to four; a missing end of bitmap.
  BmpLayout rle4 = layout(4, kBiRle4, kEight);
  rle4.width = 5;
  rle4.height = 2;
  rle4.pixels = std::string("\x05\x12\0\0" "\0\x05\x34\x56\x70\0", 10);
  EXPECT_EQ(rgba_of(write_bmp(rle4)), test::picture_rgba({"GBYCM", "WRWRW"}));
}

TEST(ThumbnailBitmap, HostileHeadersAreRefusedWithAReason) {
  BmpLayout base = layout(8, 0, kEight);
  base.clr_used = 8;
  encode_rows(base, {"RG", "BY"});
  const std::string good = write_bmp(base);
  ASSERT_TRUE(read(good).bitmap);
  auto with = [&](const std::function<void(std::string&)>& change) {
    std::string f = good;
    change(f);
    return f;
  };
  auto masked = [](std::array<std::uint32_t, 3> masks) {
    BmpLayout s = layout(16, kBiBitfields, {}, masks);
    s.width = s.height = 1;
    s.pixels = std::string(4, '\0');
    return write_bmp(s);
  };
  BmpLayout big = layout(32);
  big.width = big.height = 2000;
  big.pixels = "tiny";
  struct Case {
    const char* name;
    std::string file;
    const char* reason;
  } cases[] = {
      {"empty", "", "ends before"},
      {"BM alone", "BM", "file header"},
      {"header cut short", good.substr(0, 30), "ends inside the information header"},
      {"header of 64 bytes", with([](std::string& f) { put32(f, 14, 64); }), "information header of 64"},
      {"width 0", with([](std::string& f) { put32(f, kWidth, 0); }), "width"},
      {"height 0", with([](std::string& f) { put32(f, kHeight, 0); }), "height"},
      {"most negative height", with([](std::string& f) { put32(f, kHeight, 0x80000000); }), "height"},
      {"70000 wide", with([](std::string& f) { put32(f, kWidth, 70000); }), "larger"},
      {"4000 x 4000", with([](std::string& f) { put32(f, kWidth, 4000), put32(f, kHeight, 4000); }), "larger"},
      {"2 bits per pixel", with([](std::string& f) { put16(f, kBits, 2); }), "bits per pixel"},
      {"JPEG inside", with([](std::string& f) { put32(f, kCompression, 4); }), "JPEG"},
      {"unknown compression", with([](std::string& f) { put32(f, kCompression, 99); }), "compression 99"},
      {"RLE4 at 8 bits", with([](std::string& f) { put32(f, kCompression, kBiRle4); }), "RLE4"},
      {"RLE8 top-down",
       with([](std::string& f) { put32(f, kCompression, kBiRle8), put32(f, kHeight, 0xFFFFFFFE); }), "top-down"},
      {"bit fields at 8 bits", with([](std::string& f) { put32(f, kCompression, kBiBitfields); }), "bit-field"},
      {"300 colours", with([](std::string& f) { put32(f, kClrUsed, 300); }), "more than 256"},
      {"pixel offset past the end", with([](std::string& f) { put32(f, 10, 0xFFFFFFF0); }), "past the end"},
      {"2000 x 2000 x 32 in 4 bytes", write_bmp(big), "need 16000000 bytes"},
      {"mask with a gap", masked({0xF0F0, 0x0F00, 0x000F}), "one run"},
      {"overlapping masks", masked({0xFF00, 0x0FF0, 0x000F}), "overlap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapReadResult r = read(c.file);
    EXPECT_FALSE(r.bitmap);
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
  }
}

}  // namespace
}  // namespace kelvo
