// Draws the demo package's thumbnail "THUMB.BMP": a 128 x 80 picture of the
// scene (the starry deep-blue sky, the tiled floor fading into the fog, the
// golden ring, the lamp with its glow, the two fountains and the name) as an
// uncompressed 24-bit Windows bitmap: a 14-byte file header, a 40-byte
// information header and bottom-up rows of blue, green, red bytes.
//
//   gen_thumb OUT_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/demo/gen_common.h"

using demo::clamp01;
using demo::mix;
using demo::Rgb;
using demo::rgb255;
using demo::smoothstep;

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 80;

// 5 x 7 letters for the name, one string of five columns per row.
const char* const kLetters[5][7] = {
    {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"},  // K
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"},  // E
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"},  // L
    {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."},  // V
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},  // O
};

void put_u16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put_u32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  put_u16(b, v & 0xFFFF);
  put_u16(b, v >> 16);
}

Rgb scene(float x, float y) {
  const float horizon = 34;
  const Rgb fog = rgb255(10, 22, 70);
  Rgb c;
  if (y < horizon) {
    // Sky: the fog colour darkening upwards, with stars.
    c = mix(fog, rgb255(4, 8, 30), clamp01((horizon - y) / horizon));
    const int sx = static_cast<int>(x), sy = static_cast<int>(y);
    const float h = demo::hash2(sx, sy, 7);
    if (h > 0.975f && y < horizon - 4) c = c + Rgb{1, 1, 1} * ((h - 0.975f) * 30.0f);
  } else {
    // Floor: tiles in perspective, fading into the fog.
    const float depth = 40.0f / (y - horizon + 0.5f);
    const float fx = (x - kWidth / 2.0f) * depth * 0.08f, fz = depth * 2.0f;
    const int tile = (static_cast<int>(std::floor(fx)) + static_cast<int>(std::floor(fz))) & 1;
    Rgb floor_colour = tile ? rgb255(150, 156, 180) : rgb255(50, 58, 88);
    const float lit = 0.8f + 0.4f * std::exp(-((x - 58) * (x - 58) + (y - 60) * (y - 60) * 4) / 500.0f);
    c = mix(floor_colour * lit, fog, clamp01((depth - 1.0f) / 12.0f));
  }
  // The ring's shadow on the floor.
  {
    const float dx = (x - 58) / 22, dy = (y - 62) / 4;
    const float r = std::sqrt(dx * dx + dy * dy);
    c = c * (1 - 0.45f * (1 - smoothstep(0.6f, 1.0f, r)));
  }
  // The golden ring: an ellipse seen at a slant.
  {
    const float dx = (x - 64) / 20, dy = (y - 42) / 11;
    const float r = std::sqrt(dx * dx + dy * dy);
    const float band = 1 - smoothstep(0.16f, 0.26f, std::fabs(r - 0.8f));
    const float light = 0.55f + 0.45f * clamp01(-dy * 0.8f + 0.4f) + 0.6f * std::exp(-std::pow((r - 0.8f) * 8, 2.0f)) * clamp01(-dy);
    c = mix(c, rgb255(255, 196, 110) * light, band);
  }
  // The lamp and its glow, upper right.
  {
    const float dx = x - 98, dy = y - 14;
    const float d2 = dx * dx + dy * dy;
    c = c + rgb255(255, 236, 190) * (std::exp(-d2 / 18.0f) * 1.2f + std::exp(-d2 / 220.0f) * 0.45f);
    c = c + rgb255(255, 230, 180) * (std::exp(-dy * dy / 1.5f) * std::exp(-std::fabs(dx) / 30.0f) * 0.35f);
  }
  // Two fountains of sparks.
  for (int side = 0; side < 2; ++side) {
    const float bx = side ? 110.0f : 18.0f, by = 52.0f;
    const Rgb tint = side ? rgb255(120, 200, 255) : rgb255(255, 190, 90);
    for (int i = 0; i < 28; ++i) {
      const float px = bx + (demo::hash2(i, side, 11) - 0.5f) * 16, py = by - demo::hash2(i, side, 13) * 24;
      const float d2 = (x - px) * (x - px) + (y - py) * (y - py);
      c = c + tint * (std::exp(-d2 / 0.8f) * 0.7f);
    }
    const float dx = x - bx, dy = y - (by + 4);
    if (std::fabs(dx) < 4 - dy * 0.4f && dy > -1 && dy < 6) c = rgb255(200, 196, 210) * (0.6f + 0.08f * dy);
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_thumb OUT_DIR\n");
    return 2;
  }
  std::vector<Rgb> picture(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      // Four samples per pixel.
      Rgb sum;
      for (int s = 0; s < 4; ++s)
        sum = sum + scene(static_cast<float>(x) + 0.25f + 0.5f * static_cast<float>(s & 1),
                          static_cast<float>(y) + 0.25f + 0.5f * static_cast<float>(s >> 1));
      picture[static_cast<std::size_t>(y) * kWidth + x] = sum * 0.25f;
    }
  }
  // The name along the bottom, with a dark band behind it.
  const int scale = 1, letter_w = 6, left = (kWidth - 5 * letter_w * scale) / 2, top = kHeight - 10;
  for (int y = top - 2; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) picture[static_cast<std::size_t>(y) * kWidth + x] = picture[static_cast<std::size_t>(y) * kWidth + x] * 0.45f;
  for (int l = 0; l < 5; ++l)
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (kLetters[l][row][col] == '#')
          picture[static_cast<std::size_t>(top + row) * kWidth + left + l * letter_w + col] = rgb255(255, 214, 140);

  const std::uint32_t row_bytes = (kWidth * 3 + 3) / 4 * 4;
  const std::uint32_t image_size = row_bytes * kHeight;
  std::vector<std::uint8_t> bmp;
  bmp.push_back('B');
  bmp.push_back('M');
  put_u32(bmp, 14 + 40 + image_size);
  put_u32(bmp, 0);
  put_u32(bmp, 14 + 40);
  put_u32(bmp, 40);
  put_u32(bmp, kWidth);
  put_u32(bmp, kHeight);  // positive: the bottom row comes first
  put_u16(bmp, 1);
  put_u16(bmp, 24);
  put_u32(bmp, 0);  // no compression
  put_u32(bmp, image_size);
  put_u32(bmp, 2835);  // 72 dots per inch
  put_u32(bmp, 2835);
  put_u32(bmp, 0);
  put_u32(bmp, 0);
  for (int y = kHeight - 1; y >= 0; --y) {
    std::uint32_t written = 0;
    for (int x = 0; x < kWidth; ++x) {
      const Rgb& c = picture[static_cast<std::size_t>(y) * kWidth + x];
      bmp.push_back(static_cast<std::uint8_t>(std::lround(clamp01(c.b) * 255)));
      bmp.push_back(static_cast<std::uint8_t>(std::lround(clamp01(c.g) * 255)));
      bmp.push_back(static_cast<std::uint8_t>(std::lround(clamp01(c.r) * 255)));
      written += 3;
    }
    for (; written < row_bytes; ++written) bmp.push_back(0);
  }
  return demo::write_file(demo::join(argv[1], "THUMB.BMP"), bmp) ? 0 : 1;
}
