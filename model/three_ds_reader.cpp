// The 3DS model reader: a decoder over the file's bytes.
#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>
#include <unordered_map>

#include "host/base/files.h"
#include "model/three_ds.h"

namespace kelvo {
namespace {

static_assert(sizeof(ThreeDsPoint) == 12 && std::is_trivially_copyable_v<ThreeDsPoint>);
static_assert(sizeof(ThreeDsUv) == 8 && std::is_trivially_copyable_v<ThreeDsUv>);

constexpr std::size_t kHeaderSize = 6;
// A stored byte becomes a colour component this way (1/255).
constexpr float kByteToUnit = 0.003921569f;

std::uint16_t load_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t load_u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

[[maybe_unused]] float load_f32(const std::uint8_t* p) { return std::bit_cast<float>(load_u32(p)); }

// Copies `count` records of `N` little-endian floats each into `out`.
template <class Record, std::size_t N>
void load_floats(const std::uint8_t* p, std::size_t count, std::vector<Record>& out) {
  static_assert(sizeof(Record) == N * sizeof(float));
  out.resize(count);
  if constexpr (std::endian::native == std::endian::little) {
    if (count != 0) std::memcpy(out.data(), p, count * sizeof(Record));
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      float f[N];
      for (std::size_t k = 0; k < N; ++k) f[k] = load_f32(p + (i * N + k) * 4);
      std::memcpy(&out[i], f, sizeof(Record));
    }
  }
}

// Stores the formatted reason (when asked for) and returns false.
bool refuse(std::string* reason, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool refuse(std::string* reason, const char* format, ...) {
  if (reason) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    *reason = buffer;
  }
  return false;
}

struct Chunk {
  std::uint16_t id = 0;
  std::size_t start = 0;  // offset of the header
  std::size_t end = 0;    // offset just past the chunk, or the end of a file cut inside it
  bool cut = false;       // the file ends before the chunk does
};

// Whether a walk may keep what it read when the file ends inside one of its
// chunks that it skips (or between its chunks). Only where nothing half read
// is left behind: in the main chunk (the keyframer), in the mesh data and in a
// named object; never inside a mesh or a material.
enum class Cut { refused, kept };

enum class Step { done, skip, failed };

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool read(ThreeDsModel& model) {
    model_ = &model;
    colour_seen_ = false;
    model.materials.emplace_back();  // the current material

    if (bytes_.size() < kHeaderSize) return refuse(&reason_, "file of %zu bytes holds no chunk header", bytes_.size());
    const std::uint16_t first = load_u16(bytes_.data());
    if (first != k3dsMain) return refuse(&reason_, "not a 3DS file: first chunk is 0x%04X, not 0x4D4D", first);
    Chunk file;
    file.end = bytes_.size();
    file.cut = true;  // the main chunk may claim more than the file holds
    Chunk main;
    if (!read_header(file, main, "the file")) return false;
    bool ok = walk(main, Cut::kept, [this](const Chunk& c) {
      if (c.id != k3dsMeshData) return Step::skip;
      return mesh_data(c) ? Step::done : Step::failed;
    });
    if (!ok) return false;
    if (!validate_3ds(model, &reason_)) return false;

    // A file without a single non-black colour: the materials in use are
    // drawn white.
    if (!colour_seen_) {
      for (const ThreeDsMesh& mesh : model.meshes) {
        for (const ThreeDsFaceGroup& group : mesh.groups) {
          if (group.material < 0) continue;
          ThreeDsMaterial& m = model.materials[static_cast<std::size_t>(group.material)];
          m.ambient = {0, 0, 0};
          m.diffuse = {1, 1, 1};
        }
      }
    }
    return true;
  }

  const std::string& reason() const { return reason_; }

 private:
  // Reads the chunk header at the current position; the chunk must lie
  // within `parent`, unless the file ends inside both (the chunk is then
  // marked cut and ends with the file).
  bool read_header(const Chunk& parent, Chunk& c, const char* parent_name) {
    const std::size_t at = pos_;
    if (parent.end - at < kHeaderSize) {
      if (parent.cut) return refuse(&reason_, "the file ends inside a chunk header at offset %zu", at);
      return refuse(&reason_, "chunk header at offset %zu runs past %s (ends at %zu)", at, parent_name, parent.end);
    }
    c.id = load_u16(bytes_.data() + at);
    const std::uint32_t length = load_u32(bytes_.data() + at + 2);
    if (length < kHeaderSize) {
      return refuse(&reason_, "chunk 0x%04X at offset %zu: length %u is shorter than its header", c.id, at, length);
    }
    c.start = at;
    if (length <= parent.end - at) {
      c.end = at + length;
      c.cut = false;
    } else if (parent.cut && length > bytes_.size() - at) {
      c.end = bytes_.size();
      c.cut = true;
    } else {
      return refuse(&reason_, "chunk 0x%04X at offset %zu: length %u runs past %s (ends at %zu)", c.id, at, length,
                  parent_name, parent.end);
    }
    pos_ = at + kHeaderSize;
    return true;
  }

