#include "scene/problems.h"

#include <cstdarg>
#include <cstdio>

#include "scene/engine_state.h"

namespace kelvo {

void report_problem(Engine& e, bool error, const std::string& file, int line, const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  // Keep memory bounded on hostile input that repeats one fault endlessly.
  if (e.problems.size() < 10000) e.problems.push_back({file, line, buffer, error});
  debug_log(e.log, "%s", format_problem({file, line, buffer, error}).c_str());
}

std::string format_problem(const Problem& p) {
  std::string s = p.file;
  if (p.line > 0) s += ":" + std::to_string(p.line);
  s += ": ";
  if (!p.error) s += "warning: ";
  return s + p.message;
}

}  // namespace kelvo

#include <algorithm>
#include <cfloat>

#include "host/base/text_helpers.h"
#include "scene/scene_budget.h"
#include "scene/text_stream.h"

namespace kelvo {

std::int32_t checked_int(Engine& e, const std::string& file, int line, std::string_view token) {
  const std::int32_t value = text_to_int(token);
  const std::int32_t kept = std::clamp(value, -kFileIntLimit, kFileIntLimit);
  if (kept != value)
    report_problem(e, false, file, line, "number %.*s is out of range; %d is used",
                   static_cast<int>(token.size() > 40 ? 40 : token.size()), token.data(), kept);
  return kept;
}

float checked_float(Engine& e, const std::string& file, int line, std::string_view token) {
  float value = text_to_float(token);
  if (value == FLT_MAX || value == -FLT_MAX)
    report_problem(e, false, file, line, "number %.*s is out of range; %g is used", static_cast<int>(token.size() > 40 ? 40 : token.size()),
                   token.data(), static_cast<double>(value));
  return value;
}

}  // namespace kelvo
