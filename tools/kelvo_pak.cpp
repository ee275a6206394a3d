// kelvo-pak: builds, lists and unpacks scene packages.
//
//   kelvo-pak pack DIR -o NAME.pak     the regular files directly in DIR
//   kelvo-pak unpack NAME.pak -C DIR   the members into DIR
//   kelvo-pak list NAME.pak            name, tab, size; then a total line
//   kelvo-pak encode IN OUT            the outer coding alone, on any file
//   kelvo-pak decode IN OUT
//
// A package is the coded form of a member stream: for each member a 32-bit
// little-endian name length, the name, a 32-bit data length and the data.
// Everything streams in 64 KiB blocks. Outputs are written to a temporary
// file beside the target and renamed into place, so a failed run never leaves
// a broken file behind. Packages are read as untrusted input: member names
// are checked as the player checks them, and members are created inside the
// target directory only (relative to its descriptor, through a temporary file
// that is renamed over the name, which replaces a symlink rather than
// following it).
//
// Exit status: 0 success, 1 bad or truncated input or an I/O error, 2 usage.

#include "package/member_stream.h"
#include "package/fd_io.h"
#include "package/pak_coder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kelvo::PakReader;
using kelvo::PakStatus;
using kelvo::PakWriter;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::uint64_t kProgressMinBytes = 4u * 1000u * 1000u;

const char kUsage[] =
    "usage: kelvo-pak COMMAND ...\n"
    "\n"
    "  pack DIR -o NAME.pak     pack the regular files directly in DIR (sorted by\n"
    "                           name; subdirectories are skipped)\n"
    "  unpack NAME.pak -C DIR   write the members into DIR (created if missing)\n"
    "  list NAME.pak            one line per member (name, tab, size), then a total\n"
    "  encode IN OUT            code any file as a package (no member stream)\n"
    "  decode IN OUT            decode a package to the raw content\n"
    "  -h, --help               this text\n"
    "\n"
    "Exit status: 0 success, 1 bad or truncated input or I/O error, 2 usage error.\n";

// ------------------------------------------------------------- messages --

class Progress;
Progress* g_progress = nullptr;

// A percentage on stderr for big inputs when stderr is a terminal, rewritten
// in place and wiped at the end.
class Progress {
 public:
  Progress(const char* verb, std::string name, std::uint64_t total)
      : verb_(verb), name_(std::move(name)), total_(total),
        enabled_(total >= kProgressMinBytes && ::isatty(STDERR_FILENO) == 1) {
    if (enabled_) g_progress = this;
  }
  ~Progress() {
    clear();
    if (g_progress == this) g_progress = nullptr;
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(std::uint64_t done) {
    if (!enabled_) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(done, total_) * 100 / total_);
    if (percent == last_) return;
    last_ = percent;
    std::fprintf(stderr, "\rkelvo-pak: %s %s: %3d%%", verb_, name_.c_str(), percent);
    std::fflush(stderr);
    shown_ = true;
  }

  void clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
    last_ = -1;
  }

 private:
  const char* verb_;
  std::string name_;
  std::uint64_t total_;
  bool enabled_;
  bool shown_ = false;
  int last_ = -1;
};

