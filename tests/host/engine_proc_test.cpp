// Start-up, frames, keys and teardown driven through a recording platform
// with a real software GL context.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>

#include "host/engine_proc.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::RecordingPlatform;
using test::TempDir;

struct Harness {
  TempDir app;   // the program's directory
  TempDir work;  // the private work directory
  RecordingPlatform platform;
  Engine e;

  Harness() {
    platform.program_dir = app.path();
    platform.work_dir = work.path();
    platform.record_log(e);
  }
  long send(MessageType type, int key = 0) { return engine_window_proc(e, platform, WindowMessage{type, key}); }
  int at(const std::string& call) const { return platform.index_of(call); }
  void write_package(const std::string& members) {
    const auto pak = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
    app.write("kelvo.pak", std::string(pak.begin(), pak.end()));
  }
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
  h.write_package(members);
  h.send(MessageType::create);
  h.expect_in_order({"window_rect", "log: settings missing: storing the defaults",
                     "log: path_pack=" + h.app.path() + "kelvo.pak", "hide_cursor", "priority_highest", "show_window",
                     "set_display_mode 800x600", "create_gl_context", "log: wrapper started", "swap_buffers",
                     "log: scene=SCENE1"});
  EXPECT_EQ(h.e.gl_ready, 1);
  // The members are unpacked into the private directory and listed there.
  EXPECT_EQ(h.e.paths.dir_temp, h.work.path());
  EXPECT_EQ(h.work.read("SCENE1.TXT"), "OBJECTS\n");
  EXPECT_EQ(h.work.read("files.lst"), h.work.file("SCENE1.TXT") + "\n" + h.work.file("BOX") + "\n");

  const std::size_t before = h.platform.calls.size();
  h.send(MessageType::destroy);
  EXPECT_EQ(std::vector<std::string>(h.platform.calls.begin() + static_cast<long>(before), h.platform.calls.end()),
            (std::vector<std::string>{"log: free textures", "release_gl_context", "restore_display_mode",
                                      "log: wrapper closed", "log: free all"}));
  EXPECT_EQ(h.e.gl_ready, 0);
  EXPECT_TRUE(h.work.list().empty());  // nothing that start-up wrote is left
}

TEST(EngineProc, FramesClearToTheFogColourAndDrawNothingBeforeStartUp) {
  Harness h;
  h.send(MessageType::paint);
  EXPECT_EQ(h.platform.swaps, 0);
  h.e.fog_colour = {255, 0, 0};  // the init leaves the fog colour alone
  h.send(MessageType::create);
  const int swaps = h.platform.swaps;
  h.send(MessageType::paint);
  EXPECT_EQ(h.platform.swaps, swaps + 1);
  EXPECT_EQ(h.platform.gl->pixel(10, 10) & 0xFFFFFF00u, 0xFF000000u);
  EXPECT_EQ(glIsEnabled(GL_FOG), GL_TRUE);  // Fog setting 1
  h.send(MessageType::destroy);
}

TEST(EngineProc, StartUpStoppedAtTheDisplayModeStillTearsDownCleanly) {
  Harness h;
  h.platform.display_mode_ok = false;
  h.send(MessageType::create);
  h.expect_in_order(
      {"set_display_mode 800x600", "restore_display_mode", "message_box Error: Fullscreen switch failed!"});
  EXPECT_EQ(h.at("create_gl_context"), -1);
  h.send(MessageType::paint);
  EXPECT_EQ(h.platform.swaps, 0);
  h.send(MessageType::destroy);
  EXPECT_EQ(h.at("release_gl_context"), -1);
  EXPECT_GE(h.at("log: free all"), 0);
  EXPECT_TRUE(h.work.list().empty());
}

TEST(EngineProc, AWrongMagicEndsThePlayerWithStatusOne) {
  Harness wrong;
  wrong.app.write("kelvo.pak", "PK\x03\x04 this is a zip file, not a package");
  testing::internal::CaptureStdout();
  wrong.send(MessageType::create);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unrecognized file format!\n");
  EXPECT_EQ(wrong.e.exit_code, 1);
  EXPECT_EQ(wrong.at("create_gl_context"), -1);
  wrong.send(MessageType::destroy);
  EXPECT_TRUE(wrong.work.list().empty());
}

TEST(EngineProc, AWindowNarrowerThan640PixelsIsAPreview) {
  Harness narrow;
  narrow.platform.rect = {100, 100, 739, 580};
  narrow.send(MessageType::create);
  EXPECT_EQ((std::array{narrow.e.preview, narrow.e.ResX, narrow.e.ResY}), (std::array{1, 639, 480}));
  narrow.expect_in_order({"hide_cursor", "priority_highest", "show_window", "priority_normal", "show_cursor"});
  EXPECT_EQ(narrow.at("set_display_mode 639x480"), -1);  // the display is left alone
  std::array<GLint, 4> viewport{};
  glGetIntegerv(GL_VIEWPORT, viewport.data());
  EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 0, 639, 480}));
  narrow.send(MessageType::destroy);
}

TEST(EngineProc, ZeroTogglesTheLogoAndOnlyOtherInputEndsThePlayer) {
  Harness h;
  h.send(MessageType::create);
  EXPECT_EQ(h.send(MessageType::key_down, '0'), 1);
  EXPECT_EQ(h.e.LOGO, 0);  // it toggles on release
  EXPECT_EQ(h.send(MessageType::key_up, '0'), 1);
  EXPECT_EQ(h.e.LOGO, 1);
  h.send(MessageType::key_up, '0');
  EXPECT_EQ(h.e.LOGO, 0);
  EXPECT_EQ(h.send(MessageType::mouse_move), 1);
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
  EXPECT_EQ(h.e.paths.dir_temp, data.path());
  EXPECT_EQ(h.work.read("KLV.3DF").substr(0, 16), "3df v1.1\nrgb565\n");
  EXPECT_GE(h.e.logo_slot, 0);  // loaded from the private copy
  h.send(MessageType::destroy);
  EXPECT_EQ(data.read("KLV.3DF"), "the author's own file");
  EXPECT_EQ(data.list(), (std::vector<std::string>{"KLV.3DF", "files.lst"}));
  EXPECT_TRUE(h.work.list().empty());
}

}  // namespace
}  // namespace kelvo
