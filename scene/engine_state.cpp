#include "scene/engine_state.h"

namespace kelvo {

void engine_init(Engine& e) {
  e.camera_pos = {};
  e.camera_rot = {};
  e.draw_mode = 1;
  e.bilinear = 1;
  e.keyboard = 1;
  e.obj_mode = 0;
  e.fps = 0;
  e.phong = 0;
  e.collision_detection = 0;
  e.elevation_enabled = 0;
  e.fog_near = 100.0f;
  e.fog_far = 1000.0f;
  e.ambient = {10, 10, 10};
  e.far_clip = 8000.0f;
  e.perspective = {0.0f, 0.0f};
  e.objects_move_switch = 1;
  e.light_switch = 1;
  e.flare_switch = 1;
  e.halo_switch = 1;
  e.particle_switch = 1;
  e.perspective_switch = 0;
  e.script_running = 0;
  e.song_playing = 0;
  e.object_count = 0;
  e.particle_system_count = 0;
  e.light_count = 0;
  e.total_vertices = 0;
  e.total_faces = 0;
  e.objects_memory = 0;
  e.texture_memory = 0;
  e.objects.clear();
  e.particle_systems.clear();
  e.lights.clear();
  e.camera_event.frames_left = 0;
  e.camera_event.pos_step = {};
  e.camera_event.rot_step = {};
  e.perspective_event.frames_left = 0;
  e.perspective_event.step_x = 0.0f;
  e.perspective_event.step_y = 0.0f;
  e.displayed_frames = 0;
  e.frame_rate_count = {};
  const ViewportBox& v = e.viewport_box;
  e.screen_centre = {v.x0 + (v.x1 - v.x0) / 2, v.y0 + (v.y1 - v.y0) / 2};
}

void free_all(Engine& e) {
  debug_log(e.log, "free all");
  // Release the memory, not only the contents.
  std::vector<Object>().swap(e.objects);
  std::vector<ParticleSystem>().swap(e.particle_systems);
  std::vector<Light>().swap(e.lights);
  e.object_count = 0;
  e.particle_system_count = 0;
}

}  // namespace kelvo
