// The script thread runs below the window thread, so its waits and polls
// never take time from drawing.
#pragma once

namespace kelvo {

// Lowers the calling thread's priority to the lowest normal level.
void lower_current_thread_priority();

}  // namespace kelvo
