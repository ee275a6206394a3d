#include "package/pak_coder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

const Bytes kHeader = {0x55, 0xAA, 0x02, 0xFF, 'K', 'e', 'l', 'v', 'o', ' ', 'P', 'A', 'C', 'K', 'E', 'R'};

Bytes with_header(std::initializer_list<std::uint8_t> body) {
  Bytes b = kHeader;
  b.insert(b.end(), body);
  return b;
}
Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A literal, slow implementation of the code: parent/left/right arrays and one
// bit at a time. The fast coder must agree with it bit for bit.
struct RefTree {
  int parent[513] = {}, left[256], right[256];
  RefTree() {
    for (int i = 1; i < 513; ++i) parent[i] = (i - 1) / 2;
    for (int j = 0; j < 256; ++j) left[j] = 2 * j + 1, right[j] = 2 * j + 2;
  }
  int depth(int symbol) const {
    int d = 0;
    for (int a = symbol + 256; a != 0; a = parent[a]) ++d;
    return d;
  }
  void splay(int symbol) {
    for (int a = symbol + 256; a != 0;) {
      const int c = parent[a];
      if (c == 0) break;
      const int d = parent[c];
      int& uncle = left[d] == c ? right[d] : left[d];
      const int b = uncle;
      uncle = a;
      (left[c] == a ? left[c] : right[c]) = b;
      parent[a] = d;
      parent[b] = c;
      a = d;
    }
  }
};

Bytes ref_encode(const Bytes& data) {
  Bytes out = kHeader;
  RefTree tree;
  int position = 0;
  auto put = [&](int symbol) {
    std::vector<int> bits;  // leaf first
    for (int a = symbol + 256; a != 0; a = tree.parent[a]) bits.push_back(tree.right[tree.parent[a]] == a);
    for (auto bit = bits.rbegin(); bit != bits.rend(); ++bit) {
      if (position == 0) out.push_back(0);
      out.back() |= static_cast<std::uint8_t>(*bit << position);
      position = (position + 1) % 8;
    }
    tree.splay(symbol);
  };
  for (std::uint8_t b : data) put(b);
  put(256);
  return out;
}

PakStatus ref_decode(const Bytes& pkg, Bytes& out) {
  out.clear();
  if (pkg.size() < 4 || !std::equal(kHeader.begin(), kHeader.begin() + 4, pkg.begin())) return PakStatus::bad_magic;
  RefTree tree;
  for (std::size_t bit = 8 * kPakHeaderSize;;) {
    int node = 0;
    for (; node < 256; ++bit) {
      if (bit / 8 >= pkg.size()) return PakStatus::truncated;
      node = (pkg[bit / 8] >> (bit % 8)) & 1 ? tree.right[node] : tree.left[node];
    }
    tree.splay(node - 256);
    if (node == 512) return PakStatus::ok;
    out.push_back(static_cast<std::uint8_t>(node - 256));
  }
}

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

// Content that meets a code longer than `want_depth` bits. Semi-splaying keeps
// busy symbols near the root but some access orders push a leaf deep; a
// deterministic local search finds one, and the content ends by coding it.
Bytes deep_code_bytes(int want_depth) {
  std::vector<int> seq;
  for (int pass = 0; pass < 3; ++pass)
    for (int k = 0; k < 256; ++k) seq.push_back(pass % 2 ? 255 - k : k);
  auto deepest = [](const std::vector<int>& s, int& symbol) {
    RefTree tree;
    for (int x : s) tree.splay(x);
    int best = 0;
    for (int x = 0; x < 256; ++x)
      if (tree.depth(x) > best) best = tree.depth(x), symbol = x;
    return best;
  };
  int symbol = 0, best = deepest(seq, symbol);
  std::mt19937 rng(1);
  for (int i = 0; i < 20000 && best < want_depth; ++i) {
    std::vector<int> trial = seq;
    const auto at = trial.begin() + static_cast<std::ptrdiff_t>(rng() % trial.size());
    switch (rng() % 3) {
      case 0: *at = static_cast<int>(rng() % 256); break;
      case 1: trial.insert(at, static_cast<int>(rng() % 256)); break;
      default: trial.erase(at);
    }
    int trial_symbol = 0;
    if (const int d = deepest(trial, trial_symbol); d >= best) best = d, symbol = trial_symbol, seq = std::move(trial);
  }
  EXPECT_GE(best, want_depth);
  seq.insert(seq.end(), {symbol, symbol});
  return Bytes(seq.begin(), seq.end());
}

