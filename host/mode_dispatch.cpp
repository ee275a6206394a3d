#include "host/mode_dispatch.h"

namespace kelvo {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void skip_blanks(std::string_view& s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
}

// Digits up to the first non-digit; nullopt when there are none. Past 64 bits
// the number can name no window: 0.
std::optional<std::uint64_t> read_window_number(std::string_view& s) {
  if (s.empty() || s.front() < '0' || s.front() > '9') return std::nullopt;
  std::uint64_t n = 0;
  bool overflow = false;
  while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
    const auto digit = static_cast<std::uint64_t>(s.front() - '0');
    if (n > (UINT64_MAX - digit) / 10) overflow = true;
    n = n * 10 + digit;
    s.remove_prefix(1);
  }
  return overflow ? 0 : n;
}

}  // namespace

ModeRequest dispatch_mode(std::string_view s) {
  while (!s.empty() && (is_blank(s.front()) || s.front() == '-' || s.front() == '/')) s.remove_prefix(1);
  ModeRequest r;
  if (s.empty()) {
    r.mode = SaverMode::config;
    return r;
  }
  const char letter = s.front();
  s.remove_prefix(1);
  switch (letter) {
    case 's':
    case 'S':
      r.mode = SaverMode::full_screen;
      break;
    case 'p':
    case 'P':
    case 'l':
    case 'L':
      skip_blanks(s);
      r.window = read_window_number(s);
      r.mode = r.window.value_or(0) == 0 ? SaverMode::invalid : SaverMode::preview;
      break;
    case 'c':
    case 'C':
      r.mode = SaverMode::config;
      r.config_owned = true;
      if (!s.empty() && s.front() == ':') {
        s.remove_prefix(1);
        r.window = read_window_number(s);
      }
      break;
    case 'a':
    case 'A':
      r.mode = SaverMode::change_password;
      skip_blanks(s);
      r.window = read_window_number(s);
      break;
    default:
      break;
  }
  return r;
}

std::string_view skip_program_name(std::string_view s) {
  if (!s.empty() && s.front() == '"') {
    s.remove_prefix(1);
    const std::size_t close = s.find('"');
    s.remove_prefix(close == std::string_view::npos ? s.size() : close + 1);
  } else {
    while (!s.empty() && !is_blank(s.front())) s.remove_prefix(1);
  }
  skip_blanks(s);
  return s;
}

}  // namespace kelvo
