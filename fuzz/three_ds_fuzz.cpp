// Fuzzes the 3DS reader with arbitrary bytes.
//
// Checks, besides the sanitizers' own: a refused file always has a reason; an
// accepted model keeps every index in range and every name within its limit;
// writing an accepted model and reading it back gives the same meshes (names,
// lists, face groups) and material names. An accepted model then becomes a
// scene object (in each of the three orientations by turns), placed, lit and
// drawn for two frames into nothing, with whatever numbers its floats hold.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "model/model_prepare.h"
#include "model/three_ds.h"
#include "model/three_ds_writer.h"
#include "motion/object_transform.h"
#include "scene/emitters.h"
#include "scene/scene_file.h"

using kelvo::fuzz::check;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kelvo::fuzz::use_null_gl();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvo;
  std::string reason;
  std::optional<ThreeDsModel> model = decode_3ds(std::span<const std::uint8_t>(data, size), &reason);
  if (!model) {
    check(!reason.empty(), "refused without a reason");
    return 0;
  }
  check(validate_3ds(*model), "accepted model with an index out of range");
  check(!model->materials.empty() && !model->materials.back().name, "material list does not end blank");
  for (const ThreeDsMesh& mesh : model->meshes) {
    check(mesh.name.size() < k3dsObjectNameLimit, "object name too long");
    for (const ThreeDsFaceGroup& g : mesh.groups) check(g.material_name.size() < k3dsNameLimit, "group name too long");
  }

  std::optional<std::vector<std::uint8_t>> bytes = encode_3ds(*model);
  check(bytes.has_value(), "accepted model cannot be written");
  std::optional<ThreeDsModel> again = decode_3ds(*bytes, &reason);
  check(again.has_value(), "written model is refused");
  check(again->meshes.size() == model->meshes.size(), "mesh count changed");
  for (std::size_t i = 0; i < model->meshes.size(); ++i) {
    const ThreeDsMesh& a = model->meshes[i];
    const ThreeDsMesh& b = again->meshes[i];
    check(a.name == b.name, "mesh name changed");
    check(a.vertices.size() == b.vertices.size() && a.faces.size() == b.faces.size() &&
              a.mapping.size() == b.mapping.size() && a.groups.size() == b.groups.size(),
          "mesh lists changed");
    for (std::size_t k = 0; k < a.faces.size(); ++k) {
      check(a.faces[k].a == b.faces[k].a && a.faces[k].b == b.faces[k].b && a.faces[k].c == b.faces[k].c,
            "face changed");
    }
    for (std::size_t k = 0; k < a.groups.size(); ++k) {
      check(a.groups[k].material_name == b.groups[k].material_name && a.groups[k].faces == b.groups[k].faces,
            "face group changed");
    }
  }
  {
    Engine e;
    fuzz::prepare_engine(e, "/nonexistent/");
    check(prepare_model(e, *model, 1, static_cast<int>(size % 3), &reason) == 1, "accepted model not prepared");
    Object& o = e.objects[0];
    o.light_source = 1;
    o.halo_dim = o.flare_dim = 10;
    compute_bounds(o);
    translate_object(o, 10, 20, 30);
    spin_object(o, 5, 10, 15);
    compute_bounds(o);
    e.object_count = 1;
    setup_light(e, 0);
    colour_reset(e);
    fuzz::run_frames(e, 2);
  }
  check(again->materials.size() == model->materials.size(), "material count changed");
  for (std::size_t i = 0; i < model->materials.size(); ++i) {
    check(again->materials[i].name == model->materials[i].name, "material name changed");
    check(again->materials[i].texture == model->materials[i].texture, "texture name changed");
  }
  return 0;
}
