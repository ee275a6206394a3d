// What the settings dialog's window test needs beside xdotool:
//
//   dialog_test_helper quadrants OUT.bmp
//       a 64 x 48 thumbnail: red, green / blue, yellow quarters
//   dialog_test_helper shot WINDOW OUT.png [X,Y ...]
//       saves the window's pixels (X display from $DISPLAY) as a PNG and
//       prints "X,Y R G B" for each point asked for
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/bmp_writer.h"

namespace {

int quadrants(const char* out) {
  kelvo::test::Picture picture;
  for (int y = 0; y < 48; ++y)
    picture.push_back(std::string(32, y < 24 ? 'R' : 'B') + std::string(32, y < 24 ? 'G' : 'Y'));
  kelvo::test::BmpLayout layout;
  kelvo::test::encode_rows(layout, picture);
  std::ofstream(out, std::ios::binary) << kelvo::test::write_bmp(layout);
  return 0;
}

bool write_png(const char* path, int width, int height, const std::vector<unsigned char>& rgb) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, rgb.data() + static_cast<std::size_t>(y) * width * 3);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

int shot(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fputs("shot: cannot open the display\n", stderr);
    return 1;
  }
  const Window window = std::strtoul(argv[2], nullptr, 0);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!image) return 1;
  auto channel = [](unsigned long pixel, unsigned long mask) {
    const unsigned long v = (pixel & mask) >> std::countr_zero(mask);
    return static_cast<unsigned char>(v * 255 / (mask >> std::countr_zero(mask)));
  };
  std::vector<unsigned char> rgb;
  for (int y = 0; y < attributes.height; ++y)
    for (int x = 0; x < attributes.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      rgb.insert(rgb.end(), {channel(p, image->red_mask), channel(p, image->green_mask), channel(p, image->blue_mask)});
    }
  XDestroyImage(image);
  XCloseDisplay(display);
  if (!write_png(argv[3], attributes.width, attributes.height, rgb)) return 1;
  for (int i = 4; i < argc; ++i) {
    int x = -1, y = -1;
    if (std::sscanf(argv[i], "%d,%d", &x, &y) != 2 || x < 0 || y < 0 || x >= attributes.width ||
        y >= attributes.height) {
      std::fprintf(stderr, "shot: point %s is outside the window\n", argv[i]);
      return 1;
    }
    const unsigned char* p = rgb.data() + (static_cast<std::size_t>(y) * attributes.width + x) * 3;
    std::printf("%d,%d %d %d %d\n", x, y, p[0], p[1], p[2]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "quadrants") return quadrants(argv[2]);
  if (argc >= 4 && std::string(argv[1]) == "shot") return shot(argc, argv);
  std::fputs("usage: dialog_test_helper quadrants OUT.bmp | shot WINDOW OUT.png [X,Y ...]\n", stderr);
  return 2;
}
