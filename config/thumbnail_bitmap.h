// Windows bitmap files (".BMP"), read from bytes for the configuration
// dialog's thumbnail.
//
// The reader keeps the picture as the platform's bitmap drawing takes it (a
// device-independent bitmap: a 40-byte information header, the bit-field
// masks or colour table, the pixel rows as stored) and turns it into RGBA
// rows for a texture. It draws what StretchDIBits draws for 1, 4, 8, 16, 24
// and 32 bits per pixel, bit-field masks, RLE8 and RLE4, bottom-up and
// top-down rows; anything else is refused with a reason. Sizes are checked
// against the file before anything is allocated.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvo {

// Compression values of the information header.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;

// The largest picture read: a thumbnail is drawn into a small area.
inline constexpr std::int32_t kMaxBitmapSide = 4096;
inline constexpr std::int64_t kMaxBitmapPixels = 2048 * 2048;
// Uncompressed pixel rows may end early (the rest is black), by this much at
// most: a header claiming far more than the file holds is refused.
inline constexpr std::uint64_t kMaxMissingPixelBytes = 64 * 1024;

// The 40-byte information header (BITMAPINFOHEADER); other header kinds are
// converted to it.
struct BitmapInfoHeader {
  std::uint32_t size = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: the top row is stored first
  std::uint16_t planes = 1;
  std::uint16_t bit_count = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t size_image = 0;  // bytes of `pixels`
  std::int32_t x_pels_per_meter = 0;
  std::int32_t y_pels_per_meter = 0;
  std::uint32_t clr_used = 0;  // entries of `colors`
  std::uint32_t clr_important = 0;
};

// A device-independent bitmap, ready for StretchDIBits.
struct DibBitmap {
  BitmapInfoHeader header;
  // Red, green and blue masks when the compression is kBiBitfields; in a
  // BITMAPINFO they take the place of the first colour-table entries.
  std::array<std::uint32_t, 3> masks{};
  // The colour table, each entry 0x00RRGGBB (the bytes blue, green, red, 0).
  std::vector<std::uint32_t> colors;
  // The pixel rows exactly as stored (the codes for RLE), rows padded to 4
  // bytes; a short file's missing rows are zero.
  std::vector<std::uint8_t> pixels;
};

struct BitmapReadResult {
  std::optional<DibBitmap> bitmap;
  std::string error;  // why there is none
};

// Reads a bitmap file, with or without its 14-byte file header.
BitmapReadResult read_bitmap(std::span<const std::uint8_t> file);

// The BITMAPINFO of `dib` as bytes: the header, then the masks (bit fields)
// and the colour table.
std::vector<std::uint8_t> bitmap_info_bytes(const DibBitmap& dib);

// Pixels as 4 bytes red, green, blue, alpha (always 255), top row first.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

// What the bitmap draws at its own size. Palette indices past the colour
// table, and pixels that RLE codes skip, are black (the thumbnail area's own
// colour).
RgbaImage bitmap_to_rgba(const DibBitmap& dib);

}  // namespace kelvo
