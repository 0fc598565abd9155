#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "display/display.h"
#include "display/toolkit.h"
#include "show/fade.h"

namespace {

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

std::vector<uint32_t> RandomPixels(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> v(n);
  for (auto& p : v) p = rng();
  return v;
}

class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override { InitFadeOperations(320, 240, 0); }
};

using Combine = void (*)(uint32_t*, const uint32_t*, const uint32_t*, int);

TEST_F(Toolkit, KnownChannelValuesInBothVariants) {
  struct Case {
    const char* name;
    Combine fn;
    uint32_t a, b, expect;
  } cases[] = {
      {"multiply by white", TableCombinePlain, Rgb(255, 128, 1), Rgb(255, 255, 255),
       Rgb(254, 127, 0)},
      {"multiply by white simd", TableCombineSimd, Rgb(255, 128, 1), Rgb(255, 255, 255),
       Rgb(254, 127, 0)},
      {"multiply by black", TableCombinePlain, Rgb(255, 128, 1), 0, 0},
      {"multiply by black simd", TableCombineSimd, Rgb(255, 128, 1), 0, 0},
      {"add saturates", SaturatingAddPlain, Rgb(200, 100, 0), Rgb(100, 100, 100),
       Rgb(255, 200, 100)},
      {"add saturates simd", SaturatingAddSimd, Rgb(200, 100, 0), Rgb(100, 100, 100),
       Rgb(255, 200, 100)},
  };
  for (const Case& c : cases) {
    // Seven pixels: one whole SIMD step and a plain tail of three.
    std::vector<uint32_t> a(7, c.a), b(7, c.b), dst(7, 0);
    c.fn(dst.data(), a.data(), b.data(), 7);
    for (uint32_t p : dst) EXPECT_EQ(p, c.expect) << c.name;
  }
}

TEST_F(Toolkit, SimdMatchesPlainOnRandomDataWithoutOverrun) {
  const int counts[] = {0, 1, 2, 3, 4, 5, 7, 8, 15, 17, 331, 76800};
  const uint32_t guard = 0xDEADBEEF;
  for (int count : counts) {
    SCOPED_TRACE(count);
    auto a = RandomPixels(count + 8, 1 + count), b = RandomPixels(count + 8, 2 + count);
    auto d0 = RandomPixels(count + 8, 3 + count);
    struct Pair {
      Combine plain, simd;
    } pairs[] = {{TableCombinePlain, TableCombineSimd}, {SaturatingAddPlain, SaturatingAddSimd}};
    for (const Pair& p : pairs) {
      auto plain = d0, simd = d0;
      plain[count] = simd[count] = guard;
      p.plain(plain.data(), a.data(), b.data(), count);
      p.simd(simd.data(), a.data(), b.data(), count);
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(plain[i] & 0xFFFFFF, simd[i] & 0xFFFFFF) << i;
        ASSERT_EQ(plain[i] >> 24, d0[i] >> 24) << "plain keeps dst's top byte";
      }
      EXPECT_EQ(plain[count], guard);
      EXPECT_EQ(simd[count], guard);
    }
    // In place: dst is also the first source.
    auto inPlain = a, inSimd = a;
    SaturatingAddPlain(inPlain.data(), inPlain.data(), b.data(), count);
    SaturatingAddSimd(inSimd.data(), inSimd.data(), b.data(), count);
    for (int i = 0; i < count; ++i) ASSERT_EQ(inPlain[i] & 0xFFFFFF, inSimd[i] & 0xFFFFFF);
  }
  // The SIMD variants treat the top byte as a fourth channel.
  std::vector<uint32_t> a(4, 0xC0000000), b(4, 0x80000000), dst(4, 0);
  SaturatingAddSimd(dst.data(), a.data(), b.data(), 4);
  EXPECT_EQ(dst[0], 0xFF000000u);
  TableCombineSimd(dst.data(), a.data(), b.data(), 4);
  EXPECT_EQ(dst[0], 0x60000000u);
}

TEST_F(Toolkit, FillStopsAtItsByteCount) {
  const int byteCounts[] = {0, 3, 4, 6, 60, 64, 68, 132, 307200};
  for (int bytes : byteCounts) {
    for (auto fill : {FillPixelsPlain, FillPixelsSimd, FillPixels}) {
      std::vector<uint32_t> dst(bytes / 4 + 4, 7);
      fill(dst.data(), 0x00ABCDEF, bytes);
      for (int i = 0; i < bytes / 4; ++i) ASSERT_EQ(dst[i], 0x00ABCDEFu) << bytes;
      EXPECT_EQ(dst[bytes / 4], 7u) << bytes;
    }
  }
}

