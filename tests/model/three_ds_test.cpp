// The 3DS reader and writer: round trips, the chunk rules, hostile files, the
// kelvo-check model command, and the real models of the installed Debian
// packages read beside lib3ds.
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "model/model_prepare.h"
#include "model/three_ds.h"
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

// Materials "Red", "Wood" (textured, half transparent) and "Unused"; mesh
// "Box" with mapping and groups for Red and Wood, mesh "Triangle_15chr" with a
// group whose material does not exist. The group material indices are the
// ones a read finds.
ThreeDsModel sample_model() {
  ThreeDsModel model;
  model.materials = {{"Red", std::nullopt, {0.2f, 0.2f, 0.2f}, {1, 0, 0}, 1.0f},
                     {"Wood", "WOOD.GIF", {0, 0, 0}, {0.5f, 0.25f, 0}, 0.5f},
                     {"Unused", std::nullopt, {0, 0, 0}, {0, 0, 1}, 1.0f}};
  model.meshes.push_back({"Box", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}}, {{0, 1, 2}, {0, 2, 3}},
                          {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{"Red", 0, {0}}, {"Wood", 1, {1}}}});
  model.meshes.push_back(
      {"Triangle_15chr", {{-1, -2, -3}, {4, 5, 6}, {7.5f, 8.25f, -9.125f}}, {{2, 1, 0}}, {}, {{"Missing", -1, {0}}}});
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
    for (const ThreeDsFace& f : faces) {
      for (std::uint16_t v : {f.a, f.b, f.c, std::uint16_t{0}}) c.u16(v);
    }
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

bool matches_lib3ds(const std::string& path, const ThreeDsModel& ours, int* meshes = nullptr, int* mirrored = nullptr);

TEST(ThreeDsReader, WriterRoundTripKeepsMeshesMaterialsAndGroups) {
  const ThreeDsModel in = sample_model();
  TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("sample.3ds"), in));
  std::string reason;
  std::optional<ThreeDsModel> out = read_3ds(dir.file("sample.3ds"), &reason);
  ASSERT_TRUE(out) << reason;
  EXPECT_EQ(dump(*out), dump(in));
  // Three materials, then the blank one that a read always ends with.
  ASSERT_EQ(out->materials.size(), 4u);
  const std::vector<ThreeDsMaterial>& m = out->materials;
  EXPECT_EQ(std::tie(m[0].name, m[1].name, m[2].name, m[1].texture),
            std::tie(in.materials[0].name, in.materials[1].name, in.materials[2].name, in.materials[1].texture));
  EXPECT_FALSE(m[0].texture || m[3].name || m[3].texture);
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

  // lib3ds, the reference reader, reads the same file.
  EXPECT_TRUE(matches_lib3ds(dir.file("sample.3ds"), *out));
}

TEST(ThreeDsReader, WalksOnlyMeshesOfTriangleObjectsAndSkipsOtherChunks) {
  Bytes bytes = in_mesh_data([](W& w) {
    chunk(w, 0x0100, [](W& c) { c.f32(1); });  // master scale
    chunk(w, k3dsNamedObject, [](W& c) {       // a light: no mesh
      c.name("Lamp");
      chunk(c, 0x4600, [](W& l) { l.f32(1); });
    });
    chunk(w, k3dsNamedObject, [](W& c) {  // two triangle objects: two meshes of one name
      c.name("Twice");
      for (int k = 0; k < 2; ++k) {
        chunk(c, k3dsTriangleObject, [k](W& t) {
          vertex_list(t, 2 + k);
          chunk(t, 0x4160, [](W& a) { a.f32(0); });                                            // local axes
          face_list(t, {{0, 1, 1}}, [](W& n) { chunk(n, 0x4150, [](W& s) { s.u32(1); }); });  // smoothing
        });
      }
    });
  });
  // A second top-level chunk after the main one is never read.
  bytes.insert(bytes.end(), {0x4D, 0x4D, 10, 0, 0, 0, 0xAD, 0xDE, 0, 0});
  std::optional<ThreeDsModel> m = decode(bytes);
  ASSERT_TRUE(m);
  EXPECT_EQ(dump(*m), "Twice: 0,0,0 1,0,0 0/1/1\nTwice: 0,0,0 1,0,0 2,0,0 0/1/1\n");
  // A later list replaces the earlier one of its kind.
  m = decode(in_triangle_object([](W& w) {
    vertex_list(w, 5);
    vertex_list(w, 1);
    face_list(w, {{0, 0, 0}, {0, 0, 0}});
    face_list(w, {{0, 0, 0}});
  }));
  ASSERT_TRUE(m);
  EXPECT_EQ(dump(*m), "M: 0,0,0 0/0/0\n");
  // An empty file of the right kind is a model with no mesh.
  m = decode(in_mesh_data({}));
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->meshes.empty());
  EXPECT_EQ(m->materials.size(), 1u);
}

