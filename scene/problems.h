// Problems found in an author's files, reported as "file:line: message" in
// the debug log and collected for the authoring tools.
#pragma once

#include <string>
#include <vector>

namespace kelvo {

class DebugLog;
struct Engine;

struct Problem {
  std::string file;  // as the scene names it (no directory)
  int line = 0;      // 1-based; 0 when the problem is about the whole file
  std::string message;
  bool error = true;  // false: a warning, the scene still plays as written
};

void report_problem(Engine& e, bool error, const std::string& file, int line, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// "file:line: message" (or "file: message" without a line).
std::string format_problem(const Problem& p);

}  // namespace kelvo

#include <cstdint>
#include <string_view>

namespace kelvo {

// The leading-number conversions of the description files, reporting a
// number that does not fit (it is clamped) as a warning. Integers are held
// within ±kFileIntLimit (scene/scene_budget.h), floats within the float range.
std::int32_t checked_int(Engine& e, const std::string& file, int line, std::string_view token);
float checked_float(Engine& e, const std::string& file, int line, std::string_view token);

}  // namespace kelvo
