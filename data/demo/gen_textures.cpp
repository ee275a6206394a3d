// Draws the demo scene's textures as 3DF files into the directory given on
// the command line: surfaces (floor tiles, bricks with their bump pair, metal,
// marble, stone, glass, energy stripes, a sky for reflections, stars), an
// animated plasma in eight frames, a chroma-key emblem with its key, glowing
// runes for a mask, a light beam, and the glows of halos, lens flares and
// particles. Everything is procedural and the same on every run.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "data/demo/gen_common.h"
#include "model/texture_3df_write.h"

using demo::clamp01;
using demo::fbm;
using demo::kPi;
using demo::mix;
using demo::Picture;
using demo::Rgb;
using demo::rgb255;
using demo::smoothstep;

namespace {

std::string g_out_dir;
int g_failures = 0;

void save(const char* name, const Picture& p, kelvo::TexelFormat format = kelvo::TexelFormat::rgb565) {
  kelvo::Image image;
  image.width = image.height = p.size;
  image.rgb = p.bytes();
  std::vector<std::uint8_t> bytes = kelvo::encode_3df(image, format);
  if (bytes.empty() || !demo::write_file(demo::join(g_out_dir, std::string(name) + ".3DF"), bytes)) {
    std::fprintf(stderr, "gen_textures: cannot write %s\n", name);
    ++g_failures;
  }
}

// Fills a picture from a function of the texel centre (u, v in 0..1).
Picture paint(int size, const std::function<Rgb(float u, float v)>& f) {
  Picture p(size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      p.at(x, y) = f((static_cast<float>(x) + 0.5f) / static_cast<float>(size),
                     (static_cast<float>(y) + 0.5f) / static_cast<float>(size));
  return p;
}

float grey(float v) { return v; }

// ------------------------------------------------------------ surfaces --

// Floor tiles: two by two slabs of slate and pale stone with dark joints.
Picture checker() {
  return paint(128, [](float u, float v) {
    const int cell = (static_cast<int>(u * 2) + static_cast<int>(v * 2)) & 1;
    const float fu = u * 2 - std::floor(u * 2), fv = v * 2 - std::floor(v * 2);
    const float edge = std::min(std::min(fu, 1 - fu), std::min(fv, 1 - fv));
    const float joint = smoothstep(0.012f, 0.035f, edge);
    const float n = fbm(u, v, 8, 4, cell ? 11 : 17);
    Rgb slab = cell ? rgb255(176, 182, 204) : rgb255(54, 64, 96);
    slab = slab * (0.82f + 0.36f * n);
    // A faint bevel: lighter towards the upper left of each slab.
    slab = slab * (1.0f + 0.08f * smoothstep(0.0f, 0.12f, std::min(fu, fv)) - 0.08f * smoothstep(0.88f, 1.0f, std::max(fu, fv)));
    return mix(rgb255(18, 20, 30), slab, joint);
  });
}

// Bricks: heights 0..1, 1 on a brick face, 0 in the mortar, and the colour.
float brick_height(float u, float v) {
  const float rows = 4, cols = 2;
  const float row = std::floor(v * rows);
  const float shifted = u * cols + (static_cast<int>(row) % 2 ? 0.5f : 0.0f);
  const float fu = shifted - std::floor(shifted), fv = v * rows - row;
  const float edge = std::min(std::min(fu * 2, (1 - fu) * 2), std::min(fv, 1 - fv));
  const float face = smoothstep(0.02f, 0.09f, edge);
  const float rough = fbm(u, v, 16, 3, 5) - 0.5f;
  return clamp01(face * (0.85f + 0.3f * rough) + (1 - face) * (0.12f + 0.2f * rough));
}

Picture brick() {
  return paint(128, [](float u, float v) {
    const float rows = 4, cols = 2;
    const float row = std::floor(v * rows);
    const float shifted = u * cols + (static_cast<int>(row) % 2 ? 0.5f : 0.0f);
    const float id = demo::hash2(static_cast<int>(std::floor(shifted)) % 2, static_cast<int>(row), 3);
    const float h = brick_height(u, v);
    const float n = fbm(u, v, 8, 4, 9);
    Rgb clay = mix(rgb255(150, 70, 52), rgb255(186, 110, 74), id) * (0.75f + 0.4f * n);
    Rgb mortar = rgb255(150, 146, 140) * (0.8f + 0.3f * n);
    return mix(mortar, clay, smoothstep(0.3f, 0.7f, h));
  });
}

Picture bump(bool inverse) {
  return paint(128, [inverse](float u, float v) {
    const float h = 0.15f + 0.7f * brick_height(u, v);
    const float g = inverse ? 1 - h : h;
    return Rgb{grey(g), grey(g), grey(g)};
  });
}

// Brushed metal: fine horizontal streaks.
Picture metal() {
  return paint(128, [](float u, float v) {
    const float streak = fbm(u * 0.125f, v, 32, 3, 21);
    const float n = fbm(u, v, 4, 3, 23);
    const float g = 0.62f + 0.22f * streak + 0.1f * n;
    return Rgb{g * 0.97f, g, g * 1.04f};
  });
}

// A sky for reflections: bright sky over a dark ground, a sun and a horizon.
Picture envmap() {
  return paint(128, [](float u, float v) {
    Rgb c;
    if (v < 0.5f) {
      const float t = v / 0.5f;
      c = mix(rgb255(90, 140, 230), rgb255(235, 240, 255), t * t);
      const float clouds = fbm(u, v * 2, 4, 4, 31);
      c = mix(c, rgb255(255, 255, 255), smoothstep(0.55f, 0.8f, clouds) * 0.6f);
    } else {
      const float t = (v - 0.5f) / 0.5f;
      c = mix(rgb255(120, 110, 120), rgb255(25, 22, 40), std::sqrt(t));
      c = c * (0.85f + 0.3f * fbm(u, v, 8, 3, 33));
    }
    const float du = u - 0.3f, dv = v - 0.28f;
    const float sun = std::exp(-(du * du + dv * dv) * 220.0f);
    c = c + rgb255(255, 240, 200) * (sun * 1.2f);
    c = c + rgb255(255, 250, 235) * (std::exp(-std::fabs(v - 0.5f) * 60.0f) * 0.5f);
    return c;
  });
}

// White marble with grey-blue veins.
Picture marble() {
  return paint(128, [](float u, float v) {
    const float turbulence = fbm(u, v, 4, 5, 41);
    const float vein = std::fabs(std::sin((u * 2 + v) * kPi * 2 + turbulence * 9.0f));
    const float dark = 1 - smoothstep(0.0f, 0.35f, vein);
    Rgb base = rgb255(232, 228, 220) * (0.9f + 0.12f * fbm(u, v, 16, 2, 43));
    return mix(base, rgb255(96, 104, 128), dark * 0.75f);
  });
}

// Dark speckled stone.
Picture stone() {
  return paint(128, [](float u, float v) {
    const float n = fbm(u, v, 8, 5, 51);
    const float speck = demo::hash2(static_cast<int>(u * 128), static_cast<int>(v * 128), 53);
    float g = 0.28f + 0.3f * n + (speck > 0.93f ? 0.18f : 0.0f);
    return Rgb{g * 0.92f, g * 0.95f, g * 1.08f};
  });
}

// Tinted glass: a pale cyan pane with a bright frame and a sheen.
Picture glass() {
  return paint(64, [](float u, float v) {
    const float edge = std::min(std::min(u, 1 - u), std::min(v, 1 - v));
    const float frame = 1 - smoothstep(0.04f, 0.08f, edge);
    const float sheen = std::exp(-std::pow((u + v - 0.7f) * 6.0f, 2.0f)) * 0.25f;
    Rgb pane = rgb255(112, 150, 170) + Rgb{sheen, sheen, sheen};
    return mix(pane, rgb255(210, 236, 255), frame);
  });
}

// Energy stripes for a scrolling column: bright bands on deep blue.
Picture stripes() {
  return paint(64, [](float u, float v) {
    const float band = 0.5f + 0.5f * std::sin((v * 2 + u) * kPi * 2);
    const float sharp = std::pow(band, 6.0f);
    const float thin = std::pow(0.5f + 0.5f * std::sin((v * 6 - u * 2) * kPi * 2), 12.0f);
    Rgb c = rgb255(10, 30, 90) + rgb255(60, 200, 255) * sharp + rgb255(200, 240, 255) * (thin * 0.5f);
    return c;
  });
}

// ------------------------------------------------------------ plasma --

Rgb plasma_palette(float t) {
  t = t - std::floor(t);
  const Rgb a = rgb255(40, 0, 90), b = rgb255(230, 30, 140), c = rgb255(255, 170, 40), d = rgb255(255, 250, 170);
  if (t < 0.33f) return mix(a, b, t / 0.33f);
  if (t < 0.66f) return mix(b, c, (t - 0.33f) / 0.33f);
  return mix(c, mix(d, a, smoothstep(0.85f, 1.0f, t)), (t - 0.66f) / 0.34f);
}

Picture plasma(int frame) {
  const float phase = static_cast<float>(frame) / 8.0f;
  return paint(64, [phase](float u, float v) {
    const float a = std::sin((u * 2 + phase) * kPi * 2);
    const float b = std::sin((v * 2 - phase) * kPi * 2);
    const float c = std::sin(((u + v) * 2 + phase * 2) * kPi * 2);
    const float d = std::sin((std::sin(u * kPi * 2) + std::cos(v * kPi * 2) + phase * 2) * kPi);
    return plasma_palette((a + b + c + d) / 8.0f + 0.5f + phase);
  });
}

// ------------------------------------------------------------ emblem --

// Coverage of the emblem (0..1) and its colour: a five-pointed star inside a
// ring. Everything outside is the key colour, black.
void emblem_at(float u, float v, float& coverage, Rgb& colour) {
  const float x = (u - 0.5f) * 2, y = (0.5f - v) * 2;
  const float r = std::sqrt(x * x + y * y);
  const float angle = std::atan2(x, y);
  // Star: radius between 0.36 and 0.86 by the angle within each point.
  const float sector = 2 * kPi / 5;
  float a = std::fmod(angle + 10 * sector, sector) / sector;  // 0..1 across one point
  a = std::fabs(a - 0.5f) * 2;                                 // 1 at the tip, 0 between tips
  const float star_r = mix(0.36f, 0.86f, std::pow(a, 1.3f));
  const float px = 2.0f / 128.0f;
  const float star = clamp01((star_r - r) / px + 0.5f);
  const float ring = clamp01((0.07f - std::fabs(r - 0.93f)) / px + 0.5f);
  coverage = std::max(star, ring);
  const Rgb gold = mix(rgb255(255, 236, 120), rgb255(230, 110, 20), clamp01(r / 0.86f));
  const Rgb cyan = rgb255(80, 220, 255);
  colour = ring > star ? cyan : gold;
}

Picture emblem() {
  return paint(128, [](float u, float v) {
    float coverage;
    Rgb colour;
    emblem_at(u, v, coverage, colour);
    return colour * coverage;
  });
}

// The key: white where the emblem's key colour shows through, black on it.
Picture emblem_key() {
  return paint(128, [](float u, float v) {
    float coverage;
    Rgb colour;
    emblem_at(u, v, coverage, colour);
    const float k = 1 - coverage;
    return Rgb{k, k, k};
  });
}

// ------------------------------------------------------------ runes --

float segment_distance(float px, float py, float ax, float ay, float bx, float by) {
  const float vx = bx - ax, vy = by - ay;
  float t = ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy);
  t = clamp01(t);
  const float dx = px - (ax + t * vx), dy = py - (ay + t * vy);
  return std::sqrt(dx * dx + dy * dy);
}

// Glowing glyphs of straight strokes on black: two columns of four.
Picture runes() {
  Picture p(128);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const float u = (static_cast<float>(x) + 0.5f) / 128, v = (static_cast<float>(y) + 0.5f) / 128;
      const int cx = static_cast<int>(u * 2), cy = static_cast<int>(v * 4);
      const float lx = u * 2 - static_cast<float>(cx), ly = v * 4 - static_cast<float>(cy);
      // Each glyph: three strokes between the points of a 3 x 3 grid.
      float d = 10;
      for (int s = 0; s < 3; ++s) {
        auto point = [&](int k, float& px, float& py) {
          const int i = static_cast<int>(demo::hash2(cx * 7 + s, cy * 5 + k, 61) * 9) % 9;
          px = 0.25f + 0.25f * static_cast<float>(i % 3);
          py = 0.2f + 0.3f * static_cast<float>(i / 3);
        };
        float ax, ay, bx, by;
        point(0, ax, ay);
        point(1, bx, by);
        if (ax == bx && ay == by) bx = 1 - bx + 0.0001f;
        d = std::min(d, segment_distance(lx, ly * 0.5f, ax, ay * 0.5f, bx, by * 0.5f));
      }
      const float core = 1 - smoothstep(0.018f, 0.035f, d);
      const float glow = std::exp(-d * 22.0f) * 0.55f;
      p.at(x, y) = rgb255(60, 200, 255) * glow + rgb255(200, 245, 255) * core;
    }
  }
  return p;
}

