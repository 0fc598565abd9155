// Fill rate of each span routine and triangle throughput of the rasterizer.
#include <benchmark/benchmark.h>

#include <vector>

#include "raster/raster.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

struct Frame {
  std::vector<uint32_t> colour = std::vector<uint32_t>(kWidth * kHeight, 0x404040);
  std::vector<int32_t> depth = std::vector<int32_t>(kWidth * kHeight, 0);
  std::vector<uint32_t> texture = std::vector<uint32_t>(256 * 256);
  Frame() {
    for (int i = 0; i < 256 * 256; ++i) texture[i] = (i * 2654435761u) & 0xFFFFFF;
  }
};

// One full row per call, u and v stepping at an angle, levels ramping.
void SpanFill(benchmark::State& state, SpanRoutineFn routine) {
  Frame f;
  InitRasterizer();
  RasterStateRecord& s = RasterState;
  s.texels = f.texture.data();
  s.uShift = 16, s.uMask = 0xFF, s.vShift = 8, s.vMask = 0xFF00;
  s.opacityRow = MulTable + 180 * 256;
  int row = 0;
  for (auto _ : state) {
    s.colour = f.colour.data() + row * kWidth;
    s.depth = f.depth.data() + row * kWidth;
    s.count = kWidth;
    s.u = row << 16, s.du = 0xC000;
    s.v = 0, s.dv = 0x4000;
    s.z = 1000 + row, s.dz = 1;
    s.level = s.red = 200 << 16, s.dlevel = s.dred = -(1 << 14);
    s.green = s.blue = 50 << 16, s.dgreen = s.dblue = 1 << 14;
    routine();
    row = row == kHeight - 1 ? 0 : row + 1;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth);
}

BENCHMARK_CAPTURE(SpanFill, CopyDepth, SpanCopyDepth);
BENCHMARK_CAPTURE(SpanFill, Copy, SpanCopy);
BENCHMARK_CAPTURE(SpanFill, Shade, SpanShade);
BENCHMARK_CAPTURE(SpanFill, RgbDepth, SpanRgbDepth);
BENCHMARK_CAPTURE(SpanFill, Rgb, SpanRgb);
BENCHMARK_CAPTURE(SpanFill, HalfDepth, SpanHalfDepth);
BENCHMARK_CAPTURE(SpanFill, AddLevelTest, SpanAddLevelTest);
BENCHMARK_CAPTURE(SpanFill, AddLevelDepth, SpanAddLevelDepth);
BENCHMARK_CAPTURE(SpanFill, AddOpacity, SpanAddOpacity);
BENCHMARK_CAPTURE(SpanFill, AddOpacityDepth, SpanAddOpacityDepth);

// The same rows through the SIMD sets, and 16-pixel pieces as perspective
// rows hand them over.
void SpanSet(benchmark::State& state, const SpanRoutines& (*set)(), SpanRoutineFn SpanRoutines::*member) {
  if (set == Avx2Spans && !__builtin_cpu_supports("avx2")) {
    state.SkipWithError("no AVX2");
    return;
  }
  SpanFill(state, set().*member);
}

#define KV_SPAN_SETS(name, member)                                        \
  BENCHMARK_CAPTURE(SpanSet, name##_sse2, Sse2Spans, &SpanRoutines::member); \
  BENCHMARK_CAPTURE(SpanSet, name##_avx2, Avx2Spans, &SpanRoutines::member)
KV_SPAN_SETS(CopyDepth, copyDepth);
KV_SPAN_SETS(RgbDepth, rgbDepth);
KV_SPAN_SETS(HalfDepth, halfDepth);
KV_SPAN_SETS(AddLevelTest, addLevelTest);
KV_SPAN_SETS(AddOpacityDepth, addOpacityDepth);

// Triangles of a given size scattered over the frame; range(0) is the side
// in pixels (320 draws two halves of the whole frame), range(1) the mode.
void Triangles(benchmark::State& state) {
  Frame f;
  InitRasterizer();
  const float side = static_cast<float>(state.range(0));
  Material m{};
  m.mode = static_cast<int32_t>(state.range(1));
  m.sizeCode = 1;
  m.opacity = 0.5f;
  m.texels = f.texture.data();
  SetTextureAddressing(&m);
  RasterState.material = &m;
  RasterState.target = {f.colour.data(), f.depth.data(), kWidth, kWidth, kHeight};
  const bool full = side >= kWidth;
  float x = 0, y = 0;
  int64_t drawn = 0;
  for (auto _ : state) {
    ScreenVertex a{x, y, 1.5f, 200, 200, 100, 50, 0, 0};
    ScreenVertex b{x + side, y + side * 0.25f, 3.0f, 100, 50, 200, 100, 512, 64};
    ScreenVertex c{x + side * 0.25f, y + side, 2.0f, 150, 100, 50, 200, 64, 512};
    if (full) {
      a = {0, 0, 1.5f, 200, 200, 100, 50, 0, 0};
      b = {kWidth, 0, 3.0f, 100, 50, 200, 100, 512, 0};
      c = {0, kHeight, 2.0f, 150, 100, 50, 200, 0, 512};
    }
    RasterState.v0 = &a, RasterState.v1 = &b, RasterState.v2 = &c;
    DrawTriangle();
    if (full) {
      ScreenVertex d{kWidth, kHeight, 3.0f, 50, 50, 50, 50, 512, 512};
      RasterState.v0 = &b, RasterState.v1 = &d, RasterState.v2 = &c;
      DrawTriangle();
    }
    drawn += full ? 2 : 1;
    x += 37;
    if (x + side > kWidth) x = 0, y += 29;
    if (y + side > kHeight) y = 0;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(drawn);
}

BENCHMARK(Triangles)
    ->ArgNames({"side", "mode"})
    ->ArgsProduct({{8, 48, 320},
                   {0, RM_PERSPECTIVE, RM_RGBLIT | RM_PERSPECTIVE, RM_ADD | RM_OPACITY}});

}  // namespace
