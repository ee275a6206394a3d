// The debug log: one line per notable step of loading and running a scene.
//
// Writes nothing unless a sink is set: the player sets one from KELVO_LOG
// ("1" writes the log file, "-" standard error); tools and tests set a
// callback. Safe to call from the script thread.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace kelvo {

class DebugLog {
 public:
  using Callback = std::function<void(std::string_view line)>;

  DebugLog() = default;
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;
  ~DebugLog();

  // Appends to `path` (created with user-only permissions). Returns false
  // when it cannot be opened; the log then stays silent.
  bool open_file(const std::string& path, bool truncate);
  void to_stderr();
  void to_callback(Callback cb);
  void close();
  bool enabled() const { return enabled_; }

  // Writes one line (a line end is added).
  void write(std::string_view line);

 private:
  // Makes `f` the log's file, closing the one it had. The caller holds the
  // lock. (open_file is the operating system's half, in debug_log_*.cpp.)
  void adopt_file(std::FILE* f);

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool owns_file_ = false;
  Callback callback_;
  bool enabled_ = false;
};

// printf-style log call; returns 1 as the engine's callers expect.
int debug_log(DebugLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Follows KELVO_LOG: "-" writes the log to standard error, "1" to the file
// `path()` names (asked only then); anything else leaves it silent. A file
// that cannot be written is reported on stderr under `program`'s name.
void open_log_from_environment(DebugLog& log, const std::function<std::string()>& path, const char* program);

}  // namespace kelvo
