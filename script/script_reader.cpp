#include "script/script_reader.h"

#include "host/base/files.h"
#include "scene/text_stream.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>

namespace kelvo {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool ScriptFile::open(const std::string& path) {
  file_ = open_regular_file(path);
  return file_ != nullptr;
}

bool ScriptFile::read_line(std::string& line) {
  line.clear();
  if (!file_) return false;
  while (line.size() < kScriptLineMax) {
    const int c = std::getc(file_.get());
    if (c == EOF) break;
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (line.empty()) return false;
  const std::size_t zero = line.find('\0');
  if (zero != std::string::npos) line.resize(zero);
  if (!line.empty()) line.pop_back();
  return true;
}

long ScriptFile::tell() const { return file_ ? std::ftell(file_.get()) : 0; }

void ScriptFile::seek(long position) {
  if (file_) std::fseek(file_.get(), position, SEEK_SET);
}

std::vector<std::string_view> split_script_line(std::string_view line) {
  return split_tokens(line, kScriptDelimiters);
}

double script_number(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Only decimal text: no "inf", "nan" or hexadecimal.
  const bool starts_number =
      i < text.size() && (is_digit(text[i]) || (text[i] == '.' && i + 1 < text.size() && is_digit(text[i + 1])));
  if (!starts_number) return 0.0;
  double value = 0.0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: decide by the exponent's sign.
    std::string_view number(first, static_cast<std::size_t>(end - first));
    const std::size_t e = number.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
    value = tiny ? 0.0 : DBL_MAX;
  } else if (error != std::errc()) {
    value = 0.0;
  }
  if (!std::isfinite(value)) value = 0.0;
  return negative ? -value : value;
}

std::int32_t script_int(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<std::int32_t>(value);
}

float script_float(double value) {
  if (std::isnan(value)) return 0.0f;
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

}  // namespace kelvo
