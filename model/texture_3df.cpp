// Decoding and encoding of 3DF textures. No GL here: the tools link this file
// alone.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "host/base/files.h"
#include "model/texture_3df_write.h"
#include "model/texture_slots.h"

namespace kelvo {
namespace {

// Header lines 1 and 2 and each size number fit 19 characters.
constexpr std::size_t kFieldMax = 19;
// Bytes of label before the first size number on line 3 ("lod range: ").
constexpr int kLabelBytes = 11;

// Where the decoder takes its bytes from: a buffer in memory or an open file.
// get() gives the next byte or -1 at the end; read() copies up to n bytes
// and says how many there were.
class SpanSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  int get() { return pos_ < bytes_.size() ? bytes_[pos_++] : -1; }
  std::size_t read(std::uint8_t* out, std::size_t n) {
    std::size_t count = std::min(n, bytes_.size() - pos_);
    if (count > 0) std::memcpy(out, bytes_.data() + pos_, count);
    pos_ += count;
    return count;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

class FileSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  int get() {
    int c = std::getc(file_);
    return c == EOF ? -1 : c;
  }
  std::size_t read(std::uint8_t* out, std::size_t n) { return std::fread(out, 1, n, file_); }

 private:
  std::FILE* file_;
};

// Reads bytes into `out` up to `end` (consumed, not stored) or the end of the
// data. False when the field runs past 19 characters: it would not fit.
template <class Source>
bool read_field(Source& src, int end, std::string& out) {
  out.clear();
  for (;;) {
    int c = src.get();
    if (c < 0 || c == end) return true;
    if (out.size() == kFieldMax) return false;
    out.push_back(static_cast<char>(c));
  }
}

// The C library's decimal conversion (as atoi): leading white space, a sign,
// then digits; anything else ends the value. Saturates instead of overflowing.
long long decimal_value(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  constexpr long long kCap = std::numeric_limits<int>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kCap) value = kCap;
  }
  return negative ? -value : value;
}

template <class Source>
std::optional<Image> decode(Source& src) {
  std::string magic, format, number_a, number_b;
  if (!read_field(src, '\n', magic) || !read_field(src, '\n', format)) return std::nullopt;
  for (int i = 0; i < kLabelBytes; ++i) {
    if (src.get() < 0) break;
  }
  if (!read_field(src, ' ', number_a) || !read_field(src, '\n', number_b)) return std::nullopt;
  for (int c = src.get(); c >= 0 && c != '\n'; c = src.get()) {
  }

  if (magic != "3df v1.1") return std::nullopt;
  int bytes_per_texel;
  if (format == "rgb565") {
    bytes_per_texel = 2;
  } else if (format == "i8") {
    bytes_per_texel = 1;
  } else {
    return std::nullopt;
  }

  long long size = std::max(decimal_value(number_a), decimal_value(number_b));
  if (size <= 0 || size > k3dfMaxSize) return std::nullopt;

  Image image;
  std::vector<std::uint8_t> row;
  try {
    image.width = image.height = static_cast<int>(size);
    image.rgb.assign(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 3, 0);
    row.resize(static_cast<std::size_t>(size) * bytes_per_texel);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }

  // Row by row; a file that ends early leaves the rest of the image black.
  std::uint8_t* out = image.rgb.data();
  for (long long y = 0; y < size; ++y) {
    std::size_t got = src.read(row.data(), row.size());
    std::size_t texels = got / static_cast<std::size_t>(bytes_per_texel);
    const std::uint8_t* in = row.data();
    for (std::size_t x = 0; x < texels; ++x) {
      if (bytes_per_texel == 2) {
        std::uint8_t h = in[0], l = in[1];
        out[0] = static_cast<std::uint8_t>(h & 0xF8);
        out[1] = static_cast<std::uint8_t>(((h & 0x07) << 5) | ((l >> 5) << 2));
        out[2] = static_cast<std::uint8_t>((l & 0x1F) << 3);
        in += 2;
      } else {
        out[0] = out[1] = out[2] = in[0];
        in += 1;
      }
      out += 3;
    }
    if (got < row.size()) break;
  }
  return image;
}

void append(std::vector<std::uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

std::optional<Image> decode_3df(std::span<const std::uint8_t> bytes) {
  SpanSource src(bytes);
  return decode(src);
}

std::optional<Image> read_3df(const std::string& path) {
  // A named pipe put in the texture's place is refused without waiting.
  UniqueFile file = open_regular_file(path);
  if (!file) return std::nullopt;
  FileSource src(file.get());
  return decode(src);
}

std::uint8_t luminance_of(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint8_t>((299u * red + 587u * green + 114u * blue + 500u) / 1000u);
}

std::vector<std::uint8_t> encode_3df(const Image& image, TexelFormat format) {
  if (image.width <= 0 || image.width != image.height || image.width > k3dfMaxSize) return {};
  const std::size_t side = static_cast<std::size_t>(image.width);
  const std::size_t texels = side * side;
  if (image.rgb.size() != texels * 3) return {};

  std::vector<std::uint8_t> out;
  const std::string size = std::to_string(image.width);
  append(out, "3df v1.1\n");
  append(out, format == TexelFormat::rgb565 ? "rgb565\n" : "i8\n");
  append(out, "lod range: " + size + " " + size + "\n");
  append(out, "aspect ratio: 1 1\n");
  out.reserve(out.size() + texels * (format == TexelFormat::rgb565 ? 2 : 1));

  const std::uint8_t* in = image.rgb.data();
  for (std::size_t i = 0; i < texels; ++i, in += 3) {
    if (format == TexelFormat::rgb565) {
      // Nearest value the loader gives back: red and blue keep their top 5
      // bits (0 .. 248), green its top 6 (0 .. 252).
      unsigned r = std::min(248u, (in[0] + 4u) & ~7u);
      unsigned g = std::min(252u, (in[1] + 2u) & ~3u);
      unsigned b = std::min(248u, (in[2] + 4u) & ~7u);
      out.push_back(static_cast<std::uint8_t>(r | (g >> 5)));
      out.push_back(static_cast<std::uint8_t>((((g >> 2) & 0x07) << 5) | (b >> 3)));
    } else {
      out.push_back(luminance_of(in[0], in[1], in[2]));
    }
  }
  return out;
}

}  // namespace kelvo
