#include "effects/warp_helpers.h"

#include <emmintrin.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "effects/frames.h"
#include "platform/system.h"
#include "raster/raster_batch.h"
#include "show/fade.h"
#if KV_X86_EXTENSIONS
#include <immintrin.h>
#endif

alignas(64) uint8_t LensTables[6][kLensWidth * kLensHeight];
int32_t WarpTextureOffset = 0;
int32_t GridU[kGridColumns * kGridRows];
int32_t GridV[kGridColumns * kGridRows];

namespace {

constexpr double kPi = 3.14159265358979323846;

inline int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Truncating conversions that hold out-of-range values and NaN at a bound
// rather than leaving them undefined.
inline int32_t ToInt(double f) {
  if (!(f > -2147483648.0)) return INT_MIN;
  if (f >= 2147483647.0) return INT_MAX;
  return static_cast<int32_t>(f);
}
inline int64_t ToInt64(double f) {
  if (!(f > -9.0e18)) return static_cast<int64_t>(-9.0e18);
  if (f >= 9.0e18) return static_cast<int64_t>(9.0e18);
  return static_cast<int64_t>(f);
}

inline uint32_t AddBytesSaturated(uint32_t a, uint32_t b) {
  uint32_t out = 0;
  for (int s = 0; s < 32; s += 8) {
    uint32_t sum = ((a >> s) & 0xFF) + ((b >> s) & 0xFF);
    out |= (sum > 255 ? 255u : sum) << s;
  }
  return out;
}

// Silhouette planes: silhouette n is bit n % 8 of plane n / 8.
uint8_t silhouettePlanes[kSilhouetteRoom / 8][kFramePixels];
int silhouetteNext = 0;    // where the next capture goes, modulo 240
int silhouetteStored = 0;  // how many are held, at most 240

}  // namespace

void Smear(uint32_t* frame, int strength) {
  const int32_t s = Clamp(strength, 1, 127);
  // Each channel is carried in bits 16..23 of its accumulator.
  int32_t r = 0, g = 0, b = 0;
  auto step = [&](uint32_t& p) {
    r += (s * (static_cast<int32_t>(p & 0xFF0000) - r)) >> 7;
    g += (s * (static_cast<int32_t>((p & 0xFF00) << 8) - g)) >> 7;
    b += (s * (static_cast<int32_t>((p & 0xFF) << 16) - b)) >> 7;
    p = (static_cast<uint32_t>(r) & 0xFF0000) | ((static_cast<uint32_t>(g) >> 8) & 0xFF00) |
        ((static_cast<uint32_t>(b) >> 16) & 0xFF);
  };
  for (int i = kFramePixels - 1; i >= 0; --i) step(frame[i]);
  r = g = b = 0;
  for (int i = 0; i < kFramePixels; ++i) step(frame[i]);
}

void Soften(uint32_t* target, const uint32_t* source) {
  const int last = (kFrameHeight - 1) * kFrameWidth;
  if (target != source) {
    std::memcpy(target, source, kFrameWidth * 4);
    std::memcpy(target + last, source + last, kFrameWidth * 4);
  }
  // In place, source is target: the right and lower neighbours read here
  // have already been softened.
  const uint32_t* in = source;
  for (int i = last - 1; i >= kFrameWidth; --i) {
    target[i] = ((in[i - kFrameWidth] >> 2) & 0x3F3F3F) + ((in[i - 1] >> 2) & 0x3F3F3F) +
                ((in[i + 1] >> 2) & 0x3F3F3F) + ((in[i + kFrameWidth] >> 2) & 0x3F3F3F);
  }
}

