// Triangle set-up, row and span coverage, texture addressing, perspective
// pieces, mode selection and the target limits, all through DrawTriangle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "image/picture.h"
#include "raster/raster.h"

namespace {

constexpr uint32_t kGuard = 0xDEADBEEF;

// A target of width x height placed inside a larger guarded buffer: rows of
// pitch pixels with a margin of guard rows above and below.
struct Canvas {
  int width, height, pitch, margin;
  std::vector<uint32_t> colour;
  std::vector<int32_t> depth;

  Canvas(int w, int h, int p = 0, int m = 0)
      : width(w), height(h), pitch(p ? p : w), margin(m),
        colour(static_cast<size_t>(pitch) * (h + 2 * m), kGuard),
        depth(colour.size(), static_cast<int32_t>(kGuard)) {
    Clear(0, 0);
  }
  void Clear(uint32_t c, int32_t z) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        colour[Index(x, y)] = c;
        depth[Index(x, y)] = z;
      }
  }
  size_t Index(int x, int y) const { return static_cast<size_t>(y + margin) * pitch + x; }
  uint32_t& At(int x, int y) { return colour[Index(x, y)]; }
  RenderTarget Target() {
    return {colour.data() + Index(0, 0), depth.data() + Index(0, 0), pitch, width, height};
  }
  bool GuardIntact() const {
    for (size_t i = 0; i < colour.size(); ++i) {
      const int y = static_cast<int>(i / pitch) - margin, x = static_cast<int>(i % pitch);
      if (y >= 0 && y < height && x < width) continue;
      if (colour[i] != kGuard || depth[i] != static_cast<int32_t>(kGuard)) return false;
    }
    return true;
  }
};

struct Texture {
  int width, height;
  std::vector<uint32_t> texels;
};

Texture Solid(uint32_t c) { return {32, 32, std::vector<uint32_t>(32 * 32, c)}; }

Material MakeMaterial(int32_t mode, const Texture& t, float opacity = 1.0f) {
  Material m{};
  m.mode = mode;
  m.sizeCode = TextureSizeCode(t.width, t.height);
  m.opacity = opacity;
  m.texels = t.texels.data();
  SetTextureAddressing(&m);
  return m;
}

ScreenVertex V(float x, float y, float u = 0, float v = 0, float z = 1) {
  return {x, y, z, 255, 255, 255, 255, u, v};
}

void Draw(Canvas& c, Material& m, ScreenVertex& a, ScreenVertex& b, ScreenVertex& d) {
  InitRasterizer();
  RasterState.v0 = &a;
  RasterState.v1 = &b;
  RasterState.v2 = &d;
  RasterState.material = &m;
  RasterState.target = c.Target();
  DrawTriangle();
}

struct Span {
  int row, first, end;  // pixels first .. end - 1
};

TEST(RasterTriangle, CoversExactlyTheRowsAndPixelsOfItsEdges) {
  struct Case {
    const char* what;
    ScreenVertex a, b, c;
    std::vector<Span> spans;  // every covered pixel, rows in any order
  };
  const std::vector<Case> cases = {
      {"rows 10.2 to 10.9 hold no pixel centre", V(0, 10.2f), V(20, 10.5f), V(0, 10.9f), {}},
      {"10 to 11 covers row 10 only", V(0, 10), V(20, 10), V(0, 11), {{10, 0, 20}}},
      {"two equal corners", V(5, 5), V(5, 5), V(30, 40), {}},
      {"three corners on one line", V(1, 1), V(10, 10), V(20, 20), {}},
      {"span 3.0 to 7.0", V(3, 0), V(7, 0), V(3, 1), {{0, 3, 7}}},
      {"span 3.2 to 7.0", V(3.2f, 0), V(7, 0), V(3.2f, 1), {{0, 4, 7}}},
      {"right-angled, hypotenuse on the right",
       V(0, 0), V(0, 4), V(4, 0),
       {{0, 0, 4}, {1, 0, 3}, {2, 0, 2}, {3, 0, 1}}},
      {"point at the bottom left, long edge on the left",
       V(8, 2), V(0, 6), V(16, 2),
       {{2, 8, 16}, {3, 6, 12}, {4, 4, 8}, {5, 2, 4}}},
      {"a vertex on the last row and the right edge", V(30, 28), V(32, 32), V(28, 32),
       {{29, 30, 31}, {30, 29, 31}, {31, 29, 32}}},
  };
  const Texture tex = Solid(0xFFFFFF);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Canvas c(32, 32);
    Material m = MakeMaterial(0, tex);
    ScreenVertex a = k.a, b = k.b, d = k.c;
    Draw(c, m, a, b, d);
    std::vector<uint32_t> expected(32 * 32, 0);
    for (const Span& s : k.spans)
      for (int x = s.first; x < s.end; ++x) expected[s.row * 32 + x] = 0xFFFFFF;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) EXPECT_EQ(c.At(x, y), expected[y * 32 + x]) << x << "," << y;
  }
}

