// The demo's synthesised sounds and the WAV writer.
#include "data/media/sound_synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "data/media/wav_writer.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

double rms(const std::vector<float>& s, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double{s[i]} * s[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

float peak(const std::vector<float>& s) {
  float p = 0;
  for (float v : s) p = std::max(p, std::fabs(v));
  return p;
}

// The little-endian number of `width` bytes at `at`.
std::uint32_t le(const std::string& b, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = width; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

TEST(MediaWavWriter, WritesA16BitPcmFile) {
  test::TempDir dir;
  ASSERT_TRUE(wav::write_wav(dir.file("A.WAV"), {0, 1000, -1000, 32767, -32768}, 22050));
  const std::string b = dir.read("A.WAV");
  ASSERT_EQ(b.size(), 44u + 10u);
  EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data");
  // Sizes, PCM, mono, rate, bytes per second, block, bits, data size, samples.
  const std::uint32_t want[][3] = {{4, 4, 46},     {16, 4, 16},    {20, 2, 1},  {22, 2, 1},
                                   {24, 4, 22050}, {28, 4, 44100}, {32, 2, 2},  {34, 2, 16},
                                   {40, 4, 10},    {46, 2, 1000},  {48, 2, 0x10000 - 1000}, {52, 2, 0x8000}};
  for (const auto& w : want) EXPECT_EQ(le(b, w[0], w[1]), w[2]) << "at " << w[0];
  EXPECT_FALSE(wav::write_wav(dir.file("B.WAV"), {1, 2, 3}, 22050, 2));  // half a frame
  EXPECT_FALSE(wav::write_wav(dir.file("no/dir/C.WAV"), {1}, 22050));
}

TEST(MediaWavWriter, ConvertsWithRoundingAndClipping) {
  EXPECT_EQ(wav::to_pcm16({0.0f, 1.0f, -1.0f, 2.0f, -7.0f, 0.5f, NAN}),
            (std::vector<std::int16_t>{0, 32767, -32767, 32767, -32767, 16384, 0}));
}

TEST(MediaSynth, WhooshSwellsAndFadesSweepingUpAndDown) {
  const std::vector<float> s = synth::whoosh();
  const std::size_t n = s.size(), tenth = n / 10, fifth = n / 5;
  EXPECT_EQ(n, static_cast<std::size_t>(1.6 * synth::kSoundRate));
  EXPECT_NEAR(peak(s), 0.7f, 1e-4);
  const double middle = rms(s, 4 * tenth, 6 * tenth);
  EXPECT_GT(middle, 0.1);
  EXPECT_LT(rms(s, 0, tenth / 4), middle * 0.05);
  EXPECT_LT(rms(s, n - tenth / 4, n), middle * 0.05);
  EXPECT_EQ(s, synth::whoosh());  // the same every time
  // More sign changes (higher pitch) in the middle than at the edges.
  auto crossings = [&](std::size_t from, std::size_t to) {
    int c = 0;
    for (std::size_t i = from + 1; i < to; ++i) c += (s[i - 1] < 0) != (s[i] < 0);
    return c;
  };
  EXPECT_GT(crossings(2 * fifth, 3 * fifth), 2 * crossings(0, fifth));
  EXPECT_GT(crossings(2 * fifth, 3 * fifth), 2 * crossings(4 * fifth, 5 * fifth));
}

TEST(MediaSynth, ChimeStrikesAndRingsOut) {
  const std::vector<float> s = synth::chime();
  const auto rate = static_cast<std::size_t>(synth::kSoundRate);
  EXPECT_EQ(s.size(), 3 * rate);
  EXPECT_NEAR(peak(s), 0.6f, 1e-4);
  const double start = rms(s, 0, rate / 2);
  EXPECT_GT(start, 0.1);
  EXPECT_LT(rms(s, s.size() - rate / 2, s.size()), start * 0.1);
  EXPECT_EQ(s.back(), 0.0f);
  // The attack is quick: loud within the first 10 ms.
  EXPECT_GT(peak(std::vector<float>(s.begin(), s.begin() + static_cast<long>(rate / 100))), 0.2f);
}

TEST(MediaSynth, HumLoopsWithoutASeam) {
  const std::vector<float> s = synth::hum_loop();
  ASSERT_EQ(s.size(), static_cast<std::size_t>(synth::kHumLoopSeconds * synth::kSoundRate));
  EXPECT_NEAR(peak(s), 0.5f, 1e-4);
  float largest_step = 0;
  for (std::size_t i = 1; i < s.size(); ++i) largest_step = std::max(largest_step, std::fabs(s[i] - s[i - 1]));
  // Running from the last sample back into the first is a step like any other.
  EXPECT_LE(std::fabs(s.front() - s.back()), largest_step);
  EXPECT_LT(std::fabs(s.front()), 0.01f);
  // It is loud all along: no gap to hear at the loop point.
  const std::size_t quarter = s.size() / 4;
  for (std::size_t q = 0; q < 4; ++q) EXPECT_GT(rms(s, q * quarter, (q + 1) * quarter), 0.1) << q;
}

}  // namespace
}  // namespace kelvo
