// The logo texture on Windows: the program's RCDATA resource 110.
#include <windows.h>

#include "host/resource_ids_win32.h"
#include "package/logo.h"

namespace kelvo {

std::span<const std::uint8_t> embedded_logo_texture() {
  HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(KELVO_LOGO_ID), RT_RCDATA);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(nullptr, info);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::uint8_t*>(bytes), SizeofResource(nullptr, info)};
}

}  // namespace kelvo
