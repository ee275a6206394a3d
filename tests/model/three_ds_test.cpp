// 3DS models from the file to the prepared object: the reader and writer
// (round trips, the chunk rules, hostile files), the kelvo-check model
// command, the texture slots and model preparation in a real GL context, and
// the real models of the installed Debian packages read beside lib3ds.
#include "model/three_ds.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <set>
#include <sstream>
#include <tuple>

#include "model/model_prepare.h"
#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "model/three_ds_writer.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"
#include "tools/kelvo_check.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using W = ThreeDsChunkWriter;
using Body = std::function<void(W&)>;
using test::TempDir;
constexpr float kStep = 0.003921569f;  // one step of a 24-bit colour

// Materials "Red", "Wood" (textured, half transparent), "Unused" (name and
// texture of 79 characters, the longest) and "Red" again; mesh "Box" with mapping and groups
// for Red and Wood, mesh "Triangle_15char" (the longest object name) with a
// group whose material does not exist.
ThreeDsModel sample_model() {
  ThreeDsModel model;
  model.materials = {{"Red", std::nullopt, {0.2f, 0.2f, 0.2f}, {1, 0, 0}, 1.0f},
                     {"Wood", "WOOD.GIF", {0, 0, 0}, {0.5f, 0.25f, 0}, 0.5f},
                     {std::string(79, 'U'), std::string(79, 'T'), {0, 0, 0}, {0, 0, 1}, 1.0f},
                     {"Red", std::nullopt, {0, 0, 0}, {0, 1, 0}, 1.0f}};
  model.meshes.push_back({"Box",
                          {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}},
                          {{0, 1, 2}, {0, 2, 3}},
                          {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                          {{"Red", 0, {0}}, {"Wood", 1, {1}}}});
  model.meshes.push_back(
      {"Triangle_15char", {{-1, -2, -3}, {4, 5, 6}, {7.5f, 8.25f, -9.125f}}, {{2, 1, 0}}, {}, {{"Missing", -1, {0}}}});
  return model;
}

