// The engine state: the one record of the whole scene, its tables and switches.
//
// Plain data, passed by reference to free functions. One Engine per running
// player; tests build as many as they like.
//
// Threads: the window thread loads, moves and draws and owns everything here.
// The script thread (once started) writes event records and single switches;
// those fields say so where they are declared.
//
// Units: angles in degrees; colours 0..255 in files, 0..127 in face and vertex
// colours (GL takes them as signed bytes), packed as 0xAARRGGBB; texture slots
// are indices into `texture_slots`, -1 (0xFFFF in 16-bit fields) for none.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/debug_log.h"
#include "host/random.h"
#include "scene/problems.h"

namespace kelvo {

inline constexpr int kTextureSlotCount = 50;
inline constexpr std::uint16_t kNoTexture16 = 0xFFFF;

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

struct Vertex {
  Vec3 position;             // model coordinates
  std::uint32_t vertex_colour = 0;  // 0xAARRGGBB
  Vec3 eye_position;         // after the camera transform, per frame
};

struct Face {
  std::array<std::int32_t, 4> corners{};  // 0-based vertex indices; [3] for quads only
  std::array<std::uint16_t, 9> texture_frames{kNoTexture16, kNoTexture16, kNoTexture16,
                                              kNoTexture16, kNoTexture16, kNoTexture16,
                                              kNoTexture16, kNoTexture16, kNoTexture16};
  std::uint8_t current_frame = 0;         // index into texture_frames, 0..8
  std::array<std::uint32_t, 4> corner_colours{};  // 0xAARRGGBB, lit drawing
  std::array<float, 4> u{};
  std::array<float, 4> v{};
  std::uint8_t alpha = 0, red = 0, green = 0, blue = 0;  // the face colour
  std::int32_t visible = 0;  // set per frame by culling
  std::int16_t corner_count = 3;
};

// A scripted move in progress (motion state of an object).
struct MotionState {
  std::int32_t event = 0;       // index of the script event being carried out
  std::int32_t steps_left = 0;
  Vec3 step_collide;            // per-step move tested against solid objects
  Vec3 step_rotate;             // per-step rotation, degrees
  Vec3 step_move;               // per-step plain translation
};

struct Object {
  std::vector<Vertex> vertices;
  std::int32_t face_count = 0;
  std::int32_t vertex_count = 0;
  std::vector<Face> faces;
  std::int32_t autolighted = 0;
  std::int32_t flare_dim = 0;
  std::int32_t chromakey = 0;
  std::int32_t chroma_tex = -1;
  std::int32_t particled = 0;
  std::int32_t fixed = 0;          // 0 world, 1 ignores camera position, 2 fixed on screen
  std::int32_t light_source = 0;
  float tex_env = 0;
  std::int32_t automove = 0;
  Vec3 orbit_speed;                // degrees per frame about the world origin
  Vec3 rot_speed;                  // degrees per frame about `centre`
  std::int32_t visible = 1;        // written by the script thread
  std::uint32_t front_face = 0x900;  // GL_CW, GL_CCW (0x901) or 2 = no culling
  std::int32_t halo_dim = 0;
  std::array<std::int32_t, 9> halo_tex{-1, -1, -1, -1, -1, -1, -1, -1, -1};
  std::int32_t halo_frame = 0;
  std::int32_t ghoul_test = 0;
  std::int32_t particle_test = 0;
  std::int32_t shader = 0;
  std::array<float, 6> bbox{};     // min x, max x, min y, max y, min z, max z
  std::int32_t index = 0;
  std::int32_t tex_evmap = -1;
  std::int32_t solidity = 1;
  std::int32_t tex_speed = 0;
  std::int32_t tex_countdown = 0;
  std::array<float, 2> tex_shift{};  // texture scroll per frame
  std::int32_t tex_mask = -1;
  Vec3 centre;
  MotionState motion;
  std::int32_t shadow_dark = 125;
  float shadow_cast = 0;
  std::array<std::int32_t, 2> bump_tex{-1, -1};
  float bump_level = 0;
  std::int32_t ghoul_mode = 0;
  std::int32_t object_bilinear = 1;
  std::int32_t perspective_ok = 1;
  std::int32_t accept_random = 1;
};

struct Light {
  std::int32_t object = 0;
  Vec3 normal;
  float normal_length = 0;
  Vec3 colour;                     // 0..1
  std::array<Vertex, 3> corners;   // copies of the first face's corners 0..2
};

struct Particle {
  Vec3 colour_step;
  Vec3 colour;                     // 0..255
  std::int32_t life = 0;           // frames left
  Vertex vertex;
  Vec3 velocity;
  Vec3 jitter;
};

struct ParticleSystem {
  std::int32_t object = 0;
  std::int32_t count = 0;
  std::int32_t texture_slot = -1;
  std::int32_t depth_test = 0;
  std::int32_t size = 0;
  std::vector<Particle> particles;
  std::int32_t life = 0;
  float acceleration = 0;
  float spread = 0;
  Vec3 velocity;
  std::array<std::int32_t, 3> end_colour{};
  std::array<std::int32_t, 3> start_colour{};
  std::int32_t blend = 0;
  std::int32_t accept_random = 1;
};

// Parameters for the next particle system. Start values hold at program start
// and are never reset by the engine-state init.
struct ParticleParameters {
  std::int32_t count = 50;
  std::int32_t size = 10;
  std::int32_t life = 20;
  float acceleration = 1.05f;
  float spread = 0.4f;
  Vec3 velocity{0, 0.5f, 0};
  std::array<std::int32_t, 3> start_colour{255, 255, 100};
  std::array<std::int32_t, 3> end_colour{50, 0, 0};
  std::int8_t blend = 0;
};

struct TextureSlot {
  std::string name;        // empty when free; at most 254 characters
  std::int32_t used = 0;
  std::uint32_t gl_name = 0;
};

struct ViewportBox {
  std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The run-time paths. Directories end in the platform separator.
struct Paths {
  std::string path_app;    // the program's directory
  std::string path_debug;  // the debug log file
  std::string path_pack;   // the package file, empty when none is configured
  std::string dir_temp;    // the directory every scene file is read from
  std::string path_list;   // list of extracted members
  std::string path_temp;   // the unpacked member stream during extraction
};

// What an author chose on the command line; empty means "as configured".
struct Overrides {
  std::string package_file;  // play this package
  std::string data_dir;      // play loose files from this directory
};

struct Engine {
  // --- host (window thread) ---
  std::int32_t preview = 0;
  ViewportBox viewport_box;
  std::array<std::int32_t, 2> screen_centre{};
  std::int32_t LOGO = 0;           // draw the logo; key '0' flips it
  std::int32_t gl_ready = 0;
  // Set when start-up must end the process (a package that is no package);
  // the host tears down and exits with it. -1 otherwise.
  std::int32_t exit_code = -1;

