// Small string helpers shared by the text readers. Only the space character
// counts as white space here; tabs and line ends are left alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

void reverse_text(std::string& s);
void strip_leading_spaces(std::string& s);
void strip_trailing_spaces(std::string& s);
// Strips trailing, then leading spaces.
void trim_spaces(std::string& s);

// The description files' test for an optional number: true for an empty
// string and for a string made only of digits and points ("12.5", ".").
bool is_number(std::string_view s);

// The leading-digits conversion of decimal text: optional blanks, an optional
// sign, then digits; anything else ends the value; no digits gives 0. Values
// beyond 32 bits are clamped instead of overflowing.
std::int32_t text_to_int(std::string_view s);

// Comparisons of ASCII letters without regard to case (names of files,
// packages and members).
bool equal_ignoring_case(std::string_view a, std::string_view b);
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);
// Negative, 0 or positive as `a` sorts before, with or after `b`.
int compare_ignoring_case(std::string_view a, std::string_view b);

}  // namespace kelvo
