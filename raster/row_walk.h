// The row walk of a triangle section, written once over the span it draws:
// edges stepped a row at a time, each row's covered pixels and the
// interpolants at its first pixel handed to a span as one SpanArgs. The plain
// walkers in triangle_setup.cpp hand each span to the selected routine
// through RasterState; the SIMD sets instantiate the same walk with their own
// span loop inlined, so the span values stay in registers and no call is made
// per row.
//
// Everything here has internal linkage: each file including this header gets
// its own copy compiled for its own instruction set. All arithmetic is single
// precision and every conversion to an integer truncates, so every copy gives
// the same values.
#pragma once
#include <cmath>
#include <cstdint>

#include "platform/system.h"
#include "raster/raster.h"
#if KV_X86_EXTENSIONS
#include <xmmintrin.h>
#endif

namespace {

constexpr unsigned kU = 1u << RI_U;
constexpr unsigned kV = 1u << RI_V;
constexpr unsigned kIz = 1u << RI_IZ;
constexpr unsigned kLevel = 1u << RI_LEVEL;
constexpr unsigned kRgb = (1u << RI_RED) | (1u << RI_GREEN) | (1u << RI_BLUE);

constexpr unsigned kAffineUV = kU | kV;
constexpr unsigned kAffineUVLevel = kU | kV | kLevel;
constexpr unsigned kAffineUVLevelZ = kU | kV | kLevel | kIz;
constexpr unsigned kUVZ = kU | kV | kIz;
constexpr unsigned kUVZRgb = kU | kV | kIz | kRgb;

constexpr float kDepthScale = 1e9f;
constexpr float kFixed = 65536.0f;

// Float to int32 truncating towards zero; values outside the int32 range and
// NaN give INT32_MIN, as the processor's own conversion does (on x86 that
// conversion is used directly).
inline int32_t Trunc(float f) {
#if KV_X86_EXTENSIONS
  return _mm_cvtt_ss2si(_mm_set_ss(f));
#else
  if (f > -2147483904.0f && f < 2147483648.0f) return static_cast<int32_t>(f);
  return INT32_MIN;
#endif
}

// ceil(f) kept within lo .. hi (NaN gives lo).
inline int32_t CeilWithin(float f, int32_t lo, int32_t hi) {
  const float c = std::ceil(f);
  if (!(c > static_cast<float>(lo))) return lo;
  if (c >= static_cast<float>(hi)) return hi;
  return static_cast<int32_t>(c);
}

// Whether row y is left to another thread (see RasterStateRecord::skippedBands).
inline bool RowSkipped(uint32_t skippedBands, int32_t y) {
  return (skippedBands >> ((y >> 3) & 31)) & 1u;
}

// True when every row y0 .. y2 - 1 is left to another thread.
inline bool AllRowsSkipped(uint32_t skippedBands, int32_t y0, int32_t y2) {
  if (!skippedBands) return false;
  for (int32_t y = y0 & ~7; y < y2; y += 8)
    if (!RowSkipped(skippedBands, y)) return false;
  return true;
}

inline int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// One span: where it starts, how many pixels, and the interpolants with
// their steps per pixel. A span advances it in place, so the next piece of
// a perspective row continues where the last one stopped.
struct SpanArgs {
  uint32_t* colour;
  int32_t* depth;
  int32_t count;
  int32_t u, du;  // 16.16
  int32_t v, dv;
  int32_t z, dz;  // trunc(1e9 / z)
  int32_t level, dlevel;
  int32_t red, dred;
  int32_t green, dgreen;
  int32_t blue, dblue;
};

// The per-pixel steps the set-up found for the triangle.
inline SpanArgs TriangleSteps() {
  const RasterStateRecord& s = RasterState;
  SpanArgs r{};
  r.du = s.du;
  r.dv = s.dv;
  r.dz = s.dz;
  r.dlevel = s.dlevel;
  r.dred = s.dred;
  r.dgreen = s.dgreen;
  r.dblue = s.dblue;
  return r;
}

// Walks rows firstRow .. endRow - 1 from the edges in RasterState, calls
// draw(r, at) for each row covering a pixel with r holding the row's start
// pointers, depth and light levels and at the interpolants at its first
// pixel, and leaves the edges stepped past the last row for the next section.
template <unsigned Set, class Draw>
inline void WalkRows(int32_t firstRow, int32_t endRow, SpanArgs& r, Draw draw) {
  RasterStateRecord& s = RasterState;
  float leftX = s.left.x, rightX = s.right.x;
  const float leftSlope = s.left.slope, rightSlope = s.right.slope;
  float value[RI_COUNT], step[RI_COUNT], ddx[RI_COUNT];
  for (int i = 0; i < RI_COUNT; ++i) {
    value[i] = s.leftValue[i];
    step[i] = s.leftStep[i];
    ddx[i] = s.ddx[i];
  }
  uint32_t* const colourBuffer = s.colourBuffer;
  int32_t* const depthBuffer = s.depthBuffer;
  const long pitch = s.pitch;
  const int32_t width = s.width;
  const uint32_t skipped = s.skippedBands;
  for (int32_t y = firstRow; y < endRow; ++y) {
    const int32_t xs = CeilWithin(leftX, 0, width);
    const int32_t xe = CeilWithin(rightX, 0, width);
    if (xe > xs && !RowSkipped(skipped, y)) {
      const float prestep = static_cast<float>(xs) - leftX;
      float at[RI_COUNT];
      for (int i = 0; i < RI_COUNT; ++i)
        at[i] = (Set & (1u << i)) ? value[i] + prestep * ddx[i] : 0.0f;
      const long offset = static_cast<long>(y) * pitch + xs;
      r.colour = colourBuffer + offset;
      r.depth = depthBuffer ? depthBuffer + offset : nullptr;
      if constexpr ((Set & kIz) != 0) r.z = Trunc(at[RI_IZ] * kDepthScale);
      if constexpr ((Set & kLevel) != 0) r.level = Trunc(at[RI_LEVEL] * kFixed);
      if constexpr ((Set & kRgb) != 0) {
        r.red = Trunc(at[RI_RED] * kFixed);
        r.green = Trunc(at[RI_GREEN] * kFixed);
        r.blue = Trunc(at[RI_BLUE] * kFixed);
      }
      r.count = xe - xs;
      draw(r, at);
    }
    leftX += leftSlope;
    rightX += rightSlope;
    for (int i = 0; i < RI_COUNT; ++i)
      if (Set & (1u << i)) value[i] += step[i];
  }
  s.left.x = leftX;
  s.right.x = rightX;
  for (int i = 0; i < RI_COUNT; ++i)
    if (Set & (1u << i)) s.leftValue[i] = value[i];
}

// Affine rows: every interpolant stepped linearly across the span.
template <unsigned Set, class Span>
inline void WalkAffineRows(int32_t firstRow, int32_t endRow, Span span) {
  SpanArgs r = TriangleSteps();
  WalkRows<Set>(firstRow, endRow, r, [&span](SpanArgs& row, const float* at) {
    row.u = Trunc(at[RI_U] * kFixed);
    row.v = Trunc(at[RI_V] * kFixed);
    span(row);
  });
}

// Perspective rows: 1/z, u/z and v/z are stepped across the span and the true
// u, v are found every 16 pixels; the span interpolates linearly in between.
// The last, shorter piece divides at its own end so the row finishes on the
// right texel.
template <unsigned Set, class Span>
inline void WalkPerspectiveRows(int32_t firstRow, int32_t endRow, Span span) {
  const RasterStateRecord& s = RasterState;
  const float diz = s.ddx[RI_IZ], duz = s.ddx[RI_U], dvz = s.ddx[RI_V];
  const float iz16 = 16.0f * diz, uz16 = 16.0f * duz, vz16 = 16.0f * dvz;
  SpanArgs r = TriangleSteps();
  WalkRows<Set>(firstRow, endRow, r, [&](SpanArgs& row, const float* at) {
    float iz = at[RI_IZ], uz = at[RI_U], vz = at[RI_V];
    float inv = kFixed / iz;
    int32_t u0 = Trunc(uz * inv), v0 = Trunc(vz * inv);
    iz += iz16;
    uz += uz16;
    vz += vz16;
    inv = kFixed / iz;
    for (int32_t left = row.count; left > 0; left -= 16) {
      int32_t u1, v1;
      if (left < 16) {
        const float f = static_cast<float>(16 - left);
        const float invEnd = kFixed / (iz - f * diz);
        u1 = Trunc((uz - f * duz) * invEnd);
        v1 = Trunc((vz - f * dvz) * invEnd);
        row.du = WrapSub(u1, u0) / left;
        row.dv = WrapSub(v1, v0) / left;
        row.count = left;
      } else {
        u1 = Trunc(uz * inv);
        v1 = Trunc(vz * inv);
        iz += iz16;
        uz += uz16;
        vz += vz16;
        row.du = WrapSub(u1, u0) >> 4;
        row.dv = WrapSub(v1, v0) >> 4;
        row.count = 16;
      }
      inv = kFixed / iz;
      row.u = u0;
      row.v = v0;
      span(row);
      u0 = u1;
      v0 = v1;
    }
  });
}

}  // namespace
