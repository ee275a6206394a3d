// The bitmap reader. Loading follows the platform's own steps: an optional
// file header whose pixel offset counts from the start of the file; a 40-byte
// information header or a 12-byte core header (converted, its 3-byte colour
// entries widened); the colour count from "colours used" or the bit depth; an
// image size of 0 computed from the rows. The later header versions (52, 56,
// 108 and 124 bytes) are read as a 40-byte header plus their masks.
#include "config/thumbnail_bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kelvo {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t le32s(const std::uint8_t* p) { return static_cast<std::int32_t>(le32(p)); }

const char* compression_name(std::uint32_t c) {
  switch (c) {
    case 4: return " (JPEG)";
    case 5: return " (PNG)";
    case 6: return " (alpha bit fields)";
    default: return "";
  }
}

// Row bytes of an uncompressed bitmap: bits padded to 32.
std::uint64_t stride_of(std::int32_t width, unsigned bits) {
  return (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
}

// A mask must be one run of bits (or none).
bool contiguous(std::uint32_t mask) {
  if (mask == 0) return true;
  const std::uint32_t shifted = mask >> std::countr_zero(mask);
  return (shifted & (shifted + 1)) == 0;
}

BitmapReadResult refuse(std::string reason) {
  BitmapReadResult r;
  r.error = std::move(reason);
  return r;
}

}  // namespace

