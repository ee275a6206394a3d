// A small 3DS writer: meshes (vertices, faces, mapping coordinates, face
// groups) and materials (name, colours, alpha, first texture map name), in the
// chunk layout that three_ds.h reads. Used by the tests, the fuzz seeds and
// the generators of demo packages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/three_ds.h"

namespace kelvo {

// Builds chunk streams by hand: begin() opens a chunk, end() closes the
// innermost open one and fills in its length. Nothing is checked, so tests can
// also build files that a reader must refuse.
class ThreeDsChunkWriter {
 public:
  void begin(std::uint16_t id);
  void end();
  void u8(std::uint8_t v) { bytes_.push_back(v); }
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void f32(float v);
  // The characters followed by a zero byte.
  void name(std::string_view s);
  void raw(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }

  // A complete chunk holding one u16 (a percentage) or three colour bytes.
  void percentage_chunk(std::uint16_t id, std::uint16_t percent);
  void colour_chunk(std::uint16_t id, std::uint8_t r, std::uint8_t g, std::uint8_t b);

  std::size_t open_chunks() const { return open_.size(); }
  // The bytes written so far; every chunk should be closed first.
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> open_;  // header offsets of the open chunks
};

// Encodes a model as a 3DS file. Materials come first so that the face groups
// find them; face groups are written inside their face lists. Colours are
// written as 24-bit colours (rounded), alpha as a percentage when it is not
// 1.0, names as given. A trailing blank material (as the reader leaves at the
// end of its list) is not written. Returns nullopt when a list holds more
// than 65535 entries.
std::optional<std::vector<std::uint8_t>> encode_3ds(const ThreeDsModel& model);

// encode_3ds into a file; false when it cannot be encoded or written.
bool write_3ds(const std::string& path, const ThreeDsModel& model);

}  // namespace kelvo