  // Where the file is cut, when a walk keeps what it read before.
  void note_cut(const Chunk& c) {
    if (model_->cut.empty()) {
      char buffer[160];
      std::snprintf(buffer, sizeof buffer, "the file ends inside chunk 0x%04X at offset %zu; what was read before it is kept",
                    c.id, c.start);
      model_->cut = buffer;
    }
  }

  bool refuse_cut(const Chunk& c) {
    return refuse(&reason_, "the file ends inside chunk 0x%04X at offset %zu", c.id, c.start);
  }

  // The walk every level shares: from the current position up to the end of
  // `parent`, each handled chunk goes to `handler`, the others are skipped. A
  // handler leaves the position after what it read. When the file ends
  // inside `parent`, `cut` says whether what was read is kept.
  template <class Handler>
  bool walk(const Chunk& parent, Cut cut, Handler&& handler) {
    while (pos_ < parent.end) {
      Chunk c;
      if (!read_header(parent, c, "its parent chunk")) {
        if (!parent.cut || cut == Cut::refused) return false;
        note_cut(parent);  // inside the header of a chunk not yet known
        pos_ = parent.end;
        return true;
      }
      switch (handler(c)) {
        case Step::failed:
          return false;
        case Step::skip:
          if (c.cut) {
            if (cut == Cut::refused) return refuse_cut(c);
            note_cut(c);
          }
          pos_ = c.end;
          break;
        case Step::done:
          break;
      }
    }
    if (parent.cut) {
      if (cut == Cut::refused) return refuse_cut(parent);
      note_cut(parent);
    }
    return true;
  }

  // `n` more bytes of chunk `c` must follow the current position.
  bool need(const Chunk& c, std::size_t n, const char* what) {
    if (c.end - pos_ >= n) return true;
    return refuse(&reason_, "%s in chunk 0x%04X at offset %zu runs past the chunk (%zu bytes, %zu left)", what, c.id,
                c.start, n, c.end - pos_);
  }

  bool read_u16(const Chunk& c, std::uint16_t& out, const char* what) {
    if (!need(c, 2, what)) return false;
    out = load_u16(bytes_.data() + pos_);
    pos_ += 2;
    return true;
  }