void RadialBlur(uint32_t* frame, float cx, float cy, float strength, float a, float b) {
  if (!(strength > 0.0f)) strength = 0.0f;
  const int wa = Clamp(ToInt(static_cast<double>(a * 255.0f)), 0, 255);
  const int wb = Clamp(ToInt(static_cast<double>(b * 255.0f)), 0, 255);
  const int32_t* ta = MultiplyTable + wa * 256;
  const int32_t* tb = MultiplyTable + wb * 256;
  // Per-axis sample positions for this call, held inside the frame (a
  // strength above 1 or a centre off the frame would otherwise leave it).
  auto samplePosition = [strength](int i, float centre, int size) {
    int64_t at = i + static_cast<int64_t>(
                         ToInt(static_cast<double>(strength * (centre - static_cast<float>(i)))));
    return static_cast<int>(at < 0 ? 0 : (at >= size ? size - 1 : at));
  };
  int sx[kFrameWidth], sy[kFrameHeight];
  for (int i = 0; i < kFrameWidth; ++i) sx[i] = samplePosition(i, cx, kFrameWidth);
  for (int i = 0; i < kFrameHeight; ++i) sy[i] = samplePosition(i, cy, kFrameHeight);
  const int ix = Clamp(ToInt(static_cast<double>(cx)), 0, kFrameWidth - 1);
  const int iy = Clamp(ToInt(static_cast<double>(cy)), 0, kFrameHeight - 1);
  auto blend = [&](int x, int y) {
    uint32_t self = frame[y * kFrameWidth + x];
    uint32_t sample = frame[sy[y] * kFrameWidth + sx[x]];
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) {
      int c = ta[(self >> s) & 0xFF] + tb[(sample >> s) & 0xFF];
      out |= static_cast<uint32_t>(c > 255 ? 255 : c) << s;
    }
    frame[y * kFrameWidth + x] = out;
  };
  auto row = [&](int y) {
    for (int x = ix; x >= 0; --x) blend(x, y);
    for (int x = ix + 1; x < kFrameWidth; ++x) blend(x, y);
  };
  auto upper = [&](int from) {
    for (int y = from; y >= 0; --y) row(y);
  };
  auto lower = [&] {
    for (int y = iy + 1; y < kFrameHeight; ++y) row(y);
  };
  // Quadrants from the centre outwards: up-left, up-right, down-left,
  // down-right. When every row samples a row between itself and the
  // centre's, the rows below the centre's read none above it: once the
  // centre's row is done, the two halves are drawn side by side, each in
  // its own order.
  bool apart = true;
  for (int y = 0; y < kFrameHeight; ++y)
    apart = apart && (y <= iy ? sy[y] >= y && sy[y] <= iy : sy[y] >= iy && sy[y] <= y);
  if (!apart) {
    upper(iy);
    lower();
    return;
  }
  row(iy);
  ShareRows(2, 1, [&](int first, int end) {
    for (int half = first; half < end; ++half) {
      if (half == 0)
        upper(iy - 1);
      else
        lower();
    }
  });
}

namespace {

// Where each target row and column samples the picture for zoom width w:
// -1 outside it. Columns rise with x, so the ones inside form one run
// [*first, *last).
void ZoomSamples(float w, int32_t (&rows)[kFrameHeight], int32_t (&columns)[kFrameWidth],
                 int* first, int* last) {
  if (!(w >= 3.0f)) w = 3.0f;
  if (w > 1.0e6f) w = 1.0e6f;  // far past the picture already; keeps the steps in range
  // 16.16 picture position of the target's top-left pixel and the step per
  // target pixel, the same along both axes.
  const int64_t step = ToInt64(static_cast<double>(w / 320.0f * 65536.0f));
  int64_t u = ToInt64(static_cast<double>((160.0f - w * 0.5f) * 65536.0f));
  int64_t v = ToInt64(static_cast<double>((120.0f - 0.375f * w) * 65536.0f));
  for (int y = 0; y < kFrameHeight; ++y, v += step) {
    const int64_t row = v >> 16;
    rows[y] = row < 0 || row >= kFrameHeight ? -1 : static_cast<int32_t>(row);
  }
  *first = kFrameWidth;
  *last = 0;
  for (int x = 0; x < kFrameWidth; ++x, u += step) {
    const int64_t column = u >> 16;
    columns[x] = column < 0 || column >= kFrameWidth ? -1 : static_cast<int32_t>(column);
    if (columns[x] >= 0) {
      if (*first > x) *first = x;
      *last = x + 1;
    }
  }
}

}  // namespace

