// The 3DS reader and writer: round trips, the chunk rules, hostile files, and
// the real models of the installed Debian packages read beside lib3ds.
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "model/model_prepare.h"
#include "model/three_ds.h"
#include "model/three_ds_writer.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

ThreeDsMaterial material(const std::string& name, ThreeDsRgb diffuse) {
  ThreeDsMaterial m;
  m.name = name;
  m.diffuse = diffuse;
  return m;
}

// Two meshes, three materials: a textured, half-transparent one, a red one
// and one that no face uses; face groups that find their material and one
// that does not.
ThreeDsModel sample_model() {
  ThreeDsModel model;
  model.materials.push_back(material("Red", {1, 0, 0}));
  model.materials.back().ambient = {0.2f, 0.2f, 0.2f};
  model.materials.push_back(material("Wood", {0.5f, 0.25f, 0}));
  model.materials.back().texture = "WOOD.GIF";
  model.materials.back().alpha = 0.5f;
  model.materials.push_back(material("Unused", {0, 0, 1}));

  ThreeDsMesh box;
  box.name = "Box";
  box.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}};
  box.faces = {{0, 1, 2}, {0, 2, 3}};
  box.mapping = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  box.groups.push_back({"Red", -1, {0}});
  box.groups.push_back({"Wood", -1, {1}});
  model.meshes.push_back(box);

  ThreeDsMesh tri;
  tri.name = "Triangle_15chr";  // 14 characters
  tri.vertices = {{-1, -2, -3}, {4, 5, 6}, {7.5f, 8.25f, -9.125f}};
  tri.faces = {{2, 1, 0}};
  tri.groups.push_back({"Missing", -1, {0}});
  model.meshes.push_back(tri);
  return model;
}

std::optional<ThreeDsModel> decode(const Bytes& bytes, std::string* reason = nullptr) {
  return decode_3ds(std::span<const std::uint8_t>(bytes.data(), bytes.size()), reason);
}

// 4D4D { 3D3D { body } }
Bytes in_mesh_data(const std::function<void(ThreeDsChunkWriter&)>& body) {
  ThreeDsChunkWriter w;
  w.begin(k3dsMain);
  w.begin(k3dsMeshData);
  body(w);
  w.end();
  w.end();
  return w.take();
}

// 4D4D { 3D3D { 4000 "M" { 4100 { body } } } }
Bytes in_triangle_object(const std::function<void(ThreeDsChunkWriter&)>& body) {
  return in_mesh_data([&](ThreeDsChunkWriter& w) {
    w.begin(k3dsNamedObject);
    w.name("M");
    w.begin(k3dsTriangleObject);
    body(w);
    w.end();
    w.end();
  });
}

void vertex_list(ThreeDsChunkWriter& w, int count) {
  w.begin(k3dsVertexList);
  w.u16(static_cast<std::uint16_t>(count));
  for (int i = 0; i < count; ++i) {
    w.f32(static_cast<float>(i));
    w.f32(0);
    w.f32(0);
  }
  w.end();
}

void face_list(ThreeDsChunkWriter& w, std::vector<ThreeDsFace> faces,
               const std::function<void(ThreeDsChunkWriter&)>& nested = {}) {
  w.begin(k3dsFaceList);
  w.u16(static_cast<std::uint16_t>(faces.size()));
  for (const ThreeDsFace& f : faces) {
    w.u16(f.a);
    w.u16(f.b);
    w.u16(f.c);
    w.u16(0);
  }
  if (nested) nested(w);
  w.end();
}

void face_group(ThreeDsChunkWriter& w, const std::string& name, std::vector<std::uint16_t> faces) {
  w.begin(k3dsFaceGroup);
  w.name(name);
  w.u16(static_cast<std::uint16_t>(faces.size()));
  for (std::uint16_t j : faces) w.u16(j);
  w.end();
}

void material_chunk(ThreeDsChunkWriter& w, const std::string& name,
                    const std::function<void(ThreeDsChunkWriter&)>& more = {}) {
  w.begin(k3dsMaterial);
  w.begin(k3dsMaterialName);
  w.name(name);
  w.end();
  if (more) more(w);
  w.end();
}

