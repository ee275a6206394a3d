// The package coder.
//
// The code tree has 256 internal nodes (0..255, node 0 the root) and 257
// leaves (256..512, the leaf of symbol s is node s + 256). It starts as the
// complete binary tree in heap order and is semi-splayed after every symbol:
// walking up from the symbol's leaf, each node and its parent's sibling swap
// places, then the walk goes on from the grandparent.
//
// Both directions keep the children of internal node j in one array indexed by
// "slot" 2j + bit (bit 0 = left, 1 = right), so a step down the tree is a
// single load. A splay step swaps the contents of two slots; which slots is
// known from the path just walked, so the decoder needs no parent links at
// all. The encoder also keeps each node's parent and side: walking up yields
// both the code bits and the path to splay.
//
// The steps of a semi-splay touch disjoint pairs of slots, so the order in
// which they are done does not matter, and a slot on the path is never changed
// by an earlier step before it is read.

#include "package/pak_coder.h"

#include "package/fd_io.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

constexpr unsigned kInternalNodes = 256;
constexpr unsigned kEndSymbol = 256;
// 257 leaves: no path from the root has more than 256 steps.
constexpr unsigned kMaxDepth = 256;
constexpr std::size_t kBlockSize = 64 * 1024;
// Output room the encoder wants before each symbol: a 256-bit code plus up to
// 7 pending bits is 33 bytes, and each flush stores a whole 8-byte word.
constexpr std::size_t kSymbolRoom = 48;

constexpr std::array<std::uint8_t, kPakHeaderSize> kHeader = {
    0x55, 0xAA, 0x02, 0xFF, 'K', 'e', 'l', 'v', 'o', ' ', 'P', 'A', 'C', 'K', 'E', 'R'};

inline std::uint64_t load_le64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

