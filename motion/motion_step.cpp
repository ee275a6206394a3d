#include "motion/motion_step.h"

namespace kelvo {

// Scripted events, orbits and spins, and steering come with the motion code.
void motion_step(Engine&) {}
void mouse_steering(Engine&, Platform&) {}

}  // namespace kelvo
