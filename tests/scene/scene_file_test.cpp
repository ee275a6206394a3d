// The scene and object file readers, on a temporary scene directory, with a
// real GL context (textures are uploaded) and the log captured.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/three_ds_writer.h"
#include "render/frame_renderer.h"
#include "scene/engine_state.h"
#include "scene/object_file.h"
#include "scene/scene_budget.h"
#include "scene/scene_file.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

struct SceneDir {
  test::TempDir dir;
  test::OsmesaContext gl{32, 32};
  Engine e;
  std::vector<std::string> log;

  SceneDir() {
    e.paths.dir_temp = dir.path();
    e.viewport_box = {0, 0, 800, 600};
    e.log.to_callback([this](std::string_view line) { log.emplace_back(line); });
  }
  // A small texture of one colour.
  void texture(const std::string& name) {
    const std::vector<std::uint8_t> bytes = encode_3df({4, 4, std::vector<std::uint8_t>(48, 150)}, TexelFormat::rgb565);
    dir.write(name + ".3DF", std::string(bytes.begin(), bytes.end()));
  }
  void load(const std::string& scene) {
    dir.write("SCENE1.TXT", scene);
    load_scene(e, "SCENE1");
  }
  // Reads one object file into the next record; returns what the reader did.
  int read(const std::string& text, const std::string& name = "obj") {
    dir.write(name, text);
    return read_object(e, dir.path() + name);
  }
  bool problem_contains(const std::string& part) const {
    return std::ranges::any_of(e.problems,
                               [&](const Problem& p) { return format_problem(p).find(part) != std::string::npos; });
  }
};

// A cube 20 units wide as an object description, after `keys`.
std::string cube_object(const std::string& keys = "") {
  return keys + "\nPOINTS\n-10,-10,-10 10,-10,-10 10,10,-10 -10,10,-10 -10,-10,10 10,-10,10 10,10,10 -10,10,10\n"
                "faces\n1 2 3 4\n5 6 7 8\n1 5 8 4\n2 6 7 3\n4 3 7 8\n1 2 6 5\n";
}

TEST(SceneFile, HeaderKeysSetTheEngineState) {
  SceneDir s;
  s.e.Fog = 1;
  s.load("CAMERA_POS_Z=100 CAMERA_ROT_X=-400 CAMERA_ROT_Z=-800 FOGNEAR=10,FOGFAR=700 FOGFAR=600 AMBIENT_R=41 "
         "DRAWMODE=3 PERSPECTIVE_X=1 PERSPECTIVE_Y=1 NEARCLIP=2 mystery=3\nOBJECTS\n");
  EXPECT_EQ(s.e.camera_pos.z, -100.0f);
  EXPECT_EQ(s.e.camera_rot.x, 41.0f);
  EXPECT_EQ(s.e.camera_rot.z, 441.0f);  // folded once only
  EXPECT_EQ(s.e.fog_near, 10.0f);
  EXPECT_EQ(s.e.fog_far, 600.0f);
  EXPECT_EQ(s.e.ambient[0], 20);  // halved
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:1: warning: unknown key MYSTERY"));
  EXPECT_FALSE(s.problem_contains("NEARCLIP"));
}

TEST(SceneFile, NumbersWhereKeysBelongMakeTheFileOldFormat) {
  SceneDir comment;
  comment.load("FARCLIP=100\n// 2000\nFOGNEAR=7\nOBJECTS\nbox\n");
  EXPECT_EQ(comment.e.far_clip, 100.0f);  // read before the offending word
  EXPECT_EQ(comment.e.fog_near, 100.0f);
  EXPECT_TRUE(comment.problem_contains("SCENE1.TXT:2: '2000' is a number"));
  SceneDir slashes;
  slashes.load("FOGFAR=300 //OBJECTS\nFOGNEAR=5\n");
  EXPECT_EQ(slashes.e.fog_far, 300.0f);
  EXPECT_EQ(slashes.e.fog_near, 100.0f);  // that line is the object list now
}

