#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "support/osmesa_context.h"

namespace kelvo {
namespace {

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

class TextureSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ctx_.ok());
    char dir_template[] = "/tmp/kelvo-tex-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    dir_ = dir_template;
    e_.paths.dir_temp = dir_ + "/";
    clear_texture_slots(e_);
    e_.log.to_callback([this](std::string_view line) { log_.emplace_back(line); });
  }

  void TearDown() override {
    free_textures(e_);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Writes NAME.3DF into the work directory: a square of the given texels,
  // row after row, bottom row first as GL sees it.
  void write_texture(const std::string& name, int side, const std::vector<Rgb>& texels) {
    Image image;
    image.width = image.height = side;
    for (const Rgb& t : texels) image.rgb.insert(image.rgb.end(), {t.r, t.g, t.b});
    std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    ASSERT_FALSE(bytes.empty());
    write_bytes(e_.paths.dir_temp + name + ".3DF", bytes);
  }

  void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }

  // Draws the texture of `slot` over the whole viewport, white modulated.
  void draw_full_screen(int slot) {
    glViewport(0, 0, ctx_.width(), ctx_.height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
    glColor3ub(255, 255, 255);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glFinish();
  }

  Rgb read_pixel(int x, int y) {
    std::uint8_t rgba[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
  }

  int used_slots() const {
    int n = 0;
    for (const TextureSlot& s : e_.texture_slots) n += s.used != 0;
    return n;
  }

  test::OsmesaContext ctx_{64, 64};
  Engine e_;
  std::string dir_;
  std::vector<std::string> log_;
};

const Rgb kRed{248, 0, 0}, kGreen{0, 252, 0}, kBlue{0, 0, 248}, kWhite{248, 252, 248};

TEST_F(TextureSlots, SameNameGivesTheSameSlotAndIsReadOnce) {
  write_texture("STONE", 2, {kRed, kGreen, kBlue, kWhite});
  write_texture("WOOD", 1, {kBlue});

  EXPECT_EQ(load_texture(e_, "STONE"), 0);
  const std::uint32_t gl_name = e_.texture_slots[0].gl_name;
  EXPECT_NE(gl_name, 0u);
  EXPECT_TRUE(glIsTexture(gl_name));
  EXPECT_EQ(e_.texture_slots[0].name, "STONE");
  EXPECT_EQ(e_.texture_slots[0].used, 1);

  // The file is gone: a second load can only come from the table.
  std::filesystem::remove(dir_ + "/STONE.3DF");
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
  for (int i = 0; i <= kTextureSlotCount; ++i) write_texture("T" + std::to_string(i), 1, {kRed});
  for (int i = 0; i < kTextureSlotCount; ++i) {
    ASSERT_EQ(load_texture(e_, "T" + std::to_string(i)), i);
  }
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

  // A header with carriage-return line ends is not a 3DF header.
  std::string crlf = "3df v1.1\r\nrgb565\r\nlod range: 1 1\r\naspect ratio: 1 1\r\n\xF8\x00";
  write_bytes(e_.paths.dir_temp + "CRLF.3DF", std::vector<std::uint8_t>(crlf.begin(), crlf.end()));
  EXPECT_EQ(load_texture_slot(e_, "CRLF"), -1);

  // A directory in the texture's place is not a texture file.
  std::filesystem::create_directory(dir_ + "/DIR.3DF");
  EXPECT_EQ(load_texture_slot(e_, "DIR"), -1);

  // Names that do not fit the 254-character field, and the empty name.
  EXPECT_EQ(load_texture_slot(e_, std::string(255, 'A')), -1);
  EXPECT_EQ(load_texture_slot(e_, ""), -1);
  EXPECT_EQ(load_texture_slot(e_, std::string("A\0B", 3)), -1);

  EXPECT_EQ(used_slots(), 0);
  for (const TextureSlot& s : e_.texture_slots) EXPECT_EQ(s.gl_name, 0u);
  EXPECT_EQ(log_.size(), 1u);  // load_texture_slot writes no log line
}

TEST_F(TextureSlots, LoadedTextureShowsItsTexelsOnAQuad) {
  e_.bilinear = 0;
  // Row 0 (bottom in GL): red, green; row 1: blue, white.
  write_texture("QUAD", 2, {kRed, kGreen, kBlue, kWhite});
  int slot = load_texture(e_, "QUAD");
  ASSERT_EQ(slot, 0);
  draw_full_screen(slot);
  EXPECT_EQ(read_pixel(16, 16), kRed);
  EXPECT_EQ(read_pixel(48, 16), kGreen);
  EXPECT_EQ(read_pixel(16, 48), kBlue);
  EXPECT_EQ(read_pixel(48, 48), kWhite);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureSlots, OddSizedTextureRowsAreNotShifted) {
  e_.bilinear = 0;
  // 3 x 3: rows of 9 bytes, which a 4-byte unpack alignment would skew.
  const std::vector<Rgb> texels = {kRed,  kGreen, kBlue,  kWhite, kRed,
                                   kGreen, kBlue, kWhite, kRed};
  write_texture("ODD", 3, texels);
  int slot = load_texture(e_, "ODD");
  ASSERT_EQ(slot, 0);
  draw_full_screen(slot);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(read_pixel(11 + 21 * x, 11 + 21 * y), texels[static_cast<std::size_t>(y * 3 + x)])
          << x << "," << y;
    }
  }
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // left as it was found
}

