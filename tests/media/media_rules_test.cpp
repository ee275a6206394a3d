// The rules of songs and sounds, with a stand-in sound output that records
// what it is asked to do; the choice of the General MIDI soundfont; the check
// that a song file is a complete Standard MIDI File, and that
// the demo's generated song passes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "data/media/ambient_song.h"
#include "data/media/midi_writer.h"
#include "media/audio.h"
#include "media/audio_device.h"
#include "media/midi_check.h"
#include "media/songs.h"
#include "media/soundfont.h"
#include "media/sounds.h"
#include "scene/scene_file.h"
#include "script/script_thread.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Calls = std::vector<std::string>;

// What the stand-in outputs of a test did, in order.
struct Record {
  Calls calls;
  bool open_ok = true, play_ok = true;
  std::atomic<bool> inside{false};  // a call is running right now
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
    if (g_record->inside.exchange(true)) g_record->overlapped.fetch_add(1);
    g_record->calls.push_back(call);
    g_record->inside = false;
  }
  bool answer(const std::string& call, std::string& error) {
    note(call);
    error = call == "open" ? "no device here" : "will not play";
    return call == "open" ? g_record->open_ok : g_record->play_ok;
  }
  bool song_ = false, sound_ = false;
};

class MediaRules : public testing::Test {
 protected:
  void SetUp() override {
    g_record = &record;
    set_audio_backend([] { return std::unique_ptr<AudioBackend>(new StandInAudio); });
    e.paths.dir_temp = dir.path();
    // A note on middle C, one beat long.
    const std::string song("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0C\0\x90\x3C\x64\x60\x80\x3C\0\0\xFF\x2F\0", 34);
    dir.write("SONG.MID", song);
    dir.write("OTHER.MID", song);
    dir.write("BELL.WAV", "RIFF....WAVE");
  }
  void TearDown() override {
    close_audio(e);
    set_audio_backend(nullptr);
  }

  test::TempDir dir;
  Record record;
  Engine e;
  const std::string song = dir.file("SONG.MID"), bell = dir.file("BELL.WAV");
};

TEST_F(MediaRules, SongStartPlaysAFileOfTheWorkDirectoryAndASecondReplacesIt) {
  const std::string second = dir.file("OTHER.MID");
  EXPECT_EQ(start_song(e, song), 1);
  EXPECT_TRUE(audio_activity(e).song_sounding);
  ASSERT_EQ(start_song(e, second), 1);
  stop_song(e);
  EXPECT_EQ(e.song_playing, 0);
  EXPECT_FALSE(audio_activity(e).song_sounding);
  EXPECT_EQ(record.calls, (Calls{"open", "song " + song, "stop song", "song " + second, "stop song"}));
}

TEST_F(MediaRules, SongsThatMayNotPlayOpenNothing) {
  e.preview = 1;  // the preview never plays songs
  EXPECT_EQ(start_song(e, song), 0);
  e.preview = 0;
  e.Sounds = 0;
  EXPECT_EQ(start_song(e, song), 0);
  EXPECT_EQ(play_sound(e, bell, false), 0);
  e.Sounds = 1;
  test::TempDir other;
  other.write("SONG.MID", dir.read("SONG.MID"));  // a good song, but outside the work directory
  std::filesystem::create_directory(dir.file("sub"));  // so that sub/.. leads back into it
  for (const std::string& path : {dir.file("NONE.MID"), other.file("SONG.MID"), dir.file("sub/../SONG.MID")})
    EXPECT_EQ(start_song(e, path), 0) << path;
  e.song_playing = 1;  // as a stale flag would be: a stop only clears it
  stop_song(e);
  EXPECT_EQ(e.song_playing, 0);
  EXPECT_TRUE(record.calls.empty());
}

TEST_F(MediaRules, SongDamagedOrRefusedClosesTheOldSongAndLeavesTheFlagClear) {
  ASSERT_EQ(start_song(e, song), 1);
  dir.write("BAD.MID", "MThd this is no song");
  EXPECT_EQ(start_song(e, dir.file("BAD.MID")), 0);
  EXPECT_EQ(record.calls.back(), "stop song");
  record.play_ok = false;
  e.song_playing = 1;
  EXPECT_EQ(start_song(e, song), 0);
  EXPECT_EQ(e.song_playing, 0);
}

TEST_F(MediaRules, MediaNoOutputIsNeverRetried) {
  record.open_ok = false;
  EXPECT_EQ(start_song(e, song), 0);
  EXPECT_EQ(play_sound(e, bell, false), 0);
  EXPECT_EQ(start_song(e, dir.file("OTHER.MID")), 0);
  stop_song(e);
  EXPECT_EQ(record.calls, (Calls{"open", "close"}));
}