TEST(ThreeDsReader, FaceGroupsAreReadInsideTheFaceListOrBesideIt) {
  std::optional<ThreeDsModel> m = decode(in_mesh_data([](W& w) {
    for (const char* name : {"A", "B", "A"}) material_chunk(w, name);  // of two "A"s the first one wins
    triangle_object(w, "M", [](W& t) {
      vertex_list(t, 3);
      face_list(t, {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}}, [](W& n) {
        face_group(n, "A", {0, 2});
        chunk(n, 0x4150, [](W& s) { s.u32(0); });
        face_group(n, "b", {1});  // names are compared with case
      });
      face_group(t, "B", {1});  // directly in the triangle object
      face_group(t, "Later", {});
    });
    material_chunk(w, "Later");  // defined after its use: not found
  }));
  ASSERT_TRUE(m);
  EXPECT_EQ(dump(*m), "M: 0,0,0 1,0,0 2,0,0 0/1/2 1/2/0 2/0/1 A#0.0.2 b#-1.1 B#1.1 Later#-1\n");
  EXPECT_EQ(m->materials.size(), 5u);
}

// Colour chunk `id` holding 24-bit colour chunks {id, r, g, b}.
void colour(W& w, std::uint16_t id, std::initializer_list<std::array<int, 4>> parts) {
  chunk(w, id, [&](W& c) {
    for (auto [sub, r, g, b] : parts)
      c.colour_chunk(static_cast<std::uint16_t>(sub), static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                     static_cast<std::uint8_t>(b));
  });
}

TEST(ThreeDsReader, ColoursKeepTheLastSubChunkAndAllBlackFilesUseWhite) {
  // Of 0x0011 and 0x0012 the one read last is kept; a float colour is skipped.
  std::optional<ThreeDsModel> m = decode(in_mesh_data([](W& w) {
    material_chunk(w, "Both", [](W& c) {
      chunk(c, k3dsDiffuse, [](W& d) {
        d.colour_chunk(k3dsColour24, 10, 20, 30);
        d.colour_chunk(k3dsColour24Gamma, 40, 50, 60);
        chunk(d, 0x0010, [](W& f) { f.f32(0.9f), f.f32(0.9f), f.f32(0.9f); });
      });
      colour(c, k3dsAmbient, {{k3dsColour24Gamma, 255, 0, 0}, {k3dsColour24, 1, 2, 3}});
    });
  }));
  ASSERT_TRUE(m);
  const ThreeDsRgb &d = m->materials[0].diffuse, &a = m->materials[0].ambient;
  EXPECT_EQ(std::make_tuple(d.r, d.g, d.b), std::make_tuple(40 * kStep, 50 * kStep, 60 * kStep));
  EXPECT_EQ(std::make_tuple(a.r, a.g, a.b), std::make_tuple(1 * kStep, 2 * kStep, 3 * kStep));

  // Only black colours in the whole file: the materials that face groups use
  // get diffuse white; the others keep what they read. One non-zero component
  // anywhere (an ambient one of "Lit") keeps the blacks.
  for (bool lit : {false, true}) {
    SCOPED_TRACE(lit);
    m = decode(in_mesh_data([lit](W& w) {
      for (const char* name : {"Used", "Idle"}) {
        material_chunk(w, name, [](W& c) {
          colour(c, k3dsDiffuse, {{k3dsColour24, 0, 0, 0}});
          colour(c, k3dsAmbient, {{k3dsColour24, 0, 0, 0}});
        });
      }
      if (lit) material_chunk(w, "Lit", [](W& c) { colour(c, k3dsAmbient, {{k3dsColour24Gamma, 0, 0, 1}}); });
      triangle_object(w, "M", [](W& t) {
        vertex_list(t, 3);
        face_list(t, {{0, 1, 2}}, [](W& n) { face_group(n, "Used", {0}); });
      });
    }));
    ASSERT_TRUE(m);
    const ThreeDsRgb& used = m->materials[0].diffuse;
    const float white = lit ? 0.0f : 1.0f;
    EXPECT_EQ(std::make_tuple(used.r, used.g, used.b), std::make_tuple(white, white, white));
    EXPECT_EQ(m->materials[0].ambient.r, 0.0f);
    EXPECT_EQ(m->materials[1].diffuse.r, 0.0f);
    EXPECT_FLOAT_EQ(m->materials.at(lit ? 2 : 1).ambient.b, lit ? kStep : 0.0f);
  }
}

