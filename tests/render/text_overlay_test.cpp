// The bitmap-font text: glyphs, lines, the loading screen, the script's timed
// texts and the statistics line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

#include "render/render_rig.h"
#include "render/text_overlay.h"

namespace kelvo::test {
namespace {

struct TextFrame : RecordedFrame {
  TextFrame() { fake_slot(e, 9, 99), e.font_slot = 9; }
  const std::vector<RecordedDraw>& text(int x, int y, int w, const char* line) {
    rec.draws.clear();
    draw_text(e, x, y, w, w, line, 255, 255, 255, 255);
    return rec.draws;
  }
};

void queue_text(Engine& e, int record, int frames, float x, float y, const char* text) {
  EventRecord& r = e.events[static_cast<std::size_t>(record)];
  r.mode = kModeText, r.a = {x, y, 0};
  std::strncpy(r.text.data(), text, r.text.size() - 1);
  r.target.store(kTargetText), r.frames.store(frames);
}

TEST(Text, CharactersAreSquaresLaidLeftToRightInVirtualScreenUnits) {
  TextFrame f;
  const std::vector<RecordedDraw> draws = f.text(5, 5, 16, "AB");
  ASSERT_EQ(draws.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::vector<RecordedVertex>& v = draws[i].vertices;
    ASSERT_EQ(v.size(), 4u);
    const float left = (i == 0 ? 5.0f : 21.0f) - 400;  // colour: 255 halved to 127
    EXPECT_EQ(std::vector<float>({v[0].x, v[1].x, v[0].y, v[2].y, v[3].z, v[0].r}),
              std::vector<float>({left, left + 16, 21 - 300, 5 - 300, 800, 1}));
    EXPECT_EQ(draws[i].texture, 99);
  }
  const GlyphCell b = glyph_cell(34);
  const std::vector<RecordedVertex>& v = draws[1].vertices;
  EXPECT_EQ(std::vector<float>({v[0].s, v[1].s, v[1].t, v[2].t}), std::vector<float>({b.s0, b.s1, b.t0, b.t1}));
  // The viewport's left and top move the text with a border.
  f.e.viewport_box = {40, 30, 760, 570};
  EXPECT_FLOAT_EQ(f.text(5, 5, 16, "A")[0].vertices[2].y, 5.0f - 270);
  EXPECT_FLOAT_EQ(f.rec.draws[0].vertices[0].x, 5.0f - 360);
}

TEST(Text, LineIsCutAtTheViewportsRightAndNeedsAFont) {
  TextFrame f;
  EXPECT_EQ(f.text(760, 0, 16, "ABCDE").size(), 3u);  // pens 760, 776, 792
  EXPECT_EQ(f.text(800, 0, 16, "ABCDE").size(), 0u);
  EXPECT_EQ(f.text(-50, 0, 16, "ABCDE").size(), 5u);
  f.e.font_slot = -1;
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

TEST(Text, StatisticsLineMeasuresFramesPerSecondAndShowsOnRequestWhateverTheScene) {
  TextFrame f;
  // 128 frames a second for half a second, then 8 a second; a clock that
  // goes back starts the count again. The value changes twice a second.
  std::vector<int> shown;
  for (int i = 0; i <= 63; ++i) count_frame_rate(f.e, 50.0 + i / 128.0);
  shown.push_back(f.e.displayed_frames);
  count_frame_rate(f.e, 50.5);
  shown.push_back(f.e.displayed_frames);
  for (int i = 1; i <= 4; ++i) count_frame_rate(f.e, 50.5 + i / 8.0);
  shown.push_back(f.e.displayed_frames);
  count_frame_rate(f.e, 1.0), count_frame_rate(f.e, 1.25);
  shown.push_back(f.e.displayed_frames);
  EXPECT_EQ(shown, (std::vector<int>{0, 128, 8, 8}));
  char line[kStatisticsLineSize];
  format_statistics_line(f.e, line);
  EXPECT_STREQ(line, "8 [0 0 0] [0 0 0]");
  // A scene without FPS shows it only when the command line asks.
  f.e.fps = 0;
  EXPECT_TRUE(f.frame().empty());
  f.e.overrides.show_frame_rate = true;
  EXPECT_EQ(f.frame().size(), 17u);  // a square per character
}

TEST(Text, ScriptTextsShowOneAfterAnotherEachForItsFrames) {
  TextFrame f;
  f.e.script_running.store(1), f.e.text_parameters.width.store(20), f.e.text_parameters.red.store(100);
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
  const std::vector<RecordedVertex>& v = f.rec.draws[0].vertices;  // the position truncated
  EXPECT_EQ(std::vector<float>({v[0].x, v[1].x, v[2].y, v[0].r}), std::vector<float>({-300, -280, -100, 50 / 127.0f}));
  std::strcpy(f.e.events[0].text.data(), "D");
  EXPECT_EQ(f.frame().size(), 3u);
  // Nothing while the script is not running.
  queue_text(f.e, 0, 2, 0, 0, "E");
  f.e.script_running.store(0);
  EXPECT_TRUE(f.frame().empty());
  EXPECT_EQ(f.e.events[0].frames.load(), 2);
}

// Text is cut at the viewport's right in virtual units, so these rigs are 800
// pixels wide: one virtual unit is one pixel.
//
// A font of white glyphs but "A" (red) and the one after "_" (blue): a
// backquote, which has no glyph, repeats the one before it; the quote is
// glyph 7. The statistics line is green, of 16-unit glyphs from (5, 5).
TEST(Text, TextAppearsWherePlacedWithItsGlyphsAndTheStatisticsLineAtTheLowerLeft) {
  RenderRig rig(800, 600);
  Image font{256, 256, std::vector<std::uint8_t>(256 * 256 * 3, 255)};
  for (const auto& [glyph, colour] : {std::pair{33, std::array<std::uint8_t, 3>{255, 0, 0}}, {64, {0, 0, 255}}}) {
    const GlyphCell cell = glyph_cell(glyph);
    const int x0 = static_cast<int>(cell.s0 * 255 + 0.5f), y0 = static_cast<int>(cell.t0 * 255 + 0.5f);
    for (int y = y0; y < y0 + 16; ++y)
      for (int x = x0; x < x0 + 16; ++x) std::copy(colour.begin(), colour.end(), &font.rgb[(y * 256 + x) * 3u]);
  }
  rig.e.font_slot = rig.texture("ALFA", font);
  ASSERT_GE(rig.e.font_slot, 0);
  TextParameters& t = rig.e.text_parameters;
  rig.e.script_running.store(1), rig.e.fps = 1, t.width.store(40), t.height.store(40);
  queue_text(rig.e, 0, 5, 400, 300, "A`'");
  rig.frame();
  // Three 40-unit squares from the centre to the right and up: red, red,
  // white; nothing left of them, below them or right of them.
  const std::uint32_t a = rig.pixel(420, 320), backquote = rig.pixel(460, 320), quote = rig.pixel(500, 320);
  EXPECT_TRUE(red_of(a) > 240 && blue_of(a) < 8 && red_of(backquote) > 240 && blue_of(backquote) < 8) << std::hex
      << a << " " << backquote;
  EXPECT_GT(brightness_of(quote), 3 * 240) << std::hex << quote;
  EXPECT_TRUE(rig.black(380, 320) && rig.black(420, 290) && rig.black(530, 320));
  // "0 [0 0 0] [0 0 0]": 17 glyphs, x 5..277; y 5..21, which the view's
  // aspect puts on pixel rows 1..16.
  for (const auto& [x, y, lit] : {std::tuple{13, 13, true}, {270, 10, true}, {13, 19, false}, {285, 10, false}}) {
    const std::uint32_t p = rig.pixel(x, y);
    EXPECT_TRUE(lit ? red_of(p) < 8 && green_of(p) > 240 : rig.black(x, y)) << x << "," << y << std::hex << " " << p;
  }
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
    EXPECT_TRUE(font ? red_of(centre) < 8 && green_of(centre) > 240 && std::abs(blue_of(centre) - 100) < 8
                     : rig.black(400, 300)) << std::hex << centre;
  }
}

}  // namespace
}  // namespace kelvo::test
