// Start-up, frames, keys and teardown driven through a recording platform
// with a real software GL context; the paths and settings it starts from.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <tuple>

#include "host/engine_proc.h"
#include "host/paths.h"
#include "host/player_options.h"
#include "host/settings.h"
#include "host/settings_file.h"
#include "package/extract.h"
#include "host/start_failure.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::TempDir;

struct Harness {
  TempDir app, work;  // the program's directory and the private work directory
  test::RecordingPlatform platform;
  Engine e;

  Harness() {
    platform.program_dir = app.path();
    platform.work_dir = work.path();
    platform.record_log(e);
  }
  long send(MessageType type, int key = 0) { return engine_window_proc(e, platform, WindowMessage{type, key}); }
  int at(const std::string& call) const { return platform.index_of(call); }
  void expect_in_order(const std::vector<std::string>& calls) const {
    int last = -1;
    for (const std::string& call : calls) {
      EXPECT_GT(at(call), last) << call << " missing or out of order";
      last = std::max(last, at(call));
    }
  }
};

TEST(EngineProc, StartUpAndTeardownRunTheirStepsInOrder) {
  Harness h;
  std::string members;
  append_member(members, "SCENE1.TXT", "OBJECTS\n");
  append_member(members, "BOX", "x");
  const auto pak = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
  h.app.write("kelvo.pak", std::string(pak.begin(), pak.end()));
  h.send(MessageType::create);
  h.expect_in_order({"window_rect", "log: settings missing or bad: stored again",
                     "log: path_pack=" + h.app.path() + "kelvo.pak", "hide_cursor", "priority_highest", "show_window",
                     "set_display_mode 800x600", "create_gl_context", "log: wrapper started", "swap_buffers",
                     "log: scene=SCENE1"});
  EXPECT_EQ(h.e.gl_ready, 1);
  EXPECT_EQ(h.work.list(), (std::vector<std::string>{"BOX", "KLV.3DF", "SCENE1.TXT", "files.lst"}));  // all private

  const std::size_t before = h.platform.calls.size();
  h.send(MessageType::destroy);
  EXPECT_EQ(std::vector<std::string>(h.platform.calls.begin() + static_cast<long>(before), h.platform.calls.end()),
            (std::vector<std::string>{"log: free textures", "release_gl_context", "restore_display_mode",
                                      "log: wrapper closed", "log: free all"}));
  EXPECT_EQ(h.e.gl_ready, 0);
  EXPECT_TRUE(h.work.list().empty());  // nothing that start-up wrote is left
}

std::string package(const std::string& scene) {
  std::string members;
  append_member(members, "SCENE1.TXT", scene);
  append_member(members, "BOX", std::string(4000, 'x'));
  const auto coded = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
  return std::string(coded.begin(), coded.end());
}

// A start-up that cannot play names what failed in one line on stderr, keeps
// the screen black, and the run ends with a non-zero status; the teardown
// still runs in full. A start-up that plays says nothing.
TEST(EngineProc, FailedStartUpsSayWhatFailedKeepTheScreenBlackAndEndNonZero) {
  struct Case {
    const char* name;
    void (*set_up)(Harness&);
    std::string line;  // what stderr starts with
    bool drawn;        // frames are drawn (black: nothing to show)
    const char* out = "";
  };
  const std::vector<Case> cases = {
      {"plays", [](Harness& h) { h.app.write("kelvo.pak", package("OBJECTS\n")); }, "", true},
      {"not a package", [](Harness& h) { h.app.write("kelvo.pak", "PK\x03\x04 this is a zip file"); },
       "kelvo: /kelvo.pak is not a scene package\n", false, "Unrecognized file format!\n"},
      {"cut short", [](Harness& h) { h.app.write("kelvo.pak", package("OBJECTS\n").substr(0, 60)); },
       "kelvo: the package /kelvo.pak is damaged: it cannot be unpacked\n", false},
      {"no work directory",
       [](Harness& h) {
         h.app.write("kelvo.pak", package("OBJECTS\n"));
         h.platform.work_dir.clear();
       },
       "kelvo: no private work directory to unpack the package /kelvo.pak into\n", false},
      {"display", [](Harness& h) { h.platform.display_mode_ok = false; },
       "kelvo: no GL context: the display cannot be switched to 800x600\n", false},
      {"pixel format", [](Harness& h) { h.platform.pixel_format_ok = false; }, "kelvo: no GL context: ", false},
      {"no scene", [](Harness&) {}, "kelvo: no scene: /Data/SCENE1.TXT is missing, unreadable or no scene file "
                                    "(and there is no package /kelvo.pak; use --package or --data)\n", true},
      {"old format", [](Harness& h) { h.app.write("kelvo.pak", package("0 0 0\nOBJECTS\n")); },
       "kelvo: no scene: /SCENE1.TXT ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    c.set_up(h);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    h.send(MessageType::create);
    h.send(MessageType::paint);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    // Paths are shown without the test's folders.
    for (const std::string& dir : {h.app.path(), h.work.path()})
      for (std::size_t at; (at = err.find(dir)) != std::string::npos;) err.replace(at, dir.size() - 1, "");
    EXPECT_EQ(err.substr(0, c.line.size()), c.line);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.line.empty() ? 0 : 1) << err;
    EXPECT_EQ(run_exit_status(h.e), c.line.empty() ? 0 : 1);
    EXPECT_EQ(h.platform.swaps > 0, c.drawn);
    if (c.drawn && !c.line.empty()) {
      EXPECT_EQ(h.platform.gl->pixel(400, 300) & 0xFFFFFF00u, 0u);  // black
    }
    h.send(MessageType::destroy);
    EXPECT_EQ(h.at("release_gl_context") >= 0, c.drawn);
    EXPECT_GE(h.at("log: free all"), 0);
    if (!h.platform.work_dir.empty()) {
      EXPECT_TRUE(h.work.list().empty());
    }
  }
}

