// The script language: lines, comments, keyword matching, argument slots,
// and flow control (loops, procedures, labels, restart, exit, the end).
#include <gtest/gtest.h>

#include "script_rig.h"

namespace kelvo {
namespace {

using test::expect_vec;
using test::kUnknown;
using test::ScriptRig;

std::vector<std::string> unknown(std::initializer_list<const char*> words) {
  std::vector<std::string> out;
  for (const char* w : words) out.push_back(kUnknown + w);
  return out;
}

// --- lines and words ------------------------------------------------------------

TEST(ScriptLines, CommentsAreSkippedAndUnknownWordsLogged) {
  ScriptRig rig;
  rig.load("// comment\n/ also(5)\n  // not a comment\nfoo(1)\n\n(,)\nwait(2)");  // no line feed at the end
  EXPECT_EQ(rig.run_to_end(), 0);
  EXPECT_EQ(rig.logged_with(kUnknown), unknown({"  // not a comment", "foo", "", "(,)"}));
  EXPECT_EQ(rig.script->arg(1), 2);  // the comment's 5 never reached the slot
  EXPECT_EQ(rig.sleeps, (std::vector<std::int64_t>{2000}));
}

TEST(ScriptLines, ArgumentsMissingKeepThePreviousValuesNonNumericAreZeroExtraIgnored) {
  ScriptRig rig;
  rig.add_objects(2);
  rig.load("move_object(2,25,1,2,3,4,5,6)\nmove_object(1,50,10)\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);  // the end waits for the moves
  const EventRecord& r = rig.record(1);
  EXPECT_EQ(r.frames.load(), 50);
  expect_vec(r.a, 10, 2, 3);
  expect_vec(r.b, 4, 5, 6);
  EXPECT_EQ(rig.script->text1(), "1");
  EXPECT_EQ(rig.script->text4(), "2");

  ScriptRig other;
  other.load("fix_camera(abc,1,2,3,4,5,6,7,8,9,10)\n");
  EXPECT_EQ(other.run_to_end(), 0);
  EXPECT_EQ(other.script->arg(8), 7);
  other.frame();
  expect_vec(other.e.camera_pos, 0, 1, 2);
}

TEST(ScriptLines, AScriptThatCannotBeOpenedEndsAtOnce) {
  ScriptRig rig;
  ScriptInterpreter script(rig.e, 0);
  EXPECT_FALSE(script.open(rig.dir.file("NONE.TXT")));
  EXPECT_EQ(rig.count_logged("scene script open failed"), 1);
  EXPECT_EQ(script.step().status, ScriptStatus::ended);
  EXPECT_EQ(rig.e.script_running.load(), 0);
}

// --- flow control -----------------------------------------------------------------

// Scripts that end by themselves: the unknown words they ran, in order, and
// the stack depth left at the end (-1: not checked).
TEST(ScriptFlow, LoopsProceduresAndJumpsRunTheRightLines) {
  std::string deep;
  for (int i = 0; i < 21; ++i) deep += "startloop(2)\n";
  const struct {
    std::string text;
    std::vector<std::string> ran;
    int depth;
  } cases[] = {
      {"startloop(3)\ntick\nendloop\nstartloop(2)\nouter\nstartloop(3)\ninner\nendloop\nendloop\n",
       unknown({"tick", "tick", "tick", "outer", "inner", "inner", "inner", "outer", "inner", "inner", "inner"}), 0},
      {"gosub(p)\nafter\nexit\nprocedure(p)\ninside\nreturn\n", unknown({"inside", "after"}), 0},
      // A procedure before its gosub: outside a search the marker is no
      // command, and the search from the gosub on finds nothing.
      {"procedure(intro)\nreturn\ngosub(intro)\nnever\n", unknown({"procedure"}), -1},
      // The stack holds twenty entries: the gosub is ignored as a whole.
      {deep + "gosub(p)\nafter_call\nexit\nprocedure(p)\nin_procedure\n", unknown({"after_call"}), 20},
      // Endloop and return act on the innermost entry: the first return goes
      // back into the loop, the second out of the procedure.
      {"gosub(p)\nexit\nprocedure(p)\nstartloop(2)\ntick\nreturn\n", unknown({"tick", "tick"}), 0},
      {"endloop\nreturn\nafter\n", unknown({"after"}), 0},
      {"goto(nowhere)\ntick\n", {}, -1},
      // Searches match the whole name.
      {"gosub(p)\nexit\nprocedure(px)\nwrong\nreturn\nprocedure(p)\nright\nreturn\n", unknown({"right"}), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptRig rig;
    rig.load(c.text);
    EXPECT_EQ(rig.run_to_end(), 0);
    EXPECT_EQ(rig.logged_with(kUnknown), c.ran);
    if (c.depth >= 0) {
      EXPECT_EQ(rig.script->stack_depth(), c.depth);
    }
    EXPECT_EQ(rig.e.script_running.load(), 0);
  }
}

TEST(ScriptFlow, GotoAndRestartWaitForTheMovesThenSearchFromTheTop) {
  ScriptRig rig;
  rig.load("label(top)\nstartloop(5)\nmove_camera(3,30,0,0,0,0,0)\ngoto(top)\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  rig.frame(2);
  EXPECT_EQ(rig.step(), ScriptStatus::blocked);
  rig.frame();
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -30);
  // Now the goto goes on: the label is found, the loop and the move run again.
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  EXPECT_EQ(rig.count_logged(kUnknown + "label"), 1);  // only before the first search
  EXPECT_EQ(rig.script->stack_depth(), 2);             // goto keeps the stack
  EXPECT_EQ(rig.active_records(), 1);

  rig.load("top\nstartloop(5)\ngosub(p)\nprocedure(p)\nmove_camera(2,1,0,0,0,0,0)\nrestart\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  rig.frame(5);  // the camera's moves of both scripts, one after the other
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);  // round two, waiting again
  EXPECT_EQ(rig.count_logged(kUnknown + "top"), 2);
  EXPECT_EQ(rig.script->stack_depth(), 2);  // restart cleared it, then pushed again
}

// --- hostile scripts -----------------------------------------------------------------

TEST(ScriptHostile, RandomScriptsNeverCrashNorOverflowTheStack) {
  const std::vector<std::string> words = {
      "startloop", "endloop", "gosub", "goto", "restart", "return", "exit", "double_speed", "flush_events",
      "flush_object", "wait", "set_renderer", "set_randomcolors", "set_lighting", "set_fog", "set_smooth",
      "set_constant_frames", "set_constant_object", "set_particles", "set_feedback", "draw_text", "set_textparams",
      "play_midi", "play_wav", "playnostop_wav", "move_camera", "random_camera", "position_camera", "fix_camera",
      "change_res", "hide_object", "show_object", "move_object", "position_object", "rotate_object",
      "rotate_center", "label", "procedure", "//", "", "(((", "x\t"};
  const std::vector<std::string> values = {"0", "1", "2", "3", "-1", "-7", "0.5", "1e308", "-1e308", "2147483648",
                                           "nan", "inf", "loopvalue", "a", "", "99999999999999999999", "1e-300",
                                           "  12", "x/y", "../z"};
  std::uint32_t seed = 7;
  auto next = [&seed](std::size_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % static_cast<std::uint32_t>(n);
  };
  for (int round = 0; round < 100; ++round) {
    ScriptRig rig;
    rig.add_objects(static_cast<int>(next(3)));
    rig.e.Sounds = static_cast<std::int32_t>(next(2));
    std::string text;
    for (std::uint32_t l = 0, lines = 1 + next(30); l < lines; ++l) {
      text += words[next(words.size())] + "(";
      for (std::uint32_t a = 0, args = next(10); a < args; ++a) text += (a ? "," : "") + values[next(values.size())];
      text += next(8) ? ")\n" : "";
    }
    rig.load(text);
    for (int i = 0; i < 300 && !rig.script->ended(); ++i) {
      rig.run(200);
      rig.frame();
      ASSERT_LE(rig.script->stack_depth(), kScriptStackSize);
    }
  }
}

}  // namespace
}  // namespace kelvo
