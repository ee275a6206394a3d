// The demo scene's generated song.
#include "data/media/ambient_song.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "media/midi_check.h"

namespace kelvo::midi {
namespace {

struct Played {
  std::uint32_t start, end;
  int key, velocity;
};

// Every note of every channel, pairing each note-on with its note-off.
struct Notes {
  std::map<int, std::vector<Played>> by_channel;
  std::map<int, int> programs;  // channel -> program
  int unmatched_offs = 0;
  int unended = 0;
  int restruck_while_sounding = 0;
};

Notes collect(const Song& song) {
  Notes n;
  for (const Track& t : song.tracks()) {
    std::map<std::pair<int, int>, Played> sounding;
    for (const Event& e : t.sorted_events()) {
      const int kind = e.bytes[0] & 0xF0, channel = e.bytes[0] & 0x0F;
      if (e.bytes[0] == 0xFF) continue;
      if (kind == 0xC0) n.programs[channel] = e.bytes[1];
      if (kind == 0x90 && e.bytes[2] > 0) {
        const auto key = std::make_pair(channel, int{e.bytes[1]});
        if (sounding.count(key)) ++n.restruck_while_sounding;
        sounding[key] = Played{e.tick, 0, e.bytes[1], e.bytes[2]};
      } else if (kind == 0x80 || kind == 0x90) {
        auto it = sounding.find({channel, int{e.bytes[1]}});
        if (it == sounding.end()) {
          ++n.unmatched_offs;
          continue;
        }
        it->second.end = e.tick;
        n.by_channel[channel].push_back(it->second);
        sounding.erase(it);
      }
    }
    n.unended += static_cast<int>(sounding.size());
  }
  return n;
}

TEST(MediaAmbientSong, IsAWellFormedSongWhereEveryNoteEnds) {
  const Song song = ambient_song();
  ASSERT_TRUE(song.ok());
  EXPECT_EQ(song.tracks().size(), 6u);
  EXPECT_NEAR(song.seconds(), 54.0, 1e-9);
  std::string error;
  EXPECT_TRUE(kelvo::check_midi(song.bytes(), error)) << error;
  const Notes n = collect(song);
  EXPECT_EQ(n.unmatched_offs, 0);
  EXPECT_EQ(n.unended, 0);
  EXPECT_EQ(n.restruck_while_sounding, 0);  // no key is struck while it sounds
}

TEST(MediaAmbientSong, PadBassArpeggioFluteAndSoftDrumsInDMajor) {
  const Notes n = collect(ambient_song());
  EXPECT_EQ(n.programs.at(kPadChannel), kPadProgram);
  EXPECT_EQ(n.programs.at(kBassChannel), kBassProgram);
  EXPECT_EQ(n.programs.at(kArpChannel), kArpProgram);
  EXPECT_EQ(n.programs.at(kMelodyChannel), kMelodyProgram);
  for (int channel : {kPadChannel, kBassChannel, kArpChannel, kMelodyChannel, kDrumChannel})
    EXPECT_FALSE(n.by_channel.count(channel) == 0 || n.by_channel.at(channel).empty()) << channel;
  EXPECT_EQ(n.by_channel.size(), 5u);

  // Soft drums: General MIDI kit sounds only, never loud.
  for (const Played& p : n.by_channel.at(kDrumChannel)) {
    EXPECT_GE(p.key, 35);
    EXPECT_LE(p.key, 81);
    EXPECT_LE(p.velocity, 70);
  }
  // The bass stays low and the pad in the middle.
  for (const Played& p : n.by_channel.at(kBassChannel)) EXPECT_LT(p.key, 55);
  for (const Played& p : n.by_channel.at(kPadChannel)) {
    EXPECT_GE(p.key, 48);
    EXPECT_LE(p.key, 84);
  }
  // Every pitch but the drums' is in D major.
  const std::set<int> d_major = {2, 4, 6, 7, 9, 11, 1};
  for (const auto& [channel, notes] : n.by_channel)
    for (const Played& p : notes)
      EXPECT_TRUE(channel == kDrumChannel || d_major.count(p.key % 12)) << "channel " << channel << " key " << p.key;
}

TEST(MediaAmbientSong, TheDrumsComeAndGoAndTheEndFadesOut) {
  const Song song = ambient_song();
  const Notes n = collect(song);
  constexpr std::uint32_t kBar = 1920;
  std::uint32_t first = UINT32_MAX, last = 0;
  for (const Played& p : n.by_channel.at(kDrumChannel)) {
    first = std::min(first, p.start);
    last = std::max(last, p.end);
  }
  EXPECT_EQ(first, 4 * kBar);
  EXPECT_LE(last, 14 * kBar);
  // Every melodic channel's expression ends at 0 on the final tick.
  for (int channel : {kPadChannel, kBassChannel, kArpChannel}) {
    int last_expression = -1;
    std::uint32_t at = 0;
    for (const Track& t : song.tracks())
      for (const Event& e : t.sorted_events())
        if (e.bytes.size() == 3 && e.bytes[0] == (0xB0 | channel) && e.bytes[1] == 11) {
          last_expression = e.bytes[2];
          at = e.tick;
        }
    EXPECT_EQ(last_expression, 0) << channel;
    EXPECT_EQ(at, static_cast<std::uint32_t>(kAmbientBars) * kBar) << channel;
  }
}

}  // namespace
}  // namespace kelvo::midi
