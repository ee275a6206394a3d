// The rules of songs and sounds, with a stand-in sound output that records
// what it is asked to do.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
  bool open(std::string& error) override {
    note("open");
    if (!g_record->open_ok) error = "no device here";
    return g_record->open_ok;
  }
  bool play_song(const std::string& path, std::string& error) override {
    note("song " + path);
    if (!g_record->play_ok) error = "will not play";
    song_ = g_record->play_ok;
    return g_record->play_ok;
  }
  void stop_song() override {
    note("stop song");
    song_ = false;
  }
  bool play_sound(const std::string& path, bool loop, std::string& error) override {
    note("sound " + path + (loop ? " loop" : " once"));
    if (!g_record->play_ok) error = "will not play";
    sound_ = g_record->play_ok;
    return g_record->play_ok;
  }
  void stop_sound() override {
    note("stop sound");
    sound_ = false;
  }
  bool song_sounding() const override { return song_; }
  bool sound_sounding() const override { return sound_; }

 private:
  void note(const std::string& call) {
    if (g_record->inside.fetch_add(1) != 0) g_record->overlapped.fetch_add(1);
    g_record->calls.push_back(call);
    g_record->inside.fetch_sub(1);
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
  bool logged(const std::string& line) const {
    for (const std::string& l : log)
      if (l == line) return true;
    return false;
  }
  bool logged_with(const std::string& prefix) const {
    for (const std::string& l : log)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }

  test::TempDir dir;
  Record record;
  std::unique_ptr<Engine> e;
  std::vector<std::string> log;
};

using Calls = std::vector<std::string>;

TEST_F(MediaRules, SongStartPlaysAFileOfTheWorkDirectory) {
  const std::string song = dir.file("SONG.MID");
  EXPECT_EQ(start_song(*e, song), 1);
  EXPECT_EQ(e->song_playing, 1);
  EXPECT_EQ(record.calls, (Calls{"open", "song " + song}));
  EXPECT_TRUE(logged("MIDI ok"));
  EXPECT_TRUE(audio_activity(*e).song_sounding);
}

TEST_F(MediaRules, SongPreviewNeverPlaysSongs) {
  e->preview = 1;
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.created, 0);
  EXPECT_FALSE(logged("sounds disabled by config"));
  EXPECT_FALSE(audio_activity(*e).open);
}

TEST_F(MediaRules, SongSoundsOffPlaysNothingAndSaysSo) {
  e->Sounds = 0;
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(logged("sounds disabled by config"));
}

TEST_F(MediaRules, SongMissingFileOpensNothing) {
  EXPECT_EQ(start_song(*e, dir.file("NONE.MID")), 0);
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(record.calls.empty());
}

TEST_F(MediaRules, SongOutsideTheWorkDirectoryIsRefused) {
  test::TempDir other;
  other.write("SONG.MID", tiny_song());
  ::mkdir((dir.path() + "sub").c_str(), 0700);
  dir.write("sub/SONG.MID", tiny_song());
  for (const std::string& path :
       {other.file("SONG.MID"), dir.file("sub/SONG.MID"), dir.file("sub/../SONG.MID"), dir.file("sub\\SONG.MID"),
        std::string("SONG.MID")}) {
    EXPECT_EQ(start_song(*e, path), 0) << path;
  }
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(logged_with("MIDI refused: "));
}

TEST_F(MediaRules, SongSecondStartClosesTheFirstBeforeOpeningTheNext) {
  const std::string first = dir.file("SONG.MID"), second = dir.file("OTHER.MID");
  ASSERT_EQ(start_song(*e, first), 1);
  ASSERT_EQ(start_song(*e, second), 1);
  EXPECT_EQ(e->song_playing, 1);
  EXPECT_EQ(record.calls, (Calls{"open", "song " + first, "stop song", "song " + second}));
  EXPECT_EQ(record.created, 1);
}

TEST_F(MediaRules, SongDamagedFileClosesTheOldSongAndPlaysNothing) {
  ASSERT_EQ(start_song(*e, dir.file("SONG.MID")), 1);
  dir.write("BAD.MID", "MThd this is no song");
  EXPECT_EQ(start_song(*e, dir.file("BAD.MID")), 0);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.calls.back(), "stop song");
  EXPECT_TRUE(logged_with("MIDI " + dir.file("BAD.MID") + " failed: "));
}

TEST_F(MediaRules, SongTheOutputRefusesLeavesTheFlagClear) {
  record.play_ok = false;
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_TRUE(logged("MIDI " + dir.file("SONG.MID") + " failed: will not play"));
}

TEST_F(MediaRules, SongStopClosesTheSong) {
  ASSERT_EQ(start_song(*e, dir.file("SONG.MID")), 1);
  stop_song(*e);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.calls.back(), "stop song");
  EXPECT_FALSE(audio_activity(*e).song_sounding);
}

TEST_F(MediaRules, SongStopWithoutASongOnlyClearsTheFlag) {
  e->song_playing = 1;  // as a stale flag would be
  stop_song(*e);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(record.calls.empty());
}

