// The 3DS reader and writer: round trips, the chunk rules, hostile files, the
// kelvo-check model command, and the real models of the installed Debian
// packages read beside lib3ds.
#include "model/three_ds.h"

#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "model/model_prepare.h"
#include "model/three_ds_writer.h"
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
// group whose material does not exist. The group material indices are the
// ones a read finds.
ThreeDsModel sample_model() {
  ThreeDsModel model;
  model.materials = {{"Red", std::nullopt, {0.2f, 0.2f, 0.2f}, {1, 0, 0}, 1.0f},
                     {"Wood", "WOOD.GIF", {0, 0, 0}, {0.5f, 0.25f, 0}, 0.5f},
                     {std::string(79, 'U'), std::string(79, 'T'), {0, 0, 0}, {0, 0, 1}, 1.0f},
                     {"Red", std::nullopt, {0, 0, 0}, {0, 1, 0}, 1.0f}};  // of two "Red"s the first one is used
  model.meshes.push_back({"Box",
                          {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}},
                          {{0, 1, 2}, {0, 2, 3}},
                          {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                          {{"Red", 0, {0}}, {"Wood", 1, {1}}}});
  model.meshes.push_back(
      {"Triangle_15char", {{-1, -2, -3}, {4, 5, 6}, {7.5f, 8.25f, -9.125f}}, {{2, 1, 0}}, {}, {{"Missing", -1, {0}}}});
  return model;
}

// The meshes of a model as text: one line each.
std::string dump(const ThreeDsModel& m) {
  std::ostringstream s;
  for (const ThreeDsMesh& mesh : m.meshes) {
    s << mesh.name << ':';
    for (const ThreeDsPoint& v : mesh.vertices) s << ' ' << v.x << ',' << v.y << ',' << v.z;
    for (const ThreeDsFace& f : mesh.faces) s << ' ' << f.a << '/' << f.b << '/' << f.c;
    for (const ThreeDsUv& t : mesh.mapping) s << " uv" << t.u << ',' << t.v;
    for (const ThreeDsFaceGroup& g : mesh.groups) {
      s << ' ' << g.material_name << '#' << g.material;
      for (std::int32_t j : g.faces) s << '.' << j;
    }
    s << '\n';
  }
  return s.str();
}

std::optional<ThreeDsModel> decode(const Bytes& bytes, std::string* reason = nullptr) {
  return decode_3ds(std::span<const std::uint8_t>(bytes.data(), bytes.size()), reason);
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
  chunk(w, k3dsNamedObject, [&](W& o) {
    o.name(name);
    chunk(o, k3dsTriangleObject, body);
  });
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

void face_list(W& w, std::vector<ThreeDsFace> faces, const Body& nested = {}) {
  chunk(w, k3dsFaceList, [&](W& c) {
    c.u16(static_cast<std::uint16_t>(faces.size()));
    for (const ThreeDsFace& f : faces)
      for (std::uint16_t v : {f.a, f.b, f.c, std::uint16_t{0}}) c.u16(v);
    if (nested) nested(c);
  });
}

void face_group(W& w, const std::string& name, std::vector<std::uint16_t> faces) {
  chunk(w, k3dsFaceGroup, [&](W& c) {
    c.name(name);
    c.u16(static_cast<std::uint16_t>(faces.size()));
    for (std::uint16_t j : faces) c.u16(j);
  });
}

TEST(ThreeDsReader, WriterRoundTripKeepsMeshesMaterialsAndGroups) {
  const ThreeDsModel in = sample_model();
  TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("sample.3ds"), in));
  std::string reason;
  std::optional<ThreeDsModel> out = read_3ds(dir.file("sample.3ds"), &reason);
  ASSERT_TRUE(out) << reason;
  EXPECT_EQ(dump(*out), dump(in));
  // Four materials, then the blank one that a read always ends with.
  ASSERT_EQ(out->materials.size(), 5u);
  const std::vector<ThreeDsMaterial>& m = out->materials;
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(std::tie(m[i].name, m[i].texture), std::tie(in.materials[i].name, in.materials[i].texture));
  EXPECT_FALSE(m[4].name || m[4].texture);
  EXPECT_EQ(std::make_tuple(m[0].diffuse.r, m[0].diffuse.g, m[0].ambient.b, m[0].alpha),
            std::make_tuple(1.0f, 0.0f, 51 * kStep, 1.0f));
  EXPECT_EQ(std::make_tuple(m[1].diffuse.g, m[1].alpha), std::make_tuple(64 * kStep, 0.5f));
  // Writing what was read gives the same bytes (the blank material is not
  // written); more than a u16 can count is refused by the writer.
  const std::string file = dir.read("sample.3ds");
  EXPECT_EQ(encode_3ds(*out), Bytes(file.begin(), file.end()));
  ThreeDsModel big;
  big.meshes.emplace_back().vertices.resize(65536);
  EXPECT_FALSE(encode_3ds(big));
}

// Colour chunk `id` holding one 24-bit colour chunk.
void colour(W& w, std::uint16_t id, std::uint16_t sub, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  chunk(w, id, [&](W& c) { c.colour_chunk(sub, r, g, b); });
}