// One line per mesh, sorted: name, counts, points (not for the names in
// `no_points`), corners with the material of each face (the last group naming
// a face wins), mapping.
std::vector<std::string> mesh_lines(const std::vector<ThreeDsMesh>& meshes, const std::set<std::string>& no_points) {
  std::vector<std::string> lines;
  for (const ThreeDsMesh& mesh : meshes) {
    std::vector<std::string> material(mesh.faces.size());
    for (const ThreeDsFaceGroup& g : mesh.groups)
      for (std::int32_t j : g.faces) material[static_cast<std::size_t>(j)] = g.material_name;
    std::ostringstream s;
    s << std::setprecision(9) << mesh.name << ' ' << mesh.vertices.size() << ' ' << mesh.faces.size() << ' '
      << mesh.mapping.size() << ':';
    if (!no_points.count(mesh.name))
      for (const ThreeDsPoint& v : mesh.vertices) s << ' ' << v.x << ',' << v.y << ',' << v.z;
    for (std::size_t i = 0; i < mesh.faces.size(); ++i)
      s << ' ' << mesh.faces[i].a << '/' << mesh.faces[i].b << '/' << mesh.faces[i].c << '=' << material[i];
    for (const ThreeDsUv& t : mesh.mapping) s << ' ' << t.u << ',' << t.v;
    lines.push_back(s.str());
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Chunk `id` holding what `body` writes.
void chunk(W& w, std::uint16_t id, const Body& body) {
  w.begin(id);
  if (body) body(w);
  w.end();
}

// 4D4D { 3D3D { body } }
Bytes in_mesh_data(const Body& body) {
  W w;
  chunk(w, k3dsMain, [&](W& m) { chunk(m, k3dsMeshData, body); });
  return w.take();
}

// 4000 NAME { 4100 { body } }
void triangle_object(W& w, const std::string& name, const Body& body) {
  chunk(w, k3dsNamedObject, [&](W& o) { o.name(name), chunk(o, k3dsTriangleObject, body); });
}

Bytes in_triangle_object(const Body& body) {
  return in_mesh_data([&](W& w) { triangle_object(w, "M", body); });
}

// Material chunk: name, then what `body` writes.
void material_chunk(W& w, const std::string& name, const Body& body = {}) {
  chunk(w, k3dsMaterial, [&](W& c) {
    chunk(c, k3dsMaterialName, [&](W& n) { n.name(name); });
    if (body) body(c);
  });
}

// Vertex i is (i, 0, 0).
void vertex_list(W& w, int count) {
  chunk(w, k3dsVertexList, [count](W& c) {
    c.u16(static_cast<std::uint16_t>(count));
    for (int i = 0; i < count * 3; ++i) c.f32(i % 3 ? 0.0f : static_cast<float>(i / 3));
  });
}

// A face list with (nested in it) one face group of `group` named `name`.
void face_list(W& w, std::vector<ThreeDsFace> faces, const std::string& name = {},
               std::vector<std::uint16_t> group = {}) {
  chunk(w, k3dsFaceList, [&](W& c) {
    c.u16(static_cast<std::uint16_t>(faces.size()));
    for (const ThreeDsFace& f : faces)
      for (std::uint16_t v : {f.a, f.b, f.c, std::uint16_t{0}}) c.u16(v);
    if (name.empty()) return;
    chunk(c, k3dsFaceGroup, [&](W& g) {
      g.name(name), g.u16(static_cast<std::uint16_t>(group.size()));
      for (std::uint16_t j : group) g.u16(j);
    });
  });
}

// kelvo-check model FILE: exit status, standard output, standard error.
std::tuple<int, std::string, std::string> check_model(const std::string& path) {
  char* text[2] = {};
  std::size_t size[2] = {};
  std::FILE* out = open_memstream(&text[0], &size[0]);
  std::FILE* err = open_memstream(&text[1], &size[1]);
  const int status = check_model_command(path, out, err);
  std::fclose(out), std::fclose(err);
  std::tuple<int, std::string, std::string> result{status, text[0], text[1]};
  std::free(text[0]), std::free(text[1]);
  return result;
}

TEST(ThreeDsReader, WriterRoundTripKeepsMeshesMaterialsAndGroups) {
  const ThreeDsModel in = sample_model();
  TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("sample.3ds"), in));
  std::string reason;
  std::optional<ThreeDsModel> out = read_3ds(dir.file("sample.3ds"), &reason);
  ASSERT_TRUE(out) << reason;
  EXPECT_EQ(mesh_lines(out->meshes, {}), mesh_lines(in.meshes, {}));
  // Of the two "Red"s the first is used; "Missing" finds no material.
  EXPECT_EQ(std::make_tuple(out->meshes.at(0).groups.at(0).material, out->meshes[0].groups.at(1).material,
                            out->meshes.at(1).groups.at(0).material),
            std::make_tuple(0, 1, -1));
  // Four materials, then the blank one that a read always ends with.
  ASSERT_EQ(out->materials.size(), 5u);
  const std::vector<ThreeDsMaterial>& m = out->materials;
  EXPECT_FALSE(m[4].name || m[4].texture);
  EXPECT_EQ(std::make_tuple(m[0].diffuse.r, m[0].diffuse.g, m[0].ambient.b, m[0].alpha),
            std::make_tuple(1.0f, 0.0f, 51 * kStep, 1.0f));
  EXPECT_EQ(std::make_tuple(m[1].diffuse.g, m[1].alpha), std::make_tuple(64 * kStep, 0.5f));
  // Writing what was read gives the same bytes (so the names and textures
  // came back; the blank material is not written); more than a u16 can count
  // is refused by the writer.
  const std::string file = dir.read("sample.3ds");
  EXPECT_EQ(encode_3ds(*out), Bytes(file.begin(), file.end()));
  ThreeDsModel big;
  big.meshes.emplace_back().vertices.resize(65536);
  EXPECT_FALSE(encode_3ds(big));
}

// The first material of a file that holds only a material of what `body` writes.
ThreeDsMaterial material_of(const Body& body) {
  return decode_3ds(in_mesh_data([&](W& w) { material_chunk(w, "M", body); })).value().materials.at(0);
}

