// The GL context and the view: display mode and context creation with the
// initial GL state, the view set-up from the engine state (viewport, frustum,
// fog, the loading screen), and the release.
#pragma once

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// Switches the display (unless in preview), creates the context and sets the
// initial GL state. 0 when there is no display mode of the configured size
// (after the "Fullscreen switch failed!" message) or no pixel format.
int create_gl_context(Engine& e, Platform& platform);

// The GL state a new context starts with: viewport, a fixed frustum, the
// model-view turned half round, clockwise front faces, depth, blending,
// texturing. Separate so the headless renderer can share it.
void set_initial_gl_state(const Engine& e);

// Viewport, frustum and fog from the engine state; sets gl_ready and shows
// the loading screen. Returns 1.
int view_setup(Engine& e, Platform& platform);

// A preview follows its window: a new size becomes ResX, ResY and the
// viewport, with the frustum and the perspective effect scaled to it. A full
// screen picture keeps its size (the platform scales it). Nothing else of the
// view changes and nothing is drawn.
void resize_view(Engine& e, int width, int height);

// Releases the context and restores the display, only when gl_ready is set.
void release_gl_context(Engine& e, Platform& platform);

}  // namespace kelvo
