// The show's script: which effect draws between which two seconds, and the
// white flash / fade to black laid over the finished frame.
#pragma once
#include <cstdint>

using DemoTime = float;  // seconds since the show started

using EffectFn = int (*)(uint32_t* pixels, float t, float start, float end, float progress,
                         int param);

struct TimelineEntry {
  float start;  // inclusive
  float end;    // exclusive
  int32_t param;
  EffectFn entry;  // may be null
};

struct FadeKey {
  float time;
  float whiten;  // 0..1
  float darken;  // 0..1
};

constexpr int kTimelineRows = 65;
constexpr int kFadeKeys = 110;
extern const TimelineEntry Timeline[kTimelineRows];
extern const FadeKey FadeEnvelope[kFadeKeys];

// Runs every row whose interval holds t, in table order; 1 while some row
// has not ended (end >= t).
int RunTimeline(uint32_t* pixels, const TimelineEntry* table, int count, float t);
// Whitens and darkens the frame by the levels interpolated at t; 0 once t is
// past the last key.
int RunFadeEnvelope(uint32_t* pixels, const FadeKey* table, int count, float t);
// Both, over the show's own tables; 0 when the show is over.
int ShowFrame(uint32_t* pixels, float t);

// Sound clock: the play position of the music's clock buffer as seconds,
// counting the wraps of the looping buffer seen so far.
struct SoundClockState {
  uint32_t lastPosition;
  uint32_t wrappedBytes;
};
float SoundClockTime(SoundClockState* state, uint32_t bufferBytes, uint32_t position,
                     int bitsPerSample, int samplesPerSecond);
// After a seek the music's clock buffer plays from its start at seconds:
// the sound clock counts on from there.
void SoundClockRestart(double seconds);
// With sync on, t becomes the sound time (when the music can tell it);
// then the frame is shown. Returns ShowFrame's result.
int SoundClock(uint32_t* pixels, float t);