TEST(ThreeDsReader, WriterRoundTripKeepsMeshesMaterialsAndGroups) {
  const ThreeDsModel in = sample_model();
  std::optional<Bytes> bytes = encode_3ds(in);
  ASSERT_TRUE(bytes);
  std::string reason;
  std::optional<ThreeDsModel> out = decode(*bytes, &reason);
  ASSERT_TRUE(out) << reason;

  ASSERT_EQ(out->meshes.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const ThreeDsMesh& a = in.meshes[i];
    const ThreeDsMesh& b = out->meshes[i];
    EXPECT_EQ(b.name, a.name);
    ASSERT_EQ(b.vertices.size(), a.vertices.size());
    for (std::size_t k = 0; k < a.vertices.size(); ++k) {
      EXPECT_EQ(b.vertices[k].x, a.vertices[k].x);
      EXPECT_EQ(b.vertices[k].y, a.vertices[k].y);
      EXPECT_EQ(b.vertices[k].z, a.vertices[k].z);
    }
    ASSERT_EQ(b.faces.size(), a.faces.size());
    for (std::size_t k = 0; k < a.faces.size(); ++k) {
      EXPECT_EQ(std::tie(b.faces[k].a, b.faces[k].b, b.faces[k].c),
                std::tie(a.faces[k].a, a.faces[k].b, a.faces[k].c));
    }
    ASSERT_EQ(b.mapping.size(), a.mapping.size());
    for (std::size_t k = 0; k < a.mapping.size(); ++k) {
      EXPECT_EQ(b.mapping[k].u, a.mapping[k].u);
      EXPECT_EQ(b.mapping[k].v, a.mapping[k].v);
    }
    ASSERT_EQ(b.groups.size(), a.groups.size());
    for (std::size_t k = 0; k < a.groups.size(); ++k) {
      EXPECT_EQ(b.groups[k].material_name, a.groups[k].material_name);
      EXPECT_EQ(b.groups[k].faces, a.groups[k].faces);
    }
  }
  // Groups find their material by name; an unknown name finds none.
  EXPECT_EQ(out->meshes[0].groups[0].material, 0);
  EXPECT_EQ(out->meshes[0].groups[1].material, 1);
  EXPECT_EQ(out->meshes[1].groups[0].material, -1);

  // Three materials, then the blank one that a read always ends with.
  ASSERT_EQ(out->materials.size(), 4u);
  EXPECT_EQ(out->materials[0].name, "Red");
  EXPECT_FLOAT_EQ(out->materials[0].diffuse.r, 1.0f);
  EXPECT_FLOAT_EQ(out->materials[0].diffuse.g, 0.0f);
  EXPECT_FLOAT_EQ(out->materials[0].ambient.b, 51 * 0.003921569f);
  EXPECT_FALSE(out->materials[0].texture);
  EXPECT_FLOAT_EQ(out->materials[0].alpha, 1.0f);
  EXPECT_EQ(out->materials[1].texture, "WOOD.GIF");
  EXPECT_FLOAT_EQ(out->materials[1].alpha, 0.5f);
  EXPECT_FLOAT_EQ(out->materials[1].diffuse.g, 64 * 0.003921569f);
  EXPECT_EQ(out->materials[2].name, "Unused");
  EXPECT_FALSE(out->materials[3].name);
  EXPECT_FALSE(out->materials[3].texture);

  // Writing what was read gives the same bytes (the blank material is not
  // written).
  std::optional<Bytes> again = encode_3ds(*out);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *bytes);

  // More than a u16 can count is refused by the writer.
  ThreeDsModel big;
  big.meshes.emplace_back().vertices.resize(65536);
  EXPECT_FALSE(encode_3ds(big));
}

TEST(ThreeDsReader, LibraryReferenceReadsWhatTheWriterWrites) {
  TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("sample.3ds"), sample_model()));
  Lib3dsFile* f = lib3ds_file_load(dir.file("sample.3ds").c_str());
  ASSERT_NE(f, nullptr);
  std::map<std::string, const Lib3dsMesh*> meshes;
  for (const Lib3dsMesh* m = f->meshes; m; m = m->next) meshes[m->name] = m;
  ASSERT_EQ(meshes.size(), 2u);
  EXPECT_EQ(meshes["Box"]->points, 4u);
  EXPECT_EQ(meshes["Box"]->faces, 2u);
  EXPECT_EQ(meshes["Box"]->texels, 4u);
  EXPECT_STREQ(meshes["Box"]->faceL[1].material, "Wood");
  EXPECT_FLOAT_EQ(meshes["Triangle_15chr"]->pointL[2].pos[2], -9.125f);
  std::set<std::string> materials;
  for (const Lib3dsMaterial* m = f->materials; m; m = m->next) materials.insert(m->name);
  EXPECT_EQ(materials, (std::set<std::string>{"Red", "Unused", "Wood"}));
  lib3ds_file_free(f);
}

