// Texture slots and the 3DF texture format.
//
// 3DF: four text lines, each ended by a line feed alone — "3df v1.1", the
// texel format ("rgb565" or "i8"), 11 bytes of label then two decimal numbers
// A and B, and a line that is skipped — followed by max(A, B) rows of
// max(A, B) texels. rgb565 texels are two bytes, high byte first; i8 texels
// one grey byte. Decoded images are 3 bytes per texel (red, green, blue).
//
// Slots: 50 of them; a slot number is what objects, faces and the text overlay
// store (-1 none). Loading a name twice gives the same slot. GL calls happen
// only in load_texture_* and free_textures, on the thread that owns the
// context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scene/engine_state.h"

namespace kelvo {

// The largest texture side a 3DF file may declare. The format itself allows
// any size; 4096 keeps a hostile header from asking for gigabytes (4096 x 4096
// RGB is 48 MiB) and is as large as the GL implementations we run on accept.
inline constexpr int k3dfMaxSize = 4096;
// Texture names are kept in 255-byte fields: at most 254 characters.
inline constexpr std::size_t kTextureNameMax = 254;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes, rows in file order
};

// Decodes a 3DF file held in memory; nullopt when the header is not a 3DF
// header. A file that ends early still decodes: missing texels are black.
std::optional<Image> decode_3df(std::span<const std::uint8_t> bytes);
// Reads and decodes a 3DF file.
std::optional<Image> read_3df(const std::string& path);

// The slot of texture `name` (read from the work directory as NAME.3DF,
// whatever the case of the file name's letters), or -1. "NULL" is no texture. Logs "tex loaded %s slot %d" or "tex failed %s".
int load_texture(Engine& e, const std::string& name);
// The slot logic of load_texture without its log line.
int load_texture_slot(Engine& e, const std::string& name);
// As load_texture_slot, but reads the texture from `path` instead of the work
// directory (the logo carried inside the program).
int load_texture_file(Engine& e, const std::string& name, const std::string& path);

// Marks all slots free (names empty, used 0, GL names 0).
void clear_texture_slots(Engine& e);
// Deletes the GL texture of every slot; names and used marks stay.
void free_textures(Engine& e);
// font_slot := the slot of "ALFA", the bitmap font.
void load_font_texture(Engine& e);

}  // namespace kelvo
