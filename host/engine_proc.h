// The engine window procedure: start-up on create, one frame per paint, the
// key and mouse rules, teardown on destroy.
#pragma once

#include "host/base/platform.h"
#include "host/base/window_message.h"
#include "scene/engine_state.h"

namespace kelvo {

// Handles one message. Returns the message's result; what the engine does not
// consume goes to the platform's default procedure.
long engine_window_proc(Engine& e, Platform& platform, const WindowMessage& message);

// The two halves of the lifecycle, also used by the headless renderer.
// start_up returns 0 when it stopped early (extraction or GL context failed).
int start_up(Engine& e, Platform& platform);
void tear_down(Engine& e, Platform& platform);

// Start-up's scene steps, once the files are in place and GL is current: the
// engine state, the texture table and font, the view, the scene "SCENE1" and
// its script "SCRIPT1".
void start_scene(Engine& e, Platform& platform);

}  // namespace kelvo
