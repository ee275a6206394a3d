// The scene budget: what one scene may hold at most, whatever its files say,
// so that no package can exhaust the memory or the patience of the machine it
// plays on. Far above real scenes (the demo uses 15 object lines, 2,303
// vertices, 3,822 faces and 210 particles). The scene loader skips an
// object line that would pass the budget, with a warning.
#pragma once

#include <cstdint>

namespace kelvo {

struct Engine;

enum class BudgetItem { none, object_lines, vertices, faces, particles };

// The engine holds one (Engine::budget); only code sets it, never a file.
struct SceneBudget {
  std::int32_t object_lines = 10'000;  // object lines read, loaded or not
  std::int32_t vertices = 1'000'000;   // of all objects together
  std::int32_t faces = 1'000'000;      // of all objects together
  std::int32_t particles = 250'000;    // of all particle systems together
};

// Integers in the scene and object files are held within ±2^24: far beyond
// any meaningful value, exact as floats, and no sum or difference of two of
// them can overflow.
inline constexpr std::int32_t kFileIntLimit = 1 << 24;

std::int32_t budget_limit(const SceneBudget& budget, BudgetItem item);
// "object lines", "vertices", "faces", "particles".
const char* budget_name(BudgetItem item);

// What the objects counted so far leave of the vertex and face budgets.
std::int32_t vertices_left(const Engine& e);
std::int32_t faces_left(const Engine& e);
// Particles of all particle systems so far.
std::int64_t particles_in_use(const Engine& e);

}  // namespace kelvo
