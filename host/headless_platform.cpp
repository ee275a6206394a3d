#include "host/headless_platform.h"

#include "host/user_dirs_posix.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <png.h>

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelvo {

HeadlessPlatform::HeadlessPlatform(int width, int height, std::string settings_path,
                                   const std::vector<SettingOverride>& overrides)
    : width_(width),
      height_(height),
      frame_(static_cast<std::size_t>(width) * height * 3, 0),
      settings_(std::move(settings_path)),
      overrides_(settings_) {
  overrides_.set(overrides);
  overrides_.set("ResX", std::to_string(width));
  overrides_.set("ResY", std::to_string(height));
  overrides_.set("Sounds", "0");
}

HeadlessPlatform::~HeadlessPlatform() { release_gl_context(); }

bool HeadlessPlatform::set_display_mode(int width, int height) { return width == width_ && height == height_; }

bool HeadlessPlatform::create_gl_context() {
  if (context_) return true;
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  if (!context) {
    std::fprintf(stderr, "kelvo-render: no OSMesa context (OSMesaCreateContextExt failed)\n");
    return false;
  }
  buffer_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
  if (!OSMesaMakeCurrent(context, buffer_.data(), GL_UNSIGNED_BYTE, width_, height_)) {
    std::fprintf(stderr, "kelvo-render: cannot use the OSMesa context at %dx%d\n", width_, height_);
    OSMesaDestroyContext(context);
    buffer_.clear();
    return false;
  }
  context_ = context;
  return true;
}

void HeadlessPlatform::release_gl_context() {
  if (!context_) return;
  OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
  context_ = nullptr;
  buffer_.clear();
}

void HeadlessPlatform::swap_buffers() {
  if (!context_) return;
  glFinish();
  // OSMesa keeps the bottom row first; the picture goes top row first.
  const std::size_t w = static_cast<std::size_t>(width_);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* src = &buffer_[(static_cast<std::size_t>(height_ - 1 - y) * w) * 4];
    std::uint8_t* dst = &frame_[static_cast<std::size_t>(y) * w * 3];
    for (std::size_t x = 0; x < w; ++x) {
      dst[x * 3 + 0] = src[x * 4 + 0];
      dst[x * 3 + 1] = src[x * 4 + 1];
      dst[x * 3 + 2] = src[x * 4 + 2];
    }
  }
  ++swaps_;
}

void HeadlessPlatform::message_box(const char* text, const char* title) {
  std::fprintf(stderr, "kelvo-render: %s: %s\n", title, text);
}

std::string HeadlessPlatform::work_directory() { return work_dir_.path(); }

std::string HeadlessPlatform::program_directory() { return executable_directory(); }

std::vector<std::string> HeadlessPlatform::package_directories() { return kelvo::package_directories(); }

std::string HeadlessPlatform::debug_log_path() {
  const std::string path = debug_log_file();
  make_private_dirs(path.substr(0, path.rfind('/')));  // the log simply stays closed if this fails
  return path;
}


namespace {

struct PngFailure {
  std::jmp_buf jump;
  char message[200] = "";
};

extern "C" void png_failed(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  std::longjmp(failure->jump, 1);
}

extern "C" void png_warned(png_structp, png_const_charp) {}

}  // namespace

bool write_png_rgb(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
                   std::string& error) {
  if (width <= 0 || height <= 0 || rgb.size() != static_cast<std::size_t>(width) * height * 3) {
    error = "no picture to write";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  PngFailure failure;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, png_failed, png_warned);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(png ? &png : nullptr, nullptr);
    std::fclose(file);
    error = "out of memory";
    return false;
  }
  // Everything that libpng may jump out of stays between here and the
  // destroy call; no object with a destructor lives in this stretch.
  if (setjmp(failure.jump)) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = failure.message[0] ? failure.message : "PNG encoding failed";
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(&rgb[static_cast<std::size_t>(y) * width * 3]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace kelvo
