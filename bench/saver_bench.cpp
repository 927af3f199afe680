// One animation tick and one scene build at full-HD and 4K sizes. The
// window is a plain in-memory form: what is measured is the saver's own
// work, not the X server's.
#include <benchmark/benchmark.h>

#include "common/random.h"
#include "startup/settings.h"
#include "window/saver_window.h"

namespace {

void StartSaver(wh::SaverWindow& w, int width, int height) {
  wh::SaverSettings = wh::DefaultSettings();
  wh::minFl = 55;
  wh::SeedRandom(2026);
  w.form.SetSize(width, height);
  w.Form_Load();
  w.Form_Resize();
}

void BM_Tick(benchmark::State& state) {
  wh::SaverWindow w;
  StartSaver(w, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    w.tmrAnimation_Timer();
    benchmark::DoNotOptimize(w.form.image().px.data());
  }
}
BENCHMARK(BM_Tick)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

void BM_SceneBuild(benchmark::State& state) {
  wh::SaverWindow w;
  StartSaver(w, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    w.Form_Resize();
    benchmark::DoNotOptimize(w.picBG.image().px.data());
  }
}
BENCHMARK(BM_SceneBuild)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

}  // namespace
