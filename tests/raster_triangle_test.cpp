// Triangle set-up, row and span coverage, texture addressing, perspective
// pieces, mode selection and the target limits, all through DrawTriangle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "image/picture.h"
#include "raster/raster.h"

namespace {

constexpr uint32_t kGuard = 0xDEADBEEF;

// A width x height target inside a guarded buffer: pitch 8 pixels wider than
// the target and two guard rows above and below it.
struct Canvas {
  int width, height, pitch;
  std::vector<uint32_t> colour;
  std::vector<int32_t> depth;
  Canvas(int w, int h, uint32_t fill = 0)
      : width(w),
        height(h),
        pitch(w + 8),
        colour(size_t(pitch) * (h + 4), kGuard),
        depth(colour.size(), int32_t(kGuard)) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) At(x, y) = fill, depth[Index(x, y)] = 0;
  }
  size_t Index(int x, int y) const { return size_t(y + 2) * pitch + x; }
  uint32_t& At(int x, int y) { return colour[Index(x, y)]; }
  RenderTarget Target() { return {&At(0, 0), &depth[Index(0, 0)], pitch, width, height}; }
  bool GuardIntact() const {
    for (size_t i = 0; i < colour.size(); ++i) {
      const int y = int(i / pitch) - 2, x = int(i % pitch);
      if ((y < 0 || y >= height || x >= width) &&
          (colour[i] != kGuard || depth[i] != int32_t(kGuard)))
        return false;
    }
    return true;
  }
};

// Texels for a texture of the given size code; solid ones are 32 x 32.
Material MakeMaterial(int32_t mode, const std::vector<uint32_t>& texels, int sizeCode = 4,
                      float opacity = 1.0f) {
  Material m{};
  m.mode = mode;
  m.sizeCode = sizeCode;
  m.opacity = opacity;
  m.texels = texels.data();
  SetTextureAddressing(&m);
  return m;
}

std::vector<uint32_t> Solid(uint32_t c) { return std::vector<uint32_t>(32 * 32, c); }

ScreenVertex V(float x, float y, float u = 0, float v = 0, float z = 1) {
  return {x, y, z, 255, 255, 255, 255, u, v};
}

void Draw(Canvas& c, Material* m, ScreenVertex a, ScreenVertex b, ScreenVertex d,
          ScreenVertex* firstBack = nullptr) {
  InitRasterizer();
  RasterState.v0 = &a, RasterState.v1 = &b, RasterState.v2 = &d;
  RasterState.material = m;
  RasterState.target = c.Target();
  DrawTriangle();
  if (firstBack) *firstBack = a;
}