inline void store_le64(std::uint8_t* p, std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

inline bool magic_ok(const std::uint8_t* p) { return std::memcmp(p, kHeader.data(), 4) == 0; }

// ---------------------------------------------------------------- encoder --

class Encoder {
 public:
  Encoder() {
    // Children hold 2 * node: the byte offset of the node's entry in the
    // 16-bit per-node arrays, so walking up is one load per step.
    for (unsigned j = 0; j < kInternalNodes; ++j) {
      child_[2 * j] = static_cast<std::uint16_t>(2 * (2 * j + 1));
      child_[2 * j + 1] = static_cast<std::uint16_t>(2 * (2 * j + 2));
    }
    // Node i hangs under (i-1)/2: odd nodes on the left, even on the right.
    parent_[0] = 0;
    side_[0] = 0;
    for (unsigned i = 1; i < kNodes; ++i) {
      parent_[i] = static_cast<std::uint16_t>(2 * ((i - 1) / 2));
      side_[i] = static_cast<std::uint16_t>(i % 2 == 0 ? 1 : 0);
    }
  }

  // Codes bytes from [in, in_end) while the output keeps kSymbolRoom bytes
  // free before out_end. Returns the input position reached.
  const std::uint8_t* run(const std::uint8_t* in, const std::uint8_t* in_end, std::uint8_t*& out,
                          std::uint8_t* out_end) {
    std::uint8_t* o = out;
    while (in != in_end && static_cast<std::size_t>(out_end - o) >= kSymbolRoom) o = put(*in++, o);
    out = o;
    return in;
  }

  // Codes the end mark and the final partial byte. Needs kSymbolRoom bytes.
  std::uint8_t* finish(std::uint8_t* out) {
    out = put(kEndSymbol, out);
    if (pending_bits_ != 0) *out++ = static_cast<std::uint8_t>(pending_);
    pending_ = 0;
    pending_bits_ = 0;
    return out;
  }

 private:
  static constexpr unsigned kNodes = 2 * kInternalNodes + 1;

  static std::size_t at(const std::uint16_t* array, std::size_t byte_offset) {
    std::uint16_t v;
    std::memcpy(&v, reinterpret_cast<const char*>(array) + byte_offset, sizeof v);
    return v;
  }
  static void set(std::uint16_t* array, std::size_t byte_offset, std::size_t v) {
    const auto v16 = static_cast<std::uint16_t>(v);
    std::memcpy(reinterpret_cast<char*>(array) + byte_offset, &v16, sizeof v16);
  }

  std::uint8_t* put(unsigned symbol, std::uint8_t* out) {
    std::uint16_t* const path = path_;

    // Up from the leaf: path[0] is the slot holding the leaf, path[depth-1]
    // a slot of the root. The code is read root first, so the bit found last
    // goes lowest: exactly the order in which bits are packed.
    std::size_t node = 2 * (symbol + kInternalNodes);
    unsigned depth = 0;
    std::uint64_t code = 0;
    do {
      const std::size_t side = at(side_, node);
      node = at(parent_, node);
      path[depth++] = static_cast<std::uint16_t>(node + side);  // slot = 2 * parent + side
      code = (code << 1) | side;
    } while (node != 0);

    std::uint64_t acc = pending_;
    unsigned nacc = pending_bits_;  // fewer than 8 between symbols
    if (depth <= 56) {
      acc |= code << nacc;
      nacc += depth;
    } else {
      for (unsigned i = depth; i-- > 0;) {
        acc |= static_cast<std::uint64_t>(path[i] & 1u) << nacc;
        if (++nacc == 64) {
          store_le64(out, acc);
          out += 8;
          acc = 0;
          nacc = 0;
        }
      }
    }
    store_le64(out, acc);
    const unsigned whole = nacc >> 3;
    out += whole;
    pending_ = acc >> (whole * 8);
    pending_bits_ = nacc & 7u;

    // Semi-splay: the node in slot path[i] trades places with its parent's
    // sibling (the other slot of the grandparent), then on from the
    // grandparent; no step once the parent or the grandparent is the root.
    for (unsigned i = 0; i + 1 < depth; i += 2) {
      const unsigned a_slot = path[i];
      const unsigned b_slot = path[i + 1] ^ 1u;
      const std::uint16_t a = child_[a_slot];
      const std::uint16_t b = child_[b_slot];
      child_[b_slot] = a;
      child_[a_slot] = b;
      set(parent_, a, b_slot & ~1u);
      set(side_, a, b_slot & 1u);
      set(parent_, b, a_slot & ~1u);
      set(side_, b, a_slot & 1u);
    }
    return out;
  }

  std::uint16_t child_[2 * kInternalNodes];  // by slot: 2 * node of the child
  std::uint16_t parent_[kNodes];             // by node: 2 * parent
  std::uint16_t side_[kNodes];               // by node: 1 for a right child
  std::uint16_t path_[kMaxDepth];
  std::uint64_t pending_ = 0;
  unsigned pending_bits_ = 0;
};

// ---------------------------------------------------------------- decoder --

class Decoder {
 public:
  Decoder() {
    // Slot contents are byte offsets into child_ (4 * node: two 16-bit slots
    // per node), so a step is one load from child_ + 2 * bit + here.
    for (unsigned j = 0; j < kInternalNodes; ++j) {
      child_[2 * j] = static_cast<std::uint16_t>(4 * (2 * j + 1));
      child_[2 * j + 1] = static_cast<std::uint16_t>(4 * (2 * j + 2));
    }
    // Two scratch slots past the tree, and path entries before the path
    // that name them: splay steps that fall off the top of a short path
    // swap the scratch slots instead of taking a branch.
    child_[2 * kInternalNodes] = 0;
    child_[2 * kInternalNodes + 1] = 0;
    path_buf_[0] = kScratchSlot;
    path_buf_[1] = kScratchSlot;
  }

  bool ended() const { return ended_; }

  // Decodes from [in, in_end) into [out, out_end). Returns when the input is
  // used up (a code may be left half walked, to be resumed with more input),
  // when the output is full, or when the end mark has been decoded.
  void run(const std::uint8_t*& in_ref, const std::uint8_t* in_end, std::uint8_t*& out_ref,
           std::uint8_t* out_end) {
    if (ended_) return;
    const std::uint8_t* in = in_ref;
    std::uint8_t* out = out_ref;
    std::uint64_t bits = bits_;
    unsigned nbits = nbits_;
    unsigned here = here_;
    unsigned depth = depth_;
    const char* const tree = reinterpret_cast<const char*>(child_);
    std::uint16_t* const path = path_buf_ + kPathLead;

    while (out != out_end) {
      if (depth == 0 && in_end - in >= 8) {
        if (fast_run(in, in_end, out, out_end, bits, nbits)) break;
        if (out == out_end) break;
        // Here with a code longer than the fast path buffers, or at the last
        // bytes of the input.
      }

      // Careful path, one byte at a time: the last bytes of the input,
      // codes longer than the fast path buffers, and resuming a code.
      do {
        if (nbits == 0) {
          if (in == in_end) goto suspend;
          bits = *in++;
          nbits = 8;
        }
        const unsigned off = static_cast<unsigned>(bits & 1u) << 1;
        bits >>= 1;
        --nbits;
        path[depth++] = static_cast<std::uint16_t>(here + off);
        here = static_cast<unsigned>(slot(tree, here + off));
      } while (here < kFirstLeaf);
      const unsigned leaf = here;
      const unsigned d = depth;
      here = 0;
      depth = 0;
      if (finish_symbol(leaf, d, out)) break;
    }
  suspend:
    in_ref = in;
    out_ref = out;
    bits_ = bits;
    nbits_ = nbits;
    here_ = here;
    depth_ = depth;
  }

 private:
  static constexpr unsigned kFirstLeaf = 4 * kInternalNodes;   // offsets of leaves start here
  static constexpr unsigned kScratchSlot = 4 * kInternalNodes;  // child_[512], its pair child_[513]
  static constexpr unsigned kPathLead = 2;

  // Decodes whole codes while at least 8 input bytes remain: tops the bit
  // buffer up to at least 56 bits with one unaligned load (bits above nbits
  // that are already there are the same data, so OR-ing them in again
  // changes nothing), then walks without looking at the count. A code longer
  // than what was buffered is left to the careful path; nothing of it has
  // been consumed. True at the end mark.
  bool fast_run(const std::uint8_t*& in_ref, const std::uint8_t* in_end, std::uint8_t*& out_ref,
                std::uint8_t* out_end, std::uint64_t& bits_ref, unsigned& nbits_ref) {
    const std::uint8_t* in = in_ref;
    std::uint8_t* out = out_ref;
    std::uint64_t bits = bits_ref;
    unsigned nbits = nbits_ref;
    const char* const tree = reinterpret_cast<const char*>(child_);
    std::uint16_t* const path = path_buf_ + kPathLead;
    bool end = false;
    while (out != out_end && in_end - in >= 8) {
      bits |= load_le64(in) << nbits;
      in += (63 - nbits) >> 3;
      nbits |= 56;
      std::uint64_t b = bits;
      std::size_t node = 0;  // pointer-sized: no zero extension between loads
      std::uint16_t* p = path;
      do {
        const unsigned off = static_cast<unsigned>(b & 1u) << 1;
        b >>= 1;
        *p++ = static_cast<std::uint16_t>(node + off);
        // Base and bit first: the load address is then base + node, with
        // no arithmetic between one load and the next (the empty asm keeps
        // the compiler from re-associating the sum onto the chain).
        const char* base = tree + off;
#if defined(__GNUC__)
        asm("" : "+r"(base));
#endif
        node = slot(base, node);
      } while (node < kFirstLeaf);
      const unsigned d = static_cast<unsigned>(p - path);
      if (d > nbits) break;
      bits = b;
      nbits -= d;
      if (finish_symbol(static_cast<unsigned>(node), d, out)) {
        end = true;
        break;
      }
    }
    in_ref = in;
    out_ref = out;
    bits_ref = bits;
    nbits_ref = nbits;
    return end;
  }

  static std::size_t slot(const char* tree, std::size_t offset) {
    std::uint16_t v;
    std::memcpy(&v, tree + offset, sizeof v);
    return v;
  }

  // Semi-splays along path[0..depth) (root first) and delivers the symbol.
  // True at the end mark.
  bool finish_symbol(unsigned leaf, unsigned depth, std::uint8_t*& out) {
    char* const tree = reinterpret_cast<char*>(child_);
    const std::uint16_t* const path = path_buf_ + kPathLead;
    // From the leaf up, the node in slot path[i] trades places with the
    // other child of its grandparent (the slot beside path[i-1]). The first
    // two steps are done unconditionally, on the scratch slots when the path
    // is too short, as most codes are short and a mispredicted loop exit
    // costs more than a dummy swap.
    auto swap_step = [tree, path](int i) {
      const unsigned a_slot = path[i];
      const unsigned b_slot = path[i - 1] ^ 2u;
      std::uint16_t a, b;
      std::memcpy(&a, tree + a_slot, 2);
      std::memcpy(&b, tree + b_slot, 2);
      std::memcpy(tree + a_slot, &b, 2);
      std::memcpy(tree + b_slot, &a, 2);
    };
    // i | ((i - 1) >> 31) is i when i >= 1, else -1 (the scratch entries).
    const int i = static_cast<int>(depth) - 1;
    swap_step(i | ((i - 1) >> 31));
    swap_step((i - 2) | ((i - 3) >> 31));
    for (int k = i - 4; k >= 1; k -= 2) swap_step(k);

    const unsigned symbol = leaf / 4 - kInternalNodes;
    if (symbol == kEndSymbol) {
      ended_ = true;
      return true;
    }
    *out++ = static_cast<std::uint8_t>(symbol);
    return false;
  }

  std::uint16_t child_[2 * kInternalNodes + 2];
  // Slots walked in the current code, after kPathLead scratch entries.
  std::uint16_t path_buf_[kPathLead + kMaxDepth];
  std::uint64_t bits_ = 0;         // unread bits, next one lowest
  unsigned nbits_ = 0;
  unsigned here_ = 0;  // offset of the node the walk stands on
  unsigned depth_ = 0;
  bool ended_ = false;
};

// ------------------------------------------------------------ file helpers --

// An output file that is removed unless the work succeeds. Only regular files
// are ever removed: writing to a device such as /dev/null must not delete it.
class OutputFile {
 public:
  ~OutputFile() { discard(); }

  bool open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    struct stat st {};
    removable_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    return true;
  }
  int fd() const { return fd_; }

  // Closes the file; a failing close (delayed write errors) counts as a
  // write failure and removes the file.
  bool commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      remove();
      return false;
    }
    removable_ = false;
    return true;
  }

  void discard() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    remove();
  }

 private:
  void remove() {
    if (removable_) ::unlink(path_.c_str());
    removable_ = false;
  }

  std::string path_;
  int fd_ = -1;
  bool removable_ = false;
};

