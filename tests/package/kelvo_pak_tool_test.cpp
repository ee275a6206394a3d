// Runs the built kelvo-pak on scratch directories.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/recording_platform.h"

#ifndef KELVO_PAK_TOOL
#error "KELVO_PAK_TOOL must name the kelvo-pak executable"
#endif

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// Runs kelvo-pak with `args` (no quotes in them); stdout and stderr are captured.
ToolRun run_tool(const std::vector<std::string>& args) {
  TempDir io;
  std::string command = KELVO_PAK_TOOL;
  for (const std::string& a : args) command += " '" + a + "'";
  const int status = std::system((command + " >" + io.file("out") + " 2>" + io.file("err")).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, io.read("out"), io.read("err")};
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string random_string(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  return std::generate(s.begin(), s.end(), [&] { return static_cast<char>(rng()); }), s;
}

std::string encode(const std::string& content) {
  const auto pkg = pak_encode(std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
  return std::string(pkg.begin(), pkg.end());
}

std::string decode(const std::string& pkg) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(pak_decode(std::span(reinterpret_cast<const std::uint8_t*>(pkg.data()), pkg.size()), out), PakStatus::ok);
  return std::string(out.begin(), out.end());
}

std::string member(const std::string& name, const std::string& data) {
  std::string s;
  return append_member(s, name, data), s;
}

std::string u32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

bool no_temporaries(const fs::path& dir) {
  for (const std::string& n : entries(dir))
    if (n.find(".tmp-") != std::string::npos || n.find(".part") != std::string::npos) return false;
  return true;
}

TEST(PakTool, PackListUnpackRoundTrip) {
  TempDir s;
  const std::string src = s.file("scene/");
  fs::create_directories(src + "textures");
  const std::string binary = random_string(200000, 1);  // every byte value, several blocks
  s.write("scene/scene.scn", "camera 0 0 10\nlight 1 1 1\n");
  s.write("scene/empty", "");
  s.write("scene/model.bin", binary);
  s.write("scene/B-upper", "sorted before lower case");
  s.write("scene/textures/skipped.png", "subdirectories are not packed");

  // Packed twice into the folder itself: the package is never its own member.
  for (int i = 0; i < 2; ++i) {
    const ToolRun r = run_tool({"pack", src, "-o", src + "scene.pak"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
  }
  EXPECT_TRUE(no_temporaries(src));
  // The member stream, in bytewise name order.
  EXPECT_EQ(decode(s.read("scene/scene.pak")), member("B-upper", "sorted before lower case") + member("empty", "") +
                                                   member("model.bin", binary) +
                                                   member("scene.scn", "camera 0 0 10\nlight 1 1 1\n"));
  ToolRun r = run_tool({"list", src + "scene.pak"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "B-upper\t24\nempty\t0\nmodel.bin\t200000\nscene.scn\t26\n4 members, 200050 bytes\n");

  const std::string dest = s.file("out/nested/");  // made with its parent
  for (int i = 0; i < 2; ++i) {  // again over existing files: they are replaced
    r = run_tool({"unpack", src + "scene.pak", "-C", dest});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entries(dest), (std::set<std::string>{"B-upper", "empty", "model.bin", "scene.scn"}));
    for (const std::string& name : entries(dest)) EXPECT_EQ(s.read("out/nested/" + name), s.read("scene/" + name));
    s.write("out/nested/model.bin", "stale");
  }
}

TEST(PakTool, EncodeAndDecodeTheOuterLayer) {
  TempDir s;
  const std::string content = random_string(150000, 2) + std::string(70000, 'a');
  s.write("in", content);
  ToolRun r = run_tool({"encode", s.file("in"), s.file("in.pak")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("in.pak"), encode(content));
  r = run_tool({"decode", s.file("in.pak"), s.file("back")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("back"), content);

  // A damaged package: exit 1, a message naming the file, no output, no temporary.
  s.write("cut.pak", s.read("in.pak").substr(0, s.read("in.pak").size() - 1));
  r = run_tool({"decode", s.file("cut.pak"), s.file("cut")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("kelvo-pak: " + s.file("cut.pak") + ": ", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(s.file("cut")));
  EXPECT_TRUE(no_temporaries(s.path()));
}

TEST(PakTool, HostilePackagesWriteNothingOutsideTarget) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"parent", member("../evil", "x")},
      {"absolute", member("/kelvo_pak_test_absolute", "x")},
      {"empty", member("", "x")},
      {"long", member(std::string(300, 'n'), "x")},
      {"truncated name", u32(50) + "short"},
      {"truncated length", u32(2) + "ok" + "\x01\x02"},
      {"huge claims", u32(0xFFFFFFFF) + "abc"},
      {"huge data", u32(1) + "h" + u32(0xFFFFFFFF) + "abc"},
      {"good then bad", member("fine", "ok") + member("../../evil2", "x")},
  };
  for (const auto& [what, stream] : cases) {
    SCOPED_TRACE(what);
    TempDir s;
    fs::create_directories(s.file("target"));
    s.write("h.pak", encode(stream));
    const ToolRun r = run_tool({"unpack", s.file("h.pak"), "-C", s.file("target")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("kelvo-pak: "), std::string::npos);
    EXPECT_EQ(s.list(), (std::vector<std::string>{"h.pak", "target"}));
    EXPECT_EQ(entries(s.file("target")),
              std::string(what) == "good then bad" ? std::set<std::string>{"fine"} : std::set<std::string>{});
    EXPECT_FALSE(fs::exists("/kelvo_pak_test_absolute"));
    EXPECT_EQ(run_tool({"list", s.file("h.pak")}).status, 1);  // list refuses them too
  }
}

TEST(PakTool, NamesAreCutAtTheirFirstZeroByteAndSymlinksAreReplacedNotFollowed) {
  TempDir s;
  fs::create_directories(s.file("t"));
  s.write("outside.txt", "precious");
  fs::create_symlink(s.file("outside.txt"), s.file("t/victim"));
  s.write("z.pak", encode(member(std::string("good\0/../../evil", 16), "one") +
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

TEST(PakTool, BadInputsExitOne) {
  TempDir s;
  s.write("text.pak", "just some text, no magic");
  const ToolRun r = run_tool({"list", s.file("text.pak")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("kelvo-pak: " + s.file("text.pak") + ": ", 0), 0u) << r.err;
  EXPECT_EQ(run_tool({"unpack", s.file("missing.pak"), "-C", s.file("x")}).status, 1);
  EXPECT_FALSE(fs::exists(s.file("x")));  // nothing made for a package that cannot be read
  EXPECT_EQ(run_tool({"pack", s.file("no-dir"), "-o", s.file("o.pak")}).status, 1);
  EXPECT_FALSE(fs::exists(s.file("o.pak")));

  // A package cut short inside the member data.
  const std::string pkg = encode(member("f", random_string(5000, 4)));
  s.write("cut.pak", pkg.substr(0, pkg.size() / 2));
  EXPECT_EQ(run_tool({"list", s.file("cut.pak")}).status, 1);
  EXPECT_EQ(run_tool({"unpack", s.file("cut.pak"), "-C", s.file("cut")}).status, 1);
  EXPECT_TRUE(entries(s.file("cut")).empty());
}

TEST(PakTool, UsageErrorsExitTwoAndHelpExitsZero) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"pack", "dir"}, {"unpack", "x.pak"}, {"list", "a.pak", "b.pak"}, {"list", "--bogus", "a.pak"}})
    EXPECT_EQ(run_tool(args).status, 2) << args.size();
  EXPECT_NE(run_tool({"frobnicate"}).err.find("frobnicate"), std::string::npos);
  const ToolRun r = run_tool({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("unpack NAME.pak -C DIR"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kelvo
