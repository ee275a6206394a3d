#include "host/user_dirs_posix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

// The installed package folder relative to the installed program, set by the
// build from the install layout (bin/ -> ../share/kelvo).
#ifndef KELVO_PACKAGES_FROM_BIN
#define KELVO_PACKAGES_FROM_BIN "../share/kelvo"
#endif

namespace kelvo {

std::string home_directory() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

namespace {

std::string with_slash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

std::string debug_log_file() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string dir = (state && state[0] == '/') ? std::string(state) : home_directory() + "/.local/state";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir + "/kelvo/debug.txt";
}

std::string executable_directory() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  const std::string exe = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  const std::size_t slash = exe.rfind('/');
  if (slash == std::string::npos) {
    const char* cwd = ::getcwd(buffer, sizeof buffer);
    const std::string dir = cwd ? cwd : "/";
    return dir.back() == '/' ? dir : dir + "/";
  }
  return exe.substr(0, slash + 1);
}

std::vector<std::string> package_directories() {
  const std::string program = executable_directory();
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string user = (data && data[0] == '/') ? std::string(data) : home_directory() + "/.local/share";
  while (user.size() > 1 && user.back() == '/') user.pop_back();
  const std::string installed =
      std::filesystem::path(program + KELVO_PACKAGES_FROM_BIN).lexically_normal().string();

  std::vector<std::string> dirs;
  for (std::string dir : {program, user + "/kelvo", installed}) {
    dir = with_slash(std::move(dir));
    bool seen = false;
    for (const std::string& d : dirs) seen = seen || d == dir;
    if (!seen) dirs.push_back(std::move(dir));
  }
  return dirs;
}

bool make_private_dirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace kelvo
