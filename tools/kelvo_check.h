// The commands of kelvo-check, the scene author's checker.
#pragma once

#include <cstdio>
#include <string>

// `kelvo-check model FILE.3DS`: one line per mesh in file order,
// tab-separated — "mesh", name, vertex count, face count, mapping count, then
// the material name of each face group (as written in the file) — then one
// line "object", vertex count, face count of the object that model preparation
// builds (textures are not uploaded). A refused model prints "FILE: reason"
// to `err` and nothing to `out`; a model kept from a cut file says where it
// was cut on `err` as "FILE: warning: ...". Returns the exit status: 1 when refused, else 0.
int check_model_command(const std::string& path, std::FILE* out, std::FILE* err);
