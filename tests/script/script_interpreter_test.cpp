// The script language: reading lines, tokens and numbers, comments, keyword
// matching, argument slots, and flow control (loops, procedures, labels,
// restart, exit, the end).
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>

#include "script/script_reader.h"
#include "script_rig.h"

namespace kelvo {
namespace {

using test::expect_near;
using test::ScriptRig;

// A line that shows `name` for one frame: scripts here mark what they ran.
std::string mark(const std::string& name) { return "draw_text(1,0,0," + name + ")\n"; }
std::vector<std::string> marks(std::initializer_list<const char*> names) { return {names.begin(), names.end()}; }

// --- reading ------------------------------------------------------------------

std::vector<std::string> lines_of(const std::string& bytes) {
  test::TempDir dir;
  dir.write("S.TXT", bytes);
  ScriptFile f;
  EXPECT_TRUE(f.open(dir.file("S.TXT")));
  std::vector<std::string> lines;
  std::string line;
  while (f.read_line(line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> tokens_of(const std::string& line) {
  std::vector<std::string> out;
  for (std::string_view t : split_script_line(line)) out.emplace_back(t);
  return out;
}

TEST(ScriptReader, EveryLineLosesItsLastCharacterTokensSplitAtTheDelimitersOnly) {
  EXPECT_EQ(lines_of("a(1)\nwait(2)"), (std::vector<std::string>{"a(1)", "wait(2"}));
  EXPECT_EQ(lines_of("x(1)\r\n\n"), (std::vector<std::string>{"x(1)\r", ""}));
  EXPECT_TRUE(lines_of("").empty());
  // A zero byte ends the line.
  EXPECT_EQ(lines_of(std::string("ab\0cd\n\0\nz\n", 10)), (std::vector<std::string>{"a", "", "z"}));
  // Long lines come out in pieces of 254 characters, each losing its last.
  EXPECT_EQ(lines_of(std::string(300, 'a') + "\nb\n"),
            (std::vector<std::string>{std::string(253, 'a'), std::string(46, 'a'), "b"}));
  // Tokens split at the delimiters only.
  EXPECT_EQ(tokens_of("move_camera(50,10,0)"), tokens_of("move_camera=50,10,0"));
  EXPECT_EQ(tokens_of("move_camera(50,10,0)"), (std::vector<std::string>{"move_camera", "50", "10", "0"}));
  EXPECT_EQ(tokens_of("a{b}[c] , d\r"), (std::vector<std::string>{"a", "b", "c", " ", " d"}));
  EXPECT_EQ(tokens_of("  // x\tY"), (std::vector<std::string>{"  // x\tY"}));
  EXPECT_TRUE(tokens_of("(,)").empty() && tokens_of("").empty());
}

TEST(ScriptReader, NumbersAreReadLikeDecimalTextAndConvertedSaturating) {
  // Only decimal text counts, and nothing is infinite.
  const std::pair<const char*, double> numbers[] = {
      {" 12.5abc", 12.5}, {"\t7", 7}, {"-3", -3}, {"+2", 2}, {".5", 0.5}, {"5.", 5}, {"1e3", 1000}, {"2e", 2},
      {"loopvalue", 0}, {"", 0}, {"-", 0}, {".", 0}, {"inf", 0}, {"nan", 0}, {"0x10", 0}, {"1e999", DBL_MAX},
      {"-1e999", -DBL_MAX}, {"1e-999", 0}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(script_number(text), value) << text;
  EXPECT_EQ((std::vector<int>{script_int(2.9), script_int(-2.9), script_int(1e20), script_int(-1e20)}),
            (std::vector<int>{2, -2, INT_MAX, INT_MIN}));
  EXPECT_EQ((std::vector<float>{script_float(1e300), script_float(-1e300), script_float(0.25)}),
            (std::vector<float>{FLT_MAX, -FLT_MAX, 0.25f}));
}

// --- lines and words ------------------------------------------------------------

TEST(ScriptLines, CommentsAreSkippedUnknownWordsRunNothingMissingArgumentsKeepTheirSlots) {
  ScriptRig rig;
  // Only the line that is not a comment reaches the slots; the last line has
  // no line feed.
  EXPECT_EQ(rig.play("// comment(9)\n/ also(5)\n  // not a comment,3\nfoo\n\n(,)\nwait\nwait(2)"), 0);
  EXPECT_EQ(rig.sleeps, (std::vector<std::int64_t>{3000, 2000}));

  // Arguments missing keep the previous values; non-numeric ones are 0, extra
  // ones ignored.
  rig.add_objects(2);
  rig.load("move_object(2,25,1,2,3,4,5,6)\nmove_object(1,50,10)\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);  // the end waits for the moves
  const EventRecord& r = rig.record(1);
  EXPECT_EQ(r.frames.load(), 50);
  expect_near(r.a, {10, 2, 3});
  expect_near(r.b, {4, 5, 6});
  EXPECT_EQ(rig.script->text1(), "1");
  EXPECT_EQ(rig.script->text4(), "2");

  EXPECT_NE(rig.play("fix_camera(abc,1,2,3,4,5,6,7,8,9,10)\n"), -1);
  EXPECT_EQ(rig.script->arg(8), 7);
  rig.frame();
  expect_near(rig.e.camera_pos, {0, 1, 2});
}

// --- flow control -----------------------------------------------------------------

// Scripts that end by themselves: the marks they showed, in order, and the
// stack depth left at the end (-1: not checked).
TEST(ScriptFlow, LoopsProceduresAndJumpsRunTheRightLines) {
  std::string deep;
  for (int i = 0; i < 21; ++i) deep += "startloop(2)\n";
  const struct {
    std::string text;
    std::vector<std::string> shown;
    int depth;
  } cases[] = {
      {"startloop(3)\n" + mark("tick") + "endloop\nstartloop(2)\n" + mark("outer") + "startloop(3)\n" + mark("inner") +
           "endloop\nendloop\n",
       marks({"tick", "tick", "tick", "outer", "inner", "inner", "inner", "outer", "inner", "inner", "inner"}), 0},
      {"gosub(p)\n" + mark("after") + "exit\nprocedure(p)\n" + mark("inside") + "return\n", marks({"inside", "after"}),
       0},
      // A procedure before its gosub: outside a search the marker is no
      // command, and the search from the gosub on finds nothing.
      {"procedure(intro)\n" + mark("body") + "return\ngosub(intro)\n" + mark("never"), marks({"body"}), -1},
      // The stack holds twenty entries: the gosub is ignored as a whole.
      {deep + "gosub(p)\n" + mark("after_call") + "exit\nprocedure(p)\n" + mark("in_procedure"), marks({"after_call"}),
       20},
      // Endloop and return act on the innermost entry: the first return goes
      // back into the loop, the second out of the procedure.
      {"gosub(p)\nexit\nprocedure(p)\nstartloop(2)\n" + mark("tick") + "return\n", marks({"tick", "tick"}), 0},
      {"endloop\nreturn\n" + mark("after"), marks({"after"}), 0},
      {"goto(nowhere)\n" + mark("tick"), {}, -1},
      // Searches match the whole name.
      {"gosub(p)\nexit\nprocedure(px)\n" + mark("wrong") + "return\nprocedure(p)\n" + mark("right") + "return\n",
       marks({"right"}), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptRig rig;
    EXPECT_GE(rig.play(c.text), 0);
    EXPECT_EQ(rig.texts, c.shown);
    EXPECT_TRUE(c.depth < 0 || rig.script->stack_depth() == c.depth) << rig.script->stack_depth();
    EXPECT_EQ(rig.e.script_running.load(), 0);
  }
}

TEST(ScriptFlow, RestartRunsFromTheTopWithAnEmptyStack) {
  ScriptRig rig;
  rig.load("startloop(2)\n" + mark("round") + "restart\n");
  for (int i = 0; i < 30; ++i) rig.run(), rig.frame();
  EXPECT_EQ(rig.texts.size(), 30u);
  EXPECT_EQ(rig.script->stack_depth(), 1);  // the loop of this round only
}

TEST(ScriptFlow, GotoWaitsForTheMovesThenSearchesFromTheTop) {
  ScriptRig rig;
  rig.load("label(top)\nstartloop(5)\nmove_camera(3,30,0,0,0,0,0)\ngoto(top)\n");
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  rig.frame(2);
  EXPECT_EQ(rig.step(), ScriptStatus::blocked);
  rig.frame();
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -30);
  // Now the goto goes on: the label is found, the loop and the move run
  // again, from the label's next line on (goto keeps the stack).
  EXPECT_EQ(rig.run(), ScriptStatus::blocked);
  EXPECT_EQ(rig.script->stack_depth(), 2);
  rig.frame(3);
  EXPECT_FLOAT_EQ(rig.e.camera_pos.x, -60);
}

}  // namespace
}  // namespace kelvo
