// The demo package as the build makes it: the scene loads without problems
// and uses every feature of the renderer; the generated font follows the text
// overlay's layout; textures, models and the thumbnail have the properties
// the scene relies on; and kelvo.pak holds exactly the generated folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "model/texture_slots.h"
#include "model/three_ds.h"
#include "package/extract.h"
#include "scene/engine_state.h"
#include "scene/problems.h"
#include "scene/scene_file.h"
#include "support/osmesa_context.h"

#if !defined(KELVO_DEMO_DIR) || !defined(KELVO_DEMO_PAK) || !defined(KELVO_DEMO_PAK_BESIDE_PLAYER)
#error "KELVO_DEMO_DIR, KELVO_DEMO_PAK and KELVO_DEMO_PAK_BESIDE_PLAYER must name the built demo files"
#endif

namespace kelvo {
namespace {

namespace fs = std::filesystem;

const std::string kDir = std::string(KELVO_DEMO_DIR) + "/";

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Image texture(const std::string& name) {
  std::optional<Image> image = read_3df(kDir + name + ".3DF");
  EXPECT_TRUE(image.has_value()) << name;
  return image.value_or(Image{});
}

// ------------------------------------------------------------ the scene --

class DemoScene : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl_.ok());
    e_.paths.dir_temp = kDir;
    e_.viewport_box = {0, 0, 800, 600};
    engine_init(e_);
    clear_texture_slots(e_);
    load_font_texture(e_);
    load_scene(e_, "SCENE1");
  }
  void TearDown() override {
    free_textures(e_);
    free_all(e_);
  }

  template <typename Pred>
  bool any_object(Pred pred) const {
    return std::any_of(e_.objects.begin(), e_.objects.end(), pred);
  }

  test::OsmesaContext gl_{64, 64};
  Engine e_;
};

TEST_F(DemoScene, LoadsWithoutProblems) {
  for (const Problem& p : e_.problems) ADD_FAILURE() << format_problem(p);
  EXPECT_GE(e_.object_count, 10);
  EXPECT_EQ(e_.object_count, static_cast<std::int32_t>(e_.objects.size()));
  EXPECT_GE(e_.font_slot, 0);
}

TEST_F(DemoScene, UsesEverySurfaceFeature) {
  const auto textured = [](const Face& f) { return f.texture_frames[0] != kNoTexture16; };
  const auto coloured = [](const Face& f) {
    return f.texture_frames[0] == kNoTexture16 && !(f.red == f.green && f.green == f.blue);
  };
  EXPECT_TRUE(any_object([&](const Object& o) { return std::any_of(o.faces.begin(), o.faces.end(), textured); }));
  EXPECT_TRUE(any_object([&](const Object& o) { return std::any_of(o.faces.begin(), o.faces.end(), coloured); }));
  // Texture animation: frames after the first, and a speed.
  EXPECT_TRUE(any_object([](const Object& o) {
    return o.tex_speed > 0 && std::any_of(o.faces.begin(), o.faces.end(), [](const Face& f) {
             return f.texture_frames[1] != kNoTexture16 && f.texture_frames[7] != kNoTexture16;
           });
  }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.tex_shift[0] != 0 || o.tex_shift[1] != 0; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.tex_evmap >= 0 && o.tex_env > 0; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.bump_level > 0 && o.bump_tex[0] >= 0 && o.bump_tex[1] >= 0; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.chromakey != 0 && o.chroma_tex >= 0; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.tex_mask >= 0; }));
  for (int mode : {1, 2, 3})
    EXPECT_TRUE(any_object([mode](const Object& o) { return o.ghoul_mode == mode; })) << "ghoul mode " << mode;
  EXPECT_TRUE(any_object([](const Object& o) { return o.object_bilinear == 0; }));
  // Objects fixed to the camera's position, and fixed on the screen.
  EXPECT_TRUE(any_object([](const Object& o) { return o.fixed == 1; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.fixed == 2; }));
  // Moving objects: spinning and orbiting.
  EXPECT_TRUE(any_object([](const Object& o) { return o.rot_speed.y != 0 && o.orbit_speed.y == 0; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.orbit_speed.y != 0; }));
  EXPECT_EQ(e_.objects_move_switch, 1);
}

