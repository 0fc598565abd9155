// The span family: the per-pixel inner loops. Each draws RasterState.count
// pixels of one row from RasterState.colour, fetching one texel per pixel
// through the material's shift-and-mask addressing (textures repeat both
// ways), and stores its advanced pointers and interpolants back so that the
// next 16-pixel piece of a perspective row continues without a break.
//
// Every interpolant steps on every pixel, also where the depth test failed.
// Depth passes when the new value is greater than or equal to the stored one.
// Products and saturating sums are those of MulTable and AddTable, which fix
// the rounding of every output pixel. The loops themselves are in
// span_loops.h, one template per loop shape.
#include "raster/span_loops.h"

#include "show/fade.h"

namespace {

// MulTable entry for channel value c at a 16.16 level: row c, column the
// level's integer part, not masked, so a level that strays just below 0 at a
// triangle's rim reads the end of the row before (c = 5 at level -1 gives
// Mul[4][255]). Only an entry beyond either end of the table is held at that
// end. This reading of the table is why shading keeps its own loop.
inline uint32_t ShadeEntry(uint32_t c, int32_t level) {
  const int32_t i = static_cast<int32_t>(c) * 256 + (level >> 16);
  return MulTable[i < 0 ? 0 : (i > 0xFFFF ? 0xFFFF : i)];
}

using Plain = SpanFamily<Scalar>;
using Four = SpanFamily<Sse2>;

}  // namespace

// Calls the selected routine unless the edges have crossed.
void SpanGuard() {
  if (RasterState.count >= 0) RasterState.span();
}

// Plain texture copy with depth: the common opaque surface.
void SpanCopyDepth() { Plain::CopyDepth(); }
// Texture copy over whatever is there; the depth buffer is not touched.
void SpanCopy() { Plain::Copy(); }
// Texel lit per channel with depth. Level 255 gives at most 254.
void SpanRgbDepth() { Plain::RgbDepth(); }
// Texel lit per channel, no depth.
void SpanRgb() { Plain::Rgb(); }
// Half texel plus half frame, with depth (Mul[128][c] is c >> 1 for every c).
void SpanHalfDepth() { Plain::HalfDepth(); }
// Lit texel added onto the frame behind the depth test, without writing depth:
// glows and flares that must not hide what is drawn after them.
void SpanAddLevelTest() { Plain::AddLevelTest(); }
// Lit texel added onto the frame, with depth test and write.
void SpanAddLevelDepth() { Plain::AddLevelDepth(); }
// Texel scaled by the opacity row taken at mode selection, added onto the
// frame; no depth.
void SpanAddOpacity() { Plain::AddOpacity(); }
// The same with depth test and write.
void SpanAddOpacityDepth() { Plain::AddOpacityDepth(); }

// Texel darkened by one light level, no depth. The caller keeps the level
// within 0..255; its integer part is used as it is.
void SpanShade() {
  RasterStateRecord& s = RasterState;
  const Addressing a{s.texels, s.uShift & 31, s.uMask, s.vShift & 31, s.vMask};
  uint32_t* dst = s.colour;
  int32_t u = s.u, v = s.v, level = s.level;
  const int32_t du = s.du, dv = s.dv, dlevel = s.dlevel;
  for (int32_t n = s.count; n > 0; --n) {
    const uint32_t t = FetchOne(a, u, v);
    *dst++ = (ShadeEntry((t >> 16) & 0xFF, level) << 16) | (ShadeEntry((t >> 8) & 0xFF, level) << 8) |
             ShadeEntry(t & 0xFF, level);
    u = Step(u, du);
    v = Step(v, dv);
    level = Step(level, dlevel);
  }
  s.colour = dst;
  s.u = u;
  s.v = v;
  s.level = level;
}

const SpanRoutines& PlainSpans() {
  static const SpanRoutines table = {SpanCopyDepth,    SpanCopy,          SpanShade,
                                     SpanRgbDepth,     SpanRgb,           SpanHalfDepth,
                                     SpanAddLevelTest, SpanAddLevelDepth, SpanAddOpacity,
                                     SpanAddOpacityDepth};
  return table;
}

const SpanRoutines& Sse2Spans() {
  static const SpanRoutines table = Four::Table(SpanShade);
  return table;
}

const SpanRoutines& ActiveSpans() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (!HasMmx()) return PlainSpans();
  return avx2 ? Avx2Spans() : Sse2Spans();
}
