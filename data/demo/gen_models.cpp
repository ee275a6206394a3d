// Builds the demo scene's generated geometry:
//
//  - 3DS models (written with the engine's 3DS writer): GRID (the floor),
//    RING (a torus), VASE (a lathed brazier whose first vertex is the middle
//    of its glowing top, where particles are born), TUBE (a capped column),
//    BALL (a sphere with a tiny core mesh first, so halos sit at its centre)
//    and DOME (the sky, facing inwards);
//  - object description files with inline geometry for shapes that are
//    placed in world units: LAMP (a tilted light disc in a housing) and BEAM
//    (the cone of its light). Their options come from SRC_DIR/NAME.KEYS; the
//    generator appends the vertex and face lists.
//
// Faces are wound so that (V1 - V0) x (V2 - V0) points out of the visible
// side: the engine draws clockwise faces (as seen on screen) as front faces.
//
//   gen_models SRC_DIR OUT_DIR
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/demo/gen_common.h"
#include "model/three_ds_writer.h"

using demo::kPi;

namespace {

struct Vec {
  float x = 0, y = 0, z = 0;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec normalised(Vec a) {
  const float l = std::sqrt(dot(a, a));
  return l > 0 ? a * (1.0f / l) : a;
}

// One mesh under construction.
struct MeshBuilder {
  kelvo::ThreeDsMesh mesh;

  explicit MeshBuilder(const std::string& name) { mesh.name = name; }

  std::uint16_t vertex(Vec p, float u, float v) {
    mesh.vertices.push_back({p.x, p.y, p.z});
    mesh.mapping.push_back({u, v});
    return static_cast<std::uint16_t>(mesh.vertices.size() - 1);
  }

  // A triangle whose front side faces `outward`.
  void triangle(std::uint16_t a, std::uint16_t b, std::uint16_t c, Vec outward) {
    const auto& v = mesh.vertices;
    const Vec pa{v[a].x, v[a].y, v[a].z}, pb{v[b].x, v[b].y, v[b].z}, pc{v[c].x, v[c].y, v[c].z};
    if (dot(cross(pb - pa, pc - pa), outward) < 0) std::swap(b, c);
    mesh.faces.push_back({a, b, c});
  }

  // A grid of (columns + 1) x (rows + 1) vertices from a surface function
  // giving the position and the outward normal; two triangles per cell.
  template <typename Surface>
  void surface(int columns, int rows, float u_repeat, float v_repeat, Surface f) {
    const auto base = static_cast<std::uint16_t>(mesh.vertices.size());
    std::vector<Vec> normals;
    for (int j = 0; j <= rows; ++j) {
      for (int i = 0; i <= columns; ++i) {
        const float s = static_cast<float>(i) / static_cast<float>(columns);
        const float t = static_cast<float>(j) / static_cast<float>(rows);
        Vec p, n;
        f(s, t, p, n);
        vertex(p, s * u_repeat, t * v_repeat);
        normals.push_back(n);
      }
    }
    auto at = [&](int i, int j) { return static_cast<std::uint16_t>(base + j * (columns + 1) + i); };
    for (int j = 0; j < rows; ++j) {
      for (int i = 0; i < columns; ++i) {
        const std::size_t k = static_cast<std::size_t>(j * (columns + 1) + i);
        const Vec n = normals[k] + normals[k + 1] + normals[k + columns + 1] + normals[k + columns + 2];
        // Cells that collapse to a point at a pole give one real triangle.
        triangle(at(i, j), at(i + 1, j), at(i + 1, j + 1), n);
        triangle(at(i, j), at(i + 1, j + 1), at(i, j + 1), n);
      }
    }
  }

  // Drops triangles whose corners coincide (the poles of a sphere).
  void drop_degenerate() {
    std::vector<kelvo::ThreeDsFace> kept;
    for (const auto& f : mesh.faces) {
      const auto& v = mesh.vertices;
      const Vec a{v[f.a].x, v[f.a].y, v[f.a].z}, b{v[f.b].x, v[f.b].y, v[f.b].z}, c{v[f.c].x, v[f.c].y, v[f.c].z};
      const Vec n = cross(b - a, c - a);
      if (dot(n, n) > 1e-6f) kept.push_back(f);
    }
    mesh.faces = std::move(kept);
  }
};

// A model of meshes that all use one material (a colour and a texture).
struct ModelBuilder {
  kelvo::ThreeDsModel model;

  ModelBuilder(const std::string& material, const std::string& texture) {
    kelvo::ThreeDsMaterial m;
    m.name = material;
    m.texture = texture + ".3DF";
    m.diffuse = {1, 1, 1};
    model.materials.push_back(m);
  }

