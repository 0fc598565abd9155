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
#include <cmath>

#include "raster/raster.h"

namespace {

constexpr unsigned kU = 1u << RI_U;
constexpr unsigned kV = 1u << RI_V;
constexpr unsigned kIz = 1u << RI_IZ;
constexpr unsigned kLevel = 1u << RI_LEVEL;
constexpr unsigned kRgb = (1u << RI_RED) | (1u << RI_GREEN) | (1u << RI_BLUE);

constexpr float kDepthScale = 1e9f;
constexpr float kFixed = 65536.0f;

// Float to int32 truncating towards zero; values outside the int32 range and
// NaN give INT32_MIN, as the processor's own conversion does.
inline int32_t Trunc(float f) {
  if (f > -2147483904.0f && f < 2147483648.0f) return static_cast<int32_t>(f);
  return INT32_MIN;
}

// ceil(f) kept within lo .. hi (NaN gives lo).
inline int32_t CeilWithin(float f, int32_t lo, int32_t hi) {
  const float c = std::ceil(f);
  if (!(c > static_cast<float>(lo))) return lo;
  if (c >= static_cast<float>(hi)) return hi;
  return static_cast<int32_t>(c);
}

inline int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

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

// Advances both edges and the left-edge interpolants by one row.
template <unsigned Set>
inline void NextRow() {
  RasterStateRecord& s = RasterState;
  s.left.x += s.left.slope;
  s.right.x += s.right.slope;
  for (int i = 0; i < RI_COUNT; ++i)
    if (Set & (1u << i)) s.leftValue[i] += s.leftStep[i];
}

// The interpolants at the row's first pixel (stepped over from the left
// edge into at), the span start pointers, depth and light levels.
template <unsigned Set>
inline void StartSpan(int32_t y, int32_t xs, float* at) {
  RasterStateRecord& s = RasterState;
  const float prestep = static_cast<float>(xs) - s.left.x;
  for (int i = 0; i < RI_COUNT; ++i)
    at[i] = (Set & (1u << i)) ? s.leftValue[i] + prestep * s.ddx[i] : 0.0f;
  const long offset = static_cast<long>(y) * s.pitch + xs;
  s.colour = s.colourBuffer + offset;
  s.depth = s.depthBuffer ? s.depthBuffer + offset : nullptr;
  if constexpr ((Set & kIz) != 0) s.z = Trunc(at[RI_IZ] * kDepthScale);
  if constexpr ((Set & kLevel) != 0) s.level = Trunc(at[RI_LEVEL] * kFixed);
  if constexpr ((Set & kRgb) != 0) {
    s.red = Trunc(at[RI_RED] * kFixed);
    s.green = Trunc(at[RI_GREEN] * kFixed);
    s.blue = Trunc(at[RI_BLUE] * kFixed);
  }
}

// Affine rows: every interpolant stepped linearly across the span.
// Every row of a section: the span's ends within the target, and for a row
// that covers a pixel its start values, handed to draw(xs, xe, at).
template <unsigned Set, class Draw>
inline void WalkRows(int32_t firstRow, int32_t endRow, Draw draw) {
  RasterStateRecord& s = RasterState;
  for (int32_t y = firstRow; y < endRow; ++y) {
    const int32_t xs = CeilWithin(s.left.x, 0, s.width);
    const int32_t xe = CeilWithin(s.right.x, 0, s.width);
    if (xe > xs) {
      float at[RI_COUNT];
      StartSpan<Set>(y, xs, at);
      draw(xs, xe, at);
    }
    NextRow<Set>();
  }
}

template <unsigned Set>
void WalkAffine(int32_t firstRow, int32_t endRow) {
  RasterStateRecord& s = RasterState;
  WalkRows<Set>(firstRow, endRow, [&s](int32_t xs, int32_t xe, const float* at) {
    s.u = Trunc(at[RI_U] * kFixed);
    s.v = Trunc(at[RI_V] * kFixed);
    s.count = xe - xs;
    SpanGuard();
  });
}

// Perspective rows: 1/z, u/z and v/z are stepped across the span and the true
// u, v are found every 16 pixels; the span routine interpolates linearly in
// between. The last, shorter piece divides at its own end so the row finishes
// on the right texel.
template <unsigned Set>
void WalkPerspective(int32_t firstRow, int32_t endRow) {
  RasterStateRecord& s = RasterState;
  const float diz = s.ddx[RI_IZ], duz = s.ddx[RI_U], dvz = s.ddx[RI_V];
  const float iz16 = 16.0f * diz, uz16 = 16.0f * duz, vz16 = 16.0f * dvz;
  WalkRows<Set>(firstRow, endRow, [&](int32_t xs, int32_t xe, const float* at) {
    float iz = at[RI_IZ], uz = at[RI_U], vz = at[RI_V];
    float inv = kFixed / iz;
    int32_t u0 = Trunc(uz * inv), v0 = Trunc(vz * inv);
    iz += iz16;
    uz += uz16;
    vz += vz16;
    inv = kFixed / iz;
    for (int32_t r = xe - xs; r > 0; r -= 16) {
      int32_t u1, v1;
      if (r < 16) {
        const float f = static_cast<float>(16 - r);
        const float invEnd = kFixed / (iz - f * diz);
        u1 = Trunc((uz - f * duz) * invEnd);
        v1 = Trunc((vz - f * dvz) * invEnd);
        s.du = WrapSub(u1, u0) / r;
        s.dv = WrapSub(v1, v0) / r;
        s.count = r;
      } else {
        u1 = Trunc(uz * inv);
        v1 = Trunc(vz * inv);
        iz += iz16;
        uz += uz16;
        vz += vz16;
        s.du = WrapSub(u1, u0) >> 4;
        s.dv = WrapSub(v1, v0) >> 4;
        s.count = 16;
      }
      inv = kFixed / iz;
      s.u = u0;
      s.v = v0;
      SpanGuard();
      u0 = u1;
      v0 = v1;
    }
  });
}

// Silhouette rows: edges in 16.16, covered pixels set to the silhouette
// colour, no texture and no depth. The float edges keep stepping too, so a
// long edge enters the bottom section where the other walkers have it.
void WalkSilhouette(int32_t firstRow, int32_t endRow) {
  RasterStateRecord& s = RasterState;
  int32_t xl = Trunc(s.left.x * kFixed), xr = Trunc(s.right.x * kFixed);
  const int32_t sl = Trunc(s.left.slope * kFixed), sr = Trunc(s.right.slope * kFixed);
  const int64_t width = s.width;
  for (int32_t y = firstRow; y < endRow; ++y) {
    int64_t xs = (static_cast<int64_t>(xl) + 0xFFFF) >> 16;
    int64_t xe = (static_cast<int64_t>(xr) + 0xFFFF) >> 16;
    xs = xs < 0 ? 0 : (xs > width ? width : xs);
    xe = xe < 0 ? 0 : (xe > width ? width : xe);
    uint32_t* p = s.colourBuffer + static_cast<long>(y) * s.pitch + xs;
    for (int64_t n = xe - xs; n > 0; --n) *p++ = s.silhouetteColour;
    xl = static_cast<int32_t>(static_cast<uint32_t>(xl) + static_cast<uint32_t>(sl));
    xr = static_cast<int32_t>(static_cast<uint32_t>(xr) + static_cast<uint32_t>(sr));
    s.left.x += s.left.slope;
    s.right.x += s.right.slope;
  }
}

void SetupSilhouette() {
  if (!CommonSetup()) return;
  WalkSections<0, false>();
}

constexpr unsigned kAffineUV = kU | kV;
constexpr unsigned kAffineUVLevel = kU | kV | kLevel;
constexpr unsigned kAffineUVLevelZ = kU | kV | kLevel | kIz;
constexpr unsigned kUVZ = kU | kV | kIz;
constexpr unsigned kUVZRgb = kU | kV | kIz | kRgb;

void Select(TriangleSetupFn setup, SectionWalkerFn walker, SpanRoutineFn span, int32_t usesDepth) {
  RasterState.setup = setup;
  RasterState.walker = walker;
  RasterState.span = span;
  RasterState.usesDepth = usesDepth;
}

// The span set the cached selection was made from; the SIMD switch may
// change after the first selection.
const SpanRoutines* selectedSpans = nullptr;

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
  selectedSpans = &k;
  const bool rgb = mode & RM_RGBLIT, shade = mode & RM_SHADE, half = mode & RM_HALF;
  const bool add = mode & RM_ADD, opacity = mode & RM_OPACITY;
  const bool perspective = mode & RM_PERSPECTIVE, noDepth = mode & RM_NODEPTH;

