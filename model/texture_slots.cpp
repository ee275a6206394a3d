// The texture slot table and the upload of decoded 3DF images to GL.
#include <GL/gl.h>

#include "host/base/files.h"
#include "model/texture_slots.h"

namespace kelvo {
namespace {

// Names that cannot be stored or turned into a path: empty (a free slot's
// name), longer than the 254-character field, or holding a NUL byte.
bool acceptable_name(const std::string& name) {
  return !name.empty() && name.size() <= kTextureNameMax && name.find('\0') == std::string::npos;
}

// The slot already loaded under `name`, else the lowest free slot; -1 when
// all are taken. `found` says which of the two it is.
int find_slot(const Engine& e, const std::string& name, bool& found) {
  found = false;
  for (int i = 0; i < kTextureSlotCount; ++i) {
    if (e.texture_slots[i].name == name) {
      found = true;
      return i;
    }
  }
  for (int i = 0; i < kTextureSlotCount; ++i) {
    if (e.texture_slots[i].used == 0) return i;
  }
  return -1;
}

// Creates the GL texture of slot `slot` from `image` and marks the slot used.
void upload(Engine& e, int slot, const std::string& name, const Image& image) {
  TextureSlot& s = e.texture_slots[slot];
  if (!e.gl_textures) {
    // No GL context (the checker): the slot is taken, nothing is uploaded.
    s.used = 1;
    s.name = name;
    return;
  }
  GLuint gl_name = 0;
  glGenTextures(1, &gl_name);
  s.gl_name = gl_name;
  glBindTexture(GL_TEXTURE_2D, gl_name);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  const GLint filter = e.bilinear ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  // Rows of 3-byte texels are not 4-byte aligned for odd sizes; the previous
  // alignment is put back for whoever uploads next.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               image.rgb.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  s.used = 1;
  s.name = name;
}

// The slot for `name`: the one already loaded under it, or a free one that
// `path()` (called only then) is read into; -1 when none.
template <class PathOf>
int load_from(Engine& e, const std::string& name, PathOf path) {
  if (!acceptable_name(name)) return -1;
  bool found = false;
  int slot = find_slot(e, name, found);
  if (slot < 0 || found) return slot;
  const std::string file = path();
  if (file.empty() || !file_exists(file)) return -1;
  std::optional<Image> image = read_3df(file);
  if (!image) return -1;
  upload(e, slot, name, *image);
  return slot;
}

}  // namespace

int load_texture(Engine& e, const std::string& name) {
  if (name == "NULL") return -1;
  int slot = load_texture_slot(e, name);
  if (slot >= 0) {
    debug_log(e.log, "tex loaded %s slot %d", name.c_str(), slot);
  } else {
    debug_log(e.log, "tex failed %s", name.c_str());
  }
  return slot;
}

int load_texture_slot(Engine& e, const std::string& name) {
  return load_from(e, name, [&] { return find_file(e.paths.dir_temp, name + ".3DF"); });
}

int load_texture_file(Engine& e, const std::string& name, const std::string& path) {
  return load_from(e, name, [&] { return path; });
}

void clear_texture_slots(Engine& e) {
  for (TextureSlot& s : e.texture_slots) {
    s.name.clear();
    s.used = 0;
    s.gl_name = 0;
  }
}

void free_textures(Engine& e) {
  for (TextureSlot& s : e.texture_slots) {
    if (s.gl_name != 0) {
      GLuint gl_name = s.gl_name;
      glDeleteTextures(1, &gl_name);
      s.gl_name = 0;
    }
  }
  debug_log(e.log, "free textures");
}

void load_font_texture(Engine& e) { e.font_slot = load_texture(e, "ALFA"); }

}  // namespace kelvo