double Side(double px, double py, const ScreenVertex& a, const ScreenVertex& b) {
  return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

bool Inside(double px, double py, const ScreenVertex& a, const ScreenVertex& b,
            const ScreenVertex& c) {
  const double s1 = Side(px, py, a, b), s2 = Side(px, py, b, c), s3 = Side(px, py, c, a);
  return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
}

double SegmentDistance(double px, double py, const ScreenVertex& a, const ScreenVertex& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double t = std::clamp(((px - a.x) * dx + (py - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - a.x - t * dx, py - a.y - t * dy);
}

TEST(RasterTriangle, CoversExactlyTheRowsAndPixelsOfItsEdges) {
  struct Span {
    int row, first, end;  // pixels first .. end - 1
  };
  struct Case {
    const char* what;
    ScreenVertex a, b, c;
    std::vector<Span> spans;  // every covered pixel
  };
  const std::vector<Case> cases = {
      {"rows 10.2 to 10.9 hold no pixel centre", V(0, 10.2f), V(20, 10.5f), V(0, 10.9f), {}},
      {"10 to 11 covers row 10 only", V(0, 10), V(20, 10), V(0, 11), {{10, 0, 20}}},
      {"two equal corners", V(5, 5), V(5, 5), V(30, 40), {}},
      {"three corners on one line", V(1, 1), V(10, 10), V(20, 20), {}},
      {"span 3.0 to 7.0", V(3, 0), V(7, 0), V(3, 1), {{0, 3, 7}}},
      {"span 3.2 to 7.0", V(3.2f, 0), V(7, 0), V(3.2f, 1), {{0, 4, 7}}},
      {"hypotenuse on the right",
       V(0, 0),
       V(0, 4),
       V(4, 0),
       {{0, 0, 4}, {1, 0, 3}, {2, 0, 2}, {3, 0, 1}}},
      {"long edge on the left",
       V(8, 2),
       V(0, 6),
       V(16, 2),
       {{2, 8, 16}, {3, 6, 12}, {4, 4, 8}, {5, 2, 4}}},
      {"corners on the last row and the right edge",
       V(30, 28),
       V(32, 32),
       V(28, 32),
       {{29, 30, 31}, {30, 29, 31}, {31, 29, 32}}},
  };
  const std::vector<uint32_t> white = Solid(0xFFFFFF);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Canvas c(32, 32), expected(32, 32);
    Material m = MakeMaterial(0, white);
    Draw(c, &m, k.a, k.b, k.c);
    for (const Span& s : k.spans)
      for (int x = s.first; x < s.end; ++x) expected.At(x, s.row) = 0xFFFFFF;
    EXPECT_EQ(c.colour, expected.colour);
  }
}

TEST(RasterTriangle, VerticesAboveRowOneAreMovedToRowZeroInTheCallersRecord) {
  const std::vector<uint32_t> grey = Solid(0x808080);
  Material m = MakeMaterial(0, grey);
  for (const float y : {-40.0f, 0.5f, 0.999f}) {
    SCOPED_TRACE(y);
    Canvas moved(24, 24), reference(24, 24);
    ScreenVertex back;
    Draw(moved, &m, V(2, y), V(20, 12), V(4, 20), &back);
    EXPECT_EQ(back.y, 0.0f);
    Draw(reference, &m, V(2, 0), V(20, 12), V(4, 20));
    EXPECT_EQ(moved.colour, reference.colour);
  }
  ScreenVertex back;
  Canvas c(24, 24);
  Draw(c, &m, V(2, 1), V(20, 12), V(4, 20), &back);
  EXPECT_EQ(back.y, 1.0f);
}

// Each draw adds 1 to every channel (opacity 255 of a texel of 2), so a pixel
// drawn twice shows 2 and a gap shows 0.
TEST(RasterTriangle, TrianglesSharingAnEdgeDrawEveryPixelOnce) {
  const std::vector<uint32_t> two = Solid(0x020202);
  Material m = MakeMaterial(RM_ADD | RM_OPACITY, two, 4, 1.0f);
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> px(0, 64), py(1, 48);
  int nearSharedEdge = 0;
  for (int iter = 0; iter < 400; ++iter) {
    ScreenVertex a = V(px(rng), py(rng)), b = V(px(rng), py(rng));
    const ScreenVertex c = V(px(rng), py(rng)), d = V(px(rng), py(rng));
    if (iter % 4 == 0) a.x = std::floor(a.x), b.y = std::floor(b.y);  // corners on the grid too
    const double sc = Side(c.x, c.y, a, b), sd = Side(d.x, d.y, a, b);
    if (sc * sd >= 0 || std::fabs(sc) < 1 || std::fabs(sd) < 1) continue;
    Canvas canvas(64, 48);
    Draw(canvas, &m, a, b, c);
    Draw(canvas, &m, d, b, a);  // the shared edge handed over the other way round
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint32_t count = canvas.At(x, y) & 0xFF;
        const double outer = std::min({SegmentDistance(x, y, a, c), SegmentDistance(x, y, b, c),
                                       SegmentDistance(x, y, a, d), SegmentDistance(x, y, b, d)});
        if (outer < 0.01) continue;  // on an outer edge either answer is right
        const bool inside = Inside(x, y, a, b, c) || Inside(x, y, a, b, d);
        ASSERT_EQ(count, inside ? 1u : 0u) << "pixel " << x << "," << y << ", pair " << iter;
        nearSharedEdge += inside && SegmentDistance(x, y, a, b) < 0.5;
      }
  }
  EXPECT_GT(nearSharedEdge, 500);
}

TEST(RasterTriangle, TextureCoordinatesWrapBothWaysFromTheFirstPixelCentre) {
  // 128 x 128 texture whose texel holds its column; u over a 256-pixel row
  // whose left end is at x = left.
  std::vector<uint32_t> columns(128 * 128);
  for (int i = 0; i < 128 * 128; ++i) columns[i] = i % 128;
  Material m = MakeMaterial(0, columns, TextureSizeCode(128, 128));
  struct Case {
    float left, u0, u1;
    int (*column)(int x);
  };
  const Case cases[] = {
      {0, 0, 512, [](int x) { return x % 128; }},   // two repetitions
      {0, -512, 0, [](int x) { return x % 128; }},  // the same from negative u
      {0, 0, -512, [](int x) { return (128 - x % 128) % 128; }},
      {0, -128, 128, [](int x) { return (x / 2 + 64) % 128; }},  // one repetition
      {0.5f, 0, 1024, [](int x) { return (2 * x - 1) % 128; }},  // u = 4 (x - 0.5)
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.u1);
    Canvas c(320, 4);
    Draw(c, &m, V(k.left, 0, k.u0), V(k.left + 256, 0, k.u1), V(k.left, 4, k.u0));
    const int first = static_cast<int>(std::ceil(k.left));
    for (int x = first; x < first + 256; ++x) ASSERT_EQ(c.At(x, 0), uint32_t(k.column(x))) << x;
    EXPECT_EQ(c.At(first + 256, 0), 0u);
  }
}

