// Writes the demo's sounds into a directory: gen_sounds DIR
//   WHOOSH.WAV  a breath of wind passing by
//   CHIME.WAV   a metal chime ringing out
//   HUM.WAV     a low hum for looping (playnostop_wav)
// All 16-bit PCM, 22050 Hz, mono.
#include <cstdio>
#include <string>
#include <vector>

#include "data/media/sound_synth.h"
#include "data/media/wav_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/') dir += '/';
  struct Sound {
    const char* name;
    std::vector<float> samples;
  };
  const Sound sounds[] = {
      {"WHOOSH.WAV", kelvo::synth::whoosh()},
      {"CHIME.WAV", kelvo::synth::chime()},
      {"HUM.WAV", kelvo::synth::hum_loop()},
  };
  for (const Sound& s : sounds) {
    const std::string path = dir + s.name;
    if (!kelvo::wav::write_wav(path, kelvo::wav::to_pcm16(s.samples), kelvo::synth::kSoundRate)) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
      return 1;
    }
  }
  return 0;
}
