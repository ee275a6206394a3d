// Per-frame camera and object motion, and mouse steering. Both run on the
// window thread: the motion step before each frame is drawn, the steering on
// each mouse move.
//
// Motion is counted in frames: every running movement advances one step per
// call of the motion step.
#pragma once

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// One frame of motion: applies the script's queued writes, then (while the
// objects move switch is on) the perspective and camera events, and for each
// object its event and its own orbit and spin.
void motion_step(Engine& e, Platform& platform);

// Turns the camera (obj_mode 0) or the first object as the mouse moved, one
// degree per pixel; a cursor at the edge of the viewport is warped to the
// screen centre instead.
void mouse_steering(Engine& e, Platform& platform);

}  // namespace kelvo
