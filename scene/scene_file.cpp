#include "scene/scene_file.h"

#include <algorithm>
#include <cctype>

#include "host/base/files.h"
#include "host/base/text_helpers.h"
#include "media/songs.h"
#include "motion/object_transform.h"
#include "render/gl_states.h"
#include "scene/emitters.h"
#include "scene/object_file.h"
#include "scene/scene_budget.h"
#include "scene/text_stream.h"

namespace kelvo {

namespace {

constexpr float kInv255 = 0.003921569f;
// The far edge of the viewport after a border: with the near edge within
// ±kFileIntLimit, every width and centre stays inside 32 bits.
constexpr std::int64_t kViewportEdgeLimit = std::int64_t{1} << 30;

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

void recompute_centre(Engine& e) {
  const ViewportBox& v = e.viewport_box;
  e.screen_centre = {(v.x1 - v.x0) / 2 + v.x0, (v.y1 - v.y0) / 2 + v.y0};
}

// Applies one header key; false for a key the format does not know.
bool apply_header_key(Engine& e, const std::string& file, int line, const std::string& key, std::string_view value) {
  const auto i = [&] { return checked_int(e, file, line, value); };
  const auto f = [&] { return checked_float(e, file, line, value); };
  if (key == "FARCLIP") e.far_clip = f();
  else if (key == "NEARCLIP" || key == "CHROMAKEYCOLOR_R" || key == "CHROMAKEYCOLOR_G" || key == "CHROMAKEYCOLOR_B" ||
           key == "CAMERA_SPEED_MOV" || key == "CAMERA_SPEED_ROT") {
  }
  else if (key == "PHONG") e.phong = i();
  else if (key == "LOGO") e.LOGO = i();
  else if (key == "FPS") e.fps = i();
  else if (key == "OBJMODE") e.obj_mode = i();
  else if (key == "DRAWMODE") e.draw_mode = i();
  else if (key == "BILINEAR") e.bilinear = i();
  else if (key == "KEYBOARD") e.keyboard = i();
  else if (key == "RANDOM_COLORS") e.Colors = i();
  else if (key == "FOGNEAR") e.fog_near = f();
  else if (key == "FOGFAR") e.fog_far = f();
  else if (key == "FOGCOLOR_R") e.fog_colour[0] = i();
  else if (key == "FOGCOLOR_G") e.fog_colour[1] = i();
  else if (key == "FOGCOLOR_B") e.fog_colour[2] = i();
  else if (key == "BORDER_X" || key == "BORDER_Y") {
    if (e.preview) return true;
    const std::int32_t border = i();  // within ±kFileIntLimit
    std::int32_t& low = key == "BORDER_X" ? e.viewport_box.x0 : e.viewport_box.y0;
    std::int32_t& high = key == "BORDER_X" ? e.viewport_box.x1 : e.viewport_box.y1;
    if (border != low) {
      low = border;
      // Kept where the width (high - low) and the centre stay in range.
      high = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(high) - border, -kViewportEdgeLimit,
                                                                 kViewportEdgeLimit));
    }
  }
  else if (key == "PERSPECTIVE_X") e.perspective[0] = f();
  else if (key == "PERSPECTIVE_Y") e.perspective[1] = f();
  else if (key == "CAMERA_POS_X") e.camera_pos.x = -f();
  else if (key == "CAMERA_POS_Y") e.camera_pos.y = -f();
  else if (key == "CAMERA_POS_Z") e.camera_pos.z = -f();
  else if (key == "CAMERA_ROT_X") e.camera_rot.x = -f();
  else if (key == "CAMERA_ROT_Y") e.camera_rot.y = -f();
  else if (key == "CAMERA_ROT_Z") e.camera_rot.z = -f();
  else if (key == "COLLISION_DETECTION") e.collision_detection = i();
  else if (key == "ELEVATION_ENABLED") e.elevation_enabled = i();
  else if (key == "AMBIENT_R") e.ambient[0] = i();
  else if (key == "AMBIENT_G") e.ambient[1] = i();
  else if (key == "AMBIENT_B") e.ambient[2] = i();
  else return false;
  return true;
}

float fold_angle(float a) {
  if (a < 0.0f) return a + 359.0f;
  if (a > 359.0f) return a - 359.0f;
  return a;
}

float adjust_speed(const Engine& e, float speed) {
  if (speed == 0.0f) return speed;
  if (e.Speed == 1) return speed * 2.0f;
  if (e.Speed == 2) return speed / 2.0f;
  return speed;
}

