// kelvo-tex: converts pictures to 3DF textures and back.
//
//   kelvo-tex to3df IN.png OUT.3DF [--format rgb565|i8] [--resize]
//   kelvo-tex topng IN.3DF OUT.png
//
// Exit status: 0 done, 1 bad input or a read/write failure, 2 bad usage.
// Output files are written under a temporary name beside the target and
// renamed into place, so a failed run never leaves a half-written file.
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"

namespace {

using kelvo::Image;
using kelvo::TexelFormat;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Input pictures are refused beyond 8192 pixels a side or 16 million pixels
// (48 MiB of RGB), so a crafted header cannot make us allocate without bound.
constexpr png_uint_32 kMaxInputSide = 8192;
constexpr std::size_t kMaxInputPixels = std::size_t{16} << 20;
// --resize never makes a texture larger than this.
constexpr int kMaxResizedSide = 1024;

const char kUsage[] =
    "usage: kelvo-tex to3df IN.png OUT.3DF [--format rgb565|i8] [--resize]\n"
    "       kelvo-tex topng IN.3DF OUT.png\n"
    "       kelvo-tex --help\n"
    "\n"
    "to3df  converts a PNG picture (any colour type and depth; alpha is dropped)\n"
    "       to a 3DF texture. The format is rgb565 (default) or i8 (grey, the\n"
    "       luminance 0.299 R + 0.587 G + 0.114 B). A texture is a square whose\n"
    "       side is a power of two from 1 to 4096; other pictures are refused\n"
    "       unless --resize is given, which scales them to the smallest power of\n"
    "       two square not smaller than their larger side, at most 1024\n"
    "       (pictures that already are a texture's shape are kept as they are).\n"
    "topng  writes a 3DF texture as an 8-bit RGB PNG, for previews.\n"
    "\n"
    "Exit status: 0 done, 1 bad input or I/O failure, 2 bad usage.\n";

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "kelvo-tex: %s: %s\n", file.c_str(), reason.c_str());
  return kExitFailed;
}

int usage_error(const std::string& reason) {
  std::fprintf(stderr, "kelvo-tex: %s\n%s", reason.c_str(), kUsage);
  return kExitUsage;
}

// ---------------------------------------------------------------- PNG input

// libpng reports errors by longjmp; the state it must survive lives here,
// outside the frame that calls setjmp.
struct PngRead {
  std::FILE* file = nullptr;
  png_uint_32 width = 0, height = 0;
  png_bytep pixels = nullptr;  // malloc'ed, width * height * 3
  png_bytepp rows = nullptr;   // malloc'ed
  char error[256] = "";
};

void png_error_to_jump(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngRead*>(png_get_error_ptr(png));
  std::snprintf(state->error, sizeof state->error, "%s", message ? message : "PNG error");
  png_longjmp(png, 1);
}

void png_ignore_warning(png_structp, png_const_charp) {}

// Decodes into state->pixels as 8-bit RGB. Holds only trivially destructible
// locals, as a longjmp may leave it at any libpng call.
bool decode_png(PngRead* state) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, state, png_error_to_jump, png_ignore_warning);
  if (!png) {
    std::snprintf(state->error, sizeof state->error, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(state->error, sizeof state->error, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, state->file);
  png_set_user_limits(png, kMaxInputSide, kMaxInputSide);
  png_read_info(png, info);

  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  if (static_cast<std::size_t>(width) * height > kMaxInputPixels) {
    png_error(png, "picture too large (at most 16 million pixels)");
  }

  // Whatever the colour type and depth: 8-bit RGB, alpha dropped.
  int colour_type = png_get_color_type(png, info);
  int bit_depth = png_get_bit_depth(png, info);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (bit_depth == 16) png_set_scale_16(png);
  if (colour_type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 3 ||
      png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * 3) {
    png_error(png, "unsupported PNG layout");
  }

  state->pixels = static_cast<png_bytep>(std::malloc(static_cast<std::size_t>(width) * height * 3));
  state->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * height));
  if (!state->pixels || !state->rows) png_error(png, "out of memory");
  for (png_uint_32 y = 0; y < height; ++y) {
    state->rows[y] = state->pixels + static_cast<std::size_t>(y) * width * 3;
  }
  png_read_image(png, state->rows);
  png_read_end(png, nullptr);
  state->width = width;
  state->height = height;
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool read_png(const std::string& path, Image& image, std::string& reason) {
  PngRead state;
  state.file = std::fopen(path.c_str(), "rb");
  if (!state.file) {
    reason = std::strerror(errno);
    return false;
  }
  png_byte signature[8] = {};
  bool ok = std::fread(signature, 1, sizeof signature, state.file) == sizeof signature &&
            png_sig_cmp(signature, 0, sizeof signature) == 0;
  if (!ok) {
    reason = "not a PNG file";
  } else {
    std::rewind(state.file);
    ok = decode_png(&state);
    if (ok) {
      image.width = static_cast<int>(state.width);
      image.height = static_cast<int>(state.height);
      image.rgb.assign(state.pixels, state.pixels + static_cast<std::size_t>(state.width) * state.height * 3);
    } else {
      reason = std::string("bad PNG: ") + state.error;
    }
  }
  std::free(state.pixels);
  std::free(state.rows);
  std::fclose(state.file);
  return ok;
}

