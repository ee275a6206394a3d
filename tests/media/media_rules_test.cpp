// The rules of songs and sounds, with a stand-in sound output that records
// what it is asked to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "data/media/midi_writer.h"
#include "media/audio.h"
#include "media/songs.h"
#include "media/sounds.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

// What every stand-in output of a test did, in order.
struct Record {
  std::vector<std::string> calls;
  bool open_ok = true;
  bool play_ok = true;
  int created = 0;
  std::atomic<int> inside{0};       // calls running right now
  std::atomic<int> overlapped{0};   // calls that found another one running
};

Record* g_record = nullptr;

class StandInAudio : public AudioBackend {
 public:
  ~StandInAudio() override { note("close"); }
  bool open(std::string& error) override { return answer("open", error); }
  bool play_song(const std::string& p, std::string& error) override { return song_ = answer("song " + p, error); }
  void stop_song() override { song_ = (note("stop song"), false); }
  bool play_sound(const std::string& p, bool loop, std::string& error) override {
    return sound_ = answer("sound " + p + (loop ? " loop" : " once"), error);
  }
  void stop_sound() override { sound_ = (note("stop sound"), false); }
  bool song_sounding() const override { return song_; }
  bool sound_sounding() const override { return sound_; }

 private:
  void note(const std::string& call) {
    if (g_record->inside.fetch_add(1) != 0) g_record->overlapped.fetch_add(1);
    g_record->calls.push_back(call);
    g_record->inside.fetch_sub(1);
  }
  bool answer(const std::string& call, std::string& error) {
    note(call);
    const bool ok = call == "open" ? g_record->open_ok : g_record->play_ok;
    if (!ok) error = call == "open" ? "no device here" : "will not play";
    return ok;
  }
  bool song_ = false, sound_ = false;
};

std::string tiny_song() {
  midi::Song song;
  song.add_track().note(0, 480, 0, 60, 100);
  const std::vector<std::uint8_t> bytes = song.bytes();
  return std::string(bytes.begin(), bytes.end());
}

