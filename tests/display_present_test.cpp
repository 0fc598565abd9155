#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/display.h"
#include "tests/display_fake_screen.h"

namespace {

// Draws through the device the way the main loop does and presents.
template <typename Draw>
int DrawAndPresent(DisplayDevice* d, Draw draw) {
  d->Lock(d);
  draw(d->pixels, d->pitchPixels);
  d->Unlock(d);
  return d->Present(d);
}

uint32_t Expected565(uint32_t p) {
  uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}

// Whole-frame and row-by-row paths at each depth, with and without the SIMD
// copy: every pixel lands converted and nothing beyond a row is written.
TEST(Present, DirectPathEveryDepthAndPitch) {
  struct Case {
    int mode, extraPitch, mmx;
  };
  const Case cases[] = {{0, 0, 0}, {0, 0, 1}, {0, 256, 0}, {0, 256, 1}, {1, 0, 0},
                        {1, 64, 0}, {1, 1, 0},  {2, 0, 0}, {2, 6, 0},   {2, 128, 1}};
  std::mt19937 rng(7);
  std::vector<uint32_t> frame(320 * 240);
  for (uint32_t& p : frame) p = rng();
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + " extra " + std::to_string(c.extraPitch) +
                 " mmx " + std::to_string(c.mmx));
    DisplayDevice* d = StartOnFake(c.mode, 0, c.mmx, kAllModes, c.extraPitch);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(DrawAndPresent(d,
                             [&](uint32_t* px, int pitch) {
                               for (int y = 0; y < 240; ++y)
                                 std::memcpy(px + y * pitch, &frame[y * 320], 1280);
                             }),
              1);
    EXPECT_EQ(d->pitchBytes, fakeScreen.pitch);
    EXPECT_EQ(d->pitchPixels, fakeScreen.pitch / (fakeScreen.bits / 8));
    int bytes = fakeScreen.bits / 8;
    int bad = 0, touched = 0;
    for (int y = 0; y < 240; ++y) {
      for (int x = 0; x < 320; ++x) {
        uint32_t p = frame[y * 320 + x];
        const uint8_t* s = &fakeScreen.surface[y * fakeScreen.pitch + x * bytes];
        uint32_t got = 0;
        std::memcpy(&got, s, bytes);
        uint32_t want = bytes == 4 ? p : bytes == 3 ? p & 0xFFFFFF : Expected565(p);
        bad += got != want;
      }
      for (int i = 320 * bytes; i < fakeScreen.pitch; ++i)
        touched += fakeScreen.surface[y * fakeScreen.pitch + i] != 0xAB;
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(touched, 0);
  }
}

TEST(Present, SixteenBitValues) {
  struct Case {
    uint32_t pixel;
    uint16_t screen;
  };
  const Case cases[] = {{Rgb(255, 0, 0), 0xF800}, {Rgb(0, 255, 0), 0x07E0},
                        {Rgb(255, 255, 255), 0xFFFF}, {Rgb(8, 4, 8), 0x0821},
                        {Rgb(7, 3, 7), 0x0000}, {0xFF000000u, 0x0000}};
  DisplayDevice* d = StartOnFake(2, 0, 0);
  ASSERT_NE(d, nullptr);
  DrawAndPresent(d, [&](uint32_t* px, int) {
    std::fill(px, px + 320 * 240, 0u);
    for (size_t i = 0; i < std::size(cases); ++i) px[i] = cases[i].pixel;
  });
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(SurfacePixel(static_cast<int>(i), 0), cases[i].screen) << i;
}

TEST(Present, TwentyFourBitIsBlueGreenRedThreeBytesEach) {
  DisplayDevice* d = StartOnFake(1, 0, 0);
  ASSERT_NE(d, nullptr);
  DrawAndPresent(d, [](uint32_t* px, int) {
    std::fill(px, px + 320 * 240, 0u);
    px[0] = 0xEE000000u | Rgb(18, 52, 86);
    px[1] = Rgb(1, 2, 3);
  });
  const uint8_t want[] = {86, 52, 18, 3, 2, 1, 0};
  EXPECT_EQ(std::vector<uint8_t>(fakeScreen.surface.begin(), fakeScreen.surface.begin() + 7),
            std::vector<uint8_t>(want, want + 7));
}

// A pixel at each corner of a black frame becomes a 2 x 2 block, at every
// depth of the 640 x 480 modes.
TEST(Present, DoublingMakesTwoByTwoBlocks) {
  for (int mode : {3, 4, 5}) {
    for (int mmx : {0, 1}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " mmx " + std::to_string(mmx));
      DisplayDevice* d = StartOnFake(mode, 1, mmx);
      ASSERT_NE(d, nullptr);
      DrawAndPresent(d, [](uint32_t* px, int pitch) {
        std::fill(px, px + 320 * 240, 0u);
        px[0] = Rgb(255, 255, 255);
        px[239 * pitch + 319] = Rgb(255, 0, 0);
      });
      uint32_t white = mode == 5 ? 0xFFFF : Rgb(255, 255, 255);
      uint32_t red = mode == 5 ? 0xF800 : Rgb(255, 0, 0);
      int wrong = 0;
      for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
          uint32_t want = (x < 2 && y < 2) ? white : (x >= 638 && y >= 478) ? red : 0;
          wrong += SurfacePixel(x, y) != want;
        }
      }
      EXPECT_EQ(wrong, 0);
    }
  }
}

