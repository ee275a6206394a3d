// The engine state: the one record of the whole scene, its tables and switches.
//
// Plain data, passed by reference to free functions. One Engine per running
// player; tests build as many as they like.
//
// Threads: the window thread loads, moves and draws and owns everything here.
// The script thread (once started) writes only the fields of the "script:
// shared" block (event records, atomics, the queue of script writes, which the
// window thread applies); those fields say so where they are declared.
//
// Units: angles in degrees; colours 0..255 in files, 0..127 in face and vertex
// colours (GL takes them as signed bytes), packed as 0xAARRGGBB; texture slots
// are indices into `texture_slots`, -1 (0xFFFF in 16-bit fields) for none.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/base/debug_log.h"
#include "host/base/random.h"
#include "scene/problems.h"
#include "scene/scene_budget.h"

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

// A scripted move of one object in progress (window thread only). The
// cursor is where the next search of the event table starts and stays on the
// record being carried out.
struct MotionState {
  std::int32_t cursor = 0;
  std::int32_t frames_left = 0;  // 0: idle, looking for the next event
  Vec3 orbit_step;               // degrees per frame about the world origin (applied negated)
  Vec3 spin_step;                // degrees per frame about the centre (applied negated)
  Vec3 translation_step;         // world units per frame
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
  std::int32_t visible = 1;        // hide_object / show_object (through the script writes)
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
  // Where packages are looked for, in order (the program's directory first).
  std::vector<std::string> package_dirs;
};

// What an author chose on the command line; empty means "as configured".
struct Overrides {
  std::string package_file;  // play this package
  std::string data_dir;      // play loose files from this directory
  bool show_frame_rate = false;  // the statistics line, whatever the scene says
};

// The frames counted towards the statistics line's frame rate.
struct FrameRateCount {
  double since = -1.0;       // when the count began, seconds; < 0 before the first frame
  std::int32_t frames = 0;   // frames drawn since then
};

// --- Script events -----------------------------------------------------------

inline constexpr int kEventCount = 200;
inline constexpr std::size_t kEventTextSize = 64;  // text of a text event, zero-terminated

// Event targets besides object indices (0 or more).
inline constexpr std::int32_t kTargetCamera = -1;
inline constexpr std::int32_t kTargetText = -2;
inline constexpr std::int32_t kTargetPerspective = -3;
inline constexpr std::int32_t kTargetDone = -99;  // a record that has run

// Event modes.
inline constexpr std::int32_t kModeMove = 0;    // relative: move by a, spin by b
inline constexpr std::int32_t kModeSpin = 1;    // spin about the object's centre by b
inline constexpr std::int32_t kModeOrbit = 2;   // rotate about the world origin by b
inline constexpr std::int32_t kModeGoTo = 4;    // absolute: go to a and b
inline constexpr std::int32_t kModeText = 5;

// One record of the event table. A record whose `frames` is 0 is free and
// belongs to the script thread: it writes every other field and then `frames`
// (release). The frame loop reads `frames` first (acquire); from then on the
// record is the frame loop's until it writes `target` -99 and then `frames` 0
// (release). `target` is atomic too because the script's polls read it on
// records the frame loop owns.
struct EventRecord {
  std::atomic<std::int32_t> target{kTargetDone};
  std::atomic<std::int32_t> frames{0};  // 0 = free
  std::int32_t mode = 0;
  Vec3 a;                               // positions; text x, y; perspective change x, y
  Vec3 b;                               // angles, degrees
  std::array<char, kEventTextSize> text{};
};

// What each consumer of the event table keeps (window thread only). The
// cursor is where its next search starts.
struct CameraEventState {
  std::int32_t cursor = 0;
  std::int32_t frames_left = 0;
  Vec3 pos_step;                        // subtracted from camera_pos each frame
  Vec3 rot_step;                        // subtracted from camera_rot each frame, degrees
};

struct PerspectiveEventState {
  std::int32_t cursor = 0;
  std::int32_t frames_left = 0;
  float step_x = 0, step_y = 0;         // subtracted from perspective x, y each frame
};

struct TextEventState {
  std::int32_t cursor = 0;
  std::int32_t frames_left = 0;
  std::int32_t x = 0, y = 0;            // virtual screen units (0..800 across)
  std::array<char, kEventTextSize> text{};
};

// The script's text parameters: character size in virtual screen units and
// colour 0..255. Written by the script thread, read by the text overlay.
struct TextParameters {
  std::atomic<std::int32_t> width{16}, height{16};
  std::atomic<std::int32_t> red{255}, green{255}, blue{255}, alpha{255};
};

