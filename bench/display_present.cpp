// Present per depth and scale mode on an in-memory screen, plain against
// SIMD copy, and the bare conversions against memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/display.h"

namespace {

struct Screen {
  std::vector<uint8_t> surface;
  int pitch = 0;
};
Screen screen;

int Open(int, int) { return 1; }
int SetMode(int w, int h, int bits) {
  screen.pitch = w * bits / 8;
  screen.surface.assign(static_cast<size_t>(screen.pitch) * h, 0);
  return 1;
}
int LockSurface(void** pixels, int* pitch) {
  *pixels = screen.surface.data();
  *pitch = screen.pitch;
  return 1;
}
int UnlockSurface() { return 1; }
int Close() { return 1; }
const DisplayVideo kMemoryVideo = {Open, SetMode, LockSurface, UnlockSurface, Close};

std::vector<uint32_t> RandomFrame() {
  std::vector<uint32_t> frame(320 * 240);
  std::mt19937 rng(3);
  for (uint32_t& p : frame) p = rng() & 0xFFFFFF;
  return frame;
}

// Arguments: mode index, scale mode, SIMD copy on.
void BM_Present(benchmark::State& state) {
  DisplayRelease();
  DisplaySetVideo(&kMemoryVideo);
  DisplayDevice* d = DisplayStart(static_cast<int>(state.range(0)),
                                  static_cast<int>(state.range(1)),
                                  static_cast<int>(state.range(2)));
  if (!d) {
    state.SkipWithError("display did not start");
    return;
  }
  std::vector<uint32_t> frame = RandomFrame();
  d->Lock(d);
  std::memcpy(d->pixels, frame.data(), frame.size() * 4);
  d->Unlock(d);
  for (auto _ : state) {
    d->Present(d);
    benchmark::DoNotOptimize(screen.surface.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(screen.surface.size()));
}
BENCHMARK(BM_Present)
    ->ArgNames({"mode", "scale", "simd"})
    ->Args({0, 0, 0})->Args({0, 0, 1})->Args({1, 0, 0})->Args({2, 0, 0})
    ->Args({3, 0, 1})->Args({3, 1, 0})->Args({3, 1, 1})->Args({3, 2, 0})->Args({3, 2, 1})
    ->Args({4, 1, 0})->Args({5, 1, 0})->Args({5, 2, 0});

using ConvertFn = void (*)(void*, const uint32_t*, int);

template <ConvertFn convert>
void BM_Convert(benchmark::State& state) {
  std::vector<uint32_t> frame = RandomFrame();
  std::vector<uint8_t> dst(frame.size() * 4);
  for (auto _ : state) {
    convert(dst.data(), frame.data(), static_cast<int>(frame.size() * 4));
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 307200);
}

void Memcpy(void* dst, const uint32_t* src, int bytes) { std::memcpy(dst, src, bytes); }

BENCHMARK(BM_Convert<Memcpy>)->Name("BM_Convert/memcpy");
BENCHMARK(BM_Convert<CopyPlain>)->Name("BM_Convert/CopyPlain");
BENCHMARK(BM_Convert<CopyMmx>)->Name("BM_Convert/CopyMmx");
BENCHMARK(BM_Convert<Convert24>)->Name("BM_Convert/Convert24");
BENCHMARK(BM_Convert<Convert16>)->Name("BM_Convert/Convert16");

}  // namespace
