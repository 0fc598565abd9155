#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "effects/frames.h"
#include "effects/warp_helpers.h"
#include "show/fade.h"

namespace {

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

std::vector<uint32_t> RandomFrame(uint32_t seed, int pixels = kFramePixels) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> f(static_cast<size_t>(pixels));
  for (auto& p : f) p = rng() & 0xFFFFFF;
  return f;
}

// Random bytes in all four bytes of each pixel.
std::vector<uint32_t> RandomPixelsAllBytes(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> f(kFramePixels);
  for (auto& p : f) p = rng();
  return f;
}

// A texture whose texel i holds i, so a warp's output names its texel index.
std::vector<uint32_t> IndexTexture() {
  std::vector<uint32_t> t(65536);
  for (uint32_t i = 0; i < 65536; ++i) t[i] = i;
  return t;
}

class Helpers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitFadeOperations(320, 240, 0);
    WarpSetup();
  }
};

TEST_F(Helpers, SmearHoldsStrengthTo1Through127) {
  const auto source = RandomFrame(5);
  struct Case {
    int strength, same;
  } cases[] = {{0, 1}, {-40, 1}, {128, 127}, {100000, 127}};
  for (const Case& c : cases) {
    auto a = source, b = source;
    Smear(a.data(), c.strength);
    Smear(b.data(), c.same);
    EXPECT_EQ(a, b) << c.strength;
  }
  auto a = source, b = source;
  Smear(a.data(), 2);
  Smear(b.data(), 1);
  EXPECT_NE(a, b);
}

TEST_F(Helpers, SmearRunsBackThenForwardAcrossRowEnds) {
  std::vector<uint32_t> f(kFramePixels, 0);
  f.back() = Rgb(255, 0, 255);
  Smear(f.data(), 127);
  // Backwards: 255 -> 253 at the last pixel, 1 left of it; forwards the 1
  // fades to 0 and the last pixel settles at 251.
  EXPECT_EQ(f[kFramePixels - 1], Rgb(251, 0, 251));
  EXPECT_EQ(f[kFramePixels - 2], 0u);

  // A long streak from the first pixel of row 1 reaches the end of row 0.
  std::vector<uint32_t> g(kFramePixels, 0);
  g[320] = Rgb(0, 255, 0);
  Smear(g.data(), 16);
  EXPECT_GT((g[319] >> 8) & 0xFF, 0u);
  EXPECT_EQ(g[319] & 0xFF00FF, 0u);
}

TEST_F(Helpers, SoftenInPlaceSeesSoftenedRightAndLowerNeighbours) {
  std::vector<uint32_t> f(kFramePixels, 0);
  f[239 * 320 + 5] = Rgb(252, 252, 252);
  f[0] = Rgb(4, 8, 12);
  auto separate = std::vector<uint32_t>(kFramePixels, 0x777777);
  Soften(separate.data(), f.data());
  Soften(f.data(), f.data());
  struct Case {
    int x, y;
    uint32_t inPlace, apart;
  } cases[] = {
      {5, 239, Rgb(252, 252, 252), Rgb(252, 252, 252)},  // last row copied
      {0, 0, Rgb(4, 8, 12), Rgb(4, 8, 12)},              // first row copied
      {5, 238, 0x3F3F3F, 0x3F3F3F},                      // below: the copied row
      {4, 238, 0x0F0F0F, 0},                             // right: already softened
      {5, 237, 0x0F0F0F, 0},                             // below: already softened
      {6, 238, 0, 0},                                    // left: not yet softened
  };
  for (const Case& c : cases) {
    EXPECT_EQ(f[c.y * 320 + c.x], c.inPlace) << c.x << "," << c.y;
    EXPECT_EQ(separate[c.y * 320 + c.x], c.apart) << c.x << "," << c.y;
  }
  // Left and right wrap across row ends: (0, 1)'s left is (319, 0).
  std::vector<uint32_t> w(kFramePixels, 0);
  w[319] = Rgb(0, 0, 200);
  Soften(w.data(), w.data());
  EXPECT_EQ(w[320], Rgb(0, 0, 50));
}

