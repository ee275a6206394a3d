#include "render/text_overlay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "motion/events.h"
#include "render/gl_calls.h"
#include "render/gl_states.h"

namespace kelvo {

namespace {

// The font's characters in glyph order: codes 32 to 95, the quote again
// where the backquote would be, 97 to 126, and one more space.
constexpr char kGlyphs[] =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"
    "'"
    "abcdefghijklmnopqrstuvwxyz{|}~"
    " ";
static_assert(sizeof(kGlyphs) - 1 == 96);

// Glyph of each character code: its first place in kGlyphs.
constexpr std::array<std::int8_t, 256> make_glyph_table() {
  std::array<std::int8_t, 256> table{};
  for (auto& t : table) t = -1;
  for (int i = 95; i >= 0; --i) table[static_cast<unsigned char>(kGlyphs[i])] = static_cast<std::int8_t>(i);
  return table;
}
constexpr std::array<std::int8_t, 256> kGlyphTable = make_glyph_table();

constexpr float kTextDepth = 800.0f;

}  // namespace

int glyph_index(unsigned char c) { return kGlyphTable[c]; }

GlyphCell glyph_cell(int glyph) {
  const int column = glyph % 16;
  const int row = glyph / 16;
  return {static_cast<float>(16 * column) / 255.0f, static_cast<float>(16 * column + 16) / 255.0f,
          static_cast<float>(16 * row + 32) / 255.0f, static_cast<float>(16 * row + 48) / 255.0f};
}

void draw_text(const Engine& e, int x, int y, int w, int h, const char* text, int red, int green, int blue,
               int alpha) {
  if (e.font_slot == -1 || !e.gl_ready) return;
  const GlCalls& g = *gl;
  g.FrontFace(GL_CW);
  bind_texture_slot(e, e.font_slot);
  const ViewportBox& box = e.viewport_box;
  const float dx = static_cast<float>(-(400 - box.x0));
  const float dy = static_cast<float>(-(300 - box.y0));
  const float top = static_cast<float>(static_cast<std::int64_t>(y) + h) + dy;
  const float bottom = static_cast<float>(y) + dy;
  const GLbyte r = static_cast<GLbyte>(red / 2), gr = static_cast<GLbyte>(green / 2);
  const GLbyte b = static_cast<GLbyte>(blue / 2), a = static_cast<GLbyte>(alpha / 2);
  GlyphCell cell = glyph_cell(0);
  std::int64_t pen = x;
  for (const char* c = text; *c != '\0'; ++c) {
    if (pen >= box.x1) break;  // the rest of the line is off the screen
    const int glyph = glyph_index(static_cast<unsigned char>(*c));
    if (glyph >= 0) cell = glyph_cell(glyph);
    const float left = static_cast<float>(pen) + dx;
    const float right = static_cast<float>(pen + w) + dx;
    g.Begin(GL_QUADS);
    g.Color4b(r, gr, b, a);
    g.TexCoord2f(cell.s0, cell.t0);
    g.Vertex3f(left, top, kTextDepth);
    g.TexCoord2f(cell.s1, cell.t0);
    g.Vertex3f(right, top, kTextDepth);
    g.TexCoord2f(cell.s1, cell.t1);
    g.Vertex3f(right, bottom, kTextDepth);
    g.TexCoord2f(cell.s0, cell.t1);
    g.Vertex3f(left, bottom, kTextDepth);
    g.End();
    pen += w;
  }
}

void draw_loading_screen(Engine& e, Platform& platform, const char* message) {
  if (!e.gl_ready) return;
  gl->Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  draw_text(e, 280, 280, 35, 40, message, 0, 255, 100, 255);
  platform.swap_buffers();
}

const TextEventState* next_text_event(Engine& e, Platform& platform) {
  TextEventState& t = e.text_event;
  if (t.frames_left == 0) {
    const int i = take_event(e, platform, kTargetText, t.cursor);
    if (i < 0) return nullptr;
    const EventRecord& r = e.events[static_cast<std::size_t>(i)];
    t.frames_left = r.frames.load(std::memory_order_relaxed);
    t.x = static_cast<std::int32_t>(r.a.x);
    t.y = static_cast<std::int32_t>(r.a.y);
    t.text = r.text;
    t.text.back() = '\0';
  }
  return &t;
}

void count_text_frame(Engine& e) {
  TextEventState& t = e.text_event;
  --t.frames_left;
  if (t.frames_left <= 0) {
    t.frames_left = 0;
    finish_event(e, t.cursor);
  }
}

void draw_text_events(Engine& e, Platform& platform) {
  const TextEventState* t = next_text_event(e, platform);
  if (!t) return;
  const TextParameters& p = e.text_parameters;
  draw_text(e, t->x, t->y, p.width.load(std::memory_order_relaxed), p.height.load(std::memory_order_relaxed),
            t->text.data(), p.red.load(std::memory_order_relaxed), p.green.load(std::memory_order_relaxed),
            p.blue.load(std::memory_order_relaxed), p.alpha.load(std::memory_order_relaxed));
  count_text_frame(e);
}

void count_frame_rate(Engine& e, double now) {
  constexpr double kInterval = 0.5;
  FrameRateCount& c = e.frame_rate_count;
  if (c.since < 0.0 || now < c.since) {
    c = {now, 0};
    return;
  }
  ++c.frames;
  const double elapsed = now - c.since;
  if (elapsed < kInterval) return;
  e.displayed_frames = static_cast<std::int32_t>(std::lround(std::min(c.frames / elapsed, 1e9)));
  c = {now, 0};
}

void format_statistics_line(const Engine& e, char* out) {
  // Adding 0 turns a negated 0 into 0, so a camera at the origin reads
  // "0 0 0", not "-0 -0 -0".
  auto world = [](float v) { return static_cast<double>(-v + 0.0f); };
  std::snprintf(out, kStatisticsLineSize, "%d [%.0f %.0f %.0f] [%.0f %.0f %.0f]", e.displayed_frames,
                world(e.camera_pos.x), world(e.camera_pos.y), world(e.camera_pos.z), world(e.camera_rot.x),
                world(e.camera_rot.y), world(e.camera_rot.z));
}

void draw_statistics_line(const Engine& e) {
  char line[kStatisticsLineSize];
  format_statistics_line(e, line);
  draw_text(e, 5, 5, 16, 16, line, 0, 255, 100, 255);
}

}  // namespace kelvo