// ------------------------------------------------------------ light --

// The light beam: bright at the lamp (row 0), fading towards the floor.
Picture beam() {
  return paint(64, [](float u, float v) {
    const float fade = std::pow(1 - v, 1.6f) * 0.42f + 0.04f;
    const float streaks = 0.85f + 0.3f * fbm(u, 0.0f, 8, 3, 71);
    const float g = fade * streaks;
    return Rgb{g, g * 0.93f, g * 0.78f};
  });
}

// A soft round glow with a core: `falloff` sets its width, `rays` adds a star.
Picture glow(int size, float falloff, float core, int rays, float ray_strength, Rgb tint) {
  return paint(size, [=](float u, float v) {
    const float x = u * 2 - 1, y = v * 2 - 1;
    const float r = std::sqrt(x * x + y * y);
    float g = std::exp(-r * r * falloff) * (1 - smoothstep(0.85f, 1.0f, r));
    g += std::exp(-r * r * core * 40) * 0.8f;
    if (rays > 0) {
      const float a = std::atan2(y, x);
      const float ray = std::pow(std::fabs(std::cos(a * static_cast<float>(rays) * 0.5f)), 24.0f);
      g += ray * ray_strength * std::exp(-r * 3.0f) * (1 - smoothstep(0.7f, 1.0f, r));
    }
    return tint * g;
  });
}

