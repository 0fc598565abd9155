// Whole-frame per-channel operations with a level 0..255, in a plain and a
// SIMD variant chosen once at start-up, and the 256 x 256 multiply table.
#pragma once
#include <cstdint>

using WhitenFn = void (*)(uint32_t* dst, const uint32_t* src, int level, int count);
using DarkenFn = void (*)(uint32_t* dst, const uint32_t* src, int level, int count);
using CrossFadeFn = void (*)(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level,
                             int count);
using WeightedAddFn = void (*)(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1,
                               int level2, int count);

struct FadeOperationsTable {
  WhitenFn Whiten;
  DarkenFn Darken;
  CrossFadeFn CrossFade;
  WeightedAddFn WeightedAdd;
  int32_t width;
  int32_t height;
  int32_t hasMmx;
};

// Null operations until InitFadeOperations runs.
extern FadeOperationsTable FadeOperations;

// MultiplyTable[a * 256 + x] = (a * x) >> 8.
extern int32_t MultiplyTable[256 * 256];

// Fills FadeOperations, decides HasMmx (forced off by nommx) and builds the
// multiply table.
void InitFadeOperations(int width, int height, int nommx);
int HasMmx();

// The variants themselves, for tests and benchmarks. The plain ones write 0
// into bits 24-31; the SIMD ones treat those bits as a fourth channel.
void WhitenPlain(uint32_t* dst, const uint32_t* src, int level, int count);
void DarkenPlain(uint32_t* dst, const uint32_t* src, int level, int count);
void CrossFadePlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level, int count);
void WeightedAddPlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1, int level2,
                      int count);
// The SIMD ones take AVX2 where the processor has it, SSE2 otherwise.
void WhitenSimd(uint32_t* dst, const uint32_t* src, int level, int count);
void DarkenSimd(uint32_t* dst, const uint32_t* src, int level, int count);
void CrossFadeSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level, int count);
void WeightedAddSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1, int level2,
                     int count);
void WhitenSse2(uint32_t* dst, const uint32_t* src, int level, int count);
void DarkenSse2(uint32_t* dst, const uint32_t* src, int level, int count);
void WeightedAddSse2(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1, int level2,
                     int count);