// Control characters in names are shown escaped, so a hostile name cannot
// play tricks on the terminal.
std::string printable(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      char buf[8];
      switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
      }
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// "kelvo-pak: <file>: <reason>"
[[gnu::format(printf, 2, 3)]] void fail(const std::string& file, const char* format, ...) {
  if (g_progress != nullptr) g_progress->clear();
  std::fprintf(stderr, "kelvo-pak: %s: ", file.c_str());
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

[[gnu::format(printf, 1, 2)]] int usage_error(const char* format, ...) {
  std::fputs("kelvo-pak: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputs("\nTry 'kelvo-pak --help'.\n", stderr);
  return kExitUsage;
}

// ------------------------------------------------------------------- I/O --

using kelvo::read_full;
using kelvo::write_all;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes, reporting delayed write errors.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

mode_t g_file_mode = 0644;  // 0666 less the umask

// An output file written beside its target under a temporary name and renamed
// into place by commit(). A target that exists and is not a regular file (a
// device, a pipe) is written directly instead.
class AtomicOutput {
 public:
  ~AtomicOutput() { abort(); }

  bool open(const std::string& path) {
    path_ = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
      }
      fd_.reset(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
      return fd_.ok();
    }
    temp_ = path + ".tmp-XXXXXX";
    fd_.reset(::mkostemp(temp_.data(), O_CLOEXEC));
    if (!fd_.ok()) {
      temp_.clear();
      return false;
    }
    ::fchmod(fd_.get(), g_file_mode);
    return true;
  }

  int fd() const { return fd_.get(); }

  bool commit() {
    if (temp_.empty()) return fd_.close();
    if (::fsync(fd_.get()) != 0 && errno != EINVAL && errno != EROFS) return false;
    if (!fd_.close()) return false;
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return false;
    temp_.clear();
    return true;
  }

  void abort() {
    const int saved = errno;
    fd_.reset();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    errno = saved;
  }

 private:
  std::string path_;
  std::string temp_;
  Fd fd_;
};

// Creates `dir` and any missing parents.
bool make_dirs(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  const std::size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !make_dirs(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

void put_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get_u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// ------------------------------------------------------ writing packages --

// A package being written through an AtomicOutput: only a finished file
// replaces what was at the path. Every failure is reported under its file.
class PackageOutput {
 public:
  explicit PackageOutput(std::string path)
      : path_(std::move(path)), writer_([this](std::span<const std::uint8_t> block) {
          if (write_all(out_.fd(), block.data(), block.size())) return true;
          write_errno_ = errno;
          return false;
        }) {}
  PackageOutput(const PackageOutput&) = delete;
  PackageOutput& operator=(const PackageOutput&) = delete;

  bool open() {
    if (out_.open(path_)) return true;
    fail(path_, "%s", std::strerror(errno));
    return false;
  }
  bool write(std::span<const std::uint8_t> data) { return writer_.write(data) || write_failed(); }
  bool finish() {
    if (!writer_.finish()) return write_failed();
    if (out_.commit()) return true;
    fail(path_, "%s", std::strerror(errno));
    return false;
  }

 private:
  bool write_failed() {
    fail(path_, "%s", std::strerror(write_errno_ != 0 ? write_errno_ : EIO));
    return false;
  }

  std::string path_;
  AtomicOutput out_;
  int write_errno_ = 0;
  PakWriter writer_;
};

// ------------------------------------------------------ reading packages --

// A package file opened for decoding, with the errno of a failed read kept
// for the message.
class PackageInput {
 public:
  explicit PackageInput(const char* verb, std::string path)
      : path_(std::move(path)),
        reader_([this](std::span<std::uint8_t> buf) -> std::ptrdiff_t {
          const std::ptrdiff_t r = read_full(fd_.get(), buf.data(), buf.size());
          if (r < 0) read_errno_ = errno;
          if (r > 0) {
            done_ += static_cast<std::uint64_t>(r);
            if (progress_) progress_->update(done_);
          }
          return r;
        }),
        verb_(verb) {}

  PackageInput(const PackageInput&) = delete;
  PackageInput& operator=(const PackageInput&) = delete;

  // Opens and checks the header; reports and returns false on failure.
  bool open() {
    fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd_.ok() || ::fstat(fd_.get(), &st) != 0) {
      fail(path_, "%s", std::strerror(errno));
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      fail(path_, "%s", std::strerror(EISDIR));
      return false;
    }
    progress_ = std::make_unique<Progress>(verb_, path_,
                                           S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0);
    if (reader_.start() != PakStatus::ok) {
      report();
      return false;
    }
    return true;
  }

  PakReader& reader() { return reader_; }
  const std::string& path() const { return path_; }

  // Reports the reader's fault.
  void report() const {
    if (reader_.status() == PakStatus::read_failed)
      fail(path_, "%s", std::strerror(read_errno_));
    else
      fail(path_, "%s", kelvo::pak_status_text(reader_.status()));
  }

 private:
  std::string path_;
  Fd fd_;
  PakReader reader_;
  const char* verb_;
  std::unique_ptr<Progress> progress_;
  std::uint64_t done_ = 0;
  int read_errno_ = 0;
};

// Walks the member stream of a package. For each member, `on_member(name,
// size)` is called after the name has been checked; it must then consume
// exactly `size` bytes through read_data() (or skip_data()).
class MemberWalker {
 public:
  explicit MemberWalker(PackageInput& input) : input_(input), reader_(input.reader()) {}

  enum class Next { member, end, fault };

  // Reads the next member header. On `fault` the message has been printed.
  Next next(std::string& name, std::uint32_t& size) {
    std::uint8_t field[4];
    const std::size_t got = reader_.read(field);
    if (got == 0 && reader_.at_end()) return Next::end;
    if (got < 4) return broken("member stream ends inside a name length");
    ++index_;
    const std::uint32_t name_length = get_u32(field);

    // The name ends at its first zero byte. Only kMemberNameMax + 1 bytes are
    // kept (enough to tell that a name is too long); the rest is skipped.
    std::string raw(std::min<std::size_t>(name_length, kelvo::kMemberNameMax + 1), '\0');
    if (reader_.read(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(raw.data()), raw.size())) !=
            raw.size() ||
        !skip(name_length - raw.size()))
      return broken("member stream ends inside a name");
    name = std::string(kelvo::member_name_from_bytes(raw));
    const kelvo::MemberNameProblem problem = kelvo::check_member_name(name);
    if (problem != kelvo::MemberNameProblem::none) {
      std::string shown = printable(name.substr(0, 64));
      if (name.size() > 64) shown += "...";
      fail(input_.path(), "member %u refused: \"%s\": %s", index_, shown.c_str(),
           kelvo::member_name_problem_text(problem));
      return Next::fault;
    }

    if (reader_.read(field) != 4) return broken("member stream ends inside a data length");
    size = get_u32(field);
    return Next::member;
  }

  // Up to buf.size() bytes of the current member's data; false when the
  // package ends first (the message has been printed).
  bool read_data(std::span<std::uint8_t> buf, const std::string& name, std::uint32_t size) {
    if (reader_.read(buf) == buf.size()) return true;
    truncated_member(name, size);
    return false;
  }

  bool skip_data(const std::string& name, std::uint32_t size) {
    if (skip(size)) return true;
    truncated_member(name, size);
    return false;
  }

 private:
  bool skip(std::uint64_t n) {
    std::uint8_t buf[4096];
    while (n > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof buf));
      if (reader_.read(std::span<std::uint8_t>(buf, want)) != want) return false;
      n -= want;
    }
    return true;
  }

  Next broken(const char* what) {
    if (reader_.status() != PakStatus::ok)
      input_.report();
    else
      fail(input_.path(), "%s (truncated)", what);
    return Next::fault;
  }

  void truncated_member(const std::string& name, std::uint32_t size) {
    if (reader_.status() != PakStatus::ok && reader_.status() != PakStatus::truncated) {
      input_.report();
      return;
    }
    fail(input_.path(), "member \"%s\": %u bytes claimed, the package ends first (truncated)",
         printable(name).c_str(), size);
  }

  PackageInput& input_;
  PakReader& reader_;
  unsigned index_ = 0;
};

