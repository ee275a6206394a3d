// The eight user settings: declared once here, with their stored names,
// defaults and usable ranges; read from and written to the platform's
// settings store.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

struct SettingDescription {
  const char* name;                 // the stored value's name
  std::int32_t Engine::*number;     // the field, for numbers
  std::int32_t default_number;
  std::int32_t min, max;            // a stored number outside is bad
};

// "Module" (text, default "kelvo") comes first; then the seven numbers, in
// the order they are read and written.
inline constexpr const char* kModuleSetting = "Module";
inline constexpr const char* kDefaultModule = "kelvo";
inline constexpr std::size_t kModuleMaxLength = 255;
extern const std::array<SettingDescription, 7> kNumberSettings;

// Reads the eight values. Numbers take their leading digits ("1024x" is
// 1024); a value that is missing, has no digits, does not fit 32 bits or
// lies outside its range, and a Module that is empty or holds a path
// separator, takes its default alone: the other values keep what was read.
// 1 when the store was there and every value was good, 0 otherwise.
int read_settings(Engine& e, SettingsStore& store);
// 1 when the store could be written.
int write_settings(const Engine& e, SettingsStore& store);
// Start-up's reading: read_settings, and when it had to fill something in,
// writes the eight values back so that the store holds them all. Returns what
// read_settings returned.
int load_settings(Engine& e, SettingsStore& store);
// Sets the defaults, writes them and returns what reading them back returns.
int store_defaults(Engine& e, SettingsStore& store);

}  // namespace kelvo
