#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/glow_dots.h"
#include "effects/warp_helpers.h"
#include "show/fade.h"

namespace {

class GlowDots : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitFadeOperations(320, 240, 0);
    WarpSetup();
    DotsBuildTables();
  }
};

// The cone, mirrored from its top-left quadrant: 127 x colour beside the
// centre, level 28 at distance 100, 0 from radius 128. The generator starts
// at 1 and fills the colour table first, then the large cube.
TEST_F(GlowDots, GlowConeAndRandomTables) {
  std::vector<uint32_t> glow(256 * 256);
  BuildGlowTexture(glow.data(), 256, 256, 0.8f, 0.3f, 0.2f);
  const uint32_t full = 101u << 16 | 38u << 8 | 25u, at100 = 22u << 16 | 8u << 8 | 5u;
  const int points[][3] = {{127, 127, 1}, {128, 128, 1}, {0, 127, 0},  {255, 255, 0},
                           {28, 127, 2},  {227, 127, 2}, {127, 227, 2}};
  for (const auto& p : points)
    EXPECT_EQ(glow[p[1] * 256 + p[0]], p[2] == 0 ? 0 : p[2] == 1 ? full : at100) << p[0] << p[1];

  DotRandomSeed(1);
  for (int i = 0; int v : {16838, 5758, 10113, 17515, 31051}) {
    EXPECT_EQ(DotRandom(), v);
    EXPECT_EQ(DotColours[i++], v % 4);
  }
  for (int i = 5; i < kDotSlots; ++i) DotRandom();
  EXPECT_EQ(DotShapes[0][0].x, (static_cast<float>(DotRandom()) / 32767.0f - 0.5f) * 300.0f);
}

TEST_F(GlowDots, ShapeKnownPoints) {
  struct Case {
    int shape, index;
    float x, y, z;
  };
  const Case cases[] = {
      {1, 55, 0, 100, -50},   // a quarter turn
      {2, 0, 33.333f, 0, 0},  // 50 x (2 - 4/3)
      {3, 0, 144, 0, 0},      // 200 x 0.72
      {3, 110, -144, 0, 0},   // rho = 0.72 sin(3 pi + pi/2)
      {4, 0, 40, 0, 0},       // 50 x 0.8
      {6, 0, 150, 0, 0},      // torus knot 2, 7: rho 1.5
      {7, 0, 220, 0, 0},      // 10 x (10 x 2 + 1 + 1)
      {7, 110, -180, 0, 0},   // a = pi
  };
  for (const Case& c : cases) {
    const Vec3& p = DotShapes[c.shape][c.index];
    EXPECT_NEAR(std::hypot(p.x - c.x, p.y - c.y, p.z - c.z), 0.0f, 2e-3f)
        << c.shape << "/" << c.index;
  }
}

// Trail copies k = 0, 1, 2 blend at phase + 10 k, the cycle 1023 long.
// Placed far behind the near limit, so nothing is projected.
TEST_F(GlowDots, TrailPhasesBlendTheRightShapes) {
  struct Case {
    float phase;
    int from[3], to[3];
    float m[3];  // distance into each copy's segment
  };
  const Case cases[] = {
      {384, {5, 5, 5}, {3, 3, 3}, {0, 10, 20}},    // the small cube exactly
      {1023, {0, 0, 0}, {1, 1, 1}, {0, 10, 20}},   // 1023 is 0
      {1141, {0, 1, 1}, {1, 2, 2}, {118, 0, 10}},  // into the next segment
      {260, {2, 2, 2}, {5, 5, 5}, {4, 14, 24}},   {520, {3, 3, 3}, {6, 6, 6}, {8, 18, 28}},
      {650, {6, 6, 6}, {4, 4, 4}, {10, 20, 30}},  {770, {4, 4, 4}, {7, 7, 7}, {2, 12, 22}},
      {1013, {7, 0, 0}, {0, 1, 1}, {117, 0, 10}},  // the short last one wraps
  };
  for (const Case& c : cases) {
    PlaceDots(0, 0, 0, 0, 0, -10000, c.phase);
    ASSERT_EQ(Dots.count, kDotSlots);
    for (int k = 0; k < kDotTrail; ++k) {
      const float u = std::sin(c.m[k] * kPi / 256.0f);
      for (int i = 0; i < kDotsPerShape; i += 17) {
        const Vec3& a = DotShapes[c.from[k]][i];
        const Vec3& b = DotShapes[c.to[k]][i];
        const Vec3& d = Dots.points[k * kDotsPerShape + i];
        ASSERT_NEAR(d.x, a.x + u * (b.x - a.x), 1e-3f) << c.phase << " " << k << "/" << i;
        ASSERT_NEAR(d.z, a.z + u * (b.z - a.z) - 10000, 1e-2f) << c.phase << " " << k;
      }
    }
  }
}

// One known dot: (150, 0, 0), the first point of shape 1, exact at phase 128.
TEST_F(GlowDots, KnownDotTransformAndProjection) {
  struct Case {
    float c, tz;
    float x, y;  // after projection
  };
  const Case cases[] = {
      {0, 300, 58, 0},           // 116 / 300 x 150
      {kPi / 2, 300, 0, 43.5f},  // turned a quarter about z: 87 / 300 x 150
      {0, 2, 8700, 0},           // at z 2: projected
      {0, 1.99f, 150, 0},        // nearer: left as it is
      {0, -5, 150, 0},           // behind: left as it is
  };
  for (const Case& c : cases) {
    PlaceDots(0, 0, c.c, 0, 0, c.tz, 128);
    EXPECT_NEAR(Dots.points[0].x, c.x, 1e-3f) << c.tz;
    EXPECT_NEAR(std::fabs(Dots.points[0].y), c.y, 1e-3f) << c.tz;
    EXPECT_NEAR(Dots.points[0].z, c.tz, 1e-4f);
  }
}

// The beat row only adds, and its cloud sits at the frame's centre. Params
// of the textured row other than 0 draw nothing.
TEST_F(GlowDots, RowsAddTheCloudWhereTheyPlaceIt) {
  const std::vector<uint32_t> start(kFramePixels, 0x00101010);
  for (int param : {1, -1}) {
    std::vector<uint32_t> frame = start;
    DotsOverTextureEffect(frame.data(), 175, 173.6f, 180.6f, 0.2f, param);
    EXPECT_EQ(frame, start) << param;
  }
  std::vector<uint32_t> frame = start;
  DotsBeatResetFirstCall();
  DotsBeatEffect(frame.data(), 180.6f, 180.6f, 195.0f, 0.0f, 0);
  double sum = 0, sx = 0, sy = 0;
  for (int i = 0; i < kFramePixels; ++i)
    for (int s = 0; s < 24; s += 8) {
      ASSERT_GE((frame[i] >> s) & 0xFF, 0x10u);
      const double w = ((frame[i] >> s) & 0xFF) - 0x10;
      sum += w;
      sx += w * (i % kFrameWidth);
      sy += w * (i / kFrameWidth);
    }
  ASSERT_GT(sum, 0.0);
  EXPECT_NEAR(sx / sum, 160.0, 12.0);
  EXPECT_NEAR(sy / sum, 120.0, 12.0);
}

}  // namespace