TEST(ThreeDsReader, AlphaComesFromThePercentageAndSmallValuesMeanOpaque) {
  // percent < 0: an alpha chunk without a percentage; nullopt: no alpha chunk.
  auto alpha_of = [](std::optional<int> percent) {
    std::optional<ThreeDsModel> m = decode(in_mesh_data([percent](W& w) {
      material_chunk(w, "M", [percent](W& c) {
        if (!percent) return;
        chunk(c, k3dsAlpha, [percent](W& a) {
          if (*percent < 0) return;
          chunk(a, 0x0031, [](W& f) { f.f32(77.0f); });  // a float percentage is not read
          a.percentage_chunk(k3dsPercentage, static_cast<std::uint16_t>(*percent));
        });
      });
    }));
    return m ? m->materials[0].alpha : -1.0f;
  };
  const std::pair<std::optional<int>, float> cases[] = {{0, 1.0f},   {1, 1.0f},  {2, 0.02f},          {50, 0.5f},
                                                        {100, 1.0f}, {-1, 1.0f}, {std::nullopt, 1.0f}};
  for (const auto& [percent, alpha] : cases) EXPECT_FLOAT_EQ(alpha_of(percent), alpha) << percent.value_or(-2);
}

TEST(ThreeDsReader, NamesUpToTheirLimitAreReadWholeAndLongerOnesRefused) {
  auto object_named = [](const std::string& name) {
    return in_mesh_data([&](W& w) { triangle_object(w, name, {}); });
  };
  auto material_named = [](const std::string& name, const std::string& map) {
    return in_mesh_data([&](W& w) {
      material_chunk(w, name, [&](W& c) {
        chunk(c, k3dsTextureMap, [&](W& t) { chunk(t, k3dsMapName, [&](W& n) { n.name(map); }); });
      });
    });
  };
  std::string reason;
  std::optional<ThreeDsModel> m = decode(object_named(std::string(15, 'o')), &reason);
  ASSERT_TRUE(m) << reason;
  EXPECT_EQ(m->meshes.at(0).name, std::string(15, 'o'));
  // Up to 79 characters, and the empty name, are read whole.
  for (std::size_t n : {79u, 0u}) {
    m = decode(material_named(std::string(n, 'm'), std::string(n, 't')), &reason);
    ASSERT_TRUE(m) << reason;
    EXPECT_EQ(m->materials[0].name, std::string(n, 'm'));
    EXPECT_EQ(m->materials[0].texture, std::string(n, 't'));
  }
  const std::pair<Bytes, const char*> refused[] = {
      {object_named(std::string(16, 'o')), "longer than 15 characters"},
      {material_named(std::string(80, 'm'), "t"), "material name"},
      {material_named("m", std::string(80, 't')), "texture map name"}};
  for (const auto& [bytes, why] : refused) {
    EXPECT_FALSE(decode(bytes, &reason)) << why;
    EXPECT_NE(reason.find(why), std::string::npos) << reason;
  }
}

// A chunk `id` holding what `body` writes, inside a material.
Bytes in_material(std::uint16_t id, const Body& body) {
  return in_mesh_data([&](W& w) { chunk(w, k3dsMaterial, [&](W& m) { chunk(m, id, body); }); });
}

struct Malformed {
  const char* what;
  Bytes bytes;
  const char* reason;  // a part of the reason given
};

