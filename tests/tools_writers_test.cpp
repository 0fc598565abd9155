// The PCX and TGA writers meet the project's own decoders: whatever is
// written reads back pixel for pixel at its size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/encode_pcx.h"
#include "image/encode_tga.h"
#include "image/picture.h"
#include "tests/tools_support.h"

namespace {

struct Sample {
  const char* label;
  int width;
  int height;
  int colours;  // distinct colours drawn from; 0: a gradient of many
  int runs;     // long horizontal runs of one colour
};

// Pixels with runs longer than any packet, bytes of 0xC0 and above in every
// channel, and odd widths that need padding.
std::vector<uint32_t> MakePixels(const Sample& s) {
  std::vector<uint32_t> px(static_cast<size_t>(s.width) * s.height);
  uint32_t state = 7;
  for (int y = 0; y < s.height; y++)
    for (int x = 0; x < s.width; x++) {
      state = state * 1103515245u + 12345u;
      uint32_t c;
      if (s.runs && (y % 3) != 2) {
        c = 0xC0C1FF - static_cast<uint32_t>(y % 2);
      } else if (s.colours) {
        uint32_t k = (state >> 16) % static_cast<uint32_t>(s.colours);
        c = (k * 0x3F1D27u + 0xC0C0C0u) & 0xFFFFFF;
      } else {
        c = ((x * 7) & 255) << 16 | ((y * 13) & 255) << 8 | ((state >> 16) & 255);
      }
      px[static_cast<size_t>(y) * s.width + x] = c;
    }
  return px;
}

const Sample kSamples[] = {
    {"one pixel", 1, 1, 1, 0},          {"few colours, odd width", 7, 5, 4, 0},
    {"full palette", 33, 17, 256, 0},   {"true colour, odd width", 31, 9, 0, 0},
    {"long runs", 300, 7, 3, 1},        {"long runs true colour", 301, 6, 0, 1},
    {"tall", 3, 260, 0, 0},
};

std::vector<uint32_t> ReadBack(const std::string& path, int* width, int* height) {
  std::vector<uint32_t> px;
  std::string message;
  EXPECT_TRUE(DecodePictureFile(path.c_str(), &px, width, height, &message)) << message;
  return px;
}

TEST(PictureWriters, PcxAndTgaRoundTripThroughTheDecoders) {
  std::string dir = TempDir();
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.label);
    std::vector<uint32_t> px = MakePixels(s);
    struct Written {
      std::string path;
      int ok;
    } files[] = {
        {dir + "/a.pcx", WritePcx((dir + "/a.pcx").c_str(), s.width, s.height, px.data())},
        {dir + "/raw.tga", WriteTga((dir + "/raw.tga").c_str(), s.width, s.height, px.data(), 0)},
        {dir + "/rle.tga", WriteTga((dir + "/rle.tga").c_str(), s.width, s.height, px.data(), 1)},
    };
    for (const Written& f : files) {
      SCOPED_TRACE(f.path);
      ASSERT_TRUE(f.ok);
      int w = 0, h = 0;
      std::vector<uint32_t> back = ReadBack(f.path, &w, &h);
      EXPECT_EQ(w, s.width);
      EXPECT_EQ(h, s.height);
      EXPECT_EQ(back, px);
    }
  }
}

TEST(PictureWriters, PcxIsPalettedUpTo256ColoursWithTheFirstPixelAsIndexZero) {
  struct Case {
    int colours;
    int planes;
  } cases[] = {{1, 1}, {256, 1}, {257, 3}};
  for (const Case& c : cases) {
    std::vector<uint32_t> px(300);
    for (size_t i = 0; i < px.size(); i++) px[i] = 0x102030u + static_cast<uint32_t>(i % c.colours) * 0x010101u;
    std::vector<uint8_t> file = EncodePcx(20, 15, px.data());
    ASSERT_GE(file.size(), 130u);
    EXPECT_EQ(file[65], c.planes) << c.colours;
    if (c.planes == 1) {
      const uint8_t* palette = file.data() + file.size() - 768;
      EXPECT_EQ(file[file.size() - 769], 0x0C);
      EXPECT_EQ(palette[0], 0x10);
      EXPECT_EQ(palette[1], 0x20);
      EXPECT_EQ(palette[2], 0x30);
    }
  }
}

TEST(PictureWriters, TgaRunsShrinkFlatPicturesAndRawStaysExact) {
  std::vector<uint32_t> flat(64 * 64, 0x336699);
  std::vector<uint8_t> rle = EncodeTga(64, 64, flat.data(), 1);
  std::vector<uint8_t> raw = EncodeTga(64, 64, flat.data(), 0);
  EXPECT_EQ(raw.size(), 18u + 64 * 64 * 3);
  EXPECT_LT(rle.size(), 18u + 64 * 4 * 2);
  EXPECT_EQ(rle[2], 10);
  EXPECT_EQ(raw[2], 2);
}

TEST(PictureWriters, RefuseSizesTheFormatsCannotHoldAndUnwritablePaths) {
  std::vector<uint32_t> px(4, 0);
  EXPECT_TRUE(EncodePcx(0, 2, px.data()).empty());
  EXPECT_TRUE(EncodePcx(70000, 1, px.data()).empty());
  EXPECT_TRUE(EncodeTga(2, -1, px.data(), 1).empty());
  EXPECT_EQ(WritePcx("/nonexistent-dir/x.pcx", 2, 2, px.data()), 0);
  EXPECT_EQ(WriteTga("/nonexistent-dir/x.tga", 2, 2, px.data(), 0), 0);
}

}  // namespace
