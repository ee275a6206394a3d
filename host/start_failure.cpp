#include "host/start_failure.h"

#include <cstdarg>
#include <cstdio>

namespace kelvo {

void report_start_failure(Engine& e, const char* format, ...) {
  char text[768];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  debug_log(e.log, "start-up failed: %s", text);
  if (!e.start_failure.empty()) return;
  e.start_failure = text;
  std::fprintf(stderr, "%s: %s\n", e.program_name, text);
  std::fflush(stderr);
}

int run_exit_status(const Engine& e) {
  if (e.exit_code >= 0) return e.exit_code;
  return e.start_failure.empty() ? 0 : 1;
}

}  // namespace kelvo
