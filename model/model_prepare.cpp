// Model preparation: 3DS model to scene object.
#include <climits>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "model/model_prepare.h"
#include "model/texture_slots.h"

namespace kelvo {
namespace {

// A face that no face group colours: translucent, with a random colour.
constexpr std::uint8_t kUngroupedAlpha = 65;

// A colour or alpha component 0..1 as a byte, truncated. Percentages above
// 100 give alphas above 1; they stay opaque.
std::uint8_t unit_to_byte(float f) {
  const float v = f * 255.0f;
  if (!(v > 0)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<std::uint8_t>(v);
}

// A texture map name without its extension: "WOOD.GIF" is the texture WOOD.
std::string texture_name(const std::string& map_name) {
  const std::size_t dot = map_name.find('.');
  return dot == std::string::npos ? map_name : map_name.substr(0, dot);
}

}  // namespace

void init_object(Object& o) { o = Object{}; }

int load_model(Engine& e, const std::string& path, int create, int orientation, std::string* reason) {
  std::optional<ThreeDsModel> model = read_3ds(path, reason);
  if (!model) return 0;
  return prepare_model(e, *model, create, orientation, reason);
}

int prepare_model(Engine& e, const ThreeDsModel& model, int create, int orientation, std::string* reason) {
  auto refuse = [reason](const char* why) {
    if (reason) *reason = why;
    return 0;
  };
  if (e.object_count < 0) return refuse("the object count is negative");
  const auto at = static_cast<std::size_t>(e.object_count);
  if (!create && at >= e.objects.size()) return refuse("there is no object to receive the model");

  std::size_t total_vertices = 0, total_faces = 0;
  for (const ThreeDsMesh& mesh : model.meshes) {
    total_vertices += mesh.vertices.size();
    total_faces += mesh.faces.size();
  }
  if (total_vertices > INT32_MAX || total_faces > INT32_MAX) return refuse("the model is too large");
  if (!validate_3ds(model, reason)) return 0;

  // Everything that can fail happens before the engine state is touched.
  std::vector<Vertex> vertices;
  std::vector<Face> faces;
  try {
    vertices.reserve(total_vertices);
    faces.reserve(total_faces);
    if (create) e.objects.resize(at + 1);
  } catch (const std::bad_alloc&) {
    return refuse("out of memory");
  }
  Object& o = e.objects[at];
  if (create) {
    init_object(o);
    o.index = static_cast<std::int32_t>(at);
    o.front_face = kFrontFaceCw;
  }

  debug_log(e.log, "reading geometry...");
  for (std::size_t i = 0; i < model.meshes.size(); ++i) {
    const ThreeDsMesh& mesh = model.meshes[i];
    const auto base = static_cast<std::int32_t>(vertices.size());
    for (const ThreeDsPoint& p : mesh.vertices) {
      Vertex& v = vertices.emplace_back();
      v.position = {p.x, p.y, p.z};
      v.vertex_colour = 0xFFFFFFFF;
    }
    const bool mapped = !mesh.mapping.empty();
    for (const ThreeDsFace& src : mesh.faces) {
      Face& f = faces.emplace_back();
      if (orientation == kOrientReverseCorners) {
        f.corners = {src.a + base, src.c + base, src.b + base, 0};
      } else {
        f.corners = {src.a + base, src.b + base, src.c + base, 0};
      }
      f.corner_count = 3;
      f.current_frame = 0;
      f.texture_frames.fill(kNoTexture16);
      if (mapped) {
        // The stored order a, b, c, also when the corners were reversed.
        const ThreeDsUv& ua = mesh.mapping[src.a];
        const ThreeDsUv& ub = mesh.mapping[src.b];
        const ThreeDsUv& uc = mesh.mapping[src.c];
        f.u = {255.0f * ua.u, 255.0f * ub.u, 255.0f * uc.u, 0};
        f.v = {255.0f * ua.v, 255.0f * ub.v, 255.0f * uc.v, 0};
      }
      f.alpha = kUngroupedAlpha;
      f.red = static_cast<std::uint8_t>(random_next(e.random) & 0xFF);
      f.green = static_cast<std::uint8_t>(random_next(e.random) & 0xFF);
      f.blue = static_cast<std::uint8_t>(random_next(e.random) & 0xFF);
    }
    debug_log(e.log, "Obj %d faces=%d vertices=%d maps=%d", static_cast<int>(i),
              static_cast<int>(mesh.faces.size()), static_cast<int>(mesh.vertices.size()),
              static_cast<int>(mesh.mapping.size()));
  }

  debug_log(e.log, "reading materials...");
  std::vector<std::string> textures(model.materials.size());
  for (std::size_t m = 0; m < model.materials.size(); ++m) {
    if (!model.materials[m].texture) continue;
    textures[m] = texture_name(*model.materials[m].texture);
    debug_log(e.log, "%s", textures[m].c_str());
  }

  std::size_t face_base = 0;
  for (std::size_t i = 0; i < model.meshes.size(); ++i) {
    const ThreeDsMesh& mesh = model.meshes[i];
    debug_log(e.log, "assign materials obj %d", static_cast<int>(i));
    for (const ThreeDsFaceGroup& group : mesh.groups) {
      if (group.material < 0 || group.faces.empty()) continue;
      const auto m = static_cast<std::size_t>(group.material);
      const ThreeDsMaterial& material = model.materials[m];
      const std::uint8_t red = unit_to_byte(material.diffuse.r);
      const std::uint8_t green = unit_to_byte(material.diffuse.g);
      const std::uint8_t blue = unit_to_byte(material.diffuse.b);
      const std::uint8_t alpha = unit_to_byte(material.alpha);
      const bool textured = !mesh.mapping.empty() && material.texture.has_value();
      // Every face of a textured group asks for its texture. A name that
      // failed once fails again (a failed load changes nothing), so later
      // faces only repeat its log line instead of searching the disk again.
      int slot = -1;
      bool failed = false;
      for (std::int32_t j : group.faces) {
        if (textured) {
          if (!failed) {
            slot = load_texture(e, textures[m]);
            failed = slot < 0;
          } else if (textures[m] != "NULL") {
            debug_log(e.log, "tex failed %s", textures[m].c_str());
          }
        }
        Face& f = faces[face_base + static_cast<std::size_t>(j)];
        f.current_frame = 0;
        f.texture_frames.fill(slot < 0 ? kNoTexture16 : static_cast<std::uint16_t>(slot));
        f.alpha = alpha;
        f.red = red;
        f.green = green;
        f.blue = blue;
      }
    }
    face_base += mesh.faces.size();
  }

  o.vertices = std::move(vertices);
  o.faces = std::move(faces);
  o.vertex_count = static_cast<std::int32_t>(total_vertices);
  o.face_count = static_cast<std::int32_t>(total_faces);

  if (orientation == kOrientMirrorZ) {
    debug_log(e.log, "swapping zorros...");
    for (Vertex& v : o.vertices) v.position.z = -v.position.z;
    o.front_face = kFrontFaceCcw;
  }

  debug_log(e.log, "sorting alphas...");
  sort_translucent_faces(o);

  debug_log(e.log, "centering...");
  center_object(o);
  return 1;
}

void sort_translucent_faces(Object& o) {
  const auto n = static_cast<std::int64_t>(std::min<std::size_t>(
      o.face_count < 0 ? 0 : static_cast<std::size_t>(o.face_count), o.faces.size()));
  std::int64_t i = 0, k = n - 1;
  while (i < k) {
    if (o.faces[static_cast<std::size_t>(i)].alpha < 255) {
      std::swap(o.faces[static_cast<std::size_t>(i)], o.faces[static_cast<std::size_t>(k)]);
      --k;
    }
    ++i;
  }
}

void center_object(Object& o) {
  const std::size_t n = std::min<std::size_t>(
      o.vertex_count < 0 ? 0 : static_cast<std::size_t>(o.vertex_count), o.vertices.size());
  if (n == 0) return;
  // Seeded so that the first vertex sets the bounds (a model far from the
  // origin is centred too); NaN coordinates never take part.
  constexpr float kInf = std::numeric_limits<float>::infinity();
  float min_x = kInf, min_y = kInf, min_z = kInf;
  float max_x = -kInf, max_y = -kInf, max_z = -kInf;
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3& p = o.vertices[i].position;
    if (p.x < min_x) min_x = p.x;
    if (p.x > max_x) max_x = p.x;
    if (p.y < min_y) min_y = p.y;
    if (p.y > max_y) max_y = p.y;
    if (p.z < min_z) min_z = p.z;
    if (p.z > max_z) max_z = p.z;
  }
  // An axis without a number keeps its place.
  const auto middle = [](float low, float high) { return low <= high ? (low + high) * 0.5f : 0.0f; };
  const float cx = middle(min_x, max_x);
  const float cy = middle(min_y, max_y);
  const float cz = middle(min_z, max_z);
  for (std::size_t i = 0; i < n; ++i) {
    Vec3& p = o.vertices[i].position;
    p.x -= cx;
    p.y -= cy;
    p.z -= cz;
  }
}

}  // namespace kelvo
