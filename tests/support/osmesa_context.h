// A real software GL context for tests: Mesa's OSMesa, RGBA, 16-bit depth.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo::test {

class OsmesaContext {
 public:
  OsmesaContext(int width, int height);
  ~OsmesaContext();
  OsmesaContext(const OsmesaContext&) = delete;
  OsmesaContext& operator=(const OsmesaContext&) = delete;

  bool ok() const { return context_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  // RGBA of pixel (x, y), y counted from the bottom as GL does.
  std::uint32_t pixel(int x, int y) const;
  const std::vector<std::uint8_t>& buffer() const { return buffer_; }

 private:
  void* context_ = nullptr;
  int width_, height_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace kelvo::test
