// Draws the program's logo, a 64 x 64 rgb565 3DF texture: a rounded plate with
// a shaded "K", written to the path given on the command line.
#include <cstdio>
#include <vector>

#include "data/logo_art.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_logo OUT.3DF\n");
    return 2;
  }
  const int size = 64;
  std::vector<unsigned char> texels;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const kelvo::logo_art::Colour c = kelvo::logo_art::colour_at(x + 0.5f, y + 0.5f);
      const float r = c.r, g = c.g, b = c.b;
      unsigned red = static_cast<unsigned>(r * 31 + 0.5f);
      unsigned green = static_cast<unsigned>(g * 63 + 0.5f);
      unsigned blue = static_cast<unsigned>(b * 31 + 0.5f);
      unsigned texel = (red << 11) | (green << 5) | blue;
      texels.push_back(static_cast<unsigned char>(texel >> 8));  // high byte first
      texels.push_back(static_cast<unsigned char>(texel & 0xFF));
    }
  }
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(f, "3df v1.1\nrgb565\nlod range: %d %d\naspect ratio: 1 1\n", size, size);
  std::fwrite(texels.data(), 1, texels.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}