std::vector<Malformed> malformed_files() {
  Bytes past_file = in_mesh_data({});
  past_file[2] += 1;  // main chunk one byte longer than the file
  auto one_face = [](const Body& nested) {
    return in_triangle_object([&](W& w) {
      vertex_list(w, 3);
      face_list(w, {{0, 1, 2}}, nested);
    });
  };
  return {
      {"empty file", {}, "holds no chunk header"},
      {"five bytes", {0x4D, 0x4D, 6, 0, 0}, "holds no chunk header"},
      {"another format", {0x4D, 0x4C, 6, 0, 0, 0}, "not a 3DS file"},
      {"main chunk past the file", past_file, "runs past the file"},
      // Length 0: a walk that would not advance.
      {"zero-length chunk", in_mesh_data([](W& w) { w.u16(0x1234), w.u32(0); }), "shorter than its header"},
      {"five-byte chunk", in_mesh_data([](W& w) { w.u16(0x1234), w.u32(5), w.u8(0); }), "shorter than its header"},
      {"chunk past its parent", in_mesh_data([](W& w) { w.u16(0x1234), w.u32(7); }), "runs past its parent"},
      {"header past its parent", in_mesh_data([](W& w) { w.u8(1), w.u8(2), w.u8(3); }), "chunk header at offset"},
      {"vertex list past its chunk",  // 2 vertices need 6 floats
       in_triangle_object([](W& w) {
         chunk(w, k3dsVertexList, [](W& c) {
           c.u16(2);
           for (int i = 0; i < 5; ++i) c.f32(0);
         });
       }),
       "vertex list"},
      {"huge vertex count", in_triangle_object([](W& w) { chunk(w, k3dsVertexList, [](W& c) { c.u16(65535); }); }),
       "vertex list"},
      {"face count missing", in_triangle_object([](W& w) { chunk(w, k3dsFaceList, [](W& c) { c.u8(1); }); }),
       "face count"},
      {"face list past its chunk",
       in_triangle_object([](W& w) { chunk(w, k3dsFaceList, [](W& c) { c.u16(1), c.u16(0), c.u16(0), c.u16(0); }); }),
       "face list"},
      {"mapping list past its chunk",
       in_triangle_object([](W& w) { chunk(w, k3dsMappingList, [](W& c) { c.u16(1), c.f32(0); }); }), "mapping list"},
      {"face group past its chunk",
       one_face([](W& n) { chunk(n, k3dsFaceGroup, [](W& g) { g.name("A"), g.u16(2), g.u16(0); }); }), "face group"},
      {"face corner past the vertices", in_triangle_object([](W& w) {
         vertex_list(w, 3);
         face_list(w, {{0, 1, 2}, {0, 3, 1}});
       }),
       "face 1 uses vertex 3 of 3"},
      {"faces without vertices", in_triangle_object([](W& w) {
         face_list(w, {{0, 0, 0}});
       }),
       "uses vertex 0 of 0"},
      {"face corner past the mapping list", in_triangle_object([](W& w) {
         vertex_list(w, 4);
         chunk(w, k3dsMappingList, [](W& c) {
           c.u16(3);
           for (int i = 0; i < 6; ++i) c.f32(0);
         });
         face_list(w, {{0, 1, 2}, {1, 2, 3}});
       }),
       "face 1 uses mapping coordinate 3 of 3"},
      {"face group index past the faces", one_face([](W& n) {
         face_group(n, "A", {0, 1});
       }),
       "uses face 1 of 1"},
      {"name without its end", in_material(k3dsMaterialName, [](W& c) { c.u8('a'), c.u8('b'); }),
       "runs past its chunk"},
      {"colour cut short",
       in_material(k3dsDiffuse, [](W& c) { chunk(c, k3dsColour24, [](W& k) { k.u8(1), k.u8(2); }); }), "colour"},
      {"percentage cut short", in_material(k3dsAlpha, [](W& c) { chunk(c, k3dsPercentage, [](W& k) { k.u8(1); }); }),
       "percentage"},
      // A vertex list longer than its data: the walk reads the rest as
      // chunks, and here they run past the triangle object.
      {"bytes after a list",
       in_triangle_object([](W& w) { chunk(w, k3dsVertexList, [](W& c) { c.u16(0), c.u16(0x1111), c.u32(100); }); }),
       "chunk 0x1111"},
  };
}

