#include "render/gl_recorder.h"

#include <algorithm>
#include <utility>

#include "render/gl_calls.h"

namespace kelvo::test {
namespace {

GlRecorder* active = nullptr;

#define KELVO_NAMED(n) {n, #n}
std::string name(GLenum value) {
  static const std::pair<GLenum, const char*> kNames[] = {
      KELVO_NAMED(GL_ZERO), KELVO_NAMED(GL_ONE), KELVO_NAMED(GL_SRC_ALPHA), KELVO_NAMED(GL_ONE_MINUS_SRC_ALPHA),
      KELVO_NAMED(GL_DST_COLOR), KELVO_NAMED(GL_SRC_COLOR), KELVO_NAMED(GL_TEXTURE_2D), KELVO_NAMED(GL_DEPTH_TEST),
      KELVO_NAMED(GL_FOG), KELVO_NAMED(GL_CULL_FACE), KELVO_NAMED(GL_CW), KELVO_NAMED(GL_CCW), KELVO_NAMED(GL_QUADS),
      KELVO_NAMED(GL_TRIANGLES), KELVO_NAMED(GL_LINE_STRIP), KELVO_NAMED(GL_TEXTURE_MIN_FILTER),
      KELVO_NAMED(GL_TEXTURE_MAG_FILTER), KELVO_NAMED(GL_NEAREST), KELVO_NAMED(GL_LINEAR)};
  for (const auto& [v, text] : kNames)
    if (v == value) return text;
  return std::to_string(value);
}

void add(const std::string& call) { active->calls.push_back(call); }
void set_cap(GLenum cap, int on) {
  RecordedDraw& s = active->state;
  int other = 0;
  (cap == GL_DEPTH_TEST ? s.depth_test : cap == GL_TEXTURE_2D ? s.texture_2d : cap == GL_FOG ? s.fog
                                                                : cap == GL_CULL_FACE ? s.cull_face : other) = on;
}
void colour(float r, float g, float b, float a) {
  active->current.r = r, active->current.g = g, active->current.b = b, active->current.a = a;
}
float unit(GLbyte b) { return static_cast<float>(b) / 127.0f; }

const GlCalls kRecording = {
    [](GLenum mode) {
      add("Begin(" + name(mode) + ")");
      active->draws.push_back(active->state);
      active->draws.back().primitive = mode;
    },
    [] { add("End"); },
    [](GLfloat x, GLfloat y, GLfloat z) {
      RecordedVertex v = active->current;
      v.x = x, v.y = y, v.z = z;
      if (!active->draws.empty()) active->draws.back().vertices.push_back(v);
    },
    [](GLfloat s, GLfloat t) { active->current.s = s, active->current.t = t; },
    [](GLbyte r, GLbyte g, GLbyte b, GLbyte a) { colour(unit(r), unit(g), unit(b), unit(a)); },
    [](GLbyte r, GLbyte g, GLbyte b) { colour(unit(r), unit(g), unit(b), 1); },
    [](GLfloat r, GLfloat g, GLfloat b) { colour(r, g, b, 1); },
    [](GLenum cap) { add("Enable(" + name(cap) + ")"), set_cap(cap, 1); },
    [](GLenum cap) { add("Disable(" + name(cap) + ")"), set_cap(cap, 0); },
    [](GLenum s, GLenum d) {
      add("BlendFunc(" + name(s) + ", " + name(d) + ")");
      active->state.blend_src = s, active->state.blend_dst = d;
    },
    [](GLenum, GLuint texture) {
      add("BindTexture(" + std::to_string(texture) + ")");
      active->state.texture = texture;
    },
    [](GLenum, GLenum parameter, GLint value) {
      add("TexParameteri(" + name(parameter) + ", " + name(static_cast<GLenum>(value)) + ")");
    },
    [](GLenum mode) {
      add("FrontFace(" + name(mode) + ")");
      if (mode == GL_CW || mode == GL_CCW) active->state.front_face = mode;
    },
    [](GLbitfield mask) { add("Clear(" + std::to_string(mask) + ")"); },
};

}  // namespace

GlRecorder::GlRecorder() {
  active = this;
  gl = &kRecording;
}

GlRecorder::~GlRecorder() {
  gl = &kDirectGl;
  active = nullptr;
}

int GlRecorder::find(const std::string& call) const {
  const auto it = std::find(calls.begin(), calls.end(), call);
  return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
}

}  // namespace kelvo::test