// Smoothing halves each channel before adding, so low bits are lost; the
// right two columns of the even rows and the last three rows are never
// written and stay black.
TEST(Present, SmoothingAveragesNeighboursAndLeavesBorderBlack) {
  DisplayDevice* d = StartOnFake(3, 2, 0);
  ASSERT_NE(d, nullptr);
  DrawAndPresent(d, [](uint32_t* px, int pitch) {
    std::fill(px, px + 320 * 240, Rgb(255, 255, 255));
    px[0] = Rgb(254, 254, 254);
    px[1] = Rgb(0, 0, 0);
    px[pitch] = Rgb(0, 0, 0);
    px[10 * pitch + 100] = Rgb(200, 100, 50);
    px[10 * pitch + 101] = Rgb(100, 50, 25);
  });
  struct Case {
    int x, y;
    uint32_t want;
  };
  const Case cases[] = {
      {0, 0, Rgb(254, 254, 254)},    // the source pixel itself
      {1, 0, Rgb(127, 127, 127)},    // (254 + 0) halved
      {2, 0, Rgb(0, 0, 0)},
      {5, 0, Rgb(254, 254, 254)},    // 255 + 255 with the low bits dropped
      {0, 1, Rgb(127, 127, 127)},    // between (254) above and (0) below
      {201, 20, Rgb(150, 75, 37)},   // (200,100,50) and (100,50,25)
      {637, 0, Rgb(254, 254, 254)},
      {638, 0, 0},
      {639, 0, 0},
      {638, 1, 0},                   // odd rows average the black border
      {0, 476, Rgb(255, 255, 255)},
      {0, 475, Rgb(254, 254, 254)},
      {0, 477, 0},
      {100, 478, 0},
      {639, 479, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SurfacePixel(c.x, c.y), c.want) << c.x << "," << c.y;
}

TEST(Present, ScaleModeZeroFillsTopLeftCornerOnly) {
  for (int mode : {3, 4, 5}) {
    DisplayDevice* d = StartOnFake(mode, 0, 1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(DisplayScaleMode(), 0);
    DrawAndPresent(d, [](uint32_t* px, int) { std::fill(px, px + 320 * 240, 0u); });
    int bytes = fakeScreen.bits / 8;
    int cornerWritten = 0, restTouched = 0;
    for (int y = 0; y < 480; ++y) {
      for (int i = 0; i < fakeScreen.pitch; ++i) {
        bool corner = y < 240 && i < 320 * bytes;
        uint8_t b = fakeScreen.surface[y * fakeScreen.pitch + i];
        if (corner) cornerWritten += b == 0;
        else restTouched += b != 0xAB;
      }
    }
    EXPECT_EQ(cornerWritten, 240 * 320 * bytes) << mode;
    EXPECT_EQ(restTouched, 0) << mode;
  }
}

// The SIMD copy and the plain copy give the same bytes for any count and
// alignment; the bytes after the count stay as they were.
TEST(Present, SimdCopyMatchesPlainCopy) {
  std::mt19937 rng(11);
  std::vector<uint32_t> src(2048 + 8);
  for (uint32_t& p : src) p = rng();
  for (int bytes : {0, 4, 28, 32, 36, 1280, 2560, 4100, 8188}) {
    for (int offset : {0, 1, 3}) {
      std::vector<uint8_t> a(8300, 0x5A), b(8300, 0x5A);
      CopyMmx(a.data() + offset, src.data() + 1, bytes);
      CopyPlain(b.data() + offset, src.data() + 1, bytes);
      EXPECT_EQ(a, b) << bytes << " at " << offset;
      EXPECT_EQ(std::memcmp(a.data() + offset, src.data() + 1, bytes), 0);
    }
  }
}

// An odd last pixel is one 16-bit value: the two bytes after it are untouched.
TEST(Present, Convert16OddCountWritesExactlyTwoBytesPerPixel) {
  const uint32_t src[3] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(255, 255, 255)};
  uint8_t dst[8];
  std::memset(dst, 0xAB, sizeof(dst));
  Convert16(dst, src, 12);
  const uint8_t want[8] = {0x00, 0xF8, 0xE0, 0x07, 0xFF, 0xFF, 0xAB, 0xAB};
  EXPECT_EQ(std::memcmp(dst, want, 8), 0);
  std::memset(dst, 0xAB, sizeof(dst));
  Convert24(dst, src, 8);
  const uint8_t want24[8] = {0, 0, 255, 0, 255, 0, 0xAB, 0xAB};
  EXPECT_EQ(std::memcmp(dst, want24, 8), 0);
}

}  // namespace
