#include "render/text_overlay.h"

#include <GL/gl.h>

namespace kelvo {

void draw_loading_screen(Engine& e, Platform& platform, const char* message) {
  if (!e.gl_ready) return;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // The message itself is drawn once the bitmap-font text drawing exists.
  (void)message;
  platform.swap_buffers();
}

}  // namespace kelvo