TEST_F(Helpers, RadialBlurRunsFromTheCentreOutwards) {
  // Strength 1 makes every pixel sample the centre, which is processed
  // first: it becomes 255 x 255 >> 8 = 254 and everything else 253.
  std::vector<uint32_t> f(kFramePixels, 0);
  f[120 * 320 + 160] = Rgb(255, 255, 255);
  RadialBlur(f.data(), 160.0f, 120.0f, 1.0f, 0.0f, 1.0f);
  EXPECT_EQ(f[120 * 320 + 160], Rgb(254, 254, 254));
  for (int i : {0, 319, 239 * 320, 76799, 119 * 320 + 161, 121 * 320 + 159})
    EXPECT_EQ(f[i], Rgb(253, 253, 253)) << i;

  // Strength 0 (or below) samples the pixel itself; weights above 1 hold at
  // 255, the two products add with saturation.
  const auto source = RandomFrame(9);
  auto a = source, b = source;
  RadialBlur(a.data(), 50.0f, 60.0f, -3.0f, 2.0f, 0.0f);
  RadialBlur(b.data(), 50.0f, 60.0f, 0.0f, 1.0f, 0.0f);
  EXPECT_EQ(a, b);
  for (int i = 0; i < kFramePixels; i += 101)
    for (int s = 0; s < 24; s += 8)
      ASSERT_EQ((a[i] >> s) & 0xFF, (((source[i] >> s) & 0xFF) * 255) >> 8);
  auto c = source;
  RadialBlur(c.data(), 160.0f, 120.0f, 0.0f, 1.0f, 1.0f);
  for (int i = 0; i < kFramePixels; i += 101)
    ASSERT_EQ((c[i] >> 16) & 0xFF, std::min(255u, 2 * ((((source[i] >> 16) & 0xFF) * 255) >> 8)));
}

// The blur is one sweep from the centre outwards, each pixel taking in a
// pixel nearer the centre that the sweep has already passed (positions
// truncated). Drawn in two
// halves on two threads, or not, it must be that sweep, pixel for pixel.
TEST_F(Helpers, RadialBlurIsTheSweepFromTheCentre) {
  auto sweep = [](std::vector<uint32_t>& frame, float cx, float cy, float strength, float a,
                  float b) {
    const int32_t* ta =
        MultiplyTable + std::clamp(static_cast<int>(a * 255.0f), 0, 255) * 256;
    const int32_t* tb =
        MultiplyTable + std::clamp(static_cast<int>(b * 255.0f), 0, 255) * 256;
    auto at = [strength](int i, float centre, int size) {
      const long p =
          i + static_cast<long>(static_cast<double>(strength * (centre - static_cast<float>(i))));
      return static_cast<int>(std::clamp<long>(p, 0, size - 1));
    };
    const int ix = std::clamp(static_cast<int>(cx), 0, 319);
    const int iy = std::clamp(static_cast<int>(cy), 0, 239);
    auto blend = [&](int x, int y) {
      const uint32_t self = frame[y * 320 + x],
                     sample = frame[at(y, cy, 240) * 320 + at(x, cx, 320)];
      uint32_t out = 0;
      for (int s = 0; s < 24; s += 8)
        out |=
            static_cast<uint32_t>(std::min(255, ta[(self >> s) & 0xFF] + tb[(sample >> s) & 0xFF]))
            << s;
      frame[y * 320 + x] = out;
    };
    std::vector<int> rows;
    for (int y = iy; y >= 0; --y) rows.push_back(y);
    for (int y = iy + 1; y < 240; ++y) rows.push_back(y);
    for (int y : rows) {
      for (int x = ix; x >= 0; --x) blend(x, y);
      for (int x = ix + 1; x < 320; ++x) blend(x, y);
    }
  };
  const auto source = RandomFrame(17);
  // Centres inside and off the frame, strengths that keep every sample
  // between its pixel and the centre and ones that reach past it.
  const float cases[][3] = {{160, 175, 0.16f},    {160, 120, 0.5f}, {37.3f, 201.8f, 0.8f},
                            {200.5f, 0.4f, 1.0f}, {-20, 300, 0.5f}, {50, 60, 1.7f},
                            {290, 30, 3.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c[0] << ", " << c[1] << " strength " << c[2]);
    auto expected = source;
    sweep(expected, c[0], c[1], c[2], 0.6f, 0.45f);
    // Several times over: the halves go to both threads once the worker is
    // awake.
    for (int round = 0; round < 40; ++round) {
      auto out = source;
      RadialBlur(out.data(), c[0], c[1], c[2], 0.6f, 0.45f);
      ASSERT_EQ(out, expected) << "round " << round;
    }
  }
}

