// Fuzzes the 3DF texture decoder with arbitrary bytes.
//
// Checks, besides the sanitizers' own: an accepted texture is square, of a
// size the decoder allows, with three bytes per texel; written as rgb565 and
// read back twice, it comes back the same the second time (the first
// rounding is the only change).
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "model/texture_3df_write.h"
#include "model/texture_slots.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvo::fuzz::check;
  std::optional<kelvo::Image> image = kelvo::decode_3df(std::span<const std::uint8_t>(data, size));
  if (!image) return 0;
  check(image->width == image->height && image->width > 0 && image->width <= kelvo::k3dfMaxSize, "texture size");
  check(image->rgb.size() == static_cast<std::size_t>(image->width) * image->width * 3, "texel count");
  if (image->width > 64) return 0;
  const std::vector<std::uint8_t> once = kelvo::encode_3df(*image, kelvo::TexelFormat::rgb565);
  std::optional<kelvo::Image> back = kelvo::decode_3df(once);
  check(back && back->width == image->width, "written texture is refused");
  check(kelvo::encode_3df(*back, kelvo::TexelFormat::rgb565) == once, "rgb565 round trip changed texels");
  return 0;
}