// Lengths around the 64 KiB blocks of the file functions, and some at random.
std::vector<std::size_t> test_lengths() {
  std::vector<std::size_t> v = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 255, 256, 1000, 65535, 65536, 65537, 131072};
  std::mt19937 rng(42);
  for (int i = 0; i < 6; ++i) v.push_back(rng() % 300000);
  return v;
}

void expect_round_trip(const Bytes& data) {
  const Bytes pkg = pak_encode(data);
  ASSERT_EQ(pkg, ref_encode(data)) << "length " << data.size();
  Bytes out = {1, 2, 3};
  ASSERT_EQ(pak_decode(pkg, out), PakStatus::ok) << "length " << data.size();
  ASSERT_EQ(out, data) << "length " << data.size();
}

TEST(PakCoder, KnownEncodingsOfEmptyInputAndAbc) {
  // The end mark starts as a 9-bit code, eight 0s and a 1.
  EXPECT_EQ(pak_encode({}), with_header({0x00, 0x01}));
  EXPECT_EQ(ref_encode({}), with_header({0x00, 0x01}));
  const Bytes abc = with_header({0x46, 0x3D, 0x09, 0x10});
  EXPECT_EQ(pak_encode(bytes_of("abc")), abc);
  EXPECT_EQ(ref_encode(bytes_of("abc")), abc);
  Bytes out;
  EXPECT_EQ(pak_decode(abc, out), PakStatus::ok);
  EXPECT_EQ(out, bytes_of("abc"));
}

TEST(PakCoder, MatchesTheReferenceAndRoundTrips) {
  std::uint32_t seed = 1;
  for (std::size_t n : test_lengths())
    for (bool skewed : {false, true}) expect_round_trip(make_data(n, seed++, skewed));
  // Every short length, so that the end mark falls at varied bit positions.
  for (std::size_t n = 0; n < 64; ++n) expect_round_trip(make_data(n, seed++));
  // Runs of one value, and every value in turn.
  for (std::size_t n : {1, 100, 70000})
    for (int value : {0, 0x7F, 0xFF}) expect_round_trip(Bytes(n, static_cast<std::uint8_t>(value)));
  Bytes all;
  for (int rep = 0; rep < 300; ++rep)
    for (int v = 0; v < 256; ++v) all.push_back(static_cast<std::uint8_t>(rep % 2 ? 255 - v : v));
  expect_round_trip(all);
}

TEST(PakCoder, CodesLongerThanSixtyFourBits) { expect_round_trip(deep_code_bytes(72)); }

TEST(PakCoderFaults, EveryPrefixIsTruncatedOrBadMagic) {
  const Bytes data = make_data(400, 5, true);
  const Bytes pkg = pak_encode(data);
  for (std::size_t len = 0; len < pkg.size(); ++len) {
    SCOPED_TRACE(len);
    const Bytes prefix(pkg.begin(), pkg.begin() + static_cast<std::ptrdiff_t>(len));
    Bytes out, ref_out;
    const PakStatus st = pak_decode(prefix, out);
    EXPECT_EQ(st, len < 4 ? PakStatus::bad_magic : PakStatus::truncated);
    // What came out before the fault is what the reference decodes, a prefix of the content.
    EXPECT_EQ(ref_decode(prefix, ref_out), st);
    EXPECT_EQ(out, ref_out);
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
  }
}

TEST(PakCoderFaults, TheMagicIsCheckedButNotTheHeaderTextOrTrailingBytes) {
  const Bytes data = make_data(3000, 11, true);
  const Bytes pkg = pak_encode(data);
  Bytes out;
  for (std::size_t i = 0; i < 4; ++i) {
    Bytes bad = pkg;
    bad[i] ^= 0x10;
    EXPECT_EQ(pak_decode(bad, out), PakStatus::bad_magic) << i;
    EXPECT_TRUE(out.empty());
  }
  EXPECT_EQ(pak_decode(bytes_of("PK\x03\x04 not a package at all"), out), PakStatus::bad_magic);
  Bytes odd = pkg;
  for (std::size_t i = 4; i < kPakHeaderSize; ++i) odd[i] = static_cast<std::uint8_t>(0xA0 + i);
  odd.insert(odd.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0xFF, 0x12});
  EXPECT_EQ(pak_decode(odd, out), PakStatus::ok);
  EXPECT_EQ(out, data);
}