void skip_over_budget(Engine& e, const std::string& scene_file, int line, const std::string& name, BudgetItem item) {
  report_problem(e, false, scene_file, line, "object %s is skipped: the scene would pass its budget of %d %s",
                 name.c_str(), budget_limit(e.budget, item), budget_name(item));
}

// One object line; the object is counted when it loads. `object_lines`
// counts the object lines read so far, this one included.
void load_object_line(Engine& e, int object_lines, const std::string& scene_file, int line,
                      const std::vector<std::string_view>& t) {
  std::string name(t[0]);
  trim_spaces(name);
  debug_log(e.log, "***** processing: %s", name.c_str());
  float v[13] = {};
  for (std::size_t k = 1; k < 13 && k < t.size(); ++k) v[k] = checked_float(e, scene_file, line, t[k]);
  float scale = 1.0f;
  if (t.size() > 13 && is_number(t[13])) {
    float s = text_to_float(t[13]);
    if (s != 0.0f) scale = s;
  }
  for (int k = 7; k <= 12; ++k) v[k] = adjust_speed(e, v[k]);

  if (name.find_first_of("/\\") != std::string::npos) {
    report_problem(e, true, scene_file, line, "object name %s must not contain a path separator", name.c_str());
    debug_log(e.log, "load failed!");
    return;
  }
  if (object_lines > e.budget.object_lines) {
    skip_over_budget(e, scene_file, line, name, BudgetItem::object_lines);
    return;
  }
  BudgetItem over = BudgetItem::none;
  if (!read_object(e, e.paths.dir_temp + name, &over)) {
    e.objects.resize(static_cast<std::size_t>(e.object_count));
    if (over != BudgetItem::none)
      skip_over_budget(e, scene_file, line, name, over);
    else
      report_problem(e, true, scene_file, line, "object %s was not loaded", name.c_str());
    debug_log(e.log, "load failed!");
    return;
  }
  const int n = e.object_count;
  Object& o = e.objects[static_cast<std::size_t>(n)];
  if (o.particled && !o.vertices.empty() &&
      particles_in_use(e) + std::clamp(e.particle_parameters.count, 0, kMaxParticlesPerSystem) > e.budget.particles) {
    e.objects.resize(static_cast<std::size_t>(e.object_count));
    skip_over_budget(e, scene_file, line, name, BudgetItem::particles);
    return;
  }
  compute_bounds(o);
  translate_object(o, v[1], v[2], v[3]);
  o.rot_speed = {v[7], v[8], v[9]};
  o.orbit_speed = {v[10], v[11], v[12]};
  o.automove = std::any_of(v + 7, v + 13, [](float s) { return s != 0.0f; }) ? 1 : 0;
  if (o.automove) debug_log(e.log, "object automove");
  debug_log(e.log, "loaded vertex=%d faces=%d", o.vertex_count, o.face_count);
  spin_object(o, v[4], v[5], v[6]);
  if (scale != 1.0f) scale_object(o, scale);
  compute_bounds(o);

  if (e.Colors && o.accept_random) {
    for (Face& face : o.faces) {
      face.red = static_cast<std::uint8_t>(random_next(e.random) % 256);
      face.green = static_cast<std::uint8_t>(random_next(e.random) % 256);
      face.blue = static_cast<std::uint8_t>(random_next(e.random) % 256);
    }
  }
  if (o.particled) {
    ParticleParameters& p = e.particle_parameters;
    if (e.Colors && o.accept_random) {
      for (int& c : p.start_colour) c = random_next(e.random) % 256;
      for (int& c : p.end_colour) c = random_next(e.random) % 256;
    }
    setup_particle_system(e, n, p, e.particle_texture_name, p.blend, o.accept_random);
  }
  if (o.light_source) setup_light(e, n);
  e.total_vertices += o.vertex_count;
  e.total_faces += o.face_count;
  ++e.object_count;
}

void rescale(Engine& e) {
  for (int& a : e.ambient) a /= 2;
  for (Object& o : e.objects) {
    o.bump_level *= kInv255;
    o.tex_env *= kInv255;
    for (float& s : o.tex_shift)
      if (s != 0.0f) s *= kInv255;
    if (o.shadow_dark != 0) o.shadow_dark /= 2;
    for (Face& face : o.faces) {
      for (float& u : face.u) u *= kInv255;
      for (float& v : face.v) v *= kInv255;
      face.alpha >>= 1;
      face.red >>= 1;
      face.green >>= 1;
      face.blue >>= 1;
    }
  }
}