// Borders shrink the viewport outside the preview only; missing perspective
// factors collapse the view and are reported.
TEST(SceneFile, BordersAndPerspectiveSetTheView) {
  SceneDir s, preview, missing;
  s.load("BORDER_X=10 BORDER_X=10 BORDER_Y=20 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n");
  EXPECT_EQ((std::array<int, 4>{s.e.viewport_box.x0, s.e.viewport_box.y0, s.e.viewport_box.x1, s.e.viewport_box.y1}),
            (std::array<int, 4>{10, 20, 790, 580}));
  EXPECT_EQ(s.e.screen_centre[0], 400);
  preview.e.preview = 1;
  preview.load("BORDER_X=10 PERSPECTIVE_X=0.5 PERSPECTIVE_Y=1\nOBJECTS\n");
  EXPECT_EQ(preview.e.viewport_box.x1, 800);
  EXPECT_EQ(preview.e.perspective[0], 400.0f);  // times the viewport width
  EXPECT_EQ(preview.e.perspective[1], 600.0f);
  missing.load("OBJECTS\n");
  EXPECT_EQ(missing.e.perspective_switch, 1);
  EXPECT_TRUE(missing.problem_contains("collapses the view"));
}

// Object lines place, scale and speed up objects; colours are halved and
// texture repeats scaled back at the end of the load.
TEST(SceneFile, ObjectLinesPlaceScaleAndColourObjects) {
  SceneDir s;
  s.e.Speed = 2;
  s.texture("T");
  s.dir.write("box", cube_object());
  s.dir.write("tri", "POINTS\n0,0,0 10,0,0 10,10,0\nfaces\n1 2 3 T 2 0.5 255 255 255 255\n");
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n/ a comment\nx\n"
         "box 100 0 0 0 0 0 1 0 0 0 0 4\n"
         "box 0 0 0 0 0 0 0 0 0 0 0 0 2\n"
         "box 0 0 0 0 0 0 0 0 0 0 0 0 -2\n"
         "missing 0 0 0\ntri\nbox 0 5 7 0 90 0 0 0 0 0 2 0\n");
  ASSERT_EQ(s.e.object_count, 5);
  const Object& moved = s.e.objects[0];
  EXPECT_EQ(moved.vertices[0].position.x, 90.0f);
  EXPECT_EQ(moved.centre.x, 100.0f);
  EXPECT_EQ(moved.rot_speed.x, 0.5f);  // halved by Speed 2
  EXPECT_EQ(moved.automove, 1);
  const Vec3 scaled = s.e.objects[1].vertices[0].position;  // scaled by 2
  EXPECT_EQ((std::array<float, 3>{scaled.x, scaled.y, scaled.z}), (std::array<float, 3>{-20, -20, -20}));
  EXPECT_EQ(s.e.objects[2].vertices[0].position.x, -10.0f);  // "-2" is not a scale
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:8: object missing was not loaded"));
  EXPECT_EQ(s.e.total_faces, 25);
  // Placed at (0, 5, 7), turned there by 90 degrees about y, orbiting about y.
  const Object& turned = s.e.objects[4];
  const Vec3 corner = turned.vertices[0].position;
  EXPECT_EQ((std::array<float, 6>{turned.centre.y, turned.centre.z, corner.x, corner.y, turned.orbit_speed.y,
                                  turned.orbit_speed.z}),
            (std::array<float, 6>{5, 7, 10, -5, 1, 0}));
  const Face& f = s.e.objects[3].faces[0];
  EXPECT_EQ((std::array<int, 2>{f.red, f.alpha}), (std::array<int, 2>{127, 127}));
  EXPECT_FLOAT_EQ(f.u[1], 2.0f);
  EXPECT_NEAR(f.v[2], 0.498f, 0.001f);  // 127 / 255
  EXPECT_EQ(f.corner_colours[2], 0x7F7F7F7Fu);
  EXPECT_EQ(s.e.objects[3].vertices[1].vertex_colour, 0x7F7F7F7Fu);
}

TEST(SceneFile, TheStatisticsPassSwitchesOffUnusedFeaturesInOrder) {
  SceneDir s;
  s.dir.write("box", cube_object("SHADOW_CAST=1 TEX_BUMPLEVEL=100"));
  s.load("PHONG=1 FOGNEAR=50 FOGFAR=50 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nbox\n");
  EXPECT_EQ((std::array<int, 7>{s.e.Fog, s.e.phong, s.e.light_switch, s.e.particle_switch, s.e.halo_switch,
                                s.e.flare_switch, s.e.objects_move_switch}),
            (std::array<int, 7>{}));
  EXPECT_EQ(s.e.objects[0].shadow_cast, 0.0f);
  EXPECT_EQ(s.e.objects[0].bump_level, 0.0f);
}