TEST(ThreeDsReader, ColoursKeepTheLastSubChunkAlphaTheIntegerPercentageAndAllBlackFilesUseWhite) {
  // Of 0x0011 and 0x0012 the one read last is kept.
  const ThreeDsRgb d = material_of([](W& c) {
    chunk(c, k3dsDiffuse, [](W& d) { d.colour_chunk(k3dsColour24, 10, 20, 30), d.colour_chunk(0x0012, 40, 50, 60); });
  }).diffuse;
  EXPECT_EQ(std::make_tuple(d.r, d.g, d.b), std::make_tuple(40 * kStep, 50 * kStep, 60 * kStep));
  // Up to 1 % means opaque, and so does an alpha chunk without an integer
  // percentage (-1); a float percentage is not read.
  for (auto [percent, alpha] : {std::pair{1, 1.0f}, {2, 0.02f}, {50, 0.5f}, {-1, 1.0f}}) {
    const Body body = [percent](W& c) {
      chunk(c, k3dsAlpha, [percent](W& a) {
        chunk(a, 0x0031, [](W& f) { f.f32(77.0f); });
        if (percent >= 0) a.percentage_chunk(k3dsPercentage, static_cast<std::uint16_t>(percent));
      });
    };
    EXPECT_FLOAT_EQ(material_of(body).alpha, alpha) << percent;
  }
  // Only black colours in the whole file: the materials that face groups use
  // get diffuse white; the others keep what they read. One non-zero component
  // anywhere (an ambient one of "Lit") keeps the blacks.
  for (bool lit : {false, true}) {
    SCOPED_TRACE(lit);
    ThreeDsModel model;
    model.materials = {{"Used", {}, {}, {0, 0, 0}, 1}, {"Idle", {}, {}, {0, 0, 0}, 1}, {"Lit", {}, {}, {0, 0, 0}, 1}};
    model.materials[2].ambient.b = lit ? 0.01f : 0.0f;
    model.meshes.push_back({"M", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {}, {{"Used", -1, {0}}}});
    std::optional<ThreeDsModel> m = decode_3ds(encode_3ds(model).value());
    ASSERT_TRUE(m);
    const ThreeDsRgb& used = m->materials[0].diffuse;
    const float white = lit ? 0.0f : 1.0f;
    EXPECT_EQ(std::make_tuple(used.r, used.g, used.b, m->materials[0].ambient.r, m->materials[1].diffuse.r),
              std::make_tuple(white, white, white, 0.0f, 0.0f));
  }
}

TEST(ThreeDsReader, RefusesMalformedFilesWithAReason) {
  Bytes past_parent = in_mesh_data([](W& w) { chunk(w, 0x0100, [](W& c) { c.f32(1); }); });
  past_parent[8] += 1;  // mesh data one byte longer than the main chunk that holds it
  // What is wrong, the file, a part of the reason given.
  const std::tuple<const char*, Bytes, const char*> cases[] = {
      {"empty file", {}, "holds no chunk header"},
      {"another format", {0x4D, 0x4C, 6, 0, 0, 0}, "not a 3DS file"},
      {"chunk past its parent", past_parent, "runs past its parent chunk"},
      // Length 0: a walk that would not advance.
      {"zero-length chunk", in_mesh_data([](W& w) { w.u16(0x1234), w.u32(0); }), "shorter than its header"},
      {"header past its parent", in_mesh_data([](W& w) { w.u8(1), w.u8(2), w.u8(3); }), "chunk header at offset"},
      {"object name too long", in_mesh_data([](W& w) { triangle_object(w, std::string(16, 'o'), {}); }),
       "longer than 15 characters"},
      {"material name too long", in_mesh_data([](W& w) { material_chunk(w, std::string(80, 'm')); }), "material name"},
      {"huge vertex count", in_triangle_object([](W& w) { chunk(w, k3dsVertexList, [](W& c) { c.u16(65535); }); }),
       "vertex list"},
      {"face corner past the vertices",
       in_triangle_object([](W& w) { vertex_list(w, 3), face_list(w, {{0, 1, 2}, {0, 3, 1}}); }), "uses vertex 3 of 3"},
      {"face corner past the mapping list", in_triangle_object([](W& w) {
         vertex_list(w, 4);
         chunk(w, k3dsMappingList, [](W& c) { c.u16(3), c.f32(0), c.f32(0), c.f32(0), c.f32(0), c.f32(0), c.f32(0); });
         face_list(w, {{0, 1, 2}, {1, 2, 3}});
       }),
       "face 1 uses mapping coordinate 3 of 3"},
      {"face group index past the faces",
       in_triangle_object([](W& w) { vertex_list(w, 3), face_list(w, {{0, 1, 2}}, "A", {0, 1}); }), "uses face 1 of 1"},
      // The file goes on after the list, but the list's own chunk ends after
      // one of its three entries.
      {"mapping list longer than its chunk", in_triangle_object([](W& w) {
         chunk(w, k3dsMappingList, [](W& c) { c.u16(3), c.f32(0), c.f32(0); });
         vertex_list(w, 3), face_list(w, {{0, 1, 2}});
       }),
       "mapping list"},
      {"colour cut short", in_mesh_data([](W& w) {
         material_chunk(
             w, "M", [](W& c) { chunk(c, k3dsDiffuse, [](W& d) { chunk(d, k3dsColour24, [](W& k) { k.u8(1); }); }); });
       }),
       "colour"},
  };
  for (const auto& [what, bytes, part] : cases) {
    std::string reason;
    EXPECT_FALSE(decode_3ds(bytes, &reason)) << what;
    EXPECT_NE(reason.find(part), std::string::npos) << what << ": " << reason;
  }
}