void statistics(Engine& e, const std::string& scene_file) {
  auto any = [&](auto predicate) { return std::any_of(e.objects.begin(), e.objects.end(), predicate); };
  debug_log(e.log, "************** STAT SCENE");
  if (e.particle_system_count == 0) {
    e.particle_switch = 0;
    debug_log(e.log, "!particle disabled");
  } else {
    debug_log(e.log, "particle enabled");
  }
  if (e.light_count == 0) {
    debug_log(e.log, "!light disabled");
    e.light_switch = 0;
    e.phong = 0;
    for (Object& o : e.objects) o.shadow_cast = o.bump_level = 0;
  } else {
    debug_log(e.log, "light enabled");
  }
  if (e.fog_far == e.fog_near || e.Fog == 0) {
    e.Fog = 0;
    debug_log(e.log, "!fog disabled");
  } else {
    debug_log(e.log, "fog enabled");
  }
  if (any([](const Object& o) { return o.automove || o.tex_shift[0] != 0.0f || o.tex_shift[1] != 0.0f; })) {
    debug_log(e.log, "objects move enabled");
  } else {
    e.objects_move_switch = 0;
    debug_log(e.log, "!objects move disabled");
  }
  for (Object& o : e.objects) {
    o.perspective_ok = 1;
    if (o.fixed == 1 || o.fixed == 2) o.perspective_ok = 0;
    else if (o.fixed == 3) o.fixed = 1;
    else if (o.fixed == 4) o.fixed = 2;
  }
  for (Object& o : e.objects)
    if (o.fixed != 0) o.shadow_cast = 0;
  debug_log(e.log, any([](const Object& o) { return o.shadow_cast != 0.0f; }) ? "shadows enabled" : "!shadows disabled");
  for (Object& o : e.objects)
    if (o.bump_tex[0] == -1 || o.bump_tex[1] == -1) o.bump_level = 0;
  debug_log(e.log, any([](const Object& o) { return o.bump_level != 0.0f; }) ? "bumpmap enabled" : "!bumpmap disabled");
  if (any([](const Object& o) { return o.halo_dim != 0; })) {
    debug_log(e.log, "halos enabled");
  } else {
    e.halo_switch = 0;
    debug_log(e.log, "!halos disabled");
  }
  debug_log(e.log, any([](const Object& o) { return o.tex_mask != -1; }) ? "mask enabled" : "!mask disabled");
  debug_log(e.log, e.collision_detection == 0 ? "!collision detection disabled" : "collision detection enabled");
  debug_log(e.log, e.elevation_enabled == 0 ? "!elevation disabled" : "elevation enabled");
  if (any([](const Object& o) { return o.flare_dim != 0; })) {
    debug_log(e.log, "flare enabled");
    load_lens_textures(e);
  } else {
    e.flare_switch = 0;
    debug_log(e.log, "!flare disabled");
  }
  for (Object& o : e.objects)
    if (o.chroma_tex == -1) o.chromakey = 0;
  debug_log(e.log, any([](const Object& o) { return o.chromakey != 0; }) ? "chromakey enabled" : "!chromakey disabled");
  if (e.perspective[0] == 1.0f && e.perspective[1] == 1.0f) {
    e.perspective_switch = 0;
    debug_log(e.log, "!perspective disabled");
  } else {
    e.perspective_switch = 1;
    debug_log(e.log, "perspective enabled: %.1f/%.1f", e.perspective[0], e.perspective[1]);
    if (e.perspective[0] == 0.0f || e.perspective[1] == 0.0f)
      report_problem(e, true, scene_file, 0,
                     "PERSPECTIVE_X and PERSPECTIVE_Y are not both set: a factor of 0 collapses the view "
                     "(set both to 1 to keep the effect off)");
  }
  const ViewportBox& v = e.viewport_box;
  e.perspective[0] *= static_cast<float>(v.x1 - v.x0);
  e.perspective[1] *= static_cast<float>(v.y1 - v.y0);
  debug_log(e.log, "screen: %d,%d,%d,%d", v.x0, v.y0, v.x1, v.y1);
  const std::int64_t memory =
      std::int64_t(e.total_vertices) * 36 + std::int64_t(e.total_faces) * 96 + std::int64_t(e.object_count) * 292;
  e.objects_memory = static_cast<std::int32_t>(std::min<std::int64_t>(memory, INT32_MAX));
  debug_log(e.log, "************** MEMORY");
  debug_log(e.log, "total vertex: %ld", static_cast<long>(e.total_vertices));
  debug_log(e.log, "total faces: %ld", static_cast<long>(e.total_faces));
  debug_log(e.log, "objects memory in use: %ld KB", static_cast<long>(e.objects_memory / 1024));
  debug_log(e.log, "texture memory in use: %ld KB", static_cast<long>(e.texture_memory / 1024));
}

}  // namespace

