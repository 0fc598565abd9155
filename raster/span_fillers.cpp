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
#include "platform/system.h"
#include "raster/span_loops.h"

#include "show/fade.h"

namespace {

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
void SpanShade() { Plain::Shade(); }

const SpanRoutines& PlainSpans() {
  static const SpanRoutines table = {SpanCopyDepth,    SpanCopy,          SpanShade,
                                     SpanRgbDepth,     SpanRgb,           SpanHalfDepth,
                                     SpanAddLevelTest, SpanAddLevelDepth, SpanAddOpacity,
                                     SpanAddOpacityDepth, RowWalkers{}};
  return table;
}

const SpanRoutines& Sse2Spans() {
  static const SpanRoutines table = Four::Table(SpanShade);
  return table;
}

const SpanRoutines& ActiveSpans() {
  if (!HasMmx()) return PlainSpans();
#if KV_X86_EXTENSIONS
  if (PlatformHasAvx2()) return Avx2Spans();
#endif
  return Sse2Spans();
}
