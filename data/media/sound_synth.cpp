#include "data/media/sound_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kelvo::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Scales the samples so that the loudest reaches `peak`.
void normalise(std::vector<float>& samples, float peak) {
  float loudest = 0;
  for (float s : samples) loudest = std::max(loudest, std::fabs(s));
  if (loudest <= 0) return;
  const float gain = peak / loudest;
  for (float& s : samples) s *= gain;
}

// White noise in -1..1 from a fixed-seed linear congruential generator.
class Noise {
 public:
  float next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<std::int32_t>(state_)) / 2147483648.0f;
  }

 private:
  std::uint32_t state_ = 0x4B454C56u;
};

// A state-variable filter (Chamberlin): band-pass output.
class BandPass {
 public:
  float run(float in, double cutoff, double sample_rate, double damping) {
    const double f = 2.0 * std::sin(kPi * std::min(cutoff, sample_rate / 6.0) / sample_rate);
    low_ += f * band_;
    const double high = in - low_ - damping * band_;
    band_ += f * high;
    return static_cast<float>(band_);
  }

 private:
  double low_ = 0, band_ = 0;
};

// One struck chime note: inharmonic partials of a free metal bar, each
// dying away at its own rate, with a short attack.
void add_strike(std::vector<float>& out, int sample_rate, double start_seconds, double frequency, double level) {
  struct Partial {
    double ratio, amplitude, decay_seconds;
  };
  static constexpr Partial kPartials[] = {
      {1.0, 1.0, 0.85}, {2.756, 0.45, 0.5}, {5.404, 0.22, 0.28}, {8.933, 0.1, 0.14}};
  const auto first = static_cast<std::size_t>(start_seconds * sample_rate);
  for (std::size_t i = first; i < out.size(); ++i) {
    const double t = static_cast<double>(i - first) / sample_rate;
    const double attack = std::min(1.0, t / 0.002);
    double v = 0;
    for (const Partial& p : kPartials) {
      if (frequency * p.ratio >= sample_rate / 2.0) continue;
      v += p.amplitude * std::exp(-t / p.decay_seconds) * std::sin(2.0 * kPi * frequency * p.ratio * t);
    }
    out[i] += static_cast<float>(level * attack * v);
  }
}

}  // namespace

std::vector<float> whoosh(int sample_rate) {
  const double seconds = 1.6;
  const auto n = static_cast<std::size_t>(seconds * sample_rate);
  std::vector<float> out(n);
  Noise noise;
  BandPass wide, narrow;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / static_cast<double>(n);  // 0..1
    // Up from 250 Hz to 3 kHz and back; the swell peaks a little early.
    const double sweep = std::sin(kPi * t);
    const double cutoff = 250.0 * std::pow(12.0, sweep);
    const double swell = std::pow(std::sin(kPi * std::pow(t, 0.8)), 2.0);
    const float in = noise.next();
    const float v =
        0.6f * wide.run(in, cutoff, sample_rate, 1.2) + 0.4f * narrow.run(in, cutoff * 1.5, sample_rate, 0.5);
    out[i] = static_cast<float>(swell) * v;
  }
  normalise(out, 0.7f);
  return out;
}

std::vector<float> chime(int sample_rate) {
  const double seconds = 3.0;
  std::vector<float> out(static_cast<std::size_t>(seconds * sample_rate));
  add_strike(out, sample_rate, 0.0, 1046.5, 1.0);   // C6
  add_strike(out, sample_rate, 0.22, 1318.5, 0.6);  // E6
  // The last 50 ms fade to silence so the file ends without a click.
  const auto fade = static_cast<std::size_t>(0.05 * sample_rate);
  for (std::size_t i = 0; i < fade && i < out.size(); ++i)
    out[out.size() - 1 - i] *= static_cast<float>(i) / static_cast<float>(fade);
  normalise(out, 0.6f);
  return out;
}

std::vector<float> hum_loop(int sample_rate) {
  const auto n = static_cast<std::size_t>(std::lround(kHumLoopSeconds * sample_rate));
  std::vector<float> out(n);
  // Frequency and level; each frequency times kHumLoopSeconds is whole.
  struct Tone {
    double frequency, level;
  };
  static constexpr Tone kTones[] = {{55.0, 1.0}, {55.5, 0.35}, {110.0, 0.5}, {165.0, 0.22}, {220.0, 0.1}};
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / sample_rate;
    double v = 0;
    for (const Tone& tone : kTones) v += tone.level * std::sin(2.0 * kPi * tone.frequency * t);
    // One slow breath per loop.
    v *= 1.0 - 0.15 * (1.0 - std::cos(2.0 * kPi * t / kHumLoopSeconds));
    out[i] = static_cast<float>(v);
  }
  normalise(out, 0.5f);
  return out;
}

}  // namespace kelvo::synth
