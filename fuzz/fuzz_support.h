// What the reader fuzz targets share: a private folder on a memory file
// system, GL entry points that do nothing, frames moved and drawn into
// nothing, the demo's files as a scene folder, and the checks that stop a
// run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scene/engine_state.h"

namespace kelvo::fuzz {

// A new private folder for one target (under /dev/shm when there is one);
// ends with '/'. Removed at exit.
std::string make_work_dir(const char* tag);

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size);
void write_file(const std::string& path, std::string_view text);

// Stops the run with `what` when `ok` is false.
void check(bool ok, const char* what);

// Points the renderer at GL entry points that do nothing.
void use_null_gl();

// An engine as start-up leaves it before the scene load, reading from `dir`,
// without GL textures or sound.
void prepare_engine(Engine& e, const std::string& dir);

// `frames` frames: the motion step (with a mouse move) and the whole
// renderer, drawing into nothing. Then checks what every frame relies on.
void run_frames(Engine& e, int frames);

// The scene's invariants: counts match the tables, every corner indexes a
// vertex, the budget holds.
void check_scene(const Engine& e);

// A folder for the scene targets: the demo's object files and models (not
// its scene, script or media) and a 2x2 texture under each of its texture
// names. Also points the renderer at the null GL.
std::string make_scene_dir(const char* tag);

// Writes `data` as the file `name` of `dir`, loads the scene SCENE1 of `dir`
// as kelvo-check does, checks it and runs three frames.
void load_and_run_scene(const std::string& dir, const char* name, const std::uint8_t* data, std::size_t size);

}  // namespace kelvo::fuzz
