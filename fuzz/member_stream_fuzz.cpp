// Fuzzes the member stream inside a package: the input is coded into a
// package, which is unpacked into a work folder as the player unpacks it;
// then the unpacked files are deleted as at the end of a run.
//
// Checks, besides the sanitizers' own: nothing is written outside the work
// folder, and the temporary stream is gone afterwards.
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "fuzz/fuzz_support.h"
#include "package/extract.h"
#include "package/pak_coder.h"

namespace fs = std::filesystem;

namespace {
std::string g_base, g_work;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_base = kelvo::fuzz::make_work_dir("member");
  g_work = g_base + "work/";
  fs::create_directory(g_work);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> package = kelvo::pak_encode(std::span<const std::uint8_t>(data, size));
  kelvo::fuzz::write_file(g_base + "in.pak", package.data(), package.size());
  kelvo::Engine e;
  e.paths.path_pack = g_base + "in.pak";
  e.paths.dir_temp = g_work;
  e.paths.path_list = g_work + "files.lst";
  e.paths.path_temp = g_work + "Kelvo.tmp";
  kelvo::extract_package(e);
  kelvo::delete_extracted_files(e);

  std::error_code ec;
  int outside = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(g_base, ec)) {
    const std::string name = entry.path().filename().string();
    if (name != "in.pak" && name != "work") ++outside;
  }
  kelvo::fuzz::check(outside == 0, "a member was written outside the work folder");
  kelvo::fuzz::check(!fs::exists(e.paths.path_temp, ec), "the unpacked stream was left behind");
  // Whatever the list did not name (refused or unlisted members) goes now.
  for (const fs::directory_entry& entry : fs::directory_iterator(g_work, ec)) fs::remove_all(entry.path(), ec);
  return 0;
}