TEST(ThreeDsReader, WalksOnlyMeshesOfTriangleObjectsAndSkipsOtherChunks) {
  Bytes bytes = in_mesh_data([](ThreeDsChunkWriter& w) {
    w.begin(0x0100);  // master scale
    w.f32(1);
    w.end();
    w.begin(k3dsNamedObject);  // a light: no mesh
    w.name("Lamp");
    w.begin(0x4600);
    w.f32(1);
    w.f32(2);
    w.f32(3);
    w.end();
    w.end();
    w.begin(k3dsNamedObject);  // two triangle objects: two meshes of one name
    w.name("Twice");
    for (int k = 0; k < 2; ++k) {
      w.begin(k3dsTriangleObject);
      vertex_list(w, 3 + k);
      w.begin(0x4160);  // local axes
      for (int i = 0; i < 12; ++i) w.f32(0);
      w.end();
      face_list(w, {{0, 1, 2}}, [](ThreeDsChunkWriter& n) {
        n.begin(0x4150);  // smoothing groups
        n.u32(1);
        n.end();
      });
      w.end();
    }
    w.end();
  });
  // Keyframer data after the mesh data, and a second top-level chunk that is
  // never read.
  std::optional<ThreeDsModel> m = decode(bytes);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->meshes.size(), 2u);
  EXPECT_EQ(m->meshes[0].name, "Twice");
  EXPECT_EQ(m->meshes[1].name, "Twice");
  EXPECT_EQ(m->meshes[0].vertices.size(), 3u);
  EXPECT_EQ(m->meshes[1].vertices.size(), 4u);
  EXPECT_EQ(m->meshes[1].faces.size(), 1u);

  ThreeDsChunkWriter tail;
  tail.begin(0x4D4D);
  tail.u32(0xDEAD);
  tail.end();
  Bytes with_tail = bytes;
  with_tail.insert(with_tail.end(), tail.bytes().begin(), tail.bytes().end());
  std::optional<ThreeDsModel> again = decode(with_tail);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->meshes.size(), 2u);

  // A later list replaces the earlier one of its kind.
  std::optional<ThreeDsModel> replaced = decode(in_triangle_object([](ThreeDsChunkWriter& w) {
    vertex_list(w, 5);
    vertex_list(w, 3);
    face_list(w, {{0, 1, 2}, {2, 1, 0}});
    face_list(w, {{0, 0, 0}});
  }));
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->meshes[0].vertices.size(), 3u);
  EXPECT_EQ(replaced->meshes[0].faces.size(), 1u);

  // An empty file of the right kind is a model with no mesh.
  std::optional<ThreeDsModel> empty = decode(in_mesh_data([](ThreeDsChunkWriter&) {}));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->meshes.empty());
  EXPECT_EQ(empty->materials.size(), 1u);
}

TEST(ThreeDsReader, FaceGroupsAreReadInsideTheFaceListOrBesideIt) {
  std::optional<ThreeDsModel> m = decode(in_mesh_data([](ThreeDsChunkWriter& w) {
    material_chunk(w, "A");
    material_chunk(w, "B");
    material_chunk(w, "A");  // a second "A": the first one wins
    w.begin(k3dsNamedObject);
    w.name("M");
    w.begin(k3dsTriangleObject);
    vertex_list(w, 4);
    face_list(w, {{0, 1, 2}, {1, 2, 3}, {0, 2, 3}}, [](ThreeDsChunkWriter& n) {
      face_group(n, "A", {0, 2});
      n.begin(0x4150);
      for (int i = 0; i < 3; ++i) n.u32(0);
      n.end();
      face_group(n, "b", {1});  // names are compared with case
    });
    face_group(w, "B", {1});  // directly in the triangle object
    face_group(w, "Later", {});
    w.end();
    w.end();
    material_chunk(w, "Later");  // defined after its use: not found
  }));
  ASSERT_TRUE(m);
  const std::vector<ThreeDsFaceGroup>& g = m->meshes.at(0).groups;
  ASSERT_EQ(g.size(), 4u);
  EXPECT_EQ(g[0].material_name, "A");
  EXPECT_EQ(g[0].material, 0);
  EXPECT_EQ(g[0].faces, (std::vector<std::int32_t>{0, 2}));
  EXPECT_EQ(g[1].material, -1);
  EXPECT_EQ(g[2].material, 1);
  EXPECT_EQ(g[2].faces, (std::vector<std::int32_t>{1}));
  EXPECT_EQ(g[3].material, -1);
  EXPECT_TRUE(g[3].faces.empty());
  EXPECT_EQ(m->materials.size(), 5u);
}

