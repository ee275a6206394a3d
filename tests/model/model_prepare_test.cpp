// Model preparation: 3DS files written by the writer, loaded into scene
// objects in a real GL context.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model_prepare.h"
#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "model/three_ds.h"
#include "model/three_ds_writer.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

ThreeDsMaterial material(const std::string& name, ThreeDsRgb diffuse, float alpha = 1.0f,
                         std::optional<std::string> texture = std::nullopt) {
  ThreeDsMaterial m;
  m.name = name;
  m.diffuse = diffuse;
  m.alpha = alpha;
  m.texture = std::move(texture);
  return m;
}

ThreeDsMesh mesh(const std::string& name, std::vector<ThreeDsPoint> vertices, std::vector<ThreeDsFace> faces) {
  ThreeDsMesh m;
  m.name = name;
  m.vertices = std::move(vertices);
  m.faces = std::move(faces);
  return m;
}

class ModelPrepare : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl_.ok());
    e_.paths.dir_temp = dir_.path();
    clear_texture_slots(e_);
    e_.log.to_callback([this](std::string_view line) { log_.emplace_back(line); });
  }
  void TearDown() override { free_textures(e_); }

  std::string write(const std::string& name, const ThreeDsModel& model) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(write_3ds(path, model));
    return path;
  }

  // A 2 x 2 texture NAME.3DF in the work directory.
  void write_texture(const std::string& name) {
    Image image;
    image.width = image.height = 2;
    image.rgb.assign(12, 200);
    std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    dir_.write(name + ".3DF", std::string(bytes.begin(), bytes.end()));
  }

  // Loads `model` into a new object and returns it.
  const Object& load(const ThreeDsModel& model, int orientation = kOrientAsStored) {
    const std::string path = write("m.3ds", model);
    EXPECT_EQ(load_model(e_, path, 1, orientation), 1);
    EXPECT_EQ(e_.objects.size(), static_cast<std::size_t>(e_.object_count) + 1);
    return e_.objects.back();
  }

  int log_count(const std::string& line) const {
    return static_cast<int>(std::count(log_.begin(), log_.end(), line));
  }

  test::OsmesaContext gl_{16, 16};
  test::TempDir dir_;
  Engine e_;
  std::vector<std::string> log_;
};

TEST_F(ModelPrepare, InitObjectStoresTheObjectDefaults) {
  Object o;
  o.vertices.resize(3);
  o.vertex_count = 3;
  o.front_face = 0x901;
  o.halo_tex[4] = 7;
  o.solidity = 0;
  o.visible = 0;
  o.shadow_dark = 3;
  o.bump_tex = {1, 2};
  init_object(o);
  EXPECT_TRUE(o.vertices.empty());
  EXPECT_EQ(o.vertex_count, 0);
  EXPECT_EQ(o.face_count, 0);
  EXPECT_EQ(o.front_face, kFrontFaceCw);
  EXPECT_EQ(o.halo_tex[4], -1);
  EXPECT_EQ(o.chroma_tex, -1);
  EXPECT_EQ(o.tex_evmap, -1);
  EXPECT_EQ(o.tex_mask, -1);
  EXPECT_EQ(o.bump_tex, (std::array<std::int32_t, 2>{-1, -1}));
  EXPECT_EQ(o.solidity, 1);
  EXPECT_EQ(o.visible, 1);
  EXPECT_EQ(o.shadow_dark, 125);
  EXPECT_EQ(o.object_bilinear, 1);
  EXPECT_EQ(o.perspective_ok, 1);
  EXPECT_EQ(o.accept_random, 1);
}

