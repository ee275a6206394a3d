#include "script/script_writes.h"

#include <utility>
#include <vector>

#include "scene/scene_file.h"

namespace kelvo {

namespace {

constexpr std::uint32_t kGrey = 0x7F7F7F7Fu;

// Colour bytes 0..127 (GL takes them as signed bytes).
std::uint8_t random_byte(Engine& e) { return static_cast<std::uint8_t>(random_next(e.random) & 127); }

int corners_of(const Face& f) { return f.corner_count < 0 ? 0 : f.corner_count > 4 ? 4 : f.corner_count; }

void set_vertex_colour(Object& o, std::int32_t vertex, std::uint32_t colour) {
  if (vertex >= 0 && static_cast<std::size_t>(vertex) < o.vertices.size())
    o.vertices[static_cast<std::size_t>(vertex)].vertex_colour = colour;
}

// The scene loader's colour reset without its GL step: the script's reset
// never touched the GL state, and neither does this one on the window thread.
void colour_reset_without_gl(Engine& e) {
  const std::int32_t gl_ready = e.gl_ready;
  e.gl_ready = 0;
  colour_reset(e);
  e.gl_ready = gl_ready;
}

void apply(Engine& e, Platform& platform, const ScriptWrite& w) {
  switch (w.kind) {
    case ScriptWriteKind::speed:
      e.Speed = w.value;
      break;
    case ScriptWriteKind::draw_mode:
      e.draw_mode = w.value;
      break;
    case ScriptWriteKind::random_colours:
      if (w.value == 0) {
        e.Colors = 0;
        grey_colours(e);
      } else {
        e.Colors = 1;
        random_colours(e);
      }
      break;
    case ScriptWriteKind::lighting:
      e.light_switch = w.value;
      colour_reset_without_gl(e);
      break;
    case ScriptWriteKind::fog:
      e.Fog = w.value;
      break;
    case ScriptWriteKind::smooth:
      e.phong = w.value;
      break;
    case ScriptWriteKind::particles:
      e.particle_switch = w.value;
      break;
    case ScriptWriteKind::feedback: {
      auto [x, y] = platform.cursor_pos();
      e.last_cursor = {x, y};
      e.keyboard = w.value;
      break;
    }
    case ScriptWriteKind::fix_camera:
      e.camera_pos = w.pos;
      e.camera_rot = w.rot;
      break;
    case ScriptWriteKind::object_visible:
      if (w.object >= 0 && static_cast<std::size_t>(w.object) < e.objects.size())
        e.objects[static_cast<std::size_t>(w.object)].visible = w.value;
      break;
    case ScriptWriteKind::objects_move:
      e.objects_move_switch = w.value;
      break;
  }
}

}  // namespace

bool queue_script_write(Engine& e, const ScriptWrite& write) {
  ScriptWriteQueue& q = e.script_writes;
  std::lock_guard lock(q.mutex);
  if (q.writes.size() >= kScriptWriteCapacity) return false;
  q.writes.push_back(write);
  q.pending.store(static_cast<std::int32_t>(q.writes.size()), std::memory_order_release);
  return true;
}

void apply_script_writes(Engine& e, Platform& platform) {
  ScriptWriteQueue& q = e.script_writes;
  if (q.pending.load(std::memory_order_acquire) == 0) return;
  std::vector<ScriptWrite> batch;
  {
    std::lock_guard lock(q.mutex);
    batch.swap(q.writes);
    q.pending.store(0, std::memory_order_release);
  }
  for (const ScriptWrite& w : batch) apply(e, platform, w);
}

void grey_colours(Engine& e) {
  for (Object& o : e.objects) {
    if (!o.accept_random) continue;
    for (Face& f : o.faces) {
      f.alpha = f.red = f.green = f.blue = 127;
      f.corner_colours.fill(kGrey);
      for (int c = 0; c < corners_of(f); ++c) set_vertex_colour(o, f.corners[static_cast<std::size_t>(c)], kGrey);
    }
  }
}

void random_colours(Engine& e) {
  if (e.Colors) {
    for (Object& o : e.objects) {
      if (!o.accept_random) continue;
      for (Face& f : o.faces) {
        f.alpha = random_byte(e);
        f.red = random_byte(e);
        f.green = random_byte(e);
        f.blue = random_byte(e);
        for (int c = 0; c < corners_of(f); ++c) {
          std::uint32_t colour = 0;
          for (int k = 0; k < 4; ++k) colour = (colour << 8) | random_byte(e);
          f.corner_colours[static_cast<std::size_t>(c)] = colour;
          set_vertex_colour(o, f.corners[static_cast<std::size_t>(c)], colour);
        }
      }
    }
  }
  if (e.particle_switch) {
    for (ParticleSystem& p : e.particle_systems) {
      if (!p.accept_random) continue;
      for (std::int32_t& c : p.start_colour) c = random_next(e.random) & 255;
      for (std::int32_t& c : p.end_colour) c = random_next(e.random) & 255;
    }
  }
}

}  // namespace kelvo