TEST(RasterTriangle, AddressingFindsEveryCornerTexelOfEachSize) {
  int codesSeen = 0;
  for (int w : {32, 64, 128, 256})
    for (int h : {32, 64, 128, 256}) {
      Material m{};
      m.sizeCode = TextureSizeCode(w, h);
      if (m.sizeCode == 0) continue;
      ++codesSeen;
      SetTextureAddressing(&m);
      EXPECT_EQ(m.textureReady, 1);
      for (int i : {0, 1, w - 1})
        for (int j : {0, 1, h - 1})
          for (int rep : {0, 1, -3}) {  // centre of texel (i, j) in several repetitions
            const int32_t u = int32_t((256.0 * (i + 0.5) / w + 256 * rep) * 65536);
            const int32_t v = int32_t((256.0 * (j + 0.5) / h - 256 * rep) * 65536);
            EXPECT_EQ(((u >> m.uShift) & m.uMask) + ((v >> m.vShift) & m.vMask), j * w + i)
                << w << "x" << h << " texel " << i << "," << j;
          }
    }
  EXPECT_EQ(codesSeen, 16);
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
  std::vector<uint32_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = i;
  // Depth 1 on the left, 2 on the right, magnified so that 16 linear pixels
  // stay within a texel of the projection while a whole linear row does not.
  // Row 5 is 37 pixels long; the left edge leans.
  const ScreenVertex a{10, 5, 1, 0, 0, 0, 0, 0, 0}, b{47, 5, 2, 0, 0, 0, 0, 24, 0},
      d{22, 60, 1, 0, 0, 0, 0, 0, 32};
  // Worst texel error against the exact mapping at each pixel centre: u, v
  // linear in screen space, or u/z, v/z and 1/z linear; edge pixels left out.
  const double area = (d.x - a.x) * (b.y - a.y) - (b.x - a.x) * (d.y - a.y);
  auto worstError = [&](Canvas& c, bool perspective) {
    double worst = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        if (!Inside(x, y, a, b, d) || SegmentDistance(x, y, a, d) < 0.01 ||
            SegmentDistance(x, y, b, d) < 0.01)
          continue;
        const double wb = ((d.x - a.x) * (y - a.y) - (x - a.x) * (d.y - a.y)) / area;
        const double wd = ((x - a.x) * (b.y - a.y) - (b.x - a.x) * (y - a.y)) / area;
        const double iz = perspective ? (1 - wb - wd) / a.z + wb / b.z + wd / d.z : 1;
        const double u = wb * b.u / (perspective ? b.z : 1) / iz;
        const double v = wd * d.v / (perspective ? d.z : 1) / iz;
        const uint32_t t = c.At(x, y);
        worst = std::max(
            {worst, std::fabs(std::floor(u) - (t & 0xFF)), std::fabs(std::floor(v) - (t >> 8))});
      }
    return worst;
  };

  Canvas persp(64, 64);
  Material m = MakeMaterial(RM_PERSPECTIVE | RM_NODEPTH, texels, 1);
  InitRasterizer();
  RasterState.material = &m;
  SelectRenderMode(m.mode);
  recordedRoutine = RasterState.span;
  RasterState.span = RecordPiece;
  pieces.clear();
  Draw(persp, &m, a, b, d);
  SelectRenderMode(0);
  ASSERT_GE(pieces.size(), 3u);
  EXPECT_EQ(std::vector<int>(pieces.begin(), pieces.begin() + 3), (std::vector<int>{16, 16, 5}));
  EXPECT_LE(worstError(persp, true), 1.0);
  EXPECT_GT(worstError(persp, false), 3.0);  // the projection matters for this triangle

  Canvas affine(64, 64);
  Material flat = MakeMaterial(0, texels, 1);
  Draw(affine, &flat, a, b, d);
  EXPECT_LE(worstError(affine, false), 1.0);
}