  // First matching row decides.
  if (mode == RM_SILHOUETTE) {
    Select(SetupSilhouette, WalkSilhouette, nullptr, 0);
  } else if (shade && !perspective) {
    Select(SetupTriangle<kAffineUVLevel, false>, WalkAffine<kAffineUVLevel>, k.shade, 0);
  } else if (add && !perspective && !opacity) {
    Select(SetupTriangle<kAffineUVLevelZ, false>, WalkAffine<kAffineUVLevelZ>, k.addLevelTest, 1);
  } else if (add && perspective && opacity) {
    Select(SetupTriangle<kUVZ, true>, WalkPerspective<kUVZ>, k.addOpacityDepth, 1);
    SelectOpacityRow();
  } else if (add && opacity) {
    Select(SetupTriangle<kAffineUV, false>, WalkAffine<kAffineUV>, k.addOpacity, 0);
    SelectOpacityRow();
  } else if (add) {
    Select(SetupTriangle<kAffineUVLevelZ, false>, WalkAffine<kAffineUVLevelZ>, k.addLevelDepth,
           1);
  } else if (rgb && perspective) {
    Select(SetupTriangle<kUVZRgb, true>, WalkPerspective<kUVZRgb>, noDepth ? k.rgb : k.rgbDepth,
           !noDepth);
  } else if (rgb) {
    Select(SetupTriangle<kUVZRgb, false>, WalkAffine<kUVZRgb>, noDepth ? k.rgb : k.rgbDepth,
           !noDepth);
  } else if (perspective) {
    if (half)
      Select(SetupTriangle<kUVZ, true>, WalkPerspective<kUVZ>, k.halfDepth, 1);
    else if (noDepth)
      Select(SetupTriangle<kUVZ, true>, WalkPerspective<kUVZ>, k.copy, 0);
    else
      Select(SetupTriangle<kUVZ, true>, WalkPerspective<kUVZ>, k.copyDepth, 1);
  } else {
    Select(SetupTriangle<kUVZ, false>, WalkAffine<kUVZ>, k.copyDepth, 1);
  }
}

// A triangle the target cannot take is dropped rather than drawn through a
// null pointer: no material, no colour buffer, a depth mode without a depth
// buffer, or a textured mode without texels.
void DrawTriangle() {
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
  if (m->mode != s.mode || selectedSpans != &ActiveSpans()) SelectRenderMode(m->mode);
  const RenderTarget& t = s.target;
  if (!t.colour || t.width <= 0 || t.height <= 0) return;
  if (s.usesDepth && !t.depth) return;
  if (s.mode != RM_SILHOUETTE && !m->texels) return;
  s.setup();
}
