// Triangle set-up, section walking and the render-mode table.
//
// A triangle is sorted by y and split at its middle vertex into a top and a
// bottom section. Rows Y = ceil(y) are walked from ceil(y0) to ceil(y2) - 1
// and a row covers the pixels xLeft <= x < xRight, so two triangles sharing an
// edge draw each pixel along it once. Interpolants live on the left edge only
// and are stepped to each span's first pixel centre. All set-up arithmetic is
// single precision; every conversion to an integer truncates.
//
// Nothing outside the target is written whatever the vertices hold: rows are
// kept within 0 .. height - 1 and span ends within 0 .. width, with the
// interpolants taken at the first pixel actually drawn. Triangles inside the
// target are drawn exactly as without these limits.
#include <algorithm>
#include <cstdint>

#include "raster/row_walk.h"
#if KV_X86_EXTENSIONS
#include <emmintrin.h>
#endif

namespace {

template <bool Perspective>
float VertexValue(const ScreenVertex* p, int i) {
  switch (i) {
    case RI_U: return Perspective ? p->u / p->z : p->u;
    case RI_V: return Perspective ? p->v / p->z : p->v;
    case RI_IZ: return 1.0f / p->z;
    case RI_LEVEL: return p->level;
    case RI_RED: return p->red;
    case RI_GREEN: return p->green;
    default: return p->blue;
  }
}

// Steps 1 to 7 shared by every set-up: y write-back, sort, row limits, area,
// slopes, long-edge side, copies of the material and target. Returns false
// when the triangle covers no row or has no area.
bool CommonSetup() {
  RasterStateRecord& s = RasterState;
  ScreenVertex* a = s.v0;
  ScreenVertex* b = s.v1;
  ScreenVertex* c = s.v2;
  if (!a || !b || !c) return false;

  // Vertices above row 1 are squashed onto row 0; the caller sees the change.
  if (a->y < 1.0f) a->y = 0.0f;
  if (b->y < 1.0f) b->y = 0.0f;
  if (c->y < 1.0f) c->y = 0.0f;

  ScreenVertex* t;
  if (c->y < b->y) t = b, b = c, c = t;
  if (c->y < a->y) t = a, a = c, c = t;
  if (b->y < a->y) t = a, a = b, b = t;
  s.sorted[0] = a;
  s.sorted[1] = b;
  s.sorted[2] = c;

  s.rowLimit[0] = CeilWithin(a->y, 0, s.target.height);
  s.rowLimit[1] = CeilWithin(b->y, 0, s.target.height);
  s.rowLimit[2] = CeilWithin(c->y, 0, s.target.height);
  if (s.rowLimit[0] == s.rowLimit[1] && s.rowLimit[1] == s.rowLimit[2]) return false;
  if (AllRowsSkipped(s.skippedBands, s.rowLimit[0], s.rowLimit[2])) return false;

  const float dx01 = b->x - a->x, dy01 = b->y - a->y;
  const float dx02 = c->x - a->x, dy02 = c->y - a->y;
  const float dx12 = c->x - b->x, dy12 = c->y - b->y;
  const float area = dx02 * dy01 - dx01 * dy02;
  if (area == 0.0f) return false;
  s.invArea = 1.0f / area;

  // A horizontal edge's slope is never read; keep it defined all the same.
  s.slope01 = dy01 > 0.0f ? dx01 / dy01 : 0.0f;
  s.slope02 = dy02 > 0.0f ? dx02 / dy02 : 0.0f;
  s.slope12 = dy12 > 0.0f ? dx12 / dy12 : 0.0f;
  s.longEdgeRight = s.slope02 > s.slope01 ? 1 : 0;
  if (a->y == b->y) s.longEdgeRight = a->x > b->x ? 1 : 0;
  if (b->y == c->y) s.longEdgeRight = c->x > b->x ? 1 : 0;

  const Material* m = s.material;
  s.uShift = m->uShift;
  s.uMask = m->uMask;
  s.vShift = m->vShift;
  s.vMask = m->vMask;
  s.texels = m->texels;
  s.colourBuffer = s.target.colour;
  s.depthBuffer = s.target.depth;
  s.pitch = s.target.pitch;
  s.width = s.target.width;
  s.height = s.target.height;
  return true;
}

// Gradients of the interpolants in Set across x and down y.
template <unsigned Set, bool Perspective>
void Gradients() {
  RasterStateRecord& s = RasterState;
  const ScreenVertex* a = s.sorted[0];
  const ScreenVertex* b = s.sorted[1];
  const ScreenVertex* c = s.sorted[2];
  const float dx01 = b->x - a->x, dy01 = b->y - a->y;
  const float dx02 = c->x - a->x, dy02 = c->y - a->y;
  for (int i = 0; i < RI_COUNT; ++i) {
    if (!(Set & (1u << i))) continue;
    const float d1 = VertexValue<Perspective>(b, i) - VertexValue<Perspective>(a, i);
    const float d2 = VertexValue<Perspective>(c, i) - VertexValue<Perspective>(a, i);
    s.ddx[i] = s.invArea * (d2 * dy01 - d1 * dy02);
    s.ddy[i] = s.invArea * (d1 * dx02 - d2 * dx01);
  }
  // Per-pixel fixed-point steps; perspective u and v get theirs per piece.
  if constexpr (!Perspective) {
    s.du = Trunc(s.ddx[RI_U] * kFixed);
    s.dv = Trunc(s.ddx[RI_V] * kFixed);
  }
  if constexpr ((Set & kIz) != 0) s.dz = Trunc(s.ddx[RI_IZ] * kDepthScale);
  if constexpr ((Set & kLevel) != 0) s.dlevel = Trunc(s.ddx[RI_LEVEL] * kFixed);
  if constexpr ((Set & kRgb) != 0) {
    s.dred = Trunc(s.ddx[RI_RED] * kFixed);
    s.dgreen = Trunc(s.ddx[RI_GREEN] * kFixed);
    s.dblue = Trunc(s.ddx[RI_BLUE] * kFixed);
  }
}

void EnterRight(const ScreenVertex* a, float slope, int32_t row) {
  RasterStateRecord& s = RasterState;
  s.right.slope = slope;
  s.right.x = a->x + (static_cast<float>(row) - a->y) * slope;
}

// The left edge also carries the interpolants, stepped by their change along
// the edge per row.
template <unsigned Set, bool Perspective>
void EnterLeft(const ScreenVertex* a, float slope, int32_t row) {
  RasterStateRecord& s = RasterState;
  const float prestep = static_cast<float>(row) - a->y;
  s.left.slope = slope;
  s.left.x = a->x + prestep * slope;
  for (int i = 0; i < RI_COUNT; ++i) {
    if (!(Set & (1u << i))) continue;
    s.leftStep[i] = s.ddy[i] + slope * s.ddx[i];
    s.leftValue[i] = VertexValue<Perspective>(a, i) + prestep * s.leftStep[i];
  }
}

// Walks the top section (rows Y0 .. Y1 - 1) and the bottom one (Y1 .. Y2 - 1).
// The long edge v0-v2 runs through both; the short edge changes at v1.
template <unsigned Set, bool Perspective>
void WalkSections() {
  RasterStateRecord& s = RasterState;
  const ScreenVertex* a = s.sorted[0];
  const ScreenVertex* b = s.sorted[1];
  const int32_t y0 = s.rowLimit[0], y1 = s.rowLimit[1], y2 = s.rowLimit[2];
  if (!s.longEdgeRight) {
    EnterLeft<Set, Perspective>(a, s.slope02, y0);
    if (y0 < y1) {
      EnterRight(a, s.slope01, y0);
      s.walker(y0, y1);
    }
    if (y1 < y2) {
      EnterRight(b, s.slope12, y1);
      s.walker(y1, y2);
    }
  } else {
    EnterRight(a, s.slope02, y0);
    if (y0 < y1) {
      EnterLeft<Set, Perspective>(a, s.slope01, y0);
      s.walker(y0, y1);
    }
    if (y1 < y2) {
      EnterLeft<Set, Perspective>(b, s.slope12, y1);
      s.walker(y1, y2);
    }
  }
}

template <unsigned Set, bool Perspective>
void SetupTriangle() {
  if (!CommonSetup()) return;
  Gradients<Set, Perspective>();
  WalkSections<Set, Perspective>();
}

// The plain walkers: each span handed to the selected routine through
// RasterState, its advanced values taken back for the next piece.
void SpanThroughState(SpanArgs& r) {
  RasterStateRecord& s = RasterState;
  s.colour = r.colour;
  s.depth = r.depth;
  s.count = r.count;
  s.u = r.u;
  s.du = r.du;
  s.v = r.v;
  s.dv = r.dv;
  s.z = r.z;
  s.level = r.level;
  s.red = r.red;
  s.green = r.green;
  s.blue = r.blue;
  SpanGuard();
  r.colour = s.colour;
  r.depth = s.depth;
  r.z = s.z;
  r.level = s.level;
  r.red = s.red;
  r.green = s.green;
  r.blue = s.blue;
}

template <unsigned Set>
void WalkAffine(int32_t firstRow, int32_t endRow) {
  WalkAffineRows<Set>(firstRow, endRow, SpanThroughState);
}

template <unsigned Set>
void WalkPerspective(int32_t firstRow, int32_t endRow) {
  WalkPerspectiveRows<Set>(firstRow, endRow, SpanThroughState);
}

// Silhouette rows: edges in 16.16, covered pixels filled, no texture and no
// depth. The float edges keep stepping too, so a long edge enters the bottom
// section where the other walkers have it. Fill(y, first, end) covers the
// pixels first .. end - 1 of row y. The edges are stepped in locals: the
// rows' stores could otherwise be the edges to the compiler, which would
// then store and reload them every row.
template <class Fill>
void WalkSilhouetteEdges(int32_t firstRow, int32_t endRow, int64_t width, RasterEdge& left,
                         RasterEdge& right, Fill fill) {
  int32_t xl = Trunc(left.x * kFixed), xr = Trunc(right.x * kFixed);
  const int32_t sl = Trunc(left.slope * kFixed), sr = Trunc(right.slope * kFixed);
  float leftX = left.x, rightX = right.x;
  const float leftSlope = left.slope, rightSlope = right.slope;
  for (int32_t y = firstRow; y < endRow; ++y) {
    int64_t xs = (static_cast<int64_t>(xl) + 0xFFFF) >> 16;
    int64_t xe = (static_cast<int64_t>(xr) + 0xFFFF) >> 16;
    xs = xs < 0 ? 0 : (xs > width ? width : xs);
    xe = xe < 0 ? 0 : (xe > width ? width : xe);
    if (xe > xs) fill(y, xs, xe);
    xl = static_cast<int32_t>(static_cast<uint32_t>(xl) + static_cast<uint32_t>(sl));
    xr = static_cast<int32_t>(static_cast<uint32_t>(xr) + static_cast<uint32_t>(sr));
    leftX += leftSlope;
    rightX += rightSlope;
  }
  left.x = leftX;
  right.x = rightX;
}

void WalkSilhouette(int32_t firstRow, int32_t endRow) {
  RasterStateRecord& s = RasterState;
  uint32_t* const colour = s.colourBuffer;
  const long pitch = s.pitch;
  const uint32_t skipped = s.skippedBands;
  const uint32_t value = s.silhouetteColour;
  WalkSilhouetteEdges(firstRow, endRow, s.width, s.left, s.right,
                      [=](int32_t y, int64_t xs, int64_t xe) {
                        if (RowSkipped(skipped, y)) return;
                        uint32_t* row = colour + static_cast<long>(y) * pitch;
                        std::fill(row + xs, row + xe, value);
                      });
}

// An element keeps the smaller of its stamp and the new one: within a pass
// stamps are set in increasing order, so the first stays, and stamps left by
// earlier passes are all larger. Another thread may be reading the row: each
// element is one aligned 32-bit word, written whole with its old value or
// the stamp, and the reader's relaxed loads take either (the race detector
// is told not to see these writes, as vector stores have no atomic form).
__attribute__((no_sanitize("thread"))) void StampRow(uint32_t* row, int64_t xs, int64_t xe,
                                                      uint32_t stamp) {
  uint32_t* p = row + xs;
  int64_t n = xe - xs;
#if KV_X86_EXTENSIONS
  // Unsigned order as signed order, the top bit flipped on both sides.
  const __m128i flip = _mm_set1_epi32(INT32_MIN);
  const __m128i value = _mm_set1_epi32(static_cast<int32_t>(stamp));
  const __m128i flippedValue = _mm_xor_si128(value, flip);
  for (; n >= 4; n -= 4, p += 4) {
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i larger = _mm_cmpgt_epi32(_mm_xor_si128(old, flip), flippedValue);
    if (_mm_movemask_epi8(larger) != 0)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                       _mm_or_si128(_mm_and_si128(larger, value), _mm_andnot_si128(larger, old)));
  }
#endif
  for (; n > 0; --n, ++p)
    if (*p > stamp) *p = stamp;
}

