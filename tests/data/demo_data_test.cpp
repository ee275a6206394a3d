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
#include "render/text_overlay.h"
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

bool any_face(const Object& o, bool (*pred)(const Face&)) { return std::any_of(o.faces.begin(), o.faces.end(), pred); }
bool textured(const Face& f) { return f.texture_frames[0] != kNoTexture16; }

TEST(DemoScene, LoadsWithoutProblemsAndUsesEveryFeatureOfTheRenderer) {
  test::OsmesaContext gl(64, 64);
  ASSERT_TRUE(gl.ok());
  Engine e;
  e.paths.dir_temp = kDir;
  e.viewport_box = {0, 0, 800, 600};
  engine_init(e);
  clear_texture_slots(e);
  load_font_texture(e);
  load_scene(e, "SCENE1");
  for (const Problem& p : e.problems) ADD_FAILURE() << format_problem(p);
  EXPECT_GE(e.object_count, 10);
  EXPECT_GE(e.font_slot, 0);

  using Has = bool (*)(const Object&);
  const std::pair<const char*, Has> kFeatures[] = {
      {"textured face", [](const Object& o) { return any_face(o, textured); }},
      {"coloured face", [](const Object& o) {
         return any_face(o, [](const Face& f) { return !textured(f) && !(f.red == f.green && f.green == f.blue); });
       }},
      {"texture animation", [](const Object& o) {
         return o.tex_speed > 0 && any_face(o, [](const Face& f) { return f.texture_frames[7] != kNoTexture16; });
       }},
      {"scrolling", [](const Object& o) { return o.tex_shift[0] != 0 || o.tex_shift[1] != 0; }},
      {"environment map", [](const Object& o) { return o.tex_evmap >= 0 && o.tex_env > 0; }},
      {"bump", [](const Object& o) { return o.bump_level > 0 && o.bump_tex[0] >= 0 && o.bump_tex[1] >= 0; }},
      {"chroma key", [](const Object& o) { return o.chromakey != 0 && o.chroma_tex >= 0; }},
      {"mask", [](const Object& o) { return o.tex_mask >= 0; }},
      {"ghoul 1", [](const Object& o) { return o.ghoul_mode == 1; }},
      {"ghoul 2", [](const Object& o) { return o.ghoul_mode == 2; }},
      {"ghoul 3", [](const Object& o) { return o.ghoul_mode == 3; }},
      {"no bilinear", [](const Object& o) { return o.object_bilinear == 0; }},
      {"fixed to the camera", [](const Object& o) { return o.fixed == 1; }},
      {"fixed on the screen", [](const Object& o) { return o.fixed == 2; }},
      {"spinning", [](const Object& o) { return o.rot_speed.y != 0 && o.orbit_speed.y == 0; }},
      {"orbiting", [](const Object& o) { return o.orbit_speed.y != 0; }},
      {"shadow", [](const Object& o) { return o.shadow_cast > 0; }},
      {"animated halo", [](const Object& o) { return o.halo_dim > 0 && o.halo_tex[0] >= 0 && o.halo_tex[1] >= 0; }},
      {"flare", [](const Object& o) { return o.flare_dim > 0; }}};
  for (const auto& [name, has] : kFeatures) EXPECT_TRUE(std::any_of(e.objects.begin(), e.objects.end(), has)) << name;
  for (int on : {e.objects_move_switch, e.light_switch, e.phong, e.halo_switch, e.flare_switch, e.particle_switch,
                 e.Fog, e.perspective_switch})
    EXPECT_EQ(on, 1);
  EXPECT_GE(e.light_count, 1);
  for (int slot : e.lens_slots) EXPECT_GE(slot, 0);
  ASSERT_EQ(e.particle_system_count, 2);
  for (const ParticleSystem& s : e.particle_systems) {
    EXPECT_GE(s.texture_slot, 0);
    EXPECT_GT(s.count, 0);
    EXPECT_GT(s.velocity.y, 0);  // fountains rise
  }
  EXPECT_LT(e.fog_near, e.fog_far);  // a deep-blue fog
  EXPECT_GT(e.fog_colour[2], 2 * std::max(e.fog_colour[0], e.fog_colour[1]));
  free_textures(e);
  free_all(e);

  const std::string script = read_bytes(kDir + "SCRIPT1.TXT");
  for (const char* command : {"draw_text", "set_textparams", "move_camera"})
    EXPECT_NE(script.find(command), std::string::npos) << command;
  EXPECT_EQ(script.back(), '\n');  // the last line keeps its last character
}

// The grey of texel (x, y) of glyph k's cell, where the text overlay reads it.
int cell_texel(const Image& font, int k, int x, int y) {
  const GlyphCell c = glyph_cell(k);
  const long tx = std::lround(c.s0 * 255) + x, ty = std::lround(c.t0 * 255) + y;
  return font.rgb[static_cast<std::size_t>(ty * font.width + tx) * 3];
}

