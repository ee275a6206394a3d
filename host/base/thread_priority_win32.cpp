// Thread priority on Windows.
#include <windows.h>

#include "host/base/thread_priority.h"

namespace kelvo {

void lower_current_thread_priority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST); }

}  // namespace kelvo
