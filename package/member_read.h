// One member of a package read into memory, without unpacking anything to
// disk: the configuration dialog takes a package's thumbnail this way while a
// player may be running from the same package.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

enum class MemberReadStatus {
  found,
  not_found,      // the package holds no member of that name
  too_large,      // the member is larger than the caller allows; not read
  open_failed,    // the package cannot be opened or read
  not_a_package,  // wrong magic
  damaged,        // the coded data or the member stream end too early
};

const char* member_read_status_text(MemberReadStatus status);

struct MemberRead {
  MemberReadStatus status = MemberReadStatus::not_found;
  std::vector<std::uint8_t> data;  // the member's bytes when found
};

// Decodes the package at `package_path` only as far as the first member
// named `name` (compared without regard to case; a stored name ends at its
// first zero byte) and returns its bytes. Other members are decoded and
// dropped in small pieces; the member's own bytes are kept as they arrive, up
// to `max_size`: a member that claims more is refused before any is read.
MemberRead read_package_member(const std::string& package_path, std::string_view name, std::size_t max_size);

}  // namespace kelvo
