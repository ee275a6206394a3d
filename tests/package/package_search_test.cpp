// The package search: every package of the folders searched in order, one per
// name whatever its case, the earlier folder winning a clash.
#include "package/package_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::TempDir;

std::string describe(const std::vector<PackageEntry>& entries) {
  std::string s;
  for (const PackageEntry& p : entries) s += p.name + "=" + p.path + " ";
  return s;
}

TEST(PackageSearch, EveryFolderInOrderOneEntryPerNameWhateverItsCase) {
  TempDir program, user, installed;
  for (const char* name : {"alpha.pak", "BETA.PAK", "gamma.pak", "notes.txt", ".pak", "pak"}) program.write(name, "x");
  for (const char* name : {"Alpha.pak", "delta.pak", "a.pak", "A.PAK"}) user.write(name, "x");
  installed.write("DELTA.Pak", "x");
  installed.write("omega.pak.bak", "x");
  ::mkdir(installed.file("folder.pak").c_str(), 0700);  // not a file
  const std::vector<std::string> dirs = {program.path(), user.path(), "/nonexistent/kelvo/", installed.path()};

  // a and A are one name: the first in byte order stands for both.
  EXPECT_EQ(describe(search_packages(dirs)), "A=" + user.file("A.PAK") + " alpha=" + program.file("alpha.pak") +
                                                 " BETA=" + program.file("BETA.PAK") + " delta=" +
                                                 user.file("delta.pak") + " gamma=" + program.file("gamma.pak") + " ");

  // A name is opened by the file it has: an exact match first, then one
  // that differs in case, in the first folder that has either.
  for (const auto& [name, path] : std::vector<std::pair<std::string, std::string>>{
           {"BETA", program.file("BETA.PAK")}, {"beta", program.file("BETA.PAK")},
           {"ALPHA", program.file("alpha.pak")}, {"Delta", user.file("delta.pak")},
           {"a", user.file("a.pak")}, {"A", user.file("A.PAK")},
           {"folder", ""}, {"omega", ""}, {"../" + user.path() + "delta", ""}, {"", ""}}) {
    std::optional<PackageEntry> found = find_package(dirs, name);
    EXPECT_EQ(found ? found->path : "", path) << name;
  }
  EXPECT_EQ(find_packages(user.path()), (std::vector<std::string>{"A", "Alpha", "delta"}));
}

}  // namespace
}  // namespace kelvo