void colour_reset(Engine& e) {
  for (Object& o : e.objects) {
    for (Face& face : o.faces) {
      face.visible = 1;
      const std::uint32_t colour = (std::uint32_t(face.alpha) << 24) | (std::uint32_t(face.red) << 16) |
                                   (std::uint32_t(face.green) << 8) | face.blue;
      face.corner_colours.fill(colour);
      for (int c = 0; c < face.corner_count && c < 4; ++c) {
        std::size_t k = static_cast<std::size_t>(face.corners[static_cast<std::size_t>(c)]);
        if (k < o.vertices.size()) o.vertices[k].vertex_colour = colour;
      }
    }
  }
  if (e.gl_ready) set_normal_state(e);
}

int load_scene(Engine& e, const std::string& name) {
  debug_log(e.log, "workDir=%s", e.paths.dir_temp.c_str());
  debug_log(e.log, "scene=%s", name.c_str());
  // Named as the scene names it in messages, as found on disk once found.
  std::string file = name + ".TXT";
  const std::string path = find_file(e.paths.dir_temp, file);
  if (!path.empty()) file = path.substr(e.paths.dir_temp.size());
  std::optional<TextStream> stream;
  if (!path.empty()) stream = TextStream::open(path);
  if (!stream) {
    debug_log(e.log, "scene open failed");
    report_problem(e, true, file, 0, "the scene file is missing, unreadable or not a regular file");
    return 0;
  }
  TextStream& in = *stream;

  e.obj_mode = 0;
  e.fps = 0;
  recompute_centre(e);
  e.draw_mode = 1;
  e.phong = 0;
  e.bilinear = 1;
  e.light_switch = e.flare_switch = e.halo_switch = e.particle_switch = e.objects_move_switch = e.keyboard = 1;
  e.viewport_box.x0 = 0;
  e.viewport_box.y0 = 0;

  // Header.
  bool cut = false;
  while (std::optional<std::string> word = in.word(&cut)) {
    if (cut) report_problem(e, false, file, in.line_number(), "word longer than %zu characters is cut", kWordMax);
    std::vector<std::string_view> t = split_tokens(*word, kDescriptionDelimiters);
    if (t.empty()) continue;
    const std::string key = upper(t[0]);
    if (key == "OBJECTS") break;
    if (is_number(t[0])) {
      debug_log(e.log, "scene open failed");
      debug_log(e.log, "[old format]");
      report_problem(e, true, file, in.line_number(),
                     "'%s' is a number where a key belongs: the file is taken as the old format and not read "
                     "(write KEY=value without blanks)",
                     std::string(t[0]).c_str());
      return 0;
    }
    if (t.size() < 2) {
      report_problem(e, false, file, in.line_number(), "%s has no value (write it as %s=value)", key.c_str(), key.c_str());
      continue;
    }
    if (!apply_header_key(e, file, in.line_number(), key, t[1])) report_problem(e, false, file, in.line_number(), "unknown key %s", key.c_str());
  }
  recompute_centre(e);
  e.camera_rot = {fold_angle(e.camera_rot.x), fold_angle(e.camera_rot.y), fold_angle(e.camera_rot.z)};

  // Objects.
  int object_lines = 0;
  while (std::optional<std::string> line = in.line(&cut)) {
    const int number = in.line_number();
    if (cut) report_problem(e, false, file, number, "line longer than %zu characters is cut", kLineMax);
    std::string shown = *line;
    if (!shown.empty() && shown.back() == '\n') shown.pop_back();
    if (line->empty() || (*line)[0] == '/' || line->size() < 3) {
      debug_log(e.log, "skipped:%s", shown.c_str());
      continue;
    }
    std::vector<std::string_view> t = split_tokens(*line, kDescriptionDelimiters);
    if (t.empty()) {
      debug_log(e.log, "skipped:%s", shown.c_str());
      continue;
    }
    load_object_line(e, ++object_lines, file, number, t);
  }

  rescale(e);
  statistics(e, file);
  colour_reset(e);

  debug_log(e.log, "************** MEDIA");
  std::string song = find_file(e.paths.dir_temp, name + ".MID");
  if (song.empty()) song = e.paths.dir_temp + name + ".MID";
  if (file_exists(song)) {
    debug_log(e.log, "running song %s", song.c_str());
    start_song(e, song);
  } else {
    debug_log(e.log, "scene song failed %s", song.c_str());
  }
  return 1;
}

}  // namespace kelvo
