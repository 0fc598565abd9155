// The sprite drawers (plain against SIMD) at the sizes the dots and the
// flare glow use, and one whole cloud of 660 dots at the beat row's depth.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "effects/flares.h"
#include "effects/frames.h"
#include "effects/glow_dots.h"
#include "show/fade.h"

namespace {

struct Setup {
  std::vector<uint32_t> frame, texture;
  Setup() : frame(kFramePixels), texture(256 * 256) {
    std::mt19937 rng(1);
    for (auto& p : texture) p = rng() & 0x3F3F3F;
    InitFadeOperations(320, 240, 0);
    DotsBuildTables();
  }
};

Setup& S() {
  static Setup setup;
  return setup;
}

using SpriteFn = void (*)(float, float, float, float, uint32_t*, const uint32_t*);
using TintedFn = void (*)(float, float, float, float, uint32_t*, const uint32_t*, float, float,
                          float);

// size: sprite width and height in pixels.
void BM_Sprite(benchmark::State& state, SpriteFn fn) {
  Setup& s = S();
  const float size = static_cast<float>(state.range(0));
  for (auto _ : state) {
    fn(160.3f, 120.7f, size, size, s.frame.data(), s.texture.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}

void BM_TintedSprite(benchmark::State& state, TintedFn fn) {
  Setup& s = S();
  const float size = static_cast<float>(state.range(0));
  for (auto _ : state) {
    fn(160.3f, 120.7f, size, size, s.frame.data(), s.texture.data(), 0.6f, 0.4f, 0.8f);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}

void BM_DrawDots(benchmark::State& state) {
  Setup& s = S();
  float phase = 384.0f;
  for (auto _ : state) {
    DrawDots(s.frame.data(), 0.5f, 1.0f, 2.0f, 0.0f, 0.0f, 160.0f, phase);
    phase += 7.0f;
    benchmark::ClobberMemory();
  }
}

BENCHMARK_CAPTURE(BM_Sprite, plain, &DrawSpritePlain)->Arg(11)->Arg(64)->Arg(200);
BENCHMARK_CAPTURE(BM_Sprite, simd, &DrawSpriteSimd)->Arg(11)->Arg(64)->Arg(200);
BENCHMARK_CAPTURE(BM_TintedSprite, plain, &DrawTintedSpritePlain)->Arg(11)->Arg(64)->Arg(200);
BENCHMARK_CAPTURE(BM_TintedSprite, simd, &DrawTintedSpriteSimd)->Arg(11)->Arg(64)->Arg(200);
BENCHMARK(BM_DrawDots);

}  // namespace
