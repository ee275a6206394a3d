#include "package/pak_coder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace kelvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kHeader = {0x55, 0xAA, 0x02, 0xFF, 'K', 'e', 'l', 'v', 'o', ' ', 'P', 'A', 'C', 'K', 'E', 'R'};

Bytes with_header(std::initializer_list<std::uint8_t> body) {
  Bytes b = kHeader;
  b.insert(b.end(), body);
  return b;
}

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A literal, slow implementation of the code: parent/left/right arrays and one
// bit at a time. The fast coder must agree with it bit for bit.
class RefTree {
 public:
  RefTree() {
    for (int i = 1; i < 513; ++i) parent_[i] = static_cast<std::uint8_t>((i - 1) / 2);
    for (int j = 0; j < 256; ++j) {
      left_[j] = 2 * j + 1;
      right_[j] = 2 * j + 2;
    }
  }

  int depth(int symbol) const {
    int d = 0;
    for (int a = symbol + 256; a != 0; a = parent_[a]) ++d;
    return d;
  }

  // Root first.
  std::vector<int> code(int symbol) const {
    std::vector<int> bits;
    for (int a = symbol + 256; a != 0; a = parent_[a]) bits.push_back(right_[parent_[a]] == a ? 1 : 0);
    std::reverse(bits.begin(), bits.end());
    return bits;
  }

  int child(int node, int bit) const { return bit ? right_[node] : left_[node]; }

  void splay(int symbol) {
    int a = symbol + 256;
    for (;;) {
      const int c = parent_[a];
      if (c == 0) break;
      const int d = parent_[c];
      int b;
      if (left_[d] == c) {
        b = right_[d];
        right_[d] = a;
      } else {
        b = left_[d];
        left_[d] = a;
      }
      if (left_[c] == a)
        left_[c] = b;
      else
        right_[c] = b;
      parent_[a] = static_cast<std::uint8_t>(d);
      parent_[b] = static_cast<std::uint8_t>(c);
      a = d;
      if (a == 0) break;
    }
  }

 private:
  std::uint8_t parent_[513] = {};
  int left_[256];
  int right_[256];
};

Bytes ref_encode(const Bytes& data) {
  Bytes out = kHeader;
  RefTree tree;
  std::uint8_t current = 0;
  int position = 0;
  auto put = [&](int symbol) {
    for (int bit : tree.code(symbol)) {
      if (bit) current |= static_cast<std::uint8_t>(1u << position);
      if (position == 7) {
        out.push_back(current);
        current = 0;
        position = 0;
      } else {
        ++position;
      }
    }
    tree.splay(symbol);
  };
  for (std::uint8_t b : data) put(b);
  put(256);
  if (position != 0) out.push_back(current);
  return out;
}

PakStatus ref_decode(const Bytes& pkg, Bytes& out) {
  out.clear();
  if (pkg.size() < 4 || !std::equal(kHeader.begin(), kHeader.begin() + 4, pkg.begin())) return PakStatus::bad_magic;
  RefTree tree;
  std::size_t index = 16;
  int position = 0;
  for (;;) {
    int node = 0;
    while (node < 256) {
      if (index >= pkg.size()) return PakStatus::truncated;
      const int bit = (pkg[index] >> position) & 1;
      if (++position == 8) {
        position = 0;
        ++index;
      }
      node = tree.child(node, bit);
    }
    tree.splay(node - 256);
    if (node - 256 == 256) return PakStatus::ok;
    out.push_back(static_cast<std::uint8_t>(node - 256));
  }
}

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Skewed content: a few frequent bytes, long runs, occasional rare ones, so
// the tree goes both shallow and deep.
Bytes skewed_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  std::size_t i = 0;
  while (i < n) {
    const std::uint32_t r = rng();
    const std::uint8_t value = (r % 10 < 7) ? static_cast<std::uint8_t>('a' + (r >> 8) % 6)
                                            : static_cast<std::uint8_t>(r >> 16);
    std::size_t run = (r >> 24) % 5 == 0 ? (r >> 4) % 40 + 1 : 1;
    for (; run > 0 && i < n; --run) b[i++] = value;
  }
  return b;
}