TEST(ThreeDsReader, ColoursKeepTheLastSubChunkAndAllBlackFilesUseWhite) {
  // 0x0011 then 0x0012: the gamma-corrected one, read second, is kept; a
  // floating-point colour is skipped.
  std::optional<ThreeDsModel> m = decode(in_mesh_data([](ThreeDsChunkWriter& w) {
    material_chunk(w, "Both", [](ThreeDsChunkWriter& c) {
      c.begin(k3dsDiffuse);
      c.colour_chunk(k3dsColour24, 10, 20, 30);
      c.colour_chunk(k3dsColour24Gamma, 40, 50, 60);
      c.begin(0x0010);
      c.f32(0.9f);
      c.f32(0.9f);
      c.f32(0.9f);
      c.end();
      c.end();
      c.begin(k3dsAmbient);
      c.colour_chunk(k3dsColour24Gamma, 255, 0, 0);
      c.colour_chunk(k3dsColour24, 1, 2, 3);
      c.end();
    });
  }));
  ASSERT_TRUE(m);
  EXPECT_FLOAT_EQ(m->materials[0].diffuse.r, 40 * 0.003921569f);
  EXPECT_FLOAT_EQ(m->materials[0].diffuse.g, 50 * 0.003921569f);
  EXPECT_FLOAT_EQ(m->materials[0].diffuse.b, 60 * 0.003921569f);
  EXPECT_FLOAT_EQ(m->materials[0].ambient.r, 1 * 0.003921569f);
  EXPECT_FLOAT_EQ(m->materials[0].ambient.b, 3 * 0.003921569f);

  // Only black colours in the whole file: the materials that face groups use
  // get ambient black and diffuse white; the others keep what they read.
  auto black_file = [](bool one_colour) {
    return in_mesh_data([one_colour](ThreeDsChunkWriter& w) {
      for (const char* name : {"Used", "Idle"}) {
        material_chunk(w, name, [](ThreeDsChunkWriter& c) {
          c.begin(k3dsDiffuse);
          c.colour_chunk(k3dsColour24, 0, 0, 0);
          c.end();
          c.begin(k3dsAmbient);
          c.colour_chunk(k3dsColour24, 0, 0, 0);
          c.end();
        });
      }
      if (one_colour) {
        material_chunk(w, "Lit", [](ThreeDsChunkWriter& c) {
          c.begin(k3dsAmbient);
          c.colour_chunk(k3dsColour24Gamma, 0, 0, 1);
          c.end();
        });
      }
      w.begin(k3dsNamedObject);
      w.name("M");
      w.begin(k3dsTriangleObject);
      vertex_list(w, 3);
      face_list(w, {{0, 1, 2}}, [](ThreeDsChunkWriter& n) { face_group(n, "Used", {0}); });
      w.end();
      w.end();
    });
  };
  std::optional<ThreeDsModel> black = decode(black_file(false));
  ASSERT_TRUE(black);
  EXPECT_FLOAT_EQ(black->materials[0].diffuse.r, 1.0f);
  EXPECT_FLOAT_EQ(black->materials[0].diffuse.g, 1.0f);
  EXPECT_FLOAT_EQ(black->materials[0].diffuse.b, 1.0f);
  EXPECT_FLOAT_EQ(black->materials[0].ambient.r, 0.0f);
  EXPECT_FLOAT_EQ(black->materials[1].diffuse.r, 0.0f);
  // One non-zero component anywhere (an ambient one here) keeps the blacks.
  std::optional<ThreeDsModel> lit = decode(black_file(true));
  ASSERT_TRUE(lit);
  EXPECT_FLOAT_EQ(lit->materials[0].diffuse.r, 0.0f);
  EXPECT_FLOAT_EQ(lit->materials[2].ambient.b, 0.003921569f);
}