TEST_F(DemoScene, UsesEveryLightAndEffect) {
  EXPECT_GE(e_.light_count, 1);
  EXPECT_EQ(e_.light_switch, 1);
  EXPECT_EQ(e_.phong, 1);
  EXPECT_TRUE(any_object([](const Object& o) { return o.shadow_cast > 0; }));
  EXPECT_TRUE(any_object([](const Object& o) { return o.halo_dim > 0 && o.halo_tex[0] >= 0 && o.halo_tex[1] >= 0; }));
  EXPECT_EQ(e_.halo_switch, 1);
  EXPECT_TRUE(any_object([](const Object& o) { return o.flare_dim > 0; }));
  EXPECT_EQ(e_.flare_switch, 1);
  for (int slot : e_.lens_slots) EXPECT_GE(slot, 0);
  ASSERT_EQ(e_.particle_system_count, 2);
  for (const ParticleSystem& s : e_.particle_systems) {
    EXPECT_GE(s.texture_slot, 0);
    EXPECT_GT(s.count, 0);
    EXPECT_GT(s.velocity.y, 0);  // fountains rise
  }
  EXPECT_EQ(e_.particle_switch, 1);
  // A deep-blue fog.
  EXPECT_EQ(e_.Fog, 1);
  EXPECT_LT(e_.fog_near, e_.fog_far);
  EXPECT_GT(e_.fog_colour[2], 2 * std::max(e_.fog_colour[0], e_.fog_colour[1]));
  EXPECT_EQ(e_.perspective_switch, 1);
}

TEST(DemoScript, ShowsTextsAndMovesTheCamera) {
  const std::string script = read_bytes(kDir + "SCRIPT1.TXT");
  EXPECT_NE(script.find("draw_text"), std::string::npos);
  EXPECT_NE(script.find("set_textparams"), std::string::npos);
  EXPECT_NE(script.find("move_camera"), std::string::npos);
  ASSERT_FALSE(script.empty());
  EXPECT_EQ(script.back(), '\n');  // the last line keeps its last character
}

// ------------------------------------------------------------ the font --

constexpr int kCellCount = 96;

std::string glyph_table() {
  std::string t;
  for (int c = 32; c <= 95; ++c) t += static_cast<char>(c);
  t += '\'';
  for (int c = 97; c <= 126; ++c) t += static_cast<char>(c);
  t += ' ';
  return t;
}

int glyph_index(char c) { return static_cast<int>(glyph_table().find(c)); }

// The grey of texel (x, y) of glyph k's cell.
int cell_texel(const Image& font, int k, int x, int y) {
  const int tx = (k % 16) * 16 + x, ty = 32 + (k / 16) * 16 + y;
  return font.rgb[(static_cast<std::size_t>(ty) * font.width + tx) * 3];
}

// The first and last rows of a cell that hold ink; -1, -1 when none.
std::pair<int, int> ink_rows(const Image& font, int k) {
  int first = -1, last = -1;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (cell_texel(font, k, x, y) > 64) {
        if (first < 0) first = y;
        last = y;
      }
  return {first, last};
}

