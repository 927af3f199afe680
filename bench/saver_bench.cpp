// One animation tick and one scene build at full-HD and 4K sizes. The
// window is a plain in-memory form: what is measured is the saver's own
// work, not the X server's. Also the one step whose filter was chosen by
// measuring: the 640 x 480 scene stretched to the screen, both ways.
#include <benchmark/benchmark.h>

#include "common/random.h"
#include "gfx/canvas.h"
#include "gfx/resources.h"
#include "startup/settings.h"
#include "window/saver_window.h"

namespace {

// incremental: true draws only what changes (the saver's way), false every
// frame and stage whole (the reference); sharp: the Sharp setting.
void StartSaver(wh::SaverWindow& w, int width, int height, bool incremental, int sharp = 0) {
  w.incremental = incremental;
  wh::SaverSettings = wh::DefaultSettings();
  wh::SaverSettings.Sharp = sharp;
  wh::minFl = 55;
  wh::SeedRandom(2026);
  w.form.SetSize(width, height);
  w.Form_Load();
  w.Form_Resize();
}

void BM_Tick(benchmark::State& state) {
  wh::SaverWindow w;
  StartSaver(w, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
             state.range(2) != 0);
  for (auto _ : state) {
    w.tmrAnimation_Timer();
    benchmark::DoNotOptimize(w.form.image().px.data());
  }
}
BENCHMARK(BM_Tick)
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Args({3840, 2160, 0})
    ->Args({3840, 2160, 1})
    ->Unit(benchmark::kMillisecond);

void BM_SceneBuild(benchmark::State& state) {
  wh::SaverWindow w;
  StartSaver(w, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
             state.range(2) != 0, static_cast<int>(state.range(3)));
  for (auto _ : state) {
    w.Form_Resize();
    benchmark::DoNotOptimize(w.picBG.image().px.data());
  }
}
// The arguments: width, height, drawing only what changes, the Sharp setting.
BENCHMARK(BM_SceneBuild)
    ->Args({1920, 1080, 0, 0})
    ->Args({1920, 1080, 1, 0})
    ->Args({1920, 1080, 1, 1})
    ->Args({3840, 2160, 0, 0})
    ->Args({3840, 2160, 1, 0})
    ->Args({3840, 2160, 1, 1})
    ->Unit(benchmark::kMillisecond);

// What a sharp scene pays for its pictures: every picture that has a large
// version made for the scale (3 at 1080 rows, 5 at 2160) the way the scene
// gets it (a mask comes with its picture), then let go as after a scene.
void BM_LargePictures(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (int id : wh::ResPictureIds()) {
      if (!wh::ResFinePictureBytes(id).data) continue;
      const wh::Picture pic = wh::LoadResPicture(id, k);
      bytes += pic->px.size() * 4;
      benchmark::DoNotOptimize(pic->px.data());
    }
    wh::ReleaseScaledPictures();
  }
  state.counters["MiB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_LargePictures)->Arg(3)->Arg(5)->Unit(benchmark::kMillisecond);

void BM_StretchScene(benchmark::State& state) {
  const int k = static_cast<int>(state.range(3));
  wh::Image scene(640 * k, 480 * k), screen(static_cast<int>(state.range(0)),
                                            static_cast<int>(state.range(1)));
  uint32_t s = 1;
  for (uint32_t& p : scene.px) p = (s = s * 1664525u + 1013904223u) >> 8;
  const auto mode = state.range(2) ? wh::StretchMode::kSmooth : wh::StretchMode::kNearest;
  for (auto _ : state) {
    wh::StretchImage(screen, 0, 0, screen.width, screen.height, scene, 0, 0, scene.width,
                     scene.height, wh::kSrcCopy, mode);
    benchmark::DoNotOptimize(screen.px.data());
  }
}
// The arguments: the screen's size; 0 nearest-neighbour, 1 smooth; the
// scene's scale (a sharp scene is 3 at 1080 rows, 5 at 2160).
BENCHMARK(BM_StretchScene)
    ->Args({1920, 1080, 0, 1})
    ->Args({1920, 1080, 1, 1})
    ->Args({3840, 2160, 0, 1})
    ->Args({3840, 2160, 1, 1})
    ->Args({1920, 1080, 1, 3})
    ->Args({3840, 2160, 1, 5})
    ->Unit(benchmark::kMillisecond);

}  // namespace
