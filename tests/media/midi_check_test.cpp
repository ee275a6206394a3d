// The check that a song file is a complete Standard MIDI File.
#include "media/midi_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Header (format, tracks, 96 ticks per quarter) and one track with `body`.
Bytes smf(int format, int tracks, const Bytes& body) {
  Bytes b = bytes_of(std::string("MThd\0\0\0\6", 8));
  b.insert(b.end(), {0, static_cast<std::uint8_t>(format), 0, static_cast<std::uint8_t>(tracks), 0, 96});
  for (int i = 0; i < tracks; ++i) {
    b.insert(b.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(body.size())});
    b.insert(b.end(), body.begin(), body.end());
  }
  return b;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

Bytes with_end(Bytes body) {
  body.insert(body.end(), kEnd.begin(), kEnd.end());
  return body;
}

bool ok(const Bytes& b) {
  std::string error;
  return check_midi(b, error);
}

std::string reason(const Bytes& b) {
  std::string error;
  EXPECT_FALSE(check_midi(b, error));
  return error;
}

TEST(MediaMidiCheck, AcceptsWrittenSongsPlainOrRiffWrapped) {
  // Running status, a system exclusive event and every kind of channel event.
  const Bytes body = with_end({0x00, 0x90, 60, 100, 0x10, 62, 100,       // note-on, then running status
                               0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,      // system exclusive
                               0x00, 0xC1, 5, 0x00, 0xD1, 40,           // program, channel pressure
                               0x00, 0xE1, 0x00, 0x40, 0x00, 0xB1, 7, 90,
                               0x81, 0x00, 0x80, 60, 0});
  EXPECT_TRUE(ok(smf(1, 3, body)));
  const Bytes inner = smf(0, 1, with_end({0x00, 0x90, 60, 100}));
  Bytes riff = bytes_of("RIFF");
  const auto size = static_cast<std::uint8_t>(inner.size() + 12);
  riff.insert(riff.end(), {size, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a',
                           static_cast<std::uint8_t>(inner.size()), 0, 0, 0});
  riff.insert(riff.end(), inner.begin(), inner.end());
  EXPECT_TRUE(ok(riff));
  riff.resize(riff.size() - 3);
  EXPECT_FALSE(ok(riff));
}

TEST(MediaMidiCheck, RefusesDamagedFiles) {
  const Bytes good = smf(0, 1, with_end({0x00, 0x90, 60, 100}));
  ASSERT_TRUE(ok(good));

  EXPECT_EQ(reason({}), "no MIDI file header");
  EXPECT_EQ(reason(bytes_of("just some words, nothing more")), "no MIDI file header");
  Bytes cut = good;
  cut.resize(cut.size() - 1);
  EXPECT_EQ(reason(cut), "a track is cut short");
  cut.resize(14);
  EXPECT_EQ(reason(cut), "a track is missing");
  EXPECT_EQ(reason(smf(3, 1, with_end({}))), "the MIDI file header makes no sense");
  EXPECT_EQ(reason(smf(0, 2, with_end({}))), "the MIDI file header makes no sense");
  EXPECT_EQ(reason(smf(0, 1, {0x00, 0x90, 60, 100})), "a track has no end");
  EXPECT_EQ(reason(smf(0, 1, with_end({0x00, 60, 100}))), "a track event has no status");
  EXPECT_EQ(reason(smf(0, 1, with_end({0x00, 0x90, 60, 0x90}))),
            "a channel event holds a status byte where data belongs");
  EXPECT_EQ(reason(smf(0, 1, {0x00, 0x90, 60})), "a channel event is cut short");
  EXPECT_EQ(reason(smf(0, 1, {0x00, 0xFF, 0x01, 0x10, 'a'})), "a meta event is cut short");
  EXPECT_EQ(reason(smf(0, 1, {0x00, 0xF0, 0x05, 1})), "a system exclusive event is cut short");
  EXPECT_EQ(reason(smf(0, 1, with_end({0x00, 0xF8}))), "a track holds a system message that files cannot hold");
  EXPECT_EQ(reason(smf(0, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F})), "a track event is cut short");
}

}  // namespace
}  // namespace kelvo
