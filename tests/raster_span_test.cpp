// The span family on known texels, light levels, frame pixels and depths.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "raster/raster.h"

namespace {

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// Points the span state at a one-texel texture and a run of frame pixels.
void PrepareSpan(const uint32_t* texel, uint32_t* frame, int32_t* depth, int32_t count) {
  InitRasterizer();
  RasterStateRecord& s = RasterState;
  s.texels = texel;
  s.uShift = 16, s.uMask = 0, s.vShift = 8, s.vMask = 0;
  s.colour = frame;
  s.depth = depth;
  s.count = count;
  s.u = s.v = s.du = s.dv = 0;
  s.z = 1000, s.dz = 0;
  s.level = s.red = s.green = s.blue = 0;
  s.dlevel = s.dred = s.dgreen = s.dblue = 0;
  s.opacityRow = MulTable;
}

struct PixelCase {
  const char* what;
  SpanRoutineFn routine;
  uint32_t texel;
  uint32_t frame;
  int32_t stored;  // depth buffer before
  int32_t z;       // span depth
  int level;       // level, or red with green and blue below
  int green, blue;
  int opacity;  // opacity row
  uint32_t result;
  int32_t storedAfter;
};

TEST(RasterSpan, EachMemberCombinesTexelLevelsAndFrameExactly) {
  const uint32_t white = 0xFFFFFF, black = 0, grey = Rgb(192, 192, 192);
  const uint32_t texel = Rgb(200, 100, 50), frame = Rgb(10, 20, 30);
  const PixelCase cases[] = {
      {"copy with depth", SpanCopyDepth, 0xABCDEF, black, 0, 5, 0, 0, 0, 0, 0xABCDEF, 5},
      {"copy with depth, farther", SpanCopyDepth, 0xABCDEF, black, 6, 5, 0, 0, 0, 0, black, 6},
      {"copy with depth, equal passes", SpanCopyDepth, 0xABCDEF, black, 5, 5, 0, 0, 0, 0, 0xABCDEF,
       5},
      {"copy ignores depth", SpanCopy, 0xABCDEF, black, 9, 5, 0, 0, 0, 0, 0xABCDEF, 9},
      {"shade 255", SpanShade, white, black, 9, 5, 255, 0, 0, 0, Rgb(254, 254, 254), 9},
      {"shade 64", SpanShade, texel, black, 9, 5, 64, 0, 0, 0, Rgb(50, 25, 12), 9},
      // The level is not masked: -1 reads the end of the row before.
      {"shade just below 0", SpanShade, texel, black, 9, 5, -1, 0, 0, 0, Rgb(198, 98, 48), 9},
      {"shade below 0, table start", SpanShade, Rgb(0, 1, 255), black, 9, 5, -1, 0, 0, 0,
       Rgb(0, 0, 253), 9},
      {"shade 256, table end", SpanShade, Rgb(255, 0, 10), black, 9, 5, 256, 0, 0, 0,
       Rgb(254, 0, 0), 9},
      {"rgb white at 255", SpanRgbDepth, white, black, 0, 5, 255, 255, 255, 0, Rgb(254, 254, 254),
       5},
      {"rgb white at 0", SpanRgbDepth, white, grey, 0, 5, 0, 0, 0, 0, black, 5},
      {"rgb per channel", SpanRgbDepth, Rgb(128, 64, 32), black, 0, 5, 255, 128, 0, 0,
       Rgb(127, 32, 0), 5},
      {"rgb with depth, farther", SpanRgbDepth, white, grey, 7, 5, 255, 255, 255, 0, grey, 7},
      {"rgb without depth", SpanRgb, Rgb(128, 64, 32), black, 7, 5, 255, 128, 0, 0, Rgb(127, 32, 0),
       7},
      {"half white over black", SpanHalfDepth, white, black, 0, 5, 0, 0, 0, 0, Rgb(127, 127, 127),
       5},
      {"half white over white", SpanHalfDepth, white, white, 0, 5, 0, 0, 0, 0, Rgb(254, 254, 254),
       5},
      {"half odd channels", SpanHalfDepth, Rgb(1, 2, 3), Rgb(3, 2, 1), 0, 5, 0, 0, 0, 0,
       Rgb(1, 2, 1), 5},
      {"half, farther", SpanHalfDepth, white, black, 6, 5, 0, 0, 0, 0, black, 6},
      {"add level test", SpanAddLevelTest, texel, frame, 0, 5, 128, 0, 0, 0, Rgb(110, 70, 55), 0},
      {"add level test saturates", SpanAddLevelTest, white, grey, 0, 5, 255, 0, 0, 0, white, 0},
      {"add level test, farther", SpanAddLevelTest, texel, frame, 6, 5, 128, 0, 0, 0, frame, 6},
      {"add level depth", SpanAddLevelDepth, texel, frame, 0, 5, 128, 0, 0, 0, Rgb(110, 70, 55), 5},
      {"add level depth, farther", SpanAddLevelDepth, texel, frame, 6, 5, 128, 0, 0, 0, frame, 6},
      {"add opacity 255 saturates", SpanAddOpacity, Rgb(128, 128, 128), grey, 3, 5, 0, 0, 0, 255,
       white, 3},
      {"add opacity 0", SpanAddOpacity, Rgb(128, 128, 128), grey, 3, 5, 0, 0, 0, 0, grey, 3},
      {"add opacity 128", SpanAddOpacity, texel, frame, 3, 5, 0, 0, 0, 128, Rgb(110, 70, 55), 3},
      {"add opacity depth", SpanAddOpacityDepth, texel, frame, 3, 5, 0, 0, 0, 128, Rgb(110, 70, 55),
       5},
      {"add opacity depth, farther", SpanAddOpacityDepth, texel, frame, 6, 5, 0, 0, 0, 128, frame,
       6},
  };
  for (const PixelCase& k : cases) {
    SCOPED_TRACE(k.what);
    uint32_t pixel = k.frame;
    int32_t depth = k.stored;
    PrepareSpan(&k.texel, &pixel, &depth, 1);
    RasterState.z = k.z;
    RasterState.level = RasterState.red = k.level << 16;
    RasterState.green = k.green << 16;
    RasterState.blue = k.blue << 16;
    RasterState.opacityRow = MulTable + k.opacity * 256;
    k.routine();
    EXPECT_EQ(pixel, k.result);
    EXPECT_EQ(depth, k.storedAfter);
  }
}

// Every routine steps all its interpolants on every pixel, also behind the
// depth test, and leaves them in RasterState for the next piece.
TEST(RasterSpan, StateAdvancesOverEveryPixelAndIsStoredBack) {
  struct Case {
    SpanRoutineFn routine;
    bool depth, level, rgb;
  };
  const Case cases[] = {
      {SpanCopyDepth, true, false, false},   {SpanCopy, false, false, false},
      {SpanShade, false, true, false},       {SpanRgbDepth, true, false, true},
      {SpanRgb, false, false, true},         {SpanHalfDepth, true, false, false},
      {SpanAddLevelTest, true, true, false}, {SpanAddLevelDepth, true, true, false},
      {SpanAddOpacity, false, false, false}, {SpanAddOpacityDepth, true, false, false},
  };
  const uint32_t texel = 0x808080;
  for (const Case& k : cases) {
    uint32_t frame[7] = {};
    int32_t depth[7] = {0, 0, 1 << 30, 1 << 30, 1 << 30, 0, 0};  // pixels 2..4 hidden
    PrepareSpan(&texel, frame, depth, 7);
    RasterStateRecord& s = RasterState;
    s.du = 1 << 21, s.v = 3 << 21, s.dv = -(1 << 20), s.z = 100, s.dz = 7;
    s.level = 200 << 16, s.dlevel = -(3 << 16), s.dred = 1 << 16, s.dgreen = 2 << 16;
    s.blue = 255 << 16, s.dblue = -(1 << 16), s.opacityRow = MulTable + 255 * 256;
    k.routine();
    EXPECT_EQ(s.colour, frame + 7);
    EXPECT_EQ(s.u, 7 << 21);
    EXPECT_EQ(s.v, (3 << 21) - 7 * (1 << 20));
    EXPECT_EQ(s.depth, k.depth ? depth + 7 : depth);
    EXPECT_EQ(s.z, k.depth ? 149 : 100);
    EXPECT_EQ(frame[3] == 0, k.depth);
    EXPECT_EQ(s.level, k.level ? 179 << 16 : 200 << 16);
    EXPECT_EQ(s.red, k.rgb ? 7 << 16 : 0);
    EXPECT_EQ(s.green, k.rgb ? 14 << 16 : 0);
    EXPECT_EQ(s.blue, k.rgb ? 248 << 16 : 255 << 16);
  }
}

TEST(RasterSpan, GuardSkipsCrossedEdgesAndEmptyRunsDrawNothing) {
  const uint32_t texel = 0xFFFFFF;
  for (int32_t count : {0, -1, -40}) {
    SCOPED_TRACE(count);
    uint32_t frame[2] = {1, 2};
    int32_t depth[2] = {0, 0};
    PrepareSpan(&texel, frame, depth, count);
    RasterState.span = SpanCopyDepth;
    RasterState.du = 1 << 16;
    RasterState.dz = 5;
    RasterStateRecord before;
    std::memcpy(&before, &RasterState, sizeof before);
    SpanGuard();
    EXPECT_EQ(std::memcmp(&before, &RasterState, sizeof before), 0);
    EXPECT_EQ(frame[0], 1u);
    EXPECT_EQ(depth[0], 0);
  }
  SelectRenderMode(0);
}

}  // namespace