// The light levels of the perspective RGB mode run on linearly across the
// pieces: over a white texture it draws what the affine RGB mode draws.
TEST(RasterTriangle, PerspectiveLightLevelsContinueAcrossPieces) {
  const std::vector<uint32_t> white = Solid(0xFFFFFF);
  auto render = [&](int32_t mode) {
    Canvas c(96, 40);
    Material m = MakeMaterial(mode, white);
    Draw(c, &m, {1, 2, 1, 0, 10, 250, 0, 0, 0}, {95, 10, 3, 0, 250, 10, 128, 90, 0},
         {30, 39, 2, 0, 128, 128, 250, 0, 70});
    return c.colour;
  };
  const std::vector<uint32_t> affine = render(RM_RGBLIT);
  EXPECT_EQ(render(RM_RGBLIT | RM_PERSPECTIVE), affine);
  EXPECT_NE(affine, Canvas(96, 40).colour);
}

TEST(RasterTriangle, SelectionFollowsTheFirstMatchingModeRow) {
  const std::pair<int32_t, SpanRoutineFn> cases[] = {
      {0, SpanCopyDepth},
      {0x200, SpanCopyDepth},
      {0x410, SpanCopyDepth},
      {0x204, SpanShade},
      {0x64, SpanShade},
      {0x124, SpanAddLevelDepth},
      {0x220, SpanAddLevelTest},
      {0x360, SpanAddOpacityDepth},
      {0x60, SpanAddOpacity},
      {0x120, SpanAddLevelDepth},
      {0x302, SpanRgbDepth},
      {0x202, SpanRgbDepth},
      {0x702, SpanRgb},
      {0x402, SpanRgb},
      {0x300, SpanCopyDepth},
      {0x700, SpanCopy},
      {0x310, SpanHalfDepth},
      {0x710, SpanHalfDepth},
      {-1, nullptr},
  };
  InitRasterizer();
  RasterState.material = nullptr;  // opacity modes then take row 0
  for (const auto& [mode, span] : cases) {
    SelectRenderMode(mode);
    EXPECT_EQ(RasterState.mode, mode);
    EXPECT_EQ(RasterState.span, span) << std::hex << mode;
  }
  SelectRenderMode(0);
}

TEST(RasterTriangle, ModeChangesReselectAndTheOpacityRowStaysWithTheMode) {
  const std::vector<uint32_t> grey = Solid(0x808080);
  Material opaque = MakeMaterial(RM_ADD | RM_OPACITY, grey, 4, 1.0f);
  Material clear = MakeMaterial(RM_ADD | RM_OPACITY, grey, 4, 0.0f);
  Material copy = MakeMaterial(0, grey);
  auto pixel = [&](Material& m, uint32_t frame) {
    Canvas c(8, 8, frame);
    Draw(c, &m, V(0, 0), V(8, 0), V(0, 8));
    EXPECT_EQ(RasterState.mode, m.mode);
    return c.At(1, 1);
  };
  EXPECT_EQ(pixel(opaque, 0xC0C0C0), 0xFFFFFFu);
  EXPECT_EQ(pixel(clear, 0x101010), 0x8F8F8Fu);  // still opacity 1: same mode, row kept
  EXPECT_EQ(pixel(copy, 0x101010), 0x808080u);
  EXPECT_EQ(pixel(clear, 0x101010), 0x101010u);  // reselected with its own opacity 0
  EXPECT_EQ(pixel(opaque, 0x101010), 0x101010u);
}

