// The choice of the General MIDI soundfont.
#include "media/soundfont.h"

#include <gtest/gtest.h>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

TEST(MediaSoundfont, ThePreferredFileComesFirst) {
  test::TempDir dir;
  dir.write("Small.sf2", "RIFF");
  dir.write("preferred.sf2", "RIFF");
  EXPECT_EQ(choose_soundfont(dir.file("preferred.sf2"), dir.path(), ""), dir.file("preferred.sf2"));
}

TEST(MediaSoundfont, ThenTheFirstSetInTheDirectoryWithTheDefaultLinkLast) {
  test::TempDir dir;
  dir.write("default-GM.sf2", "RIFF");
  dir.write("Zeta.sf2", "RIFF");
  dir.write("Beta.SF2", "RIFF");
  dir.write("Alpha.txt", "words");
  test::TempDir fallback;
  fallback.write("default-GM.sf3", "RIFF");
  EXPECT_EQ(choose_soundfont(dir.file("missing.sf2"), dir.path(), fallback.file("default-GM.sf3")),
            dir.file("Beta.SF2"));

  test::TempDir only_default;
  only_default.write("default-GM.sf2", "RIFF");
  EXPECT_EQ(choose_soundfont("", only_default.path(), fallback.file("default-GM.sf3")),
            only_default.file("default-GM.sf2"));
}

TEST(MediaSoundfont, ThenTheFallbackThenNothing) {
  test::TempDir empty;
  test::TempDir fallback;
  fallback.write("default-GM.sf3", "RIFF");
  EXPECT_EQ(choose_soundfont("", empty.path(), fallback.file("default-GM.sf3")), fallback.file("default-GM.sf3"));
  EXPECT_EQ(choose_soundfont("", empty.path() + "none/", fallback.file("default-GM.sf3")),
            fallback.file("default-GM.sf3"));
  EXPECT_EQ(choose_soundfont(empty.file("a.sf2"), empty.path(), empty.file("b.sf3")), "");
  // A directory named like a soundfont is no soundfont.
  EXPECT_EQ(choose_soundfont(empty.path(), empty.path(), empty.path()), "");
}

}  // namespace
}  // namespace kelvo
