#include "host/mode_dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo {
namespace {

std::string describe(const ModeRequest& r) {
  static const char* const names[] = {"config", "full_screen", "preview", "change_password", "invalid"};
  std::string s = names[static_cast<int>(r.mode)];
  if (r.window) s += " " + std::to_string(*r.window);
  if (r.config_owned) s += " owned";
  return s;
}

TEST(ModeDispatch, EveryRowOfTheTableWithCaseSeparatorsAndWindowNumbers) {
  const std::vector<std::pair<std::string_view, std::string>> cases = {
      // Nothing at all, or only separators: the dialog without a parent.
      {"", "config"}, {"  -/ ", "config"}, {"\t", "config"},
      {"/s", "full_screen"}, {"-S", "full_screen"}, {"s", "full_screen"}, {" -/-s", "full_screen"},
      {"/saver", "full_screen"},  // only the first letter counts
      {"/p 1234", "preview 1234"}, {"-P1234", "preview 1234"}, {"/l  77", "preview 77"}, {"L\t9", "preview 9"},
      {"/p 12abc", "preview 12"},  // the number ends at the first non-digit
      {"/p 0", "invalid 0"}, {"/p", "invalid"}, {"/p x12", "invalid"}, {"/p -5", "invalid"},
      {"/p 99999999999999999999999", "invalid 0"},  // past 64 bits: names no window
      // By its letter the dialog belongs to a window: the named one, else the foreground one.
      {"/c", "config owned"}, {"-C:3000", "config 3000 owned"}, {"/c:", "config owned"}, {"/c:0", "config 0 owned"},
      {"/c:42junk", "config 42 owned"},
      {"/c 3000", "config owned"},  // without ':' the number is not read
      {"/a 55", "change_password 55"}, {"-A", "change_password"},
      {"/x", "invalid"}, {"?", "invalid"}, {"/1", "invalid"}, {"--window", "invalid"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(describe(dispatch_mode(args)), expected) << "'" << args << "'";
}

TEST(ModeDispatch, TheProgramNameIsSkippedQuotedOrNot) {
  EXPECT_EQ(skip_program_name("\"C:\\Program Files\\kelvo.scr\"  /p 12"), "/p 12");
  EXPECT_EQ(skip_program_name("C:\\WINDOWS\\KELVO.SCR /s"), "/s");
  EXPECT_EQ(skip_program_name("kelvo.scr"), "");
  EXPECT_EQ(skip_program_name("\"unterminated /s"), "");
  EXPECT_EQ(describe(dispatch_mode(skip_program_name("\"a b\\k.scr\" /c:77"))), "config 77 owned");
}

}  // namespace
}  // namespace kelvo
