#include "data/media/ambient_song.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace kelvo::midi {

namespace {

constexpr std::uint32_t kQuarter = 480;
constexpr std::uint32_t kEighth = kQuarter / 2;
constexpr std::uint32_t kBar = 4 * kQuarter;

std::uint32_t bar_tick(int bar) { return static_cast<std::uint32_t>(bar) * kBar; }

// The four chords of every phrase: bass root, pad voicing, arpeggio tones
// from low to high.
struct Chord {
  int bass;
  int pad[4];
  int arp[6];
};
constexpr Chord kChords[4] = {
    {38, {57, 62, 66, 73}, {62, 69, 73, 76, 78, 81}},  // Dmaj9
    {35, {57, 62, 66, 71}, {59, 66, 69, 74, 76, 78}},  // Bm7 add 11
    {43, {55, 59, 62, 66}, {55, 62, 66, 71, 73, 74}},  // Gmaj7 (#11 on top)
    {45, {57, 62, 64, 69}, {57, 64, 69, 71, 74, 76}},  // Asus4, resolving to A halfway
};
constexpr int kSusChord = 3;
constexpr int kSusNote = 62, kResolvedNote = 61;      // the pad's D resolves to C#
constexpr int kSusArpNote = 74, kResolvedArpNote = 73;

// Arpeggio orders (indices into Chord::arp), one per phrase.
constexpr int kArpPatterns[4][8] = {
    {0, 1, 2, 3, 4, 5, 4, 2},
    {0, 2, 1, 3, 2, 4, 3, 5},
    {0, 1, 2, 3, 4, 5, 4, 2},
    {5, 4, 3, 1, 2, 0, 1, 3},
};

struct Note {
  std::uint32_t tick, length;
  int key, velocity;
};

// Adds one part's notes to its track; a note that would still sound when the
// same key strikes again is cut short, so no note-off ends a newer note.
void add_part(Track& track, int channel, std::vector<Note> notes) {
  std::stable_sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) { return a.tick < b.tick; });
  std::map<int, std::size_t> last;  // key -> index of its latest note
  std::vector<bool> dropped(notes.size(), false);
  for (std::size_t i = 0; i < notes.size(); ++i) {
    auto it = last.find(notes[i].key);
    if (it != last.end()) {
      Note& previous = notes[it->second];
      if (previous.tick + previous.length > notes[i].tick) {
        previous.length = notes[i].tick - previous.tick;
        if (previous.length == 0) dropped[it->second] = true;
      }
    }
    last[notes[i].key] = i;
  }
  for (std::size_t i = 0; i < notes.size(); ++i)
    if (!dropped[i]) track.note(notes[i].tick, notes[i].length, channel, notes[i].key, notes[i].velocity);
}

void set_up_channel(Track& track, int channel, int program, int volume, int pan, int reverb, int chorus,
                    int expression) {
  track.program(0, channel, program);
  track.controller(0, channel, 7, volume);
  track.controller(0, channel, 10, pan);
  track.controller(0, channel, 91, reverb);
  track.controller(0, channel, 93, chorus);
  track.controller(0, channel, 11, expression);
}

// Expression (controller 11) moving from `from` to `to` between two ticks.
void ramp(Track& track, int channel, std::uint32_t start, std::uint32_t end, int from, int to) {
  constexpr std::uint32_t kStep = kEighth / 4;
  for (std::uint32_t t = start; t < end; t += kStep) {
    const double f = static_cast<double>(t - start) / static_cast<double>(end - start);
    track.controller(t, channel, 11, static_cast<int>(from + (to - from) * f + 0.5));
  }
  track.controller(end, channel, 11, to);
}

void pad(Track& track) {
  std::vector<Note> notes;
  for (int bar = 0; bar < 16; ++bar) {
    const Chord& c = kChords[bar % 4];
    const std::uint32_t start = bar_tick(bar);
    for (int key : c.pad) {
      if (bar % 4 == kSusChord && key == kSusNote) {
        notes.push_back({start, kBar / 2 - 30, key, 54});
        notes.push_back({start + kBar / 2, kBar / 2 - 30, kResolvedNote, 52});
      } else {
        notes.push_back({start, kBar - 30, key, 56});
      }
    }
  }
  // The last chord holds over two bars, with the ninth on top.
  for (int key : {50, 57, 62, 66, 73, 76}) notes.push_back({bar_tick(16), 2 * kBar - 60, key, 58});
  add_part(track, kPadChannel, notes);
  ramp(track, kPadChannel, 0, kBar, 40, 110);
}

void bass(Track& track) {
  std::vector<Note> notes;
  for (int bar = 4; bar < 16; ++bar) {
    const Chord& c = kChords[bar % 4];
    const std::uint32_t start = bar_tick(bar);
    if (bar == 15) {
      notes.push_back({start, kBar - 60, c.bass, 70});
      continue;
    }
    notes.push_back({start, kQuarter * 11 / 4, c.bass, 74});
    notes.push_back({start + 3 * kQuarter, kQuarter - 40, c.bass + 7, 58});
  }
  notes.push_back({bar_tick(16), 2 * kBar - 60, 38, 70});
  add_part(track, kBassChannel, notes);
}

