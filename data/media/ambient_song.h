// The demo scene's song: a calm piece in D major at 80 quarter notes per
// minute, 18 bars (54 s). A warm pad and a harp arpeggio open it; bass and
// soft drums join in the fifth bar, a flute sings over bars 9 to 12, the drums
// leave again and everything fades on a long final chord.
#pragma once

#include "data/media/midi_writer.h"

namespace kelvo::midi {

// Channels and General MIDI programs (numbered from 0) of its parts.
inline constexpr int kPadChannel = 0, kPadProgram = 89;      // Pad 2 (warm)
inline constexpr int kBassChannel = 1, kBassProgram = 32;    // Acoustic Bass
inline constexpr int kArpChannel = 2, kArpProgram = 46;      // Orchestral Harp
inline constexpr int kMelodyChannel = 3, kMelodyProgram = 73;  // Flute
// Drums play on kDrumChannel.

inline constexpr double kAmbientTempo = 80.0;
inline constexpr int kAmbientBars = 18;

Song ambient_song();

}  // namespace kelvo::midi
