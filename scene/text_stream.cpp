#include "scene/text_stream.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/base/files.h"

namespace kelvo {

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

TextStream::TextStream(std::string text) : text_(std::move(text)) {
  // Text-mode reading: CR LF becomes LF.
  std::size_t out = 0;
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') continue;
    text_[out++] = text_[i];
  }
  text_.resize(out);
}

std::optional<TextStream> TextStream::open(const std::string& path, std::size_t max_bytes) {
  UniqueFile f = open_regular_file(path);
  if (!f) return std::nullopt;
  std::string text;
  char buffer[16384];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
    if (text.size() + n > max_bytes) return std::nullopt;
    text.append(buffer, n);
  }
  if (std::ferror(f.get())) return std::nullopt;
  return TextStream(std::move(text));
}

void TextStream::skip_blanks() {
  while (pos_ < text_.size() && is_blank(text_[pos_])) {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }
}

std::optional<std::string> TextStream::word(bool* cut) {
  skip_blanks();
  if (cut) *cut = false;
  if (pos_ >= text_.size()) return std::nullopt;
  token_line_ = line_;
  std::size_t start = pos_;
  while (pos_ < text_.size() && !is_blank(text_[pos_])) ++pos_;
  std::size_t length = pos_ - start;
  if (length > kWordMax) {
    if (cut) *cut = true;
    length = kWordMax;
  }
  return text_.substr(start, length);
}

std::optional<std::string> TextStream::line(bool* cut) {
  if (cut) *cut = false;
  if (pos_ >= text_.size()) return std::nullopt;
  token_line_ = line_;
  std::size_t end = text_.find('\n', pos_);
  std::size_t next = end == std::string::npos ? text_.size() : end + 1;
  std::string result = text_.substr(pos_, next - pos_);
  if (end != std::string::npos) ++line_;
  pos_ = next;
  if (result.size() > kLineMax) {
    if (cut) *cut = true;
    result.resize(kLineMax);
  }
  return result;
}

std::optional<std::int32_t> TextStream::integer() {
  skip_blanks();
  std::size_t p = pos_;
  bool negative = false;
  if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) negative = text_[p++] == '-';
  if (p >= text_.size() || text_[p] < '0' || text_[p] > '9') return std::nullopt;
  token_line_ = line_;
  std::int64_t value = 0;
  for (; p < text_.size() && text_[p] >= '0' && text_[p] <= '9'; ++p) value = std::min<std::int64_t>(value * 10 + (text_[p] - '0'), 1LL << 32);
  pos_ = p;
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

bool TextStream::accept(char c) {
  if (pos_ < text_.size() && text_[pos_] == c) {
    if (c == '\n') ++line_;
    ++pos_;
    return true;
  }
  return false;
}

std::vector<std::string_view> split_tokens(std::string_view text, std::string_view delimiters) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    i = text.find_first_not_of(delimiters, i);
    if (i == std::string_view::npos) break;
    std::size_t end = text.find_first_of(delimiters, i);
    if (end == std::string_view::npos) end = text.size();
    tokens.push_back(text.substr(i, end - i));
    i = end;
  }
  return tokens;
}

float text_to_float(std::string_view s) {
  char buffer[64];
  std::size_t n = std::min(s.size(), sizeof buffer - 1);
  s.copy(buffer, n);
  buffer[n] = '\0';
  double value = std::strtod(buffer, nullptr);
  if (std::isnan(value)) return 0.0f;
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

}  // namespace kelvo