TEST(RasterTriangle, VerticesAboveRowOneAreMovedToRowZeroInTheCallersRecord) {
  const Texture tex = Solid(0x808080);
  struct Case {
    float y;
    float writtenBack;
  };
  for (const Case k : {Case{-40, 0}, Case{0.5f, 0}, Case{0.999f, 0}, Case{1.0f, 1.0f}}) {
    SCOPED_TRACE(k.y);
    Canvas moved(24, 24), reference(24, 24);
    Material m = MakeMaterial(0, tex);
    ScreenVertex a = V(2, k.y), b = V(20, 12), d = V(4, 20);
    Draw(moved, m, a, b, d);
    EXPECT_EQ(a.y, k.writtenBack);
    EXPECT_EQ(b.y, 12.0f);
    ScreenVertex ra = V(2, k.writtenBack), rb = V(20, 12), rd = V(4, 20);
    Draw(reference, m, ra, rb, rd);
    EXPECT_EQ(moved.colour, reference.colour);
  }
}

// Distance from p to the segment a-b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

double Side(double px, double py, const ScreenVertex& a, const ScreenVertex& b) {
  return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

bool Inside(double px, double py, const ScreenVertex& a, const ScreenVertex& b,
            const ScreenVertex& c) {
  const double s1 = Side(px, py, a, b), s2 = Side(px, py, b, c), s3 = Side(px, py, c, a);
  return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
}

// Each draw adds 1 to every channel: opacity 255 of a texel of 2.
TEST(RasterTriangle, TrianglesSharingAnEdgeDrawEveryPixelOnce) {
  const Texture tex = Solid(0x020202);
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> px(0, 64), py(1, 48);
  int checkedNearEdge = 0;
  for (int iter = 0; iter < 400; ++iter) {
    ScreenVertex a = V(px(rng), py(rng)), b = V(px(rng), py(rng));
    ScreenVertex c = V(px(rng), py(rng)), d = V(px(rng), py(rng));
    if (iter % 4 == 0) a.x = std::floor(a.x), b.y = std::floor(b.y);  // corners on the grid too
    const double sc = Side(c.x, c.y, a, b), sd = Side(d.x, d.y, a, b);
    if (sc * sd >= 0 || std::fabs(sc) < 1 || std::fabs(sd) < 1) continue;
    Canvas canvas(64, 48);
    Material m = MakeMaterial(RM_ADD | RM_OPACITY, tex, 1.0f);
    // The shared edge is handed over in both orders.
    ScreenVertex a2 = a, b2 = b;
    Draw(canvas, m, a, b, c);
    Draw(canvas, m, d, b2, a2);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint32_t count = canvas.At(x, y) & 0xFF;
        ASSERT_LE(count, 1u) << "pixel " << x << "," << y << " drawn twice, pair " << iter;
        const double dOuter = std::min(
            std::min(SegmentDistance(x, y, a.x, a.y, c.x, c.y),
                     SegmentDistance(x, y, b.x, b.y, c.x, c.y)),
            std::min(SegmentDistance(x, y, a.x, a.y, d.x, d.y),
                     SegmentDistance(x, y, b.x, b.y, d.x, d.y)));
        if (dOuter < 0.01) continue;
        const bool inside = Inside(x, y, a, b, c) || Inside(x, y, a, b, d);
        ASSERT_EQ(count, inside ? 1u : 0u) << "pixel " << x << "," << y << ", pair " << iter;
        if (inside && SegmentDistance(x, y, a.x, a.y, b.x, b.y) < 0.5) ++checkedNearEdge;
      }
  }
  EXPECT_GT(checkedNearEdge, 500);
}

