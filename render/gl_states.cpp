#include "render/gl_states.h"

#include "render/gl_calls.h"

namespace kelvo {

void set_normal_state(const Engine& e) {
  gl->Enable(GL_DEPTH_TEST);
  if (e.Fog != 0)
    gl->Enable(GL_FOG);
  else
    gl->Disable(GL_FOG);
  gl->BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void set_additive_state() {
  gl->Enable(GL_TEXTURE_2D);
  gl->BlendFunc(GL_SRC_ALPHA, GL_ONE);
  gl->Disable(GL_FOG);
  gl->Disable(GL_DEPTH_TEST);
}

void bind_texture_slot(const Engine& e, int slot) { gl->BindTexture(GL_TEXTURE_2D, texture_name_of(e, slot)); }

}  // namespace kelvo
