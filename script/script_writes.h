// The hand-over of a script's engine-state changes to the window thread.
//
// Script commands that change what the frame loop reads (switches, the
// camera, colours, visibility) do not write the engine state themselves: the
// script thread queues the change and the window thread applies the queue in
// order before it moves and draws the next frame. So no field but the event
// records and a few atomics is written by two threads.
#pragma once

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// Script thread: queues `write`. False (nothing queued) when the queue is full.
bool queue_script_write(Engine& e, const ScriptWrite& write);

// Window thread: applies and removes every queued write, oldest first.
void apply_script_writes(Engine& e, Platform& platform);

// Every face of every object that accepts random colours in grey (127), with
// its corner and vertex colours.
void grey_colours(Engine& e);
// Random face, corner and vertex colours for the objects that accept them
// (when Colors is set), then random start and end colours for the particle
// systems that accept them (when the particle switch is on).
void random_colours(Engine& e);

}  // namespace kelvo
