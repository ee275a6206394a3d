// Packages made in memory for the tests: member records and coded packages
// as byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/member_stream.h"
#include "package/pak_coder.h"

namespace kelvo::test {

// A 32-bit little-endian number.
inline std::string u32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// One member record.
inline std::string member(const std::string& name, const std::string& data) {
  std::string s;
  append_member(s, name, data);
  return s;
}

// A whole package coding `members`.
inline std::string pak(const std::string& members) {
  const auto coded = pak_encode(std::vector<std::uint8_t>(members.begin(), members.end()));
  return std::string(coded.begin(), coded.end());
}

}  // namespace kelvo::test
