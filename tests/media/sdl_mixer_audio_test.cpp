// The SDL_mixer sound output, heard through SDL's disk audio driver: it
// writes every mixed sample (44100 Hz, 16-bit, stereo) to a file, as fast as
// the mixer makes them.
#include "media/sdl_mixer_audio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <climits>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "data/media/midi_writer.h"
#include "data/media/sound_synth.h"
#include "data/media/wav_writer.h"
#include "media/audio.h"
#include "media/songs.h"
#include "media/sounds.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

constexpr long kBytesPerSecond = 44100 * 2 * 2;
// How far behind the file may lag what the mixer has made: the C library's
// file buffer and the mixer's buffer in flight, with room to spare.
constexpr long kSlackBytes = 64 * 1024;

// Polls until `done`; the limit only keeps a broken run from hanging (the
// disk driver runs far faster than real time).
bool wait_for(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The samples between two byte offsets of the output.
struct Heard {
  long samples = 0, nonzero = 0;
  int peak = 0;
};

Heard listen(const std::string& path, long from = 0, long to = LONG_MAX) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(from & ~1L);
  Heard h;
  std::int16_t s;  // little-endian, as the host
  for (long at = from & ~1L; at + 1 < to && in.read(reinterpret_cast<char*>(&s), 2); at += 2, ++h.samples) {
    if (s == 0) continue;
    ++h.nonzero;
    h.peak = std::max(h.peak, std::abs(static_cast<int>(s)));
  }
  return h;
}

class MediaSdl : public testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [name, value] : env) ::setenv(name, value.c_str(), 1);
    use_sdl_mixer_audio();
    e.paths.dir_temp = dir.path();
    e.log.to_callback([this](std::string_view line) { log.emplace_back(line); });
  }
  void TearDown() override {
    close_audio(e);
    set_audio_backend(nullptr);
    for (const auto& [name, value] : env) ::unsetenv(name);
  }
  void write_sound(const std::string& name, const std::vector<float>& samples) {
    ASSERT_TRUE(wav::write_wav(dir.file(name), wav::to_pcm16(samples), synth::kSoundRate));
  }
  long output_size() const {
    struct stat st;
    return ::stat(output.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
  }
  // Lets what was just started play `seconds`, then `stop`s it: heard
  // before (at least `filled` of the samples), silence after.
  void expect_sounding_until_stopped(long seconds, double filled, const std::function<bool()>& sounding,
                                     const std::function<void()>& stop) {
    const long started = output_size();
    ASSERT_TRUE(wait_for([&] { return output_size() >= started + seconds * kBytesPerSecond; }));
    EXPECT_TRUE(sounding());
    // The output runs as fast as it can: sizes are taken on both sides of
    // the stop, so neither part holds what the other should.
    const long before_stop = output_size();
    stop();
    const long after_stop = output_size();
    EXPECT_FALSE(sounding());
    // A second more of output, then the file is completed.
    ASSERT_TRUE(wait_for([&] { return output_size() >= after_stop + kBytesPerSecond; }));
    close_audio(e);
    const Heard before = listen(output, started + kSlackBytes, before_stop);
    const Heard after = listen(output, after_stop + kSlackBytes);
    EXPECT_GT(static_cast<double>(before.nonzero), static_cast<double>(before.samples) * filled);
    EXPECT_GT(before.peak, 1000);
    EXPECT_GT(after.samples, 0);
    EXPECT_EQ(after.nonzero, 0);
  }

  test::TempDir dir;
  std::string output = dir.file("output.raw");
  const std::vector<std::pair<const char*, std::string>> env = {
      {"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", output}, {"SDL_DISKAUDIODELAY", "0"}};
  std::vector<std::string> log;
  Engine e;
};

// A chord held `quarters` beats at 120 per minute: one second of piano
// (program 0) or thirty of church organ (19), which never fades by itself.
midi::Song chord(int program, std::initializer_list<int> keys, std::uint32_t quarters) {
  midi::Song song;
  midi::Track& t = song.add_track();
  t.tempo(0, 120);
  t.program(0, 0, program);
  for (int key : keys) t.note(0, quarters * 480, 0, key, 100);
  return song;
}
const midi::Song kShortSong = chord(0, {60, 64, 67}, 2), kLongSong = chord(19, {48, 55, 60, 64}, 60);

TEST_F(MediaSdl, SongPlaysToItsEnd) {
  ASSERT_TRUE(kShortSong.write(dir.file("SONG.MID")));
  ASSERT_EQ(start_song(e, dir.file("SONG.MID")), 1) << testing::PrintToString(log);
  ASSERT_TRUE(wait_for([&] { return !audio_activity(e).song_sounding; }));
  EXPECT_EQ(e.song_playing, 1);  // played to its end, the song stays open
  close_audio(e);
  const Heard h = listen(output);
  EXPECT_GT(h.peak, 1000);
  EXPECT_GT(h.nonzero, 44100 * 2 / 2);  // half a second of sound, and less than five
  EXPECT_LT(h.nonzero, 44100 * 2 * 5);
}

TEST_F(MediaSdl, DamagedSoundsAreRefusedOthersAndSongsPlayUntilStopped) {
  // (Missing files and damaged songs are refused before the output opens:
  // media_rules_test.cpp.)
  const std::vector<std::uint8_t> song = kShortSong.bytes();
  const std::vector<std::uint8_t> wav = wav::wav_bytes(wav::to_pcm16(synth::chime()), synth::kSoundRate);
  dir.write("SONG.WAV", std::string(song.begin(), song.end()));      // a song under a sound's name
  dir.write("CUT.WAV", std::string(wav.begin(), wav.begin() + 30));  // inside the format chunk
  dir.write("JUNK.WAV", "RIFF but then nothing that a sound would hold");
  for (const char* name : {"CUT.WAV", "JUNK.WAV", "SONG.WAV"})
    EXPECT_EQ(play_sound(e, dir.file(name), true), 0) << name;
  EXPECT_FALSE(audio_activity(e).sound_sounding);
  // Another engine shares the mixer: its closing must not silence this one.
  write_sound("HUM.WAV", synth::hum_loop());
  Engine other;
  other.paths.dir_temp = dir.path();
  ASSERT_EQ(play_sound(e, dir.file("HUM.WAV"), true), 1) << testing::PrintToString(log);
  ASSERT_EQ(play_sound(other, dir.file("HUM.WAV"), true), 1);
  close_audio(other);
  // Three loops' worth of the hum.
  expect_sounding_until_stopped(6, 0.9, [&] { return audio_activity(e).sound_sounding; }, [&] { stop_sound(e); });
  ASSERT_TRUE(kLongSong.write(dir.file("LONG.MID")));
  ASSERT_EQ(start_song(e, dir.file("LONG.MID")), 1) << testing::PrintToString(log);
  expect_sounding_until_stopped(2, 0.5, [&] { return audio_activity(e).song_sounding; }, [&] { stop_song(e); });
  EXPECT_EQ(e.song_playing, 0);
}

}  // namespace
}  // namespace kelvo
