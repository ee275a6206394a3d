// The Standard MIDI File writer.
#include "data/media/midi_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "media/midi_check.h"
#include "support/recording_platform.h"

namespace kelvo::midi {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One decoded track event.
struct Decoded {
  std::uint32_t tick;
  Bytes bytes;
  bool operator==(const Decoded&) const = default;
};

std::uint32_t be32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

// Decodes the events of the track chunk at `at` (no running status: the
// writer never uses it). Returns the offset after the chunk.
std::size_t decode_track(const Bytes& b, std::size_t at, std::vector<Decoded>& events) {
  EXPECT_EQ(std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4), "MTrk");
  const std::size_t end = at + 8 + be32(b, at + 4);
  std::size_t p = at + 8;
  std::uint32_t tick = 0;
  while (p < end) {
    std::uint32_t delta = 0;
    while (b[p] & 0x80) delta = (delta << 7) | (b[p++] & 0x7F);
    delta = (delta << 7) | b[p++];
    tick += delta;
    std::size_t length;
    if (b[p] == 0xFF)
      length = 3 + b[p + 2];  // short metas only
    else if ((b[p] & 0xF0) == 0xC0 || (b[p] & 0xF0) == 0xD0)
      length = 2;
    else
      length = 3;
    events.push_back({tick, Bytes(b.begin() + static_cast<long>(p), b.begin() + static_cast<long>(p + length))});
    p += length;
  }
  EXPECT_EQ(p, end);
  return end;
}

TEST(MediaMidiWriter, VariableLengthNumbers) {
  const std::pair<std::uint32_t, Bytes> cases[] = {
      {0, {0x00}},          {0x40, {0x40}},       {0x7F, {0x7F}},
      {0x80, {0x81, 0x00}}, {0x2000, {0xC0, 0x00}}, {0x3FFF, {0xFF, 0x7F}},
      {0x4000, {0x81, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}}};
  for (const auto& [value, want] : cases) {
    Bytes out;
    append_variable_length(out, value);
    EXPECT_EQ(out, want) << value;
  }
}

TEST(MediaMidiWriter, OneTrackIsFormatZero) {
  Song song(96);
  Track& t = song.add_track();
  t.tempo(0, 100);
  t.note(0, 96, 0, 60, 90);
  const Bytes b = song.bytes();
  ASSERT_GE(b.size(), 22u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 14),
            (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}));
  std::vector<Decoded> events;
  EXPECT_EQ(decode_track(b, 14, events), b.size());
  // 100 per minute: 600000 microseconds per quarter = 0x0927C0.
  EXPECT_EQ(events, (std::vector<Decoded>{{0, {0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}},
                                          {0, {0x90, 60, 90}},
                                          {96, {0x80, 60, 64}},
                                          {96, {0xFF, 0x2F, 0x00}}}));
  std::string error;
  EXPECT_TRUE(kelvo::check_midi(b, error)) << error;
}

TEST(MediaMidiWriter, SeveralTracksAreFormatOneWithNames) {
  Song song;
  song.add_track("Conductor").tempo(0, 120);
  song.add_track("Bass").note(0, 480, 1, 40, 80);
  const Bytes b = song.bytes();
  EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 14), (Bytes{0, 1, 0, 2, 0x01, 0xE0}));
  std::vector<Decoded> first, second;
  const std::size_t next = decode_track(b, 14, first);
  EXPECT_EQ(decode_track(b, next, second), b.size());
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second.front().bytes, (Bytes{0xFF, 0x03, 4, 'B', 'a', 's', 's'}));
  EXPECT_EQ(second[1].bytes, (Bytes{0x91, 40, 80}));
}

TEST(MediaMidiWriter, EventsOfOneTickGoMetaSetupOffOn) {
  Song song;
  Track& t = song.add_track();
  t.note(0, 480, 2, 64, 70);
  t.note(480, 480, 2, 64, 71);   // the same key again, where the first ends
  t.controller(480, 2, 7, 100);
  t.program(480, 2, 46);
  t.tempo(480, 60);
  std::vector<Decoded> events;
  decode_track(song.bytes(), 14, events);
  ASSERT_EQ(events.size(), 8u);
  EXPECT_EQ(events[1].bytes[0], 0xFF);                 // tempo
  EXPECT_EQ(events[2].bytes, (Bytes{0xB2, 7, 100}));   // controller, in the order added
  EXPECT_EQ(events[3].bytes, (Bytes{0xC2, 46}));       // program
  EXPECT_EQ(events[4].bytes, (Bytes{0x82, 64, 64}));   // the first note ends
  EXPECT_EQ(events[5].bytes, (Bytes{0x92, 64, 71}));   // before the second starts
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(events[static_cast<std::size_t>(i)].tick, 480u);
}

TEST(MediaMidiWriter, OutOfRangeValuesAreDroppedAndFailTheSongGoodOnesAreWritten) {
  const auto fails = [](auto add) {
    Song song;
    Track& t = song.add_track();
    t.note(0, 10, 0, 60, 100);
    add(t);
    return !song.ok() && song.tracks()[0].sorted_events().size() == 2;
  };
  EXPECT_TRUE(fails([](Track& t) { t.note(0, 10, 16, 60, 100); }));
  EXPECT_TRUE(fails([](Track& t) { t.note(0, 10, 0, 128, 100); }));
  EXPECT_TRUE(fails([](Track& t) { t.note(0, 10, 0, 60, 0); }));
  EXPECT_TRUE(fails([](Track& t) { t.note(0, 0, 0, 60, 100); }));
  EXPECT_TRUE(fails([](Track& t) { t.note(kMaxDelta, 1, 0, 60, 100); }));
  EXPECT_TRUE(fails([](Track& t) { t.program(0, 0, 128); }));
  EXPECT_TRUE(fails([](Track& t) { t.controller(0, -1, 7, 1); }));
  EXPECT_TRUE(fails([](Track& t) { t.controller(0, 0, 7, 200); }));
  EXPECT_TRUE(fails([](Track& t) { t.tempo(0, 0); }));
  EXPECT_TRUE(fails([](Track& t) { t.tempo(0, 1.0); }));  // too slow for the 24-bit field
  EXPECT_TRUE(fails([](Track& t) { t.time_signature(0, 4, 9); }));

  test::TempDir dir;
  Song bad;
  bad.add_track().program(0, 0, 300);
  EXPECT_FALSE(bad.write(dir.file("BAD.MID")));
  EXPECT_TRUE(dir.list().empty());
  EXPECT_FALSE(Song().ok());  // no track
  EXPECT_FALSE(Song(0).ok());
  Song good;
  good.add_track().note(0, 480, 0, 60, 100);
  ASSERT_TRUE(good.write(dir.file("A.MID")));
  const std::string written = dir.read("A.MID");
  EXPECT_EQ(Bytes(written.begin(), written.end()), good.bytes());
  EXPECT_FALSE(good.write(dir.file("no/such/dir/A.MID")));
}

TEST(MediaMidiWriter, SecondsFollowTheTempoChanges) {
  Song song(480);
  Track& conductor = song.add_track();
  conductor.tempo(960, 60);           // 2 quarters at 120, then 60 per minute
  song.add_track().note(0, 1920, 0, 60, 100);  // 4 quarters
  EXPECT_DOUBLE_EQ(song.seconds(), 1.0 + 2.0);

  Song plain;
  plain.add_track().note(480, 480, 0, 60, 100);
  EXPECT_DOUBLE_EQ(plain.seconds(), 1.0);  // 120 per minute by default
}

}  // namespace
}  // namespace kelvo::midi
