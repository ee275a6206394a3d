// Fuzzes the check that a song is a complete Standard MIDI File (what stands
// between a package's songs and the sound library) with arbitrary bytes.
//
// Checks, besides the sanitizers' own: a refused song always has a reason.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "media/midi_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  if (!kelvo::check_midi(std::vector<std::uint8_t>(data, data + size), error))
    kelvo::fuzz::check(!error.empty(), "song refused without a reason");
  return 0;
}