Picture ring(int size, float radius, float width, Rgb inner, Rgb outer) {
  return paint(size, [=](float u, float v) {
    const float x = u * 2 - 1, y = v * 2 - 1;
    const float r = std::sqrt(x * x + y * y);
    const float d = (r - radius) / width;
    const float g = std::exp(-d * d) * (1 - smoothstep(0.9f, 1.0f, r));
    return mix(inner, outer, clamp01((r - radius + width) / (2 * width))) * g;
  });
}

// A soft hexagon, the iris of a lens.
Picture hexagon(int size, Rgb tint) {
  return paint(size, [=](float u, float v) {
    const float x = std::fabs(u * 2 - 1), y = std::fabs(v * 2 - 1);
    const float hex = std::max(x * 0.866f + y * 0.5f, y);
    const float body = 1 - smoothstep(0.6f, 0.75f, hex);
    const float rim = std::exp(-std::pow((hex - 0.68f) / 0.05f, 2.0f)) * 0.6f;
    return tint * (body * 0.35f + rim);
  });
}

// A swirling energy surface for the glowing orb.
Picture orb() {
  return paint(64, [](float u, float v) {
    const float n = fbm(u, v, 4, 4, 81);
    const float swirl = 0.5f + 0.5f * std::sin((u * 3 + n * 2.5f) * kPi * 2);
    const float g = 0.25f + 0.6f * std::pow(swirl, 3.0f);
    return Rgb{g * 0.7f, g * 0.9f, g};
  });
}

