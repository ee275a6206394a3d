// Draws the program's logo, a 64 x 64 rgb565 3DF texture: a rounded plate with
// a shaded "K", written to the path given on the command line.
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

float distance_to_segment(float px, float py, float ax, float ay, float bx, float by) {
  float vx = bx - ax, vy = by - ay;
  float t = ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  float dx = px - (ax + t * vx), dy = py - (ay + t * vy);
  return std::sqrt(dx * dx + dy * dy);
}

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_logo OUT.3DF\n");
    return 2;
  }
  const int size = 64;
  std::vector<unsigned char> texels;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      float px = x + 0.5f, py = y + 0.5f;
      // Rounded plate with a soft edge.
      float qx = std::fabs(px - 32) - 24, qy = std::fabs(py - 32) - 24;
      float outside = std::sqrt(std::fmax(qx, 0) * std::fmax(qx, 0) + std::fmax(qy, 0) * std::fmax(qy, 0)) - 6;
      float plate = clamp01(0.5f - outside);
      // The letter: a stem and two arms.
      float d = distance_to_segment(px, py, 22, 14, 22, 50);
      d = std::fmin(d, distance_to_segment(px, py, 24, 34, 44, 14));
      d = std::fmin(d, distance_to_segment(px, py, 30, 29, 45, 50));
      float letter = clamp01(4.5f - d);
      float shade = 0.55f + 0.45f * (1.0f - py / size);
      float r = plate * (0.08f + 0.10f * shade), g = plate * (0.10f + 0.25f * shade), b = plate * (0.20f + 0.45f * shade);
      r = r * (1 - letter) + letter * (1.00f * shade + 0.1f);
      g = g * (1 - letter) + letter * (0.80f * shade + 0.1f);
      b = b * (1 - letter) + letter * (0.30f * shade);
      unsigned red = static_cast<unsigned>(clamp01(r) * 31 + 0.5f);
      unsigned green = static_cast<unsigned>(clamp01(g) * 63 + 0.5f);
      unsigned blue = static_cast<unsigned>(clamp01(b) * 31 + 0.5f);
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
