// Runs the built kelvo-pak on scratch directories.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "package/member_stream.h"
#include "package/pak_coder.h"

#ifndef KELVO_PAK_TOOL
#error "KELVO_PAK_TOOL must name the kelvo-pak executable"
#endif

extern char** environ;

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class Scratch {
 public:
  Scratch() {
    std::string templ = (fs::temp_directory_path() / "kelvo-pak-tool-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = templ;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  fs::path operator/(const std::string& name) const { return root_ / name; }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void spit(const fs::path& p, const std::string& data) {
  std::ofstream f(p, std::ios::binary);
  f << data;
  ASSERT_TRUE(f.good()) << p;
}

// Runs kelvo-pak with `args`; stdout and stderr are captured through files.
ToolRun run_tool(const std::vector<std::string>& args) {
  static int counter = 0;
  const fs::path dir = fs::temp_directory_path();
  const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(counter++);
  const std::string out_path = (dir / ("kelvo-pak-out-" + tag)).string();
  const std::string err_path = (dir / ("kelvo-pak-err-" + tag)).string();

  std::vector<std::string> argv_s = {KELVO_PAK_TOOL};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  ToolRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int wstatus = 0;
    if (::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = slurp(out_path);
  run.err = slurp(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return run;
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string random_string(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Writes a package whose member stream is `stream`.
void write_package(const fs::path& path, const std::string& stream) {
  const Bytes pkg = pak_encode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(stream.data()),
                                                             stream.size()));
  spit(path, std::string(pkg.begin(), pkg.end()));
}

std::string decode_file(const fs::path& path) {
  const std::string raw = slurp(path);
  Bytes out;
  EXPECT_EQ(pak_decode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()),
                       out),
            PakStatus::ok);
  return std::string(out.begin(), out.end());
}

std::string u32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  return s;
}

bool no_temporaries(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.find(".tmp-") != std::string::npos || n.find(".part") != std::string::npos) return false;
  }
  return true;
}

