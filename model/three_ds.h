// The 3DS model reader: a 3DS file (little-endian chunks) as an in-memory
// model of triangle meshes and materials.
//
// A chunk is a 6-byte header — id (u16) and length (u32, header included) —
// followed by its body. Only what model preparation turns into a scene object
// is read; every other chunk is skipped by its length:
//
//   4D4D main                      (the first chunk of the file, and the only one read)
//     3D3D mesh data
//       4000 named object          name (up to 15 characters), then sub-chunks
//         4100 triangle object     one mesh, named after the object
//           4110 vertex list       u16 count, count x (x, y, z) floats
//           4120 face list         u16 count, count x (a, b, c, flags) u16
//             4130 face group      material name, u16 count, count u16 face indices
//           4140 mapping list      u16 count, count x (u, v) floats
//       AFFF material
//         A000 name                (up to 79 characters)
//         A010 / A020              ambient / diffuse colour: 0011 or 0012 sub-chunk, 3 bytes
//         A050 alpha               0030 sub-chunk, u16 percentage
//         A200 texture map 1
//           A300 map file name     (up to 79 characters)
//
// Each level walks its chunk the same way: read a header; a handled id calls
// its handler, which reads its data and leaves the position after it (the walk
// goes on from there, which is how the face groups nested in a face list are
// met by the walk of the triangle object); an unhandled id is skipped.
//
// Every file is treated as hostile. The model is refused, with a reason, when
// a chunk is shorter than its header or runs past its parent, when the file
// ends inside a mesh or a material (ThreeDsModel::cut says more), when
// a list, name or value runs past its chunk, when a name does not end within
// its limit, when a face corner indexes past the vertex list or past a
// non-empty mapping list, or when a face-group index is past the face list.
// Nothing outside the bytes is read, every allocation is bounded by the bytes
// that remain, and no exception leaves the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvo {

inline constexpr std::uint16_t k3dsMain = 0x4D4D;
inline constexpr std::uint16_t k3dsMeshData = 0x3D3D;
inline constexpr std::uint16_t k3dsNamedObject = 0x4000;
inline constexpr std::uint16_t k3dsTriangleObject = 0x4100;
inline constexpr std::uint16_t k3dsVertexList = 0x4110;
inline constexpr std::uint16_t k3dsFaceList = 0x4120;
inline constexpr std::uint16_t k3dsFaceGroup = 0x4130;
inline constexpr std::uint16_t k3dsMappingList = 0x4140;
inline constexpr std::uint16_t k3dsMaterial = 0xAFFF;
inline constexpr std::uint16_t k3dsMaterialName = 0xA000;
inline constexpr std::uint16_t k3dsAmbient = 0xA010;
inline constexpr std::uint16_t k3dsDiffuse = 0xA020;
inline constexpr std::uint16_t k3dsAlpha = 0xA050;
inline constexpr std::uint16_t k3dsTextureMap = 0xA200;
inline constexpr std::uint16_t k3dsMapName = 0xA300;
inline constexpr std::uint16_t k3dsColour24 = 0x0011;
inline constexpr std::uint16_t k3dsColour24Gamma = 0x0012;
inline constexpr std::uint16_t k3dsPercentage = 0x0030;

// Name buffers, terminator included: object names hold up to 15 characters,
// material and map names up to 79.
inline constexpr std::size_t k3dsObjectNameLimit = 16;
inline constexpr std::size_t k3dsNameLimit = 80;

struct ThreeDsPoint {
  float x = 0, y = 0, z = 0;
};

struct ThreeDsUv {
  float u = 0, v = 0;
};

// Vertex indices of one face; the file's fourth value (edge flags) is dropped.
struct ThreeDsFace {
  std::uint16_t a = 0, b = 0, c = 0;
};

struct ThreeDsRgb {
  float r = 0, g = 0, b = 0;
};

struct ThreeDsFaceGroup {
  std::string material_name;     // as written in the file
  std::int32_t material = -1;    // index into ThreeDsModel::materials, -1 when no
                                 // material of that name was read before the group
  std::vector<std::int32_t> faces;  // indices into the mesh's faces
};

struct ThreeDsMesh {
  std::string name;
  std::vector<ThreeDsPoint> vertices;
  std::vector<ThreeDsFace> faces;
  std::vector<ThreeDsUv> mapping;  // one per vertex, or empty
  std::vector<ThreeDsFaceGroup> groups;
};

struct ThreeDsMaterial {
  std::optional<std::string> name;
  std::optional<std::string> texture;  // file name of the first texture map
  ThreeDsRgb ambient{0, 0, 0};
  ThreeDsRgb diffuse{1, 1, 1};
  float alpha = 1;  // opacity, 0..1
};

// Meshes and materials in file order. The material list starts with one blank
// material and gets a new blank one after each material chunk, so it always
// ends with a blank (unnamed) material.
struct ThreeDsModel {
  std::vector<ThreeDsMesh> meshes;
  std::vector<ThreeDsMaterial> materials;
  // Empty for a whole file. For a file that ends inside a chunk the reader
  // skips anyway (the keyframer, an unknown chunk) or between the chunks of
  // the main chunk, the mesh data or a named object: where it ends. What was
  // read before is kept; a file cut inside a mesh or a material is refused.
  std::string cut;
};

// Decodes a whole 3DS file held in memory. On failure returns nullopt and,
// when `reason` is given, stores a short English description of the fault.
std::optional<ThreeDsModel> decode_3ds(std::span<const std::uint8_t> bytes,
                                       std::string* reason = nullptr);

// Whether every face corner lies inside its mesh's vertex list (and inside its
// mapping list when that is not empty), every face-group index inside the face
// list and every material reference inside the material list. decode_3ds
// checks this; a model built or changed in memory can be checked again.
bool validate_3ds(const ThreeDsModel& model, std::string* reason = nullptr);

// Reads and decodes a 3DS file. Files larger than k3dsMaxFileSize are refused.
std::optional<ThreeDsModel> read_3ds(const std::string& path, std::string* reason = nullptr);

// The largest file read_3ds accepts: far above any model a scene may hold (its
// budget of a million vertices and faces takes some 28 MB of 3DS data) and
// small enough to hold in memory while it is read.
inline constexpr std::size_t k3dsMaxFileSize = std::size_t{128} << 20;

}  // namespace kelvo
