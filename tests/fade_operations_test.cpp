#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "show/fade.h"

namespace {

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

std::vector<uint32_t> RandomPixels(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> v(n);
  for (auto& p : v) p = rng();  // top byte random too: plain must clear it
  return v;
}

TEST(FadeOperations, FormulasOnKnownChannels) {
  uint32_t src = Rgb(0, 100, 255);
  uint32_t out = 0;
  WhitenPlain(&out, &src, 255, 1);  // c + ((255 - c) * 255 >> 8)
  EXPECT_EQ(out, Rgb(254, 100 + (155 * 255 >> 8), 255));
  DarkenPlain(&out, &src, 128, 1);
  EXPECT_EQ(out, Rgb(0, 50, 127));
  uint32_t a = Rgb(200, 100, 0), b = Rgb(100, 100, 100);
  CrossFadePlain(&out, &a, &b, 64, 1);
  EXPECT_EQ(out, Rgb((200 * 191 >> 8) + (100 * 64 >> 8), (100 * 191 >> 8) + (100 * 64 >> 8),
                     100 * 64 >> 8));
  WeightedAddPlain(&out, &a, &b, 255, 255, 1);  // saturates at 255
  EXPECT_EQ(out, Rgb(255, 198, 99));
}

TEST(FadeOperations, LevelsClampAndEmptyCountsWriteNothing) {
  uint32_t src = Rgb(10, 20, 30), lo = 0, hi = 0, ref0 = 0, ref255 = 0;
  DarkenPlain(&lo, &src, -40, 1);
  DarkenPlain(&ref0, &src, 0, 1);
  DarkenPlain(&hi, &src, 999, 1);
  DarkenPlain(&ref255, &src, 255, 1);
  EXPECT_EQ(lo, ref0);
  EXPECT_EQ(hi, ref255);
  uint32_t untouched = 0xDEADBEEF;
  for (int count : {0, -5}) {
    WhitenPlain(&untouched, &src, 100, count);
    WhitenSimd(&untouched, &src, 100, count);
    WeightedAddSimd(&untouched, &src, &src, 1, 2, count);
  }
  EXPECT_EQ(untouched, 0xDEADBEEFu);
}

// The SIMD variants must give the plain results on the colour channels for any
// count (tails included) and level, and run the same formula on bits 24-31.
TEST(FadeOperations, SimdMatchesPlainOnColourAndFormulaOnTopByte) {
  for (int count : {1, 3, 4, 7, 16, 1003, 76800}) {
    auto a = RandomPixels(static_cast<size_t>(count), 1u + static_cast<uint32_t>(count));
    auto b = RandomPixels(static_cast<size_t>(count), 99u + static_cast<uint32_t>(count));
    // Every level on the smaller frames, a sample on the whole frame; levels
    // outside 0..255 clamp.
    std::vector<int> levels;
    if (count < 76800) {
      for (int level = -3; level <= 258; ++level) levels.push_back(level);
    } else {
      levels = {-1, 0, 1, 77, 128, 254, 255, 300};
    }
    for (int level : levels) {
      std::vector<uint32_t> p(a.size()), s(a.size());
      WhitenPlain(p.data(), a.data(), level, count);
      WhitenSimd(s.data(), a.data(), level, count);
      int l = level > 255 ? 255 : (level < 0 ? 0 : level);
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(p[i] >> 24, 0u);
        ASSERT_EQ(s[i] & 0xFFFFFF, p[i]) << "whiten " << i;
        uint32_t top = a[i] >> 24;
        ASSERT_EQ(s[i] >> 24, top + (((255 - top) * l) >> 8));
      }
      DarkenPlain(p.data(), a.data(), level, count);
      DarkenSimd(s.data(), a.data(), level, count);
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(s[i] & 0xFFFFFF, p[i]) << "darken " << i;
        ASSERT_EQ(s[i] >> 24, ((a[i] >> 24) * l) >> 8);
      }
      CrossFadePlain(p.data(), a.data(), b.data(), level, count);
      CrossFadeSimd(s.data(), a.data(), b.data(), level, count);
      for (int i = 0; i < count; ++i) ASSERT_EQ(s[i] & 0xFFFFFF, p[i]) << "crossfade " << i;
      WeightedAddPlain(p.data(), a.data(), b.data(), level, 255 - level / 3, count);
      WeightedAddSimd(s.data(), a.data(), b.data(), level, 255 - level / 3, count);
      for (int i = 0; i < count; ++i) ASSERT_EQ(s[i] & 0xFFFFFF, p[i]) << "weighted " << i;
    }
  }
}

TEST(FadeOperations, DestinationMayBeASource) {
  auto a = RandomPixels(33, 5), b = RandomPixels(33, 6);
  std::vector<uint32_t> expect(33), inplace = a;
  WeightedAddSimd(expect.data(), a.data(), b.data(), 90, 200, 33);
  WeightedAddSimd(inplace.data(), inplace.data(), b.data(), 90, 200, 33);
  EXPECT_EQ(inplace, expect);
}

TEST(FadeOperations, InitChoosesVariantsAndBuildsTable) {
  InitFadeOperations(320, 240, 1);
  EXPECT_EQ(HasMmx(), 0);
  EXPECT_EQ(FadeOperations.Whiten, &WhitenPlain);
  EXPECT_EQ(FadeOperations.width * FadeOperations.height, 76800);
  InitFadeOperations(320, 240, 0);
  EXPECT_EQ(HasMmx(), 1);  // SSE2 is always present on x86-64
  EXPECT_EQ(FadeOperations.CrossFade, &CrossFadeSimd);
  EXPECT_EQ(MultiplyTable[255 * 256 + 255], 254);
  EXPECT_EQ(MultiplyTable[128 * 256 + 3], 1);
  EXPECT_EQ(MultiplyTable[7 * 256 + 0], 0);
}

}  // namespace

// The eight-pixel and four-pixel SIMD paths give the same bytes, all four of
// them, at counts that leave every kind of tail.
TEST(FadeOperations, WideAndFourPixelPathsAgree) {
  for (int count : {0, 5, 8, 12, 19, 1001}) {
    auto a = RandomPixels(static_cast<size_t>(count) + 1, 5u + static_cast<uint32_t>(count));
    auto b = RandomPixels(static_cast<size_t>(count) + 1, 6u + static_cast<uint32_t>(count));
    for (int level : {0, 1, 100, 254, 255}) {
      SCOPED_TRACE(std::to_string(count) + " at " + std::to_string(level));
      std::vector<uint32_t> wide(a.size(), 7), four(a.size(), 7);
      WhitenSimd(wide.data(), a.data(), level, count);
      WhitenSse2(four.data(), a.data(), level, count);
      EXPECT_EQ(wide, four);
      DarkenSimd(wide.data(), a.data(), level, count);
      DarkenSse2(four.data(), a.data(), level, count);
      EXPECT_EQ(wide, four);
      WeightedAddSimd(wide.data(), a.data(), b.data(), level, 255 - level / 2, count);
      WeightedAddSse2(four.data(), a.data(), b.data(), level, 255 - level / 2, count);
      EXPECT_EQ(wide, four);
    }
  }
}