// --------------------------------------------------------------- PNG output

struct PngWrite {
  std::FILE* file = nullptr;
  const Image* image = nullptr;
  png_bytepp rows = nullptr;  // malloc'ed
  char error[256] = "";
};

void png_write_error_to_jump(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngWrite*>(png_get_error_ptr(png));
  std::snprintf(state->error, sizeof state->error, "%s", message ? message : "PNG error");
  png_longjmp(png, 1);
}

bool encode_png(PngWrite* state) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state, png_write_error_to_jump,
                                            png_ignore_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  const Image& image = *state->image;
  png_init_io(png, state->file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  state->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * static_cast<std::size_t>(image.height)));
  if (!state->rows) png_error(png, "out of memory");
  for (int y = 0; y < image.height; ++y) {
    state->rows[y] = const_cast<png_bytep>(image.rgb.data()) + static_cast<std::size_t>(y) * image.width * 3;
  }
  png_write_info(png, info);
  png_write_image(png, state->rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// ------------------------------------------------------------ atomic output

// Writes `path` through `write` into a temporary file beside it, then renames
// it into place. The temporary file is removed on any failure.
bool write_atomically(const std::string& path, const std::function<bool(std::FILE*, std::string&)>& write,
                      std::string& reason) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    reason = std::string("cannot create a temporary file beside it: ") + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; give it the permissions a plain create would.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);

  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    reason = std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  bool ok = write(file, reason);
  if (ok && (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0)) {
    reason = std::strerror(errno);
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    reason = std::strerror(errno);
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// ------------------------------------------------------------------ resizing

struct Tap {
  int index;
  float weight;
};

// For every output position, the input positions it takes and their weights:
// a box filter when shrinking (each output texel averages the input it
// covers), linear interpolation between texel centres when enlarging.
std::vector<std::vector<Tap>> resample_taps(int from, int to) {
  std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(to));
  const double scale = static_cast<double>(from) / to;
  for (int o = 0; o < to; ++o) {
    auto& list = taps[static_cast<std::size_t>(o)];
    if (to < from) {
      const double start = o * scale, end = (o + 1) * scale;
      for (int i = static_cast<int>(std::floor(start)); i < from && i < end; ++i) {
        double overlap = std::min(end, i + 1.0) - std::max(start, static_cast<double>(i));
        if (overlap > 0) list.push_back({i, static_cast<float>(overlap / scale)});
      }
    } else {
      double x = std::clamp((o + 0.5) * scale - 0.5, 0.0, static_cast<double>(from - 1));
      int i0 = static_cast<int>(x);
      int i1 = std::min(i0 + 1, from - 1);
      float t = static_cast<float>(x - i0);
      list.push_back({i0, 1.0f - t});
      if (t > 0) list.push_back({i1, t});
    }
  }
  return taps;
}

