// Model preparation: 3DS files written by the writer, loaded into scene
// objects in a real GL context.
#include "model/model_prepare.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "model/three_ds.h"
#include "model/three_ds_writer.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

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

class ModelPrepare : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl_.ok());
    e_.paths.dir_temp = dir_.path();
    clear_texture_slots(e_);
    e_.log.to_callback([this](std::string_view line) { log_.emplace_back(line); });
  }
  void TearDown() override { free_textures(e_); }

  // Writes `model` and loads it into a new object.
  const Object& load(const ThreeDsModel& model, int orientation = kOrientAsStored) {
    EXPECT_TRUE(write_3ds(dir_.file("m.3ds"), model));
    EXPECT_EQ(load_model(e_, dir_.file("m.3ds"), 1, orientation), 1);
    EXPECT_EQ(e_.objects.size(), static_cast<std::size_t>(e_.object_count) + 1);
    return e_.objects.back();
  }
  int log_count(const std::string& line) const { return static_cast<int>(std::count(log_.begin(), log_.end(), line)); }

  test::OsmesaContext gl_{16, 16};
  test::TempDir dir_;
  Engine e_;
  std::vector<std::string> log_;
};

TEST_F(ModelPrepare, MeshesMergeIntoOneObjectWithRandomTranslucentUngroupedFaces) {
  ThreeDsModel model;
  model.meshes.push_back(mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}));
  model.meshes.push_back(
      mesh({{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {2, 0, 1}, {2, 1, 1}}, {{0, 1, 2}, {1, 4, 5}, {3, 2, 5}}));
  // The colours come from the engine's generator: three draws per face.
  RandomGenerator expected;
  random_seed(expected, 77);
  random_seed(e_.random, 77);
  e_.object_count = 2;  // objects 0 and 1 exist already
  e_.objects.resize(2);
  const Object& o = load(model);
  EXPECT_EQ(std::make_tuple(o.index, o.vertex_count, o.face_count, o.front_face),
            std::make_tuple(2, 10, 5, kFrontFaceCw));
  ASSERT_EQ(std::make_pair(o.vertices.size(), o.faces.size()), std::make_pair(std::size_t{10}, std::size_t{5}));
  // Every face is translucent (alpha 65), so the pass reorders them: with
  // five faces it exchanges 0<->4, 1<->3 and stops.
  int colours[5][3];
  for (auto& c : colours)
    for (int& part : c) part = random_next(expected) & 0xFF;
  const std::array<std::int32_t, 3> corners[5] = {{7, 6, 9}, {5, 8, 9}, {4, 5, 6}, {0, 2, 3}, {0, 1, 2}};
  for (int i = 0; i < 5; ++i) {
    const int* c = colours[4 - i];  // drawn in file order
    EXPECT_EQ(face_text(o.faces[static_cast<std::size_t>(i)]),
              FaceText(corners[i], 3, 65, c[0], c[1], c[2], kNoTexture16))
        << i;
  }
}

TEST_F(ModelPrepare, MaterialsGiveColourAlphaAndTexture) {
  const std::vector<std::uint8_t> bytes = encode_3df({2, 2, std::vector<std::uint8_t>(12, 200)}, TexelFormat::rgb565);
  dir_.write("WOOD.3DF", std::string(bytes.begin(), bytes.end()));
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
  ThreeDsMesh plain = mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
  plain.groups = {{"Opaque", -1, {0}}};  // no mapping: no texture
  model.meshes.push_back(plain);

  const Object& o = load(model);
  ASSERT_EQ(o.face_count, 6);
  ASSERT_EQ(e_.texture_slots[0].name, "WOOD");
  // Only face 4 (alpha 127) is translucent: the pass exchanges it with the
  // plain mesh's face at the end. "NULL" names no texture, GONE.3DF does not
  // exist, 0.5 was written as the byte 128.
  const FaceText expected[6] = {{{0, 1, 2}, 3, 255, 200, 100, 255, 0},
                                {{0, 2, 3}, 3, 255, 200, 100, 255, 0},
                                {{1, 2, 3}, 3, 255, 0, 0, 0, kNoTexture16},
                                {{0, 1, 3}, 3, 255, 128, 128, 128, kNoTexture16},
                                {{4, 5, 6}, 3, 255, 200, 100, 255, kNoTexture16},
                                {{3, 2, 1}, 3, 127, 255, 255, 255, kNoTexture16}};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(face_text(o.faces[static_cast<std::size_t>(i)]), expected[i]) << i;
  // Mapping coordinates scale to 0..255.
  EXPECT_EQ(std::make_tuple(o.faces[0].u[1], o.faces[0].v[2], o.faces[1].v[2]),
            std::make_tuple(255.0f, 255.0f, 127.5f));
  // The texture is asked for once per face of a textured group, by its name
  // without the extension.
  EXPECT_EQ(std::make_pair(log_count("tex loaded WOOD slot 0"), log_count("tex failed GONE")), std::make_pair(2, 2));
}

TEST_F(ModelPrepare, OrientationsMirrorOrReverseTheFaces) {
  ThreeDsModel model;
  model.meshes.push_back(mesh({{0, 0, 1}, {1, 0, 2}, {0, 1, 3}}, {{0, 1, 2}}));
  model.meshes[0].mapping = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
  // z spans 1..3, centred to -1..1; mirrored it spans -3..-1, centred to 1..-1.
  const struct {
    int orientation;
    std::uint32_t front_face;
    std::array<std::int32_t, 4> corners;
    float z0, z2;
  } cases[] = {{kOrientAsStored, kFrontFaceCw, {0, 1, 2, 0}, -1, 1},
               {kOrientMirrorZ, kFrontFaceCcw, {0, 1, 2, 0}, 1, -1},
               {kOrientReverseCorners, kFrontFaceCw, {0, 2, 1, 0}, -1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    const Object& o = load(model, c.orientation);
    EXPECT_EQ(std::make_tuple(o.front_face, o.faces[0].corners, o.vertices[0].position.z, o.vertices[2].position.z),
              std::make_tuple(c.front_face, c.corners, c.z0, c.z2));
    // The mapping stays in the stored order a, b, c.
    EXPECT_FLOAT_EQ(o.faces[0].u[1], 0.3f * 255.0f);
    EXPECT_FLOAT_EQ(o.faces[0].v[2], 0.6f * 255.0f);
  }
  EXPECT_EQ(log_count("swapping zorros..."), 1);
}

TEST_F(ModelPrepare, UnreadableRefusedOrHomelessModelsChangeNothing) {
  ThreeDsModel model;
  model.meshes.push_back(mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}}));
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
  // Without an object at position object_count nothing can receive a model.
  ASSERT_TRUE(write_3ds(dir_.file("m.3ds"), model));
  EXPECT_EQ(load_model(e_, dir_.file("m.3ds"), 0, kOrientAsStored), 0);
  EXPECT_EQ(std::make_pair(e_.objects.size(), e_.object_count), std::make_pair(std::size_t{1}, 1));
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(random_next(e_.random), random_next(copy));  // no colour was drawn
}

}  // namespace
}  // namespace kelvo