TEST(DemoFont, FollowsTheTextOverlayLayout) {
  const Image font = texture("ALFA");
  ASSERT_EQ(font.width, 256);
  ASSERT_EQ(font.height, 256);
  // Nothing outside the six rows of cells from texel row 32.
  for (int y = 0; y < 256; ++y) {
    if (y >= 32 && y < 32 + 6 * 16) continue;
    for (int x = 0; x < 256; ++x) ASSERT_EQ(font.rgb[(static_cast<std::size_t>(y) * 256 + x) * 3], 0) << x << "," << y;
  }
  const std::string table = glyph_table();
  ASSERT_EQ(table.size(), static_cast<std::size_t>(kCellCount));
  for (int k = 0; k < kCellCount; ++k) {
    SCOPED_TRACE(std::string("glyph ") + table[static_cast<std::size_t>(k)]);
    const auto [first, last] = ink_rows(font, k);
    EXPECT_EQ(first < 0, table[static_cast<std::size_t>(k)] == ' ');
    // A free border round every cell keeps the neighbours apart.
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(cell_texel(font, k, i, 0), 0);
      EXPECT_EQ(cell_texel(font, k, i, 15), 0);
      EXPECT_EQ(cell_texel(font, k, 0, i), 0);
      EXPECT_EQ(cell_texel(font, k, 15, i), 0);
    }
  }
  // The quote's second cell (in the backquote's place) is drawn as a quote.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(cell_texel(font, 64, x, y), cell_texel(font, 7, x, y));
}

TEST(DemoFont, GlyphsStandUprightOnOneBaseline) {
  const Image font = texture("ALFA");
  ASSERT_EQ(font.width, 256);
  const auto a = ink_rows(font, glyph_index('a'));
  const auto big_a = ink_rows(font, glyph_index('A'));
  const auto g = ink_rows(font, glyph_index('g'));
  const auto x = ink_rows(font, glyph_index('x'));
  const auto underscore = ink_rows(font, glyph_index('_'));
  const auto quote = ink_rows(font, glyph_index('\''));
  EXPECT_LT(big_a.first, a.first);     // capitals are taller, so the top is up
  EXPECT_EQ(a.second, x.second);       // lower case sits on the baseline
  EXPECT_EQ(big_a.second, a.second);
  EXPECT_GT(g.second, a.second);       // descenders go below it
  EXPECT_GT(underscore.first, a.first);
  EXPECT_LT(quote.second, a.second);
  // Uppercase letters fill most of the cell's height.
  EXPECT_GE(big_a.second - big_a.first + 1, 9);
}

// ------------------------------------------------------- other textures --

TEST(DemoTextures, ComeInTheirPairsAndFrames) {
  // The chroma key is white exactly where the emblem shows its key colour.
  const Image star = texture("STAR"), key = texture("STARKEY");
  ASSERT_EQ(star.rgb.size(), key.rgb.size());
  int keyed = 0, opaque = 0;
  for (std::size_t i = 0; i < key.rgb.size(); i += 3) {
    const int brightest = std::max({star.rgb[i], star.rgb[i + 1], star.rgb[i + 2]});
    if (key.rgb[i] > 250) {
      ++keyed;
      EXPECT_LT(brightest, 10);
    } else if (key.rgb[i] < 5) {
      ++opaque;
      EXPECT_GT(brightest, 40);
    }
  }
  EXPECT_GT(keyed, static_cast<int>(key.rgb.size() / 3 / 4));
  EXPECT_GT(opaque, static_cast<int>(key.rgb.size() / 3 / 8));

  // The bump pair: one height map and its inverse.
  const Image b1 = texture("BUMP1"), b2 = texture("BUMP2");
  ASSERT_EQ(b1.rgb.size(), b2.rgb.size());
  int lo = 255, hi = 0;
  for (std::size_t i = 0; i < b1.rgb.size(); ++i) {
    EXPECT_NEAR(b1.rgb[i] + b2.rgb[i], 255, 1) << i;
    lo = std::min<int>(lo, b1.rgb[i]);
    hi = std::max<int>(hi, b1.rgb[i]);
  }
  EXPECT_GT(hi - lo, 100);

  // Eight animation frames, each different from the one before.
  std::vector<Image> frames;
  for (int i = 1; i <= 8; ++i) frames.push_back(texture("PLASMA" + std::to_string(i)));
  for (std::size_t i = 0; i < frames.size(); ++i)
    EXPECT_NE(frames[i].rgb, frames[(i + 1) % frames.size()].rgb) << "frame " << i + 1;

  // Glows are dark at the edge and bright in the middle (they are added).
  for (const char* name : {"LENS1", "LENS3", "GLOW1", "GLOW2", "GLOW3", "GLOW4", "SPARK", "PARTICLE"}) {
    const Image glow = texture(name);
    ASSERT_GT(glow.width, 0) << name;
    const std::size_t centre = (static_cast<std::size_t>(glow.height / 2) * glow.width + glow.width / 2) * 3;
    EXPECT_GT(glow.rgb[centre], 200) << name;
    EXPECT_LT(glow.rgb[0], 8) << name;
  }
}

