// Unpacking packages into the work directory, with hostile members.
#include <gtest/gtest.h>

#include "host/paths.h"
#include "package/extract.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::RecordingPlatform;
using test::TempDir;
using Names = std::vector<std::string>;

std::string u32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string member(const std::string& name, const std::string& data) {
  std::string s;
  return append_member(s, name, data), s;
}

// Writes `package` as the program's kelvo.pak and unpacks it.
struct Unpacking {
  TempDir app, work;
  RecordingPlatform platform;
  Engine e;
  std::string log;

  Unpacking() {
    platform.work_dir = work.path();
    e.log.to_callback([this](std::string_view line) { (log += line) += '\n'; });
  }
  ExtractResult extract_raw(const std::string& package) {
    app.write("kelvo.pak", package);
    path_setup(e, platform, app.path());
    return extract_package(e);
  }
  ExtractResult extract(const std::string& members) {
    const auto pak = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
    return extract_raw(std::string(pak.begin(), pak.end()));
  }
};

TEST(Extract, MembersAreWrittenListedAndDeletedAgain) {
  Unpacking u;
  EXPECT_EQ(u.extract(member("SCENE1.TXT", "scene") + member("EMPTY", "") +
                      member(std::string("CUT\0hidden", 10), "zero ends the name")),
            ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (Names{"CUT", "EMPTY", "SCENE1.TXT", "files.lst"}));
  EXPECT_EQ(u.work.read("CUT"), "zero ends the name");
  EXPECT_EQ(u.work.read("files.lst"),
            u.work.file("SCENE1.TXT") + "\n" + u.work.file("EMPTY") + "\n" + u.work.file("CUT") + "\n");
  delete_extracted_files(u.e);
  EXPECT_TRUE(u.work.list().empty());
}

TEST(Extract, UnusableNamesAreRefusedAndNeverWritten) {
  Unpacking u;
  TempDir outside;
  std::string s;
  for (const std::string& name : {std::string("../escape"), outside.file("abs"), std::string("a/b"), std::string(".."),
                                  std::string("."), std::string(""), std::string("back\\slash"), std::string(300, 'n'),
                                  std::string("new\nline")})
    s += member(name, "bad");
  EXPECT_EQ(u.extract(s + member("GOOD", "good")), ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (Names{"GOOD", "files.lst"}));
  EXPECT_TRUE(outside.list().empty());
  EXPECT_NE(u.log.find("member refused (name contains a path separator): ../escape"), std::string::npos) << u.log;
  EXPECT_NE(u.log.find("name longer than 255 bytes"), std::string::npos) << u.log;
}

TEST(Extract, LengthsPastTheEndStopWithoutReservingThem) {
  Unpacking u;
  EXPECT_EQ(u.extract(member("FIRST", "1") + u32(4) + "HUGE" + u32(0xFFFFFFF0u) + "only a little"),
            ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (Names{"FIRST", "files.lst"}));
  EXPECT_NE(u.log.find("member HUGE: 4294967280 bytes claimed, 13 left"), std::string::npos) << u.log;
  for (const std::string& stream : {u32(0x7FFFFFFF) + "abc", u32(2) + "AB" + "\x01"}) {  // a name, or its length, cut
    Unpacking cut;
    EXPECT_EQ(cut.extract(stream), ExtractResult::extracted);
    EXPECT_EQ(cut.work.list(), Names{"files.lst"});
  }
}

TEST(Extract, MissingOrBrokenPackages) {
  Unpacking none;
  path_setup(none.e, none.platform, none.app.path());
  EXPECT_EQ(extract_package(none.e), ExtractResult::no_package);

  Unpacking wrong;
  EXPECT_EQ(wrong.extract_raw("not a package at all"), ExtractResult::bad_magic);
  EXPECT_TRUE(wrong.work.list().empty());

  const std::string s = member("A", std::string(5000, 'x'));
  const auto pak = pak_encode(std::vector<std::uint8_t>(s.begin(), s.end()));
  Unpacking cut;
  EXPECT_EQ(cut.extract_raw(std::string(pak.begin(), pak.begin() + 40)), ExtractResult::damaged);
  EXPECT_TRUE(cut.work.list().empty());  // the partial stream is removed
}

}  // namespace
}  // namespace kelvo
