#include "package/package_search.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "host/base/files.h"

namespace kelvo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtension = ".pak";
constexpr std::size_t kNameMax = 255;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// Case-blind order, bytes breaking ties, so the order never depends on the
// directory's own.
bool name_before(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if (lower(a[i]) != lower(b[i])) return lower(a[i]) < lower(b[i]);
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool has_pak_extension(std::string_view file) {
  return file.size() > kExtension.size() && same_ignoring_case(file.substr(file.size() - kExtension.size()), kExtension);
}

// The packages of one directory, sorted; names that differ only in case are
// all kept.
std::vector<PackageEntry> packages_in(const std::string& dir) {
  std::vector<PackageEntry> found;
  std::error_code ec;
  const std::string base = dir.empty() ? std::string(".") : dir;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (!has_pak_extension(file)) continue;
    std::string name = file.substr(0, file.size() - kExtension.size());
    if (!package_name_usable(name)) continue;
    std::string path = dir;
    if (!path.empty() && path.back() != kPathSeparator) path += kPathSeparator;
    path += file;
    // Through symbolic links, and only files that can be opened.
    if (!file_exists(path)) continue;
    found.push_back({std::move(name), std::move(path)});
  }
  std::sort(found.begin(), found.end(), [](const PackageEntry& a, const PackageEntry& b) {
    return name_before(a.name, b.name);
  });
  return found;
}

}  // namespace

bool package_name_usable(std::string_view name) {
  if (name.empty() || name.size() > kNameMax || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

std::vector<PackageEntry> search_packages(const std::vector<std::string>& dirs) {
  std::vector<PackageEntry> all;
  for (const std::string& dir : dirs) {
    for (PackageEntry& entry : packages_in(dir)) {
      const bool clash = std::any_of(all.begin(), all.end(),
                                     [&](const PackageEntry& seen) { return same_ignoring_case(seen.name, entry.name); });
      if (!clash) all.push_back(std::move(entry));
    }
  }
  std::stable_sort(all.begin(), all.end(), [](const PackageEntry& a, const PackageEntry& b) {
    return name_before(a.name, b.name);
  });
  return all;
}

std::optional<PackageEntry> find_package(const std::vector<std::string>& dirs, std::string_view name) {
  if (!package_name_usable(name)) return std::nullopt;
  for (const std::string& dir : dirs) {
    std::vector<PackageEntry> entries = packages_in(dir);
    auto exact = std::find_if(entries.begin(), entries.end(), [&](const PackageEntry& p) { return p.name == name; });
    if (exact != entries.end()) return std::move(*exact);
    auto loose = std::find_if(entries.begin(), entries.end(),
                              [&](const PackageEntry& p) { return same_ignoring_case(p.name, name); });
    if (loose != entries.end()) return std::move(*loose);
  }
  return std::nullopt;
}

std::vector<std::string> find_packages(const std::string& dir) {
  std::vector<std::string> names;
  for (PackageEntry& entry : search_packages({dir})) names.push_back(std::move(entry.name));
  return names;
}

}  // namespace kelvo
