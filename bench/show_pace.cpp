// The whole show rendered on a virtual clock with nothing written out: the
// desktop's rendering rate, the figure the browser build is measured against.
// Frame n is taken at n * 1000 / rate ms as in a capture; the frames go to an
// in-memory screen and the music is off. On a busy machine the rate per
// second of processor time is the steadier figure.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

#include "platform/system.h"
#include "show/show.h"

namespace {

void WholeShowVirtualClock(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  int64_t frames = 0;
  double seconds = 0.0;
  double cpuSeconds = 0.0;
  for (auto _ : state) {
    const char* argv[] = {"kestrivane", "/nosound"};
    PlatformSetCaptureMode(1);  // an in-memory screen; no capture is open
    PlatformSetVirtualMilliseconds(0);
    int status = 0;
    auto begin = std::chrono::steady_clock::now();
    std::clock_t cpuBegin = std::clock();
    if (!ShowStart(2, argv, &status)) {
      state.SkipWithError("the show did not start");
      break;
    }
    int64_t turn = 0;
    for (;;) {
      PlatformSetVirtualMilliseconds(static_cast<uint32_t>(turn * 1000 / rate));
      if (!ShowStep()) break;
      ++turn;
    }
    if (ShowFinish() != 0) state.SkipWithError("the show failed");
    cpuSeconds += static_cast<double>(std::clock() - cpuBegin) / CLOCKS_PER_SEC;
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    frames += turn;
  }
  state.counters["frames"] = static_cast<double>(frames);
  state.counters["frames_per_s"] = seconds > 0.0 ? frames / seconds : 0.0;
  state.counters["frames_per_cpu_s"] = cpuSeconds > 0.0 ? frames / cpuSeconds : 0.0;
}
BENCHMARK(WholeShowVirtualClock)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