// A file cut inside a chunk the reader skips anyway keeps what was read
// before it and says where it was cut; a file cut inside a mesh or a
// material is refused.
TEST(ThreeDsReader, AFileCutInsideASkippedChunkKeepsTheMeshesReadBeforeIt) {
  const auto mesh_a = [](W& w) { triangle_object(w, "A", [](W& t) { vertex_list(t, 3), face_list(t, {{0, 1, 2}}); }); };
  const auto skipped = [](std::uint16_t id) { return [id](W& w) { chunk(w, id, [](W& c) { c.u32(1), c.u32(2); }); }; };
  W keyframer_file;
  chunk(keyframer_file, k3dsMain, [&](W& m) { chunk(m, k3dsMeshData, mesh_a), skipped(0xB000)(m); });
  const Bytes keyframer = keyframer_file.take();
  const Bytes unknown = in_mesh_data([&](W& w) { mesh_a(w), skipped(0x0100)(w); });
  const Bytes light = in_mesh_data([&](W& w) {
    chunk(w, k3dsNamedObject, [&](W& o) {
      o.name("A");
      chunk(o, k3dsTriangleObject, [](W& t) { vertex_list(t, 3), face_list(t, {{0, 1, 2}}); });
      skipped(0x4600)(o);
    });
  });
  const Bytes second_mesh = in_mesh_data([&](W& w) {
    mesh_a(w), triangle_object(w, "B", [](W& t) { vertex_list(t, 3), face_list(t, {{0, 1, 2}}); });
  });
  const Bytes material = in_mesh_data([&](W& w) { mesh_a(w), material_chunk(w, "M", skipped(0xA081)); });
  // The file, the bytes cut off its end, the chunk the file now ends in
  // (empty: the model is refused).
  const std::tuple<const char*, Bytes, std::size_t, const char*> cases[] = {
      {"keyframer", keyframer, 3, "chunk 0xB000"},
      {"keyframer header", keyframer, 12, "chunk 0x4D4D"},
      {"unknown chunk in the mesh data", unknown, 2, "chunk 0x0100"},
      {"light in a named object", light, 2, "chunk 0x4600"},
      {"face list", second_mesh, 5, ""},
      {"between the chunks of a mesh", second_mesh, 16, ""},
      {"skipped chunk of a material", material, 2, ""},
  };
  for (const auto& [what, bytes, cut_off, cut_in] : cases) {
    SCOPED_TRACE(what);
    std::string reason;
    std::optional<ThreeDsModel> m = decode_3ds(std::span(bytes.data(), bytes.size() - cut_off), &reason);
    if (*cut_in == '\0') {
      EXPECT_TRUE(!m && !reason.empty());
      continue;
    }
    ASSERT_TRUE(m) << reason;
    ASSERT_EQ(m->meshes.size(), 1u);
    EXPECT_EQ(std::make_pair(m->meshes[0].vertices.size(), m->meshes[0].faces.size()), std::make_pair(3ul, 1ul));
    EXPECT_NE(m->cut.find(cut_in), std::string::npos) << m->cut;
  }
  // kelvo-check model keeps the mesh and warns.
  TempDir dir;
  dir.write("cut.3ds", std::string(keyframer.begin(), keyframer.end() - 3));
  EXPECT_EQ(check_model(dir.file("cut.3ds")),
            std::make_tuple(0, std::string("mesh\tA\t3\t1\t0\nobject\t3\t1\n"),
                            dir.file("cut.3ds") + ": warning: the file ends inside chunk 0xB000 at offset " +
                                std::to_string(keyframer.size() - 14) + "; what was read before it is kept\n"));
}