TEST(PakCoderFaults, GarbageNeverHangsOrOverruns) {
  // Random bits after a valid header: ok or truncated, as the reference says,
  // and never more than 8 bytes out per byte in (a code has one bit at least).
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    Bytes pkg = kHeader;
    const Bytes tail = make_data(rng() % 200, static_cast<std::uint32_t>(rng()));
    pkg.insert(pkg.end(), tail.begin(), tail.end());
    Bytes out, ref_out;
    const PakStatus st = pak_decode(pkg, out);
    EXPECT_TRUE(st == PakStatus::ok || st == PakStatus::truncated);
    EXPECT_LE(out.size(), 8 * tail.size());
    EXPECT_EQ(ref_decode(pkg, ref_out), st);
    EXPECT_EQ(out, ref_out);
  }
}

TEST(PakStream, WriterInPiecesMatchesWholeEncodeAndStopsAtASinkFailure) {
  std::mt19937 rng(8);
  for (std::size_t n : {0, 1, 5000, 200000}) {
    const Bytes data = make_data(n, static_cast<std::uint32_t>(n), true);
    Bytes coded;
    PakWriter writer([&](std::span<const std::uint8_t> block) {
      EXPECT_LE(block.size(), 64u * 1024u);
      coded.insert(coded.end(), block.begin(), block.end());
      return true;
    });
    for (std::size_t at = 0, piece = 0; at < n; at += piece) {
      piece = std::min<std::size_t>(n - at, rng() % 3 == 0 ? rng() % 5 : rng() % 70000);
      ASSERT_TRUE(writer.write(std::span<const std::uint8_t>(data.data() + at, piece)));
    }
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(coded, pak_encode(data)) << n;
  }
  int calls = 0;
  PakWriter failing([&](std::span<const std::uint8_t>) { return ++calls < 2; });
  EXPECT_FALSE(failing.write(make_data(300000, 12)));
  EXPECT_FALSE(failing.finish());
  EXPECT_EQ(calls, 2);  // no more calls after the failure
}

// Decodes through a PakReader fed `feed` bytes at a time (0: irregular
// pieces, as a pipe gives) and drained `chunk` bytes at a time.
PakStatus read_pieces(const Bytes& pkg, std::size_t feed, std::size_t chunk, Bytes& out) {
  std::mt19937 rng(static_cast<std::uint32_t>(feed + chunk));
  std::size_t fed = 0;
  PakReader reader([&](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
    const std::size_t piece = std::min({buf.size(), pkg.size() - fed, feed ? feed : std::size_t{1 + rng() % 97}});
    if (piece > 0) std::memcpy(buf.data(), pkg.data() + fed, piece);
    fed += piece;
    return static_cast<std::ptrdiff_t>(piece);
  });
  out.clear();
  std::vector<std::uint8_t> buf(chunk);
  for (std::size_t got = chunk; got == chunk;) {
    got = reader.read(buf);
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got));
  }
  EXPECT_EQ(reader.at_end(), reader.status() == PakStatus::ok);
  EXPECT_EQ(reader.read(buf), 0u);  // nothing after the end or a fault
  return reader.status();
}