BitmapReadResult read_bitmap(std::span<const std::uint8_t> file) {
  const std::uint8_t* const data = file.data();
  const std::size_t size = file.size();
  std::size_t pos = 0;
  std::uint32_t pixel_offset = 0;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    if (size < kFileHeaderSize) return refuse("the file ends inside its 14-byte file header");
    pixel_offset = le32(data + 10);
    pos = kFileHeaderSize;
  }
  if (size - pos < 4) return refuse("the file ends before the information header");
  const std::uint32_t header_size = le32(data + pos);
  const bool core = header_size == kCoreHeaderSize;
  if (!core && header_size != 40 && header_size != 52 && header_size != 56 && header_size != 108 &&
      header_size != 124)
    return refuse("information header of " + std::to_string(header_size) +
                  " bytes (known: 12, 40, 52, 56, 108, 124)");
  if (size - pos < header_size) return refuse("the file ends inside the information header");

  DibBitmap dib;
  BitmapInfoHeader& h = dib.header;
  const std::uint8_t* p = data + pos;
  if (core) {
    h.width = le16(p + 4);
    h.height = le16(p + 6);
    h.planes = le16(p + 8);
    h.bit_count = le16(p + 10);
  } else {
    h.width = le32s(p + 4);
    h.height = le32s(p + 8);
    h.planes = le16(p + 12);
    h.bit_count = le16(p + 14);
    h.compression = le32(p + 16);
    h.size_image = le32(p + 20);
    h.x_pels_per_meter = le32s(p + 24);
    h.y_pels_per_meter = le32s(p + 28);
    h.clr_used = le32(p + 32);
    h.clr_important = le32(p + 36);
  }
  pos += header_size;

  // Sizes first: nothing is allocated for a header that cannot be drawn.
  if (h.width <= 0) return refuse("width " + std::to_string(h.width) + " is not positive");
  if (h.height == 0 || h.height == INT32_MIN) return refuse("height " + std::to_string(h.height) + " is not usable");
  const bool top_down = h.height < 0;
  const std::int32_t rows = top_down ? -h.height : h.height;
  if (h.width > kMaxBitmapSide || rows > kMaxBitmapSide ||
      static_cast<std::int64_t>(h.width) * rows > kMaxBitmapPixels)
    return refuse(std::to_string(h.width) + " x " + std::to_string(rows) + " pixels is larger than a thumbnail may be");
  const unsigned bits = h.bit_count;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return refuse(std::to_string(bits) + " bits per pixel is not a bitmap format");
  switch (h.compression) {
    case kBiRgb: break;
    case kBiRle8:
    case kBiRle4:
      if (bits != (h.compression == kBiRle8 ? 8u : 4u))
        return refuse("RLE" + std::to_string(h.compression == kBiRle8 ? 8 : 4) + " with " + std::to_string(bits) +
                      " bits per pixel");
      if (top_down) return refuse("RLE rows cannot be stored top-down");
      break;
    case kBiBitfields:
      if (bits != 16 && bits != 32) return refuse("bit-field masks with " + std::to_string(bits) + " bits per pixel");
      break;
    default:
      return refuse("compression " + std::to_string(h.compression) + compression_name(h.compression) +
                    " is not supported");
  }

  // The masks: inside the later headers, or right after a 40-byte one.
  if (h.compression == kBiBitfields) {
    const std::uint8_t* m = nullptr;
    if (header_size >= 52) {
      m = p + 40;
    } else {
      if (size - pos < 12) return refuse("the file ends inside the bit-field masks");
      m = data + pos;
      pos += 12;
    }
    dib.masks = {le32(m), le32(m + 4), le32(m + 8)};
    for (std::uint32_t mask : dib.masks)
      if (!contiguous(mask)) return refuse("a bit-field mask is not one run of bits");
    if ((dib.masks[0] & dib.masks[1]) | (dib.masks[0] & dib.masks[2]) | (dib.masks[1] & dib.masks[2]))
      return refuse("bit-field masks overlap");
  }

  // Colours: "colours used" when given, else every index the depth allows.
  std::uint32_t colors = bits <= 8 ? 1u << bits : 0u;
  if (!core && h.clr_used != 0) colors = h.clr_used;
  if (colors > 256) return refuse("colour count " + std::to_string(colors) + " is more than 256");
  if (core) h.clr_important = colors;
  h.clr_used = colors;
  // A table cut short by the end of the file reads as black entries.
  const std::size_t entry = core ? 3 : 4;
  dib.colors.assign(colors, 0);
  for (std::uint32_t i = 0; i < colors && size - pos >= entry; ++i, pos += entry)
    dib.colors[i] = (static_cast<std::uint32_t>(data[pos + 2]) << 16) | (data[pos + 1] << 8) | data[pos];
  pos = std::min(pos, size);

  if (pixel_offset != 0) {
    if (pixel_offset > size)
      return refuse("pixel data offset " + std::to_string(pixel_offset) + " is past the end of the file (" +
                    std::to_string(size) + " bytes)");
    pos = pixel_offset;
  }
  const std::uint64_t available = size - pos;
  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    // The codes run to the stated size, or to the end of the file.
    std::uint64_t coded = h.size_image != 0 ? h.size_image : stride_of(h.width, bits) * static_cast<std::uint64_t>(rows);
    coded = std::min(coded, available);
    dib.pixels.assign(data + pos, data + pos + coded);
  } else {
    // Rows are found from the size alone, whatever "image size" says.
    const std::uint64_t needed = stride_of(h.width, bits) * static_cast<std::uint64_t>(rows);
    if (needed > available + kMaxMissingPixelBytes)
      return refuse("the pixel rows need " + std::to_string(needed) + " bytes; the file holds " +
                    std::to_string(available));
    dib.pixels.assign(static_cast<std::size_t>(needed), 0);
    std::memcpy(dib.pixels.data(), data + pos, static_cast<std::size_t>(std::min(needed, available)));
  }
  h.size = 40;
  h.size_image = static_cast<std::uint32_t>(dib.pixels.size());
  BitmapReadResult result;
  result.bitmap = std::move(dib);
  return result;
}