TEST_F(Toolkit, KeyedCopySkipsOnlyTheExactKey) {
  std::vector<uint32_t> src = {0, Rgb(1, 0, 0), 0x01000000, 0, Rgb(9, 9, 9)};
  std::vector<uint32_t> dst(5, 0x555555);
  KeyedCopy(dst.data(), src.data(), 0, 5);
  std::vector<uint32_t> expect = {0x555555, Rgb(1, 0, 0), 0x01000000, 0x555555, Rgb(9, 9, 9)};
  EXPECT_EQ(dst, expect);
}

TEST_F(Toolkit, DispatchFollowsNoMmx) {
  // With the plain variants forced, the top byte of dst survives an add.
  InitFadeOperations(320, 240, 1);
  uint32_t a = 0xFF000001, b = 0xFF000001, dst = 0x12000000;
  SaturatingAdd(&dst, &a, &b, 1);
  EXPECT_EQ(dst, 0x12000002u);
  std::vector<uint32_t> va(4, 0xFF000001), vb(4, 0xFF000001), vd(4, 0x12000000);
  InitFadeOperations(320, 240, 0);
  SaturatingAdd(vd.data(), va.data(), vb.data(), 4);
  EXPECT_EQ(vd[0], HasMmx() ? 0xFF000002u : 0x12000002u);
}

TEST(PulseTrack, RisesFallsAndHolds) {
  Pulse* track = PulseTrackCreate(4, 0.5f, 0.1f, 0.3f, 1.0f, 0.0f);
  ASSERT_NE(track, nullptr);
  struct Case {
    float t, offset, expect;
  } cases[] = {
      {0.0f, 0.0f, 0.0f},  {-1.0f, 0.0f, 0.0f}, {0.1f, 0.0f, 1.0f},  {0.2f, 0.0f, 0.5f},
      {0.3f, 0.0f, 0.0f},  {0.4f, 0.0f, 0.0f},  {0.55f, 0.0f, 0.5f}, {0.6f, 0.0f, 1.0f},
      {1.6f, 0.0f, 1.0f},  {1.9f, 0.0f, 0.0f},  {50.0f, 0.0f, 0.0f}, {2.1f, 2.0f, 1.0f},
      {0.05f, 0.0f, 0.5f},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(PulseTrackValue(track, 4, c.t, c.offset), c.expect, 1e-5f) << c.t;
  // Past the last pair the last value holds, whatever it is.
  Pulse* high = PulseTrackCreate(1, 1.0f, 0.2f, 0.4f, 3.0f, 2.0f);
  EXPECT_EQ(PulseTrackValue(high, 1, 9.0f, 0.0f), 2.0f);
  EXPECT_EQ(PulseTrackValue(high, 1, -9.0f, 0.0f), 2.0f);
  EXPECT_EQ(PulseTrackCreate(0, 1.0f, 0.1f, 0.2f, 1.0f, 0.0f), nullptr);
  std::free(track);
  std::free(high);
}

}  // namespace

namespace {

// The SIMD screen conversions and keyed copy against the plain ones, at counts
// that leave every kind of tail, never writing past the last pixel.
TEST(FrameSimd, ConversionsAndKeyedCopyMatchPlainWithoutOverrun) {
  using Convert = void (*)(void*, const uint32_t*, int);
  const struct {
    const char* name;
    Convert plain, simd;
    int bytesPerPixel;
  } conversions[] = {{"16", Convert16, Convert16Simd, 2}, {"24", Convert24, Convert24Simd, 3}};
  for (int count : {0, 1, 3, 4, 7, 8, 15, 16, 17, 31, 33, 320, 76800}) {
    SCOPED_TRACE(count);
    auto src = RandomPixels(static_cast<size_t>(count), 11u + static_cast<uint32_t>(count));
    for (const auto& c : conversions) {
      SCOPED_TRACE(c.name);
      const size_t bytes = static_cast<size_t>(count) * c.bytesPerPixel;
      std::vector<uint8_t> plain(bytes + 16, 0xA5), simd(bytes + 16, 0xA5);
      c.plain(plain.data(), src.data(), count * 4);
      c.simd(simd.data(), src.data(), count * 4);
      EXPECT_EQ(plain, simd);  // also the 16 guard bytes past the end
    }
    // A third of the source is the key.
    for (size_t i = 0; i < src.size(); i += 3) src[i] = 0x123456;
    auto d0 = RandomPixels(static_cast<size_t>(count) + 1, 12u + static_cast<uint32_t>(count));
    auto plain = d0, simd = d0;
    KeyedCopyPlain(plain.data(), src.data(), 0x123456, count);
    KeyedCopySimd(simd.data(), src.data(), 0x123456, count);
    EXPECT_EQ(plain, simd);
  }
}

}  // namespace