// One triangle of stamps, covering the very pixels a silhouette covers:
// the same squash onto row 0, order by y, row limits, area and slopes as
// CommonSetup, and the same edges as WalkSections, kept in locals (a shadow
// triangle is a few pixels, and the set-up through RasterState costs more
// than its rows).
struct StampCorner {
  float x, y;
};

void StampTriangle(uint32_t* stamps, const RenderTarget& target, StampCorner a, StampCorner b,
                   StampCorner c, uint32_t stamp) {
  if (a.y < 1.0f) a.y = 0.0f;
  if (b.y < 1.0f) b.y = 0.0f;
  if (c.y < 1.0f) c.y = 0.0f;
  if (c.y < b.y) std::swap(b, c);
  if (c.y < a.y) std::swap(a, c);
  if (b.y < a.y) std::swap(a, b);
  const int32_t y0 = CeilWithin(a.y, 0, target.height);
  const int32_t y1 = CeilWithin(b.y, 0, target.height);
  const int32_t y2 = CeilWithin(c.y, 0, target.height);
  if (y0 == y1 && y1 == y2) return;
  const float dx01 = b.x - a.x, dy01 = b.y - a.y;
  const float dx02 = c.x - a.x, dy02 = c.y - a.y;
  const float dx12 = c.x - b.x, dy12 = c.y - b.y;
  if (dx02 * dy01 - dx01 * dy02 == 0.0f) return;
  const float slope01 = dy01 > 0.0f ? dx01 / dy01 : 0.0f;
  const float slope02 = dy02 > 0.0f ? dx02 / dy02 : 0.0f;
  const float slope12 = dy12 > 0.0f ? dx12 / dy12 : 0.0f;
  bool longEdgeRight = slope02 > slope01;
  if (a.y == b.y) longEdgeRight = a.x > b.x;
  if (b.y == c.y) longEdgeRight = c.x > b.x;

  auto enter = [](StampCorner from, float slope, int32_t row) {
    return RasterEdge{from.x + (static_cast<float>(row) - from.y) * slope, slope};
  };
  const long pitch = target.pitch;
  auto stampRow = [=](int32_t y, int64_t xs, int64_t xe) {
    StampRow(stamps + static_cast<long>(y) * pitch, xs, xe, stamp);
  };
  RasterEdge longEdge = enter(a, slope02, y0), shortEdge{};
  RasterEdge& left = longEdgeRight ? shortEdge : longEdge;
  RasterEdge& right = longEdgeRight ? longEdge : shortEdge;
  if (y0 < y1) {
    shortEdge = enter(a, slope01, y0);
    WalkSilhouetteEdges(y0, y1, target.width, left, right, stampRow);
  }
  if (y1 < y2) {
    shortEdge = enter(b, slope12, y1);
    WalkSilhouetteEdges(y1, y2, target.width, left, right, stampRow);
  }
}