TEST(ModelCheck, ListsMeshesInFileOrderThenThePreparedObjectOrTheReason) {
  ThreeDsModel model = sample_model();
  std::swap(model.meshes[0], model.meshes[1]);  // not in name order
  TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("m.3ds"), model));
  EXPECT_EQ(check_model(dir.file("m.3ds")),
            std::make_tuple(0,
                            std::string("mesh\tTriangle_15char\t3\t1\t0\tMissing\nmesh\tBox\t4\t2\t4\tRed\tWood\n"
                                        "object\t7\t3\n"),
                            std::string()));
  dir.write("bad.3ds", std::string("\x4D\x4D\x05\x00\x00\x00", 6));
  EXPECT_EQ(check_model(dir.file("bad.3ds")),
            std::make_tuple(1, std::string(),
                            dir.file("bad.3ds") + ": chunk 0x4D4D at offset 0: length 5 is shorter than its header\n"));
}

// ---------------------------------------- texture slots and preparation --
// In a real GL context: the slot table, what a textured quad shows, and 3DS
// files written by the writer loaded into scene objects.

using Rgb = std::array<std::uint8_t, 3>;
const Rgb kRed{248, 0, 0}, kGreen{0, 252, 0}, kBlue{0, 0, 248}, kWhite{248, 252, 248};

class ModelGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl_.ok());
    e_.paths.dir_temp = dir_.path();
    clear_texture_slots(e_);
  }
  void TearDown() override { free_textures(e_); }

  // Writes FILE (NAME.3DF in the work directory): a square of the given
  // texels, row after row, bottom row first as GL sees it.
  void write_texture(const std::string& file, const std::vector<Rgb>& texels, int side = 1) {
    Image image{side, side, {}};
    for (const Rgb& t : texels) image.rgb.insert(image.rgb.end(), t.begin(), t.end());
    const std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    dir_.write(file, std::string(bytes.begin(), bytes.end()));
  }
  int used_slots() const {
    return static_cast<int>(std::count_if(e_.texture_slots.begin(), e_.texture_slots.end(),
                                          [](const TextureSlot& s) { return s.used != 0; }));
  }
  // Writes `model` and loads it into a new object.
  const Object& load(const ThreeDsModel& model, int orientation = kOrientAsStored) {
    EXPECT_TRUE(write_3ds(dir_.file("m.3ds"), model));
    EXPECT_EQ(load_model(e_, dir_.file("m.3ds"), 1, orientation), 1);
    EXPECT_EQ(e_.objects.size(), static_cast<std::size_t>(e_.object_count) + 1);
    return e_.objects.back();
  }

  test::OsmesaContext gl_{63, 63};
  test::TempDir dir_;
  Engine e_;
};
using TextureSlots = ModelGl;
using ModelPrepare = ModelGl;

TEST_F(TextureSlots, SameNameGivesTheSameSlotFiltersFollowBilinearAndFreeingKeepsTheTable) {
  write_texture("STONE.3DF", {kRed});
  write_texture("WOOD.3DF", {kBlue});
  e_.bilinear = 0;
  ASSERT_EQ(load_texture(e_, "STONE"), 0);
  const std::uint32_t gl_name = e_.texture_slots[0].gl_name;
  EXPECT_TRUE(glIsTexture(gl_name));
  // The file is gone: a second load can only come from the table.
  std::filesystem::remove(dir_.file("STONE.3DF"));
  EXPECT_EQ(load_texture(e_, "STONE"), 0);
  EXPECT_EQ(e_.texture_slots[0].gl_name, gl_name);
  e_.bilinear = 1;
  ASSERT_EQ(load_texture(e_, "WOOD"), 1);
  EXPECT_EQ(load_texture(e_, "stone"), -1);  // another texture, with no file
  EXPECT_EQ(used_slots(), 2);
  for (int slot : {0, 1}) {
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, e_.texture_slots[slot].gl_name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, slot ? GL_LINEAR : GL_NEAREST);
  }
  // Freeing deletes the GL names but keeps the names in the table.
  free_textures(e_);
  EXPECT_FALSE(glIsTexture(gl_name));
  EXPECT_EQ(std::make_tuple(e_.texture_slots[0].gl_name, e_.texture_slots[0].name, e_.texture_slots[0].used),
            std::make_tuple(0u, std::string("STONE"), 1));
}

