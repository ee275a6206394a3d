#include "render/gl_recorder.h"

#include <cstdio>

#include "render/gl_calls.h"

namespace kelvo::test {

namespace {

GlRecorder* active = nullptr;

void add(const std::string& call) { active->calls.push_back(call); }

std::string number(long v) { return std::to_string(v); }

void set_cap(GLenum cap, int on) {
  RecordedDraw& s = active->state;
  if (cap == GL_DEPTH_TEST) s.depth_test = on;
  if (cap == GL_TEXTURE_2D) s.texture_2d = on;
  if (cap == GL_FOG) s.fog = on;
  if (cap == GL_CULL_FACE) s.cull_face = on;
}

float from_byte(GLbyte b) { return static_cast<float>(b) / 127.0f; }

void rec_begin(GLenum mode) {
  add("Begin(" + gl_name(mode) + ")");
  RecordedDraw d = active->state;
  d.primitive = mode;
  d.vertices.clear();
  active->draws.push_back(d);
  if (active->forward) kDirectGl.Begin(mode);
}
void rec_end() {
  add("End");
  if (active->forward) kDirectGl.End();
}
void rec_vertex(GLfloat x, GLfloat y, GLfloat z) {
  RecordedVertex v = active->current;
  v.x = x, v.y = y, v.z = z;
  if (!active->draws.empty()) active->draws.back().vertices.push_back(v);
  if (active->forward) kDirectGl.Vertex3f(x, y, z);
}
void rec_texcoord(GLfloat s, GLfloat t) {
  active->current.s = s, active->current.t = t;
  if (active->forward) kDirectGl.TexCoord2f(s, t);
}
void rec_color4b(GLbyte r, GLbyte g, GLbyte b, GLbyte a) {
  RecordedVertex& c = active->current;
  c.r = from_byte(r), c.g = from_byte(g), c.b = from_byte(b), c.a = from_byte(a);
  if (active->forward) kDirectGl.Color4b(r, g, b, a);
}
void rec_color3b(GLbyte r, GLbyte g, GLbyte b) {
  RecordedVertex& c = active->current;
  c.r = from_byte(r), c.g = from_byte(g), c.b = from_byte(b), c.a = 1.0f;
  if (active->forward) kDirectGl.Color3b(r, g, b);
}
void rec_color3f(GLfloat r, GLfloat g, GLfloat b) {
  RecordedVertex& c = active->current;
  c.r = r, c.g = g, c.b = b, c.a = 1.0f;
  if (active->forward) kDirectGl.Color3f(r, g, b);
}
void rec_enable(GLenum cap) {
  add("Enable(" + gl_name(cap) + ")");
  set_cap(cap, 1);
  if (active->forward) kDirectGl.Enable(cap);
}
void rec_disable(GLenum cap) {
  add("Disable(" + gl_name(cap) + ")");
  set_cap(cap, 0);
  if (active->forward) kDirectGl.Disable(cap);
}
void rec_blend(GLenum s, GLenum d) {
  add("BlendFunc(" + gl_name(s) + ", " + gl_name(d) + ")");
  active->state.blend_src = s, active->state.blend_dst = d;
  if (active->forward) kDirectGl.BlendFunc(s, d);
}
void rec_bind(GLenum target, GLuint texture) {
  add("BindTexture(" + number(texture) + ")");
  active->state.texture = texture;
  if (active->forward) kDirectGl.BindTexture(target, texture);
}
void rec_texparameter(GLenum target, GLenum name, GLint value) {
  add("TexParameteri(" + gl_name(name) + ", " + gl_name(static_cast<GLenum>(value)) + ")");
  if (active->forward) kDirectGl.TexParameteri(target, name, value);
}
void rec_front_face(GLenum mode) {
  add("FrontFace(" + gl_name(mode) + ")");
  if (mode == GL_CW || mode == GL_CCW) active->state.front_face = mode;
  if (active->forward) kDirectGl.FrontFace(mode);
}
void rec_clear(GLbitfield mask) {
  add("Clear(" + number(static_cast<long>(mask)) + ")");
  if (active->forward) kDirectGl.Clear(mask);
}

const GlCalls kRecording = {
    rec_begin, rec_end,     rec_vertex, rec_texcoord,     rec_color4b,    rec_color3b, rec_color3f,
    rec_enable, rec_disable, rec_blend, rec_bind, rec_texparameter, rec_front_face, rec_clear,
};

}  // namespace

GlRecorder::GlRecorder(bool forward_calls) : forward(forward_calls) {
  active = this;
  gl = &kRecording;
}

GlRecorder::~GlRecorder() {
  gl = &kDirectGl;
  active = nullptr;
}

int GlRecorder::find(const std::string& call, int from) const {
  for (std::size_t i = static_cast<std::size_t>(from < 0 ? 0 : from); i < calls.size(); ++i)
    if (calls[i] == call) return static_cast<int>(i);
  return -1;
}

std::vector<RecordedDraw> GlRecorder::draws_with_texture(long texture) const {
  std::vector<RecordedDraw> out;
  for (const RecordedDraw& d : draws)
    if (d.texture == texture) out.push_back(d);
  return out;
}

std::string gl_name(GLenum value) {
  switch (value) {
    case GL_ZERO: return "GL_ZERO";
    case GL_ONE: return "GL_ONE";
    case GL_SRC_ALPHA: return "GL_SRC_ALPHA";
    case GL_ONE_MINUS_SRC_ALPHA: return "GL_ONE_MINUS_SRC_ALPHA";
    case GL_DST_COLOR: return "GL_DST_COLOR";
    case GL_SRC_COLOR: return "GL_SRC_COLOR";
    case GL_TEXTURE_2D: return "GL_TEXTURE_2D";
    case GL_DEPTH_TEST: return "GL_DEPTH_TEST";
    case GL_FOG: return "GL_FOG";
    case GL_CULL_FACE: return "GL_CULL_FACE";
    case GL_CW: return "GL_CW";
    case GL_CCW: return "GL_CCW";
    case GL_QUADS: return "GL_QUADS";
    case GL_TRIANGLES: return "GL_TRIANGLES";
    case GL_LINE_STRIP: return "GL_LINE_STRIP";
    case GL_NEAREST: return "GL_NEAREST";
    case GL_LINEAR: return "GL_LINEAR";
    case GL_TEXTURE_MIN_FILTER: return "GL_TEXTURE_MIN_FILTER";
    case GL_TEXTURE_MAG_FILTER: return "GL_TEXTURE_MAG_FILTER";
    default: {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "0x%X", value);
      return buffer;
    }
  }
}

}  // namespace kelvo::test