// Content whose coding meets codes longer than 64 bits. Semi-splaying keeps
// frequently used symbols near the root but particular access orders push a
// leaf deep; a deterministic local search over such orders finds one.
Bytes deep_code_bytes(int want_depth, int* reached) {
  std::vector<int> seq;
  for (int pass = 0; pass < 3; ++pass)
    for (int k = 0; k < 256; ++k) seq.push_back(pass % 2 ? 255 - k : k);
  auto deepest = [](const std::vector<int>& s, int* symbol) {
    RefTree tree;
    for (int x : s) tree.splay(x);
    int best = 0;
    for (int x = 0; x < 256; ++x)
      if (tree.depth(x) > best) {
        best = tree.depth(x);
        *symbol = x;
      }
    return best;
  };
  int symbol = 0;
  int best = deepest(seq, &symbol);
  std::mt19937 rng(1);
  for (int iteration = 0; iteration < 20000 && best < want_depth; ++iteration) {
    std::vector<int> trial = seq;
    const std::size_t at = rng() % trial.size();
    switch (rng() % 3) {
      case 0: trial[at] = static_cast<int>(rng() % 256); break;
      case 1: trial.insert(trial.begin() + static_cast<std::ptrdiff_t>(at), static_cast<int>(rng() % 256)); break;
      default: trial.erase(trial.begin() + static_cast<std::ptrdiff_t>(at)); break;
    }
    int trial_symbol = 0;
    const int d = deepest(trial, &trial_symbol);
    if (d >= best) {
      best = d;
      symbol = trial_symbol;
      seq = std::move(trial);
    }
  }
  *reached = best;
  Bytes out(seq.begin(), seq.end());
  out.push_back(static_cast<std::uint8_t>(symbol));  // the deep code itself
  out.push_back(static_cast<std::uint8_t>(symbol));
  return out;
}

int longest_code(const Bytes& data) {
  RefTree tree;
  int longest = tree.depth(256);
  for (std::uint8_t b : data) {
    longest = std::max(longest, tree.depth(b));
    tree.splay(b);
  }
  return std::max(longest, tree.depth(256));
}

const std::vector<std::size_t>& test_lengths() {
  static const std::vector<std::size_t> lengths = [] {
    std::vector<std::size_t> v = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 255, 256, 1000, 65535, 65536, 65537, 131072};
    std::mt19937 rng(42);
    for (int i = 0; i < 6; ++i) v.push_back(rng() % 300000);
    return v;
  }();
  return lengths;
}

// A scratch directory, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "kelvo-pak-test-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void write_file(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(f.good()) << path;
}

Bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// ------------------------------------------------------------ known codes --

TEST(PakCoderKnown, EmptyInputIsHeaderAndEndMark) {
  // The end mark starts as a 9-bit code, eight 0s and a 1.
  EXPECT_EQ(pak_encode({}), with_header({0x00, 0x01}));
  EXPECT_EQ(ref_encode({}), with_header({0x00, 0x01}));
}

TEST(PakCoderKnown, Abc) {
  const Bytes abc = bytes_of("abc");
  EXPECT_EQ(pak_encode(abc), with_header({0x46, 0x3D, 0x09, 0x10}));
  EXPECT_EQ(ref_encode(abc), with_header({0x46, 0x3D, 0x09, 0x10}));
  Bytes out;
  EXPECT_EQ(pak_decode(with_header({0x46, 0x3D, 0x09, 0x10}), out), PakStatus::ok);
  EXPECT_EQ(out, abc);
}

