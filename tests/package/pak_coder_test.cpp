#include "package/pak_coder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

const std::string kHeader = "\x55\xAA\x02\xFFKelvo PACKER";
Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Random bytes, or skewed ones (a few frequent values, runs, now and then a
// rare one) so that the tree goes both shallow and deep.
Bytes make_data(std::size_t n, std::uint32_t seed, bool skewed = false) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const std::uint32_t r = static_cast<std::uint32_t>(rng());
    const auto value = static_cast<std::uint8_t>(!skewed || r % 10 >= 7 ? r >> 16 : 'a' + (r >> 8) % 6);
    const std::size_t run = skewed && (r >> 24) % 5 == 0 ? (r >> 4) % 40 + 1 : 1;
    b.insert(b.end(), std::min(run, n - b.size()), value);
  }
  return b;
}

std::uint64_t fnv1a(const Bytes& b) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::uint8_t c : b) h = (h ^ c) * 1099511628211ull;
  return h;
}

// Decodes through a PakReader fed `feed` bytes at a time and drained `chunk`
// bytes at a time; a source that returns -1 after `fail_after` calls.
PakStatus read_pieces(const Bytes& pkg, std::size_t feed, std::size_t chunk, Bytes& out, int fail_after = -1) {
  std::size_t fed = 0;
  PakReader reader([&](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
    if (fail_after-- == 0) return -1;
    const std::size_t piece = std::min({buf.size(), pkg.size() - fed, feed});
    std::copy_n(pkg.data() + fed, piece, buf.data());
    fed += piece;
    return static_cast<std::ptrdiff_t>(piece);
  });
  out.clear();
  Bytes buf(chunk);
  for (std::size_t got = chunk; got == chunk;) {
    got = reader.read(buf);
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got));
  }
  EXPECT_EQ(reader.at_end(), reader.status() == PakStatus::ok);
  EXPECT_EQ(reader.read(buf), 0u);  // nothing after the end or a fault
  return reader.status();
}

// Encodes through a PakWriter in irregular pieces, tiny and large.
Bytes write_pieces(const Bytes& data, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes coded;
  PakWriter writer([&](std::span<const std::uint8_t> block) {
    coded.insert(coded.end(), block.begin(), block.end());
    return true;
  });
  for (std::size_t at = 0, piece = 0; at < data.size(); at += piece) {
    piece = std::min<std::size_t>(data.size() - at, rng() % 3 == 0 ? rng() % 5 : rng() % 70000);
    EXPECT_TRUE(writer.write(std::span<const std::uint8_t>(data.data() + at, piece)));
  }
  EXPECT_TRUE(writer.finish());
  return coded;
}

TEST(PakCoder, KnownEncodings) {
  // The end mark starts as a 9-bit code, eight 0s and a 1.
  EXPECT_EQ(pak_encode({}), bytes_of(kHeader + std::string("\x00\x01", 2)));
  const Bytes abc = bytes_of(kHeader + "\x46\x3D\x09\x10");
  EXPECT_EQ(pak_encode(bytes_of("abc")), abc);
  Bytes out;
  EXPECT_EQ(pak_decode(abc, out), PakStatus::ok);
  EXPECT_EQ(out, bytes_of("abc"));
  // Longer content, whose tree goes deep, by a hash of its whole encoding.
  Bytes all;
  for (int rep = 0; rep < 300; ++rep)
    for (int v = 0; v < 256; ++v) all.push_back(static_cast<std::uint8_t>(rep % 2 ? 255 - v : v));
  EXPECT_EQ(fnv1a(pak_encode(all)), 7139857092098378135u);
  EXPECT_EQ(fnv1a(pak_encode(make_data(100000, 9, true))), 17415437008612332857u);
}

