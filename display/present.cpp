// Turning the finished 320 x 240 frame into screen pixels: the depth
// conversions, the copies, and the two ways of filling a 640 x 480 screen.
#include <emmintrin.h>
#include "platform/system.h"
#if KV_X86_EXTENSIONS
#include <immintrin.h>
#endif

#include <cstring>

#include "display/display.h"

namespace {

using ConvertFn = void (*)(void* dst, const uint32_t* src, int bytes);

constexpr int kScaleWidth = 640;

// Each channel halved with its low bit dropped; the sum cannot carry into the
// next channel, and bits 24-31 come out clear.
inline uint32_t ChannelAverage(uint32_t p, uint32_t q) {
  return ((p >> 1) & 0x7F7F7F) + ((q >> 1) & 0x7F7F7F);
}

inline uint32_t To565(uint32_t p) {
  return ((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F);
}

// Every source pixel becomes a 2 x 2 block.
void ScaleDouble(const uint32_t* src, uint32_t* dst) {
  for (int y = 0; y < 240; ++y) {
    const uint32_t* s = src + y * 320;
    uint32_t* even = dst + 2 * y * kScaleWidth;
    for (int x = 0; x < 320; ++x) {
      even[2 * x] = s[x];
      even[2 * x + 1] = s[x];
    }
    std::memcpy(even + kScaleWidth, even, kScaleWidth * 4);
  }
}

// Even rows: the source pixel, then its average with the right neighbour.
// Odd rows: the average of the even rows above and below. The last source row
// and column only feed their neighbours, so columns 638-639 of the even rows
// and rows 477-479 keep whatever the buffer held (black from its creation).
void ScaleSmooth(const uint32_t* src, uint32_t* dst) {
  for (int y = 0; y < 239; ++y) {
    const uint32_t* s = src + y * 320;
    uint32_t* d = dst + 2 * y * kScaleWidth;
    for (int x = 0; x < 319; ++x) {
      d[2 * x] = s[x];
      d[2 * x + 1] = ChannelAverage(s[x], s[x + 1]);
    }
  }
  for (int r = 0; r < 238; ++r) {
    const uint32_t* above = dst + 2 * r * kScaleWidth;
    const uint32_t* below = above + 2 * kScaleWidth;
    uint32_t* d = dst + (2 * r + 1) * kScaleWidth;
    for (int c = 0; c < kScaleWidth; ++c) d[c] = ChannelAverage(above[c], below[c]);
  }
}

}  // namespace

// Pixels go out in pairs as one 32-bit store, the first in the low half; an
// odd last pixel is one 16-bit store.
void Convert16(void* dst, const uint32_t* src, int bytes) {
  int count = bytes / 4;
  uint8_t* d = static_cast<uint8_t*>(dst);
  int i = 0;
  for (; i + 1 < count; i += 2, d += 4) {
    uint32_t pair = To565(src[i]) | To565(src[i + 1]) << 16;
    std::memcpy(d, &pair, 4);
  }
  if (i < count) {
    uint16_t last = static_cast<uint16_t>(To565(src[i]));
    std::memcpy(d, &last, 2);
  }
}

// Exactly three bytes per pixel, blue first; the top byte is dropped.
void Convert24(void* dst, const uint32_t* src, int bytes) {
  int count = bytes / 4;
  uint8_t* d = static_cast<uint8_t*>(dst);
  for (int i = 0; i < count; ++i, d += 3) {
    uint32_t p = src[i];
    d[0] = static_cast<uint8_t>(p);
    d[1] = static_cast<uint8_t>(p >> 8);
    d[2] = static_cast<uint8_t>(p >> 16);
  }
}

// Eight pixels per step: each 5-6-5 value built in a 32-bit lane, moved to
// the lane's top half and back with sign so that the signed pack to 16 bits
// keeps every bit. The pixels past the last whole step go through Convert16.
namespace {

#if KV_X86_EXTENSIONS
// Sixteen pixels a step; the pack works within 128-bit halves, so the
// quarters are put back in order before the store.
__attribute__((target("avx2"))) int Convert16Avx2(uint8_t* d, const uint32_t* src, int count) {
  const __m256i red = _mm256_set1_epi32(0xF800), green = _mm256_set1_epi32(0x07E0),
                blue = _mm256_set1_epi32(0x001F);
  auto pack = [&](__m256i p) __attribute__((target("avx2"))) {
    __m256i v =
        _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(p, 8), red),
                                        _mm256_and_si256(_mm256_srli_epi32(p, 5), green)),
                        _mm256_and_si256(_mm256_srli_epi32(p, 3), blue));
    return _mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16);
  };
  int i = 0;
  for (; i + 16 <= count; i += 16, d += 32) {
    __m256i a = pack(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)));
    __m256i b = pack(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 8)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
  }
  return i;
}

#endif

}  // namespace

