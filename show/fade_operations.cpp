// Whole-frame fades. The plain variants work on the three colour channels and
// clear bits 24-31; the SIMD variants run the same formula on all four bytes
// of a pixel (unpack to 16-bit lanes, multiply by the level, shift right by 8,
// pack with unsigned saturation), so they agree with the plain ones on every
// colour channel and treat bits 24-31 as a fourth channel.
#include "show/fade.h"

#include <emmintrin.h>

#include "platform/system.h"
#if KV_X86_EXTENSIONS
#include <immintrin.h>
#endif

FadeOperationsTable FadeOperations = {};
int32_t MultiplyTable[256 * 256];

namespace {

int hasMmx = 0;

inline int ClampLevel(int level) { return level < 0 ? 0 : (level > 255 ? 255 : level); }

inline uint32_t Channel(uint32_t p, int shift) { return (p >> shift) & 0xFF; }

// Per-byte forms of the four formulas, over the bytes at the given shifts.
// The plain variants use the three colour bytes, the SIMD tails all four.
template <int Bytes>
inline uint32_t WhitenPixel(uint32_t c, uint32_t level) {
  uint32_t out = 0;
  for (int i = 0; i < Bytes; ++i) {
    uint32_t x = Channel(c, i * 8);
    out |= (x + (((255 - x) * level) >> 8)) << (i * 8);
  }
  return out;
}

template <int Bytes>
inline uint32_t DarkenPixel(uint32_t c, uint32_t level) {
  uint32_t out = 0;
  for (int i = 0; i < Bytes; ++i) out |= ((Channel(c, i * 8) * level) >> 8) << (i * 8);
  return out;
}

template <int Bytes>
inline uint32_t WeightedAddPixel(uint32_t a, uint32_t b, uint32_t l1, uint32_t l2) {
  uint32_t out = 0;
  for (int i = 0; i < Bytes; ++i) {
    uint32_t s = ((Channel(a, i * 8) * l1) >> 8) + ((Channel(b, i * 8) * l2) >> 8);
    out |= (s > 255 ? 255 : s) << (i * 8);
  }
  return out;
}

// Four pixels' bytes times one level, each lane shifted right by 8, packed
// back to bytes with unsigned saturation.
inline __m128i ScaleBytes(__m128i pixels, __m128i level) {
  const __m128i zero = _mm_setzero_si128();
  __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pixels, zero), level), 8);
  __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pixels, zero), level), 8);
  return _mm_packus_epi16(lo, hi);
}

inline __m128i Load(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

#if KV_X86_EXTENSIONS
// The same formulas eight pixels a step. Unpacking and packing work within
// each 128-bit half, so the pixels come back in their own order.
#define KV_AVX2 __attribute__((target("avx2")))

KV_AVX2 inline __m256i ScaleBytes8(__m256i pixels, __m256i level) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(pixels, zero), level), 8);
  __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(pixels, zero), level), 8);
  return _mm256_packus_epi16(lo, hi);
}

KV_AVX2 inline __m256i Load8(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
KV_AVX2 inline void Store8(uint32_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

KV_AVX2 void WhitenAvx2(uint32_t* dst, const uint32_t* src, int level, int count) {
  const int l = ClampLevel(level);
  const __m256i lv = _mm256_set1_epi16(static_cast<short>(l));
  const __m256i ones = _mm256_set1_epi8(static_cast<char>(0xFF));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256i c = Load8(src + i);
    Store8(dst + i, _mm256_adds_epu8(c, ScaleBytes8(_mm256_xor_si256(c, ones), lv)));
  }
  WhitenSse2(dst + i, src + i, level, count - i);
}

KV_AVX2 void DarkenAvx2(uint32_t* dst, const uint32_t* src, int level, int count) {
  const __m256i lv = _mm256_set1_epi16(static_cast<short>(ClampLevel(level)));
  int i = 0;
  for (; i + 8 <= count; i += 8) Store8(dst + i, ScaleBytes8(Load8(src + i), lv));
  DarkenSse2(dst + i, src + i, level, count - i);
}

KV_AVX2 void WeightedAddAvx2(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1,
                             int level2, int count) {
  const __m256i v1 = _mm256_set1_epi16(static_cast<short>(ClampLevel(level1)));
  const __m256i v2 = _mm256_set1_epi16(static_cast<short>(ClampLevel(level2)));
  int i = 0;
  for (; i + 8 <= count; i += 8)
    Store8(dst + i, _mm256_adds_epu8(ScaleBytes8(Load8(a + i), v1), ScaleBytes8(Load8(b + i), v2)));
  WeightedAddSse2(dst + i, a + i, b + i, level1, level2, count - i);
}

#endif

}  // namespace

