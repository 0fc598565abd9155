// The SSE2 and AVX2 span sets against the plain one: random textures, frames,
// depths and interpolants, every routine, every count from 0 to past two
// steps of the widest set, and spans that continue where the last stopped;
// then the sets' own row walkers, whole triangles of every mode against the
// plain walker calling the plain routine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <random>
#include <vector>

#include "raster/raster.h"

namespace {

struct SpanRun {
  std::vector<uint32_t> frame;
  std::vector<int32_t> depth;
  RasterStateRecord after;
};

// Draws three consecutive spans of the given lengths with one routine of set
// `spans` from an identical start, as a perspective row does.
SpanRun Draw(SpanRoutineFn routine, const RasterStateRecord& start,
         const std::vector<uint32_t>& frame, const std::vector<int32_t>& depth, const int (&counts)[3]) {
  SpanRun r{frame, depth, {}};
  RasterState = start;
  RasterState.colour = r.frame.data();
  RasterState.depth = r.depth.data();
  for (int count : counts) {
    RasterState.count = count;
    routine();
  }
  r.after = RasterState;
  return r;
}

using Member = SpanRoutineFn SpanRoutines::*;

struct RoutineCase {
  const char* name;
  Member member;
};

TEST(RasterSpanSimd, EverySetDrawsThePlainPixelsAndStopsAtThePlainState) {
  InitRasterizer();
  const RoutineCase routines[] = {
      {"copy depth", &SpanRoutines::copyDepth},       {"copy", &SpanRoutines::copy},
      {"shade", &SpanRoutines::shade},                {"rgb depth", &SpanRoutines::rgbDepth},
      {"rgb", &SpanRoutines::rgb},                    {"half depth", &SpanRoutines::halfDepth},
      {"add level test", &SpanRoutines::addLevelTest}, {"add level depth", &SpanRoutines::addLevelDepth},
      {"add opacity", &SpanRoutines::addOpacity},     {"add opacity depth", &SpanRoutines::addOpacityDepth},
  };
  // The AVX2 set is only touched where the processor has it: even building
  // its table may use AVX2 instructions.
  std::vector<std::pair<const char*, const SpanRoutines*>> sets = {{"SSE2", &Sse2Spans()}};
  if (__builtin_cpu_supports("avx2")) sets.push_back({"AVX2", &Avx2Spans()});

  std::mt19937 rng(1234);
  std::vector<uint32_t> texels(128 * 64);
  for (uint32_t& t : texels) t = rng();
  for (int trial = 0; trial < 60; ++trial) {
    const int counts[3] = {trial % 21, static_cast<int>(rng() % 40), static_cast<int>(rng() % 9)};
    std::vector<uint32_t> frame(80);
    std::vector<int32_t> depth(80);
    for (uint32_t& p : frame) p = rng();
    // Depths near the span's so the test passes and fails within a step.
    for (int32_t& d : depth) d = 1000000 + static_cast<int32_t>(rng() % 4000) - 2000;
    RasterStateRecord start = RasterState;
    start.texels = texels.data();
    start.uShift = 17, start.uMask = 0x7F, start.vShift = 11, start.vMask = 0x1F80;
    start.u = static_cast<int32_t>(rng()), start.du = static_cast<int32_t>(rng() % 200000) - 100000;
    start.v = static_cast<int32_t>(rng()), start.dv = static_cast<int32_t>(rng() % 200000) - 100000;
    start.z = 1000000, start.dz = static_cast<int32_t>(rng() % 200) - 100;
    // Levels that wander over 0..255 and, on some trials, wrap past the ends.
    const int32_t spread = trial % 3 == 0 ? 0x2000000 : 0x40000;
    start.level = static_cast<int32_t>(rng() % 0xFF0000), start.dlevel = static_cast<int32_t>(rng() % spread) - spread / 2;
    start.red = static_cast<int32_t>(rng() % 0xFF0000), start.dred = static_cast<int32_t>(rng() % spread) - spread / 2;
    start.green = static_cast<int32_t>(rng() % 0xFF0000), start.dgreen = static_cast<int32_t>(rng() % spread) - spread / 2;
    start.blue = static_cast<int32_t>(rng() % 0xFF0000), start.dblue = static_cast<int32_t>(rng() % spread) - spread / 2;
    start.opacityRow = MulTable + (rng() % 256) * 256;
    for (const RoutineCase& rc : routines) {
      if (rc.member == &SpanRoutines::shade) {
        // Shading reads MulTable beyond the row for stray levels; keep it in range.
        start.level = 0x400000, start.dlevel = 0x100;
      }
      const SpanRun plain = Draw(PlainSpans().*rc.member, start, frame, depth, counts);
      for (const auto& [setName, set] : sets) {
        const SpanRun simd = Draw(set->*rc.member, start, frame, depth, counts);
        SCOPED_TRACE(std::string(setName) + " " + rc.name + " trial " + std::to_string(trial));
        EXPECT_EQ(simd.frame, plain.frame);
        EXPECT_EQ(simd.depth, plain.depth);
        const RasterStateRecord &a = simd.after, &b = plain.after;
        EXPECT_EQ(a.colour - simd.frame.data(), b.colour - plain.frame.data());
        EXPECT_EQ(a.u, b.u);
        EXPECT_EQ(a.v, b.v);
        EXPECT_EQ(a.z, b.z);
        EXPECT_EQ(a.level, b.level);
        EXPECT_EQ(a.red, b.red);
        EXPECT_EQ(a.green, b.green);
        EXPECT_EQ(a.blue, b.blue);
      }
    }
  }
}

// Each set's walker for a mode row, given the plain selection of that mode.
struct WalkerCase {
  int32_t mode;
  SectionWalkerFn RowWalkers::*walker;
};

// Draws the triangles with the plain selection of the mode, the section
// walker swapped for `walker` when there is one.
void DrawTriangles(int32_t mode, SectionWalkerFn walker, const std::vector<ScreenVertex>& corners,
                   Material* material, RenderTarget target) {
  material->mode = mode;
  RasterState.material = material;
  RasterState.target = target;
  SelectRenderMode(mode);
  if (walker) RasterState.walker = walker;
  for (size_t i = 0; i + 2 < corners.size(); i += 3) {
    ScreenVertex a = corners[i], b = corners[i + 1], c = corners[i + 2];
    RasterState.v0 = &a, RasterState.v1 = &b, RasterState.v2 = &c;
    DrawTriangle();
  }
}

// Small, thin and large triangles, some reaching past the target's edges;
// depths far enough apart that both sides of the depth test are taken.
std::vector<ScreenVertex> RandomTriangles(std::mt19937& rng, int count, int width, int height) {
  auto uniform = [&rng](float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(rng() % 100000) / 100000.0f;
  };
  std::vector<ScreenVertex> corners;
  for (int t = 0; t < count; ++t) {
    const float cx = uniform(-10, width + 10), cy = uniform(-10, height + 10);
    const float size = t % 3 == 0 ? 3.0f : (t % 3 == 1 ? 14.0f : 60.0f);
    for (int k = 0; k < 3; ++k)
      corners.push_back({cx + uniform(-size, size), cy + uniform(-size, size), uniform(0.5f, 6.0f),
                         uniform(0, 255), uniform(0, 255), uniform(0, 255), uniform(0, 255),
                         uniform(-300, 600), uniform(-300, 600)});
  }
  return corners;
}

TEST(RasterSpanSimd, EverySetsRowWalkersDrawThePlainTriangles) {
  InitRasterizer();
  // Without the fade set-up the selection is the plain one.
  ASSERT_EQ(&ActiveSpans(), &PlainSpans());
  const WalkerCase cases[] = {
      {0x204, &RowWalkers::shade},           {0x220, &RowWalkers::addLevelTest},
      {0x120, &RowWalkers::addLevelDepth},   {0x360, &RowWalkers::addOpacityDepth},
      {0x60, &RowWalkers::addOpacity},       {0x702, &RowWalkers::rgbPerspective},
      {0x302, &RowWalkers::rgbDepthPerspective}, {0x402, &RowWalkers::rgb},
      {0x202, &RowWalkers::rgbDepth},        {0x310, &RowWalkers::halfDepthPerspective},
      {0x700, &RowWalkers::copyPerspective}, {0x300, &RowWalkers::copyDepthPerspective},
      {0x0, &RowWalkers::copyDepth},
  };
  std::vector<std::pair<const char*, const SpanRoutines*>> sets = {{"SSE2", &Sse2Spans()}};
  if (__builtin_cpu_supports("avx2")) sets.push_back({"AVX2", &Avx2Spans()});

  constexpr int kWidth = 83, kHeight = 61, kPitch = 96;
  std::mt19937 rng(77);
  std::vector<uint32_t> texels(64 * 128);
  for (uint32_t& t : texels) t = rng();
  Material material{};
  material.sizeCode = 12;  // 64 x 128
  material.opacity = 0.6f;
  material.texels = texels.data();
  SetTextureAddressing(&material);
  const std::vector<ScreenVertex> corners = RandomTriangles(rng, 240, kWidth, kHeight);
  std::vector<uint32_t> frame(kPitch * kHeight);
  std::vector<int32_t> depth(frame.size());
  for (uint32_t& p : frame) p = rng();
  for (int32_t& d : depth) d = static_cast<int32_t>(rng() % 900000000);

  for (const WalkerCase& wc : cases) {
    auto render = [&](SectionWalkerFn walker) {
      std::pair<std::vector<uint32_t>, std::vector<int32_t>> out{frame, depth};
      DrawTriangles(wc.mode, walker, corners, &material,
                    {out.first.data(), out.second.data(), kPitch, kWidth, kHeight});
      return out;
    };
    const auto plain = render(nullptr);
    EXPECT_NE(plain.first, frame) << std::hex << wc.mode;
    for (const auto& [setName, set] : sets) {
      SCOPED_TRACE(std::string(setName) + " mode " + std::to_string(wc.mode));
      ASSERT_NE(set->walkers.*wc.walker, nullptr);
      const auto simd = render(set->walkers.*wc.walker);
      EXPECT_EQ(simd.first, plain.first);
      EXPECT_EQ(simd.second, plain.second);
    }
  }
  SelectRenderMode(0);
}

}  // namespace