class InputFile {
 public:
  ~InputFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    if (::fstat(fd_, &st_) != 0) return false;
    if (S_ISDIR(st_.st_mode)) {
      errno = EISDIR;
      return false;
    }
    return true;
  }
  int fd() const { return fd_; }
  std::uint64_t size() const { return S_ISREG(st_.st_mode) ? static_cast<std::uint64_t>(st_.st_size) : 0; }

  // Whether `path` names this very file (writing it would destroy the input).
  bool same_as(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == st_.st_dev && st.st_ino == st_.st_ino &&
           S_ISREG(st.st_mode);
  }

 private:
  int fd_ = -1;
  struct stat st_ {};
};

}  // namespace

const char* pak_status_text(PakStatus status) {
  switch (status) {
    case PakStatus::ok: return "no error";
    case PakStatus::open_failed: return "cannot open file";
    case PakStatus::bad_magic: return "not a package (bad magic number)";
    case PakStatus::truncated: return "package is truncated (data end before the end mark)";
    case PakStatus::read_failed: return "read error";
    case PakStatus::write_failed: return "write error";
  }
  return "unknown error";
}

// ------------------------------------------------------------- memory API --

std::vector<std::uint8_t> pak_encode(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out(kPakHeaderSize + data.size() + data.size() / 4 + 2 * kSymbolRoom);
  std::copy(kHeader.begin(), kHeader.end(), out.begin());
  Encoder encoder;
  std::size_t pos = kPakHeaderSize;
  const std::uint8_t* in = data.data();
  const std::uint8_t* const in_end = in + data.size();
  for (;;) {
    std::uint8_t* o = out.data() + pos;
    in = encoder.run(in, in_end, o, out.data() + out.size());
    pos = static_cast<std::size_t>(o - out.data());
    if (in == in_end && out.size() - pos >= kSymbolRoom) break;
    out.resize(out.size() + out.size() / 2 + kSymbolRoom);
  }
  std::uint8_t* o = encoder.finish(out.data() + pos);
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

PakStatus pak_decode(std::span<const std::uint8_t> package, std::vector<std::uint8_t>& out) {
  out.clear();
  if (package.size() < 4 || !magic_ok(package.data())) return PakStatus::bad_magic;
  if (package.size() < kPakHeaderSize) return PakStatus::truncated;

  Decoder decoder;
  const std::uint8_t* in = package.data() + kPakHeaderSize;
  const std::uint8_t* const in_end = package.data() + package.size();
  out.resize(std::max<std::size_t>(4096, 2 * package.size()));
  std::size_t pos = 0;
  for (;;) {
    std::uint8_t* o = out.data() + pos;
    std::uint8_t* const o_end = out.data() + out.size();
    decoder.run(in, in_end, o, o_end);
    pos = static_cast<std::size_t>(o - out.data());
    if (decoder.ended()) break;
    if (o != o_end) {  // stopped for want of input
      out.resize(pos);
      return PakStatus::truncated;
    }
    out.resize(out.size() * 2);
  }
  out.resize(pos);
  return PakStatus::ok;
}

// ------------------------------------------------------------- piecewise --

struct PakWriter::State {
  Encoder encoder;
  Sink sink;
  std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(kBlockSize + kSymbolRoom);
  std::size_t used = 0;
  bool failed = false;

  bool flush() {
    if (used > 0 && !failed) failed = !sink(std::span<const std::uint8_t>(buf.data(), used));
    used = 0;
    return !failed;
  }
};

PakWriter::PakWriter(Sink sink) : state_(std::make_unique<State>()) {
  state_->sink = std::move(sink);
  std::copy(kHeader.begin(), kHeader.end(), state_->buf.begin());
  state_->used = kPakHeaderSize;
}

PakWriter::~PakWriter() = default;

bool PakWriter::write(std::span<const std::uint8_t> data) {
  State& s = *state_;
  const std::uint8_t* in = data.data();
  const std::uint8_t* const in_end = in + data.size();
  while (!s.failed) {
    std::uint8_t* o = s.buf.data() + s.used;
    // Stopping kSymbolRoom short of kBlockSize keeps blocks under 64 KiB; the
    // slack past kBlockSize takes the final symbol in finish().
    in = s.encoder.run(in, in_end, o, s.buf.data() + kBlockSize);
    s.used = static_cast<std::size_t>(o - s.buf.data());
    if (in == in_end) break;
    s.flush();
  }
  return !s.failed;
}

bool PakWriter::finish() {
  State& s = *state_;
  if (s.failed) return false;
  if (s.buf.size() - s.used < kSymbolRoom) s.flush();
  s.used = static_cast<std::size_t>(s.encoder.finish(s.buf.data() + s.used) - s.buf.data());
  const bool ok = s.flush();
  s.failed = true;  // nothing may follow the end mark
  return ok;
}

struct PakReader::State {
  Decoder decoder;
  Source source;
  std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(kBlockSize);
  std::size_t pos = 0;
  std::size_t len = 0;
  bool started = false;
  PakStatus status = PakStatus::ok;

  // Refills the input buffer; false at the end of the source or on an error.
  bool fill() {
    pos = 0;
    len = 0;
    const std::ptrdiff_t r = source(std::span<std::uint8_t>(buf.data(), buf.size()));
    if (r < 0) {
      status = PakStatus::read_failed;
      return false;
    }
    len = static_cast<std::size_t>(std::min<std::ptrdiff_t>(r, static_cast<std::ptrdiff_t>(buf.size())));
    return len > 0;
  }
};

PakReader::PakReader(Source source) : state_(std::make_unique<State>()) {
  state_->source = std::move(source);
}

PakReader::~PakReader() = default;

PakStatus PakReader::start() {
  State& s = *state_;
  if (s.started) return s.status;
  s.started = true;
  // The source may hand over fewer bytes than asked: gather the header.
  std::array<std::uint8_t, kPakHeaderSize> header{};
  std::size_t got = 0;
  while (got < kPakHeaderSize) {
    if (s.pos == s.len && !s.fill()) break;
    const std::size_t n = std::min(kPakHeaderSize - got, s.len - s.pos);
    std::memcpy(header.data() + got, s.buf.data() + s.pos, n);
    s.pos += n;
    got += n;
  }
  if (s.status != PakStatus::ok) return s.status;
  if (got < 4 || !magic_ok(header.data())) {
    s.status = PakStatus::bad_magic;
  } else if (got < kPakHeaderSize) {
    s.status = PakStatus::truncated;
  }
  return s.status;
}

std::size_t PakReader::read(std::span<std::uint8_t> dst) {
  State& s = *state_;
  if (!s.started) start();
  std::uint8_t* o = dst.data();
  std::uint8_t* const o_end = o + dst.size();
  while (o != o_end && s.status == PakStatus::ok && !s.decoder.ended()) {
    // The decoder may hold buffered bits beyond the input it has taken, so
    // it runs before any refill, even on an empty buffer.
    const std::uint8_t* in = s.buf.data() + s.pos;
    s.decoder.run(in, s.buf.data() + s.len, o, o_end);
    s.pos = static_cast<std::size_t>(in - s.buf.data());
    if (o == o_end || s.decoder.ended()) break;
    // Stopped for want of input.
    if (!s.fill()) {
      if (s.status == PakStatus::ok) s.status = PakStatus::truncated;
      break;
    }
  }
  return static_cast<std::size_t>(o - dst.data());
}

PakStatus PakReader::status() const { return state_->status; }

bool PakReader::at_end() const { return state_->decoder.ended(); }

// ------------------------------------------------------------------ files --

PakStatus pak_pack_file(const std::string& in_path, const std::string& out_path,
                        const PakProgress& progress) {
  InputFile input;
  if (!input.open(in_path)) return PakStatus::open_failed;
  if (input.same_as(out_path)) return PakStatus::open_failed;
  OutputFile output;
  if (!output.open(out_path)) return PakStatus::open_failed;

  const int out_fd = output.fd();
  PakWriter writer([out_fd](std::span<const std::uint8_t> block) {
    return write_all(out_fd, block.data(), block.size());
  });
  std::vector<std::uint8_t> buf(kBlockSize);
  std::uint64_t done = 0;
  const std::uint64_t total = input.size();
  for (;;) {
    const std::ptrdiff_t r = read_full(input.fd(), buf.data(), buf.size());
    if (r < 0) return PakStatus::read_failed;
    if (r == 0) break;
    if (!writer.write(std::span<const std::uint8_t>(buf.data(), static_cast<std::size_t>(r))))
      return PakStatus::write_failed;
    done += static_cast<std::uint64_t>(r);
    if (progress) progress(done, total);
  }
  if (!writer.finish() || !output.commit()) return PakStatus::write_failed;
  return PakStatus::ok;
}

PakStatus pak_unpack_file(const std::string& in_path, const std::string& out_path,
                          const PakProgress& progress) {
  InputFile input;
  if (!input.open(in_path)) return PakStatus::open_failed;
  if (input.same_as(out_path)) return PakStatus::open_failed;

  const int in_fd = input.fd();
  const std::uint64_t total = input.size();
  std::uint64_t done = 0;
  PakReader reader([&](std::span<std::uint8_t> buf) {
    const std::ptrdiff_t r = read_full(in_fd, buf.data(), buf.size());
    if (r > 0) {
      done += static_cast<std::uint64_t>(r);
      if (progress) progress(done, total);
    }
    return r;
  });
  // A file that is not a package leaves any existing output alone.
  if (const PakStatus st = reader.start(); st != PakStatus::ok) return st;

  OutputFile output;
  if (!output.open(out_path)) return PakStatus::open_failed;
  std::vector<std::uint8_t> buf(kBlockSize);
  for (;;) {
    const std::size_t n = reader.read(buf);
    if (n > 0 && !write_all(output.fd(), buf.data(), n)) return PakStatus::write_failed;
    if (n < buf.size()) break;
  }
  if (reader.status() != PakStatus::ok) return reader.status();
  if (!output.commit()) return PakStatus::write_failed;
  return PakStatus::ok;
}

}  // namespace kelvo
