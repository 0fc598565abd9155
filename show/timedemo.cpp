#include "show/timedemo.h"

#include <algorithm>
#include <cmath>

#include "effects/effects.h"

FrameRange MakeFrameRange(double from, double to, int rate) {
  FrameRange range;
  if (rate < 1) rate = 1;
  // A small allowance keeps a time that is a whole frame (58 s at 60 fps)
  // from rounding up to the next one.
  auto frameAt = [rate](double seconds) {
    return static_cast<int64_t>(std::ceil(seconds * rate - 1e-6));
  };
  if (from > 0.0) range.first = frameAt(from);
  if (to >= 0.0) range.end = std::max(range.first, frameAt(to));
  return range;
}

const char* EffectName(EffectFn entry) {
#define KV_NAME(name) {name, #name}
  static const struct {
    EffectFn fn;
    const char* name;
  } kNames[] = {
      KV_NAME(CatwalkEffect),        KV_NAME(TitleEffect),
      KV_NAME(CatwalkCloseEffect),   KV_NAME(ZoomPictureEffect),
      KV_NAME(TextureWarpEffect),    KV_NAME(FaceCrossEffect),
      KV_NAME(WarpStackEffect),      KV_NAME(FlareSceneEffect),
      KV_NAME(PortraitEffect),       KV_NAME(MorphEffect),
      KV_NAME(WordEffect),           KV_NAME(CityEffect),
      KV_NAME(DancerEffect),         KV_NAME(BoxDancerEffect),
      KV_NAME(MetaballEffect),       KV_NAME(CornerLogoEffect),
      KV_NAME(BluePictureEffect),    KV_NAME(DotsOverTextureEffect),
      KV_NAME(LensWarpEffect),       KV_NAME(RotozoomEffect),
      KV_NAME(SilhouetteEchoEffect), KV_NAME(RippleGridEffect),
      KV_NAME(FlowerSpritesEffect),  KV_NAME(DotsBeatEffect),
      KV_NAME(BackgroundFillEffect), KV_NAME(DanceFloorEffect),
      KV_NAME(PictureFadeEffect),    KV_NAME(EndScrollEffect),
  };
#undef KV_NAME
  if (!entry) return "-";
  for (const auto& n : kNames)
    if (n.fn == entry) return n.name;
  return "?";
}

TimedemoStats::TimedemoStats(const TimelineEntry* table, int rows)
    : table_(table), rowCount_(rows), rows_(static_cast<size_t>(rows)) {}

void TimedemoStats::Add(float t, double seconds) {
  times_.push_back(seconds);
  for (int i = 0; i < rowCount_; ++i) {
    const TimelineEntry& e = table_[i];
    // The rule the timeline runs rows by.
    if (!(e.start > t) && e.end > t) {
      Row& r = rows_[static_cast<size_t>(i)];
      ++r.frames;
      r.total += seconds;
      r.worst = std::max(r.worst, seconds);
    }
  }
}

double TimedemoStats::MeanMs() const {
  if (times_.empty()) return 0.0;
  double sum = 0.0;
  for (double s : times_) sum += s;
  return sum * 1000.0 / static_cast<double>(times_.size());
}

double TimedemoStats::WorstMs() const {
  return times_.empty() ? 0.0 : *std::max_element(times_.begin(), times_.end()) * 1000.0;
}

double TimedemoStats::PercentileMs(double p) const {
  if (times_.empty()) return 0.0;
  std::vector<double> sorted = times_;
  std::sort(sorted.begin(), sorted.end());
  // Nearest rank: the smallest time with at least p percent at or below it.
  double rank = std::ceil(p / 100.0 * static_cast<double>(sorted.size()));
  size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
  return sorted[std::min(index, sorted.size() - 1)] * 1000.0;
}

void TimedemoStats::Print(FILE* out, double wallSeconds, double startupSeconds,
                          int64_t peakBytes) const {
  std::fprintf(out, "%4s %8s %8s  %-22s %5s %7s %9s %9s\n", "row", "start", "end", "effect",
               "param", "frames", "mean ms", "worst ms");
  for (int i = 0; i < rowCount_; ++i) {
    const TimelineEntry& e = table_[i];
    const Row& r = rows_[static_cast<size_t>(i)];
    std::fprintf(out, "%4d %8.2f %8.2f  %-22s %5d %7lld", i, static_cast<double>(e.start),
                 static_cast<double>(e.end), EffectName(e.entry), e.param,
                 static_cast<long long>(r.frames));
    if (r.frames > 0)
      std::fprintf(out, " %9.3f %9.3f\n", r.total * 1000.0 / static_cast<double>(r.frames),
                   r.worst * 1000.0);
    else
      std::fprintf(out, " %9s %9s\n", "-", "-");
  }
  double rate = wallSeconds > 0.0 ? static_cast<double>(Frames()) / wallSeconds : 0.0;
  std::fprintf(out, "frames: %lld\n", static_cast<long long>(Frames()));
  std::fprintf(out, "frames/s: %.1f\n", rate);
  std::fprintf(out, "mean frame: %.3f ms\n", MeanMs());
  std::fprintf(out, "99th percentile frame: %.3f ms\n", PercentileMs(99.0));
  std::fprintf(out, "worst frame: %.3f ms\n", WorstMs());
  std::fprintf(out, "start-up: %.3f s\n", startupSeconds);
  std::fprintf(out, "peak memory: %.1f MiB\n", static_cast<double>(peakBytes) / (1024.0 * 1024.0));
}
