// Appending little-endian numbers to a byte buffer, for the file formats we
// write (bitmaps, icons).
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo {

inline void put_le16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void put_le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put_le16(out, v & 0xFFFF);
  put_le16(out, v >> 16);
}

}  // namespace kelvo
