// Model preparation: one 3DS file becomes the geometry of one scene object.
//
// All meshes of the file are merged into the object's single vertex array and
// single face array (in file order); faces take colour, alpha and texture from
// the materials of their face groups; the object is optionally mirrored along
// Z or has its corner order reversed; translucent faces are moved towards the
// end of the face array; and the object is centred on its own origin.
//
// Face colours are stored 0..255 here (alpha 255 = opaque) and texture
// coordinates times 255; the scene load halves the colours and divides the
// coordinates later. Runs on the thread that loads the scene; textures are
// loaded through load_texture and so need the GL context unless
// `Engine::textures_enabled` is 0.
#pragma once

#include <cstdint>
#include <string>

#include "model/three_ds.h"
#include "scene/engine_state.h"

namespace kelvo {

inline constexpr std::uint32_t kFrontFaceCw = 0x900;   // GL_CW
inline constexpr std::uint32_t kFrontFaceCcw = 0x901;  // GL_CCW

// How load_model turns the file's geometry.
enum ModelOrientation : int {
  kOrientAsStored = 0,
  kOrientMirrorZ = 1,        // negate every z; front faces become GL_CCW
  kOrientReverseCorners = 2, // (a, b, c) becomes (a, c, b)
};

// Stores the defaults of a scene object: empty arrays with counts 0, front
// face GL_CW, no textures, visible, solid... and index 0; the caller sets
// `index` to the object's position.
void init_object(Object& o);

// Loads the 3DS file at `path` into a scene object. With `create` set, a new
// object is appended at position `object_count` (the array grows by one record
// and the object is initialised); with `create` 0, the object already at
// position `object_count` receives the geometry. Either way the caller
// advances `object_count` afterwards. Returns 1 when the object was built, 0
// when the file cannot be read or is refused — the engine state is then left
// as it was, and `reason` (when given) says why.
int load_model(Engine& e, const std::string& path, int create, int orientation,
               std::string* reason = nullptr);

// load_model for a model already decoded (the file step left out); the model
// is checked with validate_3ds first.
int prepare_model(Engine& e, const ThreeDsModel& model, int create, int orientation,
                  std::string* reason = nullptr);

// Moves the object's vertices so that the centre of their bounding box is the
// origin, wherever the object lies. An object without vertices is left
// unchanged.
void center_object(Object& o);

// The translucent-face pass: one sweep from both ends that moves faces whose
// alpha is below 255 towards the end of the face array (faces brought forward
// are not examined again).
void sort_translucent_faces(Object& o);

}  // namespace kelvo
