// A scene directory in a temporary folder, loaded into an engine with a real
// GL context (textures are uploaded), with the log captured.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "model/texture_3df_write.h"
#include "scene/engine_state.h"
#include "scene/scene_file.h"
#include "support/osmesa_context.h"
#include "support/recording_platform.h"

namespace kelvo::test {

struct SceneDir {
  TempDir dir;
  OsmesaContext gl{32, 32};
  Engine e;
  std::vector<std::string> log;

  SceneDir() {
    e.paths.dir_temp = dir.path();
    e.viewport_box = {0, 0, 800, 600};
    e.log.to_callback([this](std::string_view line) { log.emplace_back(line); });
  }
  void write(const std::string& name, const std::string& text) { dir.write(name, text); }
  // A small texture of one colour.
  void texture(const std::string& name, std::uint8_t r = 200, std::uint8_t g = 100, std::uint8_t b = 50) {
    Image image{4, 4, {}};
    for (int i = 0; i < 16; ++i) image.rgb.insert(image.rgb.end(), {r, g, b});
    std::vector<std::uint8_t> bytes = encode_3df(image, TexelFormat::rgb565);
    dir.write(name + ".3DF", std::string(bytes.begin(), bytes.end()));
  }
  void load(const std::string& scene) {
    write("SCENE1.TXT", scene);
    load_scene(e, "SCENE1");
  }
  bool logged(const std::string& line) const { return log_index(line) >= 0; }
  // Index of the first log line equal to `line`, or -1.
  int log_index(const std::string& line) const {
    const auto it = std::ranges::find(log, line);
    return it == log.end() ? -1 : static_cast<int>(it - log.begin());
  }
  bool problem_contains(const std::string& part) const {
    for (const Problem& p : e.problems)
      if (format_problem(p).find(part) != std::string::npos) return true;
    return false;
  }
};

// A unit cube as an inline object description, with optional extra keys.
inline std::string cube_object(const std::string& keys = "") {
  return keys +
         "\nPOINTS\n-10,-10,-10 10,-10,-10 10,10,-10 -10,10,-10 -10,-10,10 10,-10,10 10,10,10 -10,10,10\n"
         "faces\n1 2 3 4\n5 6 7 8\n1 5 8 4\n2 6 7 3\n4 3 7 8\n1 2 6 5\n";
}

}  // namespace kelvo::test
