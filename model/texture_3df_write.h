// Writing 3DF textures, for the tools and the build-time generators.
//
// The output is what the loader reads: "3df v1.1", the texel format, a line
// "lod range: N N" and a line "aspect ratio: 1 1", each ended by a line feed,
// then N rows of N texels. Only the one detail level is written.
#pragma once

#include <cstdint>
#include <vector>

#include "model/texture_slots.h"

namespace kelvo {

enum class TexelFormat { rgb565, i8 };

// Encodes a square image of side 1 .. k3dfMaxSize (rgb holding width * height
// * 3 bytes). rgb565 rounds every channel to the nearest value the loader can
// give back (red and blue steps of 8 up to 248, green steps of 4 up to 252);
// i8 stores the luminance 0.299 R + 0.587 G + 0.114 B, rounded. Returns an
// empty vector when the image cannot be written (not square, empty, too large,
// or a pixel buffer of the wrong size).
std::vector<std::uint8_t> encode_3df(const Image& image, TexelFormat format);

// The luminance the i8 format stores for one RGB colour.
std::uint8_t luminance_of(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

}  // namespace kelvo
