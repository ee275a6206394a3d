// The bitmap-font text: glyphs, lines, the loading screen, the script's timed
// texts and the statistics line.
#include <gtest/gtest.h>

#include <cstring>

#include "render/render_rig.h"
#include "render/text_overlay.h"

namespace kelvo::test {
namespace {

struct TextFrame : RecordedFrame {
  TextFrame() {
    fake_slot(e, 9, 99);
    e.font_slot = 9;
  }
  const std::vector<RecordedDraw>& text(int x, int y, int w, const char* line) {
    rec.draws.clear();
    draw_text(e, x, y, w, w, line, 255, 255, 255, 255);
    return rec.draws;
  }
};

void queue_text(Engine& e, int record, int frames, float x, float y, const char* text) {
  EventRecord& r = e.events[static_cast<std::size_t>(record)];
  r.mode = kModeText;
  r.a = {x, y, 0};
  std::strncpy(r.text.data(), text, r.text.size() - 1);
  r.target.store(kTargetText);
  r.frames.store(frames);
}

TEST(Text, GlyphsFollowTheFontTable) {
  for (const auto& [c, glyph] : {std::pair{' ', 0}, {'\'', 7}, {'0', 16}, {'A', 33}, {'_', 63}, {'a', 65},
                                 {'~', 94}, {'`', -1}, {'\x7f', -1}, {'\xc8', -1}, {'\n', -1}})
    EXPECT_EQ(glyph_index(static_cast<unsigned char>(c)), glyph) << int(c);
  // 'A' is column 1 of row 2; rows start at texel row 32.
  EXPECT_FLOAT_EQ(glyph_cell(33).s0, 16 / 255.0f);
  EXPECT_FLOAT_EQ(glyph_cell(33).t1, 80 / 255.0f);
}

TEST(Text, CharactersAreSquaresLaidLeftToRightInVirtualScreenUnits) {
  TextFrame f;
  const std::vector<RecordedDraw> draws = f.text(5, 5, 16, "AB");
  ASSERT_EQ(draws.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const RecordedDraw& d = draws[i];
    EXPECT_EQ(d.texture, 99);
    ASSERT_EQ(d.vertices.size(), 4u);
    const float left = (i == 0 ? 5.0f : 21.0f) - 400;
    EXPECT_FLOAT_EQ(d.vertices[0].x, left);
    EXPECT_FLOAT_EQ(d.vertices[1].x, left + 16);
    EXPECT_FLOAT_EQ(d.vertices[0].y, 21.0f - 300);
    EXPECT_FLOAT_EQ(d.vertices[2].y, 5.0f - 300);
    EXPECT_FLOAT_EQ(d.vertices[3].z, 800.0f);
    EXPECT_FLOAT_EQ(d.vertices[0].r, 1.0f);  // 255 halved to 127
  }
  const GlyphCell b = glyph_cell(34);
  EXPECT_FLOAT_EQ(draws[1].vertices[0].s, b.s0);
  EXPECT_FLOAT_EQ(draws[1].vertices[1].s, b.s1);
  EXPECT_FLOAT_EQ(draws[1].vertices[1].t, b.t0);
  EXPECT_FLOAT_EQ(draws[1].vertices[2].t, b.t1);
  // The viewport's left and top move the text with a border.
  f.e.viewport_box = {40, 30, 760, 570};
  EXPECT_FLOAT_EQ(f.text(5, 5, 16, "A")[0].vertices[2].y, 5.0f - 270);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[0].x, 5.0f - 360);
}

TEST(Text, CharacterWithoutAGlyphRepeatsThePreviousOneOrTheSpace) {
  TextFrame f;
  const std::vector<RecordedDraw> after_letter = f.text(0, 0, 10, "Z`");
  ASSERT_EQ(after_letter.size(), 2u);
  EXPECT_FLOAT_EQ(after_letter[1].vertices[0].s, after_letter[0].vertices[0].s);
  EXPECT_FLOAT_EQ(after_letter[1].vertices[0].t, after_letter[0].vertices[0].t);
  ASSERT_EQ(f.text(0, 0, 10, "`").size(), 1u);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[0].s, glyph_cell(0).s0);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[0].t, glyph_cell(0).t0);
}

TEST(Text, LineIsCutAtTheViewportsRightAndNeedsAFontAndAContext) {
  TextFrame f;
  EXPECT_EQ(f.text(760, 0, 16, "ABCDE").size(), 3u);  // pens 760, 776, 792
  EXPECT_EQ(f.text(800, 0, 16, "ABCDE").size(), 0u);
  EXPECT_EQ(f.text(-50, 0, 16, "ABCDE").size(), 5u);
  f.e.font_slot = -1;
  EXPECT_TRUE(f.text(0, 0, 16, "A").empty());
  f.e.font_slot = 9;
  f.e.gl_ready = 0;
  EXPECT_TRUE(f.text(0, 0, 16, "A").empty());
}

TEST(Text, StatisticsLineShowsTheFrameValueTheCameraPositionAndItsAngles) {
  Engine e;
  char line[kStatisticsLineSize];
  e.camera_pos = {-10.4f, 20, -30.6f};
  e.camera_rot = {1, 2, -3};
  format_statistics_line(e, line);
  EXPECT_STREQ(line, "0 [10 -20 31] [-1 -2 3]");
  // The longest line fits: an 11-character frame value, six 39-digit
  // numbers (three of them negative) and 10 brackets and spaces.
  e.displayed_frames = -2147483647 - 1;
  e.camera_pos = {3.4e38f, -3.4e38f, 3.4e38f};
  e.camera_rot = {-3.4e38f, 3.4e38f, -3.4e38f};
  format_statistics_line(e, line);
  EXPECT_EQ(std::strlen(line), 11u + 6 * 39 + 3 + 10);
  EXPECT_EQ(line[std::strlen(line) - 1], ']');
}