namespace {

// Shadow stamps: the lights' mode reading its texels through stamps draws,
// in every set, what it draws from the texture with each texel stamped at
// or below the limit made black; a pixel stamped after the limit is not.
// A stamped fan covers what its silhouette covers, and the smaller stamp
// stays.
TEST(RasterSpanSimd, ShadowStampsReadAsTheTextureBlackenedUpToTheLimit) {
  InitRasterizer();
  constexpr int kWidth = 83, kHeight = 61, kPitch = 96;
  std::mt19937 rng(5);
  std::vector<uint32_t> texels(64 * 128), stamps(texels.size());
  for (uint32_t& t : texels) t = rng() | 0x808080;
  // A third never stamped, the rest stamped 0..99 in runs, as shadows are.
  for (size_t i = 0; i < stamps.size(); i += 8) {
    const uint32_t s = rng() % 3 == 0 ? kNoShadowStamp : rng() % 100;
    for (size_t k = i; k < i + 8; ++k) stamps[k] = s;
  }
  Material material{};
  material.sizeCode = 12;  // 64 x 128
  SetTextureAddressing(&material);
  const std::vector<ScreenVertex> corners = RandomTriangles(rng, 150, kWidth, kHeight);
  std::vector<uint32_t> frame(kPitch * kHeight);
  std::vector<int32_t> depth(frame.size());
  for (uint32_t& p : frame) p = rng() & 0x3F3F3F3F;
  for (int32_t& d : depth) d = static_cast<int32_t>(rng() % 900000000);

  std::vector<std::pair<const char*, const SpanRoutines*>> sets = {{"plain", &PlainSpans()},
                                                                     {"SSE2", &Sse2Spans()}};
  if (__builtin_cpu_supports("avx2")) sets.push_back({"AVX2", &Avx2Spans()});
  for (uint32_t limit : {0u, 40u, 99u}) {
    std::vector<uint32_t> blackened = texels;
    for (size_t i = 0; i < texels.size(); ++i)
      if (stamps[i] <= limit) blackened[i] = 0;
    std::vector<uint32_t> expected = frame;
    material.texels = blackened.data();
    DrawTriangles(0x220, nullptr, corners, &material,
                  {expected.data(), depth.data(), kPitch, kWidth, kHeight});
    EXPECT_NE(expected, frame);
    material.texels = texels.data();
    for (const auto& [setName, set] : sets) {
      SCOPED_TRACE(std::string(setName) + " limit " + std::to_string(limit));
      std::vector<uint32_t> out = frame;
      RasterState.shadowStamps = stamps.data();
      RasterState.shadowLimit = limit;
      DrawTriangles(0x220, set == &PlainSpans() ? nullptr : set->walkers.addLevelTest, corners,
                    &material, {out.data(), depth.data(), kPitch, kWidth, kHeight});
      RasterState.shadowStamps = nullptr;
      EXPECT_EQ(out, expected);
    }
  }

  // Stamps against silhouettes, three times over the same ground: 7, then 9
  // (nothing changes), then 3 (everything covered does). The polygons are
  // fans of 3 to 7 corners, some with corners above row 1, on pixel
  // centres, on one row, repeated, or far outside the target.
  std::vector<std::vector<ScreenVertex>> polygons;
  for (size_t i = 0; i + 2 < corners.size();) {
    const size_t n = std::min<size_t>(3 + polygons.size() % 5, corners.size() - i);
    if (n < 3) break;
    std::vector<ScreenVertex> polygon(corners.begin() + static_cast<long>(i),
                                      corners.begin() + static_cast<long>(i + n));
    switch (polygons.size() % 7) {
      case 1:
        polygon[1].y = 0.5f;
        break;
      case 2:
        polygon[0].x = std::floor(polygon[0].x), polygon[0].y = std::floor(polygon[0].y);
        break;
      case 3:
        polygon[1].y = polygon[0].y;
        break;
      case 4:
        polygon[2] = polygon[1];
        break;
      case 5:
        polygon[1].x = -1.0e6f, polygon[2].y = 3.0e5f;
        break;
      case 6:
        polygon[2].y = polygon[1].y, polygon[0].y = polygon[1].y - 9.5f;
        break;
    }
    polygons.push_back(polygon);
    i += n;
  }
  std::vector<uint32_t> silhouettes(kPitch * kHeight, 0x123456), marks(silhouettes.size(),
                                                                         kNoShadowStamp);
  Material shadow{};
  shadow.mode = RM_SILHOUETTE;
  const RenderTarget target{silhouettes.data(), nullptr, kPitch, kWidth, kHeight};
  auto draw = [&](const std::vector<ScreenVertex>& polygon, uint32_t stamp) {
    std::vector<ScreenVertex> fan;
    for (size_t k = 1; k + 1 < polygon.size(); ++k)
      fan.insert(fan.end(), {polygon[0], polygon[k], polygon[k + 1]});
    DrawTriangles(RM_SILHOUETTE, nullptr, fan, &shadow, target);
    std::vector<float> x, y;
    for (const ScreenVertex& c : polygon) x.push_back(c.x), y.push_back(c.y);
    StampShadowFan(marks.data(), target, x.data(), y.data(), static_cast<int>(polygon.size()),
                   stamp);
  };
  // Each polygon alone first: the same pixels.
  for (size_t p = 0; p < polygons.size(); ++p) {
    std::fill(silhouettes.begin(), silhouettes.end(), 0x123456);
    std::fill(marks.begin(), marks.end(), kNoShadowStamp);
    draw(polygons[p], 5);
    for (size_t i = 0; i < marks.size(); ++i)
      ASSERT_EQ(silhouettes[i] == 0, marks[i] == 5u) << "polygon " << p << " pixel " << i;
  }
  std::fill(silhouettes.begin(), silhouettes.end(), 0x123456);
  std::fill(marks.begin(), marks.end(), kNoShadowStamp);
  std::vector<uint32_t> firstPass;
  for (uint32_t stamp : {7u, 9u, 3u}) {
    for (const std::vector<ScreenVertex>& polygon : polygons) draw(polygon, stamp);
    if (stamp == 7) firstPass = marks;
    if (stamp == 9) {
      EXPECT_EQ(marks, firstPass);  // nothing new, nothing overwritten
    }
  }
  int covered = 0;
  for (size_t i = 0; i < marks.size(); ++i) {
    ASSERT_EQ(silhouettes[i] == 0, firstPass[i] == 7u) << i;
    ASSERT_EQ(marks[i], firstPass[i] == 7u ? 3u : kNoShadowStamp) << i;
    covered += marks[i] == 3u;
  }
  EXPECT_GT(covered, 1000);
  EXPECT_EQ(RasterState.mode, RM_SILHOUETTE);  // the stamps left the selection alone
  // No buffer or an empty target: nothing stamped, nothing read.
  const float x[3] = {1, 50, 20}, y[3] = {1, 5, 40};
  StampShadowFan(nullptr, target, x, y, 3, 1);
  StampShadowFan(marks.data(), {nullptr, nullptr, kPitch, 0, kHeight}, x, y, 3, 1);
  StampShadowFan(marks.data(), {nullptr, nullptr, kPitch, kWidth, -1}, x, y, 3, 1);
  EXPECT_EQ(std::count(marks.begin(), marks.end(), 1u), 0);
  SelectRenderMode(0);
}

}  // namespace