TEST(PakCoderKnown, HeaderBytes) {
  const Bytes pkg = pak_encode(bytes_of("hello"));
  ASSERT_GE(pkg.size(), kPakHeaderSize);
  EXPECT_TRUE(std::equal(kHeader.begin(), kHeader.end(), pkg.begin()));
  std::uint32_t magic = 0;
  for (int i = 3; i >= 0; --i) magic = (magic << 8) | pkg[static_cast<std::size_t>(i)];
  EXPECT_EQ(magic, kPakMagic);
}

TEST(PakCoderKnown, EndMarkOnByteBoundaryHasNoPaddingByte) {
  // Search small inputs for one whose coded bits fill whole bytes exactly;
  // the package then ends with the end mark's last bit in bit 7.
  int found = 0;
  for (int n = 0; n < 64 && found < 3; ++n) {
    const Bytes data = random_bytes(static_cast<std::size_t>(n), 7u + static_cast<std::uint32_t>(n));
    RefTree tree;
    std::size_t bits = 0;
    for (std::uint8_t b : data) {
      bits += static_cast<std::size_t>(tree.depth(b));
      tree.splay(b);
    }
    bits += static_cast<std::size_t>(tree.depth(256));
    const Bytes pkg = pak_encode(data);
    EXPECT_EQ(pkg.size(), kPakHeaderSize + (bits + 7) / 8) << "n=" << n;
    if (bits % 8 == 0) ++found;
  }
  EXPECT_GT(found, 0);
}

// ------------------------------------------------------------ round trips --

TEST(PakCoderMemory, MatchesReferenceAndRoundTrips) {
  std::uint32_t seed = 1;
  for (std::size_t n : test_lengths()) {
    for (const Bytes& data : {random_bytes(n, seed), skewed_bytes(n, seed + 1000)}) {
      ++seed;
      const Bytes pkg = pak_encode(data);
      ASSERT_EQ(pkg, ref_encode(data)) << "n=" << n;
      Bytes out = {1, 2, 3};
      ASSERT_EQ(pak_decode(pkg, out), PakStatus::ok) << "n=" << n;
      ASSERT_EQ(out, data) << "n=" << n;
    }
  }
}

TEST(PakCoderMemory, SingleByteRunsAndAllValues) {
  for (std::size_t n : {std::size_t{1}, std::size_t{100}, std::size_t{70000}}) {
    for (int value : {0, 0x7F, 0xFF}) {
      const Bytes data(n, static_cast<std::uint8_t>(value));
      const Bytes pkg = pak_encode(data);
      EXPECT_EQ(pkg, ref_encode(data));
      Bytes out;
      EXPECT_EQ(pak_decode(pkg, out), PakStatus::ok);
      EXPECT_EQ(out, data);
    }
  }
  Bytes all;
  for (int rep = 0; rep < 300; ++rep)
    for (int v = 0; v < 256; ++v) all.push_back(static_cast<std::uint8_t>(rep % 2 ? 255 - v : v));
  const Bytes pkg = pak_encode(all);
  EXPECT_EQ(pkg, ref_encode(all));
  Bytes out;
  EXPECT_EQ(pak_decode(pkg, out), PakStatus::ok);
  EXPECT_EQ(out, all);
}

TEST(PakCoderMemory, CodesLongerThanSixtyFourBits) {
  int reached = 0;
  const Bytes data = deep_code_bytes(72, &reached);
  ASSERT_GE(reached, 72);
  EXPECT_GT(longest_code(data), 64);
  const Bytes pkg = pak_encode(data);
  EXPECT_EQ(pkg, ref_encode(data));
  Bytes out;
  EXPECT_EQ(pak_decode(pkg, out), PakStatus::ok);
  EXPECT_EQ(out, data);
  // The same, behind some content so the long code sits at other bit offsets.
  for (std::size_t shift : {1, 3, 5, 13}) {
    Bytes shifted = bytes_of(std::string(shift, 'z'));
    shifted.insert(shifted.end(), data.begin(), data.end());
    const Bytes p = pak_encode(shifted);
    EXPECT_EQ(p, ref_encode(shifted)) << shift;
    EXPECT_EQ(pak_decode(p, out), PakStatus::ok);
    EXPECT_EQ(out, shifted);
  }
}

