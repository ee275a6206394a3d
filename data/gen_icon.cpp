// Draws the Windows program icon from the logo's picture: an .ico file with
// 16, 32 and 48 pixel images (32-bit colour with alpha, and the 1-bit mask
// older systems use), written to the path given on the command line.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "data/logo_art.h"
#include "host/base/little_endian.h"

namespace {

std::uint8_t byte_of(float v) { return static_cast<std::uint8_t>(kelvo::logo_art::clamp01(v) * 255 + 0.5f); }

// One image as stored in an icon: a bitmap header of twice the height (colour
// rows and mask rows), the colour rows bottom-up as blue, green, red, alpha,
// then the mask rows (1 = transparent), each padded to 4 bytes.
std::vector<std::uint8_t> icon_image(int size) {
  constexpr int kSamples = 4;  // per axis, for smooth edges at small sizes
  std::vector<std::uint8_t> out;
  kelvo::put_le32(out, 40);
  kelvo::put_le32(out, static_cast<std::uint32_t>(size));
  kelvo::put_le32(out, static_cast<std::uint32_t>(size * 2));
  kelvo::put_le16(out, 1);   // planes
  kelvo::put_le16(out, 32);  // bits per pixel
  for (int i = 0; i < 6; ++i) kelvo::put_le32(out, 0);  // no compression, sizes and colours unused

  std::vector<bool> transparent;
  for (int row = size - 1; row >= 0; --row) {
    for (int col = 0; col < size; ++col) {
      float r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const float px = (col + (sx + 0.5f) / kSamples) * 64.0f / size;
          const float py = (row + (sy + 0.5f) / kSamples) * 64.0f / size;
          const kelvo::logo_art::Colour c = kelvo::logo_art::colour_at(px, py);
          r += c.r;
          g += c.g;
          b += c.b;
          a += c.coverage;
        }
      }
      const float n = kSamples * kSamples;
      // The plate's colours fade to black at its edge: undo that for the
      // colour, the edge lives in alpha.
      const float alpha = a / n;
      const float scale = alpha > 0 ? 1.0f / (alpha * n) : 0.0f;
      out.push_back(byte_of(b * scale));
      out.push_back(byte_of(g * scale));
      out.push_back(byte_of(r * scale));
      out.push_back(byte_of(alpha));
      transparent.push_back(alpha < 0.5f);
    }
  }
  const int mask_row_bytes = ((size + 31) / 32) * 4;
  for (int row = 0; row < size; ++row) {
    for (int i = 0; i < mask_row_bytes; ++i) {
      std::uint8_t bits = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int col = i * 8 + bit;
        if (col < size && transparent[static_cast<std::size_t>(row * size + col)]) bits |= 0x80 >> bit;
      }
      out.push_back(bits);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_icon OUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 32, 48};
  constexpr int kCount = 3;
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : sizes) images.push_back(icon_image(size));

  std::vector<std::uint8_t> file;
  kelvo::put_le16(file, 0);  // reserved
  kelvo::put_le16(file, 1);  // an icon
  kelvo::put_le16(file, kCount);
  std::uint32_t offset = 6 + 16 * kCount;
  for (int i = 0; i < kCount; ++i) {
    file.push_back(static_cast<std::uint8_t>(sizes[i]));
    file.push_back(static_cast<std::uint8_t>(sizes[i]));
    file.push_back(0);  // no palette
    file.push_back(0);
    kelvo::put_le16(file, 1);
    kelvo::put_le16(file, 32);
    kelvo::put_le32(file, static_cast<std::uint32_t>(images[static_cast<std::size_t>(i)].size()));
    kelvo::put_le32(file, offset);
    offset += static_cast<std::uint32_t>(images[static_cast<std::size_t>(i)].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());

  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}