// ------------------------------------------------------------ models --

ThreeDsModel model(const std::string& name) {
  std::string reason;
  std::optional<ThreeDsModel> m = read_3ds(kDir + name + ".3DS", &reason);
  EXPECT_TRUE(m.has_value()) << name << ": " << reason;
  return m.value_or(ThreeDsModel{});
}

struct V3 {
  double x, y, z;
};
V3 at(const ThreeDsMesh& mesh, std::uint16_t i) { return {mesh.vertices[i].x, mesh.vertices[i].y, mesh.vertices[i].z}; }
V3 sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Calls f(normal, centroid) for every face of a mesh; the normal is
// (V1 - V0) x (V2 - V0), which the engine treats as the front side.
template <typename F>
void each_face(const ThreeDsMesh& mesh, F f) {
  for (const ThreeDsFace& face : mesh.faces) {
    const V3 a = at(mesh, face.a), b = at(mesh, face.b), c = at(mesh, face.c);
    f(cross(sub(b, a), sub(c, a)), V3{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3});
  }
}

TEST(DemoModels, FaceOutwardsAndPutTheirAnchorsFirst) {
  // The torus: every face turns away from the ring through its tube.
  const ThreeDsModel ring = model("RING");
  ASSERT_EQ(ring.meshes.size(), 1u);
  int inward = 0;
  each_face(ring.meshes[0], [&](V3 n, V3 c) {
    const double r = std::sqrt(c.x * c.x + c.z * c.z);
    const V3 tube_centre{c.x / r * 52, 0, c.z / r * 52};
    inward += dot(n, sub(c, tube_centre)) <= 0;
  });
  EXPECT_EQ(inward, 0);
  EXPECT_FALSE(ring.meshes[0].mapping.empty());

  // The sky dome faces its centre, where the camera is.
  const ThreeDsModel dome = model("DOME");
  ASSERT_EQ(dome.meshes.size(), 1u);
  int outward = 0;
  each_face(dome.meshes[0], [&](V3 n, V3 c) { outward += dot(n, c) >= 0; });
  EXPECT_EQ(outward, 0);

  // The brazier's first vertex is the middle of its top, where the particles
  // are born; the rest of the brazier lies below it or round it.
  const ThreeDsModel vase = model("VASE");
  ASSERT_GE(vase.meshes.size(), 2u);
  const ThreeDsPoint first = vase.meshes[0].vertices.at(0);
  EXPECT_EQ(first.x, 0);
  EXPECT_EQ(first.z, 0);
  float top = 0;
  for (const ThreeDsMesh& m : vase.meshes)
    for (const ThreeDsPoint& p : m.vertices) top = std::max(top, p.y);
  EXPECT_GT(first.y, top * 0.8f);
  each_face(vase.meshes[0], [](V3 n, V3) { EXPECT_GT(n.y, 0); });  // the coals face up

  // The orb's first vertex is its centre, where its halo is drawn.
  const ThreeDsModel ball = model("BALL");
  ASSERT_GE(ball.meshes.size(), 2u);
  const ThreeDsPoint centre = ball.meshes[0].vertices.at(0);
  float lo = 1e9f, hi = -1e9f;
  for (const ThreeDsPoint& p : ball.meshes[1].vertices) {
    lo = std::min(lo, p.y);
    hi = std::max(hi, p.y);
  }
  EXPECT_NEAR(centre.y, (lo + hi) / 2, 0.01);
  EXPECT_EQ(centre.x, 0);
  EXPECT_EQ(centre.z, 0);

  for (const char* name : {"GRID", "TUBE"}) EXPECT_FALSE(model(name).meshes.empty()) << name;
}

