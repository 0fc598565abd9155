#include "display/toolkit.h"

#include <emmintrin.h>
#include "platform/system.h"
#if KV_X86_EXTENSIONS
#include <immintrin.h>
#endif

#include <cstdlib>

#include "show/fade.h"

namespace {

inline uint32_t TableChannel(uint32_t a, uint32_t b, int shift) {
  return static_cast<uint32_t>(MultiplyTable[((a >> shift) & 0xFF) * 256 + ((b >> shift) & 0xFF)] &
                               0xFF)
         << shift;
}

inline uint32_t SaturatedChannel(uint32_t a, uint32_t b, int shift) {
  uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF);
  return (sum > 255 ? 255u : sum) << shift;
}

}  // namespace

void TableCombinePlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count) {
  for (int i = 0; i < count; ++i) {
    uint32_t pa = a[i], pb = b[i];
    dst[i] = (dst[i] & 0xFF000000u) | TableChannel(pa, pb, 16) | TableChannel(pa, pb, 8) |
             TableChannel(pa, pb, 0);
  }
}

// Four pixels per step: bytes widened to 16-bit lanes, multiplied, shifted
// down by 8 and packed back. The product of two bytes fits a 16-bit lane
// unsigned, so the low half of the multiply is exact.
namespace {

#if KV_X86_EXTENSIONS
// Eight pixels a step; unpack and pack stay within 128-bit halves, so the
// pixels keep their order.
__attribute__((target("avx2"))) int TableCombineAvx2(uint32_t* dst, const uint32_t* a,
                                                     const uint32_t* b, int count) {
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
    __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
    __m256i lo = _mm256_srli_epi16(
        _mm256_mullo_epi16(_mm256_unpacklo_epi8(va, zero), _mm256_unpacklo_epi8(vb, zero)), 8);
    __m256i hi = _mm256_srli_epi16(
        _mm256_mullo_epi16(_mm256_unpackhi_epi8(va, zero), _mm256_unpackhi_epi8(vb, zero)), 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(lo, hi));
  }
  return i;
}

#else
// Without AVX2 (outside x86) nothing is done eight pixels at a time.
int TableCombineAvx2(uint32_t*, const uint32_t*, const uint32_t*, int) { return 0; }
#endif

}  // namespace

void TableCombineSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count) {
  if (count <= 0) return;
  const __m128i zero = _mm_setzero_si128();
  int i = PlatformHasAvx2() ? TableCombineAvx2(dst, a, b, count) : 0;
  for (; i + 4 <= count; i += 4) {
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    __m128i lo = _mm_srli_epi16(
        _mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero)), 8);
    __m128i hi = _mm_srli_epi16(
        _mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero)), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
  TableCombinePlain(dst + i, a + i, b + i, count - i);
}

void SaturatingAddPlain(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count) {
  for (int i = 0; i < count; ++i) {
    uint32_t pa = a[i], pb = b[i];
    dst[i] = (dst[i] & 0xFF000000u) | SaturatedChannel(pa, pb, 16) | SaturatedChannel(pa, pb, 8) |
             SaturatedChannel(pa, pb, 0);
  }
}

void SaturatingAddSimd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count) {
  if (count <= 0) return;
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epu8(va, vb));
  }
  SaturatingAddPlain(dst + i, a + i, b + i, count - i);
}

void FillPixelsPlain(uint32_t* dst, uint32_t value, int byteCount) {
  int count = byteCount / 4;
  for (int i = 0; i < count; ++i) dst[i] = value;
}

// 64 bytes per round; the bytes past the last whole round are filled by the
// plain loop.
void FillPixelsSimd(uint32_t* dst, uint32_t value, int byteCount) {
  if (byteCount <= 0) return;
  const __m128i v = _mm_set1_epi32(static_cast<int>(value));
  int rounds = byteCount / 64;
  uint32_t* p = dst;
  for (int r = 0; r < rounds; ++r, p += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 8), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 12), v);
  }
  FillPixelsPlain(p, value, byteCount - rounds * 64);
}

