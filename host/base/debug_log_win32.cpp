// Opening the debug log file on Windows. The file lives in the user's own
// profile, which only that user can read; lines end in CR LF for the
// platform's text tools.
#include <cstdio>

#include "host/base/debug_log.h"

namespace kelvo {

bool DebugLog::open_file(const std::string& path, bool truncate) {
  std::lock_guard lock(mutex_);
  // "N": the handle is not inherited by programs the engine starts.
  std::FILE* f = std::fopen(path.c_str(), truncate ? "wtN" : "atN");
  if (!f) return false;
  adopt_file(f);
  return true;
}

}  // namespace kelvo
