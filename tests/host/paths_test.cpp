#include <gtest/gtest.h>

#include "host/paths.h"
#include "host/text_helpers.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::RecordingPlatform;
using test::TempDir;

TEST(Paths, TheProgramDirectoryComesFromTheCommandLine) {
  for (auto [line, dir] : std::vector<std::pair<const char*, const char*>>{
           {"\"C:\\Program Files\\Kelvo\\kelvo.scr\" /s", "C:\\Program Files\\Kelvo\\"},
           {"C:\\WINDOWS\\KELVO.SCR /p 1234", "C:\\WINDOWS\\"},
           {"\\saver\\kelvo.scr /s", "C:\\saver\\"},
           {"kelvo.scr", "k\\"},  // no backslash: cut to the first character
           {"", "C:\\"},
           {"C:\\dir\\x", "C:\\dir\\x\\"},  // the second-to-last is a backslash
       })
    EXPECT_EQ(app_dir_from_command_line(line), dir) << line;
}

TEST(Paths, ScenesComeFromThePackageOrTheDataFolderAndWritesGoToThePrivateDirectory) {
  TempDir app, work;
  RecordingPlatform platform;
  platform.work_dir = work.path();
  Engine e;
  e.Module = "forest";
  path_setup(e, platform, app.path());
  EXPECT_EQ(e.paths.path_app, app.path());
  EXPECT_EQ(e.paths.path_pack, app.path() + "forest.pak");
  EXPECT_EQ(e.paths.dir_temp, app.path() + "Data/");  // no package: the data folder
  EXPECT_EQ(e.paths.path_list, work.path() + "files.lst");
  EXPECT_EQ(e.paths.path_temp, work.path() + "Kelvo.tmp");

  app.write("forest.pak", "x");
  path_setup(e, platform, app.path());
  EXPECT_EQ(e.paths.dir_temp, work.path());

  e.overrides.package_file = "/somewhere/else.pak";
  path_setup(e, platform, app.path());
  EXPECT_EQ(e.paths.path_pack, "/somewhere/else.pak");
  EXPECT_EQ(e.paths.dir_temp, app.path() + "Data/");  // it does not exist
  e.overrides.data_dir = "/scenes/mine";
  path_setup(e, platform, app.path());
  EXPECT_EQ(e.paths.dir_temp, "/scenes/mine/");
  EXPECT_EQ(e.paths.path_pack, "");
}

TEST(Paths, SetUpRemovesWhatTheListOfAnEarlierRunNamesButNothingElse) {
  TempDir app, work, elsewhere;
  work.write("SCENE1.TXT", "old");
  work.write("keep.txt", "not listed");
  elsewhere.write("precious", "mine");
  work.write("files.lst", work.file("SCENE1.TXT") + "\n" + elsewhere.file("precious") + "\n" + work.path() +
                              "../x\n" + work.path() + "\n");
  RecordingPlatform platform;
  platform.work_dir = work.path();
  Engine e;
  path_setup(e, platform, app.path());
  EXPECT_EQ(work.list(), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(elsewhere.read("precious"), "mine");

  work.write("a", "");  // file_exists is for files only
  EXPECT_EQ(file_exists(work.file("a")), 1);
  EXPECT_EQ(file_exists(work.file("b")), 0);
  EXPECT_EQ(file_exists(work.path()), 0);
  EXPECT_EQ(file_exists(""), 0);
}

TEST(TextHelpers, TrimAndTheNumberTests) {
  for (auto [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"   ", ""}, {"  a b  ", "a b"}, {"\ta \n", "\ta \n"}}) {  // only spaces count
    trim_spaces(in);
    EXPECT_EQ(in, out);
  }
  std::string s = "ab ";
  strip_leading_spaces(s);
  EXPECT_EQ(s, "ab ");
  reverse_text(s);
  EXPECT_EQ(s, " ba");
  for (const char* yes : {"12.5", ".", ""}) EXPECT_TRUE(is_number(yes)) << yes;
  for (const char* no : {"-3", "1e5", " 1"}) EXPECT_FALSE(is_number(no)) << no;
  EXPECT_EQ(text_to_int("1024x"), 1024);
  EXPECT_EQ(text_to_int("x1"), 0);
  EXPECT_EQ(text_to_int("-2147483649"), INT32_MIN);
  EXPECT_EQ(text_to_int("99999999999999999999999"), INT32_MAX);
}

}  // namespace
}  // namespace kelvo