class MediaRules : public testing::Test {
 protected:
  void SetUp() override {
    g_record = &record;
    set_audio_backend([] {
      ++g_record->created;
      return std::unique_ptr<AudioBackend>(new StandInAudio);
    });
    e = std::make_unique<Engine>();
    e->paths.dir_temp = dir.path();
    e->log.to_callback([this](std::string_view line) { log.emplace_back(line); });
    dir.write("SONG.MID", tiny_song());
    dir.write("OTHER.MID", tiny_song());
    dir.write("BELL.WAV", "RIFF....WAVE");
  }
  void TearDown() override {
    e.reset();
    set_audio_backend(nullptr);
    g_record = nullptr;
  }
  bool logged(const std::string& line) const { return std::ranges::count(log, line) > 0; }
  bool logged_with(const std::string& prefix) const {
    return std::ranges::any_of(log, [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }

  test::TempDir dir;
  Record record;
  std::unique_ptr<Engine> e;
  std::vector<std::string> log;
};

using Calls = std::vector<std::string>;

TEST_F(MediaRules, SongStartPlaysAFileOfTheWorkDirectoryAndASecondReplacesIt) {
  const std::string first = dir.file("SONG.MID"), second = dir.file("OTHER.MID");
  EXPECT_EQ(start_song(*e, first), 1);
  EXPECT_TRUE(audio_activity(*e).song_sounding);
  ASSERT_EQ(start_song(*e, second), 1);
  stop_song(*e);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_FALSE(audio_activity(*e).song_sounding);
  EXPECT_EQ(record.calls, (Calls{"open", "song " + first, "stop song", "song " + second, "stop song"}));
  EXPECT_EQ(record.created, 1);
}

TEST_F(MediaRules, SongsThatMayNotPlayOpenNothing) {
  e->preview = 1;  // the preview never plays songs
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  e->preview = 0;
  test::TempDir other;
  other.write("SONG.MID", tiny_song());
  for (const std::string& path : {dir.file("NONE.MID"), other.file("SONG.MID"), dir.file("sub/../SONG.MID")})
    EXPECT_EQ(start_song(*e, path), 0) << path;
  EXPECT_TRUE(logged_with("MIDI refused: "));
  e->song_playing = 1;  // as a stale flag would be: a stop only clears it
  stop_song(*e);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.created, 0);
}

TEST_F(MediaRules, SongDamagedOrRefusedClosesTheOldSongAndLeavesTheFlagClear) {
  ASSERT_EQ(start_song(*e, dir.file("SONG.MID")), 1);
  dir.write("BAD.MID", "MThd this is no song");
  EXPECT_EQ(start_song(*e, dir.file("BAD.MID")), 0);
  EXPECT_EQ(record.calls.back(), "stop song");
  EXPECT_TRUE(logged_with("MIDI " + dir.file("BAD.MID") + " failed: "));
  record.play_ok = false;
  e->song_playing = 1;
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(e->song_playing, 0);
}

TEST_F(MediaRules, MediaNoOutputIsLoggedOnceAndNeverRetried) {
  record.open_ok = false;
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(play_sound(*e, dir.file("BELL.WAV"), false), 0);
  EXPECT_EQ(start_song(*e, dir.file("OTHER.MID")), 0);
  stop_song(*e);
  EXPECT_EQ(record.calls, (Calls{"open", "close"}));
  EXPECT_EQ(std::ranges::count(log, "audio: no output (no device here); playing silently"), 1)
      << testing::PrintToString(log);
}

TEST_F(MediaRules, SoundPlaysOnceOrLoopingEvenInThePreviewMissingOrOutsideIsRefused) {
  const std::string bell = dir.file("BELL.WAV");
  stop_sound(*e);  // before any sound: opens nothing
  EXPECT_EQ(play_sound(*e, dir.file("NONE.WAV"), false), 0);
  EXPECT_EQ(play_sound(*e, dir.file("../BELL.WAV"), false), 0);
  EXPECT_TRUE(logged_with("WAV refused: "));
  EXPECT_EQ(record.created, 0);
  e->preview = 1;
  EXPECT_EQ(play_sound(*e, bell, false), 1);
  EXPECT_EQ(play_sound(*e, bell, true), 1);
  EXPECT_TRUE(audio_activity(*e).sound_sounding);
  stop_sound(*e);
  EXPECT_FALSE(audio_activity(*e).sound_sounding);
  EXPECT_EQ(record.calls, (Calls{"open", "sound " + bell + " once", "sound " + bell + " loop", "stop sound"}));
}

TEST(MediaPaths, InWorkDirectoryTakesPlainNamesOnly) {
  Engine e;
  const struct {
    const char* dir;
    const char* path;
    bool in;
  } cases[] = {{"/tmp/w/", "/tmp/w/SCENE1.MID", true}, {"/tmp/w/", "/tmp/w/", false},
               {"/tmp/w/", "/tmp/w/a/B.MID", false},   {"/tmp/w/", "/tmp/w/a\\B.MID", false},
               {"/tmp/w/", "/tmp/w/..", false},        {"/tmp/w/", "/tmp/wx/B.MID", false},
               {"/tmp/w", "/tmp/w/B.MID", false},  // not a directory path
               {"", "B.MID", true},                    {"", "/B.MID", false}};
  for (const auto& c : cases) {
    e.paths.dir_temp = c.dir;
    EXPECT_EQ(in_work_directory(e, c.path), c.in) << c.dir << " " << c.path;
  }
}

// The script thread plays songs and sounds while the window thread stops the
// song: the output is never entered by two threads at once.
TEST_F(MediaRules, MediaCallsFromTwoThreadsNeverOverlap) {
  const std::string song = dir.file("SONG.MID"), bell = dir.file("BELL.WAV");
  std::thread script([&] {
    for (int i = 0; i < 300; ++i) {
      start_song(*e, song);
      stop_sound(*e);
      play_sound(*e, bell, i % 2 == 0);
    }
  });
  for (int i = 0; i < 300; ++i) {
    stop_song(*e);
    audio_activity(*e);
  }
  script.join();
  stop_song(*e);
  EXPECT_EQ(record.overlapped.load(), 0);
  EXPECT_GE(record.calls.size(), 900u);
}

}  // namespace
}  // namespace kelvo