TEST_F(TextureSlots, FiftyFirstDistinctNameFindsNoSlotButKnownNamesAreStillFound) {
  for (int i = 0; i <= kTextureSlotCount; ++i) write_texture("T" + std::to_string(i) + ".3DF", {kRed});
  for (int i = 0; i < kTextureSlotCount; ++i) ASSERT_EQ(load_texture(e_, "T" + std::to_string(i)), i);
  EXPECT_EQ(load_texture(e_, "T50"), -1);
  EXPECT_EQ(std::make_pair(load_texture(e_, "T49"), used_slots()), std::make_pair(49, kTextureSlotCount));
}

TEST_F(TextureSlots, NullAndUnloadableNamesGiveNoSlot) {
  EXPECT_EQ(load_texture(e_, "NULL"), -1);
  EXPECT_EQ(load_texture(e_, "MISSING"), -1);
  // A directory is not a texture file; names that do not fit the
  // 254-character field, the empty name and names holding a zero byte are refused.
  std::filesystem::create_directory(dir_.file("DIR.3DF"));
  for (const std::string& name : {std::string("DIR"), std::string(255, 'A'), std::string(), std::string("A\0B", 3)})
    EXPECT_EQ(load_texture_slot(e_, name), -1) << name.size();
  EXPECT_EQ(used_slots(), 0);
}

TEST_F(TextureSlots, LoadedTextureShowsItsTexelsOnAQuadWithOddRowsNotShifted) {
  // 3 x 3: rows of 9 bytes, which a 4-byte unpack alignment would skew.
  const std::vector<Rgb> texels = {kRed, kGreen, kBlue, kWhite, kRed, kGreen, kBlue, kWhite, kRed};
  e_.bilinear = 0;
  write_texture("ODD.3DF", texels, 3);
  ASSERT_EQ(load_texture(e_, "ODD"), 0);
  glViewport(0, 0, 63, 63);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, e_.texture_slots[0].gl_name);
  glColor3ub(255, 255, 255);
  glBegin(GL_QUADS);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}, std::pair{0, 1}}) {
    glTexCoord2f(static_cast<float>(x), static_cast<float>(y));
    glVertex2f(x * 2.0f - 1, y * 2.0f - 1);
  }
  glEnd();
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

ThreeDsMesh mesh(std::vector<ThreeDsPoint> vertices, std::vector<ThreeDsFace> faces) {
  return {"m", std::move(vertices), std::move(faces), {}, {}};
}

// Corners, corner count, alpha and colour of a face, and its texture slot:
// that of all nine frames, or -1 when the frames differ.
using FaceText = std::tuple<std::array<std::int32_t, 3>, int, int, int, int, int, int>;
FaceText face_text(const Face& f) {
  int slot = f.texture_frames[0];
  for (std::uint16_t t : f.texture_frames) slot = t == f.texture_frames[0] ? slot : -1;
  return {{f.corners[0], f.corners[1], f.corners[2]}, f.corner_count, f.alpha, f.red, f.green, f.blue, slot};
}

