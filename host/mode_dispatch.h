// The screen-saver modes a command line asks for, decided the same way on
// every platform: blanks, '-' and '/' are skipped and the first other
// character names the mode, in either case.
//
//   (nothing)      configuration dialog, no owner window
//   S              full screen
//   P n, L n       preview inside window n (n decimal; 0 is refused)
//   C, C:n         configuration dialog over window n, else the foreground one
//   A n            change password, over window n
//   anything else  refused: the program exits with -1
//
// A window number is read digit by digit and ends at the first non-digit.
// Whether a number names a real window is the platform's question.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvo {

enum class SaverMode { config, full_screen, preview, change_password, invalid };

struct ModeRequest {
  SaverMode mode = SaverMode::invalid;
  // The window number that followed the letter; nullopt when there was none.
  // A number too large for 64 bits names no window and reads as 0.
  std::optional<std::uint64_t> window;
  // Configuration asked for by its letter: the dialog belongs to the named
  // window, or to the foreground one. An empty command line opens it alone.
  bool config_owned = false;
};

// The exit status of a refused mode (-1, which a POSIX shell sees as 255).
inline constexpr int kModeRefusedExit = -1;

// Decides the mode of the arguments after the program name.
ModeRequest dispatch_mode(std::string_view args);

// The arguments of a whole Windows command line: the program name, quoted or
// not, and the blanks after it are skipped.
std::string_view skip_program_name(std::string_view command_line);

}  // namespace kelvo