TEST(PakTool, PackListUnpackRoundTrip) {
  Scratch s;
  const fs::path src = s / "scene";
  fs::create_directories(src / "textures");
  const std::string binary = random_string(200000, 1);  // every byte value, several blocks
  spit(src / "scene.scn", "camera 0 0 10\nlight 1 1 1\n");
  spit(src / "empty", "");
  spit(src / "model.bin", binary);
  spit(src / "B-upper", "sorted before lower case");
  spit(src / "textures" / "skipped.png", "subdirectories are not packed");

  ToolRun r = run_tool({"pack", src.string(), "-o", (s / "scene.pak").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_TRUE(no_temporaries(s.root()));

  // The member stream, in bytewise name order.
  std::string expected;
  append_member(expected, "B-upper", "sorted before lower case");
  append_member(expected, "empty", "");
  append_member(expected, "model.bin", binary);
  append_member(expected, "scene.scn", "camera 0 0 10\nlight 1 1 1\n");
  EXPECT_EQ(decode_file(s / "scene.pak"), expected);

  r = run_tool({"list", (s / "scene.pak").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "B-upper\t24\n"
            "empty\t0\n"
            "model.bin\t200000\n"
            "scene.scn\t26\n"
            "4 members, 200050 bytes\n");

  const fs::path dest = s / "out" / "nested";  // created with its parent
  r = run_tool({"unpack", (s / "scene.pak").string(), "-C", dest.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(entries(dest), (std::set<std::string>{"B-upper", "empty", "model.bin", "scene.scn"}));
  for (const char* name : {"B-upper", "empty", "model.bin", "scene.scn"})
    EXPECT_EQ(slurp(dest / name), slurp(src / name)) << name;

  // Unpacking again over existing files replaces them.
  spit(dest / "model.bin", "stale");
  r = run_tool({"unpack", (s / "scene.pak").string(), "-C", dest.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(dest / "model.bin"), binary);
}

TEST(PakTool, PackSkipsItsOwnOutputAndEmptyDirectoryWorks) {
  Scratch s;
  fs::create_directories(s / "d");
  spit(s / "d" / "a", "x");
  ASSERT_EQ(run_tool({"pack", (s / "d").string(), "-o", (s / "d" / "d.pak").string()}).status, 0);
  // Packing again: the package already in the directory is not a member.
  ASSERT_EQ(run_tool({"pack", (s / "d").string(), "-o", (s / "d" / "d.pak").string()}).status, 0);
  std::string expected;
  append_member(expected, "a", "x");
  EXPECT_EQ(decode_file(s / "d" / "d.pak"), expected);

  fs::create_directories(s / "none");
  ASSERT_EQ(run_tool({"pack", (s / "none").string(), "-o", (s / "none.pak").string()}).status, 0);
  EXPECT_EQ(decode_file(s / "none.pak"), "");
  const ToolRun r = run_tool({"list", (s / "none.pak").string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0 members, 0 bytes\n");
}

TEST(PakTool, EncodeDecodeOuterLayer) {
  Scratch s;
  const std::string content = random_string(150000, 2) + std::string(70000, 'a');
  spit(s / "in", content);
  ToolRun r = run_tool({"encode", (s / "in").string(), (s / "in.pak").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes expected = pak_encode(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
  EXPECT_EQ(slurp(s / "in.pak"), std::string(expected.begin(), expected.end()));
  r = run_tool({"decode", (s / "in.pak").string(), (s / "back").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(s / "back"), content);

  // A damaged package: exit 1, no output, no temporary left behind.
  const std::string pkg = slurp(s / "in.pak");
  spit(s / "cut.pak", pkg.substr(0, pkg.size() - 1));
  r = run_tool({"decode", (s / "cut.pak").string(), (s / "cut.out").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("kelvo-pak: " + (s / "cut.pak").string() + ": "), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(s / "cut.out"));
  spit(s / "bad.pak", "NOT A PACKAGE AT ALL");
  r = run_tool({"decode", (s / "bad.pak").string(), (s / "bad.out").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(s / "bad.out"));
  EXPECT_TRUE(no_temporaries(s.root()));
}

TEST(PakTool, WriteErrorsExitOne) {
  struct stat st {};
  if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
  Scratch s;
  spit(s / "in", random_string(100000, 3));
  const ToolRun r = run_tool({"encode", (s / "in").string(), "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/dev/full"), std::string::npos) << r.err;
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(PakTool, HostilePackagesWriteNothingOutsideTarget) {
  struct Case {
    const char* what;
    std::string stream;
  };
  std::vector<Case> cases;
  auto one = [](const std::string& name, const std::string& data) {
    std::string s;
    append_member(s, name, data);
    return s;
  };
  cases.push_back({"parent", one("../evil", "x")});
  cases.push_back({"absolute", one("/kelvo_pak_test_absolute", "x")});
  cases.push_back({"slash", one("a/b", "x")});
  cases.push_back({"backslash", one("a\\b", "x")});
  cases.push_back({"dotdot", one("..", "x")});
  cases.push_back({"dot", one(".", "x")});
  cases.push_back({"empty", one("", "x")});
  cases.push_back({"zero first", one(std::string("\0evil", 5), "x")});
  cases.push_back({"long", one(std::string(300, 'n'), "x")});
  cases.push_back({"control", one("bell\a", "x")});
  cases.push_back({"truncated data", "" + u32(2) + "ok" + u32(1000) + std::string(10, 'd')});
  cases.push_back({"truncated name", u32(50) + "short"});
  cases.push_back({"truncated length", u32(2) + "ok" + "\x01\x02"});
  cases.push_back({"huge claims", u32(0xFFFFFFFF) + "abc"});
  cases.push_back({"huge data", u32(1) + "h" + u32(0xFFFFFFFF) + "abc"});
  cases.push_back({"good then bad", one("fine", "ok") + one("../../evil2", "x")});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch s;
    fs::create_directories(s / "target");
    write_package(s / "h.pak", c.stream);
    const ToolRun r = run_tool({"unpack", (s / "h.pak").string(), "-C", (s / "target").string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("kelvo-pak: "), std::string::npos);
    EXPECT_EQ(entries(s.root()), (std::set<std::string>{"h.pak", "target"}));
    const std::set<std::string> written = entries(s / "target");
    if (std::string(c.what) == "good then bad")
      EXPECT_EQ(written, std::set<std::string>{"fine"});
    else
      EXPECT_TRUE(written.empty());
    EXPECT_FALSE(fs::exists("/kelvo_pak_test_absolute"));
    // list refuses the same packages.
    EXPECT_EQ(run_tool({"list", (s / "h.pak").string()}).status, 1);
  }
}

TEST(PakTool, NamesAreCutAtTheirFirstZeroByte) {
  Scratch s;
  std::string stream;
  append_member(stream, std::string("good\0/../../evil", 16), "one");
  append_member(stream, std::string("short", 5) + std::string(295, '\0'), "two");  // 300 bytes, cut to 5
  write_package(s / "z.pak", stream);
  const ToolRun r = run_tool({"unpack", (s / "z.pak").string(), "-C", (s / "t").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(entries(s / "t"), (std::set<std::string>{"good", "short"}));
  EXPECT_EQ(slurp(s / "t" / "good"), "one");
  EXPECT_EQ(slurp(s / "t" / "short"), "two");
  EXPECT_EQ(entries(s.root()), (std::set<std::string>{"t", "z.pak"}));
}

TEST(PakTool, SymlinkInTargetIsReplacedNotFollowed) {
  Scratch s;
  fs::create_directories(s / "target");
  spit(s / "outside.txt", "precious");
  fs::create_symlink(s / "outside.txt", s / "target" / "victim");
  std::string stream;
  append_member(stream, "victim", "overwritten?");
  write_package(s / "p.pak", stream);
  const ToolRun r = run_tool({"unpack", (s / "p.pak").string(), "-C", (s / "target").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(s / "outside.txt"), "precious");
  EXPECT_FALSE(fs::is_symlink(s / "target" / "victim"));
  EXPECT_EQ(slurp(s / "target" / "victim"), "overwritten?");
}

TEST(PakTool, BadInputsExitOne) {
  Scratch s;
  spit(s / "text.pak", "just some text, no magic");
  ToolRun r = run_tool({"list", (s / "text.pak").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("kelvo-pak: " + (s / "text.pak").string() + ": ", 0), 0u) << r.err;
  EXPECT_EQ(run_tool({"list", (s / "missing.pak").string()}).status, 1);
  EXPECT_EQ(run_tool({"unpack", (s / "missing.pak").string(), "-C", (s / "x").string()}).status, 1);
  EXPECT_FALSE(fs::exists(s / "x"));  // nothing created for a package that cannot be read
  EXPECT_EQ(run_tool({"pack", (s / "no-dir").string(), "-o", (s / "o.pak").string()}).status, 1);
  EXPECT_FALSE(fs::exists(s / "o.pak"));
  fs::create_directories(s / "d");
  spit(s / "d" / "f", "data");
  EXPECT_EQ(run_tool({"pack", (s / "d").string(), "-o", (s / "no" / "such" / "o.pak").string()}).status, 1);
  EXPECT_EQ(run_tool({"encode", (s / "missing").string(), (s / "o").string()}).status, 1);
  EXPECT_FALSE(fs::exists(s / "o"));

  // A package cut short inside the member data.
  std::string stream;
  append_member(stream, "f", random_string(5000, 4));
  write_package(s / "full.pak", stream);
  const std::string pkg = slurp(s / "full.pak");
  spit(s / "cut.pak", pkg.substr(0, pkg.size() / 2));
  EXPECT_EQ(run_tool({"list", (s / "cut.pak").string()}).status, 1);
  r = run_tool({"unpack", (s / "cut.pak").string(), "-C", (s / "cut").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(entries(s / "cut").empty());
}

TEST(PakTool, FileTooLargeForAMemberIsRefused) {
  Scratch s;
  fs::create_directories(s / "big");
  {
    // Sparse: no disk space used.
    const int fd = ::open((s / "big" / "huge").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, (off_t{1} << 32) + 1) == 0;
    ::close(fd);
    if (!sized) GTEST_SKIP() << "cannot make a sparse 4 GiB file here";
  }
  const ToolRun r = run_tool({"pack", (s / "big").string(), "-o", (s / "big.pak").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("huge"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(s / "big.pak"));
  EXPECT_TRUE(no_temporaries(s.root()));
}

TEST(PakTool, UsageErrorsExitTwo) {
  EXPECT_EQ(run_tool({}).status, 2);
  EXPECT_EQ(run_tool({"frobnicate"}).status, 2);
  EXPECT_EQ(run_tool({"pack", "dir"}).status, 2);            // no -o
  EXPECT_EQ(run_tool({"pack", "-o", "x.pak"}).status, 2);    // no DIR
  EXPECT_EQ(run_tool({"pack", "dir", "-o"}).status, 2);      // -o without value
  EXPECT_EQ(run_tool({"unpack", "x.pak"}).status, 2);        // no -C
  EXPECT_EQ(run_tool({"list"}).status, 2);
  EXPECT_EQ(run_tool({"list", "a.pak", "b.pak"}).status, 2);
  EXPECT_EQ(run_tool({"encode", "in"}).status, 2);
  EXPECT_EQ(run_tool({"decode", "in", "out", "more"}).status, 2);
  EXPECT_EQ(run_tool({"list", "--bogus", "a.pak"}).status, 2);
  EXPECT_EQ(run_tool({"list", "-C", "d", "a.pak"}).status, 2);  // option of another command
  const ToolRun bad = run_tool({"frobnicate"});
  EXPECT_NE(bad.err.find("frobnicate"), std::string::npos);
  EXPECT_TRUE(bad.out.empty());

  for (const char* help : {"--help", "-h"}) {
    const ToolRun r = run_tool({help});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: kelvo-pak"), std::string::npos);
    EXPECT_NE(r.out.find("unpack NAME.pak -C DIR"), std::string::npos);
  }
  EXPECT_EQ(run_tool({"pack", "--help"}).status, 0);
}

}  // namespace
}  // namespace kelvo