TEST(ThreeDsReader, AlphaComesFromThePercentageAndSmallValuesMeanOpaque) {
  auto alpha_of = [](std::optional<int> percent) {
    std::optional<ThreeDsModel> m = decode(in_mesh_data([percent](ThreeDsChunkWriter& w) {
      material_chunk(w, "M", [percent](ThreeDsChunkWriter& c) {
        if (!percent) return;
        c.begin(k3dsAlpha);
        c.begin(0x0031);  // a float percentage is not read
        c.f32(77.0f);
        c.end();
        c.percentage_chunk(k3dsPercentage, static_cast<std::uint16_t>(*percent));
        c.end();
      });
    }));
    return m ? m->materials[0].alpha : -1.0f;
  };
  EXPECT_EQ(alpha_of(0), 1.0f);
  EXPECT_EQ(alpha_of(1), 1.0f);
  EXPECT_FLOAT_EQ(alpha_of(2), 0.02f);
  EXPECT_EQ(alpha_of(50), 50 * 0.01f);
  EXPECT_EQ(alpha_of(100), 100 * 0.01f);
  EXPECT_EQ(alpha_of(std::nullopt), 1.0f);

  // An alpha chunk without a percentage sub-chunk keeps the alpha.
  std::optional<ThreeDsModel> m = decode(in_mesh_data([](ThreeDsChunkWriter& w) {
    material_chunk(w, "M", [](ThreeDsChunkWriter& c) {
      c.begin(k3dsAlpha);
      c.end();
    });
  }));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->materials[0].alpha, 1.0f);
}

TEST(ThreeDsReader, NamesUpToTheirLimitAreReadWholeAndLongerOnesRefused) {
  auto object_named = [](const std::string& name) {
    ThreeDsChunkWriter w;
    w.begin(k3dsMain);
    w.begin(k3dsMeshData);
    w.begin(k3dsNamedObject);
    w.name(name);
    w.begin(k3dsTriangleObject);
    w.end();
    w.end();
    w.end();
    w.end();
    return w.take();
  };
  std::string reason;
  std::optional<ThreeDsModel> m = decode(object_named(std::string(15, 'o')), &reason);
  ASSERT_TRUE(m) << reason;
  EXPECT_EQ(m->meshes.at(0).name, std::string(15, 'o'));
  EXPECT_FALSE(decode(object_named(std::string(16, 'o')), &reason));
  EXPECT_NE(reason.find("longer than 15 characters"), std::string::npos) << reason;

  auto material_named = [](const std::string& name, const std::string& map) {
    return in_mesh_data([&](ThreeDsChunkWriter& w) {
      material_chunk(w, name, [&](ThreeDsChunkWriter& c) {
        c.begin(k3dsTextureMap);
        c.begin(k3dsMapName);
        c.name(map);
        c.end();
        c.end();
      });
    });
  };
  m = decode(material_named(std::string(79, 'm'), std::string(79, 't')), &reason);
  ASSERT_TRUE(m) << reason;
  EXPECT_EQ(m->materials[0].name, std::string(79, 'm'));
  EXPECT_EQ(m->materials[0].texture, std::string(79, 't'));
  EXPECT_FALSE(decode(material_named(std::string(80, 'm'), "t"), &reason));
  EXPECT_NE(reason.find("material name"), std::string::npos) << reason;
  EXPECT_FALSE(decode(material_named("m", std::string(80, 't')), &reason));
  EXPECT_NE(reason.find("texture map name"), std::string::npos) << reason;
  // An empty name is a name.
  m = decode(material_named("", ""), &reason);
  ASSERT_TRUE(m) << reason;
  EXPECT_EQ(m->materials[0].name, "");
  EXPECT_EQ(m->materials[0].texture, "");
}

struct Malformed {
  const char* what;
  Bytes bytes;
  const char* reason;  // a part of the reason given
};