// ------------------------------------------------------------ thumbnail --

std::uint32_t le32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
std::uint16_t le16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

TEST(DemoThumbnail, IsASmall24BitBitmapWithAPicture) {
  const std::string bmp = read_bytes(kDir + "THUMB.BMP");
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(le32(bmp, 2), bmp.size());
  EXPECT_EQ(le32(bmp, 10), 54u);  // the pixels follow the two headers
  EXPECT_EQ(le32(bmp, 14), 40u);  // an information header, not a core header
  const std::int32_t width = static_cast<std::int32_t>(le32(bmp, 18));
  const std::int32_t height = static_cast<std::int32_t>(le32(bmp, 22));
  EXPECT_GT(width, 32);
  EXPECT_LE(width, 256);
  EXPECT_GT(height, 24);
  EXPECT_LE(height, 256);
  EXPECT_EQ(le16(bmp, 26), 1);   // planes
  EXPECT_EQ(le16(bmp, 28), 24);  // bits per pixel: no colour table
  EXPECT_EQ(le32(bmp, 30), 0u);  // not compressed
  const std::uint32_t row = (static_cast<std::uint32_t>(width) * 3 + 3) / 4 * 4;
  EXPECT_EQ(le32(bmp, 34), row * static_cast<std::uint32_t>(height));
  ASSERT_EQ(bmp.size(), 54 + row * static_cast<std::uint32_t>(height));
  // A picture, not one colour: many different pixels.
  std::vector<std::uint32_t> pixels;
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) pixels.push_back(le32(bmp, 54 + y * row + x * 3) & 0xFFFFFF);
  std::sort(pixels.begin(), pixels.end());
  EXPECT_GT(std::unique(pixels.begin(), pixels.end()) - pixels.begin(), 200);
}

// ------------------------------------------------------------ package --

TEST(DemoPackage, HoldsExactlyTheGeneratedFolderAndSitsBesideThePlayer) {
  std::string scratch = (fs::temp_directory_path() / "kelvo-demo-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(scratch.data()), nullptr);
  scratch += "/";
  Engine e;
  e.paths.path_pack = KELVO_DEMO_PAK;
  e.paths.dir_temp = scratch;
  e.paths.path_list = scratch + "files.lst";
  e.paths.path_temp = scratch + "Kelvo.tmp";
  ASSERT_EQ(extract_package(e), ExtractResult::extracted);

  std::vector<std::string> members, generated;
  for (const auto& entry : fs::directory_iterator(scratch)) {
    const std::string name = entry.path().filename().string();
    if (name != "files.lst" && name != "Kelvo.tmp") members.push_back(name);
  }
  for (const auto& entry : fs::directory_iterator(kDir)) generated.push_back(entry.path().filename().string());
  std::sort(members.begin(), members.end());
  std::sort(generated.begin(), generated.end());
  EXPECT_EQ(members, generated);
  for (const std::string& name : generated)
    EXPECT_EQ(read_bytes(scratch + name), read_bytes(kDir + name)) << name;
  for (const char* name : {"SCENE1.TXT", "SCRIPT1.TXT", "ALFA.3DF", "THUMB.BMP", "LENS1.3DF", "LENS4.3DF"})
    EXPECT_NE(std::find(members.begin(), members.end(), name), members.end()) << name;

  delete_extracted_files(e);
  std::error_code ec;
  fs::remove_all(scratch, ec);

  EXPECT_EQ(read_bytes(KELVO_DEMO_PAK_BESIDE_PLAYER), read_bytes(KELVO_DEMO_PAK));
}

}  // namespace
}  // namespace kelvo
