// The file helpers every reader shares: finding a file whatever the case of
// its name, and opening regular files only.
#include "host/base/files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

TEST(Files, FindFileTakesTheExactNameElseTheFirstThatDiffersOnlyInCase) {
  test::TempDir dir;
  for (const char* name : {"vase.3ds", "VASE.3DS", "Vase.3ds", "song.MID", "a.b"}) dir.write(name, name);
  std::filesystem::create_directory(dir.file("TEXTURES"));
  std::filesystem::create_directory(dir.file("Wood.3DF"));
  dir.write("WOOD.3DF", "");
  // The name asked for, what is found ("" for nothing).
  const std::pair<const char*, const char*> cases[] = {
      {"vase.3ds", "vase.3ds"}, {"Vase.3ds", "Vase.3ds"}, {"vAsE.3dS", "VASE.3DS"}, {"SONG.mid", "song.MID"},
      {"wood.3df", "WOOD.3DF"},  // the directory Wood.3DF is passed over
      {"textures", ""},          {"a.B", "a.b"},       {"a", ""},         {"", ""},
      {".", ""},                 {"..", ""},           {"x/../a.b", ""}, {"a.b\\", ""},
  };
  for (const auto& [name, found] : cases)
    EXPECT_EQ(find_file(dir.path(), name), *found ? dir.file(found) : "") << name;
  EXPECT_EQ(find_file(dir.path() + "none/", "a.b"), "");
}

TEST(Files, OnlyRegularFilesAreOpened) {
  test::TempDir dir;
  dir.write("plain", "text");
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  // Held open here so that a wrong, blocking open would not hang the test.
  const int writer = ::open(dir.file("pipe").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  UniqueFile plain = open_regular_file(dir.file("plain"));
  ASSERT_TRUE(plain);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, plain.get()), 4u);
  EXPECT_FALSE(open_regular_file(dir.file("pipe")));
  EXPECT_FALSE(open_regular_file(dir.path()));
  EXPECT_FALSE(open_regular_file(dir.file("none")));
  EXPECT_EQ(file_exists(dir.file("pipe")) + file_exists(dir.path()), 0);
  ::close(writer);
}

}  // namespace
}  // namespace kelvo