TEST_F(ModelPrepare, MeshesMergeIntoOneObjectWithRandomTranslucentUngroupedFaces) {
  ThreeDsModel model;
  model.meshes.push_back(mesh("A", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}));
  model.meshes.push_back(mesh("B", {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {2, 0, 1}, {2, 1, 1}},
                              {{0, 1, 2}, {1, 4, 5}, {3, 2, 5}}));
  // The colours come from the engine's generator: three draws per face.
  RandomGenerator expected;
  random_seed(expected, 77);
  random_seed(e_.random, 77);
  e_.object_count = 2;  // objects 0 and 1 exist already
  e_.objects.resize(2);

  const Object& o = load(model);
  EXPECT_EQ(e_.objects.size(), 3u);
  EXPECT_EQ(o.index, 2);
  EXPECT_EQ(o.vertex_count, 10);
  EXPECT_EQ(o.face_count, 5);
  ASSERT_EQ(o.vertices.size(), 10u);
  ASSERT_EQ(o.faces.size(), 5u);
  EXPECT_EQ(o.front_face, kFrontFaceCw);
  for (const Vertex& v : o.vertices) EXPECT_EQ(v.vertex_colour, 0xFFFFFFFFu);

  // Every face is translucent (alpha 65), so the pass reorders them: with
  // five faces it exchanges 0<->4, 1<->3 and stops.
  std::vector<std::array<std::int32_t, 3>> corners;
  for (const Face& f : o.faces) corners.push_back({f.corners[0], f.corners[1], f.corners[2]});
  EXPECT_EQ(corners, (std::vector<std::array<std::int32_t, 3>>{
                         {7, 6, 9}, {5, 8, 9}, {4, 5, 6}, {0, 2, 3}, {0, 1, 2}}));
  std::vector<std::array<std::uint8_t, 3>> colours;
  for (int i = 0; i < 5; ++i) {
    std::array<std::uint8_t, 3> c{};
    for (auto& part : c) part = static_cast<std::uint8_t>(random_next(expected) & 0xFF);
    colours.push_back(c);
  }
  const int file_order[5] = {4, 3, 2, 1, 0};
  for (int i = 0; i < 5; ++i) {
    const Face& f = o.faces[static_cast<std::size_t>(i)];
    EXPECT_EQ(f.corner_count, 3);
    EXPECT_EQ(f.alpha, 65);
    EXPECT_EQ(f.current_frame, 0);
    for (std::uint16_t t : f.texture_frames) EXPECT_EQ(t, kNoTexture16);
    const auto& c = colours[static_cast<std::size_t>(file_order[i])];
    EXPECT_EQ(f.red, c[0]);
    EXPECT_EQ(f.green, c[1]);
    EXPECT_EQ(f.blue, c[2]);
    EXPECT_EQ(f.u[0], 0.0f);  // no mapping coordinates
  }
  EXPECT_EQ(log_.front(), "reading geometry...");
  EXPECT_EQ(log_count("Obj 0 faces=2 vertices=4 maps=0"), 1);
  EXPECT_EQ(log_count("Obj 1 faces=3 vertices=6 maps=0"), 1);
  EXPECT_EQ(log_count("assign materials obj 1"), 1);
  EXPECT_EQ(log_count("swapping zorros..."), 0);
  EXPECT_EQ(log_.back(), "centering...");
}

TEST_F(ModelPrepare, MaterialsGiveColourAlphaAndTexture) {
  write_texture("WOOD");
  ThreeDsModel model;
  model.materials.push_back(material("Opaque", {200 / 255.0f, 100 / 255.0f, 1}, 1.0f, "WOOD.GIF"));
  model.materials.push_back(material("Half", {1, 1, 1}, 0.5f));
  model.materials.push_back(material("Null", {0, 0, 0}, 1.0f, "NULL"));
  model.materials.push_back(material("Missing", {0.5f, 0.5f, 0.5f}, 1.0f, "GONE.TGA"));
  ThreeDsMesh mapped = mesh("mapped", {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}},
                            {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}, {0, 1, 3}, {3, 2, 1}});
  mapped.mapping = {{0, 0}, {1, 0}, {1, 1}, {0, 0.5f}};
  mapped.groups.push_back({"Opaque", -1, {0, 1}});
  mapped.groups.push_back({"Null", -1, {2}});
  mapped.groups.push_back({"Missing", -1, {3, 4}});
  mapped.groups.push_back({"Half", -1, {4}});  // the last group of a face wins
  model.meshes.push_back(mapped);
  ThreeDsMesh plain = mesh("plain", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
  plain.groups.push_back({"Opaque", -1, {0}});  // no mapping: no texture
  model.meshes.push_back(plain);

  const Object& o = load(model);
  ASSERT_EQ(o.face_count, 6);
  // Only face 4 (alpha 127) is translucent: the pass moves it to the end.
  const int wood = e_.texture_slots[0].name == "WOOD" ? 0 : -1;
  ASSERT_EQ(wood, 0);
  EXPECT_NE(e_.texture_slots[0].gl_name, 0u);
  auto frames_are = [](const Face& f, std::uint16_t slot) {
    for (std::uint16_t t : f.texture_frames)
      if (t != slot) return false;
    return true;
  };
  const Face& f0 = o.faces[0];
  EXPECT_EQ((std::array<int, 4>{f0.alpha, f0.red, f0.green, f0.blue}), (std::array<int, 4>{255, 200, 100, 255}));
  EXPECT_TRUE(frames_are(f0, 0));
  EXPECT_EQ(f0.u[1], 255.0f);
  EXPECT_EQ(f0.v[2], 255.0f);
  EXPECT_TRUE(frames_are(o.faces[1], 0));
  EXPECT_EQ(o.faces[1].v[2], 127.5f);
  EXPECT_TRUE(frames_are(o.faces[2], kNoTexture16));  // "NULL"
  EXPECT_EQ(o.faces[2].red, 0);
  EXPECT_EQ(o.faces[2].alpha, 255);
  EXPECT_TRUE(frames_are(o.faces[3], kNoTexture16));  // GONE.3DF does not exist
  EXPECT_EQ(o.faces[3].red, 128);  // 0.5 was written as the byte 128
  // faces[4] is the plain mesh's face (exchanged with the translucent one).
  EXPECT_TRUE(frames_are(o.faces[4], kNoTexture16));
  EXPECT_EQ(o.faces[4].red, 200);
  EXPECT_EQ(o.faces[4].corners[0], 4);
  const Face& half = o.faces[5];
  EXPECT_EQ(half.alpha, 127);
  EXPECT_EQ(half.red, 255);
  EXPECT_TRUE(frames_are(half, kNoTexture16));

  // The texture is asked for once per face of a textured group; the names
  // are logged without their extension.
  EXPECT_EQ(log_count("WOOD"), 1);
  EXPECT_EQ(log_count("GONE"), 1);
  EXPECT_EQ(log_count("tex loaded WOOD slot 0"), 2);
  EXPECT_EQ(log_count("tex failed GONE"), 2);
  EXPECT_EQ(log_count("tex failed NULL"), 0);
  int used = 0;
  for (const TextureSlot& s : e_.texture_slots) used += s.used;
  EXPECT_EQ(used, 1);
}