  // --- settings (stored by the settings file) ---
  std::string Module = "kelvo";
  std::int32_t Sounds = 1;
  std::int32_t Fog = 1;            // also changed by the scene and the script
  std::int32_t ResX = 800;
  std::int32_t ResY = 600;
  std::int32_t Random = 0;
  std::int32_t Speed = 0;          // 0 normal, 1 double, 2 half
  std::int32_t Colors = 0;

  Paths paths;
  Overrides overrides;
  std::string work_dir;            // private directory of this instance; holds what we write

  // --- camera ---
  Vec3 camera_pos;                 // negated eye position
  Vec3 camera_rot;                 // degrees
  std::array<float, 3> camera_sin{}, camera_cos{};  // of camera_rot, per frame

  // --- scene switches and values ---
  float far_clip = 8000.0f;
  std::int32_t draw_mode = 1;
  std::int32_t bilinear = 1;
  std::int32_t phong = 0;
  std::int32_t fps = 0;
  std::int32_t obj_mode = 0;
  std::int32_t keyboard = 1;
  float fog_near = 100.0f, fog_far = 1000.0f;
  std::array<std::int32_t, 3> fog_colour{};
  std::array<std::int32_t, 3> ambient{10, 10, 10};
  std::int32_t collision_detection = 0;
  std::int32_t elevation_enabled = 0;
  std::array<float, 2> perspective{};
  std::int32_t perspective_switch = 0;

  // --- derived switches ---
  std::int32_t light_switch = 1;
  std::int32_t flare_switch = 1;
  std::int32_t halo_switch = 1;
  std::int32_t particle_switch = 1;
  std::int32_t objects_move_switch = 1;

  // --- tables and counters ---
  std::vector<Object> objects;
  std::int32_t object_count = 0;
  std::vector<ParticleSystem> particle_systems;
  std::int32_t particle_system_count = 0;
  std::vector<Light> lights;
  std::int32_t light_count = 0;
  std::int32_t total_vertices = 0;
  std::int32_t total_faces = 0;
  std::int32_t objects_memory = 0;
  std::int32_t texture_memory = 0;
  ParticleParameters particle_parameters;
  std::string particle_texture_name = "PARTICLE";
  std::array<std::int32_t, 4> lens_slots{-1, -1, -1, -1};

  // --- textures ---
  std::array<TextureSlot, kTextureSlotCount> texture_slots;
  // 0 decodes textures without a GL context (the checker): slots are filled,
  // nothing is uploaded.
  std::int32_t gl_textures = 1;
  std::int32_t font_slot = -1;

  // --- logo ---
  std::array<Vec3, 4> logo_corners{};
  std::int32_t logo_slot = -1;

  // --- script and media ---
  std::int32_t script_running = 0;
  std::int32_t song_playing = 0;

  // --- motion events ---
  std::int32_t camera_event_frames = 0;
  Vec3 camera_event_pos_step;
  Vec3 camera_event_rot_step;
  std::int32_t perspective_event_frames = 0;
  std::array<float, 2> perspective_event_step{};
  float displayed_fps = 0;

  DebugLog log;
  RandomGenerator random;
  // What the readers found wrong in the author's files.
  std::vector<Problem> problems;
};

// Resets the engine state to the defaults of a new scene. Leaves the fog
// colour, the settings, the paths, the texture table and the particle
// parameters alone.
void engine_init(Engine& e);

// Frees the objects (with their vertices and faces), the particle systems and
// the lights; the object and particle-system counts become 0.
void free_all(Engine& e);

}  // namespace kelvo
