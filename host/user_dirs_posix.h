// Where a POSIX user's files live: the home directory, the state directory of
// the debug log, and the directory of the running program.
#pragma once

#include <string>
#include <vector>

namespace kelvo {

// $HOME, else the password entry's home, else /tmp.
std::string home_directory();

// $XDG_STATE_HOME/kelvo/debug.txt, or ~/.local/state/kelvo/debug.txt when the
// variable is unset or not absolute.
std::string debug_log_file();

// The directory of the running executable, ending in '/' (the working
// directory when it cannot be found).
std::string executable_directory();

// The directories searched for scene packages, in order: the program's own,
// $XDG_DATA_HOME/kelvo (~/.local/share/kelvo when the variable is unset or
// not absolute), and the share/kelvo folder of the installation the program
// belongs to (found relative to the program, so any install prefix works).
// Each ends in '/'; a directory named twice is listed once.
std::vector<std::string> package_directories();

// Makes every missing directory of `path` with mode 0700.
bool make_private_dirs(const std::string& path);

}  // namespace kelvo