TEST_F(MediaRules, SoundPlaysOnceOrLoopingEvenInThePreviewMissingOrOutsideIsRefused) {
  stop_sound(e);  // before any sound: opens nothing
  EXPECT_EQ(play_sound(e, dir.file("NONE.WAV"), false), 0);
  std::filesystem::create_directory(dir.file("sub"));
  EXPECT_EQ(play_sound(e, dir.file("sub/../BELL.WAV"), false), 0);
  EXPECT_TRUE(record.calls.empty());
  e.preview = 1;
  EXPECT_EQ(play_sound(e, bell, false), 1);
  EXPECT_EQ(play_sound(e, bell, true), 1);
  EXPECT_TRUE(audio_activity(e).sound_sounding);
  stop_sound(e);
  EXPECT_FALSE(audio_activity(e).sound_sounding);
  EXPECT_EQ(record.calls, (Calls{"open", "sound " + bell + " once", "sound " + bell + " loop", "stop sound"}));
}

// The scene's song and the script's songs and sounds are found whatever the
// case of their names (and of the script's), on the script's own thread.
// play_wav stops the sound first; names with a path play nothing.
TEST_F(MediaRules, ScriptSongsAndSoundsAreFoundWhateverTheCaseOfTheirNames) {
  dir.write("scene1.mid", dir.read("SONG.MID"));
  dir.write("SCENE1.TXT", "PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n");
  dir.write("Script1.txt", "play_wav(MISSING)\nplay_midi(song)\nplay_wav(../BELL)\nplay_midi(a/SONG)\n"
                           "playnostop_wav(Bell)\nplay_wav(Bell)\n");
  load_scene(e, "SCENE1");
  ASSERT_EQ(start_script(e, "SCRIPT1"), 1);
  const auto ended = [&] {  // the output is called under the media lock
    std::lock_guard lock(media_mutex());
    return !record.calls.empty() && record.calls.back() == "sound " + bell + " once";
  };
  for (int i = 0; i < 1000 && !ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  stop_script(e);
  EXPECT_EQ(record.calls, (Calls{"open", "song " + dir.file("scene1.mid"), "stop sound", "stop song", "song " + song,
                                 "stop sound", "stop sound", "sound " + bell + " loop", "stop sound",
                                 "sound " + bell + " once"}));
}

// The script thread plays songs and sounds while the window thread stops the
// song: the output is never entered by two threads at once.
TEST_F(MediaRules, MediaCallsFromTwoThreadsNeverOverlap) {
  std::thread script([&] {
    for (int i = 0; i < 300; ++i) {
      start_song(e, song);
      stop_sound(e);
      play_sound(e, bell, i % 2 == 0);
    }
  });
  for (int i = 0; i < 300; ++i) {
    stop_song(e);
    audio_activity(e);
  }
  script.join();
  EXPECT_EQ(record.overlapped.load(), 0);
  EXPECT_GE(record.calls.size(), 900u);
}

// The preferred file, then the first set in the directory (by name, any
// case) with the default link last, then the fallback, then nothing.
TEST(MediaSoundfont, ChoosesPreferredThenDirectoryThenFallback) {
  test::TempDir dir, only_default, empty, fallback;
  for (const char* name : {"default-GM.sf2", "Zeta.sf2", "Beta.SF2", "preferred.sf2"}) dir.write(name, "RIFF");
  dir.write("Alpha.txt", "words");
  only_default.write("default-GM.sf2", "RIFF");
  fallback.write("default-GM.sf3", "RIFF");
  const std::string fb = fallback.file("default-GM.sf3");
  EXPECT_EQ(choose_soundfont(dir.file("preferred.sf2"), dir.path(), fb), dir.file("preferred.sf2"));
  EXPECT_EQ(choose_soundfont(dir.file("missing.sf2"), dir.path(), fb), dir.file("Beta.SF2"));
  EXPECT_EQ(choose_soundfont("", only_default.path(), fb), only_default.file("default-GM.sf2"));
  EXPECT_EQ(choose_soundfont("", empty.path() + "none/", fb), fb);
  EXPECT_EQ(choose_soundfont(empty.file("a.sf2"), empty.path(), empty.file("b.sf3")), "");
  // A directory named like a soundfont is no soundfont.
  EXPECT_EQ(choose_soundfont(empty.path(), empty.path(), empty.path()), "");
}

using Bytes = std::vector<std::uint8_t>;

// A header (format, tracks, 96 ticks per quarter) and `tracks` tracks holding `body`.
Bytes smf(const Bytes& body, std::uint8_t format = 0, std::uint8_t tracks = 1) {
  Bytes b = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, format, 0, tracks, 0, 96};
  for (int i = 0; i < tracks; ++i) {
    b.insert(b.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(body.size())});
    b.insert(b.end(), body.begin(), body.end());
  }
  return b;
}

