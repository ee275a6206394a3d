// The logo texture as an array compiled into the program (made at build time
// by data/embed_file.cmake). The Windows build carries it as a resource
// instead (host/logo_resource_win32.cpp).
#include "package/logo.h"

namespace kelvo {

extern "C" const unsigned char kelvo_logo_texture[];
extern "C" const std::size_t kelvo_logo_texture_size;

std::span<const std::uint8_t> embedded_logo_texture() { return {kelvo_logo_texture, kelvo_logo_texture_size}; }

}  // namespace kelvo