struct CursorPoint {
  std::int32_t x = 0, y = 0;
};

// A change that a script command makes to engine state the frame loop reads.
// The script thread queues it; the window thread applies the queue, in order,
// at the start of each motion step (and before it starts an event, so that an
// event sees every change queued before it).
enum class ScriptWriteKind : std::int32_t {
  speed,            // Speed = value
  draw_mode,        // draw_mode = value
  random_colours,   // value 0: Colors = 0 and grey colours; else Colors = 1 and random colours
  lighting,         // light_switch = value, then the colour reset (no GL call)
  fog,              // Fog = value
  smooth,           // phong = value
  particles,        // particle_switch = value
  feedback,         // last_cursor = the cursor position now, then keyboard = value
  fix_camera,       // camera_pos = pos, camera_rot = rot
  object_visible,   // objects[object].visible = value
  objects_move,     // objects_move_switch = value
};

struct ScriptWrite {
  ScriptWriteKind kind = ScriptWriteKind::speed;
  std::int32_t value = 0;
  std::int32_t object = 0;  // object index for object_visible
  Vec3 pos, rot;            // fix_camera
};

// At most kScriptWriteCapacity changes wait at a time; a script that queues
// faster than frames are drawn waits for room, like it waits for free records.
inline constexpr std::size_t kScriptWriteCapacity = 256;

struct ScriptWriteQueue {
  std::mutex mutex;
  std::vector<ScriptWrite> writes;           // guarded by mutex
  std::atomic<std::int32_t> pending{0};      // writes.size(), readable without the lock
};

// The script thread's handle (script/script_thread.cpp); destroying it stops
// and joins the thread.
class ScriptThread;
struct ScriptThreadDeleter {
  void operator()(ScriptThread* thread) const;
};

// The sound output of songs and sounds (media/audio.h); destroying it closes
// the output.
class AudioDevice;
struct AudioDeviceDeleter {
  void operator()(AudioDevice* device) const;
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
  // What start-up could not do (host/start_failure.h), "" when nothing
  // failed; the program that names it on standard error.
  std::string start_failure;
  const char* program_name = "kelvo";

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
  SceneBudget budget;              // what the scene may hold at most
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

  // --- media (written by the calls of media/, which serialise themselves;
  // engine_init clears the flag before any song) ---
  // 1 while a song is open: playing, or played to its end and not yet stopped.
  std::int32_t song_playing = 0;
  // The sound output, opened by the first song or sound that plays; empty
  // before that. When no output exists it holds the failed attempt, so the
  // player stays silent without trying again.
  std::unique_ptr<AudioDevice, AudioDeviceDeleter> audio;

  // --- script: shared between the script thread and the window thread ---
  // 1 while a script runs; the frame loop carries out events only then.
  // Set by the script thread once its file is open, cleared by it at the end
  // of the script and by start_script / stop_script on the window thread.
  std::atomic<std::int32_t> script_running{0};
  // The event table; each record says who owns which field when.
  std::array<EventRecord, kEventCount> events;
  // Written by the script thread, read by the frame loop: the length forced
  // on every event that starts (0 = off) and the text parameters. They keep
  // their values across scripts.
  std::atomic<std::int32_t> constant_frames{0};
  TextParameters text_parameters;
  // Every other engine-state change a script command makes, handed to the
  // window thread and applied at the start of the next motion step.
  ScriptWriteQueue script_writes;

  // --- script: script thread only (read by tests once it has ended) ---
  std::int32_t constant_object = 0;  // object number standing in for 0; 0 = none

  // --- script: window thread only ---
  std::string script_path;           // work directory + name + ".TXT"

  // --- motion events (window thread only) ---
  CameraEventState camera_event;
  PerspectiveEventState perspective_event;
  TextEventState text_event;
  CursorPoint last_cursor;           // mouse steering's last cursor position, screen pixels
  std::int32_t displayed_frames = 0; // first number of the statistics line: measured frames per second
  FrameRateCount frame_rate_count;

  DebugLog log;
  RandomGenerator random;
  // What the readers found wrong in the author's files.
  std::vector<Problem> problems;

  // The running script's thread; declared last so that it is stopped (and
  // joined) before anything it uses is destroyed.
  std::unique_ptr<ScriptThread, ScriptThreadDeleter> script_thread;
};

// Resets the engine state to the defaults of a new scene. Leaves the fog
// colour, the settings, the paths, the texture table and the particle
// parameters alone.
void engine_init(Engine& e);

// Frees the objects (with their vertices and faces), the particle systems and
// the lights; the object and particle-system counts become 0.
void free_all(Engine& e);

}  // namespace kelvo
