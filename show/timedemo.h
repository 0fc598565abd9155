// Offline runs of a part of the show and the timing of every frame of a
// timedemo: which frames a range of seconds holds, and the per-row table and
// totals printed at the end.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "show/timeline.h"

// Frames [first, end) of an offline run at rate frames per second: frame n
// is taken at n / rate s, and the range holds the frames with
// from <= n / rate < to. from < 0 means the start, to < 0 no end.
struct FrameRange {
  int64_t first = 0;
  int64_t end = INT64_MAX;
  bool Holds(int64_t frame) const { return frame >= first && frame < end; }
};
FrameRange MakeFrameRange(double from, double to, int rate);

// The effect's name for a timeline row, "-" for a row without one.
const char* EffectName(EffectFn entry);

// Frame times of a timedemo, kept per frame and per timeline row.
class TimedemoStats {
 public:
  explicit TimedemoStats(const TimelineEntry* table = Timeline, int rows = kTimelineRows);

  // One frame at show time t took seconds to make; it counts for every row
  // that ran at t.
  void Add(float t, double seconds);

  int64_t Frames() const { return static_cast<int64_t>(times_.size()); }
  double MeanMs() const;
  double WorstMs() const;
  // The frame time that p percent of the frames do not exceed.
  double PercentileMs(double p) const;

  // The table (one line a row) and the totals, one per line. Rows that ran
  // no frame show dashes for their times.
  void Print(FILE* out, double wallSeconds, double startupSeconds, int64_t peakBytes) const;

 private:
  struct Row {
    int64_t frames = 0;
    double total = 0.0;
    double worst = 0.0;
  };
  const TimelineEntry* table_;
  int rowCount_;
  std::vector<Row> rows_;
  std::vector<double> times_;  // seconds, in frame order
};