void TableCombine(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count) {
  if (HasMmx())
    TableCombineSimd(dst, a, b, count);
  else
    TableCombinePlain(dst, a, b, count);
}

void SaturatingAdd(uint32_t* dst, const uint32_t* a, const uint32_t* b, int count) {
  if (HasMmx())
    SaturatingAddSimd(dst, a, b, count);
  else
    SaturatingAddPlain(dst, a, b, count);
}

void FillPixels(uint32_t* dst, uint32_t value, int byteCount) {
  if (HasMmx())
    FillPixelsSimd(dst, value, byteCount);
  else
    FillPixelsPlain(dst, value, byteCount);
}

void KeyedCopyPlain(uint32_t* dst, const uint32_t* src, uint32_t key, int count) {
  for (int i = 0; i < count; ++i)
    if (src[i] != key) dst[i] = src[i];
}

// Four pixels per step: the frame keeps its pixel wherever the source equals
// the key, every other pixel is the source's.
namespace {

#if KV_X86_EXTENSIONS
__attribute__((target("avx2"))) int KeyedCopyAvx2(uint32_t* dst, const uint32_t* src,
                                                  uint32_t key, int count) {
  const __m256i k = _mm256_set1_epi32(static_cast<int>(key));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    __m256i* d = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(d, _mm256_blendv_epi8(s, _mm256_loadu_si256(d), _mm256_cmpeq_epi32(s, k)));
  }
  return i;
}
#else
int KeyedCopyAvx2(uint32_t*, const uint32_t*, uint32_t, int) { return 0; }
#endif

}  // namespace

void KeyedCopySimd(uint32_t* dst, const uint32_t* src, uint32_t key, int count) {
  if (count <= 0) return;
  const __m128i k = _mm_set1_epi32(static_cast<int>(key));
  int i = PlatformHasAvx2() ? KeyedCopyAvx2(dst, src, key, count) : 0;
  for (; i + 4 <= count; i += 4) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    __m128i keep = _mm_cmpeq_epi32(s, k);
    __m128i* d = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(d, _mm_or_si128(_mm_and_si128(keep, _mm_loadu_si128(d)),
                                     _mm_andnot_si128(keep, s)));
  }
  KeyedCopyPlain(dst + i, src + i, key, count - i);
}

void KeyedCopy(uint32_t* dst, const uint32_t* src, uint32_t key, int count) {
  if (HasMmx())
    KeyedCopySimd(dst, src, key, count);
  else
    KeyedCopyPlain(dst, src, key, count);
}

Pulse* PulseTrackCreate(int count, float period, float rise, float fall, float peak, float base) {
  if (count <= 0) return nullptr;
  Pulse* track = static_cast<Pulse*>(std::malloc(sizeof(Pulse) * static_cast<size_t>(count)));
  if (!track) return nullptr;
  for (int i = 0; i < count; ++i) {
    float start = static_cast<float>(i) * period;
    track[i].pairs[0] = {start, base};
    track[i].pairs[1] = {start + rise, peak};
    track[i].pairs[2] = {start + fall, base};
  }
  return track;
}

float PulseTrackValue(const Pulse* track, int count, float t, float offset) {
  if (!track || count <= 0) return 0.0f;
  // The pulses are read as one list of 3 x count pairs.
  auto pair = [track](int k) -> const PulsePair& { return track[k / 3].pairs[k % 3]; };
  const int n = count * 3;
  float x = t - offset;
  if (x < 0.0f) return pair(0).value;
  if (x > pair(n - 1).time) return pair(n - 1).value;
  for (int i = 0; i < n; ++i) {
    if (x <= pair(i).time) {
      if (i == 0) return pair(0).value;
      const PulsePair& p = pair(i - 1);
      const PulsePair& q = pair(i);
      // Interpolated in double, then rounded to float once.
      double rise = static_cast<double>(q.value) - p.value;
      return static_cast<float>(p.value + (static_cast<double>(x) - p.time) * rise /
                                              (static_cast<double>(q.time) - p.time));
    }
  }
  return pair(n - 1).value;  // x is not a number
}
