// The SDL platform's geometry, which needs no display.
#include "host/sdl_platform.h"

#include <gtest/gtest.h>

#include <array>

namespace kelvo {
namespace {

TEST(SdlPlatformFit, KeepsTheAspectRatioWithCentredBars) {
  struct Case {
    int src_w, src_h, dst_w, dst_h;
    FitRect expected;
  };
  const Case cases[] = {
      {800, 600, 800, 600, {0, 0, 800, 600}},        // exact fit
      {800, 600, 1600, 1200, {0, 0, 1600, 1200}},    // same shape, larger
      {800, 600, 1920, 1080, {240, 0, 1440, 1080}},  // 4:3 on 16:9: bars left and right
      {640, 480, 1280, 1024, {0, 32, 1280, 960}},    // 4:3 on 5:4: bars top and bottom
      {1920, 1080, 800, 600, {0, 75, 800, 450}},     // larger than the target
      {1024, 768, 1366, 768, {171, 0, 1024, 768}},   // a laptop screen
      {700, 500, 1000, 1000, {0, 143, 1000, 714}},   // 714.28 rounds down
      {300, 700, 1000, 1000, {285, 0, 429, 1000}},   // 428.57 rounds up; the odd pixel goes right
      {0, 600, 800, 600, {}},                        // empty sizes give an empty rect
      {800, 0, 800, 600, {}},
      {800, 600, 0, 600, {}},
      {800, 600, 800, -1, {}},
  };
  for (const Case& c : cases) {
    const FitRect r = fit_letterboxed(c.src_w, c.src_h, c.dst_w, c.dst_h);
    SCOPED_TRACE(testing::Message() << c.src_w << "x" << c.src_h << " in " << c.dst_w << "x" << c.dst_h);
    EXPECT_EQ((std::array{r.x, r.y, r.width, r.height}),
              (std::array{c.expected.x, c.expected.y, c.expected.width, c.expected.height}));
  }
}

}  // namespace
}  // namespace kelvo
