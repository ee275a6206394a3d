#include <gtest/gtest.h>

#include "host/paths.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::RecordingPlatform;
using test::TempDir;

TEST(Paths, TheProgramDirectoryComesFromTheCommandLine) {
  for (auto [line, dir] : std::vector<std::pair<const char*, const char*>>{
           {"\"C:\\Program Files\\Kelvo\\kelvo.scr\" /s", "C:\\Program Files\\Kelvo\\"},
           {"\\saver\\kelvo.scr /s", "C:\\saver\\"},
           {"kelvo.scr", "k\\"},  // no backslash: cut to the first character
           {"", "C:\\"},
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
  EXPECT_EQ(e.paths.path_pack, app.path() + "forest.pak");
  EXPECT_EQ(e.paths.dir_temp, app.path() + "Data/");  // no package: the data folder
  EXPECT_EQ(e.paths.path_list, work.path() + "files.lst");
  EXPECT_EQ(e.paths.path_temp, work.path() + "Kelvo.tmp");

  app.write("forest.pak", "x");
  path_setup(e, platform, app.path());
  EXPECT_EQ(e.paths.dir_temp, work.path());

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
}

}  // namespace
}  // namespace kelvo
