// Whole-buffer pixel routines the effects composite with, and the pulse
// track that turns time into a beat-shaped level. Pixels are 0x00RRGGBB and
// each routine works per 8-bit channel; destination and sources may be the
// same buffer. The dispatchers pick the SIMD or the plain variant on every
// call from HasMmx(), so "/nommx" forces the plain ones.
#pragma once
#include <cstdint>

// Each channel (a * b) >> 8. Plain: through MultiplyTable, bits 24-31 of dst
// kept. SIMD: computed directly, bits 24-31 combined the same way.
void TableCombine(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count);
// Each channel min(255, a + b). Plain: bits 24-31 of dst kept. SIMD: all four
// bytes added with unsigned saturation.
void SaturatingAdd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count);
// byteCount / 4 pixels set to value.
void FillPixels(uint32_t* dst, uint32_t value, int byteCount);
// dst[i] = src[i] wherever src[i] != key (whole 32-bit comparison).
void KeyedCopy(uint32_t* dst, const uint32_t* src, uint32_t key, int count);

// The variants, for tests and benchmarks. A SIMD variant finishes a count
// that does not fill its last step with the plain loop.
void TableCombinePlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count);
void TableCombineSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count);
void SaturatingAddPlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count);
void SaturatingAddSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count);
void FillPixelsPlain(uint32_t* dst, uint32_t value, int byteCount);
void FillPixelsSimd(uint32_t* dst, uint32_t value, int byteCount);
void KeyedCopyPlain(uint32_t* dst, const uint32_t* src, uint32_t key, int count);
void KeyedCopySimd(uint32_t* dst, const uint32_t* src, uint32_t key, int count);

// One beat: level base at its start, peak rise seconds later, base again
// fall seconds after its start.
struct PulsePair {
  float time;
  float value;
};
struct Pulse {
  PulsePair pairs[3];
};

// count pulses, pulse i starting at i * period. Null when memory runs out or
// count is not positive. Owned by the caller.
Pulse* PulseTrackCreate(int count, float period, float rise, float fall, float peak, float base);
// The track's level at t - offset, linear between pairs, held before the
// first and after the last.
float PulseTrackValue(const Pulse* track, int count, float t, float offset);