TEST(PakCoderMemory, ReferenceDecoderAgrees) {
  const Bytes data = skewed_bytes(5000, 99);
  const Bytes pkg = pak_encode(data);
  Bytes out;
  EXPECT_EQ(ref_decode(pkg, out), PakStatus::ok);
  EXPECT_EQ(out, data);
}

// --------------------------------------------------------------- faults --

TEST(PakCoderFaults, EveryPrefixIsTruncatedOrBadMagic) {
  const Bytes data = skewed_bytes(400, 5);
  const Bytes pkg = pak_encode(data);
  for (std::size_t len = 0; len < pkg.size(); ++len) {
    const Bytes prefix(pkg.begin(), pkg.begin() + static_cast<std::ptrdiff_t>(len));
    Bytes out;
    const PakStatus st = pak_decode(prefix, out);
    EXPECT_EQ(st, len < 4 ? PakStatus::bad_magic : PakStatus::truncated) << "len=" << len;
    // What came out before the fault is a prefix of the content.
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "len=" << len;
    Bytes ref_out;
    if (len >= kPakHeaderSize) {
      EXPECT_EQ(ref_decode(prefix, ref_out), PakStatus::truncated);
      EXPECT_EQ(out, ref_out) << "len=" << len;
    }
  }
  Bytes out;
  EXPECT_EQ(pak_decode(pkg, out), PakStatus::ok);
}

TEST(PakCoderFaults, WrongMagic) {
  const Bytes pkg = pak_encode(bytes_of("some content"));
  for (std::size_t i = 0; i < 4; ++i) {
    Bytes bad = pkg;
    bad[i] ^= 0x10;
    Bytes out;
    EXPECT_EQ(pak_decode(bad, out), PakStatus::bad_magic) << i;
    EXPECT_TRUE(out.empty());
  }
  Bytes out;
  EXPECT_EQ(pak_decode(bytes_of("PK\x03\x04 not a package at all"), out), PakStatus::bad_magic);
  EXPECT_EQ(pak_decode(Bytes{0x55, 0xAA, 0x02}, out), PakStatus::bad_magic);
  EXPECT_EQ(pak_decode(Bytes{0x55, 0xAA, 0x02, 0xFF}, out), PakStatus::truncated);
  EXPECT_EQ(pak_decode(Bytes{0x55, 0xAA, 0x02, 0xFF, 'K', 'e'}, out), PakStatus::truncated);
  EXPECT_EQ(pak_decode(kHeader, out), PakStatus::truncated);
}

TEST(PakCoderFaults, HeaderTextIsIgnoredAndTrailingBytesToo) {
  const Bytes data = skewed_bytes(3000, 11);
  Bytes pkg = pak_encode(data);
  for (std::size_t i = 4; i < kPakHeaderSize; ++i) pkg[i] = static_cast<std::uint8_t>(0xA0 + i);
  Bytes out;
  EXPECT_EQ(pak_decode(pkg, out), PakStatus::ok);
  EXPECT_EQ(out, data);
  // Bytes after the end mark are not read.
  pkg.insert(pkg.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0xFF, 0x12, 0x34, 0x56});
  EXPECT_EQ(pak_decode(pkg, out), PakStatus::ok);
  EXPECT_EQ(out, data);
}