Image resize(const Image& in, int side) {
  const auto across = resample_taps(in.width, side);
  const auto down = resample_taps(in.height, side);
  // Horizontal pass into floats, then the vertical pass.
  std::vector<float> wide(static_cast<std::size_t>(in.height) * side * 3, 0.0f);
  for (int y = 0; y < in.height; ++y) {
    const std::uint8_t* row = &in.rgb[static_cast<std::size_t>(y) * in.width * 3];
    float* out = &wide[static_cast<std::size_t>(y) * side * 3];
    for (int x = 0; x < side; ++x) {
      for (const Tap& t : across[static_cast<std::size_t>(x)]) {
        for (int c = 0; c < 3; ++c) out[x * 3 + c] += t.weight * row[t.index * 3 + c];
      }
    }
  }
  Image result;
  result.width = result.height = side;
  result.rgb.assign(static_cast<std::size_t>(side) * side * 3, 0);
  std::vector<float> sum(static_cast<std::size_t>(side) * 3);
  for (int y = 0; y < side; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (const Tap& t : down[static_cast<std::size_t>(y)]) {
      const float* row = &wide[static_cast<std::size_t>(t.index) * side * 3];
      for (int i = 0; i < side * 3; ++i) sum[static_cast<std::size_t>(i)] += t.weight * row[i];
    }
    std::uint8_t* out = &result.rgb[static_cast<std::size_t>(y) * side * 3];
    for (int i = 0; i < side * 3; ++i) {
      out[i] = static_cast<std::uint8_t>(std::clamp(std::lround(sum[static_cast<std::size_t>(i)]), 0L, 255L));
    }
  }
  return result;
}

bool is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

bool is_texture_size(const Image& image) {
  return image.width == image.height && is_power_of_two(image.width) && image.width <= kelvo::k3dfMaxSize;
}

// ------------------------------------------------------------------ commands

int to3df(const std::string& in_path, const std::string& out_path, TexelFormat format, bool allow_resize) {
  Image image;
  std::string reason;
  if (!read_png(in_path, image, reason)) return fail(in_path, reason);

  if (!is_texture_size(image)) {
    if (!allow_resize) {
      return fail(in_path, "picture is " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                               "; a texture must be a square whose side is a power of two from 1 to " +
                               std::to_string(kelvo::k3dfMaxSize) + " (--resize scales it)");
    }
    int side = 1;
    while (side < std::max(image.width, image.height) && side < kMaxResizedSide) side *= 2;
    image = resize(image, side);
  }

  std::vector<std::uint8_t> bytes = kelvo::encode_3df(image, format);
  if (bytes.empty()) return fail(in_path, "cannot be encoded as 3DF");
  auto write = [&bytes](std::FILE* file, std::string& why) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      why = std::strerror(errno);
      return false;
    }
    return true;
  };
  if (!write_atomically(out_path, write, reason)) return fail(out_path, reason);
  return kExitOk;
}

int topng(const std::string& in_path, const std::string& out_path) {
  struct stat st {};
  if (::stat(in_path.c_str(), &st) != 0) return fail(in_path, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail(in_path, "not a regular file");
  std::optional<Image> image = kelvo::read_3df(in_path);
  if (!image) {
    return fail(in_path, "not a 3DF texture (bad header, or a size outside 1 to " +
                             std::to_string(kelvo::k3dfMaxSize) + ")");
  }
  auto write = [&image](std::FILE* file, std::string& why) {
    PngWrite state;
    state.file = file;
    state.image = &*image;
    bool ok = encode_png(&state);
    std::free(state.rows);
    if (!ok) why = state.error[0] ? state.error : "cannot write PNG";
    return ok;
  };
  std::string reason;
  if (!write_atomically(out_path, write, reason)) return fail(out_path, reason);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + std::max(argc, 1));
  if (std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end()) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (args.empty()) return usage_error("no command given");

  const std::string command = args[0];
  std::vector<std::string> files;
  TexelFormat format = TexelFormat::rgb565;
  bool resize_given = false, format_given = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format") {
      if (i + 1 >= args.size()) return usage_error("--format needs rgb565 or i8");
      const std::string& f = args[++i];
      if (f == "rgb565") {
        format = TexelFormat::rgb565;
      } else if (f == "i8") {
        format = TexelFormat::i8;
      } else {
        return usage_error("unknown format '" + f + "' (rgb565 or i8)");
      }
      format_given = true;
    } else if (a == "--resize") {
      resize_given = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage_error("unknown option '" + a + "'");
    } else {
      files.push_back(a);
    }
  }

  if (command == "to3df") {
    if (files.size() != 2) return usage_error("to3df takes IN.png and OUT.3DF");
    return to3df(files[0], files[1], format, resize_given);
  }
  if (command == "topng") {
    if (files.size() != 2) return usage_error("topng takes IN.3DF and OUT.png");
    if (format_given || resize_given) return usage_error("topng takes no options");
    return topng(files[0], files[1]);
  }
  return usage_error("unknown command '" + command + "'");
}