TEST_F(Helpers, RadialBlurStaysInsideTheFrame) {
  // Strengths past 1 and centres off the frame would sample outside it.
  std::vector<uint32_t> buffer(kFramePixels + 2 * 4096, 0xA5A5A5A5);
  uint32_t* f = buffer.data() + 4096;
  std::fill(f, f + kFramePixels, Rgb(10, 20, 30));
  RadialBlur(f, -500.0f, 900.0f, 4.0f, 0.5f, 0.5f);
  RadialBlur(f, 160.0f, 120.0f, 1e9f, 0.5f, 0.5f);
  for (int i = 0; i < 4096; ++i) {
    ASSERT_EQ(buffer[i], 0xA5A5A5A5u);
    ASSERT_EQ(buffer[4096 + kFramePixels + i], 0xA5A5A5A5u);
  }
}

TEST_F(Helpers, ZoomBlitCopiesAtFullWidthAndHoldsItsMinimum) {
  const auto picture = RandomFrame(3);
  std::vector<uint32_t> f(kFramePixels, 0);
  ZoomBlitAdd(f.data(), picture.data(), 320.0f);
  EXPECT_EQ(f, picture);

  std::vector<uint32_t> three(kFramePixels, 0);
  ZoomBlitAdd(three.data(), picture.data(), 3.0f);
  for (float w : {2.9f, 0.0f, -100.0f, NAN}) {
    std::vector<uint32_t> g(kFramePixels, 0);
    ZoomBlitAdd(g.data(), picture.data(), w);
    EXPECT_EQ(g, three) << w;
  }
  // Added with per-byte saturation; a window larger than the picture skips
  // what falls outside it.
  std::vector<uint32_t> white(kFramePixels, Rgb(200, 200, 200));
  std::vector<uint32_t> g(kFramePixels, Rgb(100, 0, 60));
  ZoomBlitAdd(g.data(), white.data(), 640.0f);
  EXPECT_EQ(g[0], Rgb(100, 0, 60));
  EXPECT_EQ(g[120 * 320 + 160], Rgb(255, 200, 255));
}

TEST_F(Helpers, ZoomBlitVariantsAgreeOnRandomFrames) {
  const auto picture = RandomPixelsAllBytes(31);
  const auto under = RandomPixelsAllBytes(32);
  for (float w : {3.0f, 17.5f, 160.0f, 319.0f, 320.0f, 333.3f, 1000.0f, 5e7f}) {
    auto plain = under, simd = under;
    ZoomBlitAddPlain(plain.data(), picture.data(), w);
    ZoomBlitAddSimd(simd.data(), picture.data(), w);
    ASSERT_EQ(plain, simd) << w;
  }
}

TEST_F(Helpers, LensTablesHoldTheirKnownEntries) {
  struct Case {
    int table, row, column;
    uint8_t value;
  } cases[] = {
      {kLensA, 240, 320, 128}, {kLensB, 240, 320, 128},
      {kLensC, 240, 320, 128}, {kLensD, 240, 320, 128},
      {kLensE, 240, 320, 128}, {kLensF, 240, 320, 128},
      {kLensC, 0, 320, 171},  // z = 0: 128 - 213.3 wraps to a byte
      {kLensD, 240, 0, 224},   {kLensD, 240, 321, 32},
      {kLensF, 0, 320, 172},  // the last build into F: rows at z = 30
      {kLensA, 479, 100, 28},  {kLensB, 10, 639, 1},
      {kLensE, 300, 5, 228},   {kLensC, 240, 17, 128},  // a row table on its middle row
  };
  for (const Case& c : cases)
    EXPECT_EQ(LensTables[c.table][c.row * kLensWidth + c.column], c.value)
        << "table " << c.table << " at " << c.row << "," << c.column;
}