TEST_F(ModelPrepare, MeshesMergeAndMaterialsGiveColourAlphaAndTextureUngroupedFacesRandomColours) {
  write_texture("WOOD.3DF", {kRed});
  ThreeDsModel model;
  model.materials = {{"Opaque", "WOOD.GIF", {}, {200 / 255.0f, 100 / 255.0f, 1}, 1.0f},
                     {"Half", std::nullopt, {}, {1, 1, 1}, 0.5f},
                     {"Null", "NULL", {}, {0, 0, 0}, 1.0f},
                     {"Missing", "GONE.TGA", {}, {0.5f, 0.5f, 0.5f}, 1.0f}};
  ThreeDsMesh mapped =
      mesh({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}, {0, 1, 3}, {3, 2, 1}});
  mapped.mapping = {{0, 0}, {1, 0}, {1, 1}, {0, 0.5f}};
  // The last group of a face wins: face 4 is "Half".
  mapped.groups = {{"Opaque", -1, {0, 1}}, {"Null", -1, {2}}, {"Missing", -1, {3, 4}}, {"Half", -1, {4}}};
  model.meshes.push_back(mapped);
  model.meshes.push_back(mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}, {0, 2, 1}}));
  model.meshes.back().groups = {{"Opaque", -1, {0}}};  // no mapping: no texture; face 1 in no group
  // Every face draws three colours from the engine's generator, in file order.
  RandomGenerator random;
  random_seed(random, 77);
  random_seed(e_.random, 77);
  int ungrouped[3];
  for (int i = 0; i < 7 * 3; ++i) ungrouped[i % 3] = random_next(random) & 0xFF;
  e_.object_count = 2;  // objects 0 and 1 exist already
  e_.objects.resize(2);
  const Object& o = load(model);
  EXPECT_EQ(std::make_tuple(o.index, o.vertex_count, o.face_count, o.front_face),
            std::make_tuple(2, 7, 7, kFrontFaceCw));
  ASSERT_EQ(o.faces.size(), 7u);
  ASSERT_EQ(e_.texture_slots[0].name, "WOOD");
  // The pass over the faces exchanges the first translucent one (face 4,
  // alpha 127) with the last face and stops: the ungrouped face (alpha 65)
  // stays before the plain mesh's face. "NULL" names no texture, GONE.3DF
  // does not exist, 0.5 was written as the byte 128.
  const FaceText expected[7] = {
      {{0, 1, 2}, 3, 255, 200, 100, 255, 0},
      {{0, 2, 3}, 3, 255, 200, 100, 255, 0},
      {{1, 2, 3}, 3, 255, 0, 0, 0, kNoTexture16},
      {{0, 1, 3}, 3, 255, 128, 128, 128, kNoTexture16},
      {{4, 6, 5}, 3, 65, ungrouped[0], ungrouped[1], ungrouped[2], kNoTexture16},
      {{4, 5, 6}, 3, 255, 200, 100, 255, kNoTexture16},
      {{3, 2, 1}, 3, 127, 255, 255, 255, kNoTexture16}};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(face_text(o.faces[static_cast<std::size_t>(i)]), expected[i]) << i;
}

// The front face, the corners of both faces (the second mesh's name its own
// vertices) and z of vertices 0 and 2, in each orientation. z spans 1..3,
// centred to -1..1; mirrored it spans -3..-1, centred to 1..-1.
TEST_F(ModelPrepare, OrientationsMirrorOrReverseTheFacesOfEveryMesh) {
  ThreeDsModel model;
  model.meshes = {mesh({{0, 0, 1}, {1, 0, 2}, {0, 1, 3}}, {{0, 1, 2}}), mesh({{5, 0, 1}, {6, 0, 1}, {5, 1, 1}}, {{0, 1, 2}})};
  model.meshes[0].mapping = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
  using Corners = std::array<std::int32_t, 4>;
  using Case = std::tuple<std::uint32_t, Corners, Corners, float, float>;
  for (auto [orientation, expected] : {std::pair{kOrientAsStored, Case{kFrontFaceCw, {0, 1, 2, 0}, {3, 4, 5, 0}, -1, 1}},
                                       {kOrientMirrorZ, Case{kFrontFaceCcw, {0, 1, 2, 0}, {3, 4, 5, 0}, 1, -1}},
                                       {kOrientReverseCorners, Case{kFrontFaceCw, {0, 2, 1, 0}, {3, 5, 4, 0}, -1, 1}}}) {
    SCOPED_TRACE(orientation);
    const Object& o = load(model, orientation);
    const bool swapped = o.faces[0].corners[0] != 0;  // the sort by alpha may exchange them
    const Face& first = o.faces[swapped ? 1 : 0];
    EXPECT_EQ(Case(o.front_face, first.corners, o.faces[swapped ? 0 : 1].corners, o.vertices[0].position.z,
                   o.vertices[2].position.z),
              expected);
    // Centred on the middle of x 0..6 and y 0..1.
    EXPECT_EQ(std::make_pair(o.vertices[0].position.x, o.vertices[0].position.y), std::make_pair(-3.0f, -0.5f));
    // The mapping stays in the stored order a, b, c, scaled to 0..255.
    EXPECT_EQ((std::array<float, 3>{first.u[1], first.v[0], first.v[2]}),
              (std::array<float, 3>{0.3f * 255.0f, 0.2f * 255.0f, 0.6f * 255.0f}));
  }
}