TEST(RasterTriangle, TextureCoordinatesWrapBothWaysFromTheFirstPixelCentre) {
  // 128 x 128 texture whose texel holds its column; u over a 256-pixel row
  // whose left end is at x = left.
  Texture tex{128, 128, std::vector<uint32_t>(128 * 128)};
  for (int i = 0; i < 128 * 128; ++i) tex.texels[i] = i % 128;
  struct Case {
    float left, u0, u1;
    int (*column)(int x);
  };
  const Case cases[] = {
      {0, 0, 512, [](int x) { return x % 128; }},   // two repetitions
      {0, -512, 0, [](int x) { return x % 128; }},  // the same from negative u
      {0, 0, -512, [](int x) { return (128 - x % 128) % 128; }},
      {0, -128, 128, [](int x) { return (x / 2 + 64) % 128; }},  // one repetition
      // u = 4 * (x - 0.5) at the first pixel centre, not 0 at the edge
      {0.5f, 0, 1024, [](int x) { return (2 * x - 1) % 128; }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.u1);
    Canvas c(320, 4);
    Material m = MakeMaterial(0, tex);
    ScreenVertex a = V(k.left, 0, k.u0), b = V(k.left + 256, 0, k.u1), d = V(k.left, 4, k.u0);
    Draw(c, m, a, b, d);
    const int first = static_cast<int>(std::ceil(k.left));
    for (int x = first; x < first + 256; ++x)
      ASSERT_EQ(c.At(x, 0), static_cast<uint32_t>(k.column(x))) << x;
    EXPECT_EQ(c.At(first + 256, 0), 0u);
  }
}

TEST(RasterTriangle, AddressingFindsEveryCornerTexelOfEachSize) {
  const int sides[] = {32, 64, 128, 256};
  int codesSeen = 0;
  for (int w : sides)
    for (int h : sides) {
      Material m{};
      m.sizeCode = TextureSizeCode(w, h);
      if (m.sizeCode == 0) continue;  // 32 x 32 .. 256 x 256 minus pairs without a code
      ++codesSeen;
      SetTextureAddressing(&m);
      EXPECT_EQ(m.textureReady, 1);
      for (int i : {0, 1, w - 1})
        for (int j : {0, 1, h - 1})
          for (int rep : {0, 1, -3}) {
            // Centre of texel (i, j) in one of several repetitions.
            const int32_t u = static_cast<int32_t>((256.0 * (i + 0.5) / w + 256 * rep) * 65536);
            const int32_t v = static_cast<int32_t>((256.0 * (j + 0.5) / h - 256 * rep) * 65536);
            const int32_t index = ((u >> m.uShift) & m.uMask) + ((v >> m.vShift) & m.vMask);
            EXPECT_EQ(index, j * w + i) << w << "x" << h << " texel " << i << "," << j;
          }
    }
  EXPECT_EQ(codesSeen, 16);
  for (int code : {0, 17, -1}) {
    Material m{};
    m.sizeCode = code;
    m.uShift = 99;
    SetTextureAddressing(&m);
    EXPECT_EQ(m.uShift, 99);
    EXPECT_EQ(m.textureReady, 0);
  }
}

