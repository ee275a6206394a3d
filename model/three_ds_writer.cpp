// The 3DS writer.
#include <bit>
#include <cmath>
#include <cstdio>

#include "model/three_ds_writer.h"

namespace kelvo {
namespace {

constexpr std::uint16_t kVersion = 0x0002;
constexpr std::uint16_t kMeshVersion = 0x3D3E;
constexpr std::size_t kMaxCount = 0xFFFF;

std::uint8_t unit_to_byte(float f) {
  if (!(f > 0)) return 0;
  if (f >= 1) return 255;
  return static_cast<std::uint8_t>(std::lround(f * 255.0f));
}

bool is_blank(const ThreeDsMaterial& m) {
  return !m.name && !m.texture && m.ambient.r == 0 && m.ambient.g == 0 && m.ambient.b == 0 &&
         m.diffuse.r == 1 && m.diffuse.g == 1 && m.diffuse.b == 1 && m.alpha == 1;
}

void write_material(ThreeDsChunkWriter& w, const ThreeDsMaterial& m) {
  w.begin(k3dsMaterial);
  if (m.name) {
    w.begin(k3dsMaterialName);
    w.name(*m.name);
    w.end();
  }
  w.begin(k3dsAmbient);
  w.colour_chunk(k3dsColour24, unit_to_byte(m.ambient.r), unit_to_byte(m.ambient.g),
                 unit_to_byte(m.ambient.b));
  w.end();
  w.begin(k3dsDiffuse);
  w.colour_chunk(k3dsColour24, unit_to_byte(m.diffuse.r), unit_to_byte(m.diffuse.g),
                 unit_to_byte(m.diffuse.b));
  w.end();
  if (m.alpha != 1) {
    const float p = std::round(m.alpha * 100.0f);
    w.begin(k3dsAlpha);
    w.percentage_chunk(k3dsPercentage, static_cast<std::uint16_t>(p < 0 ? 0 : p > 65535 ? 65535 : p));
    w.end();
  }
  if (m.texture) {
    w.begin(k3dsTextureMap);
    w.percentage_chunk(k3dsPercentage, 100);
    w.begin(k3dsMapName);
    w.name(*m.texture);
    w.end();
    w.end();
  }
  w.end();
}

void write_mesh(ThreeDsChunkWriter& w, const ThreeDsMesh& mesh) {
  w.begin(k3dsNamedObject);
  w.name(mesh.name);
  w.begin(k3dsTriangleObject);

  w.begin(k3dsVertexList);
  w.u16(static_cast<std::uint16_t>(mesh.vertices.size()));
  for (const ThreeDsPoint& p : mesh.vertices) {
    w.f32(p.x);
    w.f32(p.y);
    w.f32(p.z);
  }
  w.end();

  if (!mesh.mapping.empty()) {
    w.begin(k3dsMappingList);
    w.u16(static_cast<std::uint16_t>(mesh.mapping.size()));
    for (const ThreeDsUv& m : mesh.mapping) {
      w.f32(m.u);
      w.f32(m.v);
    }
    w.end();
  }

  w.begin(k3dsFaceList);
  w.u16(static_cast<std::uint16_t>(mesh.faces.size()));
  for (const ThreeDsFace& f : mesh.faces) {
    w.u16(f.a);
    w.u16(f.b);
    w.u16(f.c);
    w.u16(7);  // all three edges visible
  }
  for (const ThreeDsFaceGroup& g : mesh.groups) {
    w.begin(k3dsFaceGroup);
    w.name(g.material_name);
    w.u16(static_cast<std::uint16_t>(g.faces.size()));
    for (std::int32_t j : g.faces) w.u16(static_cast<std::uint16_t>(j));
    w.end();
  }
  w.end();

  w.end();
  w.end();
}

}  // namespace

void ThreeDsChunkWriter::begin(std::uint16_t id) {
  open_.push_back(bytes_.size());
  u16(id);
  u32(0);
}

void ThreeDsChunkWriter::end() {
  if (open_.empty()) return;
  const std::size_t at = open_.back();
  open_.pop_back();
  const auto length = static_cast<std::uint32_t>(bytes_.size() - at);
  for (int i = 0; i < 4; ++i) bytes_[at + 2 + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

void ThreeDsChunkWriter::u16(std::uint16_t v) {
  bytes_.push_back(static_cast<std::uint8_t>(v));
  bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ThreeDsChunkWriter::u32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ThreeDsChunkWriter::f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }

void ThreeDsChunkWriter::name(std::string_view s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  bytes_.push_back(0);
}

void ThreeDsChunkWriter::percentage_chunk(std::uint16_t id, std::uint16_t percent) {
  begin(id);
  u16(percent);
  end();
}

void ThreeDsChunkWriter::colour_chunk(std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  begin(id);
  u8(r);
  u8(g);
  u8(b);
  end();
}

std::optional<std::vector<std::uint8_t>> encode_3ds(const ThreeDsModel& model) {
  for (const ThreeDsMesh& mesh : model.meshes) {
    if (mesh.vertices.size() > kMaxCount || mesh.faces.size() > kMaxCount || mesh.mapping.size() > kMaxCount) {
      return std::nullopt;
    }
    for (const ThreeDsFaceGroup& g : mesh.groups) {
      if (g.faces.size() > kMaxCount) return std::nullopt;
    }
  }
  std::size_t material_count = model.materials.size();
  if (material_count > 0 && is_blank(model.materials.back())) --material_count;

  ThreeDsChunkWriter w;
  w.begin(k3dsMain);
  w.begin(kVersion);
  w.u32(3);
  w.end();
  w.begin(k3dsMeshData);
  w.begin(kMeshVersion);
  w.u32(3);
  w.end();
  for (std::size_t i = 0; i < material_count; ++i) write_material(w, model.materials[i]);
  for (const ThreeDsMesh& mesh : model.meshes) write_mesh(w, mesh);
  w.end();
  w.end();
  return w.take();
}

bool write_3ds(const std::string& path, const ThreeDsModel& model) {
  std::optional<std::vector<std::uint8_t>> bytes = encode_3ds(model);
  if (!bytes) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes->data(), 1, bytes->size(), f) == bytes->size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace kelvo