TEST_F(TextureSlots, FreeTexturesDeletesGlNamesAndKeepsTheTable) {
  write_texture("A", 1, {kRed});
  write_texture("B", 1, {kGreen});
  ASSERT_EQ(load_texture(e_, "A"), 0);
  ASSERT_EQ(load_texture(e_, "B"), 1);
  const GLuint a = e_.texture_slots[0].gl_name, b = e_.texture_slots[1].gl_name;
  ASSERT_TRUE(glIsTexture(a));
  ASSERT_TRUE(glIsTexture(b));

  log_.clear();
  free_textures(e_);
  EXPECT_FALSE(glIsTexture(a));
  EXPECT_FALSE(glIsTexture(b));
  EXPECT_EQ(e_.texture_slots[0].gl_name, 0u);
  EXPECT_EQ(e_.texture_slots[1].gl_name, 0u);
  EXPECT_EQ(e_.texture_slots[0].name, "A");
  EXPECT_EQ(e_.texture_slots[1].name, "B");
  EXPECT_EQ(e_.texture_slots[0].used, 1);
  EXPECT_EQ(e_.texture_slots[1].used, 1);
  EXPECT_EQ(log_, std::vector<std::string>{"free textures"});

  clear_texture_slots(e_);
  EXPECT_EQ(used_slots(), 0);
  EXPECT_EQ(e_.texture_slots[0].name, "");
}

TEST_F(TextureSlots, FiltersFollowBilinearWhenLoaded) {
  write_texture("SHARP", 1, {kRed});
  write_texture("SMOOTH", 1, {kRed});
  e_.bilinear = 0;
  int sharp = load_texture(e_, "SHARP");
  e_.bilinear = 1;
  int smooth = load_texture(e_, "SMOOTH");
  ASSERT_GE(sharp, 0);
  ASSERT_GE(smooth, 0);

  auto parameter = [&](int slot, GLenum name) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
  };
  EXPECT_EQ(parameter(sharp, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  EXPECT_EQ(parameter(sharp, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(parameter(smooth, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
  EXPECT_EQ(parameter(smooth, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(parameter(sharp, GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(parameter(sharp, GL_TEXTURE_WRAP_T), GL_REPEAT);
  GLint env = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  EXPECT_EQ(env, GL_MODULATE);
}

TEST_F(TextureSlots, UploadedSizeIsTheLargerHeaderNumber) {
  std::string text = "3df v1.1\ni8\nlod range: 64 128\naspect ratio: 2 1\n";
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.resize(bytes.size() + 128 * 128, 0x80);
  write_bytes(e_.paths.dir_temp + "BIG.3DF", bytes);
  int slot = load_texture(e_, "BIG");
  ASSERT_EQ(slot, 0);
  glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
  GLint width = 0, height = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  EXPECT_EQ(width, 128);
  EXPECT_EQ(height, 128);
}

TEST_F(TextureSlots, FileLoadAndFontUseTheSameTable) {
  write_texture("ALFA", 1, {kWhite});
  const std::string logo = dir_ + "/elsewhere.bin";
  Image image;
  image.width = image.height = 1;
  image.rgb = {0, 0, 248};
  write_bytes(logo, encode_3df(image, TexelFormat::rgb565));

  EXPECT_EQ(load_texture_file(e_, "KLV", logo), 0);
  EXPECT_EQ(e_.texture_slots[0].name, "KLV");
  EXPECT_EQ(load_texture_file(e_, "GONE", dir_ + "/nothing.3DF"), -1);
  EXPECT_TRUE(log_.empty());

  load_font_texture(e_);
  EXPECT_EQ(e_.font_slot, 1);
  EXPECT_EQ(e_.texture_slots[1].name, "ALFA");
  EXPECT_EQ(log_, std::vector<std::string>{"tex loaded ALFA slot 1"});
}

}  // namespace
}  // namespace kelvo