// Records the pieces the perspective walker hands over, then draws them.
std::vector<int> pieces;
SpanRoutineFn recordedRoutine;
void RecordPiece() {
  pieces.push_back(RasterState.count);
  recordedRoutine();
}

TEST(RasterTriangle, TexturesFollowTheExactMappingAffineAndInPerspectivePieces) {
  // 256 x 256 texture whose texel holds (row << 8) | column.
  Texture tex{256, 256, std::vector<uint32_t>(256 * 256)};
  for (int i = 0; i < 256 * 256; ++i) tex.texels[i] = i;
  // Foreshortened: depth 1 on the left, 2 on the right. Magnified enough that
  // stepping linearly for 16 pixels stays within a texel of the projection,
  // while one linear step across the whole row would be several texels off.
  // Row 5 is 37 pixels long; the left edge leans.
  const ScreenVertex ka{10, 5, 1, 0, 0, 0, 0, 0, 0};
  const ScreenVertex kb{47, 5, 2, 0, 0, 0, 0, 24, 0};
  const ScreenVertex kd{22, 60, 1, 0, 0, 0, 0, 0, 32};

  // Exact texture position of a pixel centre: u, v are linear in screen space
  // for the affine modes; u/z, v/z and 1/z are for the perspective ones.
  const double area = (kd.x - ka.x) * (kb.y - ka.y) - (kb.x - ka.x) * (kd.y - ka.y);
  auto exact = [&](int x, int y, bool perspective, double& u, double& v) {
    const double wb = ((kd.x - ka.x) * (y - ka.y) - (x - ka.x) * (kd.y - ka.y)) / area;
    const double wd = ((x - ka.x) * (kb.y - ka.y) - (kb.x - ka.x) * (y - ka.y)) / area;
    const double wa = 1 - wb - wd;
    if (!perspective) {
      u = wa * ka.u + wb * kb.u + wd * kd.u;
      v = wa * ka.v + wb * kb.v + wd * kd.v;
      return;
    }
    const double iz = wa / ka.z + wb / kb.z + wd / kd.z;
    u = (wa * ka.u / ka.z + wb * kb.u / kb.z + wd * kd.u / kd.z) / iz;
    v = (wa * ka.v / ka.z + wb * kb.v / kb.z + wd * kd.v / kd.z) / iz;
  };
  auto texelError = [](double want, uint32_t got) {
    const double e = std::fabs(std::floor(want) - static_cast<double>(got));
    return std::min(e, 256 - e);
  };
  // Worst texel error of a drawing against either mapping, pixels on the
  // edges left out.
  auto worstError = [&](Canvas& c, bool perspective) {
    double worst = 0;
    int drawn = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        if (!Inside(x, y, ka, kb, kd) || SegmentDistance(x, y, ka.x, ka.y, kd.x, kd.y) < 0.01 ||
            SegmentDistance(x, y, kb.x, kb.y, kd.x, kd.y) < 0.01)
          continue;
        double u, v;
        exact(x, y, perspective, u, v);
        const uint32_t t = c.At(x, y);
        worst = std::max({worst, texelError(u, t & 0xFF), texelError(v, t >> 8)});
        ++drawn;
      }
    EXPECT_GT(drawn, 800);
    return worst;
  };

  Canvas persp(64, 64);
  Material m = MakeMaterial(RM_PERSPECTIVE | RM_NODEPTH, tex);
  InitRasterizer();
  RasterState.material = &m;
  SelectRenderMode(m.mode);
  recordedRoutine = RasterState.span;
  RasterState.span = RecordPiece;
  pieces.clear();
  ScreenVertex a = ka, b = kb, d = kd;
  Draw(persp, m, a, b, d);
  SelectRenderMode(0);
  ASSERT_GE(pieces.size(), 3u);
  EXPECT_EQ(std::vector<int>(pieces.begin(), pieces.begin() + 3), (std::vector<int>{16, 16, 5}));
  EXPECT_LE(worstError(persp, true), 1.0);
  EXPECT_GT(worstError(persp, false), 3.0);  // the projection matters for this triangle

  Canvas affine(64, 64);
  Material flat = MakeMaterial(0, tex);
  a = ka, b = kb, d = kd;
  Draw(affine, flat, a, b, d);
  EXPECT_LE(worstError(affine, false), 1.0);
}