  // A zero-terminated name of at most limit - 1 characters.
  bool read_name(const Chunk& c, std::size_t limit, const char* what, std::string& out) {
    const std::size_t room = c.end - pos_;
    const std::size_t window = room < limit ? room : limit;
    const std::uint8_t* first = bytes_.data() + pos_;
    const void* zero = window ? std::memchr(first, 0, window) : nullptr;
    if (zero == nullptr) {
      if (window == limit) {
        return refuse(&reason_, "%s at offset %zu is longer than %zu characters", what, pos_, limit - 1);
      }
      return refuse(&reason_, "%s at offset %zu runs past its chunk 0x%04X", what, pos_, c.id);
    }
    const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first);
    out.assign(reinterpret_cast<const char*>(first), length);
    pos_ += length + 1;
    return true;
  }

  bool mesh_data(const Chunk& c) {
    return walk(c, Cut::kept, [this](const Chunk& sub) {
      switch (sub.id) {
        case k3dsNamedObject:
          return named_object(sub) ? Step::done : Step::failed;
        case k3dsMaterial:
          return material(sub) ? Step::done : Step::failed;
        default:
          return Step::skip;
      }
    });
  }

  bool named_object(const Chunk& c) {
    std::string name;
    if (!read_name(c, k3dsObjectNameLimit, "object name", name)) return false;
    return walk(c, Cut::kept, [this, &name](const Chunk& sub) {
      if (sub.id != k3dsTriangleObject) return Step::skip;
      model_->meshes.emplace_back().name = name;
      return triangle_object(sub) ? Step::done : Step::failed;
    });
  }

  bool triangle_object(const Chunk& c) {
    ThreeDsMesh& mesh = model_->meshes.back();
    return walk(c, Cut::refused, [this, &mesh](const Chunk& sub) {
      bool ok = true;
      switch (sub.id) {
        case k3dsVertexList:
          ok = vertex_list(sub, mesh);
          break;
        case k3dsFaceList:
          ok = face_list(sub, mesh);
          break;
        case k3dsFaceGroup:
          ok = face_group(sub, mesh);
          break;
        case k3dsMappingList:
          ok = mapping_list(sub, mesh);
          break;
        default:
          return Step::skip;
      }
      return ok ? Step::done : Step::failed;
    });
  }

  bool vertex_list(const Chunk& c, ThreeDsMesh& mesh) {
    std::uint16_t count = 0;
    if (!read_u16(c, count, "vertex count")) return false;
    const std::size_t bytes = std::size_t{count} * 12;
    if (!need(c, bytes, "vertex list")) return false;
    load_floats<ThreeDsPoint, 3>(bytes_.data() + pos_, count, mesh.vertices);
    pos_ += bytes;
    return true;
  }

  bool face_list(const Chunk& c, ThreeDsMesh& mesh) {
    std::uint16_t count = 0;
    if (!read_u16(c, count, "face count")) return false;
    const std::size_t bytes = std::size_t{count} * 8;
    if (!need(c, bytes, "face list")) return false;
    mesh.faces.resize(count);
    const std::uint8_t* p = bytes_.data() + pos_;
    for (ThreeDsFace& f : mesh.faces) {
      f.a = load_u16(p);
      f.b = load_u16(p + 2);
      f.c = load_u16(p + 4);
      p += 8;  // the edge flags are not used
    }
    // The walk of the triangle object goes on from here, into the
    // sub-chunks of the face list.
    pos_ += bytes;
    return true;
  }

  bool face_group(const Chunk& c, ThreeDsMesh& mesh) {
    ThreeDsFaceGroup group;
    if (!read_name(c, k3dsNameLimit, "face group material name", group.material_name)) return false;
    std::uint16_t count = 0;
    if (!read_u16(c, count, "face group count")) return false;
    const std::size_t bytes = std::size_t{count} * 2;
    if (!need(c, bytes, "face group")) return false;
    group.faces.resize(count);
    const std::uint8_t* p = bytes_.data() + pos_;
    for (std::size_t i = 0; i < count; ++i) group.faces[i] = load_u16(p + 2 * i);
    pos_ += bytes;
    auto found = material_by_name_.find(group.material_name);
    if (found != material_by_name_.end()) group.material = found->second;
    mesh.groups.push_back(std::move(group));
    return true;
  }

  bool mapping_list(const Chunk& c, ThreeDsMesh& mesh) {
    std::uint16_t count = 0;
    if (!read_u16(c, count, "mapping count")) return false;
    const std::size_t bytes = std::size_t{count} * 8;
    if (!need(c, bytes, "mapping list")) return false;
    load_floats<ThreeDsUv, 2>(bytes_.data() + pos_, count, mesh.mapping);
    pos_ += bytes;
    return true;
  }

  bool material(const Chunk& c) {
    const std::size_t index = model_->materials.size() - 1;
    bool ok = walk(c, Cut::refused, [this, index](const Chunk& sub) {
      ThreeDsMaterial& m = model_->materials[index];
      bool good = true;
      switch (sub.id) {
        case k3dsMaterialName: {
          std::string name;
          good = read_name(sub, k3dsNameLimit, "material name", name);
          if (good) m.name = std::move(name);
          break;
        }
        case k3dsAmbient:
          good = colour(sub, m.ambient);
          break;
        case k3dsDiffuse:
          good = colour(sub, m.diffuse);
          break;
        case k3dsAlpha:
          good = alpha(sub, m.alpha);
          break;
        case k3dsTextureMap:
          good = texture_map(sub, m);
          break;
        default:
          return Step::skip;
      }
      return good ? Step::done : Step::failed;
    });
    if (!ok) return false;
    // The material's name is final now; face groups read from here on can
    // find it (the first material of a name wins).
    const ThreeDsMaterial& done = model_->materials[index];
    if (done.name) material_by_name_.emplace(*done.name, static_cast<std::int32_t>(index));
    model_->materials.emplace_back();
    return true;
  }

  bool colour(const Chunk& c, ThreeDsRgb& out) {
    return walk(c, Cut::refused, [this, &out](const Chunk& sub) {
      if (sub.id != k3dsColour24 && sub.id != k3dsColour24Gamma) return Step::skip;
      if (!need(sub, 3, "colour")) return Step::failed;
      const std::uint8_t* p = bytes_.data() + pos_;
      if (p[0] != 0 || p[1] != 0 || p[2] != 0) colour_seen_ = true;
      out.r = static_cast<float>(p[0]) * kByteToUnit;
      out.g = static_cast<float>(p[1]) * kByteToUnit;
      out.b = static_cast<float>(p[2]) * kByteToUnit;
      pos_ += 3;
      return Step::done;
    });
  }

  bool alpha(const Chunk& c, float& out) {
    bool seen = false;
    std::uint16_t percent = 0;
    bool ok = walk(c, Cut::refused, [this, &seen, &percent](const Chunk& sub) {
      if (sub.id != k3dsPercentage) return Step::skip;
      if (!read_u16(sub, percent, "percentage")) return Step::failed;
      seen = true;
      return Step::done;
    });
    if (!ok) return false;
    if (seen) {
      const float a = static_cast<float>(percent) * 0.01f;
      // 0 % and 1 % both mean opaque.
      out = static_cast<double>(a) < 0.01 ? 1.0f : a;
    }
    return true;
  }

  bool texture_map(const Chunk& c, ThreeDsMaterial& m) {
    return walk(c, Cut::refused, [this, &m](const Chunk& sub) {
      if (sub.id != k3dsMapName) return Step::skip;
      std::string name;
      if (!read_name(sub, k3dsNameLimit, "texture map name", name)) return Step::failed;
      m.texture = std::move(name);
      return Step::done;
    });
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  ThreeDsModel* model_ = nullptr;
  bool colour_seen_ = false;
  std::unordered_map<std::string, std::int32_t> material_by_name_;
  std::string reason_;
};

}  // namespace

