// Fuzzes the script: the input is SCRIPT1.TXT, run by the interpreter
// against an engine of four small objects (one a light, one emitting
// particles, one with a halo and a flare, one turning by itself) for at most
// 2,000 steps. Waits do not sleep; whenever the script waits for the frame
// loop a frame is moved and drawn into nothing (200 frames at most).
//
// Checks, besides the sanitizers' own: the scene's invariants.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "model/model_prepare.h"
#include "motion/object_transform.h"
#include "scene/emitters.h"
#include "scene/scene_file.h"
#include "script/script_interpreter.h"

namespace {

std::string g_dir;

// A triangle at `x`; `kind` 1 a light, 2 particles, 3 halo and flare, 4 turning.
void add_object(kelvo::Engine& e, float x, int kind) {
  const int n = e.object_count;
  kelvo::Object& o = e.objects.emplace_back();
  kelvo::init_object(o);
  o.index = n;
  for (kelvo::Vec3 p : {kelvo::Vec3{x, 0, 0}, kelvo::Vec3{x + 40, 0, 10}, kelvo::Vec3{x, 40, 20}})
    o.vertices.push_back({p, 0xFFFFFFFF, {}});
  kelvo::Face f;
  f.corners = {0, 1, 2, 0};
  f.alpha = f.red = f.green = f.blue = 200;
  o.faces.push_back(f);
  o.vertex_count = 3;
  o.face_count = 1;
  kelvo::compute_bounds(o);
  ++e.object_count;
  if (kind == 1) {
    o.light_source = 1;
    kelvo::setup_light(e, n);
  } else if (kind == 2) {
    o.particled = 1;
    kelvo::setup_particle_system(e, n, e.particle_parameters, "PARTICLE", 0, 1);
  } else if (kind == 3) {
    o.halo_dim = 30;
    o.flare_dim = 20;
  } else {
    o.rot_speed = {1, 2, 3};
    o.automove = 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kelvo::fuzz::use_null_gl();
  g_dir = kelvo::fuzz::make_work_dir("script");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kelvo::fuzz::write_file(g_dir + "SCRIPT1.TXT", data, size);
  kelvo::Engine e;
  kelvo::fuzz::prepare_engine(e, g_dir);
  for (int kind = 1; kind <= 4; ++kind) add_object(e, 60.0f * kind, kind);
  kelvo::colour_reset(e);
  e.perspective = {800, 600};
  e.perspective_switch = 1;
  e.LOGO = 1;
  e.logo_slot = e.font_slot = 0;
  e.texture_slots[0].used = 1;

  kelvo::ScriptInterpreter script(e, 0);
  if (!script.open(g_dir + "SCRIPT1.TXT")) return 0;
  int frames = 0;
  for (int step = 0; step < 2000 && frames < 200 && !script.ended(); ++step) {
    if (script.step().status != kelvo::ScriptStatus::blocked) continue;
    kelvo::fuzz::run_frames(e, 1);
    ++frames;
  }
  kelvo::fuzz::run_frames(e, 2);
  return 0;
}
