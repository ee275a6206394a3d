#include "package/member_stream.h"

#include <string>

#include "host/base/files.h"

namespace kelvo {

namespace {

// The names Windows maps to devices, with or without an extension.
bool windows_device_name(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '0' && base[3] <= '9';
}

}  // namespace

MemberNameProblem check_member_name(std::string_view name) {
  if (name.empty()) return MemberNameProblem::empty;
  if (name.size() > kMemberNameMax) return MemberNameProblem::too_long;
  if (name == "." || name == "..") return MemberNameProblem::dot_name;
  for (char c : name) {
    if (c == '/' || c == '\\') return MemberNameProblem::separator;
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return MemberNameProblem::control_character;
  }
  // Written over the stream being split, the list or the lock, such a member
  // would lose the members after it or the instance's directory.
  if (is_work_file_name(name)) return MemberNameProblem::work_file;
  if (name.find_first_of("<>:\"|?*") != std::string_view::npos || name.back() == '.' || name.back() == ' ' ||
      windows_device_name(name))
    return MemberNameProblem::not_on_windows;
  return MemberNameProblem::none;
}

const char* member_name_problem_text(MemberNameProblem problem) {
  switch (problem) {
    case MemberNameProblem::none: return "valid";
    case MemberNameProblem::empty: return "empty name";
    case MemberNameProblem::too_long: return "name longer than 255 bytes";
    case MemberNameProblem::separator: return "name contains a path separator";
    case MemberNameProblem::dot_name: return "name is a directory reference";
    case MemberNameProblem::control_character: return "name contains a control character";
    case MemberNameProblem::work_file: return "name of one of the player's own work files";
    case MemberNameProblem::not_on_windows: return "name is no file name on Windows";
  }
  return "invalid name";
}

static void append_u32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void append_member(std::string& out, std::string_view name, std::string_view data) {
  append_u32(out, static_cast<std::uint32_t>(name.size()));
  out.append(name);
  append_u32(out, static_cast<std::uint32_t>(data.size()));
  out.append(data);
}

}  // namespace kelvo
