#include "scene/object_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

#include "host/base/files.h"
#include "host/base/text_helpers.h"
#include "model/model_prepare.h"
#include "model/texture_slots.h"
#include "model/three_ds.h"
#include "scene/scene_budget.h"
#include "scene/text_stream.h"

namespace kelvo {

namespace {

constexpr std::size_t kTextureNames = 9;
constexpr std::size_t kNameMax = 254;

bool same_key(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y)); });
}

std::uint32_t pack_colour(int a, int r, int g, int b) {
  return (std::uint32_t(a & 0xFF) << 24) | (std::uint32_t(r & 0xFF) << 16) | (std::uint32_t(g & 0xFF) << 8) |
         std::uint32_t(b & 0xFF);
}

// Float to integer, truncating, without overflow.
std::int32_t truncate_to_int(float f) {
  if (!(f > -2147483520.0f)) return f != f ? 0 : INT32_MIN;
  if (f > 2147483520.0f) return INT32_MAX;
  return static_cast<std::int32_t>(f);
}

std::int32_t scaled_int(std::int32_t n, std::int64_t numerator, std::int64_t denominator) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(n) * numerator / denominator, INT32_MIN, INT32_MAX));
}

// The state of one object file while it is read.
struct ObjectReader {
  Engine& e;
  std::string file;  // name for messages
  TextStream& in;
  std::size_t index;
  int red = 255, green = 255, blue = 255, alpha = 255;
  int repeat_u = 255, repeat_v = 255;
  std::array<std::string, kTextureNames> texture_names;
  // Set when the object would take the scene past its budget.
  BudgetItem over_budget = BudgetItem::none;
  std::set<std::string> missing_textures;

  ObjectReader(Engine& engine, std::string name, TextStream& stream, std::size_t at)
      : e(engine), file(std::move(name)), in(stream), index(at) {
    texture_names.fill("NULL");
  }

  Object& object() { return e.objects[index]; }

  std::int32_t texture(std::string_view name) {
    std::string n(name);
    if (n.size() > kNameMax) {
      report_problem(e, true, file, in.line_number(), "texture name longer than %zu characters", kNameMax);
      return -1;
    }
    // A name that failed once is not searched for (nor reported) again.
    if (missing_textures.count(n)) return -1;
    int slot = load_texture(e, n);
    if (slot < 0 && n != "NULL") {
      missing_textures.insert(n);
      report_problem(e, true, file, in.line_number(), "texture %s.3DF is missing or unreadable", n.c_str());
    }
    return slot;
  }

  static std::uint16_t slot16(std::int32_t slot) { return slot < 0 ? kNoTexture16 : static_cast<std::uint16_t>(slot); }

  enum class Next { more, points, external, end };

