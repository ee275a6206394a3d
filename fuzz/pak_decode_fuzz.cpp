// Fuzzes the package decoder with arbitrary bytes.
//
// Checks, besides the sanitizers' own: the whole-buffer decoder and the
// piecewise reader (fed and drained in irregular pieces) agree on status and
// output; a decoded content codes back to something that decodes to it; the
// input taken as content survives a round trip.

#include "package/pak_coder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"

using kelvo::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvo::PakStatus;
  const std::span<const std::uint8_t> input(data, size);

  std::vector<std::uint8_t> whole;
  const PakStatus status = kelvo::pak_decode(input, whole);
  if (size < 4) check(status == PakStatus::bad_magic, "short input not bad_magic");
  check(status == PakStatus::ok || status == PakStatus::bad_magic || status == PakStatus::truncated,
        "unexpected status");
  if (size >= kelvo::kPakHeaderSize) check(whole.size() <= 8 * (size - kelvo::kPakHeaderSize), "output too long");

  // Piece sizes taken from the input itself, so the fuzzer steers them.
  std::size_t fed = 0;
  std::uint32_t mix = 0x9E3779B9u;
  for (std::size_t i = 0; i < std::min<std::size_t>(size, 16); ++i) mix = (mix ^ data[i]) * 16777619u;
  auto next_piece = [&mix](std::size_t limit) {
    mix = mix * 1103515245u + 12345u;
    const std::size_t n = (mix >> 16) % 23 == 0 ? limit : 1 + (mix >> 16) % 13;
    return std::min(n, limit);
  };
  kelvo::PakReader reader([&](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
    const std::size_t n = next_piece(std::min(buf.size(), size - fed));
    if (n > 0) std::memcpy(buf.data(), data + fed, n);
    fed += n;
    return static_cast<std::ptrdiff_t>(n);
  });
  std::vector<std::uint8_t> pieces;
  std::uint8_t buf[300];
  for (;;) {
    const std::size_t want = 1 + next_piece(sizeof buf - 1);
    const std::size_t got = reader.read(std::span<std::uint8_t>(buf, want));
    pieces.insert(pieces.end(), buf, buf + got);
    if (got < want) break;
  }
  check(reader.status() == status, "reader status differs");
  check(reader.at_end() == (status == PakStatus::ok), "reader end differs");
  check(pieces == whole, "reader output differs");

  if (status == PakStatus::ok) {
    std::vector<std::uint8_t> again;
    check(kelvo::pak_decode(kelvo::pak_encode(whole), again) == PakStatus::ok && again == whole,
          "decoded content does not survive re-coding");
  }

  std::vector<std::uint8_t> back;
  check(kelvo::pak_decode(kelvo::pak_encode(input), back) == PakStatus::ok &&
            back.size() == size && std::equal(back.begin(), back.end(), data),
        "round trip of the input as content failed");
  return 0;
}
