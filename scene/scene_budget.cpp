#include "scene/scene_budget.h"

#include <algorithm>

#include "scene/engine_state.h"

namespace kelvo {

std::int32_t budget_limit(const SceneBudget& budget, BudgetItem item) {
  switch (item) {
    case BudgetItem::object_lines: return budget.object_lines;
    case BudgetItem::vertices: return budget.vertices;
    case BudgetItem::faces: return budget.faces;
    case BudgetItem::particles: return budget.particles;
    case BudgetItem::none: break;
  }
  return 0;
}

const char* budget_name(BudgetItem item) {
  switch (item) {
    case BudgetItem::object_lines: return "object lines";
    case BudgetItem::vertices: return "vertices";
    case BudgetItem::faces: return "faces";
    case BudgetItem::particles: return "particles";
    case BudgetItem::none: break;
  }
  return "";
}

std::int32_t vertices_left(const Engine& e) { return std::max(0, e.budget.vertices - std::max(0, e.total_vertices)); }

std::int32_t faces_left(const Engine& e) { return std::max(0, e.budget.faces - std::max(0, e.total_faces)); }

std::int64_t particles_in_use(const Engine& e) {
  std::int64_t sum = 0;
  for (const ParticleSystem& s : e.particle_systems) sum += s.count;
  return sum;
}

}  // namespace kelvo