void ZoomBlitAddPlain(uint32_t* target, const uint32_t* picture, float w) {
  int32_t rows[kFrameHeight], columns[kFrameWidth];
  int first, last;
  ZoomSamples(w, rows, columns, &first, &last);
  for (int y = 0; y < kFrameHeight; ++y) {
    if (rows[y] < 0) continue;
    const uint32_t* src = picture + rows[y] * kFrameWidth;
    uint32_t* out = target + y * kFrameWidth;
    for (int x = first; x < last; ++x) out[x] = AddBytesSaturated(out[x], src[columns[x]]);
  }
}

// Four samples gathered per step and added with unsigned byte saturation.
void ZoomBlitAddSimd(uint32_t* target, const uint32_t* picture, float w) {
  int32_t rows[kFrameHeight], columns[kFrameWidth];
  int first, last;
  ZoomSamples(w, rows, columns, &first, &last);
  for (int y = 0; y < kFrameHeight; ++y) {
    if (rows[y] < 0) continue;
    const uint32_t* src = picture + rows[y] * kFrameWidth;
    uint32_t* out = target + y * kFrameWidth;
    int x = first;
    for (; x + 4 <= last; x += 4) {
      const __m128i samples = _mm_set_epi32(
          static_cast<int>(src[columns[x + 3]]), static_cast<int>(src[columns[x + 2]]),
          static_cast<int>(src[columns[x + 1]]), static_cast<int>(src[columns[x]]));
      __m128i* p = reinterpret_cast<__m128i*>(out + x);
      _mm_storeu_si128(p, _mm_adds_epu8(_mm_loadu_si128(p), samples));
    }
    for (; x < last; ++x) out[x] = AddBytesSaturated(out[x], src[columns[x]]);
  }
}

void ZoomBlitAdd(uint32_t* target, const uint32_t* picture, float w) {
  if (HasMmx())
    ZoomBlitAddSimd(target, picture, w);
  else
    ZoomBlitAddPlain(target, picture, w);
}

// Entries wrap to a byte, which turns the steep outer slopes of the lens into
// repeating bands. The centre of the flat lens (z = 0) has no direction; its
// entries are the middle value 128.
void BuildLensTables(uint8_t* rowTable, uint8_t* columnTable, float z) {
  const double zz = static_cast<double>(z) * z;
  const double radius = std::sqrt(400.0 * 400.0 + zz);
  const double rowScale = 128.0 * radius / 240.0;
  const double columnScale = 128.0 * radius / 320.0;
  for (int i = 0; i < kLensHeight; ++i) {
    const double di = i - 240;
    for (int j = 0; j < kLensWidth; ++j) {
      const double dj = j - 320;
      const double dist2 = zz + di * di + dj * dj;
      double row = 128.0, column = 128.0;
      if (dist2 > 0.0) {
        const double h = 1.0 / std::sqrt(dist2);
        row = 128.0 + rowScale * di * h;
        column = 128.0 + columnScale * dj * h;
      }
      rowTable[i * kLensWidth + j] = static_cast<uint8_t>(static_cast<int>(row));
      columnTable[i * kLensWidth + j] = static_cast<uint8_t>(static_cast<int>(column));
    }
  }
}

void WarpSetup() {
  // Four builds in this order; F is shared and keeps the last row table.
  BuildLensTables(LensTables[kLensA], LensTables[kLensF], 15.0f);
  BuildLensTables(LensTables[kLensF], LensTables[kLensB], 175.0f);
  BuildLensTables(LensTables[kLensC], LensTables[kLensD], 0.0f);
  BuildLensTables(LensTables[kLensF], LensTables[kLensE], 30.0f);
  TiltedPlane(0.0f, 0.0f);
}

