#include "data/media/midi_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace kelvo::midi {

namespace {

// Order of events that share a tick.
constexpr int kGroupMeta = 0;
constexpr int kGroupSetup = 1;
constexpr int kGroupNoteOff = 2;
constexpr int kGroupNoteOn = 3;

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter: 120 per minute

void append_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void append_u16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

bool data_byte(int v) { return v >= 0 && v <= 127; }
bool channel_ok(int c) { return c >= 0 && c <= 15; }

std::uint8_t u8(int v) { return static_cast<std::uint8_t>(v); }

// The tempo in microseconds per quarter note of a set-tempo event, or 0.
std::uint32_t tempo_of(const Event& event) {
  const std::vector<std::uint8_t>& b = event.bytes;
  if (b.size() != 6 || b[0] != 0xFF || b[1] != 0x51 || b[2] != 3) return 0;
  return (std::uint32_t{b[3]} << 16) | (std::uint32_t{b[4]} << 8) | b[5];
}

}  // namespace

void append_variable_length(std::vector<std::uint8_t>& out, std::uint32_t value) {
  value &= kMaxDelta;
  std::uint8_t groups[4];
  int n = 0;
  do {
    groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

Track::Track(std::string name) : name_(std::move(name)) {}

bool Track::check(bool condition) {
  if (!condition) ok_ = false;
  return condition;
}

void Track::add(std::uint32_t tick, int group, std::vector<std::uint8_t> bytes) {
  if (!check(tick <= kMaxDelta)) return;
  events_.push_back(Event{tick, group, std::move(bytes)});
}

void Track::tempo(std::uint32_t tick, double beats_per_minute) {
  if (!check(beats_per_minute > 0.0 && std::isfinite(beats_per_minute))) return;
  const double micros = std::round(60000000.0 / beats_per_minute);
  if (!check(micros >= 1.0 && micros <= 0xFFFFFF)) return;
  const auto t = static_cast<std::uint32_t>(micros);
  add(tick, kGroupMeta, {0xFF, 0x51, 0x03, u8(t >> 16 & 0xFF), u8(t >> 8 & 0xFF), u8(t & 0xFF)});
}

void Track::time_signature(std::uint32_t tick, int numerator, int denominator_power) {
  if (!check(numerator >= 1 && numerator <= 255 && denominator_power >= 0 && denominator_power <= 7)) return;
  // 24 clocks per metronome click, 8 thirty-second notes per quarter.
  add(tick, kGroupMeta, {0xFF, 0x58, 0x04, u8(numerator), u8(denominator_power), 24, 8});
}

void Track::program(std::uint32_t tick, int channel, int program) {
  if (!check(channel_ok(channel) && data_byte(program))) return;
  add(tick, kGroupSetup, {u8(0xC0 | channel), u8(program)});
}

void Track::controller(std::uint32_t tick, int channel, int number, int value) {
  if (!check(channel_ok(channel) && data_byte(number) && data_byte(value))) return;
  add(tick, kGroupSetup, {u8(0xB0 | channel), u8(number), u8(value)});
}

void Track::note_on(std::uint32_t tick, int channel, int key, int velocity) {
  if (!check(channel_ok(channel) && data_byte(key) && data_byte(velocity))) return;
  add(tick, kGroupNoteOn, {u8(0x90 | channel), u8(key), u8(velocity)});
}

void Track::note_off(std::uint32_t tick, int channel, int key) {
  if (!check(channel_ok(channel) && data_byte(key))) return;
  add(tick, kGroupNoteOff, {u8(0x80 | channel), u8(key), 64});
}

void Track::note(std::uint32_t tick, std::uint32_t length, int channel, int key, int velocity) {
  if (!check(length > 0 && length <= kMaxDelta - std::min(tick, kMaxDelta))) return;
  if (!check(channel_ok(channel) && data_byte(key) && velocity >= 1 && velocity <= 127)) return;
  note_on(tick, channel, key, velocity);
  note_off(tick + length, channel, key);
}

std::vector<Event> Track::sorted_events() const {
  std::vector<Event> sorted = events_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    return a.group < b.group;
  });
  return sorted;
}

std::uint32_t Track::end_tick() const {
  std::uint32_t end = 0;
  for (const Event& e : events_) end = std::max(end, e.tick);
  return end;
}

std::vector<std::uint8_t> Track::chunk() const {
  std::vector<std::uint8_t> body;
  std::uint32_t now = 0;
  if (!name_.empty()) {
    body.push_back(0);  // delta
    body.push_back(0xFF);
    body.push_back(0x03);
    append_variable_length(body, static_cast<std::uint32_t>(name_.size()));
    body.insert(body.end(), name_.begin(), name_.end());
  }
  for (const Event& e : sorted_events()) {
    append_variable_length(body, e.tick - now);
    now = e.tick;
    body.insert(body.end(), e.bytes.begin(), e.bytes.end());
  }
  body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});  // end of track

  std::vector<std::uint8_t> out = {'M', 'T', 'r', 'k'};
  append_u32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Song::Song(int division) : division_(division) {}

Track& Song::add_track(std::string name) {
  tracks_.emplace_back(std::move(name));
  return tracks_.back();
}

bool Song::ok() const {
  if (division_ < 1 || division_ > 0x7FFF || tracks_.empty() || tracks_.size() > 0xFFFF) return false;
  return std::all_of(tracks_.begin(), tracks_.end(), [](const Track& t) { return t.ok(); });
}

std::vector<std::uint8_t> Song::bytes() const {
  std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd'};
  append_u32(out, 6);
  append_u16(out, tracks_.size() == 1 ? 0 : 1);
  append_u16(out, static_cast<std::uint32_t>(tracks_.size()));
  append_u16(out, static_cast<std::uint32_t>(division_));
  for (const Track& t : tracks_) {
    std::vector<std::uint8_t> chunk = t.chunk();
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

bool Song::write(const std::string& path) const {
  if (!ok()) return false;
  const std::vector<std::uint8_t> data = bytes();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && written;
}

double Song::seconds() const {
  // The tempo map of all tracks, then the time of the last event.
  std::map<std::uint32_t, std::uint32_t> tempos;  // tick -> microseconds per quarter
  std::uint32_t end = 0;
  for (const Track& t : tracks_) {
    for (const Event& e : t.sorted_events())
      if (std::uint32_t tempo = tempo_of(e)) tempos[e.tick] = tempo;
    end = std::max(end, t.end_tick());
  }
  double micros = 0;
  std::uint32_t tick = 0;
  std::uint32_t tempo = kDefaultTempo;
  for (const auto& [at, next] : tempos) {
    if (at >= end) break;
    micros += static_cast<double>(at - tick) * tempo / division_;
    tick = at;
    tempo = next;
  }
  micros += static_cast<double>(end - tick) * tempo / division_;
  return micros / 1e6;
}

}  // namespace kelvo::midi