TEST(ThreeDsReader, RefusesMalformedFilesWithAReason) {
  for (const Malformed& c : malformed_files()) {
    std::string reason;
    EXPECT_FALSE(decode(c.bytes, &reason)) << c.what;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
  }
  // The same through the file reader; a missing file is refused too.
  TempDir dir;
  std::string reason;
  EXPECT_FALSE(read_3ds(dir.file("none.3ds"), &reason));
  EXPECT_EQ(reason, "cannot be opened");
  const Bytes bad = malformed_files()[4].bytes;
  dir.write("bad.3ds", std::string(bad.begin(), bad.end()));
  EXPECT_FALSE(read_3ds(dir.file("bad.3ds"), &reason));
  EXPECT_NE(reason.find("shorter than its header"), std::string::npos) << reason;
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
  int accepted = 0, refused = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes changed = bytes;
    for (int k = how_many(rng); k > 0; --k) changed[where(rng)] = static_cast<std::uint8_t>(value(rng));
    std::string reason;
    std::optional<ThreeDsModel> m = decode(changed, &reason);
    if (!m) {
      ++refused;
      EXPECT_FALSE(reason.empty());
      continue;
    }
    ++accepted;
    EXPECT_TRUE(validate_3ds(*m));
    ASSERT_FALSE(m->materials.empty());
    EXPECT_FALSE(m->materials.back().name);
    e.objects.clear();
    e.object_count = 0;
    ASSERT_EQ(prepare_model(e, *m, 1, round % 3), 1);
  }
  // Both kinds happen: most changes land in floats and names.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 1000);
}

// kelvo-check model FILE: exit status, standard output, standard error.
std::tuple<int, std::string, std::string> check_model(const std::string& path) {
  char *out_text = nullptr, *err_text = nullptr;
  std::size_t out_size = 0, err_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  std::FILE* err = open_memstream(&err_text, &err_size);
  const int status = check_model_command(path, out, err);
  std::fclose(out);
  std::fclose(err);
  std::tuple<int, std::string, std::string> r{status, std::string(out_text, out_size), std::string(err_text, err_size)};
  std::free(out_text);
  std::free(err_text);
  return r;
}