// In memory, through the stream classes in pieces and through the file
// functions, which all give the same bytes. Small reads leave decoded but
// undelivered bits in the decoder: the last symbols must still come out.
TEST(PakCoder, RoundTripsWholeInPiecesAndThroughFiles) {
  TempDir dir;
  std::uint32_t seed = 1;
  std::vector<Bytes> inputs;
  for (std::size_t n : {0, 1, 7, 8, 9, 255, 256, 65535, 65536, 65537, 200000})  // around the 64 KiB blocks
    for (bool skewed : {false, true}) inputs.push_back(make_data(n, seed++, skewed));
  for (std::size_t n = 0; n < 24; ++n) inputs.push_back(make_data(n, seed++));  // the end mark at varied bits
  for (int value : {0, 0xFF}) inputs.push_back(Bytes(70000, static_cast<std::uint8_t>(value)));
  for (const Bytes& data : inputs) {
    SCOPED_TRACE(data.size());
    const Bytes pkg = pak_encode(data);
    Bytes out = {1, 2, 3}, pieces;
    ASSERT_EQ(pak_decode(pkg, out), PakStatus::ok);
    ASSERT_EQ(out, data);
    EXPECT_EQ(write_pieces(data, seed++), pkg);
    const std::size_t feed[] = {1, 5, 64 * 1024}, chunk[] = {1, 70000, 3};
    ASSERT_EQ(read_pieces(pkg, feed[seed % 3], chunk[seed % 3], pieces), PakStatus::ok);
    ASSERT_EQ(pieces, data);
    dir.write("in", text_of(data));
    std::uint64_t last_done = 0;
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
      EXPECT_TRUE(done >= last_done && total == data.size()) << done << "/" << total;
      last_done = done;
    };
    ASSERT_EQ(pak_pack_file(dir.file("in"), dir.file("in.pak"), progress), PakStatus::ok);
    EXPECT_EQ(last_done, data.size());
    ASSERT_EQ(bytes_of(dir.read("in.pak")), pkg);
    ASSERT_EQ(pak_unpack_file(dir.file("in.pak"), dir.file("out")), PakStatus::ok);
    ASSERT_EQ(bytes_of(dir.read("out")), data);
  }
}

TEST(PakCoderFaults, PrefixesAndDamagedHeaders) {
  const Bytes data = make_data(400, 5, true);
  const Bytes pkg = pak_encode(data);
  Bytes out, bad = pkg;
  for (std::size_t len = 0; len < pkg.size(); ++len) {
    SCOPED_TRACE(len);
    const Bytes prefix(pkg.begin(), pkg.begin() + static_cast<std::ptrdiff_t>(len));
    EXPECT_EQ(pak_decode(prefix, out), len < 4 ? PakStatus::bad_magic : PakStatus::truncated);
    // What came out before the fault is a prefix of the content (the fuzz
    // target holds the reader in pieces to the same).
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
  }
  // The magic is checked; the header text and bytes after the end mark are not.
  bad[3] ^= 0x10;
  EXPECT_EQ(pak_decode(bad, out), PakStatus::bad_magic);
  EXPECT_TRUE(out.empty());
  Bytes odd = pkg;
  for (std::size_t i = 4; i < kPakHeaderSize; ++i) odd[i] = static_cast<std::uint8_t>(0xA0 + i);
  odd.insert(odd.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0xFF, 0x12});
  EXPECT_EQ(pak_decode(odd, out), PakStatus::ok);
  EXPECT_EQ(out, data);
}

TEST(PakFile, FailuresStopTheStreamAndRemoveTheOutput) {
  int calls = 0;
  PakWriter failing([&](std::span<const std::uint8_t>) { return ++calls < 2; });
  EXPECT_FALSE(failing.write(make_data(300000, 12)));
  EXPECT_FALSE(failing.finish());
  EXPECT_EQ(calls, 2);  // no more calls after the failure
  Bytes out;
  EXPECT_EQ(read_pieces(pak_encode(make_data(3000, 21)), 100, 10000, out, 1), PakStatus::read_failed);

  TempDir dir;
  const Bytes data = make_data(150000, 77);
  const std::string pkg = text_of(pak_encode(data));
  for (std::size_t len : {0ul, 3ul, 16ul, 65536ul + 16, pkg.size() - 1}) {
    dir.write("cut.pak", pkg.substr(0, len));
    EXPECT_EQ(pak_unpack_file(dir.file("cut.pak"), dir.file("cut.out")),
              len < 4 ? PakStatus::bad_magic : PakStatus::truncated) << len;
    EXPECT_FALSE(std::filesystem::exists(dir.file("cut.out"))) << len;
  }
  dir.write("in", text_of(data));
  // Coding a file onto itself would destroy it.
  EXPECT_EQ(pak_pack_file(dir.file("in"), dir.file("in")), PakStatus::open_failed);
  EXPECT_EQ(bytes_of(dir.read("in")), data);

  // Write errors are reported, and a device is never removed.
  struct stat st {};
  if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(pak_pack_file(dir.file("in"), "/dev/full"), PakStatus::write_failed);
  dir.write("in.pak", pkg);
  EXPECT_EQ(pak_unpack_file(dir.file("in.pak"), "/dev/full"), PakStatus::write_failed);
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace
}  // namespace kelvo
