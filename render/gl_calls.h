// The GL entry points the renderer uses, as one table of function pointers.
//
// Every GL call of render/ goes through `gl`, which points at the real
// functions. A test points it at a recording table to see the calls in order;
// nothing else ever changes it. The cost is one load and an indirect call per
// GL call, which the driver's own dispatch already pays.
#pragma once

#include <GL/gl.h>

namespace kelvo {

struct GlCalls {
  void (*Begin)(GLenum mode);
  void (*End)();
  void (*Vertex3f)(GLfloat x, GLfloat y, GLfloat z);
  void (*TexCoord2f)(GLfloat s, GLfloat t);
  void (*Color4b)(GLbyte red, GLbyte green, GLbyte blue, GLbyte alpha);
  void (*Color3b)(GLbyte red, GLbyte green, GLbyte blue);
  void (*Color3f)(GLfloat red, GLfloat green, GLfloat blue);
  void (*Enable)(GLenum cap);
  void (*Disable)(GLenum cap);
  void (*BlendFunc)(GLenum sfactor, GLenum dfactor);
  void (*BindTexture)(GLenum target, GLuint texture);
  void (*TexParameteri)(GLenum target, GLenum pname, GLint param);
  void (*FrontFace)(GLenum mode);
  void (*Clear)(GLbitfield mask);
};

// The real GL functions.
extern const GlCalls kDirectGl;

// What the renderer calls: &kDirectGl unless a test swapped it.
extern const GlCalls* gl;

}  // namespace kelvo
