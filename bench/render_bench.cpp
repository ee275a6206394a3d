// Renderer speed, at 800 x 600 in Mesa's software GL (OSMesa):
//
//   BM_DemoFrame        the demo package's frames per second (motion step and
//                       frame, with its script running), when the package is
//                       built: $KELVO_DEMO (a package or a folder), else
//                       build/data/demo/ or a kelvo.pak under build*/data/.
//   BM_WallFrame        our frame of a wall of 50,000 textured, lit faces.
//   BM_WallBareLoop     the same triangles, already transformed and coloured,
//                       sent through the same immediate-mode calls and
//                       nothing else (and, ...ThroughTable, through the
//                       renderer's table of GL entry points).
//   BM_WallRatio        both, alternating; "ratio" = our fps / the bare fps.
//   BM_DemoFrameWithScript/N  the same with the demo's script replaced by
//                       0 an idle script (one long wait), 1 a loop of
//                       wait(0.5) (waits shorter than a second are 0 ms),
//                       2 a loop that never waits: the script thread must
//                       not slow the frames.
//   BM_DemoSceneLoad    the demo's scene load as start-up runs it (scene,
//                       objects, models, textures uploaded), from the
//                       unpacked folder; BM_DemoUnpack the package's unpacking.
//   BM_TransformLight   processor time of the camera transform, lighting and
//                       visibility of a sphere of 100,000 vertices (no GL),
//                       with and without a light.
//
//   kelvo_bench_render [--benchmark_filter=...]

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/engine_proc.h"
#include "host/gl_context.h"
#include "host/base/platform.h"
#include "host/null_platform.h"
#include "model/texture_slots.h"
#include "motion/motion_step.h"
#include "package/extract.h"
#include "render/eye_transform.h"
#include "render/frame_renderer.h"
#include "render/gl_calls.h"
#include "render/lighting.h"
#include "scene/engine_state.h"
#include "scene/scene_file.h"
#include "script/script_thread.h"

namespace {

namespace fs = std::filesystem;
using namespace kelvo;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// ------------------------------------------------------------- platform --

// Presenting a frame waits for GL to finish it; nothing else happens here.
class BenchPlatform : public NullPlatform {
 public:
  BenchPlatform() : NullPlatform(kWidth, kHeight) {}
  void swap_buffers() override { glFinish(); }
};

// One 800 x 600 context for the whole run.
bool gl_context() {
  static std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kWidth) * kHeight * 4);
  static OSMesaContext context = [] {
    OSMesaContext c = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    if (c && !OSMesaMakeCurrent(c, buffer.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) c = nullptr;
    return c;
  }();
  return context != nullptr;
}

// The engine as the player leaves it after start-up: the view set up, the
// optional effects off.
void set_up_view(Engine& e, BenchPlatform& platform) {
  e.viewport_box = {0, 0, kWidth, kHeight};
  e.ResX = kWidth;
  e.ResY = kHeight;
  e.Fog = 0;
  e.Sounds = 0;
  set_initial_gl_state(e);
  view_setup(e, platform);
}

void add_light_facing(Engine& e, Vec3 centre) {
  // A small triangle whose face looks at the wall (toward +z) from in front.
  Object light;
  light.vertices = {Vertex{{centre.x - 1, centre.y + 1, centre.z}, 0, {}},
                    Vertex{{centre.x - 1, centre.y - 1, centre.z}, 0, {}},
                    Vertex{{centre.x + 1, centre.y + 1, centre.z}, 0, {}}};
  light.vertex_count = 3;
  Face f;
  f.corners = {0, 1, 2, 0};
  f.red = f.green = f.blue = f.alpha = 127;
  light.faces.push_back(f);
  light.face_count = 1;
  light.visible = 0;
  light.index = static_cast<std::int32_t>(e.objects.size());
  e.objects.push_back(std::move(light));
  e.object_count = static_cast<std::int32_t>(e.objects.size());
  Light l;
  l.object = e.object_count - 1;
  l.colour = {1, 1, 1};
  e.lights.push_back(l);
  e.light_count = 1;
  e.light_switch = 1;
}

