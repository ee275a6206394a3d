#include "media/soundfont.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace kelvo {

namespace {

namespace fs = std::filesystem;

bool readable_file(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  return in.good();
}

}  // namespace

std::string choose_soundfont(const std::string& preferred, const std::string& sf2_dir, const std::string& fallback) {
  if (readable_file(preferred)) return preferred;

  std::vector<std::string> found;
  std::string default_set;
  std::error_code error;
  if (!sf2_dir.empty()) {
    for (fs::directory_iterator it(sf2_dir, error), end; !error && it != end; it.increment(error)) {
      const fs::path& p = it->path();
      std::string extension = p.extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (extension != ".sf2" || !readable_file(p.string())) continue;
      if (p.filename() == "default-GM.sf2")
        default_set = p.string();
      else
        found.push_back(p.string());
    }
  }
  std::sort(found.begin(), found.end());
  if (!found.empty()) return found.front();
  if (!default_set.empty()) return default_set;
  if (readable_file(fallback)) return fallback;
  return {};
}

}  // namespace kelvo
