#include "support/bmp_writer.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace kelvo::test {

std::uint32_t letter_rgb(char letter) {
  static const std::string kLetters = "KWRGBYCM";
  static const std::uint32_t kColours[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
  const std::size_t at = kLetters.find(letter);
  if (at == std::string::npos) throw std::invalid_argument(std::string("no test colour ") + letter);
  return kColours[at];
}

namespace {

void put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// A colour channel (0 or 255 here) into the bits of `mask`.
std::uint32_t pack(std::uint32_t mask, std::uint32_t value8) {
  if (mask == 0) return 0;
  const std::uint32_t field = mask >> std::countr_zero(mask);
  return (value8 * field / 255) << std::countr_zero(mask);
}

}  // namespace

void encode_rows(BmpLayout& layout, const Picture& picture, bool top_down) {
  const int width = static_cast<int>(picture.at(0).size()), rows = static_cast<int>(picture.size());
  layout.width = width;
  layout.height = top_down ? -rows : rows;
  const std::size_t stride = (static_cast<std::size_t>(width) * layout.bits + 31) / 32 * 4;
  std::array<std::uint32_t, 3> masks = layout.masks;
  if (layout.compression == 0) masks = layout.bits == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                                     : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
  layout.pixels.clear();
  for (int i = 0; i < rows; ++i) {
    const std::string& line = picture[static_cast<std::size_t>(top_down ? i : rows - 1 - i)];
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
      const std::uint32_t rgb = letter_rgb(line[static_cast<std::size_t>(x)]);
      if (layout.bits <= 8) {
        const auto at = std::find(layout.colors.begin(), layout.colors.end(), rgb);
        if (at == layout.colors.end()) throw std::invalid_argument("colour not in the table");
        const auto index = static_cast<unsigned>(at - layout.colors.begin());
        const int per_byte = 8 / layout.bits, shift = 8 - layout.bits * (x % per_byte + 1);
        row[static_cast<std::size_t>(x / per_byte)] |= static_cast<char>(index << shift);
      } else if (layout.bits == 24) {
        row[3 * x] = static_cast<char>(rgb);
        row[3 * x + 1] = static_cast<char>(rgb >> 8);
        row[3 * x + 2] = static_cast<char>(rgb >> 16);
      } else {
        const std::uint32_t v = pack(masks[0], rgb >> 16) | pack(masks[1], (rgb >> 8) & 0xFF) | pack(masks[2], rgb & 0xFF);
        std::string bytes;
        layout.bits == 16 ? put16(bytes, v) : put32(bytes, v);
        row.replace(static_cast<std::size_t>(x) * bytes.size(), bytes.size(), bytes);
      }
    }
    layout.pixels += row;
  }
}

std::string write_bmp(const BmpLayout& layout) {
  std::string info;
  put32(info, layout.header_size);
  if (layout.header_size == 12) {
    put16(info, static_cast<std::uint32_t>(layout.width));
    put16(info, static_cast<std::uint32_t>(layout.height));
    put16(info, 1);
    put16(info, layout.bits);
  } else {
    put32(info, static_cast<std::uint32_t>(layout.width));
    put32(info, static_cast<std::uint32_t>(layout.height));
    put16(info, 1);
    put16(info, layout.bits);
    put32(info, layout.compression);
    put32(info, static_cast<std::uint32_t>(layout.pixels.size()));
    put32(info, 2835);
    put32(info, 2835);
    put32(info, layout.clr_used);
    put32(info, 0);
    if (layout.header_size > 40) {
      // The later headers carry the masks (and alpha mask, colour space ...).
      for (std::uint32_t m : layout.masks) put32(info, m);
      info.resize(layout.header_size, '\0');
    }
  }
  if (layout.compression == 3 && layout.header_size == 40)
    for (std::uint32_t m : layout.masks) put32(info, m);
  for (std::uint32_t c : layout.colors) {
    info += static_cast<char>(c & 0xFF);
    info += static_cast<char>((c >> 8) & 0xFF);
    info += static_cast<char>((c >> 16) & 0xFF);
    if (layout.header_size != 12) info += '\0';
  }
  std::string file;
  if (layout.file_header) {
    const std::uint32_t offset = layout.pixel_offset ? layout.pixel_offset : static_cast<std::uint32_t>(14 + info.size());
    file = "BM";
    put32(file, static_cast<std::uint32_t>(14 + info.size() + layout.pixels.size()));
    put32(file, 0);
    put32(file, offset);
  }
  return file + info + layout.pixels;
}

std::vector<std::uint8_t> picture_rgba(const Picture& picture) {
  std::vector<std::uint8_t> out;
  for (const std::string& line : picture)
    for (char letter : line) {
      const std::uint32_t rgb = letter_rgb(letter);
      out.insert(out.end(), {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                             static_cast<std::uint8_t>(rgb), 255});
    }
  return out;
}

}  // namespace kelvo::test