  Next apply_key(const std::vector<std::string_view>& t, int* orientation, std::string* model) {
    Object& o = object();
    std::string_view key = t[0];
    auto i = [&] { return checked_int(e, file, in.line_number(), t[1]); };
    auto f = [&] { return checked_float(e, file, in.line_number(), t[1]); };
    if (same_key(key, "TYPE")) {
    } else if (same_key(key, "COLOR_R")) {
      red = i();
    } else if (same_key(key, "COLOR_G")) {
      green = i();
    } else if (same_key(key, "COLOR_B")) {
      blue = i();
    } else if (same_key(key, "COLOR_A")) {
      alpha = i();
    } else if (same_key(key, "ACCEPT_RANDOM")) {
      o.accept_random = i();
    } else if (same_key(key, "TEX_NAME")) {
      if (t.size() - 1 > kTextureNames)
        report_problem(e, false, file, in.line_number(), "TEX_NAME takes at most %zu names; the rest are ignored", kTextureNames);
      for (std::size_t k = 1; k < t.size() && k <= kTextureNames; ++k) texture_names[k - 1] = std::string(t[k].substr(0, kNameMax));
    } else if (same_key(key, "TEX_SPEED")) {
      std::int32_t n = i();
      if (e.Speed == 1 && n > 1) n /= 2;
      if (e.Speed == 2) n = scaled_int(n, 2, 1);
      o.tex_speed = o.tex_countdown = n;
    } else if (same_key(key, "TEX_SHIFT_X") || same_key(key, "TEX_SHIFT_Y")) {
      float v = f();
      if (e.Speed == 1) v *= 2.0f;
      if (e.Speed == 2) v /= 2.0f;
      o.tex_shift[same_key(key, "TEX_SHIFT_X") ? 0 : 1] = v;
    } else if (same_key(key, "TEX_ENV") || same_key(key, "TEX_EVSCALE")) {
      o.tex_env = f();
    } else if (same_key(key, "TEX_EVMAP")) {
      o.tex_evmap = texture(t[1]);
    } else if (same_key(key, "TEX_BUMPLEVEL")) {
      o.bump_level = f();
    } else if (same_key(key, "TEX_BUMPMAP")) {
      o.bump_tex[0] = texture(t[1]);
      o.bump_tex[1] = t.size() > 2 ? texture(t[2]) : -1;
      if (o.bump_tex[0] == -1 || o.bump_tex[1] == -1) o.bump_level = 0;
    } else if (same_key(key, "TEX_MASK")) {
      o.tex_mask = texture(t[1]);
    } else if (same_key(key, "TEX_REPEAT_H")) {
      repeat_u = truncate_to_int(f() * 255.0f);
    } else if (same_key(key, "TEX_REPEAT_V")) {
      repeat_v = truncate_to_int(f() * 255.0f);
    } else if (same_key(key, "AUTOLIGHTED")) {
      o.autolighted = i();
    } else if (same_key(key, "FLAREDIM")) {
      o.flare_dim = i();
    } else if (same_key(key, "CHROMAKEY")) {
      o.chromakey = i();
    } else if (same_key(key, "CHROMATEX")) {
      o.chroma_tex = texture(t[1]);
    } else if (same_key(key, "PARTICLED")) {
      o.particled = i();
    } else if (same_key(key, "PARTICLE_TEST")) {
      o.particle_test = i();
    } else if (same_key(key, "BILINEAR")) {
      o.object_bilinear = i();
    } else if (same_key(key, "FIXED")) {
      o.fixed = i();
    } else if (same_key(key, "LIGHTSOURCE")) {
      o.light_source = i();
    } else if (same_key(key, "SHADOW_CAST")) {
      o.shadow_cast = f();
    } else if (same_key(key, "SHADOW_DARK")) {
      o.shadow_dark = i();
    } else if (same_key(key, "GHOUL_MODE")) {
      o.ghoul_mode = i();
    } else if (same_key(key, "GHOUL_TEST") || same_key(key, "HALO_TEST")) {
      o.ghoul_test = i();
    } else if (same_key(key, "SOLIDITY")) {
      o.solidity = i();
    } else if (same_key(key, "SHADER")) {
      o.shader = i();
    } else if (same_key(key, "HALO_DIM")) {
      o.halo_dim = i();
    } else if (same_key(key, "HALO_TEX")) {
      o.halo_frame = 0;
      if (t.size() - 1 > o.halo_tex.size())
        report_problem(e, false, file, in.line_number(), "HALO_TEX takes at most %zu names; the rest are ignored", o.halo_tex.size());
      for (std::size_t k = 1; k < t.size() && k <= o.halo_tex.size(); ++k) o.halo_tex[k - 1] = texture(t[k]);
    } else if (same_key(key, "CULL")) {
      std::int32_t c = i();
      o.front_face = c == 1 ? 0x901u : c == 2 ? 2u : 0x900u;
    } else if (same_key(key, "EXTERN") || same_key(key, "EXT_ZREV") || same_key(key, "EXT_OREV")) {
      *orientation = same_key(key, "EXTERN") ? 0 : same_key(key, "EXT_ZREV") ? 1 : 2;
      *model = std::string(t[1]);
      return Next::external;
    } else {
      report_problem(e, false, file, in.line_number(), "unknown key %.*s", static_cast<int>(key.size()), key.data());
    }
    return Next::more;
  }

