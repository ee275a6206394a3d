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

std::uint32_t le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint32_t le16(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

TEST(MediaWavWriter, WritesA16BitPcmFile) {
  test::TempDir dir;
  ASSERT_TRUE(wav::write_wav(dir.file("A.WAV"), {0, 1000, -1000, 32767, -32768}, 22050));
  const std::string b = dir.read("A.WAV");
  ASSERT_EQ(b.size(), 44u + 10u);
  EXPECT_EQ(b.substr(0, 4), "RIFF");
  EXPECT_EQ(le32(b, 4), 36u + 10u);
  EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(le32(b, 16), 16u);
  EXPECT_EQ(le16(b, 20), 1u);       // PCM
  EXPECT_EQ(le16(b, 22), 1u);       // mono
  EXPECT_EQ(le32(b, 24), 22050u);
  EXPECT_EQ(le32(b, 28), 44100u);   // bytes per second
  EXPECT_EQ(le16(b, 32), 2u);
  EXPECT_EQ(le16(b, 34), 16u);
  EXPECT_EQ(b.substr(36, 4), "data");
  EXPECT_EQ(le32(b, 40), 10u);
  EXPECT_EQ(le16(b, 46), 1000u);
  EXPECT_EQ(le16(b, 48), 0x10000u - 1000u);
  EXPECT_EQ(le16(b, 52), 0x8000u);
  EXPECT_FALSE(wav::write_wav(dir.file("B.WAV"), {1, 2, 3}, 22050, 2));  // half a frame
  EXPECT_FALSE(wav::write_wav(dir.file("no/dir/C.WAV"), {1}, 22050));
}

TEST(MediaWavWriter, ConvertsWithRoundingAndClipping) {
  EXPECT_EQ(wav::to_pcm16({0.0f, 1.0f, -1.0f, 2.0f, -7.0f, 0.5f, NAN}),
            (std::vector<std::int16_t>{0, 32767, -32767, 32767, -32767, 16384, 0}));
}

TEST(MediaSynth, WhooshSwellsAndFades) {
  const std::vector<float> s = synth::whoosh();
  const std::size_t n = s.size();
  EXPECT_EQ(n, static_cast<std::size_t>(1.6 * synth::kSoundRate));
  EXPECT_NEAR(peak(s), 0.7f, 1e-4);
  const std::size_t tenth = n / 10;
  const double middle = rms(s, 4 * tenth, 6 * tenth);
  EXPECT_GT(middle, 0.1);
  EXPECT_LT(rms(s, 0, tenth / 4), middle * 0.05);
  EXPECT_LT(rms(s, n - tenth / 4, n), middle * 0.05);
  EXPECT_EQ(s, synth::whoosh());  // the same every time
}

TEST(MediaSynth, WhooshSweepsUpAndDown) {
  // More sign changes (higher pitch) in the middle than at the edges.
  const std::vector<float> s = synth::whoosh();
  auto crossings = [&](std::size_t from, std::size_t to) {
    int c = 0;
    for (std::size_t i = from + 1; i < to; ++i) c += (s[i - 1] < 0) != (s[i] < 0);
    return c;
  };
  const std::size_t fifth = s.size() / 5;
  const int middle = crossings(2 * fifth, 3 * fifth);
  EXPECT_GT(middle, 2 * crossings(0, fifth));
  EXPECT_GT(middle, 2 * crossings(4 * fifth, 5 * fifth));
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
