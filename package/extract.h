// Choosing a package, unpacking its members into the work directory, and
// removing them again.
#pragma once

#include <string>
#include <vector>

#include "package/package_search.h"
#include "scene/engine_state.h"

namespace kelvo {

// With the Random setting on, replaces the module name in memory with a
// package picked at random among those of the package directories (the name
// as its file is called). 1 when it did.
int random_package_choice(Engine& e);

enum class ExtractResult {
  extracted,           // the members are in the work directory
  no_package,          // nothing to unpack; the scene is read from dir_temp as it is
  stream_open_failed,  // the unpacked stream could not be written or read back
  bad_magic,           // the package file is not a package
  damaged,             // the package ends before its end mark
};

// Unpacks "path_pack" and splits its member stream into files of dir_temp,
// listing each in "path_list". Members with unusable names, or whose data
// run past the end of the stream, are refused with a log line.
ExtractResult extract_package(Engine& e);

// Deletes the files that "path_list" names (only those inside its own
// directory), then the list. Returns 1.
int delete_extracted_files(Engine& e);

}  // namespace kelvo
