// Texture slots: the name table, loading into GL and what a textured quad
// shows in a real GL context.
#include "model/texture_slots.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "model/texture_3df_write.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Rgb = std::array<std::uint8_t, 3>;
const Rgb kRed{248, 0, 0}, kGreen{0, 252, 0}, kBlue{0, 0, 248}, kWhite{248, 252, 248};

class TextureSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ctx_.ok());
    e_.paths.dir_temp = dir_.path();
    clear_texture_slots(e_);
    e_.log.to_callback([this](std::string_view line) { log_.emplace_back(line); });
  }
  void TearDown() override { free_textures(e_); }

  // Writes FILE (NAME.3DF in the work directory): a square of the given
  // texels, row after row, bottom row first as GL sees it.
  void write_texture(const std::string& file, const std::vector<Rgb>& texels) {
    const int side = static_cast<int>(std::lround(std::sqrt(texels.size())));
    Image image{side, side, {}};
    for (const Rgb& t : texels) image.rgb.insert(image.rgb.end(), t.begin(), t.end());
    const std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    dir_.write(file, std::string(bytes.begin(), bytes.end()));
  }
  int used_slots() const {
    return static_cast<int>(std::count_if(e_.texture_slots.begin(), e_.texture_slots.end(),
                                          [](const TextureSlot& s) { return s.used != 0; }));
  }

  test::OsmesaContext ctx_{63, 63};
  test::TempDir dir_;
  Engine e_;
  std::vector<std::string> log_;
};

TEST_F(TextureSlots, SameNameGivesTheSameSlotAndIsReadOnce) {
  write_texture("STONE.3DF", {kRed, kGreen, kBlue, kWhite});
  write_texture("WOOD.3DF", {kBlue});
  EXPECT_EQ(load_texture(e_, "STONE"), 0);
  const std::uint32_t gl_name = e_.texture_slots[0].gl_name;
  EXPECT_TRUE(glIsTexture(gl_name));
  EXPECT_EQ(std::make_pair(e_.texture_slots[0].name, e_.texture_slots[0].used),
            std::make_pair(std::string("STONE"), 1));
  // The file is gone: a second load can only come from the table.
  std::filesystem::remove(dir_.file("STONE.3DF"));
  EXPECT_EQ(load_texture(e_, "STONE"), 0);
  EXPECT_EQ(e_.texture_slots[0].gl_name, gl_name);
  EXPECT_EQ(load_texture(e_, "WOOD"), 1);
  EXPECT_EQ(load_texture(e_, "stone"), -1);  // another texture, with no file
  EXPECT_EQ(used_slots(), 2);
}

TEST_F(TextureSlots, FiftyFirstDistinctNameFindsNoSlotButKnownNamesAreStillFound) {
  for (int i = 0; i <= kTextureSlotCount; ++i) write_texture("T" + std::to_string(i) + ".3DF", {kRed});
  for (int i = 0; i < kTextureSlotCount; ++i) ASSERT_EQ(load_texture(e_, "T" + std::to_string(i)), i);
  EXPECT_EQ(load_texture(e_, "T50"), -1);
  EXPECT_EQ(std::make_pair(load_texture(e_, "T49"), used_slots()), std::make_pair(49, kTextureSlotCount));
}

TEST_F(TextureSlots, NullAndUnloadableNamesGiveNoSlot) {
  EXPECT_EQ(load_texture(e_, "NULL"), -1);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(load_texture(e_, "MISSING"), -1);
  EXPECT_EQ(log_, std::vector<std::string>{"tex failed MISSING"});
  // A directory is not a texture file; names that do not fit the
  // 254-character field, the empty name and names holding a zero byte are refused.
  std::filesystem::create_directory(dir_.file("DIR.3DF"));
  for (const std::string& name : {std::string("DIR"), std::string(255, 'A'), std::string(), std::string("A\0B", 3)})
    EXPECT_EQ(load_texture_slot(e_, name), -1) << name.size();
  EXPECT_EQ(used_slots(), 0);
  EXPECT_EQ(log_.size(), 1u);  // load_texture_slot writes no log line
}

TEST_F(TextureSlots, LoadedTextureShowsItsTexelsOnAQuadWithOddRowsNotShifted) {
  e_.bilinear = 0;
  // 3 x 3: rows of 9 bytes, which a 4-byte unpack alignment would skew.
  const std::vector<Rgb> texels = {kRed, kGreen, kBlue, kWhite, kRed, kGreen, kBlue, kWhite, kRed};
  write_texture("ODD.3DF", texels);
  const int slot = load_texture(e_, "ODD");
  ASSERT_EQ(slot, 0);
  glViewport(0, 0, 63, 63);
  glClearColor(0.5f, 0.5f, 0.5f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
  glColor3ub(255, 255, 255);
  glBegin(GL_QUADS);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}, std::pair{0, 1}}) {
    glTexCoord2f(static_cast<float>(x), static_cast<float>(y));
    glVertex2f(x * 2.0f - 1, y * 2.0f - 1);
  }
  glEnd();
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  for (int i = 0; i < 9; ++i) {
    std::uint8_t rgba[4] = {};
    glReadPixels(10 + 21 * (i % 3), 10 + 21 * (i / 3), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ((Rgb{rgba[0], rgba[1], rgba[2]}), texels[static_cast<std::size_t>(i)]) << i;
  }
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // left as it was found
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureSlots, FiltersFollowBilinearAndFreeTexturesKeepsTheTable) {
  write_texture("SHARP.3DF", {kRed});
  write_texture("SMOOTH.3DF", {kRed});
  e_.bilinear = 0;
  ASSERT_EQ(load_texture(e_, "SHARP"), 0);
  e_.bilinear = 1;
  ASSERT_EQ(load_texture(e_, "SMOOTH"), 1);
  for (int slot : {0, 1}) {
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, slot ? GL_LINEAR : GL_NEAREST);
  }
  // Freeing deletes the GL names but keeps the names in the table.
  const GLuint gl_name = e_.texture_slots[0].gl_name;
  log_.clear();
  free_textures(e_);
  EXPECT_FALSE(glIsTexture(gl_name));
  EXPECT_EQ(std::make_tuple(e_.texture_slots[0].gl_name, e_.texture_slots[0].name, e_.texture_slots[0].used),
            std::make_tuple(0u, std::string("SHARP"), 1));
  EXPECT_EQ(log_, std::vector<std::string>{"free textures"});
  clear_texture_slots(e_);
  EXPECT_EQ(std::make_pair(used_slots(), e_.texture_slots[0].name), std::make_pair(0, std::string()));
}

}  // namespace
}  // namespace kelvo
