// Whole frames drawn into a small software GL context, judged by their
// pixels.
#include <gtest/gtest.h>

#include "render/gl_recorder.h"
#include "render/render_rig.h"

namespace kelvo::test {
namespace {

constexpr std::uint32_t kBlack = 0x00000000u;

TEST(RenderPixels, VisibleObjectCoversTheCentreAndHiddenOneLeavesTheBackground) {
  for (int visible : {1, 0}) {
    RenderRig rig;
    add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 127, 0, 0)).visible = visible;
    rig.frame();
    const std::uint32_t centre = rig.pixel(80, 60);
    if (visible) {
      EXPECT_GT(red_of(centre), 240);
      EXPECT_LT(green_of(centre), 8);
      EXPECT_EQ(rig.pixel(2, 2) & 0xFFFFFF00u, kBlack);  // outside the square
    } else {
      EXPECT_EQ(rig.pixels_unlike(kBlack), 0);
    }
    EXPECT_EQ(rig.platform.swaps, 2);  // the loading screen, then the frame
  }
}

TEST(RenderPixels, FogFadesAFarFaceTowardsTheFogColourButNotAFixedOne) {
  struct Case {
    float z, half;
    int fixed;
    bool fogged;
  };
  for (const Case c : {Case{110, 30, 0, false}, Case{900, 300, 0, true}, Case{900, 300, 1, false}}) {
    RenderRig rig;
    rig.e.Fog = 1;
    rig.e.fog_near = 100;
    rig.e.fog_far = 1000;
    rig.e.fog_colour = {0, 0, 255};
    rig.view();
    add_object(rig.e, facing_square(-c.half, -c.half, c.half, c.half, c.z, 127, 0, 0)).fixed = c.fixed;
    rig.frame();
    const std::uint32_t centre = rig.pixel(80, 60);
    if (c.fogged) {
      EXPECT_GT(blue_of(centre), 3 * red_of(centre)) << c.z;
      EXPECT_GT(red_of(centre), 0) << c.z;  // faded, not gone
    } else {
      EXPECT_GT(red_of(centre), 3 * blue_of(centre)) << c.z << " fixed " << c.fixed;
    }
    EXPECT_EQ(rig.pixel(1, 1), 0x0000FF00u);  // cleared to the fog colour
  }
}

TEST(RenderPixels, LogoAppearsInTheLowerLeftCornerOnlyWithLogoOn) {
  for (int on : {1, 0}) {
    RenderRig rig;
    rig.e.logo_slot = rig.texture("KLV", 255, 255, 255);
    ASSERT_GE(rig.e.logo_slot, 0);
    // As the program sets them: a 64-unit square at the lower left.
    const float dx = -400, dy = -300;
    rig.e.logo_corners = {Vec3{0 + dx, 64 + dy, 800}, Vec3{64 + dx, 64 + dy, 800}, Vec3{64 + dx, 0 + dy, 800},
                          Vec3{0 + dx, 0 + dy, 800}};
    rig.e.LOGO = on;
    rig.frame();
    if (on) {
      EXPECT_GT(brightness_of(rig.pixel(5, 5)), 3 * 240);
      EXPECT_EQ(rig.pixel(30, 5) & 0xFFFFFF00u, kBlack);   // right of it
      EXPECT_EQ(rig.pixel(5, 30) & 0xFFFFFF00u, kBlack);   // above it
    } else {
      EXPECT_EQ(rig.pixels_unlike(kBlack), 0);
    }
  }
}

TEST(RenderPixels, DrawModeThreeDrawsOpenOutlinesInsteadOfFilledFaces) {
  int covered[2];
  for (int lines : {0, 1}) {
    RenderRig rig;
    rig.e.draw_mode = lines ? 3 : 1;
    add_object(rig.e, facing_square(-40, -30, 40, 30, 100, 127, 127, 127));
    rig.frame();
    covered[lines] = rig.pixels_unlike(kBlack);
    if (lines) {
      // The strip runs top, right, bottom: the left side stays open.
      int right = 0, left = 0;
      for (int x = 140; x <= 148; ++x) right += (rig.pixel(x, 60) & 0xFFFFFF00u) != kBlack;
      for (int x = 12; x <= 20; ++x) left += (rig.pixel(x, 60) & 0xFFFFFF00u) != kBlack;
      EXPECT_GT(right, 0);
      EXPECT_EQ(left, 0);
    }
  }
  EXPECT_GT(covered[0], 160 * 120 / 2);
  EXPECT_GT(covered[1], 0);
  EXPECT_LT(covered[1], 160 * 120 / 20);
}

TEST(RenderPixels, RecordingLayerCanPassTheCallsOnToGl) {
  RenderRig rig;
  add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 0, 127, 0));
  GlRecorder recorder(true);
  rig.frame();
  EXPECT_FALSE(recorder.draws.empty());
  EXPECT_GT(green_of(rig.pixel(80, 60)), 240);
}

TEST(RenderPixels, TexturedFaceIsModulatedByItsColour) {
  RenderRig rig;
  const int slot = rig.texture("WALL", 255, 128, 0);
  Object& o = add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 127, 127, 127));
  o.faces[0].texture_frames[0] = static_cast<std::uint16_t>(slot);
  rig.frame();
  const std::uint32_t centre = rig.pixel(80, 60);
  EXPECT_GT(red_of(centre), 240);
  EXPECT_NEAR(green_of(centre), 128, 8);
  EXPECT_LT(blue_of(centre), 8);
}

}  // namespace
}  // namespace kelvo::test
