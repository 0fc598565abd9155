#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "effects/flares.h"
#include "effects/frames.h"
#include "effects/glow_dots.h"
#include "effects/slots.h"
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

// Known points of the cone: 127 x colour next to the centre, 0 beyond
// radius 128, mirrored into all four quadrants.
TEST_F(GlowDots, GlowConeKnownPoints) {
  std::vector<uint32_t> glow(256 * 256);
  BuildGlowTexture(glow.data(), 256, 256, 0.8f, 0.3f, 0.2f);
  struct Case {
    int x, y;
    int level;
  };
  const Case cases[] = {
      {127, 127, 127}, {128, 128, 127}, {0, 0, 0},
      {255, 255, 0},   {28, 127, 28},  // distance 100.005
      {227, 127, 28},                  // its mirror image
      {127, 227, 28},                  // mirrored downwards: dx 1, dy 100
      {0, 127, 0},                     // distance 128
  };
  for (const Case& c : cases) {
    const float l = static_cast<float>(c.level);
    const uint32_t expected = (static_cast<uint32_t>(l * 0.8f) << 16) |
                              (static_cast<uint32_t>(l * 0.3f) << 8) |
                              static_cast<uint32_t>(l * 0.2f);
    EXPECT_EQ(glow[c.y * 256 + c.x], expected) << c.x << ", " << c.y;
  }
  EXPECT_EQ(glow[127 * 256 + 28], (22u << 16) | (8u << 8) | 5u);  // 28 x (0.8, 0.3, 0.2)
  // Generated glows 1..3 are tinted cones; the centre is brightest.
  EXPECT_EQ(GlowTextures[3][128 * 256 + 128], (25u << 8) | 101u);  // 127 x (0, 0.2, 0.8)
}

// The generator is the C library's linear congruential one started from 1;
// the colour table is drawn from it first, then the large and the small
// random cube.
TEST_F(GlowDots, RandomTablesComeFromTheSeededGenerator) {
  DotRandomSeed(1);
  const int first[] = {16838, 5758, 10113, 17515, 31051};
  for (int v : first) EXPECT_EQ(DotRandom(), v);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(DotColours[i], first[i] % 4);

  DotRandomSeed(1);
  for (int i = 0; i < kDotSlots; ++i) DotRandom();
  const float x0 = (static_cast<float>(DotRandom()) / 32767.0f - 0.5f) * 300.0f;
  const float y0 = (static_cast<float>(DotRandom()) / 32767.0f - 0.5f) * 300.0f;
  EXPECT_EQ(DotShapes[0][0].x, x0);
  EXPECT_EQ(DotShapes[0][0].y, y0);
  for (int i = 0; i < kDotsPerShape; ++i) {
    for (float v : {DotShapes[0][i].x, DotShapes[0][i].y, DotShapes[0][i].z})
      ASSERT_LE(std::fabs(v), 150.0f);
    for (float v : {DotShapes[5][i].x, DotShapes[5][i].y, DotShapes[5][i].z})
      ASSERT_LE(std::fabs(v), 25.0f);
  }
  // Built again, the tables are the same.
  const int colour = DotColours[100];
  const Vec3 small = DotShapes[5][7];
  DotsBuildTables();
  EXPECT_EQ(DotColours[100], colour);
  EXPECT_EQ(std::memcmp(&DotShapes[5][7], &small, sizeof small), 0);
}

