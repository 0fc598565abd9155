// One frame of every 2D effect as its timeline row draws it, on pictures and
// textures of the right sizes made here (no files needed).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/morph.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "show/fade.h"

namespace {

using EffectFnPtr = int (*)(uint32_t*, float, float, float, float, int);

Picture* Make(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  static std::vector<std::unique_ptr<uint32_t[]>> store;
  store.emplace_back(new uint32_t[static_cast<size_t>(w) * h]);
  for (int i = 0; i < w * h; ++i) store.back()[i] = rng() & 0xFFFFFF;
  return new Picture{w, h, TextureSizeCode(w, h), store.back().get()};
}

void Prepare() {
  static bool ready = false;
  if (ready) return;
  ready = true;
  InitFadeOperations(320, 240, 0);
  WarpSetup();
  MorphSetup();
  MarkSlots();
  for (int i = 0; i <= kPic3da; ++i) PictureSlots[i] = Make(320, 240, i);
  for (int i = 0; i < 5; ++i) PictureSlots[kPicArtwork + i] = Make(288, 64, 50 + i);
  PictureSlots[kPicSilence] = Make(96, 24, 60);
  for (int i = 0; i < kTextureSlotCount; ++i) TextureSlots[i] = Make(256, 256, 100 + i);
  TextureSlots[kTexSlotFlower] = Make(64, 64, 99);
  ScrollPicture1 = Make(320, 720, 70);
  ScrollPicture2 = Make(320, 720, 71);
  MorphResetFirstCall();
  std::vector<uint32_t> shot(kFramePixels, 0xFFFFFFFF);
  for (int n = 0; n < 200; ++n) {
    for (int i = n * 17; i < n * 17 + 8000; ++i) shot[i % kFramePixels] = 0;
    SilhouetteCapture(shot.data());
  }
}

void BM_Row(benchmark::State& state, EffectFnPtr fn, float start, float end, int param) {
  Prepare();
  std::vector<uint32_t> frame(kFramePixels, 0x404040);
  float progress = 0.0f;
  for (auto _ : state) {
    const float t = start + progress * (end - start);
    fn(frame.data(), t, start, end, progress, param);
    benchmark::DoNotOptimize(frame.data());
    progress += 0.013f;
    if (progress >= 1.0f) progress = 0.0f;
  }
  state.SetItemsProcessed(state.iterations() * kFramePixels);
}

BENCHMARK_CAPTURE(BM_Row, Title, TitleEffect, 0.0f, 3.85f, 1);
BENCHMARK_CAPTURE(BM_Row, ZoomPicture, ZoomPictureEffect, 29.3f, 32.0f, 0);
BENCHMARK_CAPTURE(BM_Row, TextureWarp, TextureWarpEffect, 32.0f, 39.3f, 0);
BENCHMARK_CAPTURE(BM_Row, TextureWarpFadeIn, TextureWarpEffect, 31.5f, 32.0f, 4);
BENCHMARK_CAPTURE(BM_Row, FaceCross, FaceCrossEffect, 32.0f, 35.5f, 0);
BENCHMARK_CAPTURE(BM_Row, WarpStack0, WarpStackEffect, 35.5f, 37.0f, 0);
BENCHMARK_CAPTURE(BM_Row, WarpStack1, WarpStackEffect, 37.0f, 58.0f, 1);
BENCHMARK_CAPTURE(BM_Row, WarpStack2, WarpStackEffect, 56.5f, 58.0f, 2);
BENCHMARK_CAPTURE(BM_Row, Portrait1, PortraitEffect, 58.0f, 65.35f, 1);
BENCHMARK_CAPTURE(BM_Row, Portrait0, PortraitEffect, 66.2f, 72.6f, 0);
BENCHMARK_CAPTURE(BM_Row, Morph, MorphEffect, 65.25f, 66.2f, 0);
BENCHMARK_CAPTURE(BM_Row, Word, WordEffect, 58.0f, 59.5f, 0);
BENCHMARK_CAPTURE(BM_Row, CornerLogo, CornerLogoEffect, 165.5f, 166.5f, 0);
BENCHMARK_CAPTURE(BM_Row, BluePicture, BluePictureEffect, 166.5f, 173.6f, 0);
BENCHMARK_CAPTURE(BM_Row, LensWarp, LensWarpEffect, 180.6f, 181.5f, 0);
BENCHMARK_CAPTURE(BM_Row, Rotozoom, RotozoomEffect, 180.6f, 181.5f, 0);
BENCHMARK_CAPTURE(BM_Row, SilhouetteEcho, SilhouetteEchoEffect, 183.6f, 184.5f, 0);
BENCHMARK_CAPTURE(BM_Row, RippleGrid, RippleGridEffect, 185.5f, 186.4f, 0);
BENCHMARK_CAPTURE(BM_Row, FlowerSprites, FlowerSpritesEffect, 187.3f, 190.9f, 0);
BENCHMARK_CAPTURE(BM_Row, BackgroundFill, BackgroundFillEffect, 195.0f, 224.0f, 0);
BENCHMARK_CAPTURE(BM_Row, PictureFade, PictureFadeEffect, 238.0f, 239.0f, 1);
BENCHMARK_CAPTURE(BM_Row, EndScroll, EndScrollEffect, 252.2f, 266.0f, 0);

}  // namespace
