// Fuzzes the settings file: the input is the file the player reads its
// settings from.
//
// Checks, besides the sanitizers' own: settings that were read, written and
// read again come back with the same numbers.
#include <cstdint>
#include <map>

#include "fuzz/fuzz_support.h"
#include "host/settings.h"
#include "host/settings_file.h"

namespace {

std::string g_path;

class MemoryStore : public kelvo::SettingsStore {
 public:
  bool open() override { return !values.empty(); }
  std::optional<std::string> read(std::string_view name) override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool write(const std::vector<std::pair<std::string, std::string>>& v) override {
    for (const auto& [name, value] : v) values[name] = value;
    return true;
  }
  std::map<std::string, std::string, std::less<>> values;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = kelvo::fuzz::make_work_dir("settings") + "settings";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kelvo::fuzz::write_file(g_path, data, size);
  kelvo::Engine e;
  kelvo::SettingsFile file(g_path);
  if (!kelvo::read_settings(e, file)) return 0;
  MemoryStore store;
  kelvo::fuzz::check(kelvo::write_settings(e, store) == 1, "settings cannot be written");
  kelvo::Engine again;
  kelvo::fuzz::check(kelvo::read_settings(again, store) == 1, "written settings cannot be read");
  for (const kelvo::SettingDescription& s : kelvo::kNumberSettings)
    kelvo::fuzz::check(e.*s.number == again.*s.number, "a number changed on its way through the file");
  return 0;
}
