#include "host/gl_context.h"

#include <GL/gl.h>

#include "host/start_failure.h"
#include "render/gl_states.h"
#include "render/text_overlay.h"

namespace kelvo {

int create_gl_context(Engine& e, Platform& platform) {
  if (!e.preview && !platform.set_display_mode(e.ResX, e.ResY)) {
    platform.restore_display_mode();
    platform.message_box("Fullscreen switch failed!", "Error");
    report_start_failure(e, "no GL context: the display cannot be switched to %dx%d", e.ResX, e.ResY);
    return 0;
  }
  if (!platform.create_gl_context()) {
    report_start_failure(e, "no GL context: the platform gives no double-buffered OpenGL context with a depth buffer");
    return 0;
  }
  set_initial_gl_state(e);
  debug_log(e.log, "wrapper started");
  return 1;
}

void set_initial_gl_state(const Engine& e) {
  const ViewportBox& v = e.viewport_box;
  glViewport(v.x0, v.y0, v.x1 - v.x0, v.y1 - v.y0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-0.5, 0.5, -0.37, 0.37, 1.0, 8000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, 0.0f);
  glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
  glFrontFace(GL_CW);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glClearDepth(1.0);
  glShadeModel(GL_SMOOTH);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glDisable(GL_AUTO_NORMAL);
  glEnable(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

static void set_fog_enabled(const Engine& e) {
  if (e.Fog != 0)
    glEnable(GL_FOG);
  else
    glDisable(GL_FOG);
}

// The viewport and the frustum of the viewport box.
static void set_viewport_and_frustum(const Engine& e) {
  const ViewportBox& v = e.viewport_box;
  glViewport(v.x0, v.y0, v.x1 - v.x0, v.y1 - v.y0);

  // With a border the frustum shrinks with the viewport, so the picture is
  // cut, not squeezed. Left and right are swapped: the model-view matrix
  // turns the world half round.
  double w = v.x0 == 0 ? 0.5 : (v.x1 - v.x0) * 0.5 / e.ResX;
  double h = v.y0 == 0 ? 0.37 : (v.y1 - v.y0) * 0.37 / e.ResY;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(w, -w, -h, h, 1.0, e.far_clip);
  glMatrixMode(GL_MODELVIEW);
}

int view_setup(Engine& e, Platform& platform) {
  set_normal_state(e);
  set_viewport_and_frustum(e);

  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogf(GL_FOG_START, e.fog_near);
  glFogf(GL_FOG_END, e.fog_far);
  glFogf(GL_FOG_DENSITY, 0.003f);
  const GLfloat colour[4] = {e.fog_colour[0] / 255.0f, e.fog_colour[1] / 255.0f, e.fog_colour[2] / 255.0f, 0.0f};
  glFogfv(GL_FOG_COLOR, colour);
  glHint(GL_FOG_HINT, GL_NICEST);
  glClearColor(colour[0], colour[1], colour[2], 0.0f);

  glDisable(GL_FOG);
  e.gl_ready = 1;
  draw_loading_screen(e, platform, "LOADING");
  set_fog_enabled(e);
  return 1;
}

void resize_view(Engine& e, int width, int height) {
  if (!e.preview || width <= 0 || height <= 0) return;
  const ViewportBox old = e.viewport_box;
  if (old.x0 == 0 && old.y0 == 0 && old.x1 == width && old.y1 == height) return;
  // The scene scaled the perspective effect to the picture's size.
  if (old.x1 - old.x0 > 0) e.perspective[0] *= static_cast<float>(width) / static_cast<float>(old.x1 - old.x0);
  if (old.y1 - old.y0 > 0) e.perspective[1] *= static_cast<float>(height) / static_cast<float>(old.y1 - old.y0);
  e.ResX = width;
  e.ResY = height;
  e.viewport_box = {0, 0, width, height};
  e.screen_centre = {width / 2, height / 2};
  if (e.gl_ready) set_viewport_and_frustum(e);
}

void release_gl_context(Engine& e, Platform& platform) {
  if (!e.gl_ready) return;
  platform.release_gl_context();
  platform.restore_display_mode();
  debug_log(e.log, "wrapper closed");
  e.gl_ready = 0;
}

}  // namespace kelvo
