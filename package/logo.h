// The logo carried inside the program: a 3DF texture drawn in a corner of the
// screen while the LOGO switch is on (key '0').
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "scene/engine_state.h"

namespace kelvo {

// The embedded texture file, made at build time.
std::span<const std::uint8_t> embedded_logo_texture();

// Writes the logo texture into the private work directory, sets the logo's
// corners from the viewport box, turns the logo off and loads the texture
// into logo_slot (-1 if that fails). Returns 1 when the logo was set up.
int write_logo_texture(Engine& e);
void delete_logo_texture_file(Engine& e);

}  // namespace kelvo