  // The vertex list: "x,y,z" items until three integers cannot be read.
  // False when the list would take the scene past its vertex budget.
  bool read_vertices() {
    Object& o = object();
    const std::uint32_t colour = pack_colour(alpha, red, green, blue);
    const std::size_t room = static_cast<std::size_t>(vertices_left(e));
    for (;;) {
      std::optional<std::int32_t> x = in.integer();
      if (!x || !in.accept(',')) break;
      std::optional<std::int32_t> y = in.integer();
      if (!y || !in.accept(',')) break;
      std::optional<std::int32_t> z = in.integer();
      if (!z) break;
      if (o.vertices.size() == room) {
        over_budget = BudgetItem::vertices;
        return false;
      }
      Vertex v;
      v.position = {static_cast<float>(*x), static_cast<float>(*y), static_cast<float>(*z)};
      v.vertex_colour = colour;
      o.vertices.push_back(v);
    }
    o.vertex_count = static_cast<std::int32_t>(o.vertices.size());
    return true;
  }

  // One face line; false refuses the object.
  bool read_face(const std::vector<std::string_view>& t) {
    Object& o = object();
    const int line = in.line_number();
    if (t.size() < 3) {
      report_problem(e, true, file, line, "a face needs three corner numbers; the object is refused");
      return false;
    }
    if (o.faces.size() == static_cast<std::size_t>(faces_left(e))) {
      over_budget = BudgetItem::faces;
      return false;
    }
    Face face;
    face.corner_count = 3;
    std::size_t next = 3;
    if (t.size() > 3 && is_number(t[3])) {
      face.corner_count = 4;
      next = 4;
    }
    for (int c = 0; c < face.corner_count; ++c) {
      std::int32_t n = text_to_int(t[static_cast<std::size_t>(c)]);
      if (n < 1 || n > o.vertex_count) {
        report_problem(e, true, file, line, "corner %d names vertex %d of %d; the object is refused", c + 1, n, o.vertex_count);
        return false;
      }
      face.corners[static_cast<std::size_t>(c)] = n - 1;
    }
    std::string name = next < t.size() ? std::string(t[next++]) : texture_names[0];
    trim_spaces(name);
    face.current_frame = 0;
    face.texture_frames[0] = slot16(texture(name));
    if (name == texture_names[0]) {
      for (std::size_t k = 1; k < kTextureNames; ++k) face.texture_frames[k] = slot16(texture(texture_names[k]));
    }
    float ru = static_cast<float>(repeat_u), rv = static_cast<float>(repeat_v);
    int r = red, g = green, b = blue, a = alpha;
    if (next < t.size()) ru = static_cast<float>(truncate_to_int(text_to_float(t[next++]) * 255.0f));
    if (next < t.size()) rv = static_cast<float>(truncate_to_int(text_to_float(t[next++]) * 255.0f));
    for (int* channel : {&r, &g, &b, &a}) {
      if (next >= t.size()) break;
      std::string_view token = t[next++];
      if (is_number(token)) *channel = text_to_int(token);
    }
    face.u = {0.0f, ru, ru, 0.0f};
    face.v = {0.0f, 0.0f, rv, rv};
    face.alpha = static_cast<std::uint8_t>(a & 0xFF);
    face.red = static_cast<std::uint8_t>(r & 0xFF);
    face.green = static_cast<std::uint8_t>(g & 0xFF);
    face.blue = static_cast<std::uint8_t>(b & 0xFF);
    o.faces.push_back(face);
    o.face_count = static_cast<std::int32_t>(o.faces.size());
    return true;
  }

