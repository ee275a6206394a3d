// The configuration dialog's work when the package selection changes to the
// demo package: the package decoded in memory as far as its "THUMB.BMP", the
// bitmap read, and the picture turned into the texture's RGBA rows. (The
// texture upload and the frame that shows it come on top: a 128 x 80 picture
// and one frame of a small window.)
//
//   kelvo_bench_thumbnail --benchmark_repetitions=5

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "config/settings_dialog_model.h"

#ifndef KELVO_DEMO_PAK
#error "KELVO_DEMO_PAK must name the demo package"
#endif

namespace {

// Settings kept in memory only.
class MemoryStore : public kelvo::SettingsStore {
 public:
  bool open() override { return false; }
  std::optional<std::string> read(std::string_view) override { return std::nullopt; }
  bool write(const std::vector<std::pair<std::string, std::string>>&) override { return true; }
};

void BM_ShowDemoThumbnail(benchmark::State& state) {
  MemoryStore store;
  auto engine = std::make_unique<kelvo::Engine>();
  kelvo::SettingsDialog d;
  kelvo::open_settings_dialog(d, *engine, store, {{"kelvo", KELVO_DEMO_PAK}, {"none", "/nonexistent.pak"}}, "");
  for (auto _ : state) {
    state.PauseTiming();
    kelvo::settings_dialog_command(d, kelvo::kIdPackageList, kelvo::kNotifySelectionChange, 1);
    state.ResumeTiming();
    kelvo::settings_dialog_command(d, kelvo::kIdPackageList, kelvo::kNotifySelectionChange, 0);
    if (!d.thumbnail) {
      state.SkipWithError("the demo package has no readable thumbnail");
      break;
    }
    kelvo::RgbaImage image = kelvo::bitmap_to_rgba(*d.thumbnail);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}
BENCHMARK(BM_ShowDemoThumbnail)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
