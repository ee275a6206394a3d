// Object transforms and the camera's collision test.
//
// Objects move by rewriting the world positions of their vertices; there is
// no per-object matrix. Each object carries its bounding box and centre, which
// translations and rotations about the world origin move along; spins and
// scaling leave them alone (the scene loader recomputes them after scaling).
//
// Rotations turn a point about Y, then Z, then X (not the camera's Y, X, Z
// order), angles in degrees:
//   t  = c2 x - s2 z,   w  = c2 z + s2 x      (Y by ay)
//   x' = c3 t + s3 y,   u  = c3 y - s3 t      (Z by az)
//   y' = c1 u + s1 w,   z' = c1 w - s1 u      (X by ax)
// with s1, c1 the sine and cosine of ax, s2, c2 of ay and s3, c3 of az.
#pragma once

#include <cstdint>

#include "scene/engine_state.h"

namespace kelvo {

// World units added to every side of a solid object's box by the collision test.
inline constexpr float kCollisionMargin = 20.0f;

// Recomputes `bbox` and `centre` from the vertex positions. Without vertices
// the box stays as it was (the centre is still recomputed from it).
void compute_bounds(Object& o);

// Moves the vertices, the centre and the box by (dx, dy, dz).
void translate_object(Object& o, float dx, float dy, float dz);

// Turns the vertices and the centre about the world origin; the box follows
// the centre and keeps its size.
void rotate_object(Object& o, float ax, float ay, float az);

// Turns the vertices about the object's centre; centre and box stay.
void spin_object(Object& o, float ax, float ay, float az);

// Multiplies every vertex coordinate by `factor` (about the world origin);
// centre and box are not updated.
void scale_object(Object& o, float factor);

// The rotation above applied to one point.
Vec3 rotate_point(const Vec3& p, float ax, float ay, float az);

// 1 when collision detection is on and (x, y, z) lies in the box, widened by
// kCollisionMargin on every side (bounds included), of a solid object other
// than the one at position `excluded` (-1 excludes none); else 0.
int collision_test(const Engine& e, std::int32_t excluded, float x, float y, float z);

}  // namespace kelvo