// The first and last rows of a cell that hold ink; -1, -1 when none.
std::pair<int, int> ink_rows(const Image& font, int k) {
  int first = -1, last = -1;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (cell_texel(font, k, x, y) > 64) first = first < 0 ? y : first, last = y;
  return {first, last};
}

TEST(DemoFont, FollowsTheTextOverlayLayoutWithGlyphsUprightOnOneBaseline) {
  const Image font = texture("ALFA");
  ASSERT_EQ(font.width, 256);
  ASSERT_EQ(font.height, 256);
  // Nothing outside the six rows of cells from texel row 32.
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256 && (y < 32 || y >= 128); ++x)
      ASSERT_EQ(font.rgb[(static_cast<std::size_t>(y) * 256 + x) * 3], 0) << x << "," << y;
  for (int k = 0; k < 96; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(ink_rows(font, k).first < 0, k == 0 || k == 95);  // only the two spaces are blank
    // A free border round every cell keeps the neighbours apart.
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(cell_texel(font, k, i, 0) + cell_texel(font, k, i, 15) + cell_texel(font, k, 0, i) +
                    cell_texel(font, k, 15, i), 0);
  }
  // The quote's second cell (in the backquote's place) is drawn as a quote.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(cell_texel(font, 64, x, y), cell_texel(font, 7, x, y));
  const auto ink = [&](char c) { return ink_rows(font, glyph_index(static_cast<unsigned char>(c))); };
  EXPECT_LT(ink('A').first, ink('a').first);     // capitals are taller, so the top is up
  EXPECT_EQ(ink('a').second, ink('x').second);   // lower case sits on the baseline
  EXPECT_EQ(ink('A').second, ink('a').second);
  EXPECT_GT(ink('g').second, ink('a').second);   // descenders go below it
  EXPECT_GT(ink('_').first, ink('a').first);
  EXPECT_LT(ink('\'').second, ink('a').second);
  EXPECT_GE(ink('A').second - ink('A').first + 1, 9);  // capitals fill most of the cell
}

TEST(DemoTextures, ComeInTheirPairsAndFrames) {
  // The chroma key is white exactly where the emblem shows its key colour.
  const Image star = texture("STAR"), key = texture("STARKEY");
  ASSERT_EQ(star.rgb.size(), key.rgb.size());
  int keyed = 0, opaque = 0;
  for (std::size_t i = 0; i < key.rgb.size(); i += 3) {
    const int brightest = std::max({star.rgb[i], star.rgb[i + 1], star.rgb[i + 2]});
    keyed += key.rgb[i] > 250;
    opaque += key.rgb[i] < 5;
    EXPECT_TRUE(key.rgb[i] > 250 ? brightest < 10 : key.rgb[i] >= 5 || brightest > 40) << i;
  }
  EXPECT_GT(keyed, static_cast<int>(key.rgb.size() / 12));
  EXPECT_GT(opaque, static_cast<int>(key.rgb.size() / 24));
  // The bump pair: one height map and its inverse.
  const Image b1 = texture("BUMP1"), b2 = texture("BUMP2");
  ASSERT_EQ(b1.rgb.size(), b2.rgb.size());
  for (std::size_t i = 0; i < b1.rgb.size(); ++i) ASSERT_NEAR(b1.rgb[i] + b2.rgb[i], 255, 1) << i;
  const auto [lo, hi] = std::minmax_element(b1.rgb.begin(), b1.rgb.end());
  EXPECT_GT(*hi - *lo, 100);
  // Eight animation frames, each different from the one before.
  for (int i = 1; i <= 8; ++i)
    EXPECT_NE(texture("PLASMA" + std::to_string(i)).rgb, texture("PLASMA" + std::to_string(i % 8 + 1)).rgb) << i;
  // Glows are dark at the edge and bright in the middle (they are added).
  for (const char* name : {"LENS1", "LENS3", "GLOW1", "GLOW2", "GLOW3", "GLOW4", "SPARK", "PARTICLE"}) {
    const Image glow = texture(name);
    ASSERT_GT(glow.width, 0) << name;
    EXPECT_GT(glow.rgb[(static_cast<std::size_t>(glow.height / 2) * glow.width + glow.width / 2) * 3], 200) << name;
    EXPECT_LT(glow.rgb[0], 8) << name;
  }
}

ThreeDsMesh mesh(const std::string& name, std::size_t index = 0) {
  std::string reason;
  std::optional<ThreeDsModel> m = read_3ds(kDir + name + ".3DS", &reason);
  EXPECT_TRUE(m.has_value() && m->meshes.size() > index) << name << ": " << reason;
  return m && m->meshes.size() > index ? m->meshes[index] : ThreeDsMesh{};
}

// Calls f(normal, centroid) for every face; the normal (V1 - V0) x (V2 - V0)
// points to the side the engine draws.
template <typename F>
void each_face(const ThreeDsMesh& m, F f) {
  for (const ThreeDsFace& face : m.faces) {
    const ThreeDsPoint a = m.vertices[face.a], b = m.vertices[face.b], c = m.vertices[face.c];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    f(ThreeDsPoint{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx},
      ThreeDsPoint{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3});
  }
}