// The bounds start at the first vertex: a model far from the origin is
// centred too, one inside ±65535 as it always was.
TEST(ModelCentre, ModelsAreCentredWhereverTheyLie) {
  const std::array<float, 4> cases[] = {
      {2, 6, -2, 2}, {70000, 80000, -5000, 5000}, {-90000, -70000, -10000, 10000}, {-65535, 65535, -65535, 65535}};
  for (const auto& [from, to, left, right] : cases) {
    Object o;
    o.vertices.resize(3);
    o.vertices[0].position = {(from + to) / 2, 7, 1};
    o.vertices[1].position = {to, 7, 1};
    o.vertices[2].position = {from, 7, 1};
    o.vertex_count = 3;
    center_object(o);
    EXPECT_EQ(std::make_tuple(o.vertices[2].position.x, o.vertices[1].position.x, o.vertices[0].position.y),
              std::make_tuple(left, right, 0.0f))
        << from << ".." << to;
  }
}

TEST_F(ModelPrepare, MissingOrHomelessModelsChangeNothing) {
  ThreeDsModel model;
  model.meshes.push_back(mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}}));
  ASSERT_TRUE(write_3ds(dir_.file("m.3ds"), model));
  e_.objects.resize(1);
  e_.object_count = 1;
  RandomGenerator copy;
  random_seed(copy, e_.random.state.load());
  std::string reason;
  EXPECT_EQ(load_model(e_, dir_.file("none.3ds"), 1, kOrientMirrorZ, &reason), 0);
  EXPECT_EQ(reason, "cannot be opened");
  // Without an object at position object_count nothing can receive a model.
  EXPECT_EQ(load_model(e_, dir_.file("m.3ds"), 0, kOrientAsStored), 0);
  EXPECT_EQ(std::make_pair(e_.objects.size(), e_.object_count), std::make_pair(std::size_t{1}, 1));
  EXPECT_EQ(random_next(e_.random), random_next(copy));  // no colour was drawn
}

// Every 3DS file under /usr/share: what this reader refuses lib3ds refuses
// too, and the meshes of what both read match list by list with the material
// name of each face. lib3ds moves the points of a mesh whose local axes
// (0x4160) are mirrored through those axes; this reader keeps the points as
// stored, so such meshes are compared without their points.
TEST(ThreeDsRealModels, MeshesMatchTheLibraryReader) {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator("/usr/share", fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (strcasecmp(it->path().extension().c_str(), ".3ds") == 0 && it->is_regular_file(ec))
      paths.push_back(it->path().string());
  }
  if (paths.empty()) GTEST_SKIP() << "no 3DS models under /usr/share";
  std::sort(paths.begin(), paths.end());
  int compared = 0;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::string reason;
    std::optional<ThreeDsModel> ours = read_3ds(path, &reason);
    Lib3dsFile* f = lib3ds_file_load(path.c_str());
    EXPECT_TRUE(ours || !f) << "refused here but read by lib3ds: " << reason;
    std::vector<ThreeDsMesh> theirs;  // lib3ds's reading, one group per face
    std::set<std::string> no_points;
    for (Lib3dsMesh* m = ours && f ? f->meshes : nullptr; m; m = m->next) {
      if (lib3ds_matrix_det(m->matrix) < 0) no_points.insert(m->name);
      ThreeDsMesh& t = theirs.emplace_back();
      t.name = m->name;
      for (std::size_t i = 0; i < m->points; ++i)
        t.vertices.push_back({m->pointL[i].pos[0], m->pointL[i].pos[1], m->pointL[i].pos[2]});
      for (std::size_t i = 0; i < m->faces; ++i) {
        const Lib3dsFace& face = m->faceL[i];
        t.faces.push_back({face.points[0], face.points[1], face.points[2]});
        t.groups.push_back({face.material, -1, {static_cast<std::int32_t>(i)}});
      }
      for (std::size_t i = 0; i < m->texels; ++i) t.mapping.push_back({m->texelL[i][0], m->texelL[i][1]});
    }
    if (ours && f) {
      ++compared;
      const std::vector<std::string> a = mesh_lines(ours->meshes, no_points), b = mesh_lines(theirs, no_points);
      const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
      EXPECT_EQ(ia == a.end() ? "" : *ia, ib == b.end() ? "" : *ib) << "the first mesh that differs";
    }
    if (f) lib3ds_file_free(f);
    ASSERT_FALSE(HasFailure()) << "stopped at the first file that differs";
  }
  std::printf("[  MODELS  ] %zu files, %d compared with lib3ds\n", paths.size(), compared);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace kelvo