TEST_F(ModelPrepare, OrientationsMirrorOrReverseTheFaces) {
  ThreeDsModel model;
  ThreeDsMesh m = mesh("m", {{0, 0, 1}, {1, 0, 2}, {0, 1, 3}}, {{0, 1, 2}});
  m.mapping = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
  m.groups.push_back({"White", -1, {0}});
  model.meshes.push_back(m);
  model.materials.push_back(material("White", {1, 1, 1}));

  const Object stored = load(model, kOrientAsStored);
  const Object mirrored = load(model, kOrientMirrorZ);
  const Object reversed = load(model, kOrientReverseCorners);

  EXPECT_EQ(stored.front_face, kFrontFaceCw);
  EXPECT_EQ(reversed.front_face, kFrontFaceCw);
  EXPECT_EQ(mirrored.front_face, kFrontFaceCcw);

  EXPECT_EQ(stored.faces[0].corners, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
  EXPECT_EQ(mirrored.faces[0].corners, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
  EXPECT_EQ(reversed.faces[0].corners, (std::array<std::int32_t, 4>{0, 2, 1, 0}));
  // The mapping stays in the stored order a, b, c.
  for (const Object* o : {&stored, &mirrored, &reversed}) {
    EXPECT_FLOAT_EQ(o->faces[0].u[1], 0.3f * 255.0f);
    EXPECT_FLOAT_EQ(o->faces[0].v[2], 0.6f * 255.0f);
  }
  // z spans 1..3, centred to -1..1; mirrored it spans -3..-1, centred to 1..-1.
  EXPECT_EQ(stored.vertices[0].position.z, -1.0f);
  EXPECT_EQ(stored.vertices[2].position.z, 1.0f);
  EXPECT_EQ(mirrored.vertices[0].position.z, 1.0f);
  EXPECT_EQ(mirrored.vertices[2].position.z, -1.0f);
  EXPECT_EQ(log_count("swapping zorros..."), 1);
}

TEST_F(ModelPrepare, CreateZeroFillsTheObjectTheCallerPrepared) {
  ThreeDsModel model;
  model.meshes.push_back(mesh("m", {{2, 0, 0}, {6, 1, 0}, {4, 3, 0}}, {{0, 1, 2}}));
  const std::string path = write("m.3ds", model);

  e_.object_count = 1;
  e_.objects.resize(2);
  init_object(e_.objects[1]);
  e_.objects[1].index = 1;
  e_.objects[1].solidity = 0;
  e_.objects[1].front_face = 2;
  ASSERT_EQ(load_model(e_, path, 0, kOrientAsStored), 1);
  ASSERT_EQ(e_.objects.size(), 2u);
  const Object& o = e_.objects[1];
  EXPECT_EQ(o.solidity, 0);  // what the caller set stays
  EXPECT_EQ(o.front_face, 2u);
  EXPECT_EQ(o.vertex_count, 3);
  // x spans 2..6 and ends spanning -2..2; y spans 0..3 and ends -1.5..1.5.
  EXPECT_EQ(o.vertices[0].position.x, -2.0f);
  EXPECT_EQ(o.vertices[1].position.x, 2.0f);
  EXPECT_EQ(o.vertices[2].position.x, 0.0f);
  EXPECT_EQ(o.vertices[0].position.y, -1.5f);
  EXPECT_EQ(o.vertices[2].position.y, 1.5f);

  // Without an object at position object_count nothing can receive it.
  e_.object_count = 2;
  EXPECT_EQ(load_model(e_, path, 0, kOrientAsStored), 0);
  EXPECT_EQ(e_.objects.size(), 2u);
}

TEST_F(ModelPrepare, UnreadableOrRefusedFilesChangeNothing) {
  ThreeDsModel model;
  model.meshes.push_back(mesh("m", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}}));
  std::vector<std::uint8_t> bytes = *encode_3ds(model);
  bytes[bytes.size() - 8] = 3;  // the first corner of the face: past the vertices
  dir_.write("bad.3ds", std::string(bytes.begin(), bytes.end()));

  e_.objects.resize(1);
  e_.object_count = 1;
  RandomGenerator copy;
  random_seed(copy, e_.random.state.load());
  std::string reason;
  EXPECT_EQ(load_model(e_, dir_.file("none.3ds"), 1, kOrientMirrorZ, &reason), 0);
  EXPECT_EQ(reason, "cannot be opened");
  EXPECT_EQ(load_model(e_, dir_.file("bad.3ds"), 1, kOrientMirrorZ, &reason), 0);
  EXPECT_NE(reason.find("uses vertex 3 of 3"), std::string::npos) << reason;
  EXPECT_EQ(load_model(e_, dir_.file("bad.3ds"), 0, kOrientAsStored), 0);
  EXPECT_EQ(e_.objects.size(), 1u);
  EXPECT_EQ(e_.object_count, 1);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(random_next(e_.random), random_next(copy));  // no colour was drawn
}

