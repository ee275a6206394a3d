// Settings for one run: a settings store that answers some values itself and
// passes the rest through to the stored settings. Whatever the engine writes
// back, the stored file never receives an overridden value: it keeps what it
// held (or gets the default when it held nothing).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/base/platform.h"

namespace kelvo {

// A setting's stored name and the value it takes for this run.
using SettingOverride = std::pair<std::string, std::string>;

class OverrideStore : public SettingsStore {
 public:
  explicit OverrideStore(SettingsStore& inner) : inner_(inner) {}

  // Answers `name` (any case) with `value` from now on; a later call for the
  // same name replaces the earlier one.
  void set(std::string_view name, std::string value);
  void set(const std::vector<SettingOverride>& overrides) {
    for (const auto& [name, value] : overrides) set(name, value);
  }

  bool open() override { return inner_.open(); }
  std::optional<std::string> read(std::string_view name) override;
  bool write(const std::vector<std::pair<std::string, std::string>>& values) override;

 private:
  const SettingOverride* find(std::string_view name) const;

  SettingsStore& inner_;
  std::vector<SettingOverride> overrides_;
};

}  // namespace kelvo
