// Unpacking packages, with hostile members: into the player's work directory,
// and with the built kelvo-pak on scratch directories.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "host/paths.h"
#include "package/extract.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/package_bytes.h"
#include "support/recording_platform.h"

#if !defined(KELVO_PAK_TOOL) || !defined(KELVO_CHECK_TOOL)
#error "KELVO_PAK_TOOL and KELVO_CHECK_TOOL must name the kelvo-pak and kelvo-check executables"
#endif

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using Names = std::vector<std::string>;

using test::member;
using test::pak;
using test::u32;

std::string random_string(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  return std::generate(s.begin(), s.end(), [&] { return static_cast<char>(rng()); }), s;
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

struct Unpacking {
  TempDir app, work;
  test::RecordingPlatform platform;
  Engine e;
  std::string log;

  Unpacking() {
    platform.work_dir = work.path();
    e.log.to_callback([this](std::string_view line) { (log += line) += '\n'; });
  }
  // Writes `package` as the program's kelvo.pak and unpacks it.
  ExtractResult extract(const std::string& package) {
    app.write("kelvo.pak", package);
    path_setup(e, platform, app.path());
    return extract_package(e);
  }
};

TEST(Extract, MembersAreWrittenListedAndDeletedAgainUnlessThePackageIsMissingOrBroken) {
  Unpacking u;
  EXPECT_EQ(u.extract(pak(member("SCENE1.TXT", "scene") + member("EMPTY", "") +
                          member(std::string("CUT\0hidden", 10), "zero ends the name"))),
            ExtractResult::extracted);
  EXPECT_EQ(u.work.list(), (Names{"CUT", "EMPTY", "SCENE1.TXT", "files.lst"}));
  EXPECT_EQ(u.work.read("CUT"), "zero ends the name");
  EXPECT_EQ(u.work.read("files.lst"),
            u.work.file("SCENE1.TXT") + "\n" + u.work.file("EMPTY") + "\n" + u.work.file("CUT") + "\n");
  delete_extracted_files(u.e);
  EXPECT_TRUE(u.work.list().empty());

  Unpacking none;
  path_setup(none.e, none.platform, none.app.path());
  EXPECT_EQ(extract_package(none.e), ExtractResult::no_package);
  Unpacking wrong, cut;
  EXPECT_EQ(wrong.extract("not a package at all"), ExtractResult::bad_magic);
  EXPECT_TRUE(wrong.work.list().empty());
  EXPECT_EQ(cut.extract(pak(member("A", std::string(5000, 'x'))).substr(0, 40)), ExtractResult::damaged);
  EXPECT_TRUE(cut.work.list().empty());  // the partial stream is removed
}

// The engine's own work files are not members: one written over the stream
// being split would lose every member after it. Neither is a member whose
// file cannot be created; in both cases the members after it are written.
TEST(Extract, MembersNamedLikeWorkFilesOrThatCannotBeCreatedAreSkippedAndTheRestWritten) {
  Unpacking u;
  fs::create_directories(u.work.file("taken"));  // a folder where a member's file would go
  // Bigger than the stream's read buffer, so a truncated stream shows.
  const std::string big = random_string(300000, 7);
  std::string stream = member("first", "1");
  for (const char* name : {"Kelvo.tmp", "FILES.LST", "klv.3df", ".kelvo-lock", ".kelvo-lock.new", "taken"})
    stream += member(name, big.substr(0, 70000) + name) + member(std::string("after ") + name, name + big);
  EXPECT_EQ(u.extract(pak(stream + member("last", "9"))), ExtractResult::extracted);
  EXPECT_EQ(u.work.list(),
            (Names{"after .kelvo-lock", "after .kelvo-lock.new", "after FILES.LST", "after Kelvo.tmp", "after klv.3df",
                   "after taken", "files.lst", "first", "last", "taken"}));
  for (const char* name : {"Kelvo.tmp", "FILES.LST", "klv.3df", ".kelvo-lock", ".kelvo-lock.new", "taken"})
    EXPECT_TRUE(u.work.read(std::string("after ") + name) == name + big) << name;
  EXPECT_EQ(u.work.read("last"), "9");
  EXPECT_TRUE(fs::is_directory(u.work.file("taken")));
  delete_extracted_files(u.e);
  EXPECT_EQ(u.work.list(), Names{"taken"});
}

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// Runs kelvo-pak (or `tool`) with `args` (no quotes in them); stdout and
// stderr are captured.
ToolRun run_tool(const std::vector<std::string>& args, const char* tool = KELVO_PAK_TOOL) {
  TempDir io;
  std::string command = tool;
  for (const std::string& a : args) command += " '" + a + "'";
  const int status = std::system((command + " >" + io.file("out") + " 2>" + io.file("err")).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, io.read("out"), io.read("err")};
}

TEST(PakTool, PackListUnpackEncodeDecodeRoundTrip) {
  TempDir s;
  const std::string src = s.file("scene/"), dest = s.file("out/nested/");  // dest is made with its parent
  const std::map<std::string, std::string> files = {
      {"B-upper", "sorted before lower case"}, {"empty", ""},
      {"model.bin", random_string(200000, 1)}, {"scene.scn", "camera 0 0 10\nlight 1 1 1\n"}};
  fs::create_directories(src + "textures");
  std::string stream;  // the member stream, in bytewise name order
  for (const auto& [name, data] : files) {
    s.write("scene/" + name, data);
    stream += member(name, data);
  }
  s.write("scene/textures/skipped.png", "subdirectories are not packed");
  // Packed twice into the folder itself: the package is never its own member.
  for (int i = 0; i < 2; ++i) {
    const ToolRun r = run_tool({"pack", src, "-o", src + "scene.pak"});
    ASSERT_TRUE(r.status == 0 && r.err.empty()) << r.status << r.err;
  }
  EXPECT_TRUE(s.read("scene/scene.pak") == pak(stream));
  EXPECT_EQ(entries(src).size(), files.size() + 2);  // and no temporary files left
  ToolRun r = run_tool({"list", src + "scene.pak"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "B-upper\t24\nempty\t0\nmodel.bin\t200000\nscene.scn\t26\n4 members, 200050 bytes\n");
  // The outer layer alone: decode gives the member stream, encode codes it again.
  r = run_tool({"decode", src + "scene.pak", s.file("stream")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(s.read("stream") == stream);
  r = run_tool({"encode", s.file("stream"), s.file("again.pak")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(s.read("again.pak") == s.read("scene/scene.pak"));
  for (int i = 0; i < 2; ++i) {  // again over existing files: they are replaced
    r = run_tool({"unpack", src + "scene.pak", "-C", dest});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entries(dest).size(), files.size());
    for (const auto& [name, data] : files) EXPECT_EQ(s.read("out/nested/" + name), data);
    s.write("out/nested/model.bin", "stale");
  }
}

// Each package holds a good member, then a hostile one: the player skips an
// unusable name and stops at a length past the end, with a clear log line;
// kelvo-pak refuses the package (exit 1) after the good member.
TEST(Extract, HostileMembersAreSkippedByThePlayerAndRefusedByKelvoPak) {
  TempDir outside;
  const std::vector<std::tuple<std::string, const char*, bool>> cases = {  // the member, a log line, a bad name
      {member("../evil", "x"), "member refused (name contains a path separator): ../evil", true},
      {member(outside.file("abs"), "x"), "", true}, {member("..", "x"), "", true}, {member("", "x"), "", true},
      {member("back\\slash", "x"), "", true}, {member(std::string(300, 'n'), "x"), "name longer than 255 bytes", true},
      {member("new\nline", "x"), "", true},
      {member("com1.txt", "x"), "member refused (name is no file name on Windows): com1.txt", true},
      {member("a:b", "x"), "", true}, {member("end.", "x"), "", true},
      {u32(50) + "short", "", false}, {u32(2) + "AB" + "\x01", "", false}, {u32(0xFFFFFFFF) + "abc", "", false},
      {u32(1) + "h" + u32(0xFFFFFFFF) + "abc", "", false},
      {u32(4) + "HUGE" + u32(0xFFFFFFF0u) + "only a little", "member HUGE: 4294967280 bytes claimed, 13 left", false},
  };
  for (const auto& [bad, log, bad_name] : cases) {
    SCOPED_TRACE(testing::PrintToString(bad));
    const std::string package = pak(member("fine", "ok") + bad + (bad_name ? member("late", "ok") : ""));
    Unpacking u;
    EXPECT_EQ(u.extract(package), ExtractResult::extracted);
    EXPECT_EQ(u.work.list(), (bad_name ? Names{"files.lst", "fine", "late"} : Names{"files.lst", "fine"}));
    EXPECT_NE(u.log.find(log), std::string::npos) << u.log;
    TempDir s;
    fs::create_directories(s.file("target"));
    s.write("h.pak", package);
    const ToolRun r = run_tool({"unpack", s.file("h.pak"), "-C", s.file("target")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("kelvo-pak: "), std::string::npos);
    EXPECT_EQ(s.list(), (Names{"h.pak", "target"}));
    EXPECT_EQ(entries(s.file("target")), std::set<std::string>{"fine"});
    EXPECT_EQ(run_tool({"list", s.file("h.pak")}).status, 1);  // list refuses them too
    EXPECT_TRUE(outside.list().empty());
  }
}

// A package that would lose members in the player is an error for the tools:
// kelvo-pak does not pack such a file, kelvo-check fails on a package that is
// cut short or holds one.
TEST(PakTool, WorkFileNamesAreNotPackedAndKelvoCheckFailsOnDamagedPackages) {
  TempDir s;
  fs::create_directories(s.file("scene"));
  s.write("scene/SCENE1.TXT", "OBJECTS\n");
  s.write("scene/files.lst", "the author's list");
  ToolRun r = run_tool({"pack", s.file("scene"), "-o", s.file("scene.pak")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("files.lst: cannot be a member: name of one of the player's own work files"), std::string::npos)
      << r.err;
  EXPECT_EQ(s.list(), Names{"scene"});

  const std::string scene = member("SCENE1.TXT", "PERSPECTIVE_X=1\nPERSPECTIVE_Y=1\nOBJECTS\n");
  using Case = std::tuple<std::string, int, const char*>;  // package, exit status, a line of the report
  for (const auto& [package, status, line] : std::vector<Case>{
           {pak(scene), 0, "\n0 errors, "},
           {pak(scene + u32(4) + "HUGE" + u32(999) + "cut"), 1, "k.pak: the package is damaged"},
           {pak(scene + std::string("\x01\x00", 2)), 1, "k.pak: the package is damaged"},
           {pak(scene + member("Kelvo.tmp", "x")), 1, "k.pak: member Kelvo.tmp refused"},
           {pak(scene + std::string(3000, 'x')).substr(0, 200), 1, "the package is damaged"},
       }) {
    s.write("k.pak", package);
    r = run_tool({s.file("k.pak")}, KELVO_CHECK_TOOL);
    EXPECT_EQ(r.status, status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(line), std::string::npos) << r.out << r.err;
  }
}

TEST(PakTool, NamesAreCutAtTheirFirstZeroByteAndSymlinksAreReplacedNotFollowed) {
  TempDir s;
  fs::create_directories(s.file("t"));
  s.write("outside.txt", "precious");
  fs::create_symlink(s.file("outside.txt"), s.file("t/victim"));
  s.write("z.pak", pak(member(std::string("good\0/../../evil", 16), "one") +
                          member("short" + std::string(295, '\0'), "two") + member("victim", "overwritten?")));
  const ToolRun r = run_tool({"unpack", s.file("z.pak"), "-C", s.file("t")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(entries(s.file("t")), (std::set<std::string>{"good", "short", "victim"}));
  EXPECT_EQ(s.read("t/good") + s.read("t/short"), "onetwo");
  EXPECT_EQ(s.list(), (std::vector<std::string>{"outside.txt", "t", "z.pak"}));
  EXPECT_EQ(s.read("outside.txt"), "precious");
  EXPECT_FALSE(fs::is_symlink(s.file("t/victim")));
  EXPECT_EQ(s.read("t/victim"), "overwritten?");
}

// Bad inputs exit 1 with a message naming the file, and leave no output or
// temporary file; usage errors exit 2; help exits 0.
TEST(PakTool, BadInputsExitOneUsageErrorsTwoAndHelpZero) {
  TempDir s;
  s.write("text.pak", "just some text, no magic");
  const std::string pkg = pak(member("f", random_string(5000, 4)));
  s.write("cut.pak", pkg.substr(0, pkg.size() / 2));  // cut short inside the member data
  const std::vector<std::vector<std::string>> cases = {
      {"list", s.file("text.pak")}, {"list", s.file("cut.pak")}, {"decode", s.file("cut.pak"), s.file("out")},
      {"unpack", s.file("cut.pak"), "-C", s.file("cut")},
      {"unpack", s.file("missing.pak"), "-C", s.file("x")},  // nothing made for a package that cannot be read
      {"pack", s.file("no-dir"), "-o", s.file("o.pak")},
  };
  for (const std::vector<std::string>& args : cases) {
    const ToolRun r = run_tool(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err.rfind("kelvo-pak: " + args[1] + ": ", 0), 0u) << r.err;
  }
  EXPECT_EQ(s.list(), (std::vector<std::string>{"cut", "cut.pak", "text.pak"}));
  EXPECT_TRUE(entries(s.file("cut")).empty());
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"pack", "dir"}, {"list", "a.pak", "b.pak"}, {"list", "--bogus", "a"}})
    EXPECT_EQ(run_tool(args).status, 2) << args.size();
  const ToolRun r = run_tool({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("unpack NAME.pak -C DIR"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kelvo
