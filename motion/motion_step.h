// Per-frame camera and object motion, and mouse steering.
#pragma once

#include "host/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// Moves the camera, the objects and the perspective by one frame.
void motion_step(Engine& e);
// Turns the camera (or moves the first object) as the mouse moved.
void mouse_steering(Engine& e, Platform& platform);

}  // namespace kelvo