// -------------------------------------------------------------- commands --

int cmd_list(const std::string& pak) {
  PackageInput input("reading", pak);
  if (!input.open()) return kExitFailed;
  MemberWalker walker(input);
  std::string name;
  std::uint32_t size = 0;
  std::uint64_t total = 0;
  std::uint64_t count = 0;
  for (;;) {
    const MemberWalker::Next next = walker.next(name, size);
    if (next == MemberWalker::Next::fault) return kExitFailed;
    if (next == MemberWalker::Next::end) break;
    if (!walker.skip_data(name, size)) return kExitFailed;
    std::printf("%s\t%u\n", name.c_str(), size);
    total += size;
    ++count;
  }
  std::printf("%llu member%s, %llu bytes\n", static_cast<unsigned long long>(count), count == 1 ? "" : "s",
              static_cast<unsigned long long>(total));
  if (std::fflush(stdout) != 0) {
    fail("stdout", "%s", std::strerror(errno));
    return kExitFailed;
  }
  return kExitOk;
}

int cmd_unpack(const std::string& pak, const std::string& dir) {
  PackageInput input("unpacking", pak);
  if (!input.open()) return kExitFailed;
  if (!make_dirs(dir)) {
    fail(dir, "%s", std::strerror(errno));
    return kExitFailed;
  }
  Fd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir_fd.ok()) {
    fail(dir, "%s", std::strerror(errno));
    return kExitFailed;
  }

  MemberWalker walker(input);
  std::vector<std::uint8_t> buf(kChunk);
  std::string name;
  std::uint32_t size = 0;
  unsigned temp_counter = 0;
  for (;;) {
    const MemberWalker::Next next = walker.next(name, size);
    if (next == MemberWalker::Next::fault) return kExitFailed;
    if (next == MemberWalker::Next::end) break;

    // Written under a fresh name (O_EXCL, O_NOFOLLOW: never through an
    // existing entry), then renamed over the member's name.
    std::string temp;
    Fd out;
    for (int attempt = 0; attempt < 100 && !out.ok(); ++attempt) {
      temp = ".kelvo-pak-" + std::to_string(::getpid()) + "-" + std::to_string(temp_counter++) + ".part";
      out.reset(::openat(dir_fd.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         0666));
      if (!out.ok() && errno != EEXIST) break;
    }
    if (!out.ok()) {
      fail(dir, "%s", std::strerror(errno));
      return kExitFailed;
    }
    auto discard = [&] {
      out.reset();
      ::unlinkat(dir_fd.get(), temp.c_str(), 0);
    };

    std::uint32_t left = size;
    while (left > 0) {
      const std::size_t want = std::min<std::size_t>(left, buf.size());
      if (!walker.read_data(std::span<std::uint8_t>(buf.data(), want), name, size)) {
        discard();
        return kExitFailed;
      }
      if (!write_all(out.get(), buf.data(), want)) {
        fail(join(dir, name), "%s", std::strerror(errno));
        discard();
        return kExitFailed;
      }
      left -= static_cast<std::uint32_t>(want);
    }
    if (!out.close() || ::renameat(dir_fd.get(), temp.c_str(), dir_fd.get(), name.c_str()) != 0) {
      fail(join(dir, name), "%s", std::strerror(errno));
      discard();
      return kExitFailed;
    }
  }
  return kExitOk;
}