// The light levels of the perspective RGB mode run on linearly across the
// pieces: over a white texture it draws what the affine RGB mode draws.
TEST(RasterTriangle, PerspectiveLightLevelsContinueAcrossPieces) {
  const Texture tex = Solid(0xFFFFFF);
  auto render = [&](int32_t mode) {
    Canvas c(96, 40);
    Material m = MakeMaterial(mode, tex);
    ScreenVertex a{1, 2, 1, 0, 10, 250, 0, 0, 0}, b{95, 10, 3, 0, 250, 10, 128, 90, 0},
        d{30, 39, 2, 0, 128, 128, 250, 0, 70};
    Draw(c, m, a, b, d);
    return c.colour;
  };
  const std::vector<uint32_t> affine = render(RM_RGBLIT), perspective = render(RM_RGBLIT | RM_PERSPECTIVE);
  EXPECT_EQ(affine, perspective);
  EXPECT_NE(affine, Canvas(96, 40).colour);
}

TEST(RasterTriangle, SelectionFollowsTheFirstMatchingModeRow) {
  struct Case {
    int32_t mode;
    SpanRoutineFn span;
  };
  const Case cases[] = {
      {0, SpanCopyDepth},           {0x200, SpanCopyDepth},       {0x410, SpanCopyDepth},
      {0x204, SpanShade},           {0x64, SpanShade},            {0x124, SpanAddLevelDepth},
      {0x220, SpanAddLevelTest},    {0x360, SpanAddOpacityDepth}, {0x60, SpanAddOpacity},
      {0x120, SpanAddLevelDepth},   {0x302, SpanRgbDepth},        {0x202, SpanRgbDepth},
      {0x702, SpanRgb},             {0x402, SpanRgb},             {0x300, SpanCopyDepth},
      {0x700, SpanCopy},            {0x310, SpanHalfDepth},       {0x710, SpanHalfDepth},
      {-1, nullptr},
  };
  InitRasterizer();
  for (const Case& k : cases) {
    SelectRenderMode(k.mode);
    EXPECT_EQ(RasterState.mode, k.mode);
    EXPECT_EQ(RasterState.span, k.span) << std::hex << k.mode;
  }
  SelectRenderMode(0);
}

TEST(RasterTriangle, ModeChangesReselectAndTheOpacityRowStaysWithTheMode) {
  const Texture tex = Solid(0x808080);
  Material opaque = MakeMaterial(RM_ADD | RM_OPACITY, tex, 1.0f);
  Material clear = MakeMaterial(RM_ADD | RM_OPACITY, tex, 0.0f);
  Material copy = MakeMaterial(0, tex);
  auto pixel = [&](Material& m, uint32_t frame) {
    Canvas c(8, 8);
    c.Clear(frame, 0);
    ScreenVertex a = V(0, 0), b = V(8, 0), d = V(0, 8);
    Draw(c, m, a, b, d);
    EXPECT_EQ(RasterState.mode, m.mode);
    return c.At(1, 1);
  };
  EXPECT_EQ(pixel(opaque, 0xC0C0C0), 0xFFFFFFu);
  EXPECT_EQ(pixel(clear, 0x101010), 0x8F8F8Fu);  // still opacity 1: same mode, row kept
  EXPECT_EQ(pixel(copy, 0x101010), 0x808080u);
  EXPECT_EQ(pixel(clear, 0x101010), 0x101010u);  // reselected with its own opacity 0
  EXPECT_EQ(pixel(opaque, 0x101010), 0x101010u);
  EXPECT_EQ(pixel(copy, 0x101010), 0x808080u);
}