void WhitenPlain(uint32_t* dst, const uint32_t* src, int level, int count) {
  uint32_t l = static_cast<uint32_t>(ClampLevel(level));
  for (int i = 0; i < count; ++i) dst[i] = WhitenPixel<3>(src[i], l);
}

void DarkenPlain(uint32_t* dst, const uint32_t* src, int level, int count) {
  uint32_t l = static_cast<uint32_t>(ClampLevel(level));
  for (int i = 0; i < count; ++i) dst[i] = DarkenPixel<3>(src[i], l);
}

void CrossFadePlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level, int count) {
  uint32_t l = static_cast<uint32_t>(ClampLevel(level));
  for (int i = 0; i < count; ++i) dst[i] = WeightedAddPixel<3>(a[i], b[i], 255 - l, l);
}

void WeightedAddPlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1, int level2,
                      int count) {
  uint32_t l1 = static_cast<uint32_t>(ClampLevel(level1));
  uint32_t l2 = static_cast<uint32_t>(ClampLevel(level2));
  for (int i = 0; i < count; ++i) dst[i] = WeightedAddPixel<3>(a[i], b[i], l1, l2);
}

void WhitenSse2(uint32_t* dst, const uint32_t* src, int level, int count) {
  int l = ClampLevel(level);
  const __m128i lv = _mm_set1_epi16(static_cast<short>(l));
  const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i c = Load(src + i);
    Store(dst + i, _mm_adds_epu8(c, ScaleBytes(_mm_xor_si128(c, ones), lv)));
  }
  for (; i < count; ++i) dst[i] = WhitenPixel<4>(src[i], static_cast<uint32_t>(l));
}

void DarkenSse2(uint32_t* dst, const uint32_t* src, int level, int count) {
  int l = ClampLevel(level);
  const __m128i lv = _mm_set1_epi16(static_cast<short>(l));
  int i = 0;
  for (; i + 4 <= count; i += 4) Store(dst + i, ScaleBytes(Load(src + i), lv));
  for (; i < count; ++i) dst[i] = DarkenPixel<4>(src[i], static_cast<uint32_t>(l));
}

void WeightedAddSse2(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1, int level2,
                     int count) {
  int l1 = ClampLevel(level1);
  int l2 = ClampLevel(level2);
  const __m128i v1 = _mm_set1_epi16(static_cast<short>(l1));
  const __m128i v2 = _mm_set1_epi16(static_cast<short>(l2));
  int i = 0;
  for (; i + 4 <= count; i += 4)
    Store(dst + i, _mm_adds_epu8(ScaleBytes(Load(a + i), v1), ScaleBytes(Load(b + i), v2)));
  for (; i < count; ++i)
    dst[i] = WeightedAddPixel<4>(a[i], b[i], static_cast<uint32_t>(l1), static_cast<uint32_t>(l2));
}

void CrossFadeSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level, int count) {
  int l = ClampLevel(level);
  WeightedAddSimd(dst, a, b, 255 - l, l, count);
}

// The SIMD entries: eight pixels a step where the processor has AVX2, four
// otherwise; both give the same bytes.
void WhitenSimd(uint32_t* dst, const uint32_t* src, int level, int count) {
#if KV_X86_EXTENSIONS
  if (PlatformHasAvx2()) return WhitenAvx2(dst, src, level, count);
#endif
  WhitenSse2(dst, src, level, count);
}

void DarkenSimd(uint32_t* dst, const uint32_t* src, int level, int count) {
#if KV_X86_EXTENSIONS
  if (PlatformHasAvx2()) return DarkenAvx2(dst, src, level, count);
#endif
  DarkenSse2(dst, src, level, count);
}

void WeightedAddSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int level1, int level2,
                     int count) {
#if KV_X86_EXTENSIONS
  if (PlatformHasAvx2()) return WeightedAddAvx2(dst, a, b, level1, level2, count);
#endif
  WeightedAddSse2(dst, a, b, level1, level2, count);
}

void InitFadeOperations(int width, int height, int nommx) {
  hasMmx = nommx ? 0 : PlatformHasSse2();
  if (hasMmx) {
    FadeOperations.Whiten = WhitenSimd;
    FadeOperations.Darken = DarkenSimd;
    FadeOperations.CrossFade = CrossFadeSimd;
    FadeOperations.WeightedAdd = WeightedAddSimd;
  } else {
    FadeOperations.Whiten = WhitenPlain;
    FadeOperations.Darken = DarkenPlain;
    FadeOperations.CrossFade = CrossFadePlain;
    FadeOperations.WeightedAdd = WeightedAddPlain;
  }
  FadeOperations.width = width;
  FadeOperations.height = height;
  FadeOperations.hasMmx = hasMmx;
  for (int a = 0; a < 256; ++a)
    for (int x = 0; x < 256; ++x) MultiplyTable[a * 256 + x] = (a * x) >> 8;
}

int HasMmx() { return hasMmx; }