namespace {

// Three taps into a pair of lens tables at positions moving on their own
// paths; the high and low bytes of the texel index come from the two
// tables. p holds the three positions (x, y) inside 0..320 x 0..240.
#if KV_X86_EXTENSIONS
// Eight bytes widened to 32-bit lanes.
__attribute__((target("avx2"), always_inline)) inline __m256i WidenBytes(const uint8_t* p) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// Eight pixels a step: the bytes widened to 32-bit lanes, the sums taken
// modulo 256 as the plain bytes wrap, the texels gathered.
__attribute__((target("avx2"))) void ThreeTapRowsAvx2(uint32_t* target, const uint32_t* texture,
                                                      const uint8_t* high, const uint8_t* low,
                                                      const int (&k)[3], int32_t offset,
                                                      int firstRow, int endRow) {
  const __m256i byte = _mm256_set1_epi32(0xFF);
  const __m256i index = _mm256_set1_epi32(0xFFFF);
  const __m256i shift = _mm256_set1_epi32(offset);
  for (int y = firstRow; y < endRow; ++y) {
    const int row = kLensWidth * y;
    uint32_t* out = target + y * kFrameWidth;
    for (int x = 0; x < kFrameWidth; x += 8) {
      const int at = row + x;
      const __m256i hi = _mm256_and_si256(
          _mm256_sub_epi32(
              _mm256_add_epi32(WidenBytes(high + k[0] + at), WidenBytes(high + k[1] + at)),
              WidenBytes(high + k[2] + at)),
          byte);
      const __m256i lo = _mm256_and_si256(
          _mm256_sub_epi32(
              _mm256_add_epi32(WidenBytes(low + k[0] + at), WidenBytes(low + k[1] + at)),
              WidenBytes(low + k[2] + at)),
          byte);
      const __m256i i = _mm256_and_si256(
          _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(hi, 8), lo), shift), index);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                          _mm256_i32gather_epi32(reinterpret_cast<const int*>(texture), i, 4));
    }
  }
}
static_assert(kFrameWidth % 8 == 0, "the AVX2 rows take eight pixels a step");
#endif

// Rows of three taps without vector instructions.
void ThreeTapRows(uint32_t* target, const uint32_t* texture, const uint8_t* high,
                  const uint8_t* low, int k0, int k1, int k2, int32_t offset, int firstRow,
                  int endRow) {
  for (int y = firstRow; y < endRow; ++y) {
    const int row = kLensWidth * y;
    const uint8_t* h0 = high + k0 + row;
    const uint8_t* h1 = high + k1 + row;
    const uint8_t* h2 = high + k2 + row;
    const uint8_t* l0 = low + k0 + row;
    const uint8_t* l1 = low + k1 + row;
    const uint8_t* l2 = low + k2 + row;
    uint32_t* out = target + y * kFrameWidth;
    for (int x = 0; x < kFrameWidth; ++x) {
      const uint32_t hi = static_cast<uint8_t>(h0[x] + h1[x] - h2[x]);
      const uint32_t lo = static_cast<uint8_t>(l0[x] + l1[x] - l2[x]);
      out[x] = texture[(hi * 256 + lo + static_cast<uint32_t>(offset)) & 0xFFFF];
    }
  }
}

// Pieces of rows the show's thread and the worker take in turn.
constexpr int kSharedRowPiece = 16;

void ThreeTaps(uint32_t* target, const uint32_t* texture, const uint8_t* high, const uint8_t* low,
               const int (&p)[3][2], int32_t offset) {
  const int k0 = p[0][0] + kLensWidth * p[0][1];
  const int k1 = p[1][0] + kLensWidth * p[1][1];
  const int k2 = p[2][0] + kLensWidth * p[2][1];
  // Each row reads only the tables and the texture: the worker takes a
  // share of them.
  ShareRows(kFrameHeight, kSharedRowPiece, [&](int firstRow, int endRow) {
#if KV_X86_EXTENSIONS
    if (HasMmx() && PlatformHasAvx2()) {
      const int k[3] = {k0, k1, k2};
      ThreeTapRowsAvx2(target, texture, high, low, k, offset, firstRow, endRow);
      return;
    }
#endif
    ThreeTapRows(target, texture, high, low, k0, k1, k2, offset, firstRow, endRow);
  });
}