TEST(PakCoderFaults, GarbageNeverHangsOrOverruns) {
  // Random bits after a valid header: every outcome is ok or truncated, and
  // the output can never exceed 8 bytes per input byte (a code is one bit at
  // the least).
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    Bytes pkg = kHeader;
    const Bytes tail = random_bytes(rng() % 200, rng());
    pkg.insert(pkg.end(), tail.begin(), tail.end());
    Bytes out;
    const PakStatus st = pak_decode(pkg, out);
    EXPECT_TRUE(st == PakStatus::ok || st == PakStatus::truncated);
    EXPECT_LE(out.size(), 8 * tail.size());
    Bytes ref_out;
    EXPECT_EQ(ref_decode(pkg, ref_out), st);
    EXPECT_EQ(out, ref_out);
  }
}

TEST(PakCoderFaults, StatusTexts) {
  for (PakStatus st : {PakStatus::ok, PakStatus::open_failed, PakStatus::bad_magic, PakStatus::truncated,
                       PakStatus::read_failed, PakStatus::write_failed}) {
    ASSERT_NE(pak_status_text(st), nullptr);
    EXPECT_GT(std::strlen(pak_status_text(st)), 0u);
  }
  EXPECT_STRNE(pak_status_text(PakStatus::bad_magic), pak_status_text(PakStatus::truncated));
}

// ------------------------------------------------------------- piecewise --

TEST(PakStream, WriterInPiecesMatchesWholeEncode) {
  std::mt19937 rng(8);
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{200000}}) {
    const Bytes data = skewed_bytes(n, static_cast<std::uint32_t>(n));
    Bytes coded;
    std::size_t largest_block = 0;
    PakWriter writer([&](std::span<const std::uint8_t> block) {
      largest_block = std::max(largest_block, block.size());
      coded.insert(coded.end(), block.begin(), block.end());
      return true;
    });
    std::size_t at = 0;
    while (at < n) {
      const std::size_t piece = std::min<std::size_t>(n - at, rng() % 3 == 0 ? rng() % 5 : rng() % 70000);
      ASSERT_TRUE(writer.write(std::span<const std::uint8_t>(data.data() + at, piece)));
      at += piece;
    }
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(coded, pak_encode(data)) << n;
    EXPECT_LE(largest_block, 64u * 1024u);
  }
}

TEST(PakStream, ReaderInPiecesMatchesWholeDecode) {
  std::mt19937 rng(9);
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{200000}}) {
    const Bytes data = random_bytes(n, static_cast<std::uint32_t>(n) + 1);
    const Bytes pkg = pak_encode(data);
    std::size_t fed = 0;
    PakReader reader([&](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
      // Short and irregular pieces, as a pipe may give.
      std::size_t piece = std::min<std::size_t>({buf.size(), pkg.size() - fed, 1 + rng() % 97});
      std::memcpy(buf.data(), pkg.data() + fed, piece);
      fed += piece;
      return static_cast<std::ptrdiff_t>(piece);
    });
    EXPECT_EQ(reader.start(), PakStatus::ok);
    Bytes out;
    std::vector<std::uint8_t> buf(70000);
    for (;;) {
      const std::size_t want = 1 + rng() % (rng() % 2 ? 7 : buf.size());
      const std::size_t got = reader.read(std::span<std::uint8_t>(buf.data(), want));
      out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got));
      if (got < want) break;
    }
    EXPECT_EQ(reader.status(), PakStatus::ok);
    EXPECT_TRUE(reader.at_end());
    EXPECT_EQ(out, data);
    EXPECT_EQ(reader.read(buf), 0u);
  }
}

// Drains a reader `chunk` bytes at a time.
PakStatus read_all(const Bytes& pkg, std::size_t feed, std::size_t chunk, Bytes& out) {
  std::size_t fed = 0;
  PakReader reader([&](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
    const std::size_t piece = std::min({buf.size(), pkg.size() - fed, feed});
    if (piece > 0) std::memcpy(buf.data(), pkg.data() + fed, piece);
    fed += piece;
    return static_cast<std::ptrdiff_t>(piece);
  });
  out.clear();
  std::vector<std::uint8_t> buf(chunk);
  for (;;) {
    const std::size_t got = reader.read(buf);
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < chunk) break;
  }
  EXPECT_EQ(reader.at_end(), reader.status() == PakStatus::ok);
  return reader.status();
}

