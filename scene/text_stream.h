// Reading the description files (scene, object, script): words separated by
// white space, whole lines, and integers as the files write them, from a
// file held in memory. Line ends are taken as line feeds (a carriage return
// before a line feed is dropped when the file is read, as a text-mode read
// would). Tracks the line number for messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

inline constexpr std::size_t kWordMax = 255;  // characters of a word
inline constexpr std::size_t kLineMax = 254;  // characters of a line, line feed included

class TextStream {
 public:
  explicit TextStream(std::string text);
  // Reads a whole file; nullopt when it is not a regular file, cannot be
  // read or is larger than `max_bytes`.
  static std::optional<TextStream> open(const std::string& path, std::size_t max_bytes = 16u << 20);

  // The next run of non-blank characters, cut to kWordMax (`cut` tells).
  // nullopt at the end of the text.
  std::optional<std::string> word(bool* cut = nullptr);
  // The rest of the current line, its line feed included, cut to kLineMax
  // characters (the rest of a longer line is skipped; `cut` tells). nullopt
  // at the end of the text.
  std::optional<std::string> line(bool* cut = nullptr);
  // An integer as a "%d" conversion reads it: blanks (line ends included),
  // an optional sign, digits. On failure nothing but the blanks is consumed.
  std::optional<std::int32_t> integer();
  // Consumes `c` if it is the next character.
  bool accept(char c);

  bool at_end() const { return pos_ >= text_.size(); }
  // The line (1-based) of the last word, line or number read.
  int line_number() const { return token_line_; }

 private:
  void skip_blanks();
  std::string text_;
  std::size_t pos_ = 0;
  int line_ = 1;        // line of the read position
  int token_line_ = 1;  // line where the last item started
};

// Splits `text` into tokens at any character of `delimiters`, as the
// readers' tokenizer does (empty tokens are skipped).
std::vector<std::string_view> split_tokens(std::string_view text, std::string_view delimiters);

// The delimiter set of the scene and object files.
inline constexpr std::string_view kDescriptionDelimiters = " ,\n\r\t=/";

// The leading-number conversion of a float: text that does not start with a
// number gives 0; values beyond the float range are clamped, NaN gives 0.
float text_to_float(std::string_view s);

}  // namespace kelvo