// The material of a file that holds only a material of what `body` writes.
ThreeDsMaterial material_of(const Body& body) {
  std::optional<ThreeDsModel> m = decode(in_mesh_data([&](W& w) { material_chunk(w, "M", body); }));
  EXPECT_TRUE(m);
  return m ? m->materials.at(0) : ThreeDsMaterial{};
}

TEST(ThreeDsReader, ColoursKeepTheLastSubChunkAlphaTheIntegerPercentageAndAllBlackFilesUseWhite) {
  // Of 0x0011 and 0x0012 the one read last is kept.
  const ThreeDsRgb d = material_of([](W& c) {
                         chunk(c, k3dsDiffuse, [](W& d) {
                           d.colour_chunk(k3dsColour24, 10, 20, 30), d.colour_chunk(k3dsColour24Gamma, 40, 50, 60);
                         });
                       }).diffuse;
  EXPECT_EQ(std::make_tuple(d.r, d.g, d.b), std::make_tuple(40 * kStep, 50 * kStep, 60 * kStep));
  // Up to 1 % means opaque, and so does an alpha chunk without an integer
  // percentage (-1); a float percentage is not read.
  for (auto [percent, alpha] : {std::pair{0, 1.0f}, {1, 1.0f}, {2, 0.02f}, {50, 0.5f}, {-1, 1.0f}}) {
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
    std::optional<ThreeDsModel> m = decode(in_mesh_data([lit](W& w) {
      for (const char* name : {"Used", "Idle"}) {
        material_chunk(w, name, [](W& c) {
          colour(c, k3dsDiffuse, k3dsColour24, 0, 0, 0), colour(c, k3dsAmbient, k3dsColour24, 0, 0, 0);
        });
      }
      if (lit) material_chunk(w, "Lit", [](W& c) { colour(c, k3dsAmbient, k3dsColour24Gamma, 0, 0, 1); });
      triangle_object(w, "M", [](W& t) {
        vertex_list(t, 3);
        face_list(t, {{0, 1, 2}}, [](W& n) { face_group(n, "Used", {0}); });
      });
    }));
    ASSERT_TRUE(m);
    const ThreeDsRgb& used = m->materials[0].diffuse;
    const float white = lit ? 0.0f : 1.0f;
    EXPECT_EQ(std::make_tuple(used.r, used.g, used.b, m->materials[0].ambient.r, m->materials[1].diffuse.r),
              std::make_tuple(white, white, white, 0.0f, 0.0f));
  }
}

TEST(ThreeDsReader, RefusesMalformedFilesWithAReason) {
  Bytes past_file = in_mesh_data({});
  past_file[2] += 1;  // main chunk one byte longer than the file
  const struct {
    const char* what;
    Bytes bytes;
    const char* reason;  // a part of the reason given
  } cases[] = {
      {"empty file", {}, "holds no chunk header"},
      {"another format", {0x4D, 0x4C, 6, 0, 0, 0}, "not a 3DS file"},
      {"main chunk past the file", past_file, "runs past the file"},
      // Length 0: a walk that would not advance.
      {"zero-length chunk", in_mesh_data([](W& w) { w.u16(0x1234), w.u32(0); }), "shorter than its header"},
      {"header past its parent", in_mesh_data([](W& w) { w.u8(1), w.u8(2), w.u8(3); }), "chunk header at offset"},
      {"object name too long", in_mesh_data([](W& w) { triangle_object(w, std::string(16, 'o'), {}); }),
       "longer than 15 characters"},
      {"material name too long", in_mesh_data([](W& w) { material_chunk(w, std::string(80, 'm')); }), "material name"},
      {"huge vertex count", in_triangle_object([](W& w) { chunk(w, k3dsVertexList, [](W& c) { c.u16(65535); }); }),
       "vertex list"},
      {"face corner past the vertices", in_triangle_object([](W& w) {
         vertex_list(w, 3), face_list(w, {{0, 1, 2}, {0, 3, 1}});
       }),
       "uses vertex 3 of 3"},
      {"face corner past the mapping list", in_triangle_object([](W& w) {
         vertex_list(w, 4);
         chunk(w, k3dsMappingList, [](W& c) { c.u16(3), c.f32(0), c.f32(0), c.f32(0), c.f32(0), c.f32(0), c.f32(0); });
         face_list(w, {{0, 1, 2}, {1, 2, 3}});
       }),
       "face 1 uses mapping coordinate 3 of 3"},
      {"face group index past the faces", in_triangle_object([](W& w) {
         vertex_list(w, 3), face_list(w, {{0, 1, 2}}, [](W& n) { face_group(n, "A", {0, 1}); });
       }),
       "uses face 1 of 1"},
      {"colour cut short", in_mesh_data([](W& w) {
         material_chunk(
             w, "M", [](W& c) { chunk(c, k3dsDiffuse, [](W& d) { chunk(d, k3dsColour24, [](W& k) { k.u8(1); }); }); });
       }),
       "colour"},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_FALSE(decode(c.bytes, &reason)) << c.what;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
  }
}