void Convert16Simd(void* dst, const uint32_t* src, int bytes) {
  int count = bytes / 4;
  uint8_t* d = static_cast<uint8_t*>(dst);
#if KV_X86_EXTENSIONS
  int first = PlatformHasAvx2() ? Convert16Avx2(d, src, count) : 0;
#else
  int first = 0;
#endif
  src += first;
  d += first * 2;
  count -= first;
  const __m128i red = _mm_set1_epi32(0xF800), green = _mm_set1_epi32(0x07E0),
                blue = _mm_set1_epi32(0x001F);
  auto pack = [&](__m128i p) {
    __m128i v = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(p, 8), red),
                                          _mm_and_si128(_mm_srli_epi32(p, 5), green)),
                             _mm_and_si128(_mm_srli_epi32(p, 3), blue));
    return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
  };
  int i = 0;
  for (; i + 8 <= count; i += 8, d += 16) {
    __m128i a = pack(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    __m128i b = pack(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packs_epi32(a, b));
  }
  Convert16(d, src + i, (count - i) * 4);
}

#if KV_X86_EXTENSIONS
namespace {

// Sixteen pixels per step as three 16-byte stores: a byte shuffle drops the
// top byte of each group of four pixels, leaving twelve bytes, and the groups
// are joined by whole-register byte shifts.
__attribute__((target("ssse3"))) void Convert24Ssse3(void* dst, const uint32_t* src, int bytes) {
  const int count = bytes / 4;
  uint8_t* d = static_cast<uint8_t*>(dst);
  const __m128i drop = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int i = 0;
  for (; i + 16 <= count; i += 16, d += 48) {
    const __m128i* s = reinterpret_cast<const __m128i*>(src + i);
    __m128i p0 = _mm_shuffle_epi8(_mm_loadu_si128(s), drop);
    __m128i p1 = _mm_shuffle_epi8(_mm_loadu_si128(s + 1), drop);
    __m128i p2 = _mm_shuffle_epi8(_mm_loadu_si128(s + 2), drop);
    __m128i p3 = _mm_shuffle_epi8(_mm_loadu_si128(s + 3), drop);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                     _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32),
                     _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
  }
  Convert24(d, src + i, (count - i) * 4);
}

}  // namespace
#endif

// Processors without the byte shuffle take the plain conversion.
void Convert24Simd(void* dst, const uint32_t* src, int bytes) {
#if KV_X86_EXTENSIONS
  if (PlatformHasSsse3()) return Convert24Ssse3(dst, src, bytes);
#endif
  Convert24(dst, src, bytes);
}

// 32-byte blocks of two 16-byte loads and stores; neither side need be
// aligned. A tail shorter than a block is copied plainly.
void CopyMmx(void* dst, const uint32_t* src, int bytes) {
  if (bytes <= 0) return;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
  uint8_t* d = static_cast<uint8_t*>(dst);
  int blocks = bytes / 32;
  for (int i = 0; i < blocks; ++i, s += 32, d += 32) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), b);
  }
  std::memcpy(d, s, static_cast<size_t>(bytes % 32));
}

void CopyPlain(void* dst, const uint32_t* src, int bytes) {
  if (bytes > 0) std::memcpy(dst, src, static_cast<size_t>(bytes));
}

// Runs inside Present with device->pixels on the locked screen surface. The
// conversion is chosen once per call from the depth; a depth other than 32,
// 24 or 16 writes nothing.
void PresentFrame(DisplayDevice* device, int modeWidth, int scaleMode, int hasMmx,
                  const uint32_t* frameBuffer, uint32_t* scaleBuffer) {
  ConvertFn convert = nullptr;
  switch (device->bitsPerPixel) {
    case 32: convert = hasMmx ? CopyMmx : CopyPlain; break;
    case 24: convert = hasMmx ? Convert24Simd : Convert24; break;
    case 16: convert = hasMmx ? Convert16Simd : Convert16; break;
    default: return;
  }
  uint8_t* surface = reinterpret_cast<uint8_t*>(device->pixels);
  // Rows are found by the pitch in bytes: a 24-bit surface's pitch need not
  // be a whole number of pixels, and pitchPixels would lose the remainder.
  size_t pitch = static_cast<size_t>(device->pitchBytes);

  if (modeWidth != device->width && scaleMode != 0) {
    if (!scaleBuffer) return;
    if (scaleMode == 1) {
      ScaleDouble(frameBuffer, scaleBuffer);
    } else if (scaleMode == 2) {
      ScaleSmooth(frameBuffer, scaleBuffer);
    }
    for (int r = 0; r < device->modeHeight; ++r)
      convert(surface + r * pitch, scaleBuffer + r * kScaleWidth, kScaleWidth * 4);
    return;
  }

  if (pitch == static_cast<size_t>(device->width) * (device->bitsPerPixel / 8)) {
    convert(surface, frameBuffer, device->width * device->height * 4);
    return;
  }
  for (int y = 0; y < device->height; ++y)
    convert(surface + y * pitch, frameBuffer + y * device->width, device->width * 4);
}
