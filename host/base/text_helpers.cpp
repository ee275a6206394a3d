#include "host/base/text_helpers.h"

#include <algorithm>

namespace kelvo {

void reverse_text(std::string& s) { std::reverse(s.begin(), s.end()); }

void strip_trailing_spaces(std::string& s) {
  std::size_t end = s.find_last_not_of(' ');
  s.erase(end == std::string::npos ? 0 : end + 1);
}

void strip_leading_spaces(std::string& s) {
  std::size_t start = s.find_first_not_of(' ');
  s.erase(0, start == std::string::npos ? s.size() : start);
}

void trim_spaces(std::string& s) {
  strip_trailing_spaces(s);
  strip_leading_spaces(s);
}

bool is_number(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::int32_t text_to_int(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > 2147483648LL) value = 2147483648LL;  // keep going past the digits, value is clamped
  }
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

static char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int compare_ignoring_case(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(ascii_lower(a[i]));
    const auto y = static_cast<unsigned char>(ascii_lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && compare_ignoring_case(a, b) == 0;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

}  // namespace kelvo
