#include "package/logo.h"

#include <cstdio>

#include "host/base/files.h"
#include "model/texture_slots.h"

namespace kelvo {

static std::string logo_path(const Engine& e) { return e.work_dir.empty() ? std::string() : e.work_dir + kLogoFileName; }

int write_logo_texture(Engine& e) {
  std::string path = logo_path(e);
  std::span<const std::uint8_t> bytes = embedded_logo_texture();
  if (path.empty() || bytes.empty()) return 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(path.c_str());
    return 0;
  }

  // The corners in drawing order, placed from the top left of the viewport.
  const float dx = -(400.0f - static_cast<float>(e.viewport_box.x0));
  const float dy = -(300.0f - static_cast<float>(e.viewport_box.y0));
  const float corners[4][2] = {{0, 64}, {64, 64}, {64, 0}, {0, 0}};
  for (int i = 0; i < 4; ++i) e.logo_corners[i] = {corners[i][0] + dx, corners[i][1] + dy, 800.0f};

  e.LOGO = 0;
  e.logo_slot = load_texture_file(e, "KLV", path);
  return 1;
}

void delete_logo_texture_file(Engine& e) {
  std::string path = logo_path(e);
  if (!path.empty()) std::remove(path.c_str());
}

}  // namespace kelvo
