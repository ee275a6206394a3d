// kelvo-check model: the mesh lines and the object line of a 3DS file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/three_ds_writer.h"
#include "support/recording_platform.h"
#include "tools/kelvo_check.h"

namespace kelvo {
namespace {

struct Output {
  int status = -1;
  std::string out, err;
};

Output run(const std::string& path) {
  char* out_text = nullptr;
  char* err_text = nullptr;
  std::size_t out_size = 0, err_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  std::FILE* err = open_memstream(&err_text, &err_size);
  Output r;
  r.status = check_model_command(path, out, err);
  std::fclose(out);
  std::fclose(err);
  r.out.assign(out_text, out_size);
  r.err.assign(err_text, err_size);
  std::free(out_text);
  std::free(err_text);
  return r;
}

TEST(ModelCheck, ListsMeshesInFileOrderThenThePreparedObject) {
  ThreeDsModel model;
  ThreeDsMaterial wood;
  wood.name = "Wood";
  wood.texture = "WOOD.GIF";
  model.materials.push_back(wood);
  ThreeDsMesh zeta;
  zeta.name = "Zeta";
  zeta.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  zeta.faces = {{0, 1, 2}, {0, 2, 3}};
  zeta.mapping = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  zeta.groups.push_back({"Wood", -1, {0}});
  zeta.groups.push_back({"Nowhere", -1, {1}});
  model.meshes.push_back(zeta);
  ThreeDsMesh alpha;
  alpha.name = "Alpha";
  alpha.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
  alpha.faces = {{0, 1, 2}};
  model.meshes.push_back(alpha);

  test::TempDir dir;
  ASSERT_TRUE(write_3ds(dir.file("m.3ds"), model));
  Output r = run(dir.file("m.3ds"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "mesh\tZeta\t4\t2\t4\tWood\tNowhere\n"
            "mesh\tAlpha\t3\t1\t0\n"
            "object\t7\t3\n");
  EXPECT_EQ(r.err, "");
}

TEST(ModelCheck, RefusedModelGivesItsReasonAndStatusOne) {
  test::TempDir dir;
  dir.write("bad.3ds", std::string("\x4D\x4D\x05\x00\x00\x00", 6));
  Output r = run(dir.file("bad.3ds"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, dir.file("bad.3ds") + ": chunk 0x4D4D at offset 0: length 5 is shorter than its header\n");

  r = run(dir.file("missing.3ds"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, dir.file("missing.3ds") + ": cannot be opened\n");
}

}  // namespace
}  // namespace kelvo