void arpeggio(Track& track) {
  std::vector<Note> notes;
  for (int bar = 0; bar < 16; ++bar) {
    const Chord& c = kChords[bar % 4];
    const int* pattern = kArpPatterns[(bar / 4) % 4];
    for (int i = 0; i < 8; ++i) {
      int key = c.arp[pattern[i]];
      if (bar % 4 == kSusChord && i >= 4 && key == kSusArpNote) key = kResolvedArpNote;
      // Beats a little stronger than off-beats, with a gentle wave.
      const int velocity = 56 + (i == 0 ? 12 : i % 2 == 0 ? 5 : 0) + (i * 7 + bar * 3) % 5 - 2;
      notes.push_back({bar_tick(bar) + static_cast<std::uint32_t>(i) * kEighth, kEighth * 3 / 2, key, velocity});
    }
  }
  // The ending slows to quarters and then to two long notes.
  const Chord& home = kChords[0];
  for (int i = 0; i < 4; ++i)
    notes.push_back(
        {bar_tick(16) + static_cast<std::uint32_t>(i) * kQuarter, kQuarter + kEighth, home.arp[i], 54 - 2 * i});
  notes.push_back({bar_tick(17), kBar / 2, home.arp[4], 48});
  notes.push_back({bar_tick(17) + kBar / 2, kBar / 2 - 60, home.arp[5], 44});
  add_part(track, kArpChannel, notes);
  ramp(track, kArpChannel, 0, 2 * kBar, 50, 100);
}

void melody(Track& track) {
  const std::uint32_t b8 = bar_tick(8);
  const std::vector<Note> notes = {
      {b8, 900, 78, 66},                              // F#  (Dmaj9)
      {b8 + 960, 420, 76, 60},                        // E
      {b8 + 1440, 420, 74, 62},                       // D
      {b8 + kBar, 1380, 73, 68},                      // C#  (Bm7)
      {b8 + kBar + 1440, 420, 71, 58},                // B
      {b8 + 2 * kBar, 420, 74, 62},                   // D   (Gmaj7)
      {b8 + 2 * kBar + 480, 900, 78, 70},             // F#
      {b8 + 2 * kBar + 1440, 420, 76, 60},            // E
      {b8 + 3 * kBar, 900, 76, 64},                   // E   (Asus4)
      {b8 + 3 * kBar + 960, 900, 73, 62},             // C#  (A)
      {b8 + 4 * kBar, kBar - 120, 74, 60},            // D   (Dmaj9)
  };
  add_part(track, kMelodyChannel, notes);
  // Breathing in and out of each phrase.
  ramp(track, kMelodyChannel, b8, b8 + kQuarter, 70, 105);
  ramp(track, kMelodyChannel, b8 + 4 * kBar + kBar / 2, b8 + 5 * kBar - 120, 105, 50);
}

void drums(Track& track) {
  constexpr int kKick = 36, kRim = 37, kClosedHat = 42, kOpenHat = 46, kCrash = 49;
  std::vector<Note> notes;
  for (int bar = 4; bar < 14; ++bar) {
    const std::uint32_t start = bar_tick(bar);
    const int hat_eighths = bar == 13 ? 4 : 8;  // the drums leave halfway through bar 14
    for (int i = 0; i < hat_eighths; ++i) {
      const bool open = bar % 2 == 1 && i == 7;
      notes.push_back({start + static_cast<std::uint32_t>(i) * kEighth, kEighth / 2, open ? kOpenHat : kClosedHat,
                       open ? 28 : i % 2 == 0 ? 34 : 24});
    }
    if (bar >= 6 && bar < 13) {
      notes.push_back({start, kEighth, kKick, 64});
      notes.push_back({start + 5 * kEighth, kEighth, kKick, 48});
      notes.push_back({start + kQuarter, kEighth, kRim, 36});
      notes.push_back({start + 3 * kQuarter, kEighth, kRim, 40});
    }
    if (bar == 8 || bar == 12) notes.push_back({start, kQuarter, kCrash, 40});
  }
  add_part(track, kDrumChannel, notes);
}

}  // namespace

Song ambient_song() {
  Song song(static_cast<int>(kQuarter));
  const std::uint32_t fade_start = bar_tick(kAmbientBars - 1);
  const std::uint32_t end = bar_tick(kAmbientBars);

  // Each track is finished before the next is added.
  Track& conductor = song.add_track("Kelvo ambient");
  conductor.tempo(0, kAmbientTempo);
  conductor.time_signature(0, 4, 2);

  Track& pad_track = song.add_track("Pad");
  set_up_channel(pad_track, kPadChannel, kPadProgram, 92, 64, 100, 60, 40);
  pad(pad_track);
  ramp(pad_track, kPadChannel, fade_start, end, 110, 0);  // the final event of the song

  Track& bass_track = song.add_track("Bass");
  set_up_channel(bass_track, kBassChannel, kBassProgram, 96, 64, 40, 0, 110);
  bass(bass_track);
  ramp(bass_track, kBassChannel, fade_start, end, 110, 0);

  Track& arp_track = song.add_track("Harp");
  set_up_channel(arp_track, kArpChannel, kArpProgram, 84, 84, 90, 20, 50);
  arpeggio(arp_track);
  ramp(arp_track, kArpChannel, fade_start, end, 100, 0);

  Track& melody_track = song.add_track("Flute");
  set_up_channel(melody_track, kMelodyChannel, kMelodyProgram, 80, 46, 96, 30, 70);
  melody(melody_track);

  Track& drum_track = song.add_track("Drums");
  set_up_channel(drum_track, kDrumChannel, 0, 80, 64, 60, 0, 110);
  drums(drum_track);
  return song;
}

}  // namespace kelvo::midi
