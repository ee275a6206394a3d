// Renders the bitmap font "ALFA.3DF" from a TrueType font through FreeType.
//
// The text overlay cuts its glyphs from a 256 x 256 texture: glyph k lies in
// the 16 x 16 cell of column k mod 16 and row k div 16, the first row of cells
// starting at texel row 32. The glyph order is the overlay's table: the codes
// 32 to 95, the single quote (in the backquote's place), the codes 97 to 126
// and a second space. Glyphs are white on black, top side first (texel row 0
// is the top of the texture), antialiased, stored as 8-bit grey.
//
//   gen_font FONT.ttf OUT_DIR
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "data/demo/gen_common.h"
#include "model/texture_3df_write.h"

namespace {

constexpr int kTextureSize = 256;
constexpr int kCell = 16;
constexpr int kFirstRow = 32;
// Glyphs keep this many texels free on each side of their cell, so the
// filtered edges of neighbours do not bleed in.
constexpr int kMargin = 1;

std::string glyph_table() {
  std::string t;
  for (int c = 32; c <= 95; ++c) t += static_cast<char>(c);
  t += '\'';
  for (int c = 97; c <= 126; ++c) t += static_cast<char>(c);
  t += ' ';
  return t;
}

struct Extent {
  int above = 0;  // rows above the baseline
  int below = 0;  // rows below it
  int widest = 0;
};

// The extent of every glyph of the table at a pixel size.
bool measure(FT_Face face, const std::string& table, int width_px, int height_px, Extent& extent) {
  if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(width_px), static_cast<FT_UInt>(height_px))) return false;
  extent = {};
  for (char c : table) {
    if (FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_RENDER)) return false;
    const FT_GlyphSlot g = face->glyph;
    extent.above = std::max(extent.above, g->bitmap_top);
    extent.below = std::max(extent.below, static_cast<int>(g->bitmap.rows) - g->bitmap_top);
    extent.widest = std::max(extent.widest, static_cast<int>(g->bitmap.width));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gen_font FONT.ttf OUT_DIR\n");
    return 2;
  }
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library)) {
    std::fprintf(stderr, "gen_font: FreeType does not start\n");
    return 1;
  }
  if (FT_New_Face(library, argv[1], 0, &face)) {
    std::fprintf(stderr, "gen_font: cannot read the font %s\n", argv[1]);
    return 1;
  }
  const std::string table = glyph_table();
  const int room = kCell - 2 * kMargin;

  // The largest height whose glyphs all fit the cell; the glyphs are drawn a
  // little wider than the font's own proportions, since the overlay shows
  // every glyph in a square.
  int height_px = kCell + 4;
  Extent extent;
  for (;; --height_px) {
    if (height_px < 6) {
      std::fprintf(stderr, "gen_font: the font does not fit a %d-texel cell\n", kCell);
      return 1;
    }
    const int width_px = height_px * 5 / 4;
    if (!measure(face, table, width_px, height_px, extent)) {
      std::fprintf(stderr, "gen_font: FreeType cannot render the font\n");
      return 1;
    }
    if (extent.above + extent.below <= room && extent.widest <= room) break;
  }
  const int width_px = height_px * 5 / 4;
  FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(width_px), static_cast<FT_UInt>(height_px));
  const int baseline = kMargin + extent.above + (room - extent.above - extent.below) / 2;

  std::vector<std::uint8_t> grey(kTextureSize * kTextureSize, 0);
  for (std::size_t k = 0; k < table.size(); ++k) {
    if (FT_Load_Char(face, static_cast<unsigned char>(table[k]), FT_LOAD_RENDER)) continue;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bitmap = g->bitmap;
    const int cell_x = static_cast<int>(k % 16) * kCell;
    const int cell_y = kFirstRow + static_cast<int>(k / 16) * kCell;
    // Centred on the cell by the glyph's ink.
    const int left = (kCell - static_cast<int>(bitmap.width)) / 2;
    const int top = baseline - g->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      for (unsigned col = 0; col < bitmap.width; ++col) {
        const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
        if (x < kMargin || x >= kCell - kMargin || y < kMargin || y >= kCell - kMargin) continue;
        const std::uint8_t value = bitmap.buffer[row * static_cast<unsigned>(bitmap.pitch) + col];
        std::uint8_t& texel = grey[static_cast<std::size_t>(cell_y + y) * kTextureSize + cell_x + x];
        texel = std::max(texel, value);
      }
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);

  kelvo::Image image;
  image.width = image.height = kTextureSize;
  image.rgb.reserve(grey.size() * 3);
  for (std::uint8_t v : grey) image.rgb.insert(image.rgb.end(), {v, v, v});
  const std::vector<std::uint8_t> bytes = kelvo::encode_3df(image, kelvo::TexelFormat::i8);
  if (bytes.empty() || !demo::write_file(demo::join(argv[2], "ALFA.3DF"), bytes)) return 1;
  std::printf("gen_font: %zu glyphs at %dx%d pixels, baseline at row %d of each cell\n", table.size(), width_px,
              height_px, baseline);
  return 0;
}
