// Checks that a file is a well-formed Standard MIDI File before it is played:
// some players accept anything and fail later, silently, on their own thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

// True when `bytes` hold a Standard MIDI File (format 0, 1 or 2; also inside
// a RIFF "RMID" wrapper) whose header and every announced track chunk are
// complete and whose track events all decode, each track ending inside its
// chunk. Otherwise false with a short reason in `error`.
bool check_midi(const std::vector<std::uint8_t>& bytes, std::string& error);

// The same for a file; false also when it cannot be read or is larger than
// a song can reasonably be (16 MB).
bool check_midi_file(const std::string& path, std::string& error);

}  // namespace kelvo
