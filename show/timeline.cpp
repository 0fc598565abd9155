#include "show/timeline.h"

#include "show/fade.h"

int RunTimeline(uint32_t* pixels, const TimelineEntry* table, int count, float t) {
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const TimelineEntry& row = table[i];
    if (!(row.start > t) && row.end > t) {
      if (row.entry) {
        float progress = (t - row.start) / (row.end - row.start);
        row.entry(pixels, t, row.start, row.end, progress, row.param);
      }
      result = 1;
    }
    if (!(row.end < t)) result = 1;
  }
  return result;
}

int RunFadeEnvelope(uint32_t* pixels, const FadeKey* table, int count, float t) {
  if (count <= 0) return 0;
  double a, b;
  if (t < 0.0f) {
    a = table[0].whiten;
    b = table[0].darken;
  } else {
    if (t > table[count - 1].time) return 0;
    // Forward scan in stored order, no sorting: keys out of time order are
    // passed over wherever an earlier key already holds t.
    int i = 0;
    while (i < count && !(t <= table[i].time)) ++i;
    if (i == 0) {
      a = table[0].whiten;
      b = table[0].darken;
    } else {
      const FadeKey& p = table[i - 1];
      const FadeKey& k = table[i];
      double f = (static_cast<double>(t) - p.time) / (static_cast<double>(k.time) - p.time);
      a = p.whiten + (static_cast<double>(k.whiten) - p.whiten) * f;
      b = p.darken + (static_cast<double>(k.darken) - p.darken) * f;
    }
  }
  int whiten = static_cast<int>(a * 255.0);
  int darken = static_cast<int>(b * 255.0);
  int pixelCount = FadeOperations.width * FadeOperations.height;
  if (whiten != 0 && FadeOperations.Whiten) FadeOperations.Whiten(pixels, pixels, whiten, pixelCount);
  if (darken != 0 && FadeOperations.Darken)
    FadeOperations.Darken(pixels, pixels, 255 - darken, pixelCount);
  return 1;
}

int ShowFrame(uint32_t* pixels, float t) {
  return RunTimeline(pixels, Timeline, kTimelineRows, t) +
         RunFadeEnvelope(pixels, FadeEnvelope, kFadeKeys, t);
}

float SoundClockTime(SoundClockState* state, uint32_t bufferBytes, uint32_t position,
                     int bitsPerSample, int samplesPerSecond) {
  if (position < state->lastPosition) state->wrappedBytes += bufferBytes;
  state->lastPosition = position;
  uint32_t bytesPerSecond = static_cast<uint32_t>((bitsPerSample / 8) * samplesPerSecond);
  if (bytesPerSecond == 0) return 0.0f;
  // The byte count is unsigned 32-bit, as the wrapped total is.
  uint32_t bytes = position + state->wrappedBytes;
  return static_cast<float>(static_cast<double>(bytes) / bytesPerSecond);
}
