// The two named GL states the passes switch between, and texture binding by
// slot number.
#pragma once

#include "scene/engine_state.h"

namespace kelvo {

// Depth test on, fog as the Fog switch says, blending by source alpha.
void set_normal_state(const Engine& e);

// Texturing on, additive blending (source alpha, one), fog off, depth test
// off: the overlays and effects drawn over the finished scene.
void set_additive_state();

// The GL texture name of a slot; slot -1 (or any number that is no slot, such
// as 0xFFFF) gives 0, GL's default texture.
inline unsigned texture_name_of(const Engine& e, int slot) {
  return static_cast<unsigned>(slot) < static_cast<unsigned>(kTextureSlotCount)
             ? e.texture_slots[static_cast<std::size_t>(slot)].gl_name
             : 0u;
}

// Binds the 2D texture of a slot (0 for none).
void bind_texture_slot(const Engine& e, int slot);

}  // namespace kelvo
