#include "host/settings_file.h"

#include "host/user_dirs_posix.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {

// A settings file larger than this is not ours.
static constexpr std::size_t kMaxFileSize = 64 * 1024;

// Blanks around names, '=' and values do not count; nor does a line's
// carriage return.
static std::string_view trim_blanks(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Names are matched without regard to case.
static std::string lower_case(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

std::string SettingsFile::default_path() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && config[0] == '/') {
    base = config;
  } else {
    base = home_directory() + "/.config";
  }
  return base + "/kelvo/settings";
}

bool SettingsFile::open() {
  values_.clear();
  std::ifstream in(path_, std::ios::binary);
  if (!in) return false;
  std::string line;
  std::size_t total = 0;
  while (std::getline(in, line)) {
    total += line.size() + 1;
    if (total > kMaxFileSize) return false;
    std::string_view text = trim_blanks(line);
    if (text.empty() || text[0] == '#') continue;
    std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    values_.insert_or_assign(lower_case(trim_blanks(text.substr(0, eq))), std::string(trim_blanks(text.substr(eq + 1))));
  }
  return true;
}

std::optional<std::string> SettingsFile::read(std::string_view name) {
  auto it = values_.find(lower_case(name));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

// Creates each missing directory of `dir` with user-only permissions.
static bool make_directories(const std::string& dir) {
  for (std::size_t i = 1; i <= dir.size(); ++i) {
    if (i != dir.size() && dir[i] != '/') continue;
    std::string part = dir.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool SettingsFile::write(const std::vector<std::pair<std::string, std::string>>& values) {
  std::size_t slash = path_.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !make_directories(path_.substr(0, slash))) return false;

  std::string text = "# Kelvo settings\n";
  for (const auto& [name, value] : values) {
    std::string clean = value;
    for (char& c : clean)
      if (c == '\n' || c == '\r') c = ' ';  // one value per line
    text += name + "=" + clean + "\n";
  }

  std::string temp = path_ + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const char* p = text.data();
  std::size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path_.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace kelvo
