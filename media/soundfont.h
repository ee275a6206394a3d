// The General MIDI soundfont that songs are played with.
#pragma once

#include <string>

namespace kelvo {

// `preferred` when it is a readable file; else the first *.sf2 file in
// `sf2_dir` by name (a "default-GM.sf2" there, which may be a very large set,
// only when it is the only one); else `fallback` when it is a readable file;
// else empty (the sound library then uses its own default).
std::string choose_soundfont(const std::string& preferred, const std::string& sf2_dir, const std::string& fallback);

}  // namespace kelvo
