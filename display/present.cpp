// Turning the finished 320 x 240 frame into screen pixels: the depth
// conversions, the copies, and the two ways of filling a 640 x 480 screen.
#include <emmintrin.h>

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
    case 24: convert = Convert24; break;
    case 16: convert = Convert16; break;
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
