// The run-time paths: where the program lives, where the package is, and the
// work directory that every scene file is read from.
//
// Packages are unpacked into the platform's private work directory (one per
// running instance); without a package the scene is read from the "Data"
// folder beside the program. Files the engine writes (the member list, the
// unpacked stream, the logo) always go to the private work directory, never
// into an author's folder.
#pragma once

#include <string>
#include <string_view>

#include "host/base/files.h"
#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

// The program's directory from a Windows command line: the program path is
// cut at its last backslash, quotes become spaces, spaces are trimmed, a
// trailing backslash is added and a path without a drive gets "C:".
std::string app_dir_from_command_line(std::string_view command_line);

// Computes the six paths from the program's directory (ending in a
// separator), the module name and the author's overrides, removes what the
// member list of an earlier run names, and logs the paths. Returns 1.
int path_setup(Engine& e, Platform& platform, const std::string& app_dir);

}  // namespace kelvo
