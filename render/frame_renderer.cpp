#include "render/frame_renderer.h"

#include "render/eye_transform.h"
#include "render/face_passes.h"
#include "render/gl_calls.h"
#include "render/gl_states.h"
#include "render/halos_flares.h"
#include "render/lighting.h"
#include "render/particles.h"
#include "render/shadows.h"
#include "render/text_overlay.h"

namespace kelvo {

namespace {

constexpr std::uint32_t kNoCulling = 2;  // front_face value

// Counts the object's texture animation down; a countdown back at
// `tex_speed` marks a frame in which textures (and halos) advance.
void count_texture_frame(Object& o) {
  if (o.tex_speed == 0) return;
  if (--o.tex_countdown < 1) o.tex_countdown = o.tex_speed;
}

}  // namespace

void draw_object(Engine& e, Object& o) {
  const GlCalls& g = *gl;
  eye_transform_object(e, o);
  g.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  // GL ignores the no-culling value (an invalid winding); culling goes off.
  g.FrontFace(o.front_face);
  if (o.front_face == kNoCulling)
    g.Disable(GL_CULL_FACE);
  else
    g.Enable(GL_CULL_FACE);
  light_object(e, o);

  // Objects fixed to the camera and chroma-key objects are not fogged.
  const bool unfogged = (o.fixed != 0 || o.chromakey != 0) && e.Fog != 0;
  if (unfogged) g.Disable(GL_FOG);
  count_texture_frame(o);
  if (o.ghoul_mode != 0) {
    set_additive_state();
    if (o.ghoul_test != 0) g.Enable(GL_DEPTH_TEST);
    if (o.ghoul_mode == 2) g.BlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
    if (o.ghoul_mode == 3) g.BlendFunc(GL_DST_COLOR, GL_ONE);
  }
  draw_object_faces(e, o);
  if (o.ghoul_mode != 0) set_normal_state(e);
  if (unfogged) g.Enable(GL_FOG);
  if (o.shadow_cast != 0.0f) draw_shadows(e, o);
}

void draw_logo(const Engine& e) {
  if (e.logo_slot == -1 || !e.gl_ready || !e.LOGO) return;
  const GlCalls& g = *gl;
  g.FrontFace(GL_CW);
  bind_texture_slot(e, e.logo_slot);
  g.Begin(GL_QUADS);
  g.Color4b(127, 127, 127, 127);
  constexpr float kCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (std::size_t k = 0; k < 4; ++k) {
    const Vec3& p = e.logo_corners[k];
    g.TexCoord2f(kCoords[k][0], kCoords[k][1]);
    g.Vertex3f(p.x, p.y, p.z);
  }
  g.End();
}

void render_frame(Engine& e, Platform& platform) {
  if (!e.gl_ready) return;
  compute_camera_angles(e);
  if (e.light_switch) light_update(e);
  gl->Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  for (Object& o : e.objects)
    if (o.visible != 0) draw_object(e, o);

  set_additive_state();
  if (e.LOGO) draw_logo(e);
  if (e.script_running.load(std::memory_order_acquire)) draw_text_events(e, platform);
  if (e.fps || e.overrides.show_frame_rate) draw_statistics_line(e);
  if (e.halo_switch) draw_halos(e);
  if (e.flare_switch) draw_lens_flares(e);
  if (e.particle_switch) draw_particles(e);
  set_normal_state(e);
  platform.swap_buffers();
}

}  // namespace kelvo
