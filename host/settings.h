// The eight user settings: declared once here, with their stored names and
// defaults; read from and written to the platform's settings store.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/base/platform.h"
#include "scene/engine_state.h"

namespace kelvo {

struct SettingDescription {
  const char* name;                 // the stored value's name
  std::int32_t Engine::*number;     // the field, for numbers
  std::int32_t default_number;
};

// "Module" (text, default "kelvo") comes first; then the seven numbers, in
// the order they are read and written.
inline constexpr const char* kModuleSetting = "Module";
inline constexpr const char* kDefaultModule = "kelvo";
inline constexpr std::size_t kModuleMaxLength = 255;
extern const std::array<SettingDescription, 7> kNumberSettings;

// 1 when the store and all eight values were read. Values before the first
// missing one keep what was read; later fields keep what they held.
int read_settings(Engine& e, SettingsStore& store);
// 1 when the store could be written.
int write_settings(const Engine& e, SettingsStore& store);
// Sets the defaults, writes them and returns what reading them back returns.
int store_defaults(Engine& e, SettingsStore& store);

}  // namespace kelvo
