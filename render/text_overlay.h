// Texts on the screen, drawn with the bitmap font ("ALFA", 16 x 16 texel
// glyphs on a 256 x 256 texture, in `font_slot`): the loading screen, the
// script's timed texts and the statistics line.
//
// Text coordinates are virtual screen units at depth 800: x from 0 to 800
// across the viewport, y upward from the bottom, (400, 300) the centre.
#pragma once

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// The font glyph of a character: 0 .. 95, or -1 for a character the font
// does not have (the backquote among them).
int glyph_index(unsigned char c);

// Texture bounds of a glyph's cell.
struct GlyphCell {
  float s0, s1, t0, t1;
};
GlyphCell glyph_cell(int glyph);

// One line at (x, y) (its lower left corner) with characters w by h, colour
// 0..255 each. A character without a glyph repeats the previous one's (the
// space's at the start). The line is cut where it reaches the viewport's
// right. Nothing without a font or a GL context.
void draw_text(const Engine& e, int x, int y, int w, int h, const char* text, int red, int green, int blue,
               int alpha);

// Clears the screen, shows `message` and presents it.
void draw_loading_screen(Engine& e, Platform& platform, const char* message);

// The script's texts: shows the current text event for its number of frames,
// then takes the next one. Each frame while the script runs.
void draw_text_events(Engine& e, Platform& platform);

// Its two halves without the drawing: the text to show this frame (the one
// showing, or the next text record, started here; null when there is none),
// and the count of a shown frame (the last one hands the record back).
const TextEventState* next_text_event(Engine& e, Platform& platform);
void count_text_frame(Engine& e);

// Counts a frame drawn at `now` (seconds of a steady clock); about twice a
// second the displayed frame value becomes the frames per second since the
// last update.
void count_frame_rate(Engine& e, double now);

// "frame [x y z] [rx ry rz]": the displayed frame value, the camera's world
// position and the negated camera angles, in green at the lower left.
void draw_statistics_line(const Engine& e);

// The statistics line's text, written into `out` (at least
// kStatisticsLineSize bytes).
inline constexpr std::size_t kStatisticsLineSize = 320;
void format_statistics_line(const Engine& e, char* out);

}  // namespace kelvo