struct PackEntry {
  std::string name;
  std::uint64_t size;
};

int cmd_pack(const std::string& dir, const std::string& out_path) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    fail(dir, "%s", std::strerror(errno));
    return kExitFailed;
  }
  struct DirCloser {
    DIR* d;
    ~DirCloser() { ::closedir(d); }
  } closer{d};
  const int dfd = ::dirfd(d);

  // An existing output inside DIR is not packed into itself.
  struct stat out_st {};
  const bool out_exists = ::stat(out_path.c_str(), &out_st) == 0;

  std::vector<PackEntry> entries;
  errno = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(dfd, name.c_str(), &st, 0) != 0) {
      if (errno == ENOENT) continue;  // a dangling symlink, or gone meanwhile
      fail(join(dir, name), "%s", std::strerror(errno));
      return kExitFailed;
    }
    if (!S_ISREG(st.st_mode)) continue;
    if (out_exists && st.st_dev == out_st.st_dev && st.st_ino == out_st.st_ino) continue;
    const kelvo::MemberNameProblem problem = kelvo::check_member_name(name);
    if (problem != kelvo::MemberNameProblem::none) {
      fail(join(dir, printable(name)), "cannot be a member: %s", kelvo::member_name_problem_text(problem));
      return kExitFailed;
    }
    if (static_cast<std::uint64_t>(st.st_size) > std::numeric_limits<std::uint32_t>::max()) {
      fail(join(dir, name), "too large for a package member (4 GiB or more)");
      return kExitFailed;
    }
    entries.push_back({name, static_cast<std::uint64_t>(st.st_size)});
    errno = 0;
  }
  if (errno != 0) {
    fail(dir, "%s", std::strerror(errno));
    return kExitFailed;
  }
  // std::string compares as unsigned bytes.
  std::sort(entries.begin(), entries.end(), [](const PackEntry& a, const PackEntry& b) { return a.name < b.name; });

  std::uint64_t total = 0;
  for (const PackEntry& e : entries) total += e.size;

  PackageOutput out(out_path);
  if (!out.open()) return kExitFailed;

  Progress progress("packing", out_path, total);
  std::uint64_t done = 0;
  std::vector<std::uint8_t> buf(kChunk);
  for (const PackEntry& e : entries) {
    const std::string path = join(dir, e.name);
    Fd in(::openat(dfd, e.name.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.ok() || ::fstat(in.get(), &st) != 0) {
      fail(path, "%s", std::strerror(errno));
      return kExitFailed;
    }
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != e.size) {
      fail(path, "changed while being packed");
      return kExitFailed;
    }

    std::uint8_t field[4];
    put_u32(field, static_cast<std::uint32_t>(e.name.size()));
    if (!out.write(field) ||
        !out.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(e.name.data()),
                                                 e.name.size())))
      return kExitFailed;
    put_u32(field, static_cast<std::uint32_t>(e.size));
    if (!out.write(field)) return kExitFailed;

    std::uint64_t left = e.size;
    while (left > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
      const std::ptrdiff_t got = read_full(in.get(), buf.data(), want);
      if (got < 0) {
        fail(path, "%s", std::strerror(errno));
        return kExitFailed;
      }
      if (static_cast<std::size_t>(got) != want) {
        fail(path, "changed while being packed (shorter than its size)");
        return kExitFailed;
      }
      if (!out.write(std::span<const std::uint8_t>(buf.data(), want))) return kExitFailed;
      left -= want;
      done += want;
      progress.update(done);
    }
    std::uint8_t extra;
    if (read_full(in.get(), &extra, 1) != 0) {
      fail(path, "changed while being packed (longer than its size)");
      return kExitFailed;
    }
  }
  if (!out.finish()) return kExitFailed;
  return kExitOk;
}

