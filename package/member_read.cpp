#include "package/member_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "host/base/text_helpers.h"
#include "package/fd_io.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"

namespace kelvo {

namespace {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path) {
    // Non-blocking, so that a FIFO in the package's place cannot hang the
    // caller; only regular files are read.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace

const char* member_read_status_text(MemberReadStatus status) {
  switch (status) {
    case MemberReadStatus::found: return "found";
    case MemberReadStatus::not_found: return "no such member";
    case MemberReadStatus::too_large: return "member too large";
    case MemberReadStatus::open_failed: return "cannot be read";
    case MemberReadStatus::not_a_package: return "not a package";
    case MemberReadStatus::damaged: return "package damaged";
  }
  return "unknown";
}

MemberRead read_package_member(const std::string& package_path, std::string_view name, std::size_t max_size) {
  MemberRead result;
  ReadOnlyFile file(package_path);
  if (file.fd() < 0) {
    result.status = MemberReadStatus::open_failed;
    return result;
  }
  const int fd = file.fd();
  PakReader reader([fd](std::span<std::uint8_t> buf) { return read_full(fd, buf.data(), buf.size()); });

  // Why the stream stopped short.
  auto fault = [&]() {
    switch (reader.status()) {
      case PakStatus::bad_magic: return MemberReadStatus::not_a_package;
      case PakStatus::read_failed: return MemberReadStatus::open_failed;
      default: return MemberReadStatus::damaged;
    }
  };
  auto read_exact = [&](std::uint8_t* dst, std::size_t n) { return reader.read(std::span<std::uint8_t>(dst, n)) == n; };
  std::array<std::uint8_t, 4096> scratch;
  auto skip = [&](std::uint64_t n) {
    while (n > 0) {
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, scratch.size()));
      if (!read_exact(scratch.data(), k)) return false;
      n -= k;
    }
    return true;
  };
  auto read_u32 = [&](std::uint32_t& v) {
    std::uint8_t b[4];
    if (!read_exact(b, 4)) return false;
    v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
  };

  if (reader.start() != PakStatus::ok) {
    result.status = fault();
    return result;
  }
  std::array<std::uint8_t, kMemberNameMax + 1> raw_name;
  for (;;) {
    std::uint8_t first[4];
    const std::size_t got = reader.read(std::span<std::uint8_t>(first, 4));
    if (got == 0 && reader.status() == PakStatus::ok) {
      result.status = MemberReadStatus::not_found;  // the end of the members
      return result;
    }
    if (got < 4) break;
    const std::uint32_t name_length = first[0] | (first[1] << 8) | (first[2] << 16) | (static_cast<std::uint32_t>(first[3]) << 24);
    // Longer names cannot be ours: read what fits, skip the rest.
    const std::size_t keep = std::min<std::size_t>(name_length, raw_name.size());
    std::uint32_t data_length = 0;
    if (!read_exact(raw_name.data(), keep) || !skip(name_length - keep) || !read_u32(data_length)) break;
    const std::string_view stored = member_name_from_bytes(
        std::string_view(reinterpret_cast<const char*>(raw_name.data()), keep));
    if (!equal_ignoring_case(stored, name)) {
      if (!skip(data_length)) break;
      continue;
    }
    if (data_length > max_size) {
      result.status = MemberReadStatus::too_large;
      return result;
    }
    // Grown as the bytes arrive: a damaged stream cannot make it reserve
    // what it claims.
    std::size_t have = 0;
    while (have < data_length) {
      const std::size_t k = std::min<std::size_t>(data_length - have, 64 * 1024);
      result.data.resize(have + k);
      if (!read_exact(result.data.data() + have, k)) {
        result.data.clear();
        result.status = fault();
        return result;
      }
      have += k;
    }
    result.status = MemberReadStatus::found;
    return result;
  }
  result.status = fault();
  return result;
}

}  // namespace kelvo