  void read_particle_line(const std::string& text) {
    std::string shown = text;
    if (!shown.empty() && shown.back() == '\n') shown.pop_back();
    debug_log(e.log, "particles->%s", shown.c_str());
    ParticleParameters& p = e.particle_parameters;
    p.blend = 0;
    std::vector<std::string_view> t = split_tokens(text, kDescriptionDelimiters);
    auto has = [&](std::size_t k) { return k < t.size(); };
    auto integer = [&](std::size_t k) { return checked_int(e, file, in.line_number(), t[k]); };
    if (has(0)) p.count = integer(0);
    if (has(1)) p.size = integer(1);
    if (has(2)) p.life = integer(2);
    if (has(3)) p.acceleration = text_to_float(t[3]);
    if (has(4)) p.spread = text_to_float(t[4]);
    if (has(5)) p.velocity.x = text_to_float(t[5]);
    if (has(6)) p.velocity.y = text_to_float(t[6]);
    if (has(7)) p.velocity.z = text_to_float(t[7]);
    for (std::size_t k = 0; k < 3; ++k) {
      if (has(8 + k)) p.start_colour[k] = integer(8 + k);
      if (has(11 + k)) p.end_colour[k] = integer(11 + k);
    }
    if (has(14)) e.particle_texture_name = std::string(t[14].substr(0, kNameMax));
    trim_spaces(e.particle_texture_name);
    if (has(15)) p.blend = static_cast<std::int8_t>(static_cast<std::uint8_t>(text_to_int(t[15]) & 0xFF));
  }

  void finish() {
    Object& o = object();
    if (o.tex_mask != -1) o.tex_speed = o.tex_countdown = 0;
  }
};