// A window narrower than 640 pixels, or one inside another program's window
// (of any size), is a preview that follows its window: the display is left
// alone and the cursor shown again; a full-screen picture keeps its size.
TEST(EngineProc, APreviewHasItsWindowsSizeAndFollowsItFullScreenKeepsTheConfiguredOne) {
  const struct {
    bool child;
    WindowRect rect;
    std::array<int, 4> before, after;  // preview, ResX, ResY, viewport width; after a resize to 400x300
  } cases[] = {{false, {100, 100, 739, 580}, {1, 639, 480, 639}, {1, 400, 300, 400}},
               {true, {0, 0, 800, 600}, {1, 800, 600, 800}, {1, 400, 300, 400}},
               {false, {0, 0, 800, 600}, {0, 800, 600, 800}, {0, 800, 600, 800}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.child << " " << c.rect.right);
    Harness h;
    h.platform.child = c.child, h.platform.rect = c.rect;
    h.send(MessageType::create);
    const auto seen = [&h] {
      std::array<GLint, 4> viewport{};
      glGetIntegerv(GL_VIEWPORT, viewport.data());
      return std::array<int, 4>{h.e.preview, h.e.ResX, h.e.ResY, viewport[2]};
    };
    EXPECT_EQ(seen(), c.before);
    EXPECT_EQ(std::ranges::any_of(h.platform.calls, [](const std::string& call) {
      return call.starts_with("set_display_mode");
    }), c.before[0] == 0);
    if (c.before[0]) h.expect_in_order({"hide_cursor", "priority_highest", "show_window", "priority_normal", "show_cursor"});
    h.e.perspective = {800.0f, 600.0f};
    engine_window_proc(h.e, h.platform, WindowMessage{MessageType::resize, 0, 400, 300});
    EXPECT_EQ(seen(), c.after);
    if (c.child) {
      EXPECT_EQ((std::array{h.e.viewport_box.y1, h.e.screen_centre[0], h.e.screen_centre[1]}),
                (std::array{300, 200, 150}));
      EXPECT_EQ(h.e.perspective, (std::array<float, 2>{400.0f, 300.0f}));
    }
    h.send(MessageType::destroy);
  }
}

TEST(EngineProc, FramesClearToTheFogColourAndOnlyInputOtherThanZeroEndsThePlayer) {
  Harness h;
  h.send(MessageType::paint);
  EXPECT_EQ(h.platform.swaps, 0);  // nothing is drawn before start-up
  h.e.fog_colour = {255, 0, 0};    // the init leaves the fog colour alone
  h.platform.cursor = {300, 200};
  h.send(MessageType::create);
  const int swaps = h.platform.swaps;
  h.send(MessageType::paint);
  EXPECT_EQ(h.platform.swaps, swaps + 1);
  EXPECT_EQ(h.platform.gl->pixel(10, 10) & 0xFFFFFF00u, 0xFF000000u);
  EXPECT_EQ(glIsEnabled(GL_FOG), GL_TRUE);  // Fog setting 1
  std::vector<int> logo;  // 0 toggles the logo when it is released
  for (MessageType type : {MessageType::key_down, MessageType::key_up, MessageType::key_up}) {
    EXPECT_EQ(h.send(type, '0'), 1);
    logo.push_back(h.e.LOGO);
  }
  EXPECT_EQ(logo, (std::vector<int>{0, 1, 0}));
  // Mouse moves steer by the cursor's moves since start-up, and never end it.
  const float turned = h.e.camera_rot.y;
  h.platform.cursor = {305, 200};
  EXPECT_EQ(h.send(MessageType::mouse_move), 1);
  EXPECT_FLOAT_EQ(h.e.camera_rot.y, turned - 5);
  EXPECT_EQ(h.platform.close_requests, 0);
  h.send(MessageType::key_down, 'a');
  EXPECT_EQ(h.platform.close_requests, 1);
  h.send(MessageType::destroy);
}

