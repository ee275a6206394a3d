// Model loading speed: our 3DS reader plus the whole model preparation
// (load_model) beside lib3ds's loader alone, on the largest 3DS model of the
// installed Debian packages and on a generated model of 100,000 faces.
// Only the load is timed on either side (engines and lib3ds files are made and
// freed outside the clock). After the run the ratios ours / lib3ds are
// printed; the program fails when one is above 1.0.
//
//   kelvo_bench_model [--benchmark_filter=...]

#include <benchmark/benchmark.h>
#include <lib3ds/file.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "model/model_prepare.h"
#include "model/texture_3df_write.h"
#include "model/texture_slots.h"
#include "model/three_ds_writer.h"
#include "scene/engine_state.h"

namespace {

namespace fs = std::filesystem;

constexpr int kGeneratedFaces = 100000;

// A folder that lives as long as the program.
struct Scratch {
  std::string path;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "kelvo-bench-model-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path = pattern + "/";
  }
  ~Scratch() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

Scratch& scratch() {
  static Scratch s;
  return s;
}

// The largest *.3ds under /usr/share (the models of assimp-testmodels,
// gl-117-data and glmark2-data), or "" when there is none.
std::string largest_installed_model() {
  std::string best;
  std::uintmax_t best_size = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator("/usr/share", fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext != ".3ds") continue;
    const std::uintmax_t size = it->file_size(ec);
    if (!ec && size > best_size) {
      best_size = size;
      best = it->path().string();
    }
  }
  return best;
}

// Two meshes of 50,000 faces each: grids of 250 x 100 quads with mapping
// coordinates, a textured material on one half of each grid and a plain,
// half-transparent one on the other. The texture exists (GRID.3DF).
std::string generated_model() {
  kelvo::ThreeDsModel model;
  kelvo::ThreeDsMaterial textured;
  textured.name = "Textured";
  textured.diffuse = {0.8f, 0.7f, 0.6f};
  textured.texture = "GRID.BMP";
  kelvo::ThreeDsMaterial glass;
  glass.name = "Glass";
  glass.diffuse = {0.2f, 0.4f, 1.0f};
  glass.alpha = 0.5f;
  model.materials = {textured, glass};

  constexpr int kColumns = 250, kRows = 100;
  for (int m = 0; m < 2; ++m) {
    kelvo::ThreeDsMesh& mesh = model.meshes.emplace_back();
    mesh.name = "Grid" + std::to_string(m);
    for (int r = 0; r <= kRows; ++r) {
      for (int c = 0; c <= kColumns; ++c) {
        mesh.vertices.push_back({static_cast<float>(c), static_cast<float>(r), static_cast<float>(m * 10 + (c % 3))});
        mesh.mapping.push_back({c / static_cast<float>(kColumns), r / static_cast<float>(kRows)});
      }
    }
    mesh.groups.resize(2);
    kelvo::ThreeDsFaceGroup& first = mesh.groups[0];
    first.material_name = "Textured";
    kelvo::ThreeDsFaceGroup& second = mesh.groups[1];
    second.material_name = "Glass";
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        const auto v = static_cast<std::uint16_t>(r * (kColumns + 1) + c);
        const auto up = static_cast<std::uint16_t>(v + kColumns + 1);
        for (const kelvo::ThreeDsFace& f : {kelvo::ThreeDsFace{v, static_cast<std::uint16_t>(v + 1), up},
                                            kelvo::ThreeDsFace{static_cast<std::uint16_t>(v + 1),
                                                               static_cast<std::uint16_t>(up + 1), up}}) {
          const auto index = static_cast<std::int32_t>(mesh.faces.size());
          mesh.faces.push_back(f);
          (c < kColumns / 2 ? first : second).faces.push_back(index);
        }
      }
    }
  }
  const std::string path = scratch().path + "generated.3ds";
  if (!kelvo::write_3ds(path, model)) return "";

  kelvo::Image image;
  image.width = image.height = 64;
  image.rgb.assign(64 * 64 * 3, 128);
  std::vector<std::uint8_t> texture = kelvo::encode_3df(image, kelvo::TexelFormat::rgb565);
  if (std::FILE* f = std::fopen((scratch().path + "GRID.3DF").c_str(), "wb")) {
    std::fwrite(texture.data(), 1, texture.size(), f);
    std::fclose(f);
  }
  return path;
}

struct Inputs {
  std::string largest = largest_installed_model();
  std::string generated = generated_model();
};

const Inputs& inputs() {
  static Inputs in;
  return in;
}

using Clock = std::chrono::steady_clock;

// load_model into a fresh engine (textures decoded into slots, no GL upload).
void ours(benchmark::State& state, const std::string& path) {
  if (path.empty()) {
    state.SkipWithError("no model");
    return;
  }
  for (auto _ : state) {
    auto e = std::make_unique<kelvo::Engine>();
    e->gl_textures = 0;
    e->paths.dir_temp = scratch().path;
    kelvo::clear_texture_slots(*e);
    const auto start = Clock::now();
    const int ok = kelvo::load_model(*e, path, 1, kelvo::kOrientMirrorZ);
    const auto stop = Clock::now();
    if (!ok) {
      state.SkipWithError("load_model failed");
      return;
    }
    benchmark::DoNotOptimize(e->objects.data());
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
}

// lib3ds_file_load alone.
void lib3ds(benchmark::State& state, const std::string& path) {
  if (path.empty()) {
    state.SkipWithError("no model");
    return;
  }
  for (auto _ : state) {
    const auto start = Clock::now();
    Lib3dsFile* f = lib3ds_file_load(path.c_str());
    const auto stop = Clock::now();
    if (!f) {
      state.SkipWithError("lib3ds_file_load failed");
      return;
    }
    benchmark::DoNotOptimize(f->meshes);
    lib3ds_file_free(f);
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
}

// Keeps the console output and remembers the time per iteration of each run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(1) ? OO_ColorTabular : OO_Tabular) {}

  std::map<std::string, double> seconds;

  // Seconds per load of the run whose name starts with `prefix` ("ours/largest"), or -1.
  double find(const std::string& prefix) const {
    for (const auto& [name, s] : seconds) {
      if (name.compare(0, prefix.size(), prefix) == 0) return s;
    }
    return -1;
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const Inputs& in = inputs();
  std::printf("largest installed model: %s\n", in.largest.empty() ? "(none)" : in.largest.c_str());
  std::printf("generated model: %d faces\n", kGeneratedFaces);

  struct Case {
    const char* label;
    std::string path;
  };
  const Case cases[] = {{"largest", in.largest}, {"generated", in.generated}};
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark((std::string("ours/") + c.label).c_str(), ours, c.path)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    benchmark::RegisterBenchmark((std::string("lib3ds/") + c.label).c_str(), lib3ds, c.path)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  int status = 0;
  for (const Case& c : cases) {
    const double a = reporter.find(std::string("ours/") + c.label + "/");
    const double b = reporter.find(std::string("lib3ds/") + c.label + "/");
    if (a <= 0 || b <= 0) continue;
    const double ratio = a / b;
    std::printf("%-10s ours %.3f ms, lib3ds %.3f ms, ratio ours/lib3ds %.2f%s\n", c.label, a * 1e3, b * 1e3, ratio,
                ratio <= 1.0 ? "" : "  (above 1.0)");
    if (ratio > 1.0) status = 1;
  }
  return status;
}
