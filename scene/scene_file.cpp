#include "scene/scene_file.h"

#include "host/paths.h"

namespace kelvo {

void load_scene(Engine& e, const std::string& name) {
  debug_log(e.log, "workDir=%s", e.paths.dir_temp.c_str());
  debug_log(e.log, "scene=%s", name.c_str());
  std::string path = e.paths.dir_temp + name + ".TXT";
  if (!file_exists(path)) {
    debug_log(e.log, "scene open failed");
    return;
  }
  // The header keys and the object list are read here once the object,
  // model and texture readers exist.
}

}  // namespace kelvo