void SetupSilhouette() {
  if (!CommonSetup()) return;
  WalkSections<0, false>();
}

void Select(TriangleSetupFn setup, SectionWalkerFn walker, SpanRoutineFn span, int32_t usesDepth) {
  RasterState.setup = setup;
  RasterState.walker = walker;
  RasterState.span = span;
  RasterState.usesDepth = usesDepth;
}

// L = opacity * 255 truncated and kept within 0..255, from the material
// current now; the row stays with the mode until the mode changes.
void SelectOpacityRow() {
  const Material* m = RasterState.material;
  int32_t level = m ? Trunc(m->opacity * 255.0f) : 0;
  if (level < 0) level = 0;
  if (level > 255) level = 255;
  RasterState.opacityRow = MulTable + level * 256;
}

}  // namespace

void SelectRenderMode(int32_t mode) {
  RasterState.mode = mode;
  const SpanRoutines& k = ActiveSpans();
  // The SIMD switch may change after a selection; the set is kept to see it.
  RasterState.selectedSet = &k;
  const bool rgb = mode & RM_RGBLIT, shade = mode & RM_SHADE, half = mode & RM_HALF;
  const bool add = mode & RM_ADD, opacity = mode & RM_OPACITY;
  const bool perspective = mode & RM_PERSPECTIVE, noDepth = mode & RM_NODEPTH;

  // A set with row walkers of its own walks with those, the span loop
  // inlined; otherwise the plain walker calls the routine per span.
  const RowWalkers& w = k.walkers;
  auto walk = [](SectionWalkerFn own, SectionWalkerFn plain) { return own ? own : plain; };

  // First matching row decides.
  if (mode == RM_SILHOUETTE) {
    Select(SetupSilhouette, WalkSilhouette, nullptr, 0);
  } else if (shade && !perspective) {
    Select(SetupTriangle<kAffineUVLevel, false>, walk(w.shade, WalkAffine<kAffineUVLevel>),
           k.shade, 0);
  } else if (add && !perspective && !opacity) {
    Select(SetupTriangle<kAffineUVLevelZ, false>,
           walk(w.addLevelTest, WalkAffine<kAffineUVLevelZ>), k.addLevelTest, 1);
  } else if (add && perspective && opacity) {
    Select(SetupTriangle<kUVZ, true>, walk(w.addOpacityDepth, WalkPerspective<kUVZ>),
           k.addOpacityDepth, 1);
    SelectOpacityRow();
  } else if (add && opacity) {
    Select(SetupTriangle<kAffineUV, false>, walk(w.addOpacity, WalkAffine<kAffineUV>),
           k.addOpacity, 0);
    SelectOpacityRow();
  } else if (add) {
    Select(SetupTriangle<kAffineUVLevelZ, false>,
           walk(w.addLevelDepth, WalkAffine<kAffineUVLevelZ>), k.addLevelDepth, 1);
  } else if (rgb && perspective) {
    Select(SetupTriangle<kUVZRgb, true>,
           walk(noDepth ? w.rgbPerspective : w.rgbDepthPerspective, WalkPerspective<kUVZRgb>),
           noDepth ? k.rgb : k.rgbDepth, !noDepth);
  } else if (rgb) {
    Select(SetupTriangle<kUVZRgb, false>, walk(noDepth ? w.rgb : w.rgbDepth, WalkAffine<kUVZRgb>),
           noDepth ? k.rgb : k.rgbDepth, !noDepth);
  } else if (perspective) {
    if (half)
      Select(SetupTriangle<kUVZ, true>, walk(w.halfDepthPerspective, WalkPerspective<kUVZ>),
             k.halfDepth, 1);
    else if (noDepth)
      Select(SetupTriangle<kUVZ, true>, walk(w.copyPerspective, WalkPerspective<kUVZ>), k.copy, 0);
    else
      Select(SetupTriangle<kUVZ, true>, walk(w.copyDepthPerspective, WalkPerspective<kUVZ>),
             k.copyDepth, 1);
  } else {
    Select(SetupTriangle<kUVZ, false>, walk(w.copyDepth, WalkAffine<kUVZ>), k.copyDepth, 1);
  }
}

