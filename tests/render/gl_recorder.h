// Records the renderer's GL calls by pointing kelvo::gl at a recording table
// for the life of the recorder. `calls` holds the state calls in order as text
// ("BlendFunc(GL_DST_COLOR, GL_ZERO)", "BindTexture(7)", "Begin(GL_QUADS)",
// "End"); `draws` holds each glBegin block's vertices with the state in force
// when the block began.
#pragma once

#include <GL/gl.h>

#include <string>
#include <vector>

namespace kelvo::test {

struct RecordedVertex {
  float x, y, z, s, t, r, g, b, a;  // position, texture coordinates, colour 0..1
};

struct RecordedDraw {
  GLenum primitive = 0;
  // State when the block began; -1 where the recorder has not seen it set.
  long blend_src = -1, blend_dst = -1, texture = -1, front_face = -1;
  int depth_test = -1, texture_2d = -1, fog = -1, cull_face = -1;
  std::vector<RecordedVertex> vertices;
};

struct GlRecorder {
  GlRecorder();
  ~GlRecorder();
  // Index of the first call equal to `call`, or -1.
  int find(const std::string& call) const;

  std::vector<std::string> calls;
  std::vector<RecordedDraw> draws;
  RecordedDraw state;  // as the calls left it
  RecordedVertex current{0, 0, 0, 0, 0, 1, 1, 1, 1};
};

}  // namespace kelvo::test