void Position(int (&p)[2], double x, double y) {
  p[0] = Clamp(ToInt(x), 0, kLensWidth - kFrameWidth);
  p[1] = Clamp(ToInt(y), 0, kLensHeight - kFrameHeight);
}

}  // namespace

void ThreeTapWarp(uint32_t* target, const uint32_t* texture, float phase) {
  const double w = kPi * phase;
  int p[3][2];
  Position(p[0], 160 + 160 * std::cos(w / 128), 120 + 50 * std::sin(w / 128));
  Position(p[1], 160 + 130 * std::sin(w / 248), 120 + 100 * std::cos(w / 168));
  Position(p[2], 160 + 70 * std::sin(w / 228), 120 + 90 * std::cos(w / 328));
  WarpTextureOffset = 256 * Clamp(ToInt(256 * std::cos(w / 412)), -256, 256) +
                      Clamp(ToInt(256 * std::sin(w / 312)), -256, 256);
  ThreeTaps(target, texture, LensTables[kLensE], LensTables[kLensF], p, WarpTextureOffset);
}

void LensTableWarp(uint32_t* target, const uint32_t* texture, float phase, int mode) {
  static const int pairs[3][2] = {{kLensB, kLensD}, {kLensC, kLensB}, {kLensD, kLensA}};
  if (mode < 0 || mode > 2) return;
  const double t = phase;
  int p[3][2];
  Position(p[0], 160 + 160 * std::cos(t), 120 + 50 * std::sin(t));
  Position(p[1], 160 + 130 * std::sin(2 * t / 3), 120 + 100 * std::cos(5 * t / 6));
  Position(p[2], 160 + 70 * std::sin(5 * t / 8), 120 + 90 * std::cos(5 * t / 9));
  ThreeTaps(target, texture, LensTables[pairs[mode][0]], LensTables[pairs[mode][1]], p,
            WarpTextureOffset);
}

// 16.16 coordinates in uint32: wrapping at 2^32 is a whole number of texture
// repeats, so overflow never shows.
void Rotozoom(uint32_t* target, const uint32_t* texture, float angle, float radius) {
  const double a = angle * kPi / 180.0;
  const double c = 1024.0 + 127.5;
  auto point = [&](double turn, double* u, double* v) {
    *u = c + radius * std::cos(a + turn);
    *v = c + radius * std::sin(a + turn);
  };
  double u0, v0, u1, v1, u2, v2;
  point(0.0, &u0, &v0);
  point(kPi / 2, &u1, &v1);
  point(3 * kPi / 2, &u2, &v2);
  const uint32_t du = static_cast<uint32_t>(ToInt64((u1 - u0) / kFrameWidth * 65536.0));
  const uint32_t dv = static_cast<uint32_t>(ToInt64((v1 - v0) / kFrameWidth * 65536.0));
  const uint32_t rowDu = static_cast<uint32_t>(ToInt64((u2 - u0) / kFrameHeight * 65536.0));
  const uint32_t rowDv = static_cast<uint32_t>(ToInt64((v2 - v0) / kFrameHeight * 65536.0));
  const uint32_t firstU = static_cast<uint32_t>(ToInt64(u0 * 65536.0));
  const uint32_t firstV = static_cast<uint32_t>(ToInt64(v0 * 65536.0));
  // Row y starts y row steps on, wrapping as the steps would: the rows are
  // shared by both threads.
  auto rows = [&](int first, int end) {
    uint32_t rowU = firstU + static_cast<uint32_t>(first) * rowDu;
    uint32_t rowV = firstV + static_cast<uint32_t>(first) * rowDv;
    for (int y = first; y < end; ++y, rowU += rowDu, rowV += rowDv) {
      uint32_t u = rowU, v = rowV;
      uint32_t* out = target + y * kFrameWidth;
      for (int x = 0; x < kFrameWidth; ++x, u += du, v += dv)
        out[x] = texture[((v >> 16) & 255) * 256 + ((u >> 16) & 255)];
    }
  };
  ShareRows(kFrameHeight, kSharedRowPiece, rows);
}

