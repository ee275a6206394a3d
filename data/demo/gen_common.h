// Small helpers shared by the demo package's generators: colours, tileable
// noise and writing files.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace demo {

constexpr float kPi = 3.14159265358979f;

inline float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float mix(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float e0, float e1, float x) {
  float t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

struct Rgb {
  float r = 0, g = 0, b = 0;
};
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb mix(Rgb a, Rgb b, float t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
// A colour from 0..255 components.
inline Rgb rgb255(float r, float g, float b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

// A deterministic hash of integer lattice points to 0..1.
inline float hash2(int x, int y, int seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                    static_cast<std::uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}

// Value noise that repeats every `period` lattice cells in x and y.
inline float tile_noise(float x, float y, int period, int seed) {
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
  auto at = [&](int i, int j) {
    return hash2(((i % period) + period) % period, ((j % period) + period) % period, seed);
  };
  const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  return mix(mix(at(x0, y0), at(x0 + 1, y0), sx), mix(at(x0, y0 + 1), at(x0 + 1, y0 + 1), sx), sy);
}

// Fractal noise over a tile: u, v in 0..1 repeat seamlessly. 0..1.
inline float fbm(float u, float v, int base_period, int octaves, int seed) {
  float sum = 0, amplitude = 0.5f, total = 0;
  int period = base_period;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * tile_noise(u * static_cast<float>(period), v * static_cast<float>(period), period, seed + o);
    total += amplitude;
    amplitude *= 0.5f;
    period *= 2;
  }
  return sum / total;
}

// A square picture of floats, written out as 8-bit RGB.
struct Picture {
  int size = 0;
  std::vector<Rgb> texels;
  explicit Picture(int s) : size(s), texels(static_cast<std::size_t>(s) * s) {}
  Rgb& at(int x, int y) { return texels[static_cast<std::size_t>(y) * size + x]; }
  const Rgb& at(int x, int y) const { return texels[static_cast<std::size_t>(y) * size + x]; }
  std::vector<std::uint8_t> bytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(texels.size() * 3);
    for (const Rgb& c : texels) {
      out.push_back(static_cast<std::uint8_t>(std::lround(clamp01(c.r) * 255)));
      out.push_back(static_cast<std::uint8_t>(std::lround(clamp01(c.g) * 255)));
      out.push_back(static_cast<std::uint8_t>(std::lround(clamp01(c.b) * 255)));
    }
    return out;
  }
};

inline bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "%s: write failed\n", path.c_str());
    return false;
  }
  return true;
}

inline std::string join(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

}  // namespace demo