  void add(MeshBuilder&& b, const std::string& material) {
    kelvo::ThreeDsFaceGroup group;
    group.material_name = material;
    group.material = 0;
    for (std::size_t i = 0; i < b.mesh.faces.size(); ++i) group.faces.push_back(static_cast<std::int32_t>(i));
    b.mesh.groups.push_back(std::move(group));
    model.meshes.push_back(std::move(b.mesh));
  }
};

bool save_3ds(const std::string& dir, const std::string& name, const ModelBuilder& b) {
  const std::string path = demo::join(dir, name + ".3DS");
  if (!kelvo::write_3ds(path, b.model)) {
    std::fprintf(stderr, "gen_models: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- models --

// The floor: 960 x 960 units in 8 x 8 cells at height 0, facing up; the
// texture repeats four times across.
ModelBuilder grid() {
  ModelBuilder m("FLOOR", "CHECKER");
  MeshBuilder b("floor");
  b.surface(8, 8, 4, 4, [](float s, float t, Vec& p, Vec& n) {
    p = {-480 + 960 * s, 0, 480 - 960 * t};
    n = {0, 1, 0};
  });
  m.add(std::move(b), "FLOOR");
  return m;
}

// A torus of radius 52 around its axis, tube radius 20, axis along y.
ModelBuilder ring() {
  ModelBuilder m("CHROME", "METAL");
  MeshBuilder b("ring");
  const float big = 52, small = 20;
  b.surface(36, 16, 4, 1, [&](float s, float t, Vec& p, Vec& n) {
    const float a = s * 2 * kPi, c = t * 2 * kPi;
    n = {std::cos(a) * std::cos(c), std::sin(c), std::sin(a) * std::cos(c)};
    p = Vec{std::cos(a) * big, 0, std::sin(a) * big} + n * small;
  });
  m.add(std::move(b), "CHROME");
  return m;
}

// The brazier: a lathed profile (radius, height) from the foot to the rim,
// 120 units high, and a glowing bed of coals inside the rim. The bed comes
// first, its centre as vertex 0: the particles of an emitter are born at the
// first vertex.
ModelBuilder vase() {
  ModelBuilder m("STONE", "MARBLE");
  const int sides = 24;
  const float coals = 108;
  MeshBuilder bed("coals");
  const std::uint16_t centre = bed.vertex({0, coals, 0}, 0.5f, 0.5f);
  std::vector<std::uint16_t> rim;
  for (int i = 0; i <= sides; ++i) {
    const float a = static_cast<float>(i) / sides * 2 * kPi;
    rim.push_back(bed.vertex({std::cos(a) * 40, coals, std::sin(a) * 40}, 0.5f + 0.5f * std::cos(a),
                             0.5f + 0.5f * std::sin(a)));
  }
  for (int i = 0; i < sides; ++i) bed.triangle(centre, rim[i], rim[i + 1], {0, 1, 0});
  m.add(std::move(bed), "STONE");

  // The profile, from the foot up the outside and over the lip into the bowl.
  const std::vector<std::pair<float, float>> profile = {
      {26, 0}, {30, 3}, {30, 8}, {22, 14}, {12, 22}, {10, 40}, {12, 56}, {20, 66},
      {34, 78}, {44, 92}, {48, 104}, {50, 112}, {48, 118}, {44, 118}, {42, 110}, {40, coals}};
  std::vector<float> length(profile.size(), 0);
  for (std::size_t k = 1; k < profile.size(); ++k) {
    const float dr = profile[k].first - profile[k - 1].first, dy = profile[k].second - profile[k - 1].second;
    length[k] = length[k - 1] + std::sqrt(dr * dr + dy * dy);
  }
  MeshBuilder body("body");
  const int rows = static_cast<int>(profile.size()) - 1;
  body.surface(sides, rows, 3, 1, [&](float s, float t, Vec& p, Vec& n) {
    const int k = static_cast<int>(std::lround(t * static_cast<float>(rows)));
    const float a = s * 2 * kPi;
    const auto [r, y] = profile[static_cast<std::size_t>(k)];
    p = {std::cos(a) * r, y, std::sin(a) * r};
    // Outward: away from the axis on the outside of the profile, which turns
    // inward with the lip; the cell normals take the average.
    const std::size_t k0 = k > 0 ? static_cast<std::size_t>(k - 1) : 0;
    const std::size_t k1 = std::min<std::size_t>(static_cast<std::size_t>(k + 1), profile.size() - 1);
    const float dr = profile[k1].first - profile[k0].first, dy = profile[k1].second - profile[k0].second;
    n = normalised(Vec{std::cos(a) * dy, -dr, std::sin(a) * dy});
  });
  // The mapping runs along the profile, not by rows.
  for (std::size_t i = 0; i < body.mesh.mapping.size(); ++i) {
    const std::size_t row = i / static_cast<std::size_t>(sides + 1);
    body.mesh.mapping[i].v = length[row] / length.back();
  }
  m.add(std::move(body), "STONE");
  return m;
}

// A column of radius 24 and height 200 with a cap; the texture goes round
// twice and up twice.
ModelBuilder tube() {
  ModelBuilder m("ENERGY", "STRIPES");
  const int sides = 20;
  MeshBuilder side("side");
  side.surface(sides, 4, 2, 2, [](float s, float t, Vec& p, Vec& n) {
    const float a = s * 2 * kPi;
    n = {std::cos(a), 0, std::sin(a)};
    p = {std::cos(a) * 24, 200 - 200 * t, std::sin(a) * 24};
  });
  m.add(std::move(side), "ENERGY");
  MeshBuilder cap("cap");
  const std::uint16_t centre = cap.vertex({0, 200, 0}, 0.5f, 0.5f);
  std::vector<std::uint16_t> ring;
  for (int i = 0; i <= sides; ++i) {
    const float a = static_cast<float>(i) / sides * 2 * kPi;
    ring.push_back(cap.vertex({std::cos(a) * 24, 200, std::sin(a) * 24}, 0.5f + 0.5f * std::cos(a),
                              0.5f + 0.5f * std::sin(a)));
  }
  for (int i = 0; i < sides; ++i) cap.triangle(centre, ring[i], ring[i + 1], {0, 1, 0});
  m.add(std::move(cap), "ENERGY");
  return m;
}

// A sphere of the given radius from the north pole down to `last_polar`
// (pi for the whole sphere); inward turns its faces to the inside.
MeshBuilder sphere(const std::string& name, float radius, int columns, int rows, float u_repeat, float v_repeat,
                   bool inward, float last_polar = kPi) {
  MeshBuilder b(name);
  b.surface(columns, rows, u_repeat, v_repeat, [&](float s, float t, Vec& p, Vec& n) {
    const float a = s * 2 * kPi, polar = t * last_polar;
    const Vec d{std::sin(polar) * std::cos(a), std::cos(polar), std::sin(polar) * std::sin(a)};
    p = d * radius;
    n = inward ? d * -1.0f : d;
  });
  b.drop_degenerate();
  return b;
}

// The glowing orb: a tiny core triangle first (vertex 0 at the centre, where
// its halo is anchored), then the sphere.
ModelBuilder ball() {
  ModelBuilder m("ORB", "ORB");
  MeshBuilder core("core");
  const std::uint16_t a = core.vertex({0, 0, 0}, 0, 0);
  const std::uint16_t b = core.vertex({0.5f, 0, 0}, 1, 0);
  const std::uint16_t c = core.vertex({0, 0.5f, 0}, 0, 1);
  core.triangle(a, b, c, {0, 0, -1});
  m.add(std::move(core), "ORB");
  m.add(sphere("ball", 22, 18, 10, 2, 1, false), "ORB");
  return m;
}

// The sky: a dome of radius 3000 seen from inside, from the zenith to 6
// degrees below the horizon. The stars repeat eight times round and as often
// upwards as keeps them round. Model preparation centres the dome on its box,
// which puts the rim 1343 units below the eye; the scene lifts it back.
ModelBuilder dome() {
  ModelBuilder m("SKY", "STARS");
  const float last_polar = 96 * kPi / 180;
  m.add(sphere("sky", 3000, 32, 8, 8, 8 * last_polar / (2 * kPi), true, last_polar), "SKY");
  return m;
}

// ------------------------------------------------- inline object files --

struct InlineObject {
  std::vector<Vec> vertices;
  std::vector<std::string> faces;  // face lines, corners 1-based

  int vertex(Vec p) {
    vertices.push_back(p);
    return static_cast<int>(vertices.size());
  }
};

// Reads SRC_DIR/NAME.KEYS and writes OUT_DIR/NAME.TXT with the geometry.
bool write_inline(const std::string& src_dir, const std::string& out_dir, const std::string& name,
                  const InlineObject& o) {
  std::ifstream keys(demo::join(src_dir, name + ".KEYS"));
  if (!keys) {
    std::fprintf(stderr, "gen_models: cannot read %s.KEYS\n", name.c_str());
    return false;
  }
  std::ostringstream text;
  text << keys.rdbuf();
  std::string head = text.str();
  if (!head.empty() && head.back() != '\n') head += '\n';

  std::ostringstream out;
  out << head << "POINTS\n";
  for (const Vec& v : o.vertices)
    out << std::lround(v.x) << ',' << std::lround(v.y) << ',' << std::lround(v.z) << '\n';
  out << "FACES\n";
  for (const std::string& f : o.faces) out << f << '\n';
  const std::string s = out.str();
  return demo::write_file(demo::join(out_dir, name + ".TXT"), std::vector<std::uint8_t>(s.begin(), s.end()));
}

// The lamp's shining direction: down and towards the middle of the scene
// (the lamp is placed on the +x side), 40 degrees off the vertical.
const Vec kLampDirection = normalised({-std::sin(40 * kPi / 180), -std::cos(40 * kPi / 180), 0});

// Two unit vectors across a direction.
void across(Vec d, Vec& e1, Vec& e2) {
  e1 = normalised(cross(d, Vec{0, 0, 1}));
  e2 = normalised(cross(d, e1));
}

// The lamp, centred on its disc: vertex 1 is the middle of the disc and face
// 1 its first sector, so the light shines along that face's normal and the
// halo and flares sit in the middle.
InlineObject lamp() {
  InlineObject o;
  const int sectors = 12;
  const float radius = 30;
  Vec e1, e2;
  across(kLampDirection, e1, e2);
  const int centre = o.vertex({0, 0, 0});
  std::vector<int> rim;
  for (int i = 0; i < sectors; ++i) {
    const float a = static_cast<float>(i) / sectors * 2 * kPi;
    rim.push_back(o.vertex(e1 * (std::cos(a) * radius) + e2 * (std::sin(a) * radius)));
  }
  // The housing: a cone behind the disc.
  const int back = o.vertex(kLampDirection * -26.0f);
  auto face = [&](int a, int b, int c, Vec outward, const char* tail) {
    const Vec pa = o.vertices[a - 1], pb = o.vertices[b - 1], pc = o.vertices[c - 1];
    if (dot(cross(pb - pa, pc - pa), outward) < 0) std::swap(b, c);
    o.faces.push_back(std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " + tail);
  };
  for (int i = 0; i < sectors; ++i)
    face(centre, rim[i], rim[(i + 1) % sectors], kLampDirection, "NULL 1 1 255 244 214 255");
  for (int i = 0; i < sectors; ++i) {
    const Vec mid = (o.vertices[rim[i] - 1] + o.vertices[rim[(i + 1) % sectors] - 1]) * 0.5f;
    face(back, rim[(i + 1) % sectors], rim[i], mid - kLampDirection * -13.0f, "NULL 1 1 96 100 120 255");
  }
  return o;
}

// The height the scene places the lamp and its beam at (SCENE1.TXT).
constexpr float kLampHeight = 250;

// The beam: an open cone from the lamp's disc (the lamp's origin) to a spot
// on the floor below it. Quads from the lamp down, so that the texture's
// first row is at the lamp.
InlineObject beam() {
  InlineObject o;
  const int sectors = 16;
  const float drop = kLampHeight;
  const float length = drop / -kLampDirection.y;
  const Vec spot = kLampDirection * length + Vec{0, 1, 0};
  Vec e1, e2;
  across(kLampDirection, e1, e2);
  std::vector<int> top, bottom;
  for (int i = 0; i < sectors; ++i) {
    const float a = static_cast<float>(i) / sectors * 2 * kPi;
    top.push_back(o.vertex(e1 * (std::cos(a) * 24) + e2 * (std::sin(a) * 24)));
  }
  for (int i = 0; i < sectors; ++i) {
    const float a = static_cast<float>(i) / sectors * 2 * kPi;
    bottom.push_back(o.vertex(spot + Vec{std::cos(a) * 80, 0, std::sin(a) * 80}));
  }
  for (int i = 0; i < sectors; ++i) {
    const int j = (i + 1) % sectors;
    o.faces.push_back(std::to_string(top[i]) + " " + std::to_string(top[j]) + " " + std::to_string(bottom[j]) + " " +
                      std::to_string(bottom[i]) + " BEAM 1 1");
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gen_models SRC_DIR OUT_DIR\n");
    return 2;
  }
  const std::string src = argv[1], out = argv[2];
  bool ok = true;
  ok &= save_3ds(out, "GRID", grid());
  ok &= save_3ds(out, "RING", ring());
  ok &= save_3ds(out, "VASE", vase());
  ok &= save_3ds(out, "TUBE", tube());
  ok &= save_3ds(out, "BALL", ball());
  ok &= save_3ds(out, "DOME", dome());
  ok &= write_inline(src, out, "LAMP", lamp());
  ok &= write_inline(src, out, "BEAM", beam());
  return ok ? 0 : 1;
}