TEST(PakStream, ReaderInPiecesMatchesWholeDecode) {
  // Small reads leave decoded-but-undelivered bits in the decoder: the last
  // symbols must still come out when the input is used up.
  for (std::size_t n : {0, 1, 3000, 200000}) {
    const Bytes data = make_data(n, static_cast<std::uint32_t>(n) + 1, n % 2 == 0);
    const Bytes pkg = pak_encode(data);
    for (std::size_t feed : {1, 5, 0, 64 * 1024})
      for (std::size_t chunk : {1, 3, 70000}) {
        Bytes out;
        EXPECT_EQ(read_pieces(pkg, feed, chunk, out), PakStatus::ok) << n << " " << feed << " " << chunk;
        EXPECT_EQ(out, data) << n << " " << feed << " " << chunk;
      }
  }
  // Damaged packages give the same output and status as the whole decoder.
  const Bytes pkg = pak_encode(make_data(3000, 21, true));
  std::mt19937 rng(17);
  for (std::size_t i = 0; i < 500; ++i) {
    Bytes bad(pkg.begin(), pkg.begin() + static_cast<std::ptrdiff_t>(i % 300));
    if (i >= 300) {
      const Bytes tail = make_data(rng() % 40, static_cast<std::uint32_t>(rng()));
      bad = kHeader;
      bad.insert(bad.end(), tail.begin(), tail.end());
    }
    Bytes whole, pieces;
    const PakStatus st = pak_decode(bad, whole);
    EXPECT_EQ(read_pieces(bad, 1 + i % 9, 1 + i % 3, pieces), st) << i;
    EXPECT_EQ(pieces, whole) << i;
  }
}

TEST(PakStream, ASourceErrorIsAReadFailure) {
  const Bytes pkg = pak_encode(make_data(2000, 4, true));
  int calls = 0;
  PakReader reader([&](std::span<std::uint8_t> b) -> std::ptrdiff_t {
    if (++calls > 1) return -1;
    std::memcpy(b.data(), pkg.data(), 100);
    return 100;
  });
  std::vector<std::uint8_t> buf(10000);
  EXPECT_LT(reader.read(buf), buf.size());
  EXPECT_EQ(reader.status(), PakStatus::read_failed);
  EXPECT_FALSE(reader.at_end());
}

TEST(PakFile, RoundTripsAndMatchesMemoryCoding) {
  TempDir dir;
  std::uint32_t seed = 50;
  for (std::size_t n : test_lengths()) {
    SCOPED_TRACE(n);
    const Bytes data = make_data(n, seed, seed % 2 == 0);
    ++seed;
    dir.write("in", text_of(data));
    std::uint64_t last_done = 0, last_total = 0;
    ASSERT_EQ(pak_pack_file(dir.file("in"), dir.file("in.pak"),
                            [&](std::uint64_t done, std::uint64_t total) {
                              EXPECT_GE(done, last_done);
                              last_done = done;
                              last_total = total;
                            }),
              PakStatus::ok);
    EXPECT_EQ(last_done, n);
    EXPECT_EQ(last_total, n);
    ASSERT_EQ(bytes_of(dir.read("in.pak")), pak_encode(data));
    ASSERT_EQ(pak_unpack_file(dir.file("in.pak"), dir.file("out")), PakStatus::ok);
    ASSERT_EQ(bytes_of(dir.read("out")), data);
  }
}

TEST(PakFile, FailuresRemoveTheOutput) {
  TempDir dir;
  const Bytes data = make_data(150000, 77);
  const std::string pkg = text_of(pak_encode(data));
  ASSERT_GT(pkg.size(), 65536u + 16u);
  auto exists = [&](const char* name) { return std::filesystem::exists(dir.file(name)); };
  for (std::size_t len : {0ul, 3ul, 10ul, 16ul, 1000ul, 65536ul + 16, pkg.size() - 1}) {
    dir.write("cut.pak", pkg.substr(0, len));
    EXPECT_EQ(pak_unpack_file(dir.file("cut.pak"), dir.file("cut.out")),
              len < 4 ? PakStatus::bad_magic : PakStatus::truncated) << len;
    EXPECT_FALSE(exists("cut.out")) << len;
  }
  dir.write("bad.pak", "V" + pkg.substr(1));
  EXPECT_EQ(pak_unpack_file(dir.file("bad.pak"), dir.file("bad.out")), PakStatus::bad_magic);
  EXPECT_FALSE(exists("bad.out"));

  EXPECT_EQ(pak_pack_file(dir.file("missing"), dir.file("missing.pak")), PakStatus::open_failed);
  EXPECT_FALSE(exists("missing.pak"));
  EXPECT_EQ(pak_unpack_file(dir.file("missing"), dir.file("missing.out")), PakStatus::open_failed);
  dir.write("in", text_of(data));
  EXPECT_EQ(pak_pack_file(dir.file("in"), dir.file("no/such/dir/x.pak")), PakStatus::open_failed);
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
