// Texture slots: the name table, loading into GL and what a textured quad
// shows in a real GL context.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
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
    Image image;
    image.width = image.height = static_cast<int>(std::lround(std::sqrt(texels.size())));
    for (const Rgb& t : texels) image.rgb.insert(image.rgb.end(), t.begin(), t.end());
    const std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    ASSERT_FALSE(bytes.empty());
    dir_.write(file, std::string(bytes.begin(), bytes.end()));
  }
  int used_slots() const {
    int n = 0;
    for (const TextureSlot& s : e_.texture_slots) n += s.used != 0;
    return n;
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
  EXPECT_EQ(e_.texture_slots[0].name, "STONE");
  EXPECT_EQ(e_.texture_slots[0].used, 1);
  // The file is gone: a second load can only come from the table.
  std::filesystem::remove(dir_.file("STONE.3DF"));
  EXPECT_EQ(load_texture(e_, "STONE"), 0);
  EXPECT_EQ(e_.texture_slots[0].gl_name, gl_name);
  EXPECT_EQ(load_texture(e_, "WOOD"), 1);
  // Names compare case-sensitively: "stone" is another texture, with no file.
  EXPECT_EQ(load_texture(e_, "stone"), -1);
  EXPECT_EQ(used_slots(), 2);
  EXPECT_EQ(log_, (std::vector<std::string>{"tex loaded STONE slot 0", "tex loaded STONE slot 0",
                                            "tex loaded WOOD slot 1", "tex failed stone"}));
}

TEST_F(TextureSlots, FiftyFirstDistinctNameFindsNoSlot) {
  for (int i = 0; i <= kTextureSlotCount; ++i) write_texture("T" + std::to_string(i) + ".3DF", {kRed});
  for (int i = 0; i < kTextureSlotCount; ++i) ASSERT_EQ(load_texture(e_, "T" + std::to_string(i)), i);
  EXPECT_EQ(load_texture(e_, "T50"), -1);
  EXPECT_EQ(log_.back(), "tex failed T50");
  // Names already in the table are still found.
  EXPECT_EQ(load_texture(e_, "T49"), 49);
  EXPECT_EQ(load_texture(e_, "T0"), 0);
  EXPECT_EQ(used_slots(), kTextureSlotCount);
}

TEST_F(TextureSlots, NullAndUnloadableNamesGiveNoSlot) {
  EXPECT_EQ(load_texture(e_, "NULL"), -1);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(load_texture(e_, "MISSING"), -1);
  EXPECT_EQ(log_, std::vector<std::string>{"tex failed MISSING"});
  // A header with carriage-return line ends is not a 3DF header; a directory
  // is not a texture file; names that do not fit the 254-character field, the
  // empty name and names holding a zero byte are refused.
  dir_.write("CRLF.3DF", "3df v1.1\r\nrgb565\r\nlod range: 1 1\r\naspect ratio: 1 1\r\n\xF8");
  std::filesystem::create_directory(dir_.file("DIR.3DF"));
  for (const std::string& name : {std::string("CRLF"), std::string("DIR"), std::string(255, 'A'), std::string(),
                                  std::string("A\0B", 3)}) {
    EXPECT_EQ(load_texture_slot(e_, name), -1) << name.size();
  }
  EXPECT_EQ(used_slots(), 0);
  for (const TextureSlot& s : e_.texture_slots) EXPECT_EQ(s.gl_name, 0u);
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
  glDisable(GL_TEXTURE_2D);
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

TEST_F(TextureSlots, GlParametersFollowBilinearAndTheHeaderSize) {
  write_texture("SHARP.3DF", {kRed});
  // The side uploaded is the larger of the header's two numbers.
  std::string big = "3df v1.1\ni8\nlod range: 64 128\naspect ratio: 2 1\n";
  dir_.write("SMOOTH.3DF", big + std::string(128 * 128, '\x80'));
  e_.bilinear = 0;
  const int sharp = load_texture(e_, "SHARP");
  e_.bilinear = 1;
  const int smooth = load_texture(e_, "SMOOTH");
  ASSERT_EQ(std::make_pair(sharp, smooth), std::make_pair(0, 1));
  auto parameter = [&](int slot, GLenum name) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
  };
  for (GLenum filter : {GL_TEXTURE_MAG_FILTER, GL_TEXTURE_MIN_FILTER}) {
    EXPECT_EQ(parameter(sharp, filter), GL_NEAREST);
    EXPECT_EQ(parameter(smooth, filter), GL_LINEAR);
  }
  EXPECT_EQ(std::make_pair(parameter(sharp, GL_TEXTURE_WRAP_S), parameter(sharp, GL_TEXTURE_WRAP_T)),
            std::make_pair(GL_REPEAT, GL_REPEAT));
  GLint env = 0, width = 0, height = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  EXPECT_EQ(env, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, e_.texture_slots[smooth].gl_name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(128, 128));
}

TEST_F(TextureSlots, FreeTexturesDeletesGlNamesAndKeepsTheTable) {
  write_texture("A.3DF", {kRed});
  write_texture("B.3DF", {kGreen});
  ASSERT_EQ(load_texture(e_, "A"), 0);
  ASSERT_EQ(load_texture(e_, "B"), 1);
  const GLuint gl_names[2] = {e_.texture_slots[0].gl_name, e_.texture_slots[1].gl_name};
  log_.clear();
  free_textures(e_);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(glIsTexture(gl_names[i]));
    EXPECT_EQ(e_.texture_slots[i].gl_name, 0u);
    EXPECT_EQ(e_.texture_slots[i].name, i ? "B" : "A");
    EXPECT_EQ(e_.texture_slots[i].used, 1);
  }
  EXPECT_EQ(log_, std::vector<std::string>{"free textures"});
  clear_texture_slots(e_);
  EXPECT_EQ(used_slots(), 0);
  EXPECT_EQ(e_.texture_slots[0].name, "");
}

}  // namespace
}  // namespace kelvo
