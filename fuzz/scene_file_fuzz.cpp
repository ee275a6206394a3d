// Fuzzes the scene file: the input is SCENE1.TXT of a folder that holds the
// demo's objects and models; the scene is loaded as kelvo-check loads it,
// then moved and drawn for a few frames into nothing.
//
// Checks, besides the sanitizers' own: the scene's invariants and budget.
#include <cstdint>

#include "fuzz/fuzz_support.h"

namespace {
std::string g_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = kelvo::fuzz::make_scene_dir("scene");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kelvo::fuzz::load_and_run_scene(g_dir, "SCENE1.TXT", data, size);
  return 0;
}