TEST(PakStream, ReaderByteAtATimeMatchesWholeDecode) {
  // Small reads leave decoded-but-undelivered bits in the decoder: the last
  // symbols must still come out when the input is used up.
  const Bytes data = skewed_bytes(3000, 21);
  const Bytes pkg = pak_encode(data);
  for (std::size_t feed : {std::size_t{1}, std::size_t{5}, std::size_t{64 * 1024}}) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
      Bytes out;
      EXPECT_EQ(read_all(pkg, feed, chunk, out), PakStatus::ok) << feed << " " << chunk;
      EXPECT_EQ(out, data) << feed << " " << chunk;
    }
  }
  // Damaged packages give the same output and status as the whole decoder.
  for (std::size_t len = 0; len < 300; ++len) {
    const Bytes prefix(pkg.begin(), pkg.begin() + static_cast<std::ptrdiff_t>(len));
    Bytes whole, pieces;
    const PakStatus st = pak_decode(prefix, whole);
    EXPECT_EQ(read_all(prefix, 1 + len % 9, 1, pieces), st) << len;
    EXPECT_EQ(pieces, whole) << len;
  }
  std::mt19937 rng(17);
  for (int i = 0; i < 200; ++i) {
    Bytes junk = kHeader;
    const Bytes tail = random_bytes(rng() % 40, rng());
    junk.insert(junk.end(), tail.begin(), tail.end());
    Bytes whole, pieces;
    const PakStatus st = pak_decode(junk, whole);
    EXPECT_EQ(read_all(junk, 1 + rng() % 12, 1 + rng() % 3, pieces), st);
    EXPECT_EQ(pieces, whole);
  }
}

TEST(PakStream, ReaderFaults) {
  const Bytes pkg = pak_encode(skewed_bytes(2000, 4));
  auto source_of = [](const Bytes& bytes, std::size_t& fed) {
    return [&bytes, &fed](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
      const std::size_t piece = std::min(buf.size(), bytes.size() - fed);
      std::memcpy(buf.data(), bytes.data() + fed, piece);
      fed += piece;
      return static_cast<std::ptrdiff_t>(piece);
    };
  };
  std::vector<std::uint8_t> buf(10000);
  {
    const Bytes cut(pkg.begin(), pkg.end() - 1);
    std::size_t fed = 0;
    PakReader reader(source_of(cut, fed));
    // All the content is there; only the end mark is cut.
    EXPECT_LE(reader.read(buf), 2000u);
    EXPECT_EQ(reader.status(), PakStatus::truncated);
    EXPECT_FALSE(reader.at_end());
    EXPECT_EQ(reader.read(buf), 0u);  // the fault sticks
  }
  {
    Bytes bad = pkg;
    bad[2] = 0;
    std::size_t fed = 0;
    PakReader reader(source_of(bad, fed));
    EXPECT_EQ(reader.start(), PakStatus::bad_magic);
    EXPECT_EQ(reader.read(buf), 0u);
  }
  {
    int calls = 0;
    PakReader reader([&](std::span<std::uint8_t> b) -> std::ptrdiff_t {
      if (++calls > 1) return -1;
      std::memcpy(b.data(), pkg.data(), 100);
      return 100;
    });
    reader.read(buf);
    EXPECT_EQ(reader.status(), PakStatus::read_failed);
  }
}

TEST(PakStream, WriterReportsSinkFailure) {
  int calls = 0;
  PakWriter writer([&](std::span<const std::uint8_t>) { return ++calls < 2; });
  const Bytes data = random_bytes(300000, 12);
  EXPECT_FALSE(writer.write(data));
  EXPECT_FALSE(writer.finish());
  EXPECT_EQ(calls, 2);  // no more calls after the failure
}

