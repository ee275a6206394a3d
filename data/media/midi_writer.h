// A small Standard MIDI File writer for the song generator and the tests.
//
// A Song holds tracks of timed events (ticks from the start; `division` ticks
// per quarter note). One track is written as format 0, several as format 1
// (all tracks play together; tempo changes belong in the first). Events at
// the same tick are written metas first, then program and controller changes,
// then note-offs, then note-ons, each group in the order it was added, so a
// note that ends where the same key starts again does not cut the new one.
//
// A value out of range (channel 0-15, key, velocity, program, controller and
// its value 0-127, a tick beyond the file's limit, a tempo that does not fit)
// drops that event and marks the song as failed: ok() is false and write()
// refuses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::midi {

// Channel 10 as musicians count it: General MIDI percussion.
inline constexpr int kDrumChannel = 9;

// The largest delta time a file can hold (a 4-byte variable-length number).
inline constexpr std::uint32_t kMaxDelta = 0x0FFFFFFF;

// Appends `value` (at most kMaxDelta) as a variable-length quantity.
void append_variable_length(std::vector<std::uint8_t>& out, std::uint32_t value);

struct Event {
  std::uint32_t tick = 0;
  int group = 0;                    // order among events of the same tick
  std::vector<std::uint8_t> bytes;  // status and data, or FF type length data
};

class Track {
 public:
  explicit Track(std::string name = {});

  // Tempo in quarter notes per minute (a set-tempo meta event).
  void tempo(std::uint32_t tick, double beats_per_minute);
  // Time signature numerator / 2^denominator_power, e.g. 4, 2 for 4/4.
  void time_signature(std::uint32_t tick, int numerator, int denominator_power);
  void program(std::uint32_t tick, int channel, int program);
  void controller(std::uint32_t tick, int channel, int number, int value);
  void note_on(std::uint32_t tick, int channel, int key, int velocity);
  void note_off(std::uint32_t tick, int channel, int key);
  // A note-on at `tick` and its note-off `length` ticks later (length > 0).
  void note(std::uint32_t tick, std::uint32_t length, int channel, int key, int velocity);

  bool ok() const { return ok_; }
  const std::string& name() const { return name_; }
  // The events in file order.
  std::vector<Event> sorted_events() const;
  // The tick of the last event (0 when there is none).
  std::uint32_t end_tick() const;
  // The track chunk ("MTrk", length, events, end of track).
  std::vector<std::uint8_t> chunk() const;

 private:
  void add(std::uint32_t tick, int group, std::vector<std::uint8_t> bytes);
  bool check(bool condition);

  std::string name_;
  std::vector<Event> events_;
  bool ok_ = true;
};

class Song {
 public:
  explicit Song(int division = 480);

  // The new track stays valid until the next add_track.
  Track& add_track(std::string name = {});
  const std::vector<Track>& tracks() const { return tracks_; }
  int division() const { return division_; }

  bool ok() const;
  // The whole file.
  std::vector<std::uint8_t> bytes() const;
  // Writes the file; false when the song is not ok or the file cannot be
  // written.
  bool write(const std::string& path) const;

  // Playing time in seconds up to the last event, following the tempo
  // changes of every track (120 quarter notes per minute until the first).
  double seconds() const;

 private:
  int division_;
  std::vector<Track> tracks_;
};

}  // namespace kelvo::midi
