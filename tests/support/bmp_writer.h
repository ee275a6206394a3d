// A small writer of Windows bitmap files for the tests: every header kind,
// depth and compression the reader takes, from pictures given as letters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::test {

// Letters of the test pictures: the corners of the colour cube.
//   K black, W white, R red, G green, B blue, Y yellow, C cyan, M magenta
std::uint32_t letter_rgb(char letter);  // 0x00RRGGBB

// Rows top first, all of one length.
using Picture = std::vector<std::string>;

struct BmpLayout {
  bool file_header = true;
  std::uint32_t header_size = 40;  // 12 (core), 40, or 124 (masks inside)
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: top-down
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t clr_used = 0;
  std::vector<std::uint32_t> colors;      // 0x00RRGGBB; written as the table
  std::array<std::uint32_t, 3> masks{};   // written for compression 3
  std::string pixels;                     // the pixel data as stored
  std::uint32_t pixel_offset = 0;         // 0: right behind the table
};

// The pixel rows of `picture` at `layout.bits` (palette indices from
// `layout.colors`, or packed with `layout.masks`, or 5-5-5 for 16 bits), in the
// order the height's sign gives; also sets width and height.
void encode_rows(BmpLayout& layout, const Picture& picture, bool top_down = false);

// The whole file.
std::string write_bmp(const BmpLayout& layout);

// The picture as the reader's RGBA rows should be.
std::vector<std::uint8_t> picture_rgba(const Picture& picture);

}  // namespace kelvo::test
