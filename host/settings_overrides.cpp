#include "host/settings_overrides.h"

#include <strings.h>

#include "host/settings.h"

namespace kelvo {

namespace {

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The default of a setting, for a file that never held it.
std::string default_value(std::string_view name) {
  if (same_name(name, kModuleSetting)) return kDefaultModule;
  for (const SettingDescription& s : kNumberSettings)
    if (same_name(name, s.name)) return std::to_string(s.default_number);
  return {};
}

}  // namespace

const SettingOverride* OverrideStore::find(std::string_view name) const {
  for (const SettingOverride& o : overrides_)
    if (same_name(o.first, name)) return &o;
  return nullptr;
}

void OverrideStore::set(std::string_view name, std::string value) {
  for (SettingOverride& o : overrides_) {
    if (same_name(o.first, name)) {
      o.second = std::move(value);
      return;
    }
  }
  overrides_.emplace_back(std::string(name), std::move(value));
}

std::optional<std::string> OverrideStore::read(std::string_view name) {
  if (const SettingOverride* o = find(name)) return o->second;
  return inner_.read(name);
}

bool OverrideStore::write(const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<std::pair<std::string, std::string>> stored = values;
  for (auto& [name, value] : stored) {
    if (!find(name)) continue;
    std::optional<std::string> kept = inner_.read(name);
    value = kept ? std::move(*kept) : default_value(name);
  }
  return inner_.write(stored);
}

}  // namespace kelvo
