// A start-up that cannot play: the package, the scene or the GL context
// failed. The screen stays black until input ends the run, as the engine
// always did; the user learns why from one line on standard error (printed
// whether or not the log is on) and the run's non-zero exit status.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Records what failed in e.start_failure, logs it and prints
// "<program>: <text>" on standard error. The first failure is the one kept.
void report_start_failure(Engine& e, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The process exit status once the run has ended: what start-up asked for
// (a file that is no package), 1 after a reported failure, else 0.
int run_exit_status(const Engine& e);

}  // namespace kelvo
