// The logo's picture: a rounded plate with a shaded "K", drawn on a 64 x 64
// grid. Shared by the logo texture (gen_logo) and the Windows icon (gen_icon).
#pragma once

#include <cmath>

namespace kelvo::logo_art {

inline float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

inline float distance_to_segment(float px, float py, float ax, float ay, float bx, float by) {
  float vx = bx - ax, vy = by - ay;
  float t = ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  float dx = px - (ax + t * vx), dy = py - (ay + t * vy);
  return std::sqrt(dx * dx + dy * dy);
}

struct Colour {
  float r, g, b;
  float coverage;  // of the plate: 0 outside, 1 inside
};

// The colour at (px, py), 0 .. 64 from the top left.
inline Colour colour_at(float px, float py) {
  // Rounded plate with a soft edge.
  float qx = std::fabs(px - 32) - 24, qy = std::fabs(py - 32) - 24;
  float outside = std::sqrt(std::fmax(qx, 0) * std::fmax(qx, 0) + std::fmax(qy, 0) * std::fmax(qy, 0)) - 6;
  float plate = clamp01(0.5f - outside);
  // The letter: a stem and two arms.
  float d = distance_to_segment(px, py, 22, 14, 22, 50);
  d = std::fmin(d, distance_to_segment(px, py, 24, 34, 44, 14));
  d = std::fmin(d, distance_to_segment(px, py, 30, 29, 45, 50));
  float letter = clamp01(4.5f - d);
  float shade = 0.55f + 0.45f * (1.0f - py / 64);
  float r = plate * (0.08f + 0.10f * shade), g = plate * (0.10f + 0.25f * shade), b = plate * (0.20f + 0.45f * shade);
  r = r * (1 - letter) + letter * (1.00f * shade + 0.1f);
  g = g * (1 - letter) + letter * (0.80f * shade + 0.1f);
  b = b * (1 - letter) + letter * (0.30f * shade);
  return {clamp01(r), clamp01(g), clamp01(b), plate};
}

}  // namespace kelvo::logo_art