TEST(RasterTriangle, NothingIsWrittenOutsideTheTarget) {
  const std::vector<uint32_t> tex = Solid(0x406080);
  const int32_t modes[] = {0,
                           RM_SILHOUETTE,
                           RM_SHADE,
                           RM_ADD,
                           RM_ADD | RM_OPACITY | RM_PERSPECTIVE,
                           RM_ADD | RM_OPACITY,
                           RM_ADD | RM_PERSPECTIVE,
                           RM_RGBLIT | RM_PERSPECTIVE,
                           RM_RGBLIT,
                           RM_PERSPECTIVE | RM_HALF,
                           RM_PERSPECTIVE | RM_NODEPTH};
  const float inf = std::numeric_limits<float>::infinity();
  const float wild[] = {
      -1e30f, -5000, -61, -0.5f, 0,     3,   47.9f, 48,
      64,     64.5f, 65,  3000,  1e30f, inf, -inf,  std::numeric_limits<float>::quiet_NaN()};
  std::mt19937 rng(66);
  std::uniform_real_distribution<float> far(-400, 400), level(-600, 600);
  std::uniform_int_distribution<int> pick(0, std::size(wild) - 1);
  for (int32_t mode : modes) {
    SCOPED_TRACE(mode);
    Canvas c(64, 48);
    Material m = MakeMaterial(mode, tex, 4, 0.5f);
    for (int i = 0; i < 300; ++i) {
      ScreenVertex v[3];
      const bool odd = i % 3 == 0;
      for (ScreenVertex& p : v)
        p = {odd ? wild[pick(rng)] : far(rng),
             odd ? wild[pick(rng)] : far(rng),
             i % 5 == 0 ? wild[pick(rng)] : 1 + far(rng) * far(rng),
             level(rng),
             level(rng),
             level(rng),
             level(rng),
             far(rng) * 50,
             far(rng) * 50};
      Draw(c, &m, v[0], v[1], v[2]);
      ASSERT_TRUE(c.GuardIntact()) << "triangle " << i;
    }
  }
  // A triangle far larger than the target fills all of it.
  Canvas c(64, 48);
  Material m = MakeMaterial(0, tex);
  Draw(c, &m, V(-5000, -1000), V(5000, 0), V(3, 5000));
  EXPECT_TRUE(c.GuardIntact());
  EXPECT_EQ(c.colour, Canvas(64, 48, 0x406080).colour);
}

// Dropped rather than drawn through a null pointer; silhouettes need neither
// texels nor depth.
TEST(RasterTriangle, TargetsAndMaterialsThatCannotBeDrawnAreSkipped) {
  const std::vector<uint32_t> white = Solid(0xFFFFFF);
  Material depthMode = MakeMaterial(0, white),
           noTexels = MakeMaterial(RM_PERSPECTIVE | RM_NODEPTH, white),
           silhouette = MakeMaterial(RM_SILHOUETTE, white);
  noTexels.texels = silhouette.texels = nullptr;
  Canvas c(16, 16, 0x777777);
  for (Material* m : {&depthMode, &noTexels, static_cast<Material*>(nullptr), &silhouette}) {
    InitRasterizer();
    ScreenVertex a = V(0, 0), b = V(16, 0), d = V(0, 16);
    RasterState.v0 = &a, RasterState.v1 = &b, RasterState.v2 = &d;
    RasterState.material = m;
    RasterState.target = c.Target();
    RasterState.target.depth = nullptr;
    DrawTriangle();
    EXPECT_EQ(c.At(2, 2), m == &silhouette ? 0u : 0x777777u);
  }
  EXPECT_EQ(c.At(15, 15), 0x777777u);
}

}  // namespace