TEST(RasterTriangle, NothingIsWrittenOutsideTheTarget) {
  const Texture tex = Solid(0x406080);
  const int32_t modes[] = {0, RM_SILHOUETTE, RM_SHADE, RM_ADD, RM_ADD | RM_OPACITY | RM_PERSPECTIVE,
                           RM_ADD | RM_OPACITY, RM_ADD | RM_PERSPECTIVE, RM_RGBLIT | RM_PERSPECTIVE,
                           RM_RGBLIT, RM_PERSPECTIVE | RM_HALF, RM_PERSPECTIVE | RM_NODEPTH,
                           RM_PERSPECTIVE};
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float wild[] = {-1e30f, -5000, -61, -0.5f, 0, 3, 40, 47.9f, 48, 64, 64.5f, 65, 3000, 1e30f, inf, -inf, nan};
  std::mt19937 rng(66);
  std::uniform_real_distribution<float> far(-400, 400);
  std::uniform_int_distribution<int> pick(0, sizeof wild / sizeof wild[0] - 1);
  std::uniform_real_distribution<float> level(-600, 600);
  for (int32_t mode : modes) {
    SCOPED_TRACE(mode);
    Canvas c(64, 48, 80, 6);
    Material m = MakeMaterial(mode, tex, 0.5f);
    for (int i = 0; i < 300; ++i) {
      ScreenVertex v[3];
      for (ScreenVertex& p : v) {
        const bool odd = i % 3 == 0;
        p = {odd ? wild[pick(rng)] : far(rng), odd ? wild[pick(rng)] : far(rng),
             i % 5 == 0 ? wild[pick(rng)] : 1 + far(rng) * far(rng),
             level(rng), level(rng), level(rng), level(rng), far(rng) * 50, far(rng) * 50};
      }
      Draw(c, m, v[0], v[1], v[2]);
      ASSERT_TRUE(c.GuardIntact()) << "triangle " << i;
    }
  }
  // A triangle far larger than the target fills all of it.
  Canvas c(64, 48, 80, 6);
  Material m = MakeMaterial(0, tex);
  ScreenVertex a = V(-5000, -1000), b = V(5000, 0), d = V(3, 5000);
  Draw(c, m, a, b, d);
  EXPECT_TRUE(c.GuardIntact());
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(c.At(x, y), 0x406080u) << x << "," << y;
}

TEST(RasterTriangle, TargetsAndMaterialsThatCannotBeDrawnAreSkipped) {
  const Texture tex = Solid(0xFFFFFF);
  Canvas c(16, 16);
  ScreenVertex a = V(0, 0), b = V(16, 0), d = V(0, 16);
  Material depthMode = MakeMaterial(0, tex);
  InitRasterizer();
  RasterState.v0 = &a, RasterState.v1 = &b, RasterState.v2 = &d;
  RasterState.material = &depthMode;
  RasterState.target = c.Target();
  RasterState.target.depth = nullptr;
  DrawTriangle();
  Material noTexels = MakeMaterial(RM_PERSPECTIVE | RM_NODEPTH, tex);
  noTexels.texels = nullptr;
  RasterState.material = &noTexels;
  DrawTriangle();
  RasterState.material = nullptr;
  DrawTriangle();
  EXPECT_EQ(c.colour, Canvas(16, 16).colour);
  // Silhouettes need neither texels nor depth.
  Material silhouette = MakeMaterial(RM_SILHOUETTE, tex);
  silhouette.texels = nullptr;
  c.Clear(0xFFFFFFFF, 0);
  RasterState.material = &silhouette;
  DrawTriangle();
  EXPECT_EQ(c.At(2, 2), 0u);
  EXPECT_EQ(c.At(15, 15), 0xFFFFFFFFu);
}

}  // namespace
