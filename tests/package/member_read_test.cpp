// Reading one member of a package into memory: the name matched without
// regard to case, a size limit checked before reading, and every way a
// package can fail.
#include <gtest/gtest.h>

#include "package/member_read.h"
#include "support/package_bytes.h"
#include "support/recording_platform.h"

namespace kelvo {
namespace {

using test::member;
using test::pak;
using test::u32;

TEST(MemberRead, FindsTheFirstMatchAndRefusesWhatItCannotRead) {
  const std::string big(200000, 'b');
  std::string cut = pak(member("A", big) + member("THUMB.BMP", "late"));
  cut.resize(cut.size() / 2);
  struct Case {
    const char* name;
    std::string package;  // empty: no file at all
    MemberReadStatus status;
    std::string data;
  } cases[] = {
      {"case and zero-cut names", pak(member("THUMB.BMPX", "no") + member(std::string("thumb.bmp\0x", 11), "yes") +
                                      member("THUMB.BMP", "second")),
       MemberReadStatus::found, "yes"},
      {"after a large member", pak(member("A", big) + member("Thumb.Bmp", "")), MemberReadStatus::found, ""},
      {"absent", pak(member("SCENE1.TXT", "s")), MemberReadStatus::not_found, ""},
      {"empty package", pak(""), MemberReadStatus::not_found, ""},
      {"larger than allowed", pak(member("THUMB.BMP", std::string(1025, 't'))), MemberReadStatus::too_large, ""},
      {"claims more than the stream holds", pak(u32(9) + "THUMB.BMP" + u32(1000) + "short"),
       MemberReadStatus::damaged, ""},
      {"record cut inside its name", pak(u32(300) + "THUMB"), MemberReadStatus::damaged, ""},
      {"coded data cut short", cut, MemberReadStatus::damaged, ""},
      {"not a package", "BM this is a bitmap", MemberReadStatus::not_a_package, ""},
      {"no file", "", MemberReadStatus::open_failed, ""},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("p.pak");
    std::remove(path.c_str());
    if (!c.package.empty()) dir.write("p.pak", c.package);
    const MemberRead r = read_package_member(path, "THUMB.BMP", 1024);
    EXPECT_EQ(member_read_status_text(r.status), std::string(member_read_status_text(c.status)));
    EXPECT_EQ(std::string(r.data.begin(), r.data.end()), c.data);
  }
  // A folder in the package's place cannot be read either.
  EXPECT_EQ(read_package_member(dir.path(), "THUMB.BMP", 1024).status, MemberReadStatus::open_failed);
}

}  // namespace
}  // namespace kelvo