TEST_F(Helpers, WarpTextureIndicesWrapAt65536) {
  const auto texture = IndexTexture();
  std::vector<uint32_t> base(kFramePixels), shifted(kFramePixels);
  const int32_t offsets[] = {65536, 65536 + 300, -5, 0x7FFF0000};
  WarpTextureOffset = 0;
  LensTableWarp(base.data(), texture.data(), 2.5f, 1);
  for (int32_t offset : offsets) {
    WarpTextureOffset = offset;
    LensTableWarp(shifted.data(), texture.data(), 2.5f, 1);
    for (int i = 0; i < kFramePixels; i += 37)
      ASSERT_EQ(shifted[i], (base[i] + static_cast<uint32_t>(offset)) & 0xFFFF) << offset;
  }
  // Modes outside 0..2 draw nothing.
  std::vector<uint32_t> untouched(kFramePixels, 0x123456);
  LensTableWarp(untouched.data(), texture.data(), 1.0f, 3);
  LensTableWarp(untouched.data(), texture.data(), 1.0f, -1);
  EXPECT_EQ(untouched, std::vector<uint32_t>(kFramePixels, 0x123456));

  // The three-tap warp sets the offset that the lens warp then adds: at
  // phase 0 it is 256 x 256 + 0.
  ThreeTapWarp(base.data(), texture.data(), 0.0f);
  EXPECT_EQ(WarpTextureOffset, 65536);
}

// The lens warps eight pixels a step give the plain pixels: texel indices
// wrapping both ways, every table pair, offsets past either end.
TEST_F(Helpers, LensWarpsDrawThePlainPixelsEightAtATime) {
  const auto texture = RandomFrame(21, 65536);
  auto draw = [&](bool simd, float phase, int mode, int32_t offset) {
    InitFadeOperations(320, 240, simd ? 0 : 1);
    std::vector<uint32_t> out(kFramePixels);
    if (mode < 0) {
      ThreeTapWarp(out.data(), texture.data(), phase);
    } else {
      WarpTextureOffset = offset;
      LensTableWarp(out.data(), texture.data(), phase, mode);
    }
    InitFadeOperations(320, 240, 0);
    return out;
  };
  for (float phase : {0.0f, 3.7f, 812.25f})
    for (int mode = -1; mode <= 2; ++mode)
      for (int32_t offset : {0, -70000, 0x7FFF0000}) {
        const auto plain = draw(false, phase, mode, offset);
        EXPECT_EQ(draw(true, phase, mode, offset), plain)
            << "phase " << phase << " mode " << mode << " offset " << offset;
      }
}

TEST_F(Helpers, RotozoomSamplesTheCircleAroundTheTextureCentre) {
  const auto texture = IndexTexture();
  std::vector<uint32_t> f(kFramePixels);
  // Radius 0: every pixel is texel (127, 127) of the centre (127.5 + 1024).
  Rotozoom(f.data(), texture.data(), 33.0f, 0.0f);
  EXPECT_EQ(f, std::vector<uint32_t>(kFramePixels, 127u * 256 + 127));
  // Angle 0, radius 100: the top-left pixel is texel column 1251 & 255 = 227,
  // row 127; a whole turn later it is the same.
  Rotozoom(f.data(), texture.data(), 0.0f, 100.0f);
  EXPECT_EQ(f[0], 127u * 256 + 227);
  std::vector<uint32_t> g(kFramePixels);
  Rotozoom(g.data(), texture.data(), 360.0f, 100.0f);
  EXPECT_EQ(f[0], g[0]);
  // Radii far beyond the texture wrap instead of overflowing.
  Rotozoom(g.data(), texture.data(), 12.0f, 1e7f);
  for (uint32_t p : g) ASSERT_LT(p, 65536u);
}

