#include "render/gl_states.h"

#include <GL/gl.h>

namespace kelvo {

void set_normal_state(const Engine& e) {
  glEnable(GL_DEPTH_TEST);
  if (e.Fog != 0)
    glEnable(GL_FOG);
  else
    glDisable(GL_FOG);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

}  // namespace kelvo
