// Where the scene packages are: every "*.pak" file (any case) in a list of
// directories searched in order. The player's random choice, its --module
// option and the configuration dialog all see the same list.
//
// A package's shown name is its file name without the extension. Names are
// compared without regard to case, as on the platform the packages come from:
// when two directories hold the same name, the earlier directory wins; inside
// one directory an exact match wins over one that differs in case, and among
// those the first in byte order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

struct PackageEntry {
  std::string name;  // the file name without ".pak", as found ("BETA" for BETA.PAK)
  std::string path;  // the full path of the file
};

// Every package of `dirs`, one entry per name, sorted by name without regard
// to case. Missing or unreadable directories are passed over.
std::vector<PackageEntry> search_packages(const std::vector<std::string>& dirs);

// The package called `name` (without ".pak"), from the first directory that
// has one; nullopt when none has.
std::optional<PackageEntry> find_package(const std::vector<std::string>& dirs, std::string_view name);

// The names alone of the packages in one directory (kept for callers that
// list a single folder).
std::vector<std::string> find_packages(const std::string& dir);

// Whether `name` can name a package: not empty, at most 255 bytes, no path
// separator, no control character, not "." or "..".
bool package_name_usable(std::string_view name);

}  // namespace kelvo