TEST_F(Helpers, TiltedPlaneAndGridMappers) {
  // Amount 0, angle 0 is the identity, held to columns 1..318, rows 1..238.
  TiltedPlane(0.0f, 0.0f);
  EXPECT_EQ(GridU[0], 1 << 16);
  EXPECT_EQ(GridV[0], 1 << 16);
  EXPECT_EQ(GridU[5], 40 << 16);
  EXPECT_EQ(GridV[3 * kGridColumns], 24 << 16);
  EXPECT_EQ(GridU[kGridColumns - 1], 318 << 16);
  // Amounts outside 0..1 are held; every amount and angle stays in bounds.
  struct Held {
    float amount, same;
  } held[] = {{-2.0f, 0.0f}, {7.0f, 1.0f}};
  for (const Held& h : held) {
    TiltedPlane(h.amount, 0.4f);
    std::vector<int32_t> u(GridU, GridU + kGridColumns * kGridRows);
    TiltedPlane(h.same, 0.4f);
    EXPECT_EQ(u, std::vector<int32_t>(GridU, GridU + kGridColumns * kGridRows));
  }
  for (float a : {0.3f, 1.0f})
    for (float angle : {0.0f, 2.0f, -5.0f}) {
      TiltedPlane(a, angle);
      for (int i = 0; i < kGridColumns * kGridRows; ++i) {
        ASSERT_GE(GridU[i], 1 << 16);
        ASSERT_LE(GridU[i], 318 << 16);
        ASSERT_GE(GridV[i], 1 << 16);
        ASSERT_LE(GridV[i], 238 << 16);
      }
    }

  // An exact identity grid maps a picture onto itself and tiles a texture.
  for (int m = 0; m < kGridRows; ++m)
    for (int n = 0; n < kGridColumns; ++n) {
      GridU[m * kGridColumns + n] = (8 * n) << 16;
      GridV[m * kGridColumns + n] = (8 * m) << 16;
    }
  const auto picture = RandomFrame(21);
  std::vector<uint32_t> f(kFramePixels, 0);
  GridMapPicture(f.data(), picture.data(), kGridColumns - 1, kGridRows - 1);
  EXPECT_EQ(f, picture);
  const auto texture = IndexTexture();
  GridMapTexture(f.data(), texture.data(), kGridRows - 1);
  for (int y = 0; y < kFrameHeight; y += 7)
    for (int x = 0; x < kFrameWidth; x += 3)
      ASSERT_EQ(f[y * 320 + x], static_cast<uint32_t>((y & 255) * 256 + (x & 255)));
  // Fewer cells draw only their part of the frame.
  std::vector<uint32_t> part(kFramePixels, 7);
  GridMapPicture(part.data(), picture.data(), 20, 10);
  EXPECT_EQ(part[79 * 320 + 159], picture[79 * 320 + 159]);
  EXPECT_EQ(part[80 * 320 + 10], 7u);
  EXPECT_EQ(part[10 * 320 + 160], 7u);
}

TEST_F(Helpers, SilhouetteStoreCapturesAndMasks) {
  SilhouetteClear();
  std::vector<uint8_t> mask(kFramePixels, 0);
  // Nothing stored yet: the mask takes no silhouette.
  SilhouetteMask(mask.data(), 1, 17);
  EXPECT_EQ(mask, std::vector<uint8_t>(kFramePixels, 0));

  // Silhouette n has zero pixels exactly at indices n, n + 10, n + 20.
  for (int n = 0; n < 3; ++n) {
    std::vector<uint32_t> frame(kFramePixels, 0xFFFFFFFF);
    for (int i = 0; i < 3; ++i) frame[n + 10 * i] = 0;
    SilhouetteCapture(frame.data());
  }
  EXPECT_EQ(SilhouetteCount(), 3);
  struct Case {
    int k, number, firstPixel;
  } cases[] = {{1, 1, 1}, {2, 4, 1}, {3, -1, 2}, {0, 2, 2}, {7, 300, 0}};
  for (const Case& c : cases) {
    std::fill(mask.begin(), mask.end(), 0x40);
    SilhouetteMask(mask.data(), c.k, c.number);
    for (int i = 0; i < 40; ++i) {
      bool set = i >= c.firstPixel && (i - c.firstPixel) % 10 == 0 && i < 30;
      ASSERT_EQ(mask[i], set ? (0x40 | (1 << c.k)) : 0x40) << c.number << " at " << i;
    }
  }
  // After 240 captures the first slot is reused and overwritten.
  std::vector<uint32_t> none(kFramePixels, 1);
  for (int n = 3; n < 241; ++n) SilhouetteCapture(none.data());
  EXPECT_EQ(SilhouetteCount(), 240);
  std::fill(mask.begin(), mask.end(), 0);
  SilhouetteMask(mask.data(), 1, 0);
  EXPECT_EQ(mask[0], 0);
  SilhouetteMask(mask.data(), 1, 2);
  EXPECT_EQ(mask[2], 2);
  SilhouetteClear();
}

}  // namespace
