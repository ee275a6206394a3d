#include "render/frame_renderer.h"

#include <GL/gl.h>

namespace kelvo {

void render_frame(Engine& e, Platform& platform) {
  if (!e.gl_ready) return;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // The scene's passes, the logo, texts, halos and particles come here.
  platform.swap_buffers();
}

}  // namespace kelvo
