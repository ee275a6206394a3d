#include "package/extract.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "host/base/files.h"
#include "package/member_stream.h"
#include "package/pak_coder.h"
#include "scene/problems.h"

namespace kelvo {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kCopyChunk = 64 * 1024;

bool read_u32(std::FILE* f, std::uint32_t& value) {
  unsigned char b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  value = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
  return true;
}

enum class CopyResult { written, not_written, stream_failed };

// Copies `length` bytes of the stream into `path` in bounded chunks. A file
// that cannot be created or written is passed over (`not_written`, nothing
// left of it) with the stream moved past its data.
CopyResult copy_member(std::FILE* stream, std::uint64_t length, const std::string& path, std::vector<char>& chunk) {
  File out(std::fopen(path.c_str(), "wb"));
  bool writing = out != nullptr;
  while (length > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
    if (!writing) return std::fseek(stream, static_cast<long>(length), SEEK_CUR) == 0 ? CopyResult::not_written
                                                                                      : CopyResult::stream_failed;
    if (std::fread(chunk.data(), 1, want, stream) != want) return CopyResult::stream_failed;
    writing = std::fwrite(chunk.data(), 1, want, out.get()) == want;
    length -= want;
  }
  if (writing && std::fflush(out.get()) == 0) return CopyResult::written;
  out.reset();
  std::remove(path.c_str());
  return CopyResult::not_written;
}

}  // namespace

int random_package_choice(Engine& e) {
  if (e.Random == 0) return 0;
  if (!e.overrides.package_file.empty() || !e.overrides.data_dir.empty()) return 0;
  const std::vector<PackageEntry> packages = search_packages(e.paths.package_dirs);
  if (packages.empty()) return 0;  // keep the configured package
  e.Module = packages[static_cast<std::size_t>(random_next(e.random)) % packages.size()].name;
  debug_log(e.log, "random package %s", e.Module.c_str());
  return 1;
}

ExtractResult extract_package(Engine& e) {
  const Paths& p = e.paths;
  if (p.path_pack.empty() || !file_exists(p.path_pack)) return ExtractResult::no_package;
  if (p.path_temp.empty() || p.path_list.empty()) {
    debug_log(e.log, "no work directory to unpack %s", p.path_pack.c_str());
    return ExtractResult::stream_open_failed;
  }

  PakStatus status = pak_unpack_file(p.path_pack, p.path_temp);
  switch (status) {
    case PakStatus::ok: break;
    case PakStatus::open_failed:
      // The package was there a moment ago: the stream file could not be
      // made. Like a missing package, the scene is read from dir_temp as is.
      debug_log(e.log, "%s: cannot unpack into %s", p.path_pack.c_str(), p.path_temp.c_str());
      return ExtractResult::no_package;
    case PakStatus::bad_magic:
      debug_log(e.log, "%s: not a package", p.path_pack.c_str());
      return ExtractResult::bad_magic;
    default:
      debug_log(e.log, "%s: %s", p.path_pack.c_str(), pak_status_text(status));
      return status == PakStatus::write_failed ? ExtractResult::stream_open_failed : ExtractResult::damaged;
  }

  File stream(std::fopen(p.path_temp.c_str(), "rb"));
  if (!stream) return ExtractResult::stream_open_failed;
  std::error_code ec;
  std::uint64_t remaining = fs::file_size(p.path_temp, ec);
  if (ec) return ExtractResult::stream_open_failed;
  File list(std::fopen(p.path_list.c_str(), "w"));

  const std::string package = p.path_pack.substr(directory_of(p.path_pack).size());
  std::vector<char> chunk(kCopyChunk);
  std::string raw_name;
  std::uint32_t name_length = 0;
  bool whole = false;  // the stream ended after a whole member
  while (true) {
    if (remaining == 0) {
      whole = true;
      break;
    }
    if (remaining < 4 || !read_u32(stream.get(), name_length)) break;
    remaining -= 4;
    if (name_length > remaining) {
      debug_log(e.log, "member name runs past the end of the package");
      break;
    }
    // Names longer than the limit are skipped, not read.
    std::size_t keep = std::min<std::size_t>(name_length, kMemberNameMax + 1);
    raw_name.resize(keep);
    if (std::fread(raw_name.data(), 1, keep, stream.get()) != keep) break;
    if (name_length > keep && std::fseek(stream.get(), static_cast<long>(name_length - keep), SEEK_CUR) != 0) break;
    remaining -= name_length;

    std::uint32_t data_length = 0;
    if (remaining < 4 || !read_u32(stream.get(), data_length)) {
      debug_log(e.log, "member without data length at the end of the package");
      break;
    }
    remaining -= 4;
    std::string name(member_name_from_bytes(raw_name));
    if (data_length > remaining) {
      debug_log(e.log, "member %s: %u bytes claimed, %llu left: package damaged", name.c_str(), data_length,
                static_cast<unsigned long long>(remaining));
      break;
    }
    remaining -= data_length;

    // A member that cannot be written is passed over; the ones after it are
    // still written.
    MemberNameProblem problem = check_member_name(name);
    if (problem != MemberNameProblem::none) {
      debug_log(e.log, "member refused (%s): %s", member_name_problem_text(problem), name.c_str());
      report_problem(e, true, package, 0, "member %s refused: %s", name.c_str(), member_name_problem_text(problem));
      if (std::fseek(stream.get(), static_cast<long>(data_length), SEEK_CUR) != 0) break;
      continue;
    }
    std::string path = p.dir_temp + name;
    const CopyResult copied = copy_member(stream.get(), data_length, path, chunk);
    if (copied == CopyResult::stream_failed) {
      debug_log(e.log, "member %s could not be read back", path.c_str());
      std::remove(path.c_str());
      break;
    }
    if (copied == CopyResult::not_written) {
      debug_log(e.log, "member %s could not be written", path.c_str());
      continue;
    }
    if (list) std::fprintf(list.get(), "%s\n", path.c_str());
  }

  // The members before the damage are kept, so the scene may still play;
  // the authoring tools count it as an error.
  if (!whole) report_problem(e, true, package, 0, "the package is damaged: its member stream breaks off");
  list.reset();
  stream.reset();
  std::remove(p.path_temp.c_str());
  return ExtractResult::extracted;
}

int delete_extracted_files(Engine& e) {
  const std::string& list_path = e.paths.path_list;
  if (list_path.empty()) return 1;
  File list(std::fopen(list_path.c_str(), "r"));
  if (!list) return 1;
  const std::string own_dir = directory_of(list_path);
  char line[512];
  while (std::fgets(line, sizeof line, list.get())) {
    std::string path(line);
    if (!path.empty() && path.back() == '\n') path.pop_back();
    // A list is only trusted to name plain files beside it.
    if (directory_of(path) != own_dir) continue;
    if (check_member_name(std::string_view(path).substr(own_dir.size())) != MemberNameProblem::none) continue;
    std::remove(path.c_str());
  }
  list.reset();
  std::remove(list_path.c_str());
  return 1;
}

}  // namespace kelvo