std::string file_name_of(const std::string& path) {
  std::size_t slash = path.find_last_of(kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The regular file `name` of `dir`, whatever the case of its letters; ""
// when there is none.
std::string find_regular_file(const std::string& dir, const std::string& name) {
  std::string path = find_file(dir, name);
  return !path.empty() && file_exists(path) ? path : std::string();
}

// load_model for the object at `object_count`, refusing a model that would
// take the scene past its vertex or face budget (`over` says which).
int load_model_in_budget(Engine& e, const std::string& path, int create, int orientation, std::string& reason,
                         BudgetItem& over) {
  std::optional<ThreeDsModel> model = read_3ds(path, &reason);
  if (!model) return 0;
  std::size_t vertices = 0, faces = 0;
  for (const ThreeDsMesh& mesh : model->meshes) {
    vertices += mesh.vertices.size();
    faces += mesh.faces.size();
  }
  if (vertices > static_cast<std::size_t>(vertices_left(e))) over = BudgetItem::vertices;
  else if (faces > static_cast<std::size_t>(faces_left(e))) over = BudgetItem::faces;
  if (over != BudgetItem::none) return 0;
  if (!model->cut.empty()) report_problem(e, false, file_name_of(path), 0, "%s", model->cut.c_str());
  return prepare_model(e, *model, create, orientation, &reason);
}

}  // namespace

int read_object(Engine& e, const std::string& base_path, BudgetItem* over_budget) {
  e.particle_texture_name = "PARTICLE";
  BudgetItem over = BudgetItem::none;
  const auto finish = [&](int result) {
    if (over_budget) *over_budget = over;
    return result;
  };

  // The object file, its name with ".TXT", or a bare model, in this order,
  // whatever the case of their letters.
  const std::string dir = directory_of(base_path);
  const std::string name = base_path.substr(dir.size());
  std::string path = find_regular_file(dir, name);
  if (path.empty()) path = find_regular_file(dir, name + ".TXT");
  if (path.empty()) {
    const std::string model_path = find_regular_file(dir, name + ".3DS");
    if (model_path.empty()) {
      report_problem(e, true, name, 0, "no object file (neither the name, .TXT nor .3DS exists)");
      return finish(0);
    }
    std::string reason;
    const int ok = load_model_in_budget(e, model_path, 1, kOrientMirrorZ, reason, over);
    if (!ok && over == BudgetItem::none)
      report_problem(e, true, file_name_of(model_path), 0, "the model cannot be read: %s", reason.c_str());
    return finish(ok);
  }

  std::optional<TextStream> stream = TextStream::open(path);
  if (!stream) {
    report_problem(e, true, file_name_of(path), 0, "cannot be read");
    return finish(0);
  }
  const std::size_t at = static_cast<std::size_t>(e.object_count);
  e.objects.resize(at);
  e.objects.emplace_back();
  init_object(e.objects[at]);
  e.objects[at].index = e.object_count;
  e.objects[at].front_face = 0x900;
  ObjectReader r(e, file_name_of(path), *stream, at);
  TextStream& in = *stream;

  // Keys.
  int orientation = 0;
  std::string model;
  ObjectReader::Next next = ObjectReader::Next::end;
  bool cut = false;
  while (std::optional<std::string> word = in.word(&cut)) {
    if (cut) report_problem(e, false, r.file, in.line_number(), "word longer than %zu characters is cut", kWordMax);
    std::vector<std::string_view> t = split_tokens(*word, kDescriptionDelimiters);
    if (t.empty()) continue;
    if (same_key(t[0], "POINTS")) {
      next = ObjectReader::Next::points;
      break;
    }
    if (t.size() < 2) continue;
    if (r.apply_key(t, &orientation, &model) == ObjectReader::Next::external) {
      next = ObjectReader::Next::external;
      break;
    }
  }

  if (next == ObjectReader::Next::points) {
    if (!r.read_vertices()) {
      over = r.over_budget;
      return finish(0);
    }
    in.line();  // the rest of the line where the list ended
    std::optional<std::string> line = in.line(&cut);
    while (line) {
      if (cut) report_problem(e, false, r.file, in.line_number(), "line longer than %zu characters is cut", kLineMax);
      trim_spaces(*line);
      if (line->size() < 5) {
        report_problem(e, true, r.file, in.line_number(),
                       "face line shorter than 5 characters (an empty line?); the object is refused");
        return finish(0);
      }
      std::vector<std::string_view> t = split_tokens(*line, kDescriptionDelimiters);
      if (!t.empty() && same_key(t[0], "PARTICLE")) {
        if (std::optional<std::string> particle = in.line()) r.read_particle_line(*particle);
        break;
      }
      if (!r.read_face(t)) {
        over = r.over_budget;
        return finish(0);
      }
      line = in.line(&cut);
    }
  } else if (next == ObjectReader::Next::external) {
    const int line = in.line_number();
    if (model.find_first_of("/\\") != std::string::npos) {
      report_problem(e, true, r.file, line, "model name %s must not contain a path separator", model.c_str());
      return finish(0);
    }
    const std::string model_path = find_regular_file(e.paths.dir_temp, model + ".3DS");
    debug_log(e.log, "external 3ds %s", model_path.empty() ? (e.paths.dir_temp + model + ".3DS").c_str() : model_path.c_str());
    if (model_path.empty()) {
      report_problem(e, true, r.file, line, "model %s.3DS is missing", model.c_str());
      return finish(0);
    }
    std::string reason;
    if (!load_model_in_budget(e, model_path, 0, orientation, reason, over)) {
      if (over == BudgetItem::none)
        report_problem(e, true, r.file, line, "model %s cannot be read: %s", file_name_of(model_path).c_str(),
                       reason.c_str());
      return finish(0);
    }
    Object& o = r.object();
    const bool textured = r.texture_names[0] != "NULL";
    const bool coloured = r.red != 0 && r.green != 0 && r.blue != 0 && r.alpha != 0;
    std::array<std::uint16_t, kTextureNames> frames{};
    if (textured)
      for (std::size_t k = 0; k < kTextureNames; ++k) frames[k] = ObjectReader::slot16(r.texture(r.texture_names[k]));
    for (Face& face : o.faces) {
      if (textured) std::copy(frames.begin(), frames.end(), face.texture_frames.begin());
      if (coloured) {
        face.alpha = static_cast<std::uint8_t>(r.alpha & 0xFF);
        face.red = static_cast<std::uint8_t>(r.red & 0xFF);
        face.green = static_cast<std::uint8_t>(r.green & 0xFF);
        face.blue = static_cast<std::uint8_t>(r.blue & 0xFF);
      }
    }
    if (std::optional<std::string> rest = in.line()) r.read_particle_line(*rest);
  }
  r.finish();
  return finish(1);
}

}  // namespace kelvo
