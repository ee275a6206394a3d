// Reading a script file the way the interpreter executes it: one line at a
// time with the file position as the program counter, the line's tokens, and
// the conversion of argument text to numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/base/files.h"

namespace kelvo {

// Characters read per line at most (longer lines come out as several lines).
inline constexpr std::size_t kScriptLineMax = 254;
// Token delimiters. Blanks and tabs are not among them: they stay in tokens.
inline constexpr std::string_view kScriptDelimiters = "=,\r\n(){}[]";

class ScriptFile {
 public:
  // Opens `path` for reading; false when it is not a regular file or cannot
  // be opened.
  bool open(const std::string& path);
  void close() { file_.reset(); }
  bool is_open() const { return file_ != nullptr; }

  // Reads up to and including the next line feed, at most kScriptLineMax
  // characters, and removes the last character read (taken to be the line
  // feed, so a last line without one loses its final character). Text after
  // a zero byte is dropped. False at the end of the file.
  bool read_line(std::string& line);

  // Offset of the next line to be read.
  long tell() const;
  void seek(long position);

 private:
  UniqueFile file_;
};

// The line's tokens (never empty ones), split at kScriptDelimiters.
std::vector<std::string_view> split_script_line(std::string_view line);

// The decimal value of argument text: leading white space, an optional sign,
// digits with an optional point and exponent; whatever follows is ignored and
// text that does not start as a number gives 0. Never infinite or NaN.
double script_number(std::string_view text);

// A value truncated towards zero, saturated to the 32-bit range.
std::int32_t script_int(double value);

// A value as a float, saturated to the float range.
float script_float(double value);

}  // namespace kelvo