std::vector<Malformed> malformed_files() {
  std::vector<Malformed> cases;
  cases.push_back({"empty file", {}, "holds no chunk header"});
  cases.push_back({"five bytes", {0x4D, 0x4D, 6, 0, 0}, "holds no chunk header"});
  cases.push_back({"another format", {0x4D, 0x4C, 6, 0, 0, 0}, "not a 3DS file"});
  {
    Bytes b = in_mesh_data([](ThreeDsChunkWriter&) {});
    b[2] += 1;  // main chunk one byte longer than the file
    cases.push_back({"main chunk past the file", b, "runs past the file"});
  }
  {
    Bytes b = in_mesh_data([](ThreeDsChunkWriter& w) {
      w.u16(0x1234);  // length 0: a walk that would not advance
      w.u32(0);
    });
    cases.push_back({"zero-length chunk", b, "shorter than its header"});
  }
  {
    Bytes b = in_mesh_data([](ThreeDsChunkWriter& w) {
      w.u16(0x1234);
      w.u32(5);
      w.u8(0);
    });
    cases.push_back({"five-byte chunk", b, "shorter than its header"});
  }
  {
    Bytes b = in_mesh_data([](ThreeDsChunkWriter& w) {
      w.u16(0x1234);
      w.u32(7);  // one byte more than its parent holds
    });
    cases.push_back({"chunk past its parent", b, "runs past its parent"});
  }
  {
    Bytes b = in_mesh_data([](ThreeDsChunkWriter& w) {
      w.u8(1);  // three stray bytes at the end of the mesh data
      w.u8(2);
      w.u8(3);
    });
    cases.push_back({"header past its parent", b, "chunk header at offset"});
  }
  cases.push_back({"vertex list past its chunk", in_triangle_object([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsVertexList);
                     w.u16(2);
                     for (int i = 0; i < 5; ++i) w.f32(0);  // 2 vertices need 6 floats
                     w.end();
                   }),
                   "vertex list"});
  cases.push_back({"huge vertex count", in_triangle_object([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsVertexList);
                     w.u16(65535);
                     w.end();
                   }),
                   "vertex list"});
  cases.push_back({"face count missing", in_triangle_object([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsFaceList);
                     w.u8(1);
                     w.end();
                   }),
                   "face count"});
  cases.push_back({"face list past its chunk", in_triangle_object([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsFaceList);
                     w.u16(1);
                     w.u16(0);
                     w.u16(0);
                     w.u16(0);
                     w.end();
                   }),
                   "face list"});
  cases.push_back({"mapping list past its chunk", in_triangle_object([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsMappingList);
                     w.u16(1);
                     w.f32(0);
                     w.end();
                   }),
                   "mapping list"});
  cases.push_back({"face group past its chunk", in_triangle_object([](ThreeDsChunkWriter& w) {
                     vertex_list(w, 3);
                     face_list(w, {{0, 1, 2}}, [](ThreeDsChunkWriter& n) {
                       n.begin(k3dsFaceGroup);
                       n.name("A");
                       n.u16(2);
                       n.u16(0);
                       n.end();
                     });
                   }),
                   "face group"});
  cases.push_back({"face corner past the vertices", in_triangle_object([](ThreeDsChunkWriter& w) {
                     vertex_list(w, 3);
                     face_list(w, {{0, 1, 2}, {0, 3, 1}});
                   }),
                   "face 1 uses vertex 3 of 3"});
  cases.push_back({"faces without vertices", in_triangle_object([](ThreeDsChunkWriter& w) {
                     face_list(w, {{0, 0, 0}});
                   }),
                   "uses vertex 0 of 0"});
  cases.push_back({"face corner past the mapping list", in_triangle_object([](ThreeDsChunkWriter& w) {
                     vertex_list(w, 4);
                     w.begin(k3dsMappingList);
                     w.u16(3);
                     for (int i = 0; i < 6; ++i) w.f32(0);
                     w.end();
                     face_list(w, {{0, 1, 2}, {1, 2, 3}});
                   }),
                   "face 1 uses mapping coordinate 3 of 3"});
  cases.push_back({"face group index past the faces", in_triangle_object([](ThreeDsChunkWriter& w) {
                     vertex_list(w, 3);
                     face_list(w, {{0, 1, 2}}, [](ThreeDsChunkWriter& n) { face_group(n, "A", {0, 1}); });
                   }),
                   "uses face 1 of 1"});
  cases.push_back({"name without its end", in_mesh_data([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsMaterial);
                     w.begin(k3dsMaterialName);
                     w.u8('a');
                     w.u8('b');
                     w.end();
                     w.end();
                   }),
                   "runs past its chunk"});
  cases.push_back({"colour cut short", in_mesh_data([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsMaterial);
                     w.begin(k3dsDiffuse);
                     w.begin(k3dsColour24);
                     w.u8(1);
                     w.u8(2);
                     w.end();
                     w.end();
                     w.end();
                   }),
                   "colour"});
  cases.push_back({"percentage cut short", in_mesh_data([](ThreeDsChunkWriter& w) {
                     w.begin(k3dsMaterial);
                     w.begin(k3dsAlpha);
                     w.begin(k3dsPercentage);
                     w.u8(1);
                     w.end();
                     w.end();
                     w.end();
                   }),
                   "percentage"});
  {
    // A vertex list longer than its data: the walk reads the rest as chunks,
    // and here they run past the triangle object.
    Bytes b = in_triangle_object([](ThreeDsChunkWriter& w) {
      w.begin(k3dsVertexList);
      w.u16(0);
      w.u16(0x1111);
      w.u32(100);
      w.end();
    });
    cases.push_back({"bytes after a list", b, "chunk 0x1111"});
  }
  return cases;
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
  ASSERT_TRUE(write_3ds(dir.file("good.3ds"), sample_model()));
  std::optional<ThreeDsModel> good = read_3ds(dir.file("good.3ds"), &reason);
  ASSERT_TRUE(good) << reason;
  EXPECT_EQ(good->meshes.size(), 2u);
}

