// The settings store on Windows: string values under the current user's
// registry key "SOFTWARE\Kelvo\".
#pragma once

#include <string>

#include "host/base/platform.h"

namespace kelvo {

class RegistrySettings : public SettingsStore {
 public:
  // The key under HKEY_CURRENT_USER.
  static constexpr const char* kKey = "SOFTWARE\\Kelvo\\";

  RegistrySettings() = default;
  RegistrySettings(const RegistrySettings&) = delete;
  RegistrySettings& operator=(const RegistrySettings&) = delete;
  ~RegistrySettings() override;

  bool open() override;
  // Only string values count; a value of another type, or one too long for
  // the 255-byte buffer it is read into, is missing.
  std::optional<std::string> read(std::string_view name) override;
  // False when the key cannot be made or any value was refused.
  bool write(const std::vector<std::pair<std::string, std::string>>& values) override;

 private:
  void close();
  void* key_ = nullptr;  // the HKEY opened last
};

}  // namespace kelvo
