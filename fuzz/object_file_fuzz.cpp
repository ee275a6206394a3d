// Fuzzes the object file: the input is the object "OBJ", which a fixed scene
// names twice (placed, turned, spun, orbiting and scaled, then as it is) in a
// folder that also holds the demo's objects, models and textures; the scene
// is loaded, then moved and drawn for a few frames into nothing.
//
// Checks, besides the sanitizers' own: the scene's invariants and budget.
#include <cstdint>

#include "fuzz/fuzz_support.h"

namespace {
std::string g_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = kelvo::fuzz::make_scene_dir("object");
  kelvo::fuzz::write_file(g_dir + "SCENE1.TXT",
                          "PERSPECTIVE_X=1 PERSPECTIVE_Y=1.2 FOGNEAR=10 FOGFAR=900\nOBJECTS\n"
                          "OBJ 10 20 30 15 25 35 0.5 1 1.5 0.2 0.3 0.4 2\nOBJ\nLAMP 100 200 0\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kelvo::fuzz::load_and_run_scene(g_dir, "OBJ", data, size);
  return 0;
}
