// Unpacking packages into the work directory, with hostile members.
#include <gtest/gtest.h>

#include <set>

#include "host/paths.h"
#include "package/extract.h"
#include "package/logo.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::RecordingPlatform;
using test::TempDir;

std::string u32(std::uint32_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
          static_cast<char>(v >> 24)};
}

struct Unpacking {
  TempDir app, work;
  RecordingPlatform platform;
  Engine e;
  std::vector<std::string> log;

  Unpacking() {
    platform.work_dir = work.path();
    e.log.to_callback([this](std::string_view line) { log.emplace_back(line); });
  }
  ExtractResult extract(const std::string& members) {
    std::vector<std::uint8_t> pak = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
    app.write("kelvo.pak", std::string(pak.begin(), pak.end()));
    path_setup(e, platform, app.path());
    return extract_package(e);
  }
  bool logged(const std::string& part) const {
    for (const std::string& line : log)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
};

TEST(Extract, MembersAreWrittenListedAndDeletedAgain) {
  Unpacking u;
  std::string s;
  append_member(s, "SCENE1.TXT", "scene");
  append_member(s, "EMPTY", "");
  append_member(s, std::string("CUT\0hidden", 10), "zero ends the name");
  EXPECT_EQ(u.extract(s), ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (std::vector<std::string>{"CUT", "EMPTY", "SCENE1.TXT", "files.lst"}));
  EXPECT_EQ(u.work.read("CUT"), "zero ends the name");
  EXPECT_EQ(u.work.read("EMPTY"), "");
  delete_extracted_files(u.e);
  EXPECT_TRUE(u.work.list().empty());
}

TEST(Extract, AnEmptyMemberStreamGivesAnEmptyList) {
  Unpacking u;
  EXPECT_EQ(u.extract(""), ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), std::vector<std::string>{"files.lst"});
  EXPECT_EQ(u.work.read("files.lst"), "");
}

TEST(Extract, UnusableNamesAreRefusedAndNeverWritten) {
  Unpacking u;
  TempDir outside;
  std::string s;
  for (const std::string& name : {std::string("../escape"), outside.file("abs"), std::string("a/b"), std::string(".."),
                                  std::string("."), std::string(""), std::string("back\\slash"), std::string(300, 'n'),
                                  std::string("new\nline")})
    append_member(s, name, "bad");
  append_member(s, "GOOD", "good");
  EXPECT_EQ(u.extract(s), ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (std::vector<std::string>{"GOOD", "files.lst"}));
  EXPECT_TRUE(outside.list().empty());
  EXPECT_TRUE(u.logged("member refused (name contains a path separator): ../escape"));
  EXPECT_TRUE(u.logged("name longer than 255 bytes"));
}

TEST(Extract, ADataLengthPastTheEndStopsWithoutReservingIt) {
  Unpacking u;
  std::string s;
  append_member(s, "FIRST", "1");
  s += u32(4) + "HUGE" + u32(0xFFFFFFF0u) + "only a little";
  EXPECT_EQ(u.extract(s), ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (std::vector<std::string>{"FIRST", "files.lst"}));
  EXPECT_TRUE(u.logged("member HUGE: 4294967280 bytes claimed, 13 left"));

  Unpacking name_past_end;
  EXPECT_EQ(name_past_end.extract(u32(0x7FFFFFFF) + "abc"), ExtractResult::extracted);
  EXPECT_EQ(name_past_end.work.list(), std::vector<std::string>{"files.lst"});

  Unpacking dangling;  // a name, then no data length
  EXPECT_EQ(dangling.extract(u32(2) + "AB" + "\x01"), ExtractResult::extracted);
  EXPECT_EQ(dangling.work.list(), std::vector<std::string>{"files.lst"});
}

TEST(Extract, MissingOrBrokenPackages) {
  Unpacking none;
  path_setup(none.e, none.platform, none.app.path());
  EXPECT_EQ(extract_package(none.e), ExtractResult::no_package);

  Unpacking wrong;
  wrong.app.write("kelvo.pak", "not a package at all");
  path_setup(wrong.e, wrong.platform, wrong.app.path());
  EXPECT_EQ(extract_package(wrong.e), ExtractResult::bad_magic);
  EXPECT_TRUE(wrong.work.list().empty());

  Unpacking cut;
  std::string s;
  append_member(s, "A", std::string(5000, 'x'));
  std::vector<std::uint8_t> pak = pak_encode(std::vector<std::uint8_t>(s.begin(), s.end()));
  cut.app.write("kelvo.pak", std::string(pak.begin(), pak.begin() + 40));
  path_setup(cut.e, cut.platform, cut.app.path());
  EXPECT_EQ(extract_package(cut.e), ExtractResult::damaged);
  EXPECT_TRUE(cut.work.list().empty());  // the partial stream is removed
}

TEST(Extract, TheRandomChoicePicksAPackageBesideTheProgram) {
  Unpacking u;
  for (const char* name : {"alpha.pak", "beta.PAK", "gamma.Pak"}) u.app.write(name, "x");
  u.app.write("notes.txt", "x");
  EXPECT_EQ(find_packages(u.app.path()), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  u.e.paths.path_app = u.app.path();
  EXPECT_EQ(random_package_choice(u.e), 0);  // Random is 0
  u.e.Random = 1;
  std::set<std::string> seen;
  for (int i = 0; i < 60; ++i) {
    ASSERT_EQ(random_package_choice(u.e), 1);
    seen.insert(u.e.Module);
  }
  EXPECT_EQ(seen, (std::set<std::string>{"alpha", "beta", "gamma"}));

  Unpacking empty;
  empty.e.Random = 1;
  empty.e.paths.path_app = empty.app.path();
  EXPECT_EQ(random_package_choice(empty.e), 0);
  EXPECT_EQ(empty.e.Module, "kelvo");
}

TEST(Logo, TheEmbeddedTextureIsA3dfImage) {
  std::span<const std::uint8_t> logo = embedded_logo_texture();
  ASSERT_GT(logo.size(), 64u * 64u * 2u);
  EXPECT_EQ(std::string(logo.begin(), logo.begin() + 16), "3df v1.1\nrgb565\n");
}

}  // namespace
}  // namespace kelvo