// The night sky, a tile that repeats both ways: stars of a few sizes and
// tints over a faint violet haze.
Picture stars() {
  Picture p(256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const float u = (static_cast<float>(x) + 0.5f) / 256, v = (static_cast<float>(y) + 0.5f) / 256;
      p.at(x, y) = rgb255(40, 30, 90) * (smoothstep(0.5f, 0.85f, fbm(u, v, 4, 5, 91)) * 0.5f);
    }
  }
  for (int i = 0; i < 260; ++i) {
    const float sx = demo::hash2(i, 1, 93) * 256, sy = demo::hash2(i, 2, 93) * 256;
    const float bright = 0.3f + 0.7f * std::pow(demo::hash2(i, 4, 93), 2.5f);
    const float hue = demo::hash2(i, 5, 93);
    const Rgb tint = hue < 0.2f ? rgb255(255, 210, 170) : (hue > 0.8f ? rgb255(170, 200, 255) : rgb255(255, 255, 255));
    const float radius = bright > 0.75f ? 1.0f : 0.6f;
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        const int cx = static_cast<int>(sx) + dx, cy = static_cast<int>(sy) + dy;
        const float ddx = static_cast<float>(cx) + 0.5f - sx, ddy = static_cast<float>(cy) + 0.5f - sy;
        const float g = std::exp(-(ddx * ddx + ddy * ddy) / (radius * radius)) * bright;
        Rgb& texel = p.at((cx + 256) % 256, (cy + 256) % 256);
        texel = texel + tint * g;
      }
    }
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_textures OUT_DIR\n");
    return 2;
  }
  g_out_dir = argv[1];

  save("CHECKER", checker());
  save("BRICK", brick());
  save("BUMP1", bump(false), kelvo::TexelFormat::i8);
  save("BUMP2", bump(true), kelvo::TexelFormat::i8);
  save("METAL", metal());
  save("ENVMAP", envmap());
  save("MARBLE", marble());
  save("STONE", stone());
  save("GLASS", glass());
  save("STRIPES", stripes());
  for (int i = 0; i < 8; ++i) save(("PLASMA" + std::to_string(i + 1)).c_str(), plasma(i));
  save("STAR", emblem());
  save("STARKEY", emblem_key(), kelvo::TexelFormat::i8);
  save("RUNES", runes());
  save("BEAM", beam());
  save("ORB", orb());
  save("STARS", stars());

  // Halo frames: a pulsing glow.
  save("GLOW1", glow(64, 5.0f, 1.0f, 0, 0, rgb255(255, 255, 255)));
  save("GLOW2", glow(64, 4.0f, 0.9f, 4, 0.5f, rgb255(255, 255, 255)));
  save("GLOW3", glow(64, 3.2f, 0.8f, 6, 0.7f, rgb255(255, 255, 255)));
  save("GLOW4", glow(64, 4.0f, 0.9f, 4, 0.5f, rgb255(255, 255, 255)));
  // Lens flare: a wide glow, a ring, a small bright dot and an iris.
  save("LENS1", glow(64, 6.0f, 1.5f, 0, 0, rgb255(255, 250, 240)));
  save("LENS2", ring(64, 0.62f, 0.12f, rgb255(120, 160, 255), rgb255(255, 170, 120)));
  save("LENS3", glow(64, 30.0f, 3.0f, 0, 0, rgb255(255, 255, 255)));
  save("LENS4", hexagon(64, rgb255(150, 210, 255)));
  // Particles: a spark with a hard core and a soft blob.
  save("SPARK", glow(32, 9.0f, 2.5f, 4, 0.6f, rgb255(255, 255, 255)));
  save("PARTICLE", glow(32, 4.5f, 0.6f, 0, 0, rgb255(255, 255, 255)));

  return g_failures == 0 ? 0 : 1;
}
