// The frame toolkit (plain against SIMD, and against memcpy/memset of the
// same bytes) and every 2D helper, over whole 320 x 240 frames.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/toolkit.h"
#include "effects/frames.h"
#include "effects/morph.h"
#include "effects/warp_helpers.h"
#include "show/fade.h"

namespace {

struct Frames {
  std::vector<uint32_t> a, b, dst, texture;
  Frames() : a(kFramePixels), b(kFramePixels), dst(kFramePixels), texture(65536) {
    std::mt19937 rng(1);
    for (auto& p : a) p = rng() & 0xFFFFFF;
    for (auto& p : b) p = rng() & 0xFFFFFF;
    for (auto& p : texture) p = rng() & 0xFFFFFF;
    InitFadeOperations(320, 240, 0);
    WarpSetup();
    MorphSetup();
  }
};

Frames& F() {
  static Frames frames;
  return frames;
}

using Combine = void (*)(uint32_t*, const uint32_t*, const uint32_t*, int);

void BM_Combine(benchmark::State& state, Combine fn) {
  Frames& f = F();
  for (auto _ : state) {
    fn(f.dst.data(), f.a.data(), f.b.data(), kFramePixels);
    benchmark::DoNotOptimize(f.dst.data());
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK_CAPTURE(BM_Combine, TableCombinePlain, TableCombinePlain);
BENCHMARK_CAPTURE(BM_Combine, TableCombineSimd, TableCombineSimd);
BENCHMARK_CAPTURE(BM_Combine, SaturatingAddPlain, SaturatingAddPlain);
BENCHMARK_CAPTURE(BM_Combine, SaturatingAddSimd, SaturatingAddSimd);

void BM_Fill(benchmark::State& state, void (*fn)(uint32_t*, uint32_t, int)) {
  Frames& f = F();
  for (auto _ : state) {
    fn(f.dst.data(), 0, kFrameBytes);
    benchmark::DoNotOptimize(f.dst.data());
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK_CAPTURE(BM_Fill, FillPixelsPlain, FillPixelsPlain);
BENCHMARK_CAPTURE(BM_Fill, FillPixelsSimd, FillPixelsSimd);

void BM_Memset(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    std::memset(f.dst.data(), 0, kFrameBytes);
    benchmark::DoNotOptimize(f.dst.data());
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_Memset);

void BM_Memcpy(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    std::memcpy(f.dst.data(), f.a.data(), kFrameBytes);
    benchmark::DoNotOptimize(f.dst.data());
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_Memcpy);

void BM_KeyedCopy(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    KeyedCopy(f.dst.data(), f.a.data(), f.a[0], kFramePixels);
    benchmark::DoNotOptimize(f.dst.data());
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_KeyedCopy);

void BM_PulseTrackValue(benchmark::State& state) {
  Pulse* track = PulseTrackCreate(18, 0.8f, 0.1f, 0.4f, 1.0f, 0.0f);
  float t = 0.0f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(PulseTrackValue(track, 18, t, 0.0f));
    t += 0.01f;
    if (t > 15.0f) t = 0.0f;
  }
  std::free(track);
}
BENCHMARK(BM_PulseTrackValue);

// The 2D helpers, one whole frame each.
template <typename Body>
void RunFrame(benchmark::State& state, Body body) {
  Frames& f = F();
  for (auto _ : state) {
    body(f);
    benchmark::DoNotOptimize(f.dst.data());
  }
  state.SetItemsProcessed(state.iterations() * kFramePixels);
}

void BM_Smear(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { Smear(f.dst.data(), 40); });
}
void BM_Soften(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { Soften(f.dst.data(), f.dst.data()); });
}
void BM_RadialBlur(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { RadialBlur(f.dst.data(), 160.0f, 175.0f, 0.16f, 0.6f, 0.5f); });
}
void BM_ZoomBlitAdd(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { ZoomBlitAdd(f.dst.data(), f.a.data(), 150.0f); });
}
void BM_ThreeTapWarp(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { ThreeTapWarp(f.dst.data(), f.texture.data(), 1234.0f); });
}
void BM_LensTableWarp(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { LensTableWarp(f.dst.data(), f.texture.data(), 12.0f, 1); });
}
void BM_Rotozoom(benchmark::State& s) {
  RunFrame(s, [](Frames& f) { Rotozoom(f.dst.data(), f.texture.data(), 33.0f, 180.0f); });
}
void BM_RippleGridAndMap(benchmark::State& s) {
  RunFrame(s, [](Frames& f) {
    RippleGrid(2.0f);
    GridMapTexture(f.dst.data(), f.texture.data(), kGridRows - 1);
  });
}
void BM_TiltedPlaneAndMap(benchmark::State& s) {
  RunFrame(s, [](Frames& f) {
    TiltedPlane(0.6f, 0.0f);
    GridMapPicture(f.dst.data(), f.a.data(), kGridColumns - 1, kGridRows - 1);
  });
}
void BM_SilhouetteMask(benchmark::State& s) {
  static std::vector<uint8_t> mask(kFramePixels);
  static bool captured = false;
  if (!captured) {
    std::vector<uint32_t> shot(kFramePixels, 0);
    for (int i = 0; i < kFramePixels; i += 3) shot[i] = 1;
    SilhouetteCapture(shot.data());
    captured = true;
  }
  RunFrame(s, [](Frames&) {
    std::memset(mask.data(), 0, mask.size());
    for (int k = 1; k <= 3; ++k) SilhouetteMask(mask.data(), k, k);
  });
}
void BM_LensTableBuild(benchmark::State& s) {
  static std::vector<uint8_t> rows(kLensWidth * kLensHeight), columns(kLensWidth * kLensHeight);
  for (auto _ : s) {
    BuildLensTables(rows.data(), columns.data(), 30.0f);
    benchmark::DoNotOptimize(rows.data());
  }
}
void BM_RenderMorph(benchmark::State& s) {
  for (int r = 0; r < kMorphRows; ++r)
    for (int c = 0; c < kMorphColumns; ++c) {
      bool inner = r > 0 && r < 6 && c > 0 && c < 8;
      Morph.first[r][c] = {40 * c, 40 * r};
      Morph.second[r][c] = {320 + 40 * c + (inner ? 7 : 0), 40 * r + (inner ? -4 : 0)};
    }
  RunFrame(s, [](Frames& f) {
    RenderMorph(f.dst.data(), ScratchFrame[0], f.a.data(), f.b.data(), 0.4f);
  });
}
BENCHMARK(BM_Smear);
BENCHMARK(BM_Soften);
BENCHMARK(BM_RadialBlur);
BENCHMARK(BM_ZoomBlitAdd);
BENCHMARK(BM_ThreeTapWarp);
BENCHMARK(BM_LensTableWarp);
BENCHMARK(BM_Rotozoom);
BENCHMARK(BM_RippleGridAndMap);
BENCHMARK(BM_TiltedPlaneAndMap);
BENCHMARK(BM_SilhouetteMask);
BENCHMARK(BM_LensTableBuild);
BENCHMARK(BM_RenderMorph);

}  // namespace
