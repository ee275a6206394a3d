// Reading script lines, splitting them into tokens and converting arguments.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "script/script_reader.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

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

TEST(ScriptReader, EveryLineLosesItsLastCharacter) {
  EXPECT_EQ(lines_of("a(1)\nwait(2)"), (std::vector<std::string>{"a(1)", "wait(2"}));
  EXPECT_EQ(lines_of("x(1)\r\n\n"), (std::vector<std::string>{"x(1)\r", ""}));
  EXPECT_TRUE(lines_of("").empty());
  EXPECT_EQ(lines_of(std::string("ab\0cd\n\0\nz\n", 10)), (std::vector<std::string>{"a", "", "z"}));  // a zero byte ends the line
  // Long lines come out in pieces of 254 characters, each losing its last.
  EXPECT_EQ(lines_of(std::string(300, 'a') + "\nb\n"),
            (std::vector<std::string>{std::string(253, 'a'), std::string(46, 'a'), "b"}));
}

TEST(ScriptReader, TokensSplitAtTheDelimitersOnly) {
  EXPECT_EQ(tokens_of("move_camera(50,10,0)"), tokens_of("move_camera=50,10,0"));
  EXPECT_EQ(tokens_of("move_camera(50,10,0)"), (std::vector<std::string>{"move_camera", "50", "10", "0"}));
  EXPECT_EQ(tokens_of("a{b}[c] , d\r"), (std::vector<std::string>{"a", "b", "c", " ", " d"}));
  EXPECT_EQ(tokens_of("  // x\tY"), (std::vector<std::string>{"  // x\tY"}));
  EXPECT_EQ(tokens_of("a(,,b)"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(tokens_of("(,)").empty());
  EXPECT_TRUE(tokens_of("").empty());
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

}  // namespace
}  // namespace kelvo
