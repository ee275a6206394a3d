#include "host/settings.h"

#include <climits>
#include <optional>

namespace kelvo {

// Sizes as the player's windows take them; flags are on when not 0.
const std::array<SettingDescription, 7> kNumberSettings = {{
    {"Sounds", &Engine::Sounds, 1, INT32_MIN, INT32_MAX},
    {"Fog", &Engine::Fog, 1, INT32_MIN, INT32_MAX},
    {"ResX", &Engine::ResX, 800, 64, 8192},
    {"ResY", &Engine::ResY, 600, 64, 8192},
    {"Random", &Engine::Random, 0, INT32_MIN, INT32_MAX},
    {"Speed", &Engine::Speed, 0, 0, 2},
    {"Colors", &Engine::Colors, 0, INT32_MIN, INT32_MAX},
}};

namespace {

// Values are read into 255-byte buffers.
std::string cut_value(std::string value) {
  if (value.size() > 254) value.resize(254);
  return value;
}

// The leading-digits conversion: blanks, a sign, digits, then anything.
// Nothing without a digit or beyond 32 bits.
std::optional<std::int32_t> leading_number(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t value = 0;
  std::size_t digits = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (s[i] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool good_module(const std::string& module) {
  return !module.empty() && module.find_first_of("/\\") == std::string::npos;
}

}  // namespace

int read_settings(Engine& e, SettingsStore& store) {
  const bool opened = store.open();
  bool all_good = opened;
  std::optional<std::string> module = opened ? store.read(kModuleSetting) : std::nullopt;
  if (module) module = cut_value(std::move(*module));
  if (module && good_module(*module)) {
    e.Module = std::move(*module);
  } else {
    e.Module = kDefaultModule;
    all_good = false;
  }
  for (const SettingDescription& s : kNumberSettings) {
    std::optional<std::string> text = opened ? store.read(s.name) : std::nullopt;
    std::optional<std::int32_t> value = text ? leading_number(cut_value(std::move(*text))) : std::nullopt;
    if (value && *value >= s.min && *value <= s.max) {
      e.*s.number = *value;
    } else {
      e.*s.number = s.default_number;
      all_good = false;
    }
  }
  return all_good ? 1 : 0;
}

int write_settings(const Engine& e, SettingsStore& store) {
  std::vector<std::pair<std::string, std::string>> values;
  values.emplace_back(kModuleSetting, e.Module);
  for (const SettingDescription& s : kNumberSettings) values.emplace_back(s.name, std::to_string(e.*s.number));
  return store.write(values) ? 1 : 0;
}

int load_settings(Engine& e, SettingsStore& store) {
  if (read_settings(e, store)) return 1;
  write_settings(e, store);
  return 0;
}

int store_defaults(Engine& e, SettingsStore& store) {
  e.Module = kDefaultModule;
  for (const SettingDescription& s : kNumberSettings) e.*s.number = s.default_number;
  write_settings(e, store);
  return read_settings(e, store);
}

}  // namespace kelvo
