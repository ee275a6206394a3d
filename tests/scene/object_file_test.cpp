#include <gtest/gtest.h>

#include "scene/object_file.h"
#include "scene_test_support.h"

namespace kelvo {
namespace {

using test::cube_object;
using test::SceneDir;

struct ObjectDir : SceneDir {
  // Reads one object file into the next record; returns what the reader did.
  int read(const std::string& text, const std::string& name = "obj") {
    write(name, text);
    return read_object(e, dir.path() + name);
  }
  const Object& object() const { return e.objects.back(); }
};

TEST(ObjectFile, KeysSetTheObjectsOptions) {
  ObjectDir d;
  d.texture("ENV");
  d.texture("B1");
  d.e.Speed = 1;
  ASSERT_EQ(d.read("HALO_TEST=1 CULL=7 TEX_EVMAP=ENV TEX_BUMPLEVEL=50 TEX_BUMPMAP=B1,B2 "
                   "TEX_SHIFT_X=1.5 TEX_SPEED=3 ACCEPT_RANDOM=0 WHATEVER=1\n"),
            1);
  const Object& o = d.object();
  EXPECT_EQ(o.ghoul_test, 1);  // HALO_TEST is another name for GHOUL_TEST
  EXPECT_EQ(o.front_face, 0x900u);
  EXPECT_GE(o.tex_evmap, 0);
  EXPECT_GE(o.bump_tex[0], 0);
  EXPECT_EQ(o.bump_tex[1], -1);   // B2.3DF is missing
  EXPECT_EQ(o.bump_level, 0.0f);  // a bump map without its second texture clears the level
  EXPECT_EQ(o.tex_shift[0], 3.0f);  // doubled with Speed 1
  EXPECT_EQ(o.tex_speed, 1);        // 3 / 2
  EXPECT_EQ(o.accept_random, 0);
  EXPECT_TRUE(d.problem_contains("obj:1: texture B2.3DF is missing or unreadable"));
  EXPECT_TRUE(d.problem_contains("obj:1: warning: unknown key WHATEVER"));
}

TEST(ObjectFile, FaceLinesGiveTrianglesQuadsTexturesAndColours) {
  ObjectDir d;
  for (const char* t : {"a", "b", "c", "X", "4X"}) d.texture(t);
  ASSERT_EQ(d.read("TEX_NAME=a,b,c COLOR_G=200 TEX_REPEAT_H=2\nPOINTS\n0,0,0 1, 0,0\n  2,2,0 0,2,0 caption\n"
                   "1 2 3\n1 2 3 4X\n1 2 3 4 X\n1 2 3 T 2 0.5\n1 2 3 a 1 1 -5 10 20\n"),
            1);
  const Object& o = d.object();
  ASSERT_EQ(o.vertex_count, 4);
  ASSERT_EQ(o.face_count, 5);
  const Face& plain = o.faces[0];
  // Texture name a and its frames b, c.
  EXPECT_TRUE(plain.texture_frames[0] != kNoTexture16 && plain.texture_frames[1] != kNoTexture16 &&
              plain.texture_frames[2] != kNoTexture16 && plain.texture_frames[3] == kNoTexture16);
  EXPECT_EQ(plain.u[1], 510.0f);
  EXPECT_EQ(plain.green, 200);
  EXPECT_EQ(o.faces[1].corner_count, 3);
  EXPECT_EQ(o.faces[2].corner_count, 4);
  EXPECT_EQ(o.faces[2].corners[3], 3);
  EXPECT_EQ(o.faces[2].texture_frames[0], o.faces[1].texture_frames[0] + 1);  // X was loaded after 4X
  EXPECT_EQ(o.faces[3].v, (std::array<float, 4>{0, 0, 127, 127}));
  EXPECT_EQ(o.faces[3].texture_frames[0], kNoTexture16);  // T is missing
  const Face& coloured = o.faces[4];  // -5 is not a number here
  EXPECT_EQ((std::array<int, 4>{coloured.red, coloured.green, coloured.blue, coloured.alpha}),
            (std::array<int, 4>{255, 10, 20, 255}));
}

TEST(ObjectFile, BadFaceLinesRefuseTheObject) {
  for (const std::string& faces : {std::string("1 2\n"), std::string("1 2 9\n"), std::string("0 1 2\n"),
                                   std::string("1 2 3 9 X\n"), std::string("1 2 3\n\n"), std::string("1 2 3\n1 2")}) {
    ObjectDir d;
    EXPECT_EQ(d.read("POINTS\n0,0,0 1,0,0 1,1,0 0,1,0\nfaces\n" + faces), 0) << faces;
    EXPECT_FALSE(d.e.problems.empty());
    EXPECT_TRUE(d.e.problems.back().error);
  }
}

TEST(ObjectFile, ParticleLinesSetTheParameters) {
  ObjectDir d;
  ASSERT_EQ(d.read("POINTS\n0,0,0 1,0,0 1,1,0\nfaces\nPARTICLE\n100 5 30 1.1 0.2 1 2 3 10 20 30 40 50 60 SMOKE -1\n"
                   "1 2 3\n"),
            1);
  EXPECT_EQ(d.object().face_count, 0);  // nothing after the particle line counts
  const ParticleParameters& p = d.e.particle_parameters;
  EXPECT_EQ((std::array<std::int32_t, 3>{p.count, p.size, p.life}), (std::array<std::int32_t, 3>{100, 5, 30}));
  EXPECT_EQ(p.end_colour, (std::array<std::int32_t, 3>{40, 50, 60}));
  EXPECT_EQ(d.e.particle_texture_name, "SMOKE");
  EXPECT_EQ(p.blend, -1);

  // A later file without a particle line keeps them, but not the texture.
  d.e.object_count = 1;
  d.read("FIXED=1");
  EXPECT_EQ(d.e.particle_texture_name, "PARTICLE");
}

TEST(ObjectFile, MissingFilesAndExternalModelsFail) {
  ObjectDir d;
  EXPECT_EQ(read_object(d.e, d.dir.path() + "nothing"), 0);
  EXPECT_TRUE(d.problem_contains("nothing: no object file"));
  EXPECT_EQ(d.read("EXTERN=ghost 100 5\n"), 0);
  EXPECT_TRUE(d.problem_contains("obj:1: model ghost.3DS is missing"));
  EXPECT_EQ(d.read("EXTERN=..\\x\n"), 0);
  EXPECT_TRUE(d.problem_contains("must not contain a path separator"));
  // A file named with ".TXT" is found too.
  d.write("crate.TXT", cube_object("COLOR_R=10"));
  EXPECT_EQ(read_object(d.e, d.dir.path() + "crate"), 1);
  EXPECT_EQ(d.object().faces[0].red, 10);
}

}  // namespace
}  // namespace kelvo
