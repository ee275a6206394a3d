// Thread name and priority on Windows.
#include <windows.h>

#include "host/base/thread_setup.h"

namespace kelvo {

// Thread names need SetThreadDescription (Windows 10), which older systems
// and the toolchain's import libraries lack; the name only helps debugging.
void name_current_thread(const char*) {}

void lower_current_thread_priority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST); }

}  // namespace kelvo