TEST_F(ModelPrepare, TranslucentPassSweepsOnceFromBothEnds) {
  auto pass = [](std::vector<int> alphas) {
    Object o;
    for (int a : alphas) {
      Face& f = o.faces.emplace_back();
      f.alpha = static_cast<std::uint8_t>(a);
    }
    o.face_count = static_cast<std::int32_t>(alphas.size());
    sort_translucent_faces(o);
    std::vector<int> out;
    for (const Face& f : o.faces) out.push_back(f.alpha);
    return out;
  };
  EXPECT_EQ(pass({255, 100, 255, 255}), (std::vector<int>{255, 255, 255, 100}));
  EXPECT_EQ(pass({100, 100, 255}), (std::vector<int>{255, 100, 100}));
  // The face brought forward is not examined again.
  EXPECT_EQ(pass({100, 255, 50}), (std::vector<int>{50, 255, 100}));
  EXPECT_EQ(pass({100}), (std::vector<int>{100}));
  EXPECT_EQ(pass({}), (std::vector<int>{}));
}

TEST_F(ModelPrepare, CenterObjectUsesTheBoundingBoxOfTheVertices) {
  Object o;
  for (Vec3 p : {Vec3{2, -10, 5}, Vec3{6, 10, 5}, Vec3{3, 0, 7}}) o.vertices.push_back({p, 0, {}});
  o.vertex_count = 3;
  center_object(o);
  EXPECT_EQ(o.vertices[0].position.x, -2.0f);
  EXPECT_EQ(o.vertices[1].position.x, 2.0f);
  EXPECT_EQ(o.vertices[0].position.y, -10.0f);
  EXPECT_EQ(o.vertices[2].position.z, 1.0f);
  EXPECT_EQ(o.vertices[0].position.z, -1.0f);

  Object none;
  none.centre = {1, 2, 3};
  center_object(none);
  EXPECT_EQ(none.centre.x, 1.0f);
  EXPECT_TRUE(none.vertices.empty());
}

}  // namespace
}  // namespace kelvo