// FIXED 1 and 2 keep the perspective off, 3 and 4 are 1 and 2 with it on;
// fixed objects cast no shadow; a chroma key needs its texture.
TEST(SceneFile, TheLoadSettlesFixedObjectsShadowsAndChromaKeys) {
  SceneDir s;
  s.texture("T");
  const char* keys[] = {"LIGHTSOURCE=1 SHADOW_CAST=5", "FIXED=1 SHADOW_CAST=5", "FIXED=2", "FIXED=3", "FIXED=4",
                        "CHROMAKEY=1 CHROMATEX=T", "CHROMAKEY=1"};
  std::string lines;
  for (int i = 0; i < 7; ++i) {
    s.dir.write("o" + std::to_string(i), cube_object(keys[i]));
    lines += "o" + std::to_string(i) + "\n";
  }
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n" + lines);
  ASSERT_EQ(s.e.object_count, 7);
  // fixed, perspective ok, shadow cast, chroma key
  const std::array<float, 4> want[7] = {{0, 1, 5, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}, {1, 1, 0, 0},
                                        {2, 1, 0, 0}, {0, 1, 0, 1}, {0, 1, 0, 0}};
  for (std::size_t i = 0; i < 7; ++i) {
    const Object& o = s.e.objects[i];
    EXPECT_EQ((std::array<float, 4>{float(o.fixed), float(o.perspective_ok), o.shadow_cast, float(o.chromakey)}),
              want[i]) << keys[i];
  }
}

TEST(SceneFile, LightsAndEmittersFollowTheirObjects) {
  SceneDir s;
  s.dir.write("lamp", "LIGHTSOURCE=1\nPOINTS\n0,0,0 10,0,0 10,10,0\nfaces\n1 2 3 NULL 1 1 255 0 0 255\n");
  s.dir.write("fire", "PARTICLED=1\nPOINTS\n5,6,7 10,0,0 10,10,0\nfaces\n1 2 3\n"
                  "PARTICLE\n30 4 20 1.05 0.4 0 1 0 255 255 100 40 0 9 SPARK -1\n1 2 3\n");
  s.dir.write("dark", "LIGHTSOURCE=1 PARTICLED=1\n");  // no faces, no vertices
  s.dir.write("smoke", "PARTICLED=1 PARTICLE_TEST=1\nPOINTS\n1,1,1 2,2,2 3,3,1\nfaces\n1 2 3\n");
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nlamp\nfire\ndark\nsmoke\n");
  ASSERT_EQ(s.e.light_count, 1);
  EXPECT_EQ(s.e.lights[0].object, 0);
  EXPECT_EQ(s.e.lights[0].colour.y, 0.0f);
  ASSERT_EQ(s.e.particle_system_count, 2);
  const ParticleSystem& fire = s.e.particle_systems[0];
  EXPECT_EQ(fire.object, 1);
  EXPECT_EQ(fire.texture_slot, -1);  // SPARK.3DF is missing
  for (const Particle& p : fire.particles) EXPECT_TRUE(p.life >= 20 && p.life <= 39 && p.vertex.position.x == 5.0f);
  EXPECT_EQ(s.e.objects[1].face_count, 1);  // nothing after the particle line counts
  const ParticleParameters& p = s.e.particle_parameters;
  EXPECT_EQ((std::array<std::int32_t, 4>{p.count, p.size, p.life, p.blend}),
            (std::array<std::int32_t, 4>{30, 4, 20, -1}));
  EXPECT_EQ(p.start_colour, (std::array<std::int32_t, 3>{255, 255, 100}));
  EXPECT_EQ(p.end_colour, (std::array<std::int32_t, 3>{40, 0, 9}));
  // The next emitter reuses the parameters, with the texture name reset;
  // PARTICLE_TEST gives its particles the depth test.
  EXPECT_EQ(s.e.particle_systems[1].size, 4);
  EXPECT_EQ(std::make_pair(fire.depth_test, s.e.particle_systems[1].depth_test), std::make_pair(0, 1));
  EXPECT_EQ(s.e.particle_texture_name, "PARTICLE");
  EXPECT_EQ(s.e.particle_switch + s.e.light_switch, 2);
}