// Each grid point is turned about the first centre by an angle that ripples
// with its distance from it, then about the second centre against the
// phase; the centres drift on slow ellipses.
void RippleGrid(float phase) {
  const double t = phase;
  const double c1x = 160 + 90 * std::cos(t * 0.31), c1y = 120 + 70 * std::sin(t * 0.43);
  const double c2x = 160 + 110 * std::sin(t * 0.27), c2y = 120 + 60 * std::cos(t * 0.37);
  const double scale = 0.045, amplitude = 0.18;
  for (int m = 0; m < kGridRows; ++m) {
    for (int n = 0; n < kGridColumns; ++n) {
      double x = 8.0 * n, y = 8.0 * m;
      double dx = x - c1x, dy = y - c1y;
      double turn = std::cos(std::sqrt(dx * dx + dy * dy) * scale + t) * amplitude;
      x = c1x + dx * std::cos(turn) - dy * std::sin(turn);
      y = c1y + dx * std::sin(turn) + dy * std::cos(turn);
      dx = x - c2x;
      dy = y - c2y;
      turn = std::sin(std::sqrt(dx * dx + dy * dy) * scale - t) * amplitude;
      x = c2x + dx * std::cos(turn) - dy * std::sin(turn);
      y = c2y + dx * std::sin(turn) + dy * std::cos(turn);
      GridU[m * kGridColumns + n] = ToInt(x * 65536.0);
      GridV[m * kGridColumns + n] = ToInt(y * 65536.0);
    }
  }
}

void TiltedPlane(float amount, float angle) {
  double a = amount;
  if (!(a > 0.0)) a = 0.0;
  if (a > 1.0) a = 1.0;
  const double shrink = 1.0 - 0.1 * a;
  const double distance = 1.0 - 0.5 * a;  // the plane comes nearer as a grows
  const double ca = std::cos(angle), sa = std::sin(angle);
  for (int m = 0; m < kGridRows; ++m) {
    for (int n = 0; n < kGridColumns; ++n) {
      const double x = (8.0 * n - 160.0) * shrink, y = (8.0 * m - 120.0) * shrink;
      const double xr = x * ca - y * sa, yr = x * sa + y * ca;
      // Ray length to a plane tilted about the horizontal axis: the top of
      // the frame lies nearer than the bottom.
      const double depth = distance / (1.0 + 0.5 * a * yr / 120.0);
      const double u = 160.0 + xr * depth, v = 120.0 + yr * depth;
      GridU[m * kGridColumns + n] = Clamp(ToInt(u * 65536.0), 1 << 16, 318 << 16);
      GridV[m * kGridColumns + n] = Clamp(ToInt(v * 65536.0), 1 << 16, 238 << 16);
    }
  }
}