// What a hostile file can make the reader hand out: only models whose indices
// all stay in range.
void expect_consistent(const ThreeDsModel& m) {
  EXPECT_TRUE(validate_3ds(m));
  for (const ThreeDsMesh& mesh : m.meshes) {
    EXPECT_LE(mesh.name.size(), 15u);
    for (const ThreeDsFaceGroup& g : mesh.groups) {
      EXPECT_LT(g.material, static_cast<std::int32_t>(m.materials.size()));
      EXPECT_LE(g.material_name.size(), 79u);
    }
  }
  ASSERT_FALSE(m.materials.empty());
  EXPECT_FALSE(m.materials.back().name);
}

TEST(ThreeDsReader, SurvivesEveryTruncationAndRandomByteChanges) {
  ThreeDsModel model = sample_model();
  Bytes bytes = *encode_3ds(model);
  // Every proper prefix misses bytes that the main chunk claims.
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::string reason;
    EXPECT_FALSE(decode_3ds(std::span<const std::uint8_t>(bytes.data(), n), &reason)) << n;
    EXPECT_FALSE(reason.empty()) << n;
  }
  ASSERT_TRUE(decode(bytes));

  // Changed bytes: whatever is accepted is consistent, and preparing it does
  // not go out of range either.
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
    expect_consistent(*m);
    e.objects.clear();
    e.object_count = 0;
    ASSERT_EQ(prepare_model(e, *m, 1, round % 3), 1);
  }
  // Both kinds happen: most changes land in floats and names.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 1000);
}

// ------------------------------------------------------------ real models --

struct MeshCounts {
  std::string name;
  std::size_t vertices, faces, mapping;
  auto operator<=>(const MeshCounts&) const = default;
};