// `events`, then the end of the track.
Bytes ended(Bytes events) {
  events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
  return events;
}

// "ok", or why the file is refused.
std::string check(const Bytes& b) {
  std::string error;
  return check_midi(b, error) ? "ok" : error;
}

TEST(MediaMidiCheck, AcceptsWrittenSongsPlainOrRiffWrapped) {
  // Running status, a system exclusive event and every kind of channel event.
  EXPECT_EQ(check(smf(ended({0x00, 0x90, 60, 100, 0x10, 62, 100, 0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,  //
                             0x00, 0xC1, 5, 0x00, 0xD1, 40, 0x00, 0xE1, 0x00, 0x40, 0x00, 0xB1, 7, 90,  //
                             0x81, 0x00, 0x80, 60, 0}),
                      1, 3)),
            "ok");
  const Bytes inner = smf(ended({0x00, 0x90, 60, 100}));
  const auto size = static_cast<std::uint8_t>(inner.size());
  Bytes riff = {'R', 'I', 'F', 'F', static_cast<std::uint8_t>(size + 12), 0, 0, 0,
                'R', 'M', 'I', 'D', 'd', 'a', 't', 'a', size, 0, 0, 0};
  riff.insert(riff.end(), inner.begin(), inner.end());
  EXPECT_EQ(check(riff), "ok");
  riff.resize(riff.size() - 3);
  EXPECT_NE(check(riff), "ok");
}

TEST(MediaMidiCheck, RefusesDamagedFiles) {
  const Bytes good = smf(ended({0x00, 0x90, 60, 100}));
  const struct {
    Bytes file;
    const char* reason;
  } cases[] = {
      {{}, "no MIDI file header"},
      {Bytes(good.begin(), good.end() - 1), "a track is cut short"},
      {Bytes(good.begin(), good.begin() + 14), "a track is missing"},
      {smf(ended({}), 3), "the MIDI file header makes no sense"},
      {smf(ended({}), 0, 2), "the MIDI file header makes no sense"},
      {smf({0x00, 0x90, 60, 100}), "a track has no end"},
      {smf(ended({0x00, 60, 100})), "a track event has no status"},
      {smf(ended({0x00, 0x90, 60, 0x90})), "a channel event holds a status byte where data belongs"},
      {smf({0x00, 0x90, 60}), "a channel event is cut short"},
      {smf({0x00, 0xFF, 0x01, 0x10, 'a'}), "a meta event is cut short"},
      {smf({0x00, 0xF0, 0x05, 1}), "a system exclusive event is cut short"},
      {smf(ended({0x00, 0xF8})), "a track holds a system message that files cannot hold"},
      {smf({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), "a track event is cut short"},
  };
  EXPECT_EQ(check(good), "ok");
  for (const auto& c : cases) EXPECT_EQ(check(c.file), c.reason) << testing::PrintToString(c.file);
}

TEST(MediaAmbientSong, IsAWellFormedSongWhereEveryNoteEnds) {
  const midi::Song song = midi::ambient_song();
  EXPECT_TRUE(song.ok());
  EXPECT_EQ(check(song.bytes()), "ok");
  EXPECT_NEAR(song.seconds(), 54.0, 1e-9);
  std::map<std::pair<int, int>, int> sounding;  // (channel, key) -> notes on
  for (const midi::Track& t : song.tracks())
    for (const midi::Event& ev : t.sorted_events()) {
      const int kind = ev.bytes[0] & 0xF0;
      if (ev.bytes[0] == 0xFF || (kind != 0x80 && kind != 0x90)) continue;
      const bool strike = kind == 0x90 && ev.bytes[2] > 0;
      int& on = sounding[{ev.bytes[0] & 0x0F, ev.bytes[1]}];
      EXPECT_EQ(on, strike ? 0 : 1) << "channel " << (ev.bytes[0] & 0x0F) << " at " << ev.tick;
      on += strike ? 1 : -1;
    }
  for (const auto& [key, on] : sounding) EXPECT_EQ(on, 0) << key.first << " " << key.second;
}

}  // namespace
}  // namespace kelvo