TEST_F(GlowDots, ShapeKnownPoints) {
  struct Case {
    int shape, index;
    float x, y, z;
  };
  const Case cases[] = {
      {1, 0, 150.0f, 0.0f, 0.0f},     // torus knot 9, 3: rho 1.5
      {1, 55, 0.0f, 100.0f, -50.0f},  // a quarter turn: rho 1, sin 3a = -1
      {2, 0, 33.333f, 0.0f, 0.0f},    // 50 x (2 - 4/3)
      {3, 0, 144.0f, 0.0f, 0.0f},     // 200 x 0.72
      {3, 110, -144.0f, 0.0f, 0.0f},  // c = pi/2: rho = 0.72 sin(3 pi + pi/2) = -0.72
      {4, 0, 40.0f, 0.0f, 0.0f},      // 50 x 0.8
      {6, 0, 150.0f, 0.0f, 0.0f},     // torus knot 2, 7
      {7, 0, 220.0f, 0.0f, 0.0f},     // 10 x (10 x 2 + 1 + 1)
      {7, 110, -180.0f, 0.0f, 0.0f},  // a = pi: 10 x (10 x -2 + 1 + 1)
  };
  for (const Case& c : cases) {
    const Vec3& p = DotShapes[c.shape][c.index];
    EXPECT_NEAR(p.x, c.x, 2e-3f) << c.shape << "/" << c.index;
    EXPECT_NEAR(p.y, c.y, 2e-3f) << c.shape << "/" << c.index;
    EXPECT_NEAR(p.z, c.z, 2e-3f) << c.shape << "/" << c.index;
  }
}