TEST(Text, StatisticsLineIsDrawnGreenAtTheLowerLeftWhileFpsIsOn) {
  TextFrame f;
  f.e.fps = 1;
  const std::vector<RecordedDraw> draws = f.frame();
  ASSERT_EQ(draws.size(), std::strlen("0 [0 0 0] [0 0 0]"));
  EXPECT_FLOAT_EQ(draws[0].vertices[3].x, 5.0f - 400);
  EXPECT_FLOAT_EQ(draws[0].vertices[3].y, 5.0f - 300);
  EXPECT_EQ(std::vector<float>({draws[0].vertices[0].r, draws[0].vertices[0].g, draws[0].vertices[0].b}),
            std::vector<float>({0, 1, 50 / 127.0f}));
  f.e.fps = 0;
  EXPECT_TRUE(f.frame().empty());
}

TEST(Text, ScriptTextsShowOneAfterAnotherEachForItsFrames) {
  TextFrame f;
  f.e.script_running.store(1);
  f.e.text_parameters.width.store(20);
  f.e.text_parameters.red.store(100);
  queue_text(f.e, 3, 2, 100.9f, 200.5f, "A");
  queue_text(f.e, 7, 3, 300, 100, "BB");
  std::vector<std::size_t> quads;
  for (int i = 0; i < 6; ++i) quads.push_back(f.frame().size());
  EXPECT_EQ(quads, (std::vector<std::size_t>{1, 1, 2, 2, 2, 0}));
  EXPECT_EQ(f.e.events[3].frames.load(), 0);  // both records were handed back
  EXPECT_EQ(f.e.events[7].target.load(), kTargetDone);
  // A later change to a record does not show: the text was copied.
  queue_text(f.e, 0, 2, 100.9f, 200.5f, "CCC");
  ASSERT_EQ(f.frame().size(), 3u);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[0].x, 100.0f - 400);  // truncated
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[1].x, 120.0f - 400);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[2].y, 200.0f - 300);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[0].r, 50 / 127.0f);
  std::strcpy(f.e.events[0].text.data(), "D");
  EXPECT_EQ(f.frame().size(), 3u);
  // At double speed a text lasts half as long.
  f.e.Speed = 1;
  queue_text(f.e, 0, 4, 0, 0, "E");
  quads.clear();
  for (int i = 0; i < 3; ++i) quads.push_back(f.frame().size());
  EXPECT_EQ(quads, (std::vector<std::size_t>{1, 1, 0}));
  // Nothing while the script is not running.
  queue_text(f.e, 0, 2, 0, 0, "E");
  f.e.script_running.store(0);
  EXPECT_TRUE(f.frame().empty());
  EXPECT_EQ(f.e.events[0].frames.load(), 2);
}

// Text is cut at the viewport's right in virtual units, so these rigs are 800
// pixels wide: one virtual unit is one pixel.
TEST(Text, TextAppearsOnScreenWherePlaced) {
  RenderRig rig(800, 600);
  rig.e.font_slot = rig.texture("ALFA", 255, 255, 255, 256);
  ASSERT_GE(rig.e.font_slot, 0);
  rig.e.script_running.store(1);
  rig.e.text_parameters.width.store(40);
  rig.e.text_parameters.height.store(40);
  rig.e.text_parameters.green.store(0);
  rig.e.text_parameters.blue.store(0);
  queue_text(rig.e, 0, 5, 400, 300, "XX");
  rig.frame();
  // From the centre to the right and up, 80 units wide and 40 high.
  EXPECT_GT(red_of(rig.pixel(420, 320)), 240);
  EXPECT_LT(green_of(rig.pixel(420, 320)), 8);
  EXPECT_TRUE(rig.black(380, 320));  // left of the text
  EXPECT_TRUE(rig.black(420, 290));  // below it
  EXPECT_TRUE(rig.black(490, 320));  // right of it
}

TEST(Text, LoadingScreenShowsLoadingInGreenAndPresentsEvenWithoutAFont) {
  for (int font : {1, 0}) {
    RenderRig rig(800, 600);
    add_object(rig.e, facing_square(-50, -50, 50, 50, 100, 127, 0, 0));  // for the loading screen to clear
    rig.frame();
    if (font) rig.e.font_slot = rig.texture("ALFA", 255, 255, 255, 256);
    draw_loading_screen(rig.e, rig.platform, "LOADING");
    EXPECT_EQ(rig.platform.swaps, 3);
    const std::uint32_t centre = rig.pixel(400, 300);  // "LOADING" spans 280..525 by 280..320
    EXPECT_LT(red_of(centre), 8);
    if (font) {
      EXPECT_GT(green_of(centre), 240);
      EXPECT_NEAR(blue_of(centre), 100, 8);
    } else {
      EXPECT_EQ(rig.lit_pixels(), 0);
    }
  }
  TextFrame f;  // not without a context
  f.e.gl_ready = 0;
  draw_loading_screen(f.e, f.platform, "LOADING");
  EXPECT_TRUE(f.rec.calls.empty());
  EXPECT_EQ(f.platform.swaps, 0);
}

}  // namespace
}  // namespace kelvo::test
