#include "host/base/debug_log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace kelvo {

DebugLog::~DebugLog() { close(); }

void DebugLog::adopt_file(std::FILE* f) {
  if (file_ && owns_file_) std::fclose(file_);
  file_ = f;
  owns_file_ = true;
  enabled_ = true;
}

void DebugLog::to_stderr() {
  std::lock_guard lock(mutex_);
  if (file_ && owns_file_) std::fclose(file_);
  file_ = stderr;
  owns_file_ = false;
  enabled_ = true;
}

void DebugLog::to_callback(Callback cb) {
  std::lock_guard lock(mutex_);
  callback_ = std::move(cb);
  enabled_ = file_ != nullptr || static_cast<bool>(callback_);
}

void DebugLog::close() {
  std::lock_guard lock(mutex_);
  if (file_ && owns_file_) std::fclose(file_);
  file_ = nullptr;
  owns_file_ = false;
  enabled_ = static_cast<bool>(callback_);
}

void DebugLog::write(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (file_) {
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
  if (callback_) callback_(line);
}

int debug_log(DebugLog& log, const char* format, ...) {
  if (!log.enabled()) return 1;
  char buffer[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return 1;
  std::size_t len = static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer - 1;
  log.write(std::string_view(buffer, len));
  return 1;
}

void open_log_from_environment(DebugLog& log, const std::function<std::string()>& path, const char* program) {
  const char* mode = std::getenv("KELVO_LOG");
  if (!mode) return;
  if (std::strcmp(mode, "-") == 0) {
    log.to_stderr();
  } else if (std::strcmp(mode, "1") == 0) {
    const std::string file = path();
    if (!log.open_file(file, true)) std::fprintf(stderr, "%s: cannot write the log %s\n", program, file.c_str());
  }
}

}  // namespace kelvo
