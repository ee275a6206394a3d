// Writes the demo scene's song: gen_song OUT.MID
#include <cstdio>

#include "data/media/ambient_song.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.MID\n", argv[0]);
    return 2;
  }
  const kelvo::midi::Song song = kelvo::midi::ambient_song();
  if (!song.write(argv[1])) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