TEST(DemoModels, FaceOutwardsAndPutTheirAnchorsFirst) {
  // The torus: every face turns away from the ring through its tube.
  const ThreeDsMesh ring = mesh("RING");
  EXPECT_FALSE(ring.mapping.empty());
  each_face(ring, [](ThreeDsPoint n, ThreeDsPoint c) {
    const float r = std::sqrt(c.x * c.x + c.z * c.z);
    EXPECT_GT(n.x * (c.x - c.x / r * 52) + n.y * c.y + n.z * (c.z - c.z / r * 52), 0);
  });
  // The sky dome faces its centre, where the camera is.
  each_face(mesh("DOME"), [](ThreeDsPoint n, ThreeDsPoint c) { EXPECT_LT(n.x * c.x + n.y * c.y + n.z * c.z, 0); });
  // The brazier's first vertex is the middle of its top, where the particles
  // are born, and its coals face up; the orb's first vertex is its centre,
  // where its halo is drawn.
  const ThreeDsMesh coals = mesh("VASE"), bowl = mesh("VASE", 1), orb = mesh("BALL", 1);
  ASSERT_FALSE(coals.vertices.empty() || bowl.vertices.empty() || orb.vertices.empty());
  const auto by_y = [](ThreeDsPoint a, ThreeDsPoint b) { return a.y < b.y; };
  const ThreeDsPoint top = coals.vertices[0], centre = mesh("BALL").vertices.at(0);
  const float highest = std::max(std::max_element(bowl.vertices.begin(), bowl.vertices.end(), by_y)->y,
                                 std::max_element(coals.vertices.begin(), coals.vertices.end(), by_y)->y);
  EXPECT_TRUE(top.x == 0 && top.z == 0 && top.y > 0.8f * highest);
  each_face(coals, [](ThreeDsPoint n, ThreeDsPoint) { EXPECT_GT(n.y, 0); });
  const auto [lo, hi] = std::minmax_element(orb.vertices.begin(), orb.vertices.end(), by_y);
  EXPECT_NEAR(centre.y, (lo->y + hi->y) / 2, 0.01);
  EXPECT_TRUE(centre.x == 0 && centre.z == 0);
  EXPECT_FALSE(mesh("GRID").faces.empty() || mesh("TUBE").faces.empty());
}

TEST(DemoThumbnail, IsASmall24BitBitmapWithAPicture) {
  const std::string bmp = read_bytes(kDir + "THUMB.BMP");
  ASSERT_GE(bmp.size(), 54u);
  const auto le = [&](std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | std::uint8_t(bmp[at + static_cast<std::size_t>(i)]);
    return v;
  };
  const std::uint32_t width = le(18, 4), height = le(22, 4), row = (width * 3 + 3) / 4 * 4;
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  // File size, pixel offset, information header (not a core one), one plane,
  // 24 bits (no colour table), not compressed, image size.
  EXPECT_EQ((std::vector<std::uint32_t>{le(2, 4), le(10, 4), le(14, 4), le(26, 2), le(28, 2), le(30, 4), le(34, 4)}),
            (std::vector<std::uint32_t>{std::uint32_t(bmp.size()), 54, 40, 1, 24, 0, row * height}));
  EXPECT_TRUE(width > 32 && width <= 256 && height > 24 && height <= 256) << width << "x" << height;
  ASSERT_EQ(bmp.size(), 54 + row * height);
  // A picture, not one colour: many different pixels.
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) pixels.push_back(le(54 + y * row + x * 3, 3));
  std::sort(pixels.begin(), pixels.end());
  EXPECT_GT(std::unique(pixels.begin(), pixels.end()) - pixels.begin(), 200);
}

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
  for (const auto& entry : fs::directory_iterator(scratch))
    if (entry.path().filename() != "files.lst" && entry.path().filename() != "Kelvo.tmp")
      members.push_back(entry.path().filename().string());
  for (const auto& entry : fs::directory_iterator(kDir)) generated.push_back(entry.path().filename().string());
  std::sort(members.begin(), members.end());
  std::sort(generated.begin(), generated.end());
  EXPECT_EQ(members, generated);
  for (const std::string& name : generated) EXPECT_EQ(read_bytes(scratch + name), read_bytes(kDir + name)) << name;
  for (const char* name : {"SCENE1.TXT", "SCRIPT1.TXT", "ALFA.3DF", "THUMB.BMP", "LENS1.3DF", "LENS4.3DF"})
    EXPECT_NE(std::find(members.begin(), members.end(), name), members.end()) << name;
  delete_extracted_files(e);
  std::error_code ec;
  fs::remove_all(scratch, ec);
  EXPECT_EQ(read_bytes(KELVO_DEMO_PAK_BESIDE_PLAYER), read_bytes(KELVO_DEMO_PAK));
}

}  // namespace
}  // namespace kelvo