// ---------------------------------------------------------------- wall --

// 250 x 100 quads, each two triangles, filling the screen at depth 500; one
// 64 x 64 texture on all of them, repeated per quad.
struct Wall {
  static constexpr int kColumns = 250, kRows = 100;
  Engine e;
  BenchPlatform platform;
  // The same triangles as our frame sends them: eye position, texture
  // coordinates and colour per corner.
  struct Corner {
    float x, y, z, s, t;
    GLbyte r, g, b, a;
  };
  std::vector<Corner> corners;
  GLuint texture = 0;

  Wall() {
    set_up_view(e, platform);
    e.light_switch = e.flare_switch = e.halo_switch = e.particle_switch = e.objects_move_switch = 0;

    std::vector<std::uint8_t> texels(64 * 64 * 3);
    for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = static_cast<std::uint8_t>(i * 37 % 256);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 64, 64, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    e.texture_slots[0] = {"WALL", 1, texture};

    Object wall;
    const float z = 500, x0 = -240, y0 = -180, step_x = 480.0f / kColumns, step_y = 360.0f / kRows;
    for (int j = 0; j <= kRows; ++j)
      for (int i = 0; i <= kColumns; ++i)
        wall.vertices.push_back(Vertex{{x0 + i * step_x, y0 + j * step_y, z}, 0, {}});
    auto at = [](int i, int j) { return j * (kColumns + 1) + i; };
    for (int j = 0; j < kRows; ++j)
      for (int i = 0; i < kColumns; ++i) {
        // Clockwise on screen (y up): top left, top right, bottom right; then
        // top left, bottom right, bottom left.
        const int tl = at(i, j + 1), tr = at(i + 1, j + 1), br = at(i + 1, j), bl = at(i, j);
        for (const auto& tri : {std::array<int, 3>{tl, tr, br}, std::array<int, 3>{tl, br, bl}}) {
          Face f;
          f.corners = {tri[0], tri[1], tri[2], 0};
          f.corner_count = 3;
          f.texture_frames[0] = 0;
          f.red = 100, f.green = 90, f.blue = 80, f.alpha = 127;
          const bool upper = tri[1] == tr;
          f.u = {0, 1, upper ? 1.0f : 0.0f, 0};
          f.v = {1, upper ? 1.0f : 0.0f, 0, 0};
          const std::uint32_t colour = (127u << 24) | (100u << 16) | (90u << 8) | 80u;
          f.corner_colours.fill(colour);
          for (int c : tri) wall.vertices[static_cast<std::size_t>(c)].vertex_colour = colour;
          wall.faces.push_back(f);
        }
      }
    wall.vertex_count = static_cast<std::int32_t>(wall.vertices.size());
    wall.face_count = static_cast<std::int32_t>(wall.faces.size());
    e.objects.push_back(std::move(wall));
    e.object_count = 1;
    add_light_facing(e, {0, 0, 300});
    e.camera_rot = {0, 0, 0.5f};  // a slight turn, so the transform does real work

    // Our frame once, then the bare loop's copy of what it sent.
    render_frame(e, platform);
    const Object& o = e.objects[0];
    for (const Face& f : o.faces) {
      if (!f.visible) continue;
      for (int k = 0; k < 3; ++k) {
        const std::size_t c = static_cast<std::size_t>(k);
        const Vertex& v = o.vertices[static_cast<std::size_t>(f.corners[c])];
        const std::uint32_t w = f.corner_colours[c];
        corners.push_back({v.eye_position.x, v.eye_position.y, v.eye_position.z, f.u[c], f.v[c],
                           static_cast<GLbyte>((w >> 16) & 0xFF), static_cast<GLbyte>((w >> 8) & 0xFF),
                           static_cast<GLbyte>(w & 0xFF), static_cast<GLbyte>(f.alpha)});
      }
    }
  }

