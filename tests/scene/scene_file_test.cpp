#include <gtest/gtest.h>

#include "scene_test_support.h"

namespace kelvo {
namespace {

using test::cube_object;
using test::SceneDir;

TEST(SceneFile, HeaderKeysSetTheEngineState) {
  SceneDir s;
  s.e.Fog = 1;
  s.load("CAMERA_POS_Z=100 CAMERA_ROT_X=-400 CAMERA_ROT_Z=-800 FOGNEAR=10,FOGFAR=700 FOGFAR=600 AMBIENT_R=41 "
         "PHONG=1 DRAWMODE=3 PERSPECTIVE_X=1 PERSPECTIVE_Y=1 NEARCLIP=2 mystery=3\nOBJECTS\n");
  EXPECT_EQ(s.e.camera_pos.z, -100.0f);
  EXPECT_EQ(s.e.camera_rot.z, 441.0f);  // folded once only
  EXPECT_EQ(s.e.fog_near + s.e.fog_far, 610.0f);
  EXPECT_EQ(s.e.ambient[0], 20);  // halved
  EXPECT_EQ(s.e.phong, 0);  // no light in the scene
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:1: warning: unknown key MYSTERY"));
  EXPECT_FALSE(s.problem_contains("NEARCLIP"));
}

TEST(SceneFile, NumbersWhereKeysBelongMakeTheFileOldFormat) {
  SceneDir comment;
  comment.load("FARCLIP=100\n// 2000\nFOGNEAR=7\nOBJECTS\nbox\n");
  EXPECT_EQ(comment.e.far_clip, 100.0f);  // read before the offending word
  EXPECT_EQ(comment.e.fog_near, 100.0f);
  EXPECT_TRUE(comment.logged("[old format]"));
  EXPECT_FALSE(comment.logged("************** STAT SCENE"));
  EXPECT_TRUE(comment.problem_contains("SCENE1.TXT:2: '2000' is a number"));

  SceneDir slashes;
  slashes.load("FOGFAR=300 //OBJECTS\nFOGNEAR=5\n");
  EXPECT_FALSE(slashes.logged("[old format]"));
  EXPECT_EQ(slashes.e.fog_far, 300.0f);
  EXPECT_EQ(slashes.e.fog_near, 100.0f);  // that line is the object list now
}

TEST(SceneFile, BordersShrinkTheViewportOutsidePreviewOnly) {
  SceneDir s;
  s.load("BORDER_X=10 BORDER_X=10 BORDER_Y=20 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n");
  EXPECT_TRUE(s.logged("screen: 10,20,790,580"));
  EXPECT_EQ(s.e.screen_centre[0], 400);
  SceneDir preview;
  preview.e.preview = 1;
  preview.load("BORDER_X=10\nOBJECTS\n");
  EXPECT_EQ(preview.e.viewport_box.x1, 800);
}

TEST(SceneFile, MissingPerspectiveFactorsCollapseTheViewAndAreReported) {
  SceneDir s;
  s.load("OBJECTS\n");
  EXPECT_EQ(s.e.perspective_switch, 1);
  EXPECT_TRUE(s.logged("perspective enabled: 0.0/0.0"));
  EXPECT_TRUE(s.problem_contains("collapses the view"));

  SceneDir half;
  half.load("PERSPECTIVE_X=0.5 PERSPECTIVE_Y=1\nOBJECTS\n");
  EXPECT_TRUE(half.logged("perspective enabled: 0.5/1.0"));
  EXPECT_EQ(half.e.perspective[0], 400.0f);  // times the viewport width
  EXPECT_EQ(half.e.perspective[1], 600.0f);
}

TEST(SceneFile, ObjectLinesPlaceScaleAndSpeedUpObjects) {
  SceneDir s;
  s.e.Speed = 2;
  s.write("box", cube_object());
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n"
         "/ a comment\n"
         "x\n"
         "box 100 0 0 0 0 0 1 0 0 0 0 4\n"
         "box 0 0 0 0 0 0 0 0 0 0 0 0 2\n"
         "box 0 0 0 0 0 0 0 0 0 0 0 0 -2\n"
         "missing 0 0 0\n");
  ASSERT_EQ(s.e.object_count, 3);
  const Object& moved = s.e.objects[0];
  EXPECT_EQ(moved.vertices[0].position.x, 90.0f);
  EXPECT_EQ(moved.centre.x, 100.0f);
  EXPECT_EQ(moved.rot_speed.x, 0.5f);    // halved by Speed 2
  EXPECT_EQ(moved.automove, 1);
  EXPECT_EQ(s.e.objects[1].vertices[0].position.x, -20.0f);  // scaled by 2
  EXPECT_EQ(s.e.objects[2].vertices[0].position.x, -10.0f);  // "-2" is not a scale
  EXPECT_TRUE(s.logged("skipped:x"));
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:8: object missing was not loaded"));
  EXPECT_EQ(s.e.total_faces, 18);
}

TEST(SceneFile, TheStatisticsPassSwitchesOffUnusedFeaturesInOrder) {
  SceneDir s;
  s.write("box", cube_object("SHADOW_CAST=1 TEX_BUMPLEVEL=100"));
  s.load("PHONG=1 FOGNEAR=50 FOGFAR=50 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nbox\n");
  const std::vector<std::string> expected = {"************** STAT SCENE", "!particle disabled", "!light disabled",
                                             "!fog disabled", "!objects move disabled", "!shadows disabled",
                                             "!bumpmap disabled"};
  const int at = s.log_index(expected[0]);
  ASSERT_GE(at, 0);
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(s.log[static_cast<std::size_t>(at) + k], expected[k]);
  EXPECT_EQ((std::array<int, 4>{s.e.Fog, s.e.phong, s.e.light_switch, s.e.particle_switch}), (std::array<int, 4>{}));
  EXPECT_EQ(s.e.objects[0].shadow_cast, 0.0f);
  EXPECT_EQ(s.e.objects[0].bump_level, 0.0f);
  EXPECT_TRUE(s.logged("scene song failed " + s.dir.file("SCENE1.MID")));
}

TEST(SceneFile, ColoursAreHalvedAndRepeatsScaledBackAtTheEnd) {
  SceneDir s;
  s.texture("T");
  s.write("box", "POINTS\n0,0,0 10,0,0 10,10,0\nfaces\n1 2 3 T 2 0.5 255 255 255 255\n");
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1 OBJECTS\nbox\n");
  ASSERT_EQ(s.e.object_count, 1);
  const Face& f = s.e.objects[0].faces[0];
  EXPECT_EQ(f.red, 127);
  EXPECT_EQ(f.alpha, 127);
  EXPECT_FLOAT_EQ(f.u[1], 2.0f);
  EXPECT_NEAR(f.v[2], 0.498f, 0.001f);  // 127 / 255
  EXPECT_EQ(f.corner_colours[2], 0x7F7F7F7Fu);
  EXPECT_EQ(s.e.objects[0].vertices[1].vertex_colour, 0x7F7F7F7Fu);
}

TEST(SceneFile, LightsAndEmittersFollowTheirObjects) {
  SceneDir s;
  s.write("lamp", "LIGHTSOURCE=1\nPOINTS\n0,0,0 10,0,0 10,10,0\nfaces\n1 2 3 NULL 1 1 255 0 0 255\n");
  s.write("fire", "PARTICLED=1\nPOINTS\n5,6,7 10,0,0 10,10,0\nfaces\n1 2 3\nPARTICLE\n30 4 20 1.05 0.4 0 1 0 255 255 100 50 0 0 SPARK 1\n");
  s.write("dark", "LIGHTSOURCE=1 PARTICLED=1\n");  // no faces, no vertices
  s.write("smoke", "PARTICLED=1\nPOINTS\n1,1,1 2,2,2 3,3,1\nfaces\n1 2 3\n");
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nlamp\nfire\ndark\nsmoke\n");
  ASSERT_EQ(s.e.light_count, 1);
  EXPECT_EQ(s.e.lights[0].object, 0);
  EXPECT_EQ(s.e.lights[0].colour.y, 0.0f);
  ASSERT_EQ(s.e.particle_system_count, 2);
  const ParticleSystem& fire = s.e.particle_systems[0];
  EXPECT_EQ(fire.object, 1);
  EXPECT_EQ(fire.texture_slot, -1);  // SPARK.3DF is missing
  for (const Particle& p : fire.particles) EXPECT_TRUE(p.life >= 20 && p.life <= 39 && p.vertex.position.x == 5.0f);
  // The next emitter reuses the parameters, with the texture name reset.
  const ParticleSystem& smoke = s.e.particle_systems[1];
  EXPECT_EQ(smoke.size, 4);
  EXPECT_EQ(s.e.particle_switch + s.e.light_switch, 2);
  EXPECT_TRUE(s.logged("light on obj 2 has no face: no light"));
  EXPECT_TRUE(s.logged("particle system on obj 2 has no vertex: no particles"));
}

TEST(SceneFile, HostileTextIsCutNotOverrun) {
  SceneDir s;
  std::string long_word(5000, 'A');
  std::string long_line = "box " + std::string(3000, '1') + "\n";
  s.write("box", cube_object());
  s.load(long_word + " FARCLIP=1e400 AMBIENT_R=99999999999999 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n" + long_line +
         "..\\box\n" + std::string(100000, '\n'));
  EXPECT_EQ(s.e.far_clip, 3.40282347e38f);
  EXPECT_EQ(s.e.ambient[0], INT32_MAX / 2);
  EXPECT_TRUE(s.problem_contains("word longer than 255 characters is cut"));
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:1: warning: number 99999999999999 is out of range; 2147483647 is used"));
  EXPECT_TRUE(s.problem_contains("line longer than 254 characters is cut"));
  EXPECT_TRUE(s.problem_contains("object name ..\\box must not contain a path separator"));
  EXPECT_EQ(s.e.object_count, 1);
}

}  // namespace
}  // namespace kelvo