int cmd_encode(const std::string& in_path, const std::string& out_path) {
  Fd in(::open(in_path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!in.ok() || ::fstat(in.get(), &st) != 0) {
    fail(in_path, "%s", std::strerror(errno));
    return kExitFailed;
  }
  if (S_ISDIR(st.st_mode)) {
    fail(in_path, "%s", std::strerror(EISDIR));
    return kExitFailed;
  }
  PackageOutput out(out_path);
  if (!out.open()) return kExitFailed;
  Progress progress("encoding", in_path, S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0);
  std::vector<std::uint8_t> buf(kChunk);
  std::uint64_t done = 0;
  for (;;) {
    const std::ptrdiff_t got = read_full(in.get(), buf.data(), buf.size());
    if (got < 0) {
      fail(in_path, "%s", std::strerror(errno));
      return kExitFailed;
    }
    if (got == 0) break;
    if (!out.write(std::span<const std::uint8_t>(buf.data(), static_cast<std::size_t>(got)))) return kExitFailed;
    done += static_cast<std::uint64_t>(got);
    progress.update(done);
  }
  if (!out.finish()) return kExitFailed;
  return kExitOk;
}

int cmd_decode(const std::string& in_path, const std::string& out_path) {
  PackageInput input("decoding", in_path);
  if (!input.open()) return kExitFailed;
  AtomicOutput out;
  if (!out.open(out_path)) {
    fail(out_path, "%s", std::strerror(errno));
    return kExitFailed;
  }
  std::vector<std::uint8_t> buf(kChunk);
  for (;;) {
    const std::size_t got = input.reader().read(buf);
    if (got > 0 && !write_all(out.fd(), buf.data(), got)) {
      fail(out_path, "%s", std::strerror(errno));
      return kExitFailed;
    }
    if (got < buf.size()) break;
  }
  if (input.reader().status() != PakStatus::ok) {
    input.report();
    return kExitFailed;
  }
  if (!out.commit()) {
    fail(out_path, "%s", std::strerror(errno));
    return kExitFailed;
  }
  return kExitOk;
}

// ------------------------------------------------------------- arguments --

struct Args {
  std::vector<std::string> positional;
  std::string output;     // -o
  std::string directory;  // -C
  bool has_output = false;
  bool has_directory = false;
  bool help = false;
};

// Returns 0, or the usage exit status after printing the complaint.
int parse(int argc, char** argv, Args& args) {
  bool options_done = false;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (options_done || a.size() < 2 || a[0] != '-') {
      args.positional.push_back(a);
    } else if (a == "--") {
      options_done = true;
    } else if (a == "-h" || a == "--help") {
      args.help = true;
    } else if (a.compare(0, 2, "-o") == 0 || a.compare(0, 2, "-C") == 0) {
      std::string value;
      if (a.size() > 2) {
        value = a.substr(2);
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        return usage_error("option %s needs an argument", a.c_str());
      }
      if (value.empty()) return usage_error("option %s needs a non-empty argument", a.substr(0, 2).c_str());
      if (a[1] == 'o') {
        args.output = value;
        args.has_output = true;
      } else {
        args.directory = value;
        args.has_directory = true;
      }
    } else {
      return usage_error("unknown option %s", a.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  g_file_mode = 0666 & ~mask;

  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }

  Args args;
  if (const int rc = parse(argc, argv, args); rc != 0) return rc;
  if (args.help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }

  auto expect = [&](std::size_t n, bool output, bool directory) -> int {
    if (args.positional.size() < n) return usage_error("%s: missing argument", command.c_str());
    if (args.positional.size() > n)
      return usage_error("unexpected argument '%s'", args.positional[n].c_str());
    if (output && !args.has_output) return usage_error("%s: missing -o NAME.pak", command.c_str());
    if (directory && !args.has_directory) return usage_error("%s: missing -C DIR", command.c_str());
    if (!output && args.has_output) return usage_error("%s: option -o does not apply", command.c_str());
    if (!directory && args.has_directory) return usage_error("%s: option -C does not apply", command.c_str());
    return 0;
  };

  if (command == "pack") {
    if (const int rc = expect(1, true, false)) return rc;
    return cmd_pack(args.positional[0], args.output);
  }
  if (command == "unpack") {
    if (const int rc = expect(1, false, true)) return rc;
    return cmd_unpack(args.positional[0], args.directory);
  }
  if (command == "list") {
    if (const int rc = expect(1, false, false)) return rc;
    return cmd_list(args.positional[0]);
  }
  if (command == "encode") {
    if (const int rc = expect(2, false, false)) return rc;
    return cmd_encode(args.positional[0], args.positional[1]);
  }
  if (command == "decode") {
    if (const int rc = expect(2, false, false)) return rc;
    return cmd_decode(args.positional[0], args.positional[1]);
  }
  return usage_error("unknown command '%s'", command.c_str());
}