  void our_frame() { render_frame(e, platform); }

  // The bare loop calls GL directly, or (to measure what the renderer's
  // table of GL entry points costs) through that table.
  template <bool kThroughTable = false>
  void bare_frame() const {
    const GlCalls& g = kThroughTable ? *kelvo::gl : kDirectGl;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (std::size_t i = 0; i < corners.size(); i += 3) {
      if constexpr (kThroughTable) {
        g.Begin(GL_TRIANGLES);
        for (std::size_t k = i; k < i + 3; ++k) {
          const Corner& c = corners[k];
          g.Color4b(c.r, c.g, c.b, c.a);
          g.TexCoord2f(c.s, c.t);
          g.Vertex3f(c.x, c.y, c.z);
        }
        g.End();
      } else {
        glBegin(GL_TRIANGLES);
        for (std::size_t k = i; k < i + 3; ++k) {
          const Corner& c = corners[k];
          glColor4b(c.r, c.g, c.b, c.a);
          glTexCoord2f(c.s, c.t);
          glVertex3f(c.x, c.y, c.z);
        }
        glEnd();
      }
    }
    glFinish();
  }
};

Wall& wall() {
  static Wall w;
  return w;
}

void BM_WallFrame(benchmark::State& state) {
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  Wall& w = wall();
  for (auto _ : state) w.our_frame();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["faces"] = static_cast<double>(w.corners.size() / 3);
}
BENCHMARK(BM_WallFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_WallBareLoop(benchmark::State& state) {
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  const Wall& w = wall();
  for (auto _ : state) w.bare_frame();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WallBareLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The bare loop through the renderer's GL table: its cost is the difference
// to BM_WallBareLoop (processor time, since GL works on other threads too).
void BM_WallBareLoopThroughTable(benchmark::State& state) {
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  const Wall& w = wall();
  for (auto _ : state) w.bare_frame<true>();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WallBareLoopThroughTable)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Alternates the two, so that both see the same machine at the same time.
void BM_WallRatio(benchmark::State& state) {
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  Wall& w = wall();
  using Clock = std::chrono::steady_clock;
  Clock::duration ours{}, bare{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    w.our_frame();
    const auto t1 = Clock::now();
    w.bare_frame();
    const auto t2 = Clock::now();
    ours += t1 - t0;
    bare += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  const double our_fps = n / std::chrono::duration<double>(ours).count();
  const double bare_fps = n / std::chrono::duration<double>(bare).count();
  state.counters["our_fps"] = our_fps;
  state.counters["bare_fps"] = bare_fps;
  state.counters["ratio"] = our_fps / bare_fps;
}
BENCHMARK(BM_WallRatio)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(6.0);

// -------------------------------------------------------------- sphere --

// A sphere of 500 x 200 = 100,000 vertices (about two triangles per vertex,
// half of them facing away), seen from outside, with the camera turned.
struct Sphere {
  static constexpr int kAround = 500, kRings = 200;
  Engine e;
  Sphere() {
    e.viewport_box = {0, 0, kWidth, kHeight};
    Object o;
    constexpr float kPi = 3.14159265f;
    for (int r = 0; r < kRings; ++r) {
      const float phi = kPi * (static_cast<float>(r) + 0.5f) / kRings;
      for (int a = 0; a < kAround; ++a) {
        const float theta = 2 * kPi * static_cast<float>(a) / kAround;
        o.vertices.push_back(Vertex{{100 * std::sin(phi) * std::cos(theta), 100 * std::cos(phi),
                                     600 + 100 * std::sin(phi) * std::sin(theta)},
                                    0,
                                    {}});
      }
    }
    for (int r = 0; r + 1 < kRings; ++r)
      for (int a = 0; a < kAround; ++a) {
        const int p = r * kAround + a, q = r * kAround + (a + 1) % kAround;
        const int p2 = p + kAround, q2 = q + kAround;
        for (const auto& tri : {std::array<int, 3>{p, q, q2}, std::array<int, 3>{p, q2, p2}}) {
          Face f;
          f.corners = {tri[0], tri[1], tri[2], 0};
          f.red = f.green = f.blue = 100;
          f.alpha = 127;
          o.faces.push_back(f);
        }
      }
    o.vertex_count = static_cast<std::int32_t>(o.vertices.size());
    o.face_count = static_cast<std::int32_t>(o.faces.size());
    e.objects.push_back(std::move(o));
    e.object_count = 1;
    add_light_facing(e, {0, 300, 600});
    e.camera_pos = {10, -20, 30};
    e.camera_rot = {5, 20, 3};
  }
  // The processor part of one frame for this object.
  void frame() {
    compute_camera_angles(e);
    if (e.light_switch) light_update(e);
    Object& o = e.objects[0];
    eye_transform_object(e, o);
    light_object(e, o);
  }
};

void BM_TransformLight(benchmark::State& state) {
  static Sphere sphere;
  sphere.e.light_switch = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    sphere.frame();
    benchmark::DoNotOptimize(sphere.e.objects[0].faces[7].corner_colours[0]);
  }
  int visible = 0;
  for (const Face& f : sphere.e.objects[0].faces) visible += f.visible;
  state.counters["vertices"] = static_cast<double>(sphere.e.objects[0].vertices.size());
  state.counters["faces"] = static_cast<double>(sphere.e.objects[0].faces.size());
  state.counters["visible"] = visible;
  state.SetLabel(state.range(0) ? "one light" : "no light");
}
BENCHMARK(BM_TransformLight)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- demo --

// The demo: $KELVO_DEMO, else the first that exists of build/data/demo-files/ and
// build*/data/kelvo.pak in the source tree.
std::optional<fs::path> demo_location() {
  if (const char* v = std::getenv("KELVO_DEMO"); v && *v) return fs::path(v);
  const fs::path root = KELVO_SOURCE_DIR;
  if (fs::is_regular_file(root / "build/data/demo-files/SCENE1.TXT")) return root / "build/data/demo-files";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    const fs::path pak = entry.path() / "data" / "kelvo.pak";
    if (entry.path().filename().string().rfind("build", 0) == 0 && fs::is_regular_file(pak)) return pak;
  }
  return std::nullopt;
}

struct Demo {
  Engine e;
  BenchPlatform platform;
  fs::path unpacked;
  bool ok = false;

  explicit Demo(const fs::path& where) {
    std::string dir;
    if (fs::is_directory(where)) {
      dir = where.string() + "/";
    } else {
      unpacked = fs::temp_directory_path() / ("kelvo-bench-demo-" + std::to_string(::getpid()));
      fs::create_directories(unpacked);
      dir = unpacked.string() + "/";
      e.paths.path_pack = where.string();
      e.paths.dir_temp = dir;
      e.paths.path_list = dir + "files.lst";
      e.paths.path_temp = dir + "Kelvo.tmp";
      if (extract_package(e) != ExtractResult::extracted) return;
    }
    e.paths.dir_temp = dir;
    set_up_view(e, platform);
    e.Fog = 1;  // as the player runs it by default
    start_scene(e, platform);
    ok = e.object_count > 0;
  }
  ~Demo() {
    stop_script(e);
    free_textures(e);
    if (!unpacked.empty()) {
      std::error_code ec;
      fs::remove_all(unpacked, ec);
    }
  }
};

void BM_DemoFrame(benchmark::State& state) {
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  const std::optional<fs::path> where = demo_location();
  if (!where) return state.SkipWithError("no demo package built");
  Demo demo(*where);
  if (!demo.ok) return state.SkipWithError("the demo did not load");
  for (auto _ : state) {
    motion_step(demo.e, demo.platform);
    render_frame(demo.e, demo.platform);
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["faces"] = demo.e.total_faces;
  state.SetLabel(where->string());
}
BENCHMARK(BM_DemoFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

// A copy of the demo as a folder, with its script replaced.
struct DemoCopy {
  fs::path dir;
  explicit DemoCopy(const fs::path& where, const char* script) {
    dir = fs::temp_directory_path() / ("kelvo-bench-script-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    if (fs::is_directory(where)) {
      for (const auto& entry : fs::directory_iterator(where)) fs::copy_file(entry.path(), dir / entry.path().filename());
    } else {
      Engine e;
      e.paths.path_pack = where.string();
      e.paths.dir_temp = dir.string() + "/";
      e.paths.path_list = e.paths.dir_temp + "files.lst";
      e.paths.path_temp = e.paths.dir_temp + "Kelvo.tmp";
      extract_package(e);
      fs::remove(dir / "files.lst");
    }
    std::FILE* f = std::fopen((dir / "SCRIPT1.TXT").c_str(), "wb");
    if (f) std::fputs(script, f), std::fclose(f);
  }
  ~DemoCopy() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

void BM_DemoFrameWithScript(benchmark::State& state) {
  static const char* const kScripts[] = {
      "wait(3600)\n",
      "startloop(0)\nwait(0.5)\nendloop\n",
      "startloop(0)\nendloop\n",
  };
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  const std::optional<fs::path> where = demo_location();
  if (!where) return state.SkipWithError("no demo package built");
  DemoCopy copy(*where, kScripts[state.range(0)]);
  Demo demo(copy.dir);
  if (!demo.ok) return state.SkipWithError("the demo did not load");
  for (auto _ : state) {
    motion_step(demo.e, demo.platform);
    render_frame(demo.e, demo.platform);
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DemoFrameWithScript)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

// Start-up's scene steps alone, again and again on one unpacked folder.
void BM_DemoSceneLoad(benchmark::State& state) {
  if (!gl_context()) return state.SkipWithError("no OSMesa context");
  const std::optional<fs::path> where = demo_location();
  if (!where) return state.SkipWithError("no demo package built");
  Demo demo(*where);  // unpacks the package once
  if (!demo.ok) return state.SkipWithError("the demo did not load");
  stop_script(demo.e);
  free_textures(demo.e);
  free_all(demo.e);
  Engine& e = demo.e;
  for (auto _ : state) {
    engine_init(e);
    clear_texture_slots(e);
    load_font_texture(e);
    load_scene(e, "SCENE1");
    glFinish();
    state.PauseTiming();
    if (e.object_count == 0) state.SkipWithError("the demo did not load");
    free_textures(e);
    free_all(e);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DemoSceneLoad)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_DemoUnpackOf(benchmark::State& state, const fs::path& pak) {
  const fs::path dir = fs::temp_directory_path() / ("kelvo-bench-unpack-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Engine e;
  e.paths.path_pack = pak.string();
  e.paths.dir_temp = dir.string() + "/";
  e.paths.path_list = e.paths.dir_temp + "files.lst";
  e.paths.path_temp = e.paths.dir_temp + "Kelvo.tmp";
  for (auto _ : state) {
    if (extract_package(e) != ExtractResult::extracted) state.SkipWithError("the package did not unpack");
    state.PauseTiming();
    delete_extracted_files(e);
    state.ResumeTiming();
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(pak));
  std::error_code ec;
  fs::remove_all(dir, ec);
}

void BM_DemoUnpack(benchmark::State& state) {
  const std::optional<fs::path> where = demo_location();
  if (!where || fs::is_directory(*where)) {
    // The package beside the folder the build made.
    const fs::path pak = fs::path(KELVO_SOURCE_DIR) / "build/data/kelvo.pak";
    if (!fs::is_regular_file(pak)) return state.SkipWithError("no demo package built");
    return BM_DemoUnpackOf(state, pak);
  }
  BM_DemoUnpackOf(state, *where);
}
BENCHMARK(BM_DemoUnpack)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