// A triangle the target cannot take is dropped rather than drawn through a
// null pointer: no material, no colour buffer, a depth mode without a depth
// buffer, or a textured mode without texels.
void DrawTriangleHere() {
  RasterStateRecord& s = RasterState;
  if (!s.setup) {
    ScreenVertex* v0 = s.v0;
    ScreenVertex* v1 = s.v1;
    ScreenVertex* v2 = s.v2;
    InitRasterizer();
    s.v0 = v0;
    s.v1 = v1;
    s.v2 = v2;
  }
  const Material* m = s.material;
  if (!m) return;
  if (m->mode != s.mode || s.selectedSet != &ActiveSpans()) SelectRenderMode(m->mode);
  const RenderTarget& t = s.target;
  if (!t.colour || t.width <= 0 || t.height <= 0) return;
  if (s.usesDepth && !t.depth) return;
  if (s.mode != RM_SILHOUETTE && !m->texels) return;
  s.setup();
}

void StampShadowFan(uint32_t* stamps, const RenderTarget& target, const float* x, const float* y,
                    int count, uint32_t stamp) {
  if (!stamps || target.width <= 0 || target.height <= 0) return;
  for (int k = 1; k + 1 < count; k++)
    StampTriangle(stamps, target, {x[0], y[0]}, {x[k], y[k]}, {x[k + 1], y[k + 1]}, stamp);
}
