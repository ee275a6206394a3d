#include "render/gl_calls.h"

namespace kelvo {

const GlCalls kDirectGl = {
    glBegin,     glEnd,     glVertex3f,   glTexCoord2f,  glColor4b,       glColor3b,   glColor3f,
    glEnable,    glDisable, glBlendFunc,  glBindTexture, glTexParameteri, glFrontFace, glClear,
};

const GlCalls* gl = &kDirectGl;

}  // namespace kelvo
