// Whole frames drawn into a small software GL context, judged by their
// pixels.
#include <gtest/gtest.h>

#include "render/render_rig.h"

namespace kelvo::test {
namespace {

TEST(RenderPixels, VisibleObjectCoversTheCentreAndHiddenOneLeavesTheBackground) {
  for (int visible : {1, 0}) {
    RenderRig rig;
    add_object(rig.e, facing_square(-20, -20, 20, 20, 100, 127, 0, 0)).visible = visible;
    rig.frame();
    const std::uint32_t centre = rig.pixel(80, 60);  // red, and nothing outside the square
    EXPECT_TRUE(visible ? red_of(centre) > 240 && green_of(centre) < 8 && rig.black(2, 2) : rig.lit_pixels() == 0);
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
    SCOPED_TRACE(testing::Message() << c.z << " fixed " << c.fixed);
    RenderRig rig;
    rig.e.Fog = 1, rig.e.fog_near = 100, rig.e.fog_far = 1000, rig.e.fog_colour = {0, 0, 255};
    view_setup(rig.e, rig.platform);
    add_object(rig.e, facing_square(-c.half, -c.half, c.half, c.half, c.z, 127, 0, 0)).fixed = c.fixed;
    rig.frame();
    const std::uint32_t centre = rig.pixel(80, 60);
    // Fogged: faded towards blue, not gone.
    EXPECT_TRUE(c.fogged ? blue_of(centre) > 3 * red_of(centre) && red_of(centre) > 0
                         : red_of(centre) > 3 * blue_of(centre)) << std::hex << centre;
    EXPECT_EQ(rig.pixel(1, 1), 0x0000FF00u);  // cleared to the fog colour
  }
}

TEST(RenderPixels, LogoAppearsInTheLowerLeftCornerOnlyWithLogoOn) {
  for (int on : {1, 0}) {
    RenderRig rig;
    rig.e.logo_slot = rig.texture("KLV", 255, 255, 255);
    ASSERT_GE(rig.e.logo_slot, 0);
    // As the program sets them: a 64-unit square at the lower left.
    rig.e.logo_corners = {Vec3{-400, -236, 800}, Vec3{-336, -236, 800}, Vec3{-336, -300, 800}, Vec3{-400, -300, 800}};
    rig.e.LOGO = on;
    rig.frame();
    EXPECT_EQ(brightness_of(rig.pixel(5, 5)) > 3 * 240, on == 1);
    EXPECT_TRUE(rig.black(30, 5) && rig.black(5, 30));  // nothing right of it or above it
  }
}

}  // namespace
}  // namespace kelvo::test