// ------------------------------------------------------------------ files --

TEST(PakFile, RoundTripsAndMatchesMemoryCoding) {
  TempDir dir;
  std::uint32_t seed = 50;
  for (std::size_t n : test_lengths()) {
    const Bytes data = (seed % 2) ? random_bytes(n, seed) : skewed_bytes(n, seed);
    ++seed;
    write_file(dir.file("in"), data);
    std::uint64_t last_done = 0, last_total = 0;
    int calls = 0;
    ASSERT_EQ(pak_pack_file(dir.file("in"), dir.file("in.pak"),
                            [&](std::uint64_t done, std::uint64_t total) {
                              EXPECT_GE(done, last_done);
                              last_done = done;
                              last_total = total;
                              ++calls;
                            }),
              PakStatus::ok)
        << n;
    if (n > 0) {
      EXPECT_GT(calls, 0);
      EXPECT_EQ(last_done, n);
      EXPECT_EQ(last_total, n);
    }
    const Bytes pkg = read_file(dir.file("in.pak"));
    ASSERT_EQ(pkg, pak_encode(data)) << n;
    ASSERT_EQ(pak_unpack_file(dir.file("in.pak"), dir.file("out")), PakStatus::ok) << n;
    ASSERT_EQ(read_file(dir.file("out")), data) << n;
  }
}

TEST(PakFile, FailuresRemoveTheOutput) {
  TempDir dir;
  const Bytes data = random_bytes(150000, 77);
  const Bytes pkg = pak_encode(data);
  ASSERT_GT(pkg.size(), 65536u + 16u);

  for (std::size_t len : {std::size_t{0}, std::size_t{3}, std::size_t{10}, std::size_t{16}, std::size_t{1000},
                          std::size_t{65536 + 16}, pkg.size() - 1}) {
    write_file(dir.file("cut.pak"), Bytes(pkg.begin(), pkg.begin() + static_cast<std::ptrdiff_t>(len)));
    const PakStatus st = pak_unpack_file(dir.file("cut.pak"), dir.file("cut.out"));
    EXPECT_EQ(st, len < 4 ? PakStatus::bad_magic : PakStatus::truncated) << len;
    EXPECT_FALSE(exists(dir.file("cut.out"))) << len;
  }

  Bytes bad = pkg;
  bad[0] = 0x56;
  write_file(dir.file("bad.pak"), bad);
  EXPECT_EQ(pak_unpack_file(dir.file("bad.pak"), dir.file("bad.out")), PakStatus::bad_magic);
  EXPECT_FALSE(exists(dir.file("bad.out")));

  EXPECT_EQ(pak_pack_file(dir.file("missing"), dir.file("missing.pak")), PakStatus::open_failed);
  EXPECT_FALSE(exists(dir.file("missing.pak")));
  EXPECT_EQ(pak_unpack_file(dir.file("missing"), dir.file("missing.out")), PakStatus::open_failed);
  write_file(dir.file("in"), data);
  EXPECT_EQ(pak_pack_file(dir.file("in"), dir.file("no/such/dir/x.pak")), PakStatus::open_failed);
  // Coding a file onto itself would destroy it.
  EXPECT_EQ(pak_pack_file(dir.file("in"), dir.file("in")), PakStatus::open_failed);
  EXPECT_EQ(read_file(dir.file("in")), data);
}

TEST(PakFile, WriteErrorsAreReported) {
  struct stat st {};
  if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  const Bytes data = random_bytes(200000, 5);
  write_file(dir.file("in"), data);
  EXPECT_EQ(pak_pack_file(dir.file("in"), "/dev/full"), PakStatus::write_failed);
  write_file(dir.file("in.pak"), pak_encode(data));
  EXPECT_EQ(pak_unpack_file(dir.file("in.pak"), "/dev/full"), PakStatus::write_failed);
  // A device is never removed.
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace
}  // namespace kelvo
