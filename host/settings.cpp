#include "host/settings.h"

#include "host/base/text_helpers.h"

namespace kelvo {

const std::array<SettingDescription, 7> kNumberSettings = {{
    {"Sounds", &Engine::Sounds, 1},
    {"Fog", &Engine::Fog, 1},
    {"ResX", &Engine::ResX, 800},
    {"ResY", &Engine::ResY, 600},
    {"Random", &Engine::Random, 0},
    {"Speed", &Engine::Speed, 0},
    {"Colors", &Engine::Colors, 0},
}};

// Values are read into 255-byte buffers.
static std::string cut_value(std::string value) {
  if (value.size() > 254) value.resize(254);
  return value;
}

int read_settings(Engine& e, SettingsStore& store) {
  if (!store.open()) return 0;
  std::optional<std::string> module = store.read(kModuleSetting);
  if (!module) return 0;
  e.Module = cut_value(std::move(*module));
  for (const SettingDescription& s : kNumberSettings) {
    std::optional<std::string> value = store.read(s.name);
    if (!value) return 0;
    e.*s.number = text_to_int(cut_value(std::move(*value)));
  }
  return 1;
}

int write_settings(const Engine& e, SettingsStore& store) {
  std::vector<std::pair<std::string, std::string>> values;
  values.emplace_back(kModuleSetting, e.Module);
  for (const SettingDescription& s : kNumberSettings) values.emplace_back(s.name, std::to_string(e.*s.number));
  return store.write(values) ? 1 : 0;
}

int store_defaults(Engine& e, SettingsStore& store) {
  e.Module = kDefaultModule;
  for (const SettingDescription& s : kNumberSettings) e.*s.number = s.default_number;
  write_settings(e, store);
  return read_settings(e, store);
}

}  // namespace kelvo
