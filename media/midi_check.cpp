#include "media/midi_check.h"

#include <cstdio>
#include <cstring>

#include "host/base/files.h"

namespace kelvo {

namespace {

constexpr std::size_t kMaxSongBytes = 16u << 20;

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint32_t le32(const std::uint8_t* p) {
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}
std::uint32_t be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

// Reads a variable-length number of at most four bytes.
bool read_variable(const std::uint8_t*& p, const std::uint8_t* end, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    const std::uint8_t b = *p++;
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

// Data bytes that follow a channel status byte.
int data_bytes(std::uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    default:
      return 2;
  }
}

bool check_track(const std::uint8_t* p, const std::uint8_t* end, std::string& error) {
  std::uint8_t running = 0;
  while (p < end) {
    std::uint32_t delta = 0;
    if (!read_variable(p, end, delta) || p >= end) {
      error = "a track event is cut short";
      return false;
    }
    std::uint8_t status = *p;
    if (status == 0xFF) {  // meta event
      if (end - p < 2) {
        error = "a meta event is cut short";
        return false;
      }
      const std::uint8_t type = p[1];
      p += 2;
      std::uint32_t length = 0;
      if (!read_variable(p, end, length) || length > static_cast<std::uint32_t>(end - p)) {
        error = "a meta event is cut short";
        return false;
      }
      p += length;
      if (type == 0x2F) return true;  // end of track
      running = 0;
    } else if (status == 0xF0 || status == 0xF7) {  // system exclusive
      ++p;
      std::uint32_t length = 0;
      if (!read_variable(p, end, length) || length > static_cast<std::uint32_t>(end - p)) {
        error = "a system exclusive event is cut short";
        return false;
      }
      p += length;
      running = 0;
    } else {
      if (status & 0x80) {
        if (status >= 0xF0) {
          error = "a track holds a system message that files cannot hold";
          return false;
        }
        running = status;
        ++p;
      } else if (running == 0) {
        error = "a track event has no status";
        return false;
      }
      const int n = data_bytes(running);
      if (end - p < n) {
        error = "a channel event is cut short";
        return false;
      }
      for (int i = 0; i < n; ++i)
        if (p[i] & 0x80) {
          error = "a channel event holds a status byte where data belongs";
          return false;
        }
      p += n;
    }
  }
  error = "a track has no end";
  return false;
}

}  // namespace

bool check_midi(const std::vector<std::uint8_t>& bytes, std::string& error) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* end = p + bytes.size();
  // A RIFF MIDI file carries the Standard MIDI File in its "data" chunk.
  if (bytes.size() >= 12 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "RMID", 4) == 0) {
    const std::uint8_t* chunk = p + 12;
    bool found = false;
    while (end - chunk >= 8) {
      const std::uint32_t size = le32(chunk + 4);
      if (size > static_cast<std::uint32_t>(end - chunk - 8)) break;
      if (std::memcmp(chunk, "data", 4) == 0) {
        p = chunk + 8;
        end = p + size;
        found = true;
        break;
      }
      const std::size_t step = std::size_t{8} + size + (size & 1);
      if (step > static_cast<std::size_t>(end - chunk)) break;
      chunk += step;
    }
    if (!found) {
      error = "a RIFF MIDI file without its data";
      return false;
    }
  }

  if (end - p < 14 || std::memcmp(p, "MThd", 4) != 0) {
    error = "no MIDI file header";
    return false;
  }
  const std::uint32_t header_size = be32(p + 4);
  if (header_size < 6 || header_size > static_cast<std::uint32_t>(end - p - 8)) {
    error = "the MIDI file header is cut short";
    return false;
  }
  const std::uint32_t format = be16(p + 8);
  const std::uint32_t tracks = be16(p + 10);
  const std::uint32_t division = be16(p + 12);
  if (format > 2 || tracks == 0 || (format == 0 && tracks != 1) || division == 0) {
    error = "the MIDI file header makes no sense";
    return false;
  }
  p += 8 + header_size;

  for (std::uint32_t found = 0; found < tracks;) {
    if (end - p < 8) {
      error = "a track is missing";
      return false;
    }
    const std::uint32_t size = be32(p + 4);
    if (size > static_cast<std::uint32_t>(end - p - 8)) {
      error = "a track is cut short";
      return false;
    }
    const std::uint8_t* body = p + 8;
    if (std::memcmp(p, "MTrk", 4) == 0) {
      if (!check_track(body, body + size, error)) return false;
      ++found;
    }
    p = body + size;  // other chunks are skipped
  }
  return true;
}

bool check_midi_file(const std::string& path, std::string& error) {
  UniqueFile file = open_regular_file(path);
  if (!file) {
    error = "cannot be read (or not a regular file)";
    return false;
  }
  std::FILE* f = file.get();
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[16384];
  std::size_t n = 0;
  bool too_large = false;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (bytes.size() + n > kMaxSongBytes) {
      too_large = true;
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  const bool read_error = std::ferror(f) != 0;
  if (read_error) {
    error = "cannot be read";
    return false;
  }
  if (too_large) {
    error = "too large for a song";
    return false;
  }
  return check_midi(bytes, error);
}

}  // namespace kelvo
