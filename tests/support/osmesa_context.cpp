#include "support/osmesa_context.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

namespace kelvo::test {

OsmesaContext::OsmesaContext(int width, int height)
    : width_(width), height_(height), buffer_(static_cast<std::size_t>(width) * height * 4) {
  OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  if (!ctx) return;
  if (!OSMesaMakeCurrent(ctx, buffer_.data(), GL_UNSIGNED_BYTE, width, height)) {
    OSMesaDestroyContext(ctx);
    return;
  }
  context_ = ctx;
}

OsmesaContext::~OsmesaContext() {
  if (context_) OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

std::uint32_t OsmesaContext::pixel(int x, int y) const {
  glFinish();
  const std::uint8_t* p = &buffer_[(static_cast<std::size_t>(y) * width_ + x) * 4];
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

}  // namespace kelvo::test
