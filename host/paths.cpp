#include "host/paths.h"

#include <algorithm>

#include "host/base/files.h"
#include "host/base/text_helpers.h"
#include "package/extract.h"
#include "package/package_search.h"

namespace kelvo {

std::string app_dir_from_command_line(std::string_view command_line) {
  std::string buf(command_line);
  // Cut the program name and arguments: from the second-to-last character
  // leftwards, everything up to the first backslash goes.
  if (buf.size() >= 2) {
    std::size_t cut = buf.size();
    for (std::size_t i = buf.size() - 2; i > 0; --i) {
      if (buf[i] == '\\') break;
      cut = i;
    }
    buf.erase(cut);
  }
  for (char& c : buf)
    if (c == '"') c = ' ';
  trim_spaces(buf);
  if (buf.empty() || buf.back() != '\\') buf += '\\';
  if (buf.front() == '\\') buf = "C:" + buf;
  return buf;
}

static std::string with_separator(std::string dir) {
  if (!dir.empty() && dir.back() != kPathSeparator) dir += kPathSeparator;
  return dir;
}

int path_setup(Engine& e, Platform& platform, const std::string& app_dir) {
  Paths& p = e.paths;
  p.path_app = with_separator(app_dir);
  p.path_debug = platform.debug_log_path();
  p.package_dirs = {p.path_app};
  for (std::string& dir : platform.package_directories()) {
    dir = with_separator(std::move(dir));
    if (std::find(p.package_dirs.begin(), p.package_dirs.end(), dir) == p.package_dirs.end())
      p.package_dirs.push_back(std::move(dir));
  }

  // The module is looked up by name in every package directory and opened by
  // the name its file has. A name that is not found keeps the program's
  // directory in the path, for the log; one that could leave it names none.
  bool have_pack = false;
  if (!e.overrides.data_dir.empty()) {
    p.path_pack.clear();
  } else if (!e.overrides.package_file.empty()) {
    p.path_pack = e.overrides.package_file;
    have_pack = file_exists(p.path_pack) == 1;
  } else if (std::optional<PackageEntry> found = find_package(p.package_dirs, e.Module)) {
    p.path_pack = found->path;
    have_pack = file_exists(p.path_pack) == 1;
  } else {
    p.path_pack = package_name_usable(e.Module) ? p.path_app + e.Module + ".pak" : std::string();
  }

  // Everything the engine writes goes to the private directory.
  e.work_dir = platform.work_directory();
  const std::string& work = e.work_dir;
  if (!e.overrides.data_dir.empty())
    p.dir_temp = with_separator(e.overrides.data_dir);
  else if (have_pack)
    p.dir_temp = work;
  else
    p.dir_temp = p.path_app + "Data" + kPathSeparator;
  p.path_list = work.empty() ? std::string() : work + kListFileName;
  p.path_temp = work.empty() ? std::string() : work + kStreamFileName;

  delete_extracted_files(e);

  debug_log(e.log, "cmdLine=%s", app_dir.c_str());
  debug_log(e.log, "path app=%s", p.path_app.c_str());
  debug_log(e.log, "path_debug=%s", p.path_debug.c_str());
  debug_log(e.log, "path_pack=%s", p.path_pack.c_str());
  debug_log(e.log, "dir_temp=%s", p.dir_temp.c_str());
  debug_log(e.log, "path_list=%s", p.path_list.c_str());
  debug_log(e.log, "path_temp=%s", p.path_temp.c_str());
  return 1;
}

}  // namespace kelvo
