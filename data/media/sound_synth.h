// The demo's sounds, synthesised: samples -1..1, mono, at `sample_rate`.
// Every sound is the same on every run (the noise comes from a fixed seed).
#pragma once

#include <vector>

namespace kelvo::synth {

inline constexpr int kSoundRate = 22050;

// A breath of wind passing by: noise through a band-pass filter that sweeps
// up and down again, swelling in and out (about 1.6 s).
std::vector<float> whoosh(int sample_rate = kSoundRate);

// A struck metal chime and a softer second strike a major third above,
// ringing out (about 3 s).
std::vector<float> chime(int sample_rate = kSoundRate);

// A low, slowly breathing hum made to be looped: every component fits a whole
// number of times into its 2 s, so the end runs smoothly into the start.
inline constexpr double kHumLoopSeconds = 2.0;
std::vector<float> hum_loop(int sample_rate = kSoundRate);

}  // namespace kelvo::synth