std::vector<std::uint8_t> bitmap_info_bytes(const DibBitmap& dib) {
  std::vector<std::uint8_t> out;
  auto put16 = [&](std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  const BitmapInfoHeader& h = dib.header;
  put32(h.size);
  put32(static_cast<std::uint32_t>(h.width));
  put32(static_cast<std::uint32_t>(h.height));
  put16(h.planes);
  put16(h.bit_count);
  put32(h.compression);
  put32(h.size_image);
  put32(static_cast<std::uint32_t>(h.x_pels_per_meter));
  put32(static_cast<std::uint32_t>(h.y_pels_per_meter));
  put32(h.clr_used);
  put32(h.clr_important);
  if (h.compression == kBiBitfields)
    for (std::uint32_t m : dib.masks) put32(m);
  for (std::uint32_t c : dib.colors) put32(c);
  return out;
}

namespace {

// One channel of a bit-field pixel widened to 8 bits, its top bits repeated
// below (5 bits 11111 give 255).
struct Channel {
  int shift = 0;  // where the field's top bit lands on bit 7
  int length = 0;
  std::uint32_t mask = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    const int low = std::countr_zero(m);
    length = std::popcount(m);
    shift = low + length - 8;
  }
  std::uint8_t operator()(std::uint32_t pixel) const {
    if (length == 0) return 0;
    std::uint32_t v = pixel & mask;
    v = shift >= 0 ? v >> shift : v << -shift;
    v &= 0xFFu << (8 - std::min(length, 8)) & 0xFF;
    for (int filled = length; filled < 8; filled += length) v |= v >> length;
    return static_cast<std::uint8_t>(v);
  }
};

class RgbaWriter {
 public:
  RgbaWriter(const DibBitmap& dib, RgbaImage& out)
      : dib_(dib), out_(out), bottom_up_(dib.header.height > 0) {}

  // Pixel x of stored row `row` (0 is the first row in the file).
  std::uint8_t* at(int x, int row) {
    const int y = bottom_up_ ? out_.height - 1 - row : row;
    return out_.pixels.data() + (static_cast<std::size_t>(y) * out_.width + x) * 4;
  }
  void put_rgb(int x, int row, std::uint32_t rgb) {
    std::uint8_t* p = at(x, row);
    p[0] = static_cast<std::uint8_t>(rgb >> 16);
    p[1] = static_cast<std::uint8_t>(rgb >> 8);
    p[2] = static_cast<std::uint8_t>(rgb);
  }
  void put_index(int x, int row, unsigned index) {
    put_rgb(x, row, index < dib_.colors.size() ? dib_.colors[index] : 0);
  }

 private:
  const DibBitmap& dib_;
  RgbaImage& out_;
  bool bottom_up_;
};

// RLE8 and RLE4: runs of one index (two alternating ones for RLE4), literal
// runs padded to 16 bits, and the escapes end of line, end of bitmap and
// delta (move right and up). Pixels outside the picture are dropped.
void decode_rle(const DibBitmap& dib, RgbaImage& out, RgbaWriter& w) {
  const bool four = dib.header.compression == kBiRle4;
  const std::uint8_t* p = dib.pixels.data();
  const std::uint8_t* const end = p + dib.pixels.size();
  int x = 0, row = 0;
  auto put = [&](unsigned index) {
    if (x < out.width && row < out.height) w.put_index(x, row, index);
    ++x;
  };
  while (end - p >= 2 && row < out.height) {
    const unsigned count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && x < out.width; ++i) put(four ? (i & 1 ? value & 15 : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (end - p < 2) break;
      x += p[0];
      row += p[1];
      p += 2;
    } else {  // `value` literal indices
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      const std::size_t padded = (bytes + 1) & ~std::size_t{1};
      if (static_cast<std::size_t>(end - p) < bytes) break;
      for (unsigned i = 0; i < value; ++i) put(four ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
      p += std::min(padded, static_cast<std::size_t>(end - p));
    }
  }
}

}  // namespace

RgbaImage bitmap_to_rgba(const DibBitmap& dib) {
  const BitmapInfoHeader& h = dib.header;
  RgbaImage out;
  out.width = h.width;
  out.height = h.height < 0 ? -h.height : h.height;
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height * 4, 0);
  for (std::size_t i = 3; i < out.pixels.size(); i += 4) out.pixels[i] = 255;
  RgbaWriter w(dib, out);
  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    decode_rle(dib, out, w);
    return out;
  }

  const unsigned bits = h.bit_count;
  const std::size_t stride = static_cast<std::size_t>(stride_of(h.width, bits));
  std::array<std::uint32_t, 3> masks = dib.masks;
  if (h.compression == kBiRgb) masks = bits == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                                  : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  for (int row = 0; row < out.height; ++row) {
    const std::uint8_t* r = dib.pixels.data() + static_cast<std::size_t>(row) * stride;
    for (int x = 0; x < out.width; ++x) {
      switch (bits) {
        case 1: w.put_index(x, row, (r[x / 8] >> (7 - x % 8)) & 1); break;
        case 4: w.put_index(x, row, x & 1 ? r[x / 2] & 15 : r[x / 2] >> 4); break;
        case 8: w.put_index(x, row, r[x]); break;
        case 24: {
          const std::uint8_t* q = r + 3 * x;
          w.put_rgb(x, row, (static_cast<std::uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0]);
          break;
        }
        default: {
          const std::uint32_t v = bits == 16 ? le16(r + 2 * x) : le32(r + 4 * x);
          w.put_rgb(x, row, (static_cast<std::uint32_t>(red(v)) << 16) | (green(v) << 8) | blue(v));
        }
      }
    }
  }
  return out;
}

}  // namespace kelvo