TEST(ModelCheck, ListsMeshesInFileOrderThenThePreparedObjectOrTheReason) {
  ThreeDsModel model = sample_model();
  std::swap(model.meshes[0], model.meshes[1]);  // not in name order
  TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("m.3ds"), model));
  EXPECT_EQ(check_model(dir.file("m.3ds")),
            std::make_tuple(0, std::string("mesh\tTriangle_15chr\t3\t1\t0\tMissing\nmesh\tBox\t4\t2\t4\tRed\tWood\n"
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

// One line per mesh, sorted: name, counts, points (left out for the names in
// `no_points`), corners with the material of each face, mapping.
std::vector<std::string> mesh_lines(const ThreeDsModel& m, const std::set<std::string>& no_points) {
  std::vector<std::string> lines;
  for (const ThreeDsMesh& mesh : m.meshes) {
    std::vector<std::string> material(mesh.faces.size());  // the last group naming a face wins
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

// The same from lib3ds's reading of `f`.
std::vector<std::string> mesh_lines(const Lib3dsFile& f, const std::set<std::string>& no_points) {
  std::vector<std::string> lines;
  for (const Lib3dsMesh* mesh = f.meshes; mesh; mesh = mesh->next) {
    std::ostringstream s;
    s << std::setprecision(9) << mesh->name << ' ' << mesh->points << ' ' << mesh->faces << ' ' << mesh->texels << ':';
    if (!no_points.count(mesh->name))
      for (std::size_t i = 0; i < mesh->points; ++i)
        s << ' ' << mesh->pointL[i].pos[0] << ',' << mesh->pointL[i].pos[1] << ',' << mesh->pointL[i].pos[2];
    for (std::size_t i = 0; i < mesh->faces; ++i) {
      const Lib3dsFace& t = mesh->faceL[i];
      s << ' ' << t.points[0] << '/' << t.points[1] << '/' << t.points[2] << '=' << t.material;
    }
    for (std::size_t i = 0; i < mesh->texels; ++i) s << ' ' << mesh->texelL[i][0] << ',' << mesh->texelL[i][1];
    lines.push_back(s.str());
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Compares `ours` with what lib3ds reads from `path`: every mesh list by list
// and the material names (lib3ds sorts both by name). lib3ds moves the points
// of a mesh whose local axes (0x4160) are mirrored (negative determinant)
// through those axes; this reader keeps the points as stored, so such meshes
// are compared without their points. Returns false when lib3ds refuses the
// file; counts the meshes compared and those without points.
bool matches_lib3ds(const std::string& path, const ThreeDsModel& ours, int* meshes, int* mirrored) {
  Lib3dsFile* theirs = lib3ds_file_load(path.c_str());
  if (!theirs) return false;
  std::set<std::string> no_points;
  for (const Lib3dsMesh* mesh = theirs->meshes; mesh; mesh = mesh->next) {
    Lib3dsMatrix axes;
    std::memcpy(axes, mesh->matrix, sizeof axes);
    if (lib3ds_matrix_det(axes) < 0) no_points.insert(mesh->name);
  }
  const std::vector<std::string> a = mesh_lines(ours, no_points), b = mesh_lines(*theirs, no_points);
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  EXPECT_EQ(ia == a.end() ? std::string() : *ia, ib == b.end() ? std::string() : *ib) << "the first mesh that differs";
  std::multiset<std::string> ma, mb;
  for (std::size_t i = 0; i + 1 < ours.materials.size(); ++i) ma.insert(ours.materials[i].name.value_or(""));
  for (const Lib3dsMaterial* m = theirs->materials; m; m = m->next) mb.insert(m->name);
  EXPECT_EQ(ma, mb);
  if (meshes) *meshes += static_cast<int>(a.size());
  if (mirrored) *mirrored += static_cast<int>(no_points.size());
  lib3ds_file_free(theirs);
  return true;
}

TEST(ThreeDsRealModels, MeshesAndMaterialsMatchTheLibraryReader) {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator("/usr/share", fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".3ds" && it->is_regular_file(ec)) paths.push_back(it->path().string());
  }
  if (paths.empty()) GTEST_SKIP() << "no 3DS models under /usr/share";
  std::sort(paths.begin(), paths.end());
  TempDir empty_dir;  // the textures are looked for here (and not found)
  int compared = 0, refused = 0, meshes = 0, mirrored = 0;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::string reason;
    std::optional<ThreeDsModel> ours = read_3ds(path, &reason);
    if (!ours) {
      ++refused;
      Lib3dsFile* theirs = lib3ds_file_load(path.c_str());
      std::printf("[  REFUSED ] %s: %s (lib3ds %s)\n", path.c_str(), reason.c_str(),
                  theirs ? "reads it" : "refuses it too");
      EXPECT_EQ(theirs, nullptr) << "refused here but read by lib3ds: " << reason;
      if (theirs) lib3ds_file_free(theirs);
      continue;
    }
    // Everything accepted also prepares into an object.
    Engine e;
    e.gl_textures = 0;
    e.paths.dir_temp = empty_dir.path();
    ASSERT_EQ(prepare_model(e, *ours, 1, 1, &reason), 1) << reason;
    std::size_t v = 0, f = 0;
    for (const ThreeDsMesh& mesh : ours->meshes) v += mesh.vertices.size(), f += mesh.faces.size();
    EXPECT_EQ(e.objects.at(0).vertex_count, static_cast<std::int32_t>(v));
    EXPECT_EQ(e.objects.at(0).face_count, static_cast<std::int32_t>(f));
    if (matches_lib3ds(path, *ours, &meshes, &mirrored)) {
      ++compared;
    } else {
      std::printf("[  NOTE    ] %s: lib3ds refuses a file read here\n", path.c_str());
    }
    ASSERT_FALSE(HasFailure()) << "stopped at the first file that differs";
  }
  std::printf("[  MODELS  ] %zu files, %d compared with lib3ds, %d refused; %d meshes compared list by list"
              " (%d of them without their points: mirrored local axes)\n",
              paths.size(), compared, refused, meshes, mirrored);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace kelvo