TEST(SceneFile, HostileTextIsCutNotOverrun) {
  SceneDir s;
  s.dir.write("box", cube_object());
  s.load(std::string(5000, 'A') + " FARCLIP=1e400 AMBIENT_R=99999999999999 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\n" +
         "box " + std::string(3000, '1') + "\n..\\box\n" + std::string(100000, '\n'));
  EXPECT_EQ(s.e.far_clip, 3.40282347e38f);
  EXPECT_EQ(s.e.ambient[0], kFileIntLimit / 2);
  EXPECT_TRUE(s.problem_contains("word longer than 255 characters is cut"));
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:1: warning: number 99999999999999 is out of range; 16777216 is used"));
  EXPECT_TRUE(s.problem_contains("line longer than 254 characters is cut"));
  EXPECT_TRUE(s.problem_contains("object name ..\\box must not contain a path separator"));
  EXPECT_EQ(s.e.object_count, 1);
}

// A package authored where file names ignore case: the scene, objects,
// models and textures are found whatever the case of their names; of names
// that differ only in case the exact one wins, else the first in byte order.
TEST(SceneFile, FilesAreFoundWhateverTheCaseOfTheirNames) {
  SceneDir s;
  s.texture("wood");
  ThreeDsModel model;
  model.meshes.push_back({"m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {{0, 0}, {1, 0}, {0, 1}}, {}});
  ASSERT_TRUE(write_3ds(s.dir.file("Vase.3ds"), model));
  s.dir.write("box.txt", cube_object("TEX_NAME=WOOD"));
  s.dir.write("LAMP", "TEX_NAME=Wood EXTERN=VASE\n");
  s.dir.write("crate", cube_object("COLOR_R=10"));
  s.dir.write("CRATE", cube_object("COLOR_R=20"));
  s.dir.write("Crate", cube_object("COLOR_R=30"));
  s.dir.write("scene1.txt", "PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nBOX\nvase\nlamp\ncrate\ncRATE\n");
  load_scene(s.e, "SCENE1");
  ASSERT_EQ(s.e.object_count, 5) << testing::PrintToString(s.log);
  EXPECT_NE(s.e.objects[0].faces[0].texture_frames[0], kNoTexture16);  // WOOD is wood.3DF
  EXPECT_EQ(s.e.objects[1].face_count, 1);                            // vase.3DS is Vase.3ds
  EXPECT_NE(s.e.objects[2].faces[0].texture_frames[0], kNoTexture16);
  EXPECT_EQ(std::make_pair(int{s.e.objects[3].faces[0].red}, int{s.e.objects[4].faces[0].red}), std::make_pair(5, 10));
  EXPECT_TRUE(s.e.problems.empty()) << format_problem(s.e.problems[0]);
}

// Numbers far out of any range: particle lives and colours, borders and
// animation speeds are kept where no sum or difference overflows (the
// sanitizer build stops at an overflow), with a warning.
TEST(SceneFile, HostileNumbersAreKeptWhereTheArithmeticCannotOverflow) {
  SceneDir s;
  s.dir.write("fire", "PARTICLED=1 TEX_SPEED=-99999999999\nPOINTS\n0,0,0 9,0,0 0,9,0\nfaces\n1 2 3\nPARTICLE\n"
                      "5 10 2147483647 1 0 0 0 0 -99999999999 0 0 99999999999 0 0\n");
  s.load("BORDER_X=-1500000000 BORDER_Y=99999999999 PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nfire\n");
  EXPECT_EQ(s.e.viewport_box.x0, -kFileIntLimit);
  EXPECT_EQ(s.e.screen_centre[0], 400);
  EXPECT_TRUE(s.problem_contains("SCENE1.TXT:1: warning: number -1500000000 is out of range; -16777216 is used"));
  EXPECT_TRUE(s.problem_contains("fire:7: warning: number 2147483647 is out of range; 16777216 is used"));
  ASSERT_EQ(s.e.particle_system_count, 1);
  for (const Particle& p : s.e.particle_systems[0].particles) {
    EXPECT_TRUE(p.life >= kFileIntLimit && p.life < kFileIntLimit + 32768) << p.life;
    EXPECT_EQ(p.colour.x, -16777216.0f);
    EXPECT_GT(p.colour_step.x, 0.0f);
  }
  // Frames count the texture animation down from there.
  test::RecordingPlatform platform;
  s.e.gl_ready = 1;
  for (int i = 0; i < 3; ++i) render_frame(s.e, platform);
  EXPECT_EQ(platform.swaps, 3);
}

// Object lines that would take the scene past its budget are skipped with a
// warning; the lines after them still load. A budget of 100 vertices and
// faces, 250 particles and 9 object lines stands for the real one.
TEST(SceneFile, TheSceneBudgetSkipsObjectLinesPastIt) {
  SceneDir s;
  s.e.budget = {9, 100, 100, 250};
  ThreeDsModel model;
  model.meshes.push_back({"big", std::vector<ThreeDsPoint>(45), std::vector<ThreeDsFace>(45), {}, {}});
  model.meshes.push_back(model.meshes[0]);
  ASSERT_TRUE(write_3ds(s.dir.file("BIG.3DS"), model));  // 90 of each
  std::string points = "POINTS\n", faces = "POINTS\n1,2,3\nfaces\n";
  for (int i = 0; i < 11; ++i) points += "1,2,3 ", faces += "1 1 1\n";
  s.dir.write("points", points + "\nfaces\n1 1 1\n");
  s.dir.write("faces", faces);
  s.dir.write("fire", "PARTICLED=1\nPOINTS\n0,0,0\nfaces\nPARTICLE\n100\n");
  s.dir.write("tri", "POINTS\n0,0,0 1,0,0 0,1,0\nfaces\n1 2 3\n");
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nbig\npoints\nfaces\nbig\ntri\nfire\nfire\nfire\ntri\ntri\n");
  EXPECT_EQ(s.e.object_count, 5);  // big, tri, fire, fire, tri
  EXPECT_EQ(std::make_pair(s.e.total_vertices, s.e.total_faces), std::make_pair(90 + 3 + 2 + 3, 90 + 2));
  EXPECT_EQ(s.e.particle_system_count, 2);
  for (const char* line : {"SCENE1.TXT:4: warning: object points is skipped: the scene would pass its budget of "
                           "100 vertices",
                           "SCENE1.TXT:5: warning: object faces is skipped: the scene would pass its budget of 100 faces",
                           "SCENE1.TXT:6: warning: object big is skipped: the scene would pass its budget of 100 vertices",
                           "SCENE1.TXT:10: warning: object fire is skipped: the scene would pass its budget of 250 "
                           "particles",
                           "SCENE1.TXT:12: warning: object tri is skipped: the scene would pass its budget of 9 object "
                           "lines"})
    EXPECT_TRUE(s.problem_contains(line)) << line;
  EXPECT_EQ(s.e.problems.size(), 5u);
}

// Runs `work` on a thread; false when it is still blocked after 10 s (then
// every FIFO of `fifos` gets a writer so that it can end).
bool returns_in_time(const std::function<void()>& work, const std::vector<std::string>& fifos) {
  std::packaged_task<void()> task(work);
  std::future<void> done = task.get_future();
  std::thread thread(std::move(task));
  const bool in_time = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    for (const std::string& fifo : fifos) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
  }
  thread.join();
  return in_time;
}

// A FIFO in the place of the scene file, an object, a model, a texture or
// the song is refused at once instead of waiting for a writer.
TEST(SceneFile, ReadersRefuseWhatIsNotARegularFile) {
  SceneDir fifo_scene;
  ASSERT_EQ(::mkfifo(fifo_scene.dir.file("SCENE1.TXT").c_str(), 0600), 0);
  EXPECT_TRUE(returns_in_time([&] { load_scene(fifo_scene.e, "SCENE1"); }, {fifo_scene.dir.file("SCENE1.TXT")}));
  EXPECT_TRUE(fifo_scene.problem_contains("SCENE1.TXT: the scene file is missing, unreadable or not a regular file"));

  SceneDir s;
  std::vector<std::string> fifos;
  for (const char* name : {"pipe", "MODEL.3DS", "T.3DF", "SCENE1.MID"}) {
    fifos.push_back(s.dir.file(name));
    ASSERT_EQ(::mkfifo(fifos.back().c_str(), 0600), 0);
  }
  s.dir.write("ext", "EXTERN=MODEL\n");
  s.dir.write("tri", "TEX_NAME=T\nPOINTS\n0,0,0 1,0,0 0,1,0\nfaces\n1 2 3\n");
  s.dir.write("SCENE1.TXT", "PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\npipe\next\ntri\n");
  EXPECT_TRUE(returns_in_time([&] { load_scene(s.e, "SCENE1"); }, fifos));
  ASSERT_EQ(s.e.object_count, 1);
  EXPECT_EQ(s.e.objects[0].faces[0].texture_frames[0], kNoTexture16);
  EXPECT_TRUE(s.problem_contains("object pipe was not loaded"));
  EXPECT_TRUE(s.problem_contains("model MODEL.3DS is missing"));
}

TEST(ObjectFile, KeysAndFaceLinesGiveOptionsTrianglesQuadsTexturesAndColours) {
  SceneDir d;
  for (const char* t : {"ENV", "B1", "a", "b", "c", "X", "4X"}) d.texture(t);
  d.e.Speed = 1;
  ASSERT_EQ(d.read("HALO_TEST=1 CULL=7 TEX_EVMAP=ENV TEX_BUMPLEVEL=50 TEX_BUMPMAP=B1,B2 TEX_SHIFT_X=1.5 TEX_SPEED=3 "
                   "ACCEPT_RANDOM=0 WHATEVER=1 TEX_NAME=a,b,c COLOR_G=200 TEX_REPEAT_H=2\nPOINTS\n0,0,0 1, 0,0\n"
                   "  2,2,0 0,2,0 caption\n1 2 3\n1 2 3 4X\n1 2 3 4 X\n1 2 3 T 2 0.5\n1 2 3 a 1 1 -5 10 20\n1 3 4 T\n"),
            1);
  const Object& o = d.e.objects.back();
  EXPECT_EQ(o.ghoul_test, 1);  // HALO_TEST is another name for GHOUL_TEST
  EXPECT_EQ(o.front_face, 0x900u);
  EXPECT_GE(o.tex_evmap, 0);
  EXPECT_GE(o.bump_tex[0], 0);
  EXPECT_EQ(o.bump_tex[1], -1);     // B2.3DF is missing
  EXPECT_EQ(o.bump_level, 0.0f);    // a bump map without its second texture clears the level
  EXPECT_EQ(o.tex_shift[0], 3.0f);  // doubled with Speed 1
  EXPECT_EQ(o.tex_speed, 1);        // 3 / 2
  EXPECT_EQ(o.accept_random, 0);
  EXPECT_TRUE(d.problem_contains("obj:1: texture B2.3DF is missing or unreadable"));
  EXPECT_TRUE(d.problem_contains("obj:1: warning: unknown key WHATEVER"));
  ASSERT_EQ(o.vertex_count, 4);
  ASSERT_EQ(o.face_count, 6);
  // A missing texture is reported once, however many faces name it.
  EXPECT_EQ(std::ranges::count_if(d.e.problems, [](const Problem& p) { return p.message.find("T.3DF") != std::string::npos; }), 1);
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
  const Face& coloured = o.faces[4];                       // -5 is not a number here
  EXPECT_EQ((std::array<int, 4>{coloured.red, coloured.green, coloured.blue, coloured.alpha}),
            (std::array<int, 4>{255, 10, 20, 255}));
}

TEST(ObjectFile, CullChoosesTheFrontFaceOrNoCulling) {
  SceneDir d;
  for (const auto& [cull, front] : {std::pair{"0", 0x900u}, {"1", 0x901u}, {"2", 2u}, {"7", 0x900u}}) {
    ASSERT_EQ(d.read(std::string("CULL=") + cull + "\nPOINTS\n0,0,0 1,0,0 1,1,0\nfaces\n1 2 3\n"), 1);
    EXPECT_EQ(d.e.objects.back().front_face, front) << cull;
  }
}

// A 3DS model named by EXTERN (as stored), EXT_ZREV (z mirrored, the other
// side in front) or EXT_OREV (corners reversed) takes the object file's
// colour and textures; a model that is its own object file (NAME.3DS) is
// mirrored and keeps its own colours.
TEST(ObjectFile, ExternalAndBareModelsLoadAsStoredMirroredOrReversed) {
  SceneDir s;
  s.texture("T");
  ThreeDsModel model;
  model.meshes.push_back({"M", {{0, 0, 1}, {10, 0, 2}, {0, 10, 3}}, {{0, 1, 2}}, {}, {}});
  ASSERT_TRUE(write_3ds(s.dir.file("m.3DS"), model));
  ASSERT_TRUE(write_3ds(s.dir.file("vase.3DS"), model));
  for (const char* key : {"EXTERN", "EXT_ZREV", "EXT_OREV"})
    s.dir.write(key, std::string("SHADOW_DARK=200 COLOR_R=10 COLOR_G=20 COLOR_B=30 TEX_NAME=T ") + key + "=m\n");
  s.load("PERSPECTIVE_X=1 PERSPECTIVE_Y=1\nOBJECTS\nEXTERN\nEXT_ZREV\nEXT_OREV\nvase\n");
  ASSERT_EQ(s.e.object_count, 4);
  // Front face, corners, z of vertex 0 (z 1..3 is centred to -1..1).
  using Shape = std::tuple<std::uint32_t, std::array<std::int32_t, 4>, float>;
  const Shape shapes[4] = {{0x900, {0, 1, 2, 0}, -1}, {0x901, {0, 1, 2, 0}, 1}, {0x900, {0, 2, 1, 0}, -1},
                           {0x901, {0, 1, 2, 0}, 1}};
  for (std::size_t i = 0; i < 4; ++i) {
    const Object& o = s.e.objects[i];
    EXPECT_EQ(Shape(o.front_face, o.faces[0].corners, o.vertices[0].position.z), shapes[i]) << i;
    const Face& f = o.faces[0];
    // Colours halved at the end of the load, the shadow darkness too.
    const bool bare = i == 3;
    EXPECT_EQ((std::array<int, 3>{f.red, f.alpha, o.shadow_dark}),
              (std::array<int, 3>{bare ? f.red : 5, bare ? 32 : 127, bare ? 62 : 100})) << i;
    EXPECT_EQ(f.texture_frames[0] == kNoTexture16, bare) << i;
  }
}

// TEX_SPEED is halved with Speed 1 (never below 1) and doubled with 2;
// HALO_TEX takes nine textures.
TEST(ObjectFile, TextureSpeedFollowsTheSpeedSettingAndHaloTexturesNumberNine) {
  SceneDir d;
  d.texture("a"), d.texture("b");
  for (const auto& [speed, value, want] : {std::tuple{1, 3, 1}, {1, 2, 1}, {1, 1, 1}, {2, 3, 6}, {0, 3, 3}}) {
    d.e.Speed = speed;
    ASSERT_EQ(d.read("TEX_SPEED=" + std::to_string(value) + " HALO_TEX=a,a,a,a,a,a,a,a,b\n"), 1);
    const Object& o = d.e.objects.back();
    EXPECT_EQ(std::make_pair(o.tex_speed, o.tex_countdown), std::make_pair(want, want)) << speed << " " << value;
    EXPECT_TRUE(o.halo_tex[7] >= 0 && o.halo_tex[8] >= 0 && o.halo_tex[8] != o.halo_tex[7]);
  }
}

// Faces with fewer than three corners, corners out of range, stray words and
// cut lines refuse the whole object.
TEST(ObjectFile, BadFaceLinesRefuseTheObject) {
  for (const char* faces : {"1 2\n", "1 2 9\n", "0 1 2\n", "1 2 3 9 X\n", "1 2 3\n\n", "1 2 3\n1 2"}) {
    SceneDir d;
    EXPECT_EQ(d.read(std::string("POINTS\n0,0,0 1,0,0 1,1,0 0,1,0\nfaces\n") + faces), 0) << faces;
    ASSERT_FALSE(d.e.problems.empty());
    EXPECT_TRUE(d.e.problems.back().error);
  }
}

TEST(ObjectFile, MissingFilesAndExternalModelsFail) {
  SceneDir d;
  EXPECT_EQ(read_object(d.e, d.dir.path() + "nothing"), 0);
  EXPECT_TRUE(d.problem_contains("nothing: no object file"));
  EXPECT_EQ(d.read("EXTERN=ghost 100 5\n"), 0);
  EXPECT_TRUE(d.problem_contains("obj:1: model ghost.3DS is missing"));
  EXPECT_EQ(d.read("EXTERN=..\\x\n"), 0);
  EXPECT_TRUE(d.problem_contains("must not contain a path separator"));
  // A file named with ".TXT" is found too.
  d.dir.write("crate.TXT", cube_object("COLOR_R=10"));
  EXPECT_EQ(read_object(d.e, d.dir.path() + "crate"), 1);
  EXPECT_EQ(d.e.objects.back().faces[0].red, 10);
}

}  // namespace
}  // namespace kelvo
