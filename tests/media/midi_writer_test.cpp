// The build-time generators of the demo's media: the MIDI writer and the
// generated song, the synthesised sounds and the WAV writer.
#include "data/media/midi_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "data/media/ambient_song.h"
#include "data/media/sound_synth.h"
#include "data/media/wav_writer.h"
#include "media/midi_check.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

TEST(MediaMidiWriter, OutOfRangeValuesFailTheSongAndAreNotWritten) {
  const auto fails = [](auto add) {
    midi::Song song;
    midi::Track& t = song.add_track();
    t.note(0, 10, 0, 60, 100);
    add(t);
    return !song.ok() && song.tracks()[0].sorted_events().size() == 2;
  };
  EXPECT_TRUE(fails([](midi::Track& t) { t.note(0, 10, 16, 60, 100); }));
  EXPECT_TRUE(fails([](midi::Track& t) { t.note(midi::kMaxDelta, 1, 0, 60, 100); }));
  EXPECT_TRUE(fails([](midi::Track& t) { t.tempo(0, 1.0); }));  // too slow for the 24-bit field
  test::TempDir dir;
  midi::Song bad;
  bad.add_track().program(0, 0, 300);
  EXPECT_FALSE(bad.write(dir.file("BAD.MID")));
  EXPECT_TRUE(dir.list().empty());
}

TEST(MediaAmbientSong, IsAWellFormedSongWhereEveryNoteEnds) {
  const midi::Song song = midi::ambient_song();
  ASSERT_TRUE(song.ok());
  EXPECT_NEAR(song.seconds(), 54.0, 1e-9);
  std::string error;
  EXPECT_TRUE(check_midi(song.bytes(), error)) << error;
  std::map<std::pair<int, int>, int> sounding;  // (channel, key) -> notes on
  std::map<int, int> notes;                     // channel -> notes struck
  for (const midi::Track& t : song.tracks())
    for (const midi::Event& e : t.sorted_events()) {
      const int kind = e.bytes[0] & 0xF0, channel = e.bytes[0] & 0x0F;
      if (e.bytes[0] == 0xFF || (kind != 0x80 && kind != 0x90)) continue;
      int& on = sounding[{channel, e.bytes[1]}];
      const bool strike = kind == 0x90 && e.bytes[2] > 0;
      EXPECT_EQ(on, strike ? 0 : 1) << channel << " " << int{e.bytes[1]} << " at " << e.tick;
      on += strike ? 1 : -1;
      notes[channel] += strike;
    }
  for (const auto& [key, on] : sounding) EXPECT_EQ(on, 0) << key.first << " " << key.second;
  EXPECT_EQ(notes.size(), 5u);
}

double rms(const std::vector<float>& s, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double{s[i]} * s[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(MediaSynth, SoundsAreAudibleWithinRangeAndTheHumLoopsWithoutASeam) {
  const struct {
    const char* name;
    std::vector<float> s;
    double seconds;
  } sounds[] = {{"whoosh", synth::whoosh(), 1.6}, {"chime", synth::chime(), 3.0}, {"hum", synth::hum_loop(), 2.0}};
  for (const auto& c : sounds) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.s.size(), static_cast<std::size_t>(c.seconds * synth::kSoundRate));
    EXPECT_GT(std::max(rms(c.s, 0, c.s.size() / 2), rms(c.s, c.s.size() / 2, c.s.size())), 0.1);
    for (float v : c.s) ASSERT_LE(std::fabs(v), 0.71f);
  }
  EXPECT_EQ(sounds[1].s.back(), 0.0f);  // the chime rings out
  const std::vector<float>& hum = sounds[2].s;
  float largest_step = 0;
  for (std::size_t i = 1; i < hum.size(); ++i) largest_step = std::max(largest_step, std::fabs(hum[i] - hum[i - 1]));
  // Running from the last sample back into the first is a step like any other.
  EXPECT_LE(std::fabs(hum.front() - hum.back()), largest_step);
}

TEST(MediaWavWriter, WritesA16BitPcmFileConvertingWithRoundingAndClipping) {
  test::TempDir dir;
  ASSERT_TRUE(wav::write_wav(dir.file("A.WAV"), {0, 1000, -1000, 32767, -32768}, 22050));
  const std::string b = dir.read("A.WAV");
  ASSERT_EQ(b.size(), 44u + 10u);
  EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data");
  EXPECT_FALSE(wav::write_wav(dir.file("B.WAV"), {1, 2, 3}, 22050, 2));  // half a frame
  EXPECT_FALSE(wav::write_wav(dir.file("no/dir/C.WAV"), {1}, 22050));
  EXPECT_EQ(wav::to_pcm16({0.0f, 1.0f, -1.0f, 2.0f, -7.0f, 0.5f, NAN}),
            (std::vector<std::int16_t>{0, 32767, -32767, 32767, -32767, 16384, 0}));
}

}  // namespace
}  // namespace kelvo