TEST_F(MediaRules, MediaNoOutputIsLoggedOnceAndNeverRetried) {
  record.open_ok = false;
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(play_sound(*e, dir.file("BELL.WAV"), false), 0);
  EXPECT_EQ(start_song(*e, dir.file("OTHER.MID")), 0);
  stop_sound(*e);
  stop_song(*e);
  EXPECT_EQ(record.created, 1);
  EXPECT_EQ(record.calls, (Calls{"open", "close"}));
  int lines = 0;
  for (const std::string& l : log) lines += l.rfind("audio: no output (no device here)", 0) == 0;
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_FALSE(audio_activity(*e).open);
}

TEST_F(MediaRules, MediaWithoutARegisteredOutputStaysSilent) {
  set_audio_backend(nullptr);
  EXPECT_EQ(start_song(*e, dir.file("SONG.MID")), 0);
  EXPECT_EQ(play_sound(*e, dir.file("BELL.WAV"), true), 0);
  EXPECT_TRUE(logged("audio: none in this program; playing silently"));
  EXPECT_EQ(e->song_playing, 0);
}

TEST_F(MediaRules, SoundPlaysOnceOrLooping) {
  const std::string bell = dir.file("BELL.WAV");
  EXPECT_EQ(play_sound(*e, bell, false), 1);
  EXPECT_EQ(play_sound(*e, bell, true), 1);
  EXPECT_EQ(record.calls, (Calls{"open", "sound " + bell + " once", "sound " + bell + " loop"}));
  EXPECT_TRUE(logged("sound " + bell));
  EXPECT_TRUE(logged("sound " + bell + " (loop)"));
  EXPECT_TRUE(audio_activity(*e).sound_sounding);
}

TEST_F(MediaRules, SoundStopBeforeAnySoundOpensNothing) {
  stop_sound(*e);
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(logged("sound stop"));
  ASSERT_EQ(play_sound(*e, dir.file("BELL.WAV"), true), 1);
  stop_sound(*e);
  EXPECT_EQ(record.calls.back(), "stop sound");
  EXPECT_FALSE(audio_activity(*e).sound_sounding);
}

TEST_F(MediaRules, SoundSoundsOffPlaysNothing) {
  e->Sounds = 0;
  EXPECT_EQ(play_sound(*e, dir.file("BELL.WAV"), false), 0);
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(log.empty());
}

TEST_F(MediaRules, SoundPreviewStillPlaysSounds) {
  e->preview = 1;
  EXPECT_EQ(play_sound(*e, dir.file("BELL.WAV"), false), 1);
}

TEST_F(MediaRules, SoundMissingOrOutsideFilesAreNotPlayed) {
  EXPECT_EQ(play_sound(*e, dir.file("NONE.WAV"), false), 0);
  EXPECT_EQ(play_sound(*e, dir.file("../BELL.WAV"), false), 0);
  EXPECT_EQ(record.created, 0);
  EXPECT_TRUE(logged_with("WAV refused: "));
}

TEST_F(MediaRules, MediaCloseAudioEndsEverythingAndTheNextSongReopens) {
  ASSERT_EQ(start_song(*e, dir.file("SONG.MID")), 1);
  ASSERT_EQ(play_sound(*e, dir.file("BELL.WAV"), true), 1);
  close_audio(*e);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_EQ(record.calls.back(), "close");
  EXPECT_FALSE(audio_activity(*e).open);
  ASSERT_EQ(start_song(*e, dir.file("SONG.MID")), 1);
  EXPECT_EQ(record.created, 2);
}

TEST_F(MediaRules, MediaTheEngineClosesItsOutputWhenItGoes) {
  ASSERT_EQ(play_sound(*e, dir.file("BELL.WAV"), false), 1);
  e.reset();
  EXPECT_EQ(record.calls.back(), "close");
}

TEST(MediaPaths, InWorkDirectoryTakesPlainNamesOnly) {
  Engine e;
  e.paths.dir_temp = "/tmp/w/";
  EXPECT_TRUE(in_work_directory(e, "/tmp/w/SCENE1.MID"));
  EXPECT_FALSE(in_work_directory(e, "/tmp/w/"));
  EXPECT_FALSE(in_work_directory(e, "/tmp/w/a/B.MID"));
  EXPECT_FALSE(in_work_directory(e, "/tmp/w/a\\B.MID"));
  EXPECT_FALSE(in_work_directory(e, "/tmp/w/.."));
  EXPECT_FALSE(in_work_directory(e, "/tmp/wx/B.MID"));
  EXPECT_FALSE(in_work_directory(e, "/tmp/B.MID"));
  e.paths.dir_temp = "/tmp/w";  // not a directory path
  EXPECT_FALSE(in_work_directory(e, "/tmp/w/B.MID"));
  e.paths.dir_temp.clear();
  EXPECT_TRUE(in_work_directory(e, "B.MID"));
  EXPECT_FALSE(in_work_directory(e, "/B.MID"));
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
  EXPECT_EQ(record.created, 1);
  EXPECT_EQ(e->song_playing, 0);
  EXPECT_GE(record.calls.size(), 900u);
}

}  // namespace
}  // namespace kelvo