TEST(EngineProc, TheLogoIsWrittenToThePrivateDirectoryNeverTheAuthorsFolder) {
  Harness h;
  TempDir data;
  data.write("KLV.3DF", "the author's own file");
  data.write("files.lst", data.file("KLV.3DF") + "\n");
  h.e.overrides.data_dir = data.path();
  h.send(MessageType::create);
  EXPECT_EQ(h.work.read("KLV.3DF").substr(0, 16), "3df v1.1\nrgb565\n");
  EXPECT_GE(h.e.logo_slot, 0);  // loaded from the private copy
  h.send(MessageType::destroy);
  EXPECT_EQ(data.read("KLV.3DF"), "the author's own file");
  EXPECT_EQ(data.list(), (std::vector<std::string>{"KLV.3DF", "files.lst"}));
  EXPECT_TRUE(h.work.list().empty());
}

// Set-up removes what the list of an earlier run names in the work directory
// and nothing else.
TEST(Paths, ScenesComeFromThePackageOrTheDataFolderAndStaleFilesAreRemoved) {
  Harness h;
  TempDir elsewhere;
  h.work.write("SCENE1.TXT", "old");
  h.work.write("keep.txt", "not listed");
  elsewhere.write("precious", "mine");
  h.work.write("files.lst", h.work.file("SCENE1.TXT") + "\n" + elsewhere.file("precious") + "\n" + h.work.path() +
                                "../x\n" + h.work.path() + "\n");
  h.e.Module = "forest";
  path_setup(h.e, h.platform, h.app.path());
  EXPECT_EQ(h.work.list(), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(elsewhere.read("precious"), "mine");
  EXPECT_EQ(h.e.paths.path_pack, h.app.path() + "forest.pak");
  EXPECT_EQ(h.e.paths.dir_temp, h.app.path() + "Data/");  // no package: the data folder
  EXPECT_EQ(h.e.paths.path_list, h.work.path() + "files.lst");
  EXPECT_EQ(h.e.paths.path_temp, h.work.path() + "Kelvo.tmp");

  h.app.write("forest.pak", "x");
  path_setup(h.e, h.platform, h.app.path());
  EXPECT_EQ(h.e.paths.dir_temp, h.work.path());
  h.e.overrides.data_dir = "/scenes/mine";
  path_setup(h.e, h.platform, h.app.path());
  EXPECT_EQ(h.e.paths.dir_temp, "/scenes/mine/");
  EXPECT_EQ(h.e.paths.path_pack, "");
}

// With Random on, each start plays one of the packages beside the program,
// opened by the name its file has (BETA.PAK, not BETA.pak).
TEST(Paths, ARandomPackageIsOpenedByTheNameItsFileHas) {
  Harness h;
  for (const char* file : {"alpha.pak", "BETA.PAK", "gamma.pak"}) {
    std::string members;
    append_member(members, "SCENE1.TXT", file);
    const auto pak = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
    h.app.write(file, std::string(pak.begin(), pak.end()));
  }
  h.e.Random = 1;
  std::set<std::string> played;
  for (std::uint32_t seed = 0; seed < 30; ++seed) {
    random_seed(h.e.random, seed);
    path_setup(h.e, h.platform, h.app.path());
    ASSERT_EQ(random_package_choice(h.e), 1);
    path_setup(h.e, h.platform, h.app.path());
    ASSERT_EQ(extract_package(h.e), ExtractResult::extracted) << h.e.Module;
    played.insert(h.e.Module + " " + h.work.read("SCENE1.TXT"));
    delete_extracted_files(h.e);
  }
  EXPECT_EQ(played, (std::set<std::string>{"alpha alpha.pak", "BETA BETA.PAK", "gamma gamma.pak"}));
}

// The module name is cut to what the value buffer holds and a name that is
// empty or leads elsewhere takes the default; with no store at all every
// default is stored.
TEST(Settings, TheModuleNameIsKeptInBoundsAndAMissingStoreGetsTheDefaults) {
  test::MemorySettings store;
  store.exists = true;
  store.values = {{"Module", std::string(300, 'm')}};
  Engine e;
  load_settings(e, store);
  EXPECT_EQ(store.values.at("Module"), std::string(254, 'm'));
  for (const char* module : {"", "../elsewhere", "a\\b"}) {
    store.values["Module"] = module;
    read_settings(e, store);
    EXPECT_EQ(e.Module, "kelvo");
  }
  test::MemorySettings none;
  EXPECT_EQ(load_settings(e, none), 0);
  EXPECT_EQ(none.values.at("Module"), "kelvo");
  EXPECT_EQ(none.values.at("ResX"), "800");
}

// The settings file as a user edits it: names in any case, blanks anywhere;
// it is rewritten only when something in it was missing or bad.
TEST(SettingsFile, ReadsEveryLineOnItsOwnAndIsRewrittenOnlyWhenSomethingWasMissingOrBad) {
  const std::string good = "# Kelvo settings\nModule=forest\nSounds=0\nFog=0\nResX=1024\nResY=768\nRandom=1\n"
                           "Speed=2\nColors=1\n";
  const std::array<int, 7> kept{0, 0, 1024, 768, 1, 2, 1};
  using Case = std::tuple<std::string, std::array<int, 7>, bool>;  // file, Sounds ... Colors, rewritten
  for (const auto& [text, numbers, rewritten] : std::vector<Case>{
           {good, kept, false},
           {"Module = forest\r\n\tSOUNDS= 0\nfog\t=\t0 \n  resx=1024\nRESY =768\nrandom=1\nspeed=2\ncolors=1",
            kept, false},
           {"ResX = 1024\nModule=forest\nSounds=0\nFog=0\nResY=768\nnot a setting\nSpeed=2\nColors=1\n",
            {0, 0, 1024, 768, 0, 2, 1}, true},  // Random is missing
           {"Module=forest\nSounds=0\nFog=0\nResX=wide\nResY=768\nRandom=1\nSpeed=9\nColors=1\n",
            {0, 0, 800, 768, 1, 0, 1}, true},
       }) {
    SCOPED_TRACE(text);
    TempDir dir;
    dir.write("settings", text);
    SettingsFile file(dir.file("settings"));
    Engine e;
    EXPECT_EQ(load_settings(e, file), rewritten ? 0 : 1);
    EXPECT_EQ(e.Module, "forest");
    EXPECT_EQ((std::array{e.Sounds, e.Fog, e.ResX, e.ResY, e.Random, e.Speed, e.Colors}), numbers);
    if (!rewritten) {
      EXPECT_EQ(dir.read("settings"), text);
      continue;
    }
    Engine back;
    EXPECT_EQ(read_settings(back, file), 1);  // all eight are there now
    EXPECT_EQ((std::array{back.Sounds, back.Fog, back.ResX, back.ResY, back.Random, back.Speed, back.Colors}),
              numbers);
    EXPECT_EQ(back.Module, "forest");
  }
}

TEST(SettingsFile, WritesAtomicallyAndAFailedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.file("config/kelvo/settings"), tmp = path + ".tmp" + std::to_string(::getpid());
  SettingsFile file(path);
  Engine e;
  EXPECT_EQ(store_defaults(e, file), 1);  // the folders are made
  EXPECT_NE(dir.read("config/kelvo/settings").find("\nResX=800\n"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  e.Module = "line\nbreak";
  e.ResX = 1280;
  EXPECT_EQ(write_settings(e, file), 1);
  Engine back;
  EXPECT_EQ(read_settings(back, file), 1);
  EXPECT_EQ(back.Module, "line break");
  EXPECT_EQ(back.ResX, 1280);
  EXPECT_FALSE(std::filesystem::exists(tmp));  // renamed over the settings file

  // The temporary file cannot be created: a directory stands in its way.
  const std::string old = dir.read("config/kelvo/settings");
  ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
  EXPECT_FALSE(file.write({{"Module", "theirs"}}));
  EXPECT_EQ(dir.read("config/kelvo/settings"), old);
  EXPECT_FALSE(SettingsFile(path + "/inside").write({{"Module", "x"}}));  // a file for a folder
}

}  // namespace
}  // namespace kelvo