std::vector<std::string> installed_models() {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator("/usr/share", fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".3ds") paths.push_back(it->path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(ThreeDsRealModels, CountsAndNamesMatchTheLibraryReader) {
  const std::vector<std::string> paths = installed_models();
  if (paths.empty()) GTEST_SKIP() << "no 3DS models under /usr/share";
  TempDir empty_dir;  // the textures are looked for here (and not found)
  int compared = 0, refused = 0, meshes_checked = 0, points_skipped = 0;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::string reason;
    std::optional<ThreeDsModel> ours = read_3ds(path, &reason);
    Lib3dsFile* theirs = lib3ds_file_load(path.c_str());
    if (!ours) {
      ++refused;
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
    for (const ThreeDsMesh& mesh : ours->meshes) {
      v += mesh.vertices.size();
      f += mesh.faces.size();
    }
    EXPECT_EQ(e.objects.at(0).vertex_count, static_cast<std::int32_t>(v));
    EXPECT_EQ(e.objects.at(0).face_count, static_cast<std::int32_t>(f));

    if (!theirs) {
      std::printf("[  NOTE    ] %s: lib3ds refuses a file read here\n", path.c_str());
      continue;
    }
    ++compared;
    // lib3ds keeps meshes and materials sorted by name: compare as multisets.
    std::multiset<MeshCounts> a, b;
    std::map<std::string, const ThreeDsMesh*> ours_by_name;
    std::map<std::string, int> name_uses;
    for (const ThreeDsMesh& mesh : ours->meshes) {
      a.insert({mesh.name, mesh.vertices.size(), mesh.faces.size(), mesh.mapping.size()});
      ours_by_name[mesh.name] = &mesh;
      ++name_uses[mesh.name];
    }
    for (const Lib3dsMesh* mesh = theirs->meshes; mesh; mesh = mesh->next) {
      b.insert({mesh->name, mesh->points, mesh->faces, mesh->texels});
    }
    EXPECT_EQ(a, b);
    std::multiset<std::string> ma, mb;
    for (std::size_t i = 0; i + 1 < ours->materials.size(); ++i) ma.insert(ours->materials[i].name.value_or(""));
    for (const Lib3dsMaterial* m = theirs->materials; m; m = m->next) mb.insert(m->name);
    EXPECT_EQ(ma, mb);

    // Meshes of a unique name: the same points, corners, mapping and face
    // materials (the last group naming a face wins, in both readers).
    for (const Lib3dsMesh* mesh = theirs->meshes; mesh; mesh = mesh->next) {
      if (name_uses[mesh->name] != 1) continue;
      const ThreeDsMesh& m = *ours_by_name[mesh->name];
      if (m.vertices.size() != mesh->points || m.faces.size() != mesh->faces || m.mapping.size() != mesh->texels)
        continue;  // already reported above
      // lib3ds moves the points of a mesh whose local axes (0x4160) are
      // mirrored (negative determinant) through those axes; the points as
      // stored are what this reader keeps, so such meshes are not compared
      // point by point.
      Lib3dsMatrix axes;
      std::memcpy(axes, mesh->matrix, sizeof axes);
      const bool mirrored_axes = lib3ds_matrix_det(axes) < 0;
      ++meshes_checked;
      points_skipped += mirrored_axes ? 1 : 0;
      for (std::size_t i = 0; i < m.vertices.size() && !mirrored_axes; ++i) {
        ASSERT_EQ(m.vertices[i].x, mesh->pointL[i].pos[0]) << mesh->name << " vertex " << i;
        ASSERT_EQ(m.vertices[i].y, mesh->pointL[i].pos[1]) << mesh->name << " vertex " << i;
        ASSERT_EQ(m.vertices[i].z, mesh->pointL[i].pos[2]) << mesh->name << " vertex " << i;
      }
      for (std::size_t i = 0; i < m.mapping.size(); ++i) {
        ASSERT_EQ(m.mapping[i].u, mesh->texelL[i][0]) << mesh->name << " mapping " << i;
        ASSERT_EQ(m.mapping[i].v, mesh->texelL[i][1]) << mesh->name << " mapping " << i;
      }
      std::vector<std::string> face_material(m.faces.size());
      for (const ThreeDsFaceGroup& g : m.groups)
        for (std::int32_t j : g.faces) face_material[static_cast<std::size_t>(j)] = g.material_name;
      for (std::size_t i = 0; i < m.faces.size(); ++i) {
        ASSERT_EQ(m.faces[i].a, mesh->faceL[i].points[0]) << mesh->name << " face " << i;
        ASSERT_EQ(m.faces[i].b, mesh->faceL[i].points[1]) << mesh->name << " face " << i;
        ASSERT_EQ(m.faces[i].c, mesh->faceL[i].points[2]) << mesh->name << " face " << i;
        ASSERT_EQ(face_material[i], mesh->faceL[i].material) << mesh->name << " face " << i;
      }
    }
    lib3ds_file_free(theirs);
  }
  std::printf("[  MODELS  ] %zu files, %d compared with lib3ds, %d refused; %d meshes compared list by list"
              " (%d of them without their points: mirrored local axes)\n",
              paths.size(), compared, refused, meshes_checked, points_skipped);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace kelvo
