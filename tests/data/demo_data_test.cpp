// The demo package as the build makes it: the scene loads without problems
// and uses every feature of the renderer; the generated font follows the text
// overlay's layout; and kelvo.pak holds exactly the generated folder.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "host/gl_context.h"
#include "model/texture_slots.h"
#include "package/extract.h"
#include "render/frame_renderer.h"
#include "render/gl_states.h"
#include "render/text_overlay.h"
#include "scene/engine_state.h"
#include "scene/problems.h"
#include "scene/scene_file.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

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
  for (const ParticleSystem& s : e.particle_systems) EXPECT_TRUE(s.texture_slot >= 0 && s.count > 0);
  EXPECT_LT(e.fog_near, e.fog_far);
  free_textures(e);
  free_all(e);

  EXPECT_EQ(read_bytes(kDir + "SCRIPT1.TXT").back(), '\n');  // the last line keeps its last character
}

// The arguments of every line of the demo script that calls `command`.
std::vector<std::vector<std::string>> script_calls(const std::string& command) {
  std::vector<std::vector<std::string>> calls;
  std::ifstream in(kDir + "SCRIPT1.TXT");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(command + "(", 0) != 0) continue;
    std::vector<std::string> args;
    std::string arg;
    for (char c : line.substr(command.size() + 1)) {
      if (c == ',' || c == ')') args.push_back(arg), arg.clear();
      else arg += c;
    }
    calls.push_back(args);
  }
  return calls;
}

// Columns from..to-1 of the finished picture hold ink (a pixel brighter than
// dark grey) in its lowest eighth, where the captions are.
bool ink_in(const test::OsmesaContext& gl, int from, int to) {
  const std::vector<std::uint8_t>& rgba = gl.buffer();
  for (int y = 0; y < gl.height() / 8; ++y)
    for (int x = std::max(from, 0); x < std::min(to, gl.width()); ++x)
      if (rgba[(static_cast<std::size_t>(y) * gl.width() + x) * 4 + 2] > 64) return true;
  return false;
}

// The sizes the settings dialog offers. At each, every caption of the demo
// script shows whole inside the screen (the text overlay drops the
// characters that start at or right of the viewport's width, counted in
// virtual units of 800 across), and the perspective section changes the
// picture visibly without turning it over.
TEST(DemoScript, CaptionsShowWholeAndThePerspectiveSectionShowsAtEverySize) {
  const auto params = script_calls("set_textparams");
  ASSERT_EQ(params.size(), 1u);
  const int w = std::stoi(params[0][0]), h = std::stoi(params[0][1]);
  const auto captions = script_calls("draw_text");
  const auto changes = script_calls("change_res");
  ASSERT_GE(captions.size(), 10u);
  ASSERT_FALSE(changes.empty());
  for (auto [width, height] : {std::pair{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    test::OsmesaContext gl(width, height);
    ASSERT_TRUE(gl.ok());
    test::RecordingPlatform platform;
    Engine e;
    e.paths.dir_temp = kDir;
    e.viewport_box = {0, 0, width, height};
    e.ResX = width, e.ResY = height;
    engine_init(e);
    clear_texture_slots(e);
    set_initial_gl_state(e);  // as the context's creation leaves it
    load_font_texture(e);
    view_setup(e, platform);
    const auto column = [&](double virtual_x) { return static_cast<int>(std::lround(virtual_x * width / 800.0)); };
    for (const auto& c : captions) {
      SCOPED_TRACE(c[3]);
      const int x = std::stoi(c[1]), n = static_cast<int>(c[3].size());
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      set_additive_state();  // as the frame draws its texts
      draw_text(e, x, std::stoi(c[2]), w, h, c[3].c_str(), 255, 255, 255, 255);
      glFinish();
      EXPECT_TRUE(ink_in(gl, column(x + (n - 1) * w), column(x + n * w)));  // the last character is there
      EXPECT_FALSE(ink_in(gl, 0, column(x) - 1));
      EXPECT_FALSE(ink_in(gl, column(x + n * w) + 1, width));
      EXPECT_LE(column(x + n * w), width - 1);
    }

    // The scene as loaded, then with the perspective section's first change
    // made in full; particles off, so only the perspective differs. The
    // change is in pixels: it shows least at the largest size and comes
    // nearest to turning the picture over at the smallest.
    if (width != 640 && width != 1600) continue;
    ASSERT_EQ(load_scene(e, "SCENE1"), 1);
    e.particle_switch = 0;
    render_frame(e, platform);
    glFinish();
    const std::vector<std::uint8_t> before = gl.buffer();
    const float dx = std::stof(changes[0][1]), dy = std::stof(changes[0][2]);
    EXPECT_GT(e.perspective[0] - dx, 0.3f * e.perspective[0]);
    EXPECT_GT(e.perspective[1] - dy, 0.3f * e.perspective[1]);
    e.perspective[0] -= dx;
    e.perspective[1] -= dy;
    render_frame(e, platform);
    glFinish();
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); i += 4)
      changed += std::abs(before[i] - gl.buffer()[i]) + std::abs(before[i + 1] - gl.buffer()[i + 1]) > 48 ? 1 : 0;
    EXPECT_GT(changed, before.size() / 4 / 10);  // a tenth of the picture or more
    free_textures(e);
    free_all(e);
  }
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
  const Image font = read_3df(kDir + "ALFA.3DF").value_or(Image{});
  ASSERT_TRUE(font.width == 256 && font.height == 256);
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
  EXPECT_LT(ink('A').first, ink('a').first);  // capitals are taller, so the top is up
  EXPECT_EQ(ink('a').second, ink('x').second);  // all sit on one baseline
  EXPECT_EQ(ink('A').second, ink('a').second);
  EXPECT_GT(ink('g').second, ink('a').second);  // descenders go below it
  EXPECT_GE(ink('A').second - ink('A').first + 1, 9);  // capitals fill most of the cell
}

TEST(DemoPackage, HoldsExactlyTheGeneratedFolderAndSitsBesideThePlayer) {
  std::string scratch = (fs::temp_directory_path() / "kelvo-demo-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(scratch.data()), nullptr);
  scratch += "/";
  Engine e;
  e.paths.path_pack = KELVO_DEMO_PAK, e.paths.dir_temp = scratch;
  e.paths.path_list = scratch + "files.lst", e.paths.path_temp = scratch + "Kelvo.tmp";
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
  EXPECT_EQ(read_bytes(kDir + "THUMB.BMP").substr(0, 2), "BM");
  delete_extracted_files(e);
  fs::remove_all(scratch);
  EXPECT_EQ(read_bytes(KELVO_DEMO_PAK_BESIDE_PLAYER), read_bytes(KELVO_DEMO_PAK));
}

}  // namespace
}  // namespace kelvo
