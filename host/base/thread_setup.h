// What a helper thread asks of the operating system for itself: a name that
// shows in the system's thread lists, and a priority below the frame loop's.
// One implementation per platform (thread_setup_posix.cpp here).
#pragma once

namespace kelvo {

// Names the calling thread (at most 15 characters show).
void name_current_thread(const char* name);

// Puts the calling thread below the threads that draw, so that a script that
// loops without waiting cannot slow the frames: on Linux the lowest nice value
// for this thread alone, on Windows THREAD_PRIORITY_LOWEST. Never fails
// visibly; the thread just keeps its priority.
void lower_current_thread_priority();

}  // namespace kelvo
