#include "host/registry_settings.h"

#include <windows.h>

namespace kelvo {

namespace {

constexpr DWORD kValueBuffer = 255;

}  // namespace

RegistrySettings::~RegistrySettings() { close(); }

void RegistrySettings::close() {
  if (key_) RegCloseKey(static_cast<HKEY>(key_));
  key_ = nullptr;
}

bool RegistrySettings::open() {
  close();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  key_ = key;
  return true;
}

std::optional<std::string> RegistrySettings::read(std::string_view name) {
  if (!key_) return std::nullopt;
  char buffer[kValueBuffer];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const std::string value_name(name);
  if (RegQueryValueExA(static_cast<HKEY>(key_), value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  // A stored string need not end in a zero.
  std::string text(buffer, size);
  if (const std::size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  return text;
}

bool RegistrySettings::write(const std::vector<std::pair<std::string, std::string>>& values) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool all_written = true;
  for (const auto& [name, value] : values) {
    // Stored with the terminating zero, as registry readers expect.
    all_written &= RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }
  RegFlushKey(key);
  RegCloseKey(key);
  return all_written;
}

}  // namespace kelvo
