// Fuzzes the scene file: the input is SCENE1.TXT of a folder that holds the
// demo's objects and models; the scene is loaded as kelvo-check loads it,
// then moved and drawn for a few frames into nothing.
//
// Checks, besides the sanitizers' own: the scene's invariants and budget.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "scene/scene_file.h"

namespace {
std::string g_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kelvo::fuzz::use_null_gl();
  g_dir = kelvo::fuzz::make_work_dir("scene");
  kelvo::fuzz::copy_demo_objects(g_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kelvo::fuzz::write_file(g_dir + "SCENE1.TXT", data, size);
  kelvo::Engine e;
  kelvo::fuzz::prepare_engine(e, g_dir);
  kelvo::load_scene(e, "SCENE1");
  kelvo::fuzz::check_scene(e);
  kelvo::fuzz::run_frames(e, 3);
  return 0;
}