bool validate_3ds(const ThreeDsModel& model, std::string* reason) {
  for (const ThreeDsMesh& mesh : model.meshes) {
    const std::size_t vertices = mesh.vertices.size();
    const std::size_t maps = mesh.mapping.size();
    for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
      const ThreeDsFace& f = mesh.faces[i];
      const std::size_t top = std::max({f.a, f.b, f.c});
      if (top >= vertices) {
        return refuse(reason, "mesh \"%s\": face %zu uses vertex %zu of %zu", mesh.name.c_str(), i, top, vertices);
      }
      if (maps != 0 && top >= maps) {
        return refuse(reason, "mesh \"%s\": face %zu uses mapping coordinate %zu of %zu", mesh.name.c_str(), i, top,
                    maps);
      }
    }
    for (const ThreeDsFaceGroup& group : mesh.groups) {
      if (group.material >= 0 && static_cast<std::size_t>(group.material) >= model.materials.size()) {
        return refuse(reason, "mesh \"%s\": face group \"%s\" refers to material %d of %zu", mesh.name.c_str(),
                    group.material_name.c_str(), group.material, model.materials.size());
      }
      for (std::int32_t j : group.faces) {
        if (j < 0 || static_cast<std::size_t>(j) >= mesh.faces.size()) {
          return refuse(reason, "mesh \"%s\": face group \"%s\" uses face %d of %zu", mesh.name.c_str(),
                      group.material_name.c_str(), j, mesh.faces.size());
        }
      }
    }
  }
  return true;
}

std::optional<ThreeDsModel> decode_3ds(std::span<const std::uint8_t> bytes, std::string* reason) {
  try {
    ThreeDsModel model;
    Reader reader(bytes);
    if (!reader.read(model)) {
      if (reason) *reason = reader.reason();
      return std::nullopt;
    }
    return model;
  } catch (const std::bad_alloc&) {
    if (reason) *reason = "out of memory";
    return std::nullopt;
  }
}

std::optional<ThreeDsModel> read_3ds(const std::string& path, std::string* reason) {
  UniqueFile file = open_regular_file(path);
  if (!file) {
    if (reason) *reason = "cannot be opened";
    return std::nullopt;
  }
  std::FILE* f = file.get();
  std::vector<std::uint8_t> bytes;
  std::size_t size = 0;
  const char* fault = nullptr;
  try {
    // The size is only a first guess (the file may change while it is
    // read): the loop reads whatever is there, up to the limit.
    long hint = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) hint = std::ftell(f);
    std::rewind(f);
    std::size_t capacity = hint > 0 ? static_cast<std::size_t>(hint) + 1 : 65536;
    for (;;) {
      capacity = std::min(capacity, k3dsMaxFileSize + 1);
      bytes.resize(capacity);
      const std::size_t n = std::fread(bytes.data() + size, 1, capacity - size, f);
      size += n;
      if (size > k3dsMaxFileSize) {
        fault = "file too large for a model";
        break;
      }
      if (size < capacity) {
        if (std::ferror(f)) fault = "read error";
        break;
      }
      capacity *= 2;
    }
  } catch (const std::bad_alloc&) {
    fault = "out of memory";
  }
  file.reset();
  if (fault) {
    if (reason) *reason = fault;
    return std::nullopt;
  }
  return decode_3ds(std::span<const std::uint8_t>(bytes.data(), size), reason);
}

}  // namespace kelvo
