// Records the renderer's GL calls by pointing kelvo::gl at a recording table
// for the life of the recorder (optionally passing every call on to the real
// GL as well).
//
// `calls` holds the state calls in order as text ("BlendFunc(GL_DST_COLOR,
// GL_ZERO)", "BindTexture(7)", "Begin(GL_QUADS)", "End"); the vertices,
// colours and texture coordinates of each glBegin block are in `draws`,
// together with the state in force when the block began.
#pragma once

#include <GL/gl.h>

#include <string>
#include <vector>

namespace kelvo::test {

struct RecordedVertex {
  float x, y, z;
  float s, t;              // texture coordinates in force
  float r, g, b, a;        // colour in force, 0..1
};

struct RecordedDraw {
  GLenum primitive = 0;
  // State when the block began; -1 where the recorder has not seen it set.
  long blend_src = -1, blend_dst = -1;
  int depth_test = -1, texture_2d = -1, fog = -1, cull_face = -1;
  long texture = -1;       // bound 2D texture name
  long front_face = -1;
  std::vector<RecordedVertex> vertices;
};

class GlRecorder {
 public:
  explicit GlRecorder(bool forward = false);
  ~GlRecorder();
  GlRecorder(const GlRecorder&) = delete;
  GlRecorder& operator=(const GlRecorder&) = delete;

  std::vector<std::string> calls;
  std::vector<RecordedDraw> draws;

  // Index of the first call equal to `call` at or after `from`, or -1.
  int find(const std::string& call, int from = 0) const;
  // The draws whose bound texture is `texture`.
  std::vector<RecordedDraw> draws_with_texture(long texture) const;
  void clear() {
    calls.clear();
    draws.clear();
  }

  // The state the recorder tracks, as the calls left it.
  RecordedDraw state;
  RecordedVertex current{0, 0, 0, 0, 0, 1, 1, 1, 1};
  bool forward;
};

// GL enum names as the recorder writes them.
std::string gl_name(GLenum value);

}  // namespace kelvo::test
