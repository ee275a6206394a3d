// The object description file: display options, then inline geometry (a
// vertex list and a face list) or an external 3DS model, then an optional
// particle line. An object with only a model file ("NAME.3DS") loads with
// default options.
#pragma once

#include <string>

#include "scene/engine_state.h"
#include "scene/scene_budget.h"

namespace kelvo {

// Reads the object at `base_path` (work directory + object name) into a new
// record at position `object_count` of `objects`. The files are found
// whatever the case of their letters. Returns 1 on success; on failure a
// record may stand at that position and is not counted. An object that would
// take the scene past its vertex or face budget fails too, and
// `over_budget` (when given) says which; it is `none` otherwise.
int read_object(Engine& e, const std::string& base_path, BudgetItem* over_budget = nullptr);

}  // namespace kelvo