// The three trail copies: each the blend at phase, phase + 10, phase + 20,
// with the cycle 1023 long. Untransformed and unprojected (z stays below 2
// only for points that are), so the dots can be compared with the shapes.
TEST_F(GlowDots, TrailPhasesBlendTheRightShapes) {
  auto blend = [](int from, int to, float m, int i) {
    const float u = std::sin(m * kPi / 256.0f);
    const Vec3& a = DotShapes[from][i];
    const Vec3& b = DotShapes[to][i];
    return Vec3{a.x + u * (b.x - a.x), a.y + u * (b.y - a.y), a.z + u * (b.z - a.z)};
  };
  struct Case {
    const char* name;
    float phase;
    int from[3], to[3];
    float m[3];  // distance into each copy's segment
  };
  const Case cases[] = {
      {"384: the small cube exactly, then towards the sphere",
       384.0f,
       {5, 5, 5},
       {3, 3, 3},
       {0.0f, 10.0f, 20.0f}},
      {"1023 is 0: the large cube exactly", 1023.0f, {0, 0, 0}, {1, 1, 1}, {0.0f, 10.0f, 20.0f}},
      {"copies crossing into the next segment",
       1141.0f,
       {0, 1, 1},
       {1, 2, 2},
       {118.0f, 0.0f, 10.0f}},
      {"the short last segment wraps", 1013.0f, {7, 0, 0}, {0, 1, 1}, {117.0f, 0.0f, 10.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Far below the near limit: nothing is projected.
    PlaceDots(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -10000.0f, c.phase);
    ASSERT_EQ(Dots.count, kDotSlots);
    for (int k = 0; k < kDotTrail; ++k)
      for (int i = 0; i < kDotsPerShape; i += 17) {
        const Vec3 e = blend(c.from[k], c.to[k], c.m[k], i);
        const Vec3& d = Dots.points[k * kDotsPerShape + i];
        ASSERT_NEAR(d.x, e.x, 1e-3f) << k << "/" << i;
        ASSERT_NEAR(d.y, e.y, 1e-3f) << k << "/" << i;
        ASSERT_NEAR(d.z, e.z - 10000.0f, 1e-2f) << k << "/" << i;
      }
  }
  PlaceDots(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -10000.0f, 384.0f);
  for (int i = 0; i < kDotsPerShape; ++i) {
    ASSERT_EQ(Dots.points[i].x, DotShapes[5][i].x);
    ASSERT_EQ(Dots.points[i].y, DotShapes[5][i].y);
  }
}

// One known dot through transform and projection: the first point of the
// 9, 3 torus knot, (150, 0, 0), which is shape 1 exactly at phase 128.
TEST_F(GlowDots, KnownDotTransformAndProjection) {
  struct Case {
    const char* name;
    float c, tz;
    float x, y, z;  // after projection
  };
  const Case cases[] = {
      {"straight ahead at 300", 0.0f, 300.0f, 58.0f, 0.0f, 300.0f},
      {"turned a quarter about z", kPi / 2.0f, 300.0f, 0.0f, 43.5f, 300.0f},
      {"at z 2: projected", 0.0f, 2.0f, 8700.0f, 0.0f, 2.0f},
      {"at z 1.99: left as it is", 0.0f, 1.99f, 150.0f, 0.0f, 1.99f},
      {"behind: left as it is", 0.0f, -5.0f, 150.0f, 0.0f, -5.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceDots(0.0f, 0.0f, c.c, 0.0f, 0.0f, c.tz, 128.0f);
    const Vec3& d = Dots.points[0];
    EXPECT_NEAR(d.x, c.x, 1e-3f);
    EXPECT_NEAR(std::fabs(d.y), c.y, 1e-3f);
    EXPECT_NEAR(d.z, c.z, 1e-4f);
  }
}

class DotEffects : public GlowDots {
 protected:
  void SetUp() override {
    MarkSlots();
    cmap.assign(256 * 256, 0x00406080);
    cmapPicture = {256, 256, 0, cmap.data()};
    TextureSlots[kTexSlotCmap1] = &cmapPicture;
    std::fill(std::begin(DotsOverlay), std::end(DotsOverlay), 0x00FFFFFF);
    frame.assign(kFramePixels, 0x00101010);
    DotsBeatResetFirstCall();
  }
  std::vector<uint32_t> cmap;
  Picture cmapPicture;
  std::vector<uint32_t> frame;
};

TEST_F(DotEffects, OtherParamsOfTheTexturedRowDrawNothing) {
  for (int param : {1, -1, 7}) {
    std::vector<uint32_t> f = frame;
    DotsOverTextureEffect(f.data(), 175.0f, 173.6f, 180.6f, 0.2f, param);
    EXPECT_EQ(f, frame) << param;
  }
}

// The beat row only adds: every channel of every pixel is at least what it
// was, and the cloud sits at the centre of the frame.
TEST_F(DotEffects, BeatRowAddsTheCloudAroundTheCentre) {
  DotsBeatEffect(frame.data(), 180.6f, 180.6f, 195.0f, 0.0f, 0);
  double sum = 0, sx = 0, sy = 0;
  for (int y = 0; y < kFrameHeight; ++y)
    for (int x = 0; x < kFrameWidth; ++x) {
      const uint32_t p = frame[y * kFrameWidth + x];
      for (int s = 0; s < 24; s += 8) ASSERT_GE((p >> s) & 0xFF, 0x10u);
      const double w = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) - 48.0;
      sum += w;
      sx += w * x;
      sy += w * y;
    }
  ASSERT_GT(sum, 0.0);
  EXPECT_NEAR(sx / sum, 160.0, 12.0);
  EXPECT_NEAR(sy / sum, 120.0, 12.0);
}

// The textured row: the colour map times the overlay underneath, the dots
// added low in the frame (translated down by 125 at depth 200).
TEST_F(DotEffects, TexturedRowDrawsBackgroundAndDotsBelowCentre) {
  DotsOverTextureEffect(frame.data(), 175.0f, 173.6f, 180.6f, 0.2f, 0);
  // The overlay is white: each channel c of the colour map becomes c x 255 >> 8.
  EXPECT_EQ(frame[0], 0x003F5F7Fu);
  double sum = 0, sy = 0;
  for (int y = 0; y < kFrameHeight; ++y)
    for (int x = 0; x < kFrameWidth; ++x) {
      const uint32_t p = frame[y * kFrameWidth + x];
      const double w = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) - (0x3F + 0x5F + 0x7F);
      ASSERT_GE(w, 0.0);
      sum += w;
      sy += w * y;
    }
  ASSERT_GT(sum, 0.0);
  EXPECT_GT(sy / sum, 150.0);
}

}  // namespace