namespace {

// Walks row cy of 8 x 8 cells: corner coordinates interpolated down the two
// sides of each cell and across each row with steps of 1/8 (arithmetic
// shifts by 3).
template <typename Sample>
void MapCellRow(uint32_t* target, int columns, int cy, Sample& sample) {
  for (int cx = 0; cx < columns; ++cx) {
    const int g = cy * kGridColumns + cx;
    int32_t lu = GridU[g], lv = GridV[g];
    int32_t ru = GridU[g + 1], rv = GridV[g + 1];
    const int32_t ldu = (GridU[g + kGridColumns] - lu) >> 3;
    const int32_t ldv = (GridV[g + kGridColumns] - lv) >> 3;
    const int32_t rdu = (GridU[g + kGridColumns + 1] - ru) >> 3;
    const int32_t rdv = (GridV[g + kGridColumns + 1] - rv) >> 3;
    uint32_t* out = target + (cy * 8) * kFrameWidth + cx * 8;
    for (int j = 0; j < 8; ++j, out += kFrameWidth) {
      int32_t u = lu, v = lv;
      const int32_t du = (ru - lu) >> 3, dv = (rv - lv) >> 3;
      for (int i = 0; i < 8; ++i, u += du, v += dv) out[i] = sample(u, v);
      lu += ldu;
      lv += ldv;
      ru += rdu;
      rv += rdv;
    }
  }
}

// A row of cells writes its own eight rows of the target and reads only the
// grid and the source: unless the source is the target, the worker takes a
// share of the rows.
template <typename Sample>
void MapCells(uint32_t* target, int columns, int rows, bool inPlace, Sample sample) {
  columns = Clamp(columns, 0, kGridColumns - 1);
  rows = Clamp(rows, 0, kGridRows - 1);
  auto cellRows = [&](int firstRow, int endRow) {
    for (int cy = firstRow; cy < endRow; ++cy) MapCellRow(target, columns, cy, sample);
  };
  if (inPlace)
    cellRows(0, rows);
  else
    ShareRows(rows, 2, cellRows);
}

// Whether the n pixels from source share memory with the frame at target.
bool Overlaps(const uint32_t* target, const uint32_t* source, size_t n) {
  const auto t = reinterpret_cast<uintptr_t>(target), s = reinterpret_cast<uintptr_t>(source);
  return s < t + kFramePixels * sizeof(uint32_t) && t < s + n * sizeof(uint32_t);
}

}  // namespace

void GridMapTexture(uint32_t* target, const uint32_t* texture, int rows) {
  MapCells(target, kGridColumns - 1, rows, Overlaps(target, texture, 256 * 256),
           [texture](int32_t u, int32_t v) {
             return texture[((v >> 16) & 255) * 256 + ((u >> 16) & 255)];
           });
}

void GridMapPicture(uint32_t* target, const uint32_t* picture, int columns, int rows) {
  MapCells(target, columns, rows, Overlaps(target, picture, kFramePixels),
           [picture](int32_t u, int32_t v) {
             return picture[Clamp(v >> 16, 0, kFrameHeight - 1) * kFrameWidth +
                            Clamp(u >> 16, 0, kFrameWidth - 1)];
           });
}

// A slot reused after 240 captures is overwritten, not merged with the old
// silhouette.
void SilhouetteCapture(const uint32_t* frame) {
  uint8_t* plane = silhouettePlanes[silhouetteNext / 8];
  const uint8_t bit = static_cast<uint8_t>(1u << (silhouetteNext % 8));
  // Only bytes that change are written: the parts of the store no
  // silhouette reaches are never touched and take no memory.
  for (int i = 0; i < kFramePixels; ++i) {
    const uint8_t value = static_cast<uint8_t>((plane[i] & ~bit) | (frame[i] == 0 ? bit : 0));
    if (value != plane[i]) plane[i] = value;
  }
  silhouetteNext = (silhouetteNext + 1) % kSilhouetteRoom;
  if (silhouetteStored < kSilhouetteRoom) ++silhouetteStored;
}

void SilhouetteMask(uint8_t* mask, int k, int number) {
  if (silhouetteStored == 0 || k < 0 || k > 7) return;
  int n = number % silhouetteStored;
  if (n < 0) n += silhouetteStored;
  const uint8_t* plane = silhouettePlanes[n / 8];
  const int shift = n % 8;
  const uint8_t bit = static_cast<uint8_t>(1u << k);
  ShareRows(kFrameHeight, kSharedRowPiece, [&](int first, int end) {
    for (int i = first * kFrameWidth; i < end * kFrameWidth; ++i)
      if ((plane[i] >> shift) & 1) mask[i] |= bit;
  });
}

int SilhouetteCount() { return silhouetteStored; }

void SilhouetteClear() {
  std::memset(silhouettePlanes, 0, sizeof silhouettePlanes);
  silhouetteNext = 0;
  silhouetteStored = 0;
}
