// The frame loop's side of the event table: each consumer (the camera, the
// perspective change, every object, the text overlay) finds its next event
// from its cursor on, carries it out one step per frame and marks it as run.
//
// Window thread only. The script thread fills the records (script/).
#pragma once

#include <cstdint>

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// The signed amount that moves `current` to `target`; with `negate` 1 the
// value is stored negated (as the camera's are), so -current is compared.
float target_difference(int negate, float current, float target);

// Starts the next event for `target` (an object index, kTargetCamera,
// kTargetText or kTargetPerspective): the first record from `cursor` to the
// end of the table whose frames is not 0 and whose target matches. Forces the
// constant-frames value on it and applies the speed setting (records keep the
// changed length), moves `cursor` to it and returns its index. Without one the
// cursor goes back to 0 and the result is -1. Applies the script writes queued
// before the record first, so the event sees them.
int take_event(Engine& e, Platform& platform, std::int32_t target, std::int32_t& cursor);

// Marks record `index` as run (target -99, then frames 0, handing it back).
void finish_event(Engine& e, std::int32_t index);

// One frame of each consumer; each starts its next event when idle.
void camera_event_step(Engine& e, Platform& platform);
void perspective_event_step(Engine& e, Platform& platform);
void object_event_step(Engine& e, Platform& platform, Object& o);

}  // namespace kelvo
