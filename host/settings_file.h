// The settings store on Linux: a text file of "Name=value" lines,
// $XDG_CONFIG_HOME/kelvo/settings (~/.config/kelvo/settings by default).
// Names are matched without regard to case; blanks around names, '=' and
// values are ignored; lines without '=' and lines starting with '#' are
// skipped.
// Written whole into a temporary file that then replaces the old one, so a
// crash never leaves a half-written file.
#pragma once

#include <map>
#include <string>

#include "host/base/platform.h"

namespace kelvo {

class SettingsFile : public SettingsStore {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}
  static std::string default_path();

  bool open() override;
  std::optional<std::string> read(std::string_view name) override;
  bool write(const std::vector<std::pair<std::string, std::string>>& values) override;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::map<std::string, std::string, std::less<>> values_;  // by lower-case name
};

}  // namespace kelvo
