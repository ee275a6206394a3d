// kelvo-check: loads a scene exactly as the player does, without a window,
// and reports what is wrong with it as "file:line: message".
//
//   kelvo-check DIR | FILE.pak      check the scene "SCENE1" of a folder or package
//   kelvo-check model FILE.3DS      list a model's meshes as the reader sees them
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "host/base/files.h"
#include "host/work_dir.h"
#include "model/texture_slots.h"
#include "package/extract.h"
#include "package/pak_coder.h"
#include "scene/engine_state.h"
#include "scene/scene_file.h"
#include "tools/kelvo_check.h"

namespace fs = std::filesystem;
using namespace kelvo;

namespace {

void usage(std::FILE* out) {
  std::fputs(
      "usage: kelvo-check DIR | FILE.pak\n"
      "       kelvo-check model FILE.3DS\n"
      "\n"
      "Loads the scene SCENE1 of a scene folder or package as the player would\n"
      "(textures are decoded, not shown), prints every line the loader logs, then\n"
      "every problem found as file:line: message. Exits 1 when the scene has errors.\n"
      "\n"
      "'model' prints one line per mesh of a 3DS file (mesh, name, vertices, faces,\n"
      "mapping coordinates, materials used), then 'object' with the vertex and face\n"
      "counts after preparation; it exits 1 when the model is refused.\n",
      out);
}

int check_scene(const std::string& target) {
  Engine e;
  e.gl_textures = 0;
  e.log.to_callback([](std::string_view line) { std::printf("%.*s\n", static_cast<int>(line.size()), line.data()); });

  // A package is unpacked into a private folder of our own, removed on every
  // way out.
  std::optional<InstanceWorkDir> scratch;
  std::error_code ec;
  if (fs::is_directory(target, ec)) {
    e.paths.dir_temp = target + (target.back() == kPathSeparator ? "" : std::string(1, kPathSeparator));
  } else {
    std::string error;
    scratch = InstanceWorkDir::create(error);
    if (!scratch) {
      std::fprintf(stderr, "kelvo-check: cannot make a temporary folder: %s\n", error.c_str());
      return 1;
    }
    e.paths.path_pack = target;
    e.paths.dir_temp = scratch->path();
    e.paths.path_list = scratch->path() + "files.lst";
    e.paths.path_temp = scratch->path() + "Kelvo.tmp";
    switch (extract_package(e)) {
      case ExtractResult::extracted: break;
      case ExtractResult::no_package:
        std::fprintf(stderr, "kelvo-check: %s: no such folder or package\n", target.c_str());
        return 1;
      case ExtractResult::bad_magic:
        std::fprintf(stderr, "kelvo-check: %s: not a package (Unrecognized file format!)\n", target.c_str());
        return 1;
      default:
        std::fprintf(stderr, "kelvo-check: %s: the package is damaged\n", target.c_str());
        return 1;
    }
  }

  e.viewport_box = {0, 0, e.ResX, e.ResY};
  engine_init(e);
  clear_texture_slots(e);
  load_font_texture(e);
  if (e.font_slot < 0) report_problem(e, false, "ALFA.3DF", 0, "the font texture is missing: texts will not show");
  load_scene(e, "SCENE1");

  int errors = 0;
  for (const Problem& p : e.problems) errors += p.error ? 1 : 0;
  std::printf("---\n");
  for (const Problem& p : e.problems) std::printf("%s\n", format_problem(p).c_str());
  std::printf("%d error%s, %zu warning%s\n", errors, errors == 1 ? "" : "s", e.problems.size() - errors,
              e.problems.size() - errors == 1 ? "" : "s");
  delete_extracted_files(e);
  return errors > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    usage(stdout);
    return 0;
  }
  if (argc == 3 && !std::strcmp(argv[1], "model")) return check_model_command(argv[2], stdout, stderr);
  if (argc != 2 || argv[1][0] == '-') {
    usage(stderr);
    return 2;
  }
  return check_scene(argv[1]);
}
