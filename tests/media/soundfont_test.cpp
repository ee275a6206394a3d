// The choice of the General MIDI soundfont.
#include "media/soundfont.h"

#include <gtest/gtest.h>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

// The preferred file, then the first set in the directory (by name, any
// case) with the default link last, then the fallback, then nothing.
TEST(MediaSoundfont, ChoosesPreferredThenDirectoryThenFallback) {
  test::TempDir dir, only_default, empty, fallback;
  for (const char* name : {"default-GM.sf2", "Zeta.sf2", "Beta.SF2", "preferred.sf2"}) dir.write(name, "RIFF");
  dir.write("Alpha.txt", "words");
  only_default.write("default-GM.sf2", "RIFF");
  fallback.write("default-GM.sf3", "RIFF");
  const std::string fb = fallback.file("default-GM.sf3");
  EXPECT_EQ(choose_soundfont(dir.file("preferred.sf2"), dir.path(), fb), dir.file("preferred.sf2"));
  EXPECT_EQ(choose_soundfont(dir.file("missing.sf2"), dir.path(), fb), dir.file("Beta.SF2"));
  EXPECT_EQ(choose_soundfont("", only_default.path(), fb), only_default.file("default-GM.sf2"));
  EXPECT_EQ(choose_soundfont("", empty.path() + "none/", fb), fb);
  EXPECT_EQ(choose_soundfont(empty.file("a.sf2"), empty.path(), empty.file("b.sf3")), "");
  // A directory named like a soundfont is no soundfont.
  EXPECT_EQ(choose_soundfont(empty.path(), empty.path(), empty.path()), "");
}

}  // namespace
}  // namespace kelvo
