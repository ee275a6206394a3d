// kelvo-check model: a 3DS file as the reader and the model preparation see it.
#include <string>

#include "host/base/files.h"
#include "model/model_prepare.h"
#include "model/texture_slots.h"
#include "model/three_ds.h"
#include "scene/engine_state.h"
#include "tools/kelvo_check.h"

using namespace kelvo;

int check_model_command(const std::string& path, std::FILE* out, std::FILE* err) {
  std::string reason;
  std::optional<ThreeDsModel> model = read_3ds(path, &reason);
  if (!model) {
    std::fprintf(err, "%s: %s\n", path.c_str(), reason.c_str());
    return 1;
  }

  // Prepared as an object of a scene in the model's folder, without GL.
  Engine e;
  e.gl_textures = 0;
  e.paths.dir_temp = directory_of(path);
  clear_texture_slots(e);
  if (!prepare_model(e, *model, 1, kOrientAsStored, &reason)) {
    std::fprintf(err, "%s: %s\n", path.c_str(), reason.c_str());
    return 1;
  }

  if (!model->cut.empty()) std::fprintf(err, "%s: warning: %s\n", path.c_str(), model->cut.c_str());
  for (const ThreeDsMesh& mesh : model->meshes) {
    std::fprintf(out, "mesh\t%s\t%zu\t%zu\t%zu", mesh.name.c_str(), mesh.vertices.size(), mesh.faces.size(),
                 mesh.mapping.size());
    for (const ThreeDsFaceGroup& group : mesh.groups) std::fprintf(out, "\t%s", group.material_name.c_str());
    std::fputc('\n', out);
  }
  const Object& o = e.objects[static_cast<std::size_t>(e.object_count)];
  std::fprintf(out, "object\t%d\t%d\n", o.vertex_count, o.face_count);
  return 0;
}
