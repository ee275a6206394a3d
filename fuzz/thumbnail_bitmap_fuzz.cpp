// Fuzzes the thumbnail bitmap reader with arbitrary bytes.
//
// Checks, besides the sanitizers' own: a refusal says why; what a read keeps
// is bounded by the file (RLE codes by its size, uncompressed rows by its
// size plus the shortfall allowed); the colour table has at most 256 entries;
// the RGBA picture has width x height opaque pixels; and the bitmap written
// back as BITMAPINFO plus pixels reads again as the same picture.

#include "config/thumbnail_bitmap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bitmap fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvo;
  const BitmapReadResult r = read_bitmap(std::span<const std::uint8_t>(data, size));
  if (!r.bitmap) {
    check(!r.error.empty(), "refused without a reason");
    return 0;
  }
  const DibBitmap& dib = *r.bitmap;
  const BitmapInfoHeader& h = dib.header;
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  check(dib.colors.size() <= 256 && h.clr_used == dib.colors.size(), "colour table");
  check(dib.pixels.size() <= size + (rle ? 0 : kMaxMissingPixelBytes), "more pixel bytes than the file holds");
  check(h.width > 0 && h.width <= kMaxBitmapSide && h.height != 0 && h.height >= -kMaxBitmapSide &&
            h.height <= kMaxBitmapSide,
        "size out of range");

  const RgbaImage image = bitmap_to_rgba(dib);
  check(image.pixels.size() == static_cast<std::size_t>(image.width) * image.height * 4, "RGBA size");
  for (std::size_t i = 3; i < image.pixels.size(); i += 4) check(image.pixels[i] == 255, "alpha");

  std::vector<std::uint8_t> again = bitmap_info_bytes(dib);
  check(again.size() == 40 + (h.compression == kBiBitfields ? 12 : 0) + 4 * dib.colors.size(), "BITMAPINFO size");
  again.insert(again.end(), dib.pixels.begin(), dib.pixels.end());
  const BitmapReadResult back = read_bitmap(again);
  check(back.bitmap && bitmap_to_rgba(*back.bitmap).pixels == image.pixels, "written back, reads differently");
  return 0;
}
