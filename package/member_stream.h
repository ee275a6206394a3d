// The member stream inside a package: records of a 32-bit little-endian name
// length, the name, a 32-bit data length and the data, back to back.
//
// Names are joined to a directory, so a name must name a plain file in it, on
// Windows too: a device name ("CON", "com1.txt"), a stream ("a:b"), a
// character Windows keeps for itself or a name ending in a dot or a space is
// refused everywhere, so that a package unpacks alike on every platform; nor
// may it be one of the files the engine itself keeps there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

inline constexpr std::size_t kMemberNameMax = 255;

enum class MemberNameProblem { none, empty, too_long, separator, dot_name, control_character, work_file, not_on_windows };

// Why `name` cannot be written into a directory, or `none`.
MemberNameProblem check_member_name(std::string_view name);
const char* member_name_problem_text(MemberNameProblem problem);

// A name ends at its first zero byte, if any.
inline std::string_view member_name_from_bytes(std::string_view raw) {
  std::size_t zero = raw.find('\0');
  return zero == std::string_view::npos ? raw : raw.substr(0, zero);
}

// Appends one member record to `out`.
void append_member(std::string& out, std::string_view name, std::string_view data);

}  // namespace kelvo
