// The package coder: the outer layer of a package file.
//
// A package is a 16-byte header (magic 55 AA 02 FF, then the text
// "Kelvo PACKER") followed by a bit stream coded with an adaptive semi-splaying
// prefix code over 257 symbols (bytes 0..255 and the end mark 256). Bits are
// packed from the least significant bit up; the tree is reorganised after every
// symbol by coder and decoder alike.
//
// Decoders work on bytes; the file functions stream in 64 KiB blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvo {

inline constexpr std::uint32_t kPakMagic = 0xFF02AA55;
inline constexpr std::size_t kPakHeaderSize = 16;

enum class PakStatus {
  ok,
  open_failed,   // input or output could not be opened
  bad_magic,     // the first four bytes are not the package magic
  truncated,     // the data end before the end mark
  read_failed,
  write_failed,
};

// A short English description, for messages.
const char* pak_status_text(PakStatus status);

// Codes `data` into a complete package (header included).
std::vector<std::uint8_t> pak_encode(std::span<const std::uint8_t> data);

// Decodes a complete package into `out` (replaced). On failure `out` holds
// what was decoded before the fault.
PakStatus pak_decode(std::span<const std::uint8_t> package, std::vector<std::uint8_t>& out);

// Called now and then with bytes read so far and the input's size.
using PakProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// File to file. On any failure the output file is removed.
PakStatus pak_pack_file(const std::string& in_path, const std::string& out_path,
                        const PakProgress& progress = {});
PakStatus pak_unpack_file(const std::string& in_path, const std::string& out_path,
                          const PakProgress& progress = {});

// Piecewise coding, for producers and consumers that do not hold the whole
// content: the file functions above and the kelvo-pak tool are built on these.

// Codes content handed over in pieces of any size. The coded package (header
// first) goes to `sink` in blocks of up to 64 KiB; a sink returns false when
// it could not take a block, and the writer fails from then on.
class PakWriter {
 public:
  using Sink = std::function<bool(std::span<const std::uint8_t> block)>;

  explicit PakWriter(Sink sink);
  ~PakWriter();
  PakWriter(const PakWriter&) = delete;
  PakWriter& operator=(const PakWriter&) = delete;

  // False once the sink has failed (or after finish()).
  bool write(std::span<const std::uint8_t> data);
  // Codes the end mark and hands over the rest. Call once, last.
  bool finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Decodes a package pulled piecewise from `source`. The source fills up to
// `buf.size()` bytes and returns the count, 0 at the end of its data, -1 on a
// read error.
class PakReader {
 public:
  using Source = std::function<std::ptrdiff_t(std::span<std::uint8_t> buf)>;

  explicit PakReader(Source source);
  ~PakReader();
  PakReader(const PakReader&) = delete;
  PakReader& operator=(const PakReader&) = delete;

  // Reads and checks the header; read() does this on first use.
  PakStatus start();
  // Decodes up to dst.size() bytes of content into dst and returns the count:
  // less than asked only at the end of the content or after a fault.
  std::size_t read(std::span<std::uint8_t> dst);
  // ok until a fault, which sticks.
  PakStatus status() const;
  // The end mark has been decoded: the content is complete.
  bool at_end() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kelvo