TEST(ThreeDsReader, SurvivesEveryTruncationAndRandomByteChanges) {
  const Bytes bytes = *encode_3ds(sample_model());
  // Every proper prefix misses bytes that the main chunk claims.
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::string reason;
    EXPECT_FALSE(decode_3ds(std::span<const std::uint8_t>(bytes.data(), n), &reason)) << n;
    EXPECT_FALSE(reason.empty()) << n;
  }
  // Changed bytes: whatever is accepted keeps every index in range, and
  // preparing it does not go out of range either.
  TempDir dir;
  Engine e;
  e.gl_textures = 0;
  e.paths.dir_temp = dir.path();
  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::size_t> where(0, bytes.size() - 1);
  std::uniform_int_distribution<int> value(0, 255), how_many(1, 4);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes changed = bytes;
    for (int k = how_many(rng); k > 0; --k) changed[where(rng)] = static_cast<std::uint8_t>(value(rng));
    std::string reason;
    std::optional<ThreeDsModel> m = decode(changed, &reason);
    if (!m) {
      EXPECT_FALSE(reason.empty());
      continue;
    }
    ++accepted;
    EXPECT_TRUE(validate_3ds(*m));
    ASSERT_FALSE(m->materials.empty() || m->materials.back().name);  // the blank material ends the list
    e.objects.clear(), e.object_count = 0;
    ASSERT_EQ(prepare_model(e, *m, 1, round % 3), 1);
  }
  // Both kinds happen: most changes land in floats and names.
  EXPECT_TRUE(accepted > 1000 && accepted < 19000) << accepted;
}

// kelvo-check model FILE: exit status, standard output, standard error.
std::tuple<int, std::string, std::string> check_model(const std::string& path) {
  std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
  const int status = check_model_command(path, files[0], files[1]);
  std::string text[2];
  for (int i = 0; i < 2; ++i) {
    std::rewind(files[i]);
    for (int c; (c = std::fgetc(files[i])) != EOF;) text[i] += static_cast<char>(c);
    std::fclose(files[i]);
  }
  return {status, text[0], text[1]};
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
  EXPECT_EQ(check_model(dir.file("missing.3ds")),
            std::make_tuple(1, std::string(), dir.file("missing.3ds") + ": cannot be opened\n"));
}

// ------------------------------------------------------------ real models --

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

// Compares `ours` with what lib3ds reads from `path`, every mesh list by list
// with the material name of each face. lib3ds moves the points of a mesh whose local axes
// (0x4160) are mirrored through those axes; this reader keeps the points as
// stored, so such meshes are compared without their points. False when lib3ds
// refuses the file.
bool matches_lib3ds(const std::string& path, const ThreeDsModel& ours) {
  Lib3dsFile* f = lib3ds_file_load(path.c_str());
  if (!f) return false;
  std::vector<ThreeDsMesh> theirs;  // lib3ds's reading, one group per face
  std::set<std::string> no_points;
  for (const Lib3dsMesh* m = f->meshes; m; m = m->next) {
    Lib3dsMatrix axes;
    std::memcpy(axes, m->matrix, sizeof axes);
    if (lib3ds_matrix_det(axes) < 0) no_points.insert(m->name);
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
  const std::vector<std::string> a = mesh_lines(ours.meshes, no_points), b = mesh_lines(theirs, no_points);
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  EXPECT_EQ(ia == a.end() ? std::string() : *ia, ib == b.end() ? std::string() : *ib) << "the first mesh that differs";
  lib3ds_file_free(f);
  return true;
}

TEST(ThreeDsRealModels, MeshesMatchTheLibraryReader) {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator("/usr/share", fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string ext = it->path().extension().string();
    if (strcasecmp(ext.c_str(), ".3ds") == 0 && it->is_regular_file(ec)) paths.push_back(it->path().string());
  }
  if (paths.empty()) GTEST_SKIP() << "no 3DS models under /usr/share";
  std::sort(paths.begin(), paths.end());
  TempDir empty_dir;  // the textures are looked for here (and not found)
  int compared = 0, refused = 0;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::string reason;
    std::optional<ThreeDsModel> ours = read_3ds(path, &reason);
    if (!ours) {  // then lib3ds must refuse it too
      ++refused;
      Lib3dsFile* theirs = lib3ds_file_load(path.c_str());
      EXPECT_EQ(theirs, nullptr) << "refused here but read by lib3ds: " << reason;
      if (theirs) lib3ds_file_free(theirs);
      continue;
    }
    // Everything accepted also prepares into an object.
    Engine e;
    e.gl_textures = 0;
    e.paths.dir_temp = empty_dir.path();
    ASSERT_EQ(prepare_model(e, *ours, 1, 1, &reason), 1) << reason;
    compared += matches_lib3ds(path, *ours);
    ASSERT_FALSE(HasFailure()) << "stopped at the first file that differs";
  }
  std::printf("[  MODELS  ] %zu files, %d compared with lib3ds, %d refused\n", paths.size(), compared, refused);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace kelvo
