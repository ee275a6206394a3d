// The scene script's own thread.
//
// start_script and stop_script run on the window thread. The script thread
// runs the interpreter (script_interpreter.h) and shares with the frame loop
// only the event table, a few atomics and the queue of script writes
// (scene/engine_state.h says which).
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// Starts the script work directory + name + ".TXT" (found whatever the case
// of its letters) on its own thread, after
// stopping a running one, with a fresh event table and idle event consumers.
// Returns 1 when the thread runs; 0 when the file is missing (logged as
// "scene script failed") or no thread can be made.
int start_script(Engine& e, const std::string& name);

// Stops the script thread wherever it is (in a wait, a poll or between
// lines) and joins it, so no command runs after this returns. Then clears the
// script-running flag and the camera's, the perspective's and the text's
// event state. Harmless when no script runs.
void stop_script(Engine& e);

// The body of the script thread: opens e.script_path and runs it until its
// end or until `stop` is requested. `speed` is the Speed setting in force.
void run_script(Engine& e, std::int32_t speed, std::stop_token stop);

}  // namespace kelvo
