#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "host/null_platform.h"
#include "motion/motion_step.h"
#include "render/frame_renderer.h"
#include "render/gl_calls.h"
#include "scene/scene_budget.h"
#include "scene/scene_file.h"

namespace kelvo::fuzz {

namespace fs = std::filesystem;

namespace {

std::vector<std::string>& dirs_to_remove() {
  static std::vector<std::string> dirs;
  return dirs;
}

void remove_dirs() {
  std::error_code ec;
  for (const std::string& d : dirs_to_remove()) fs::remove_all(d, ec);
}

const GlCalls kNullGl = {
    [](GLenum) {},
    [] {},
    [](GLfloat, GLfloat, GLfloat) {},
    [](GLfloat, GLfloat) {},
    [](GLbyte, GLbyte, GLbyte, GLbyte) {},
    [](GLbyte, GLbyte, GLbyte) {},
    [](GLfloat, GLfloat, GLfloat) {},
    [](GLenum) {},
    [](GLenum) {},
    [](GLenum, GLenum) {},
    [](GLenum, GLuint) {},
    [](GLenum, GLenum, GLint) {},
    [](GLenum) {},
    [](GLbitfield) {},
};

}  // namespace

std::string make_work_dir(const char* tag) {
  std::error_code ec;
  const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path(ec);
  std::string pattern = (base / (std::string("kelvo-fuzz-") + tag + "-XXXXXX")).string();
  check(::mkdtemp(pattern.data()) != nullptr, "cannot make a work folder");
  if (dirs_to_remove().empty()) std::atexit(remove_dirs);
  dirs_to_remove().push_back(pattern);
  return pattern + "/";
}

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  check(f != nullptr, "cannot write a file");
  if (size > 0) check(std::fwrite(data, 1, size, f) == size, "cannot write a file");
  std::fclose(f);
}

void write_file(const std::string& path, std::string_view text) {
  write_file(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

void use_null_gl() { gl = &kNullGl; }

void prepare_engine(Engine& e, const std::string& dir) {
  e.gl_textures = 0;
  e.Sounds = 0;
  e.paths.dir_temp = dir;
  e.viewport_box = {0, 0, e.ResX, e.ResY};
  engine_init(e);
  clear_texture_slots(e);
}

void run_frames(Engine& e, int frames) {
  NullPlatform platform;
  e.gl_ready = 1;
  e.fps = 1;
  for (int i = 0; i < frames; ++i) {
    const auto [x, y] = platform.cursor_pos();
    platform.set_cursor_pos(x + 7 * (i + 1), y - 5);
    mouse_steering(e, platform);
    motion_step(e, platform);
    render_frame(e, platform);
  }
  check_scene(e);
}

void check_scene(const Engine& e) {
  check(e.object_count >= 0 && static_cast<std::size_t>(e.object_count) <= e.objects.size(), "object count");
  check(e.particle_system_count == static_cast<std::int32_t>(e.particle_systems.size()), "particle system count");
  check(e.light_count == static_cast<std::int32_t>(e.lights.size()), "light count");
  std::int64_t vertices = 0, faces = 0;
  for (std::int32_t i = 0; i < e.object_count; ++i) {
    const Object& o = e.objects[static_cast<std::size_t>(i)];
    check(o.vertex_count == static_cast<std::int32_t>(o.vertices.size()), "vertex count");
    check(o.face_count == static_cast<std::int32_t>(o.faces.size()), "face count");
    for (const Face& f : o.faces) {
      check(f.corner_count == 3 || f.corner_count == 4, "corner count");
      for (int c = 0; c < f.corner_count; ++c)
        check(f.corners[static_cast<std::size_t>(c)] >= 0 && f.corners[static_cast<std::size_t>(c)] < o.vertex_count,
              "corner past the vertices");
    }
    vertices += o.vertex_count;
    faces += o.face_count;
  }
  check(vertices <= e.budget.vertices && faces <= e.budget.faces, "scene budget passed");
  check(particles_in_use(e) <= e.budget.particles, "particle budget passed");
}

std::string make_scene_dir(const char* tag) {
  use_null_gl();
  const std::string dir = make_work_dir(tag);
  const Image tiny{2, 2, std::vector<std::uint8_t>(12, 200)};
  const std::vector<std::uint8_t> texture = encode_3df(tiny, TexelFormat::rgb565);
  std::error_code ec;
  int copied = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(KELVO_FUZZ_DEMO_DIR, ec)) {
    const std::string name = entry.path().filename().string();
    const std::string extension = entry.path().extension().string();
    if (extension == ".3DF") {
      write_file(dir + name, texture.data(), texture.size());
    } else if (extension == ".3DS" || (extension == ".TXT" && name != "SCENE1.TXT" && name != "SCRIPT1.TXT")) {
      fs::copy_file(entry.path(), dir + name, fs::copy_options::overwrite_existing, ec);
      ++copied;
    }
  }
  check(copied > 0, "no demo files at " KELVO_FUZZ_DEMO_DIR);
  return dir;
}

void load_and_run_scene(const std::string& dir, const char* name, const std::uint8_t* data, std::size_t size) {
  write_file(dir + name, data, size);
  Engine e;
  prepare_engine(e, dir);
  load_scene(e, "SCENE1");
  check_scene(e);
  run_frames(e, 3);
}

}  // namespace kelvo::fuzz
