// The browser entry's portable parts: its switches, the virtual clock's
// instants, and the uncompressed PNG writer behind the screenshot key.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/web/entry_switches.h"
#include "platform/web/png_store.h"

namespace {

struct SwitchCase {
  std::vector<std::string> args;
  int rate;
  int unpaced;
  bool error;
  std::vector<std::string> left;  // what the show receives
};

TEST(WebEntry, SwitchesAreTakenOutAndTheRestKeptInOrder) {
  const SwitchCase cases[] = {
      {{"kv"}, 0, 0, false, {"kv"}},
      {{"kv", "/nommx", "/v", "3"}, 0, 0, false, {"kv", "/nommx", "/v", "3"}},
      {{"kv", "/rate", "2", "/nosound"}, 2, 0, false, {"kv", "/nosound"}},
      {{"kv", "/data", "/data", "/unpaced", "/rate", "60"}, 60, 1, false, {"kv", "/data", "/data"}},
      {{"kv", "/rate", "1000"}, 1000, 0, false, {"kv"}},
      {{"kv", "/rate", "0"}, 0, 0, true, {"kv"}},
      {{"kv", "/rate", "1001"}, 0, 0, true, {"kv"}},
      {{"kv", "/rate", "2x"}, 0, 0, true, {"kv"}},
      {{"kv", "/rate"}, 0, 0, true, {"kv"}},
      // The program name is never a switch, and a switch's look-alike stays.
      {{"/rate", "/rates", "/unpacedx"}, 0, 0, false, {"/rate", "/rates", "/unpacedx"}},
  };
  for (const SwitchCase& c : cases) {
    std::vector<std::string> args = c.args;
    WebEntrySwitches s = ParseWebEntrySwitches(&args);
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(s.rate, c.rate);
    EXPECT_EQ(s.unpaced, c.unpaced);
    EXPECT_EQ(!s.error.empty(), c.error);
    EXPECT_EQ(args, c.left);
  }
}

TEST(WebEntry, InstantsMatchTheCapturesFrameTimes) {
  struct Case { int64_t turn; int rate; uint32_t ms; };
  const Case cases[] = {
      {0, 2, 0}, {1, 2, 500}, {533, 2, 266500}, {1, 60, 16}, {2, 60, 33}, {3, 60, 50},
      {15960, 60, 266000}, {7, 3, 2333}, {4000000, 1000, 4000000},
  };
  for (const Case& c : cases) EXPECT_EQ(WebEntryInstant(c.turn, c.rate), c.ms) << c.turn;
}

// Decodes a PNG held in memory with libpng into 0x00RRGGBB pixels.
bool DecodeWithLibpng(const std::vector<uint8_t>& file, int* width, int* height,
                      std::vector<uint32_t>* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  pixels->clear();
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    pixels->push_back(uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
  return true;
}

TEST(WebPng, LibpngReadsBackEveryPixel) {
  struct Case { int width, height, pitch; };
  // 320x240 spans many stored blocks; 1x1 and an odd width with a wider
  // pitch check the edges and the row stride.
  const Case cases[] = {{1, 1, 1}, {7, 3, 9}, {320, 240, 320}, {640, 480, 640}};
  for (const Case& c : cases) {
    std::vector<uint32_t> src(static_cast<size_t>(c.pitch) * c.height);
    for (size_t i = 0; i < src.size(); ++i)
      src[i] = static_cast<uint32_t>(i * 2654435761u) | 0xFF000000u;  // top byte ignored
    std::vector<uint8_t> png;
    ASSERT_EQ(PngStore(src.data(), c.width, c.height, c.pitch, &png), 1);
    int w = 0, h = 0;
    std::vector<uint32_t> back;
    ASSERT_TRUE(DecodeWithLibpng(png, &w, &h, &back)) << c.width << "x" << c.height;
    ASSERT_EQ(w, c.width);
    ASSERT_EQ(h, c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        ASSERT_EQ(back[static_cast<size_t>(y) * c.width + x],
                  src[static_cast<size_t>(y) * c.pitch + x] & 0xFFFFFF)
            << x << "," << y;
  }
}

TEST(WebPng, RefusesSizesItCannotWrite) {
  uint32_t pixel = 0;
  std::vector<uint8_t> png;
  EXPECT_EQ(PngStore(&pixel, 0, 1, 1, &png), 0);
  EXPECT_EQ(PngStore(&pixel, 1, 0, 1, &png), 0);
  EXPECT_EQ(PngStore(&pixel, 2, 1, 1, &png), 0);  // pitch below the width
  EXPECT_EQ(PngStore(nullptr, 1, 1, 1, &png), 0);
  // More than a chunk can hold: refused before any pixel is read.
  EXPECT_EQ(PngStore(&pixel, 40000, 40000, 40000, &png), 0);
}

}  // namespace
