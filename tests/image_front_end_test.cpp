// The loader front end: choosing a decoder by extension, the fatal paths
// with their messages and exit status, the constructors, and the texture
// and row helpers.
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "image/picture.h"
#include "tests/image_craft.h"

namespace {

using craft::Rgb;

TEST(FrontEnd, LastExtensionCutToThreeLettersChoosesTheDecoder) {
  struct Case {
    const char* name;
    PictureDecoder decoder;
    const char* message;
  };
  const Case cases[] = {
      {"gfx\\title.jpg", DecodeJpg, ""},
      {"TITLE.JPG", DecodeJpg, ""},
      {"mixed.JpG", DecodeJpg, ""},
      {"a.b.tga", DecodeTga, ""},
      {"x.Pcx", DecodePcx, ""},
      {"x.bmp", DecodeBmp, ""},
      {"x.iff", DecodeIff, ""},
      {"x.LBM", DecodeIff, ""},
      {"x.rix", DecodeRix, ""},
      {"x.scx", DecodeRix, ""},
      {"x.cel", DecodeCel, ""},
      {"x.tgax", DecodeTga, ""},
      {"gfx\\title1.pcx.bak", nullptr, "sorry, files of .bak type are not supported\n"},
      {"portrait.jpeg", nullptr, "sorry, files of .jpe type are not supported\n"},
      {"short.jp", nullptr, "sorry, files of .jp type are not supported\n"},
      {"dot.", nullptr, "sorry, files of . type are not supported\n"},
      {"gfx\\title", nullptr, "sorry, unable to detect filetype of file: gfx\\title\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PictureResult result;
    EXPECT_EQ(FindPictureDecoder(c.name, &result), c.decoder);
    EXPECT_EQ(result.message, c.message);
  }
}

TEST(FrontEnd, MissingFileGivesItsFormatsMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"pcx", "PCX file not found\n"}, {"tga", "TGA file not found\n"},     {"bmp", "BMP file not found\n"},
      {"iff", "LBM/IFF file not found\n"}, {"lbm", "LBM/IFF file not found\n"}, {"rix", "RIX file not found\n"},
      {"scx", "RIX file not found\n"}, {"cel", "CEL file not found\n"},
      {"jpg", "JPG file not found (/nonexistent/missing.jpg)\n"},
  };
  for (auto [extension, message] : cases) {
    std::string name = std::string("/nonexistent/missing.") + extension;
    PictureResult result;
    EXPECT_EQ(DecodePicture(name.c_str(), nullptr, 0, &result), 0);
    EXPECT_EQ(result.message, message);
  }
}

// Sends standard output to standard error, where the death test looks (the
// test main's own first line comes along, hence no anchor at the start).
void StdoutToStderr() { dup2(2, 1); }

TEST(FrontEndDeathTest, FatalLoadsPrintTheMessageAndExitWithOne) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  std::string truncatedPcx = [] {
    craft::Sample s = craft::PcxEightBit();
    s.bytes.resize(130);
    return craft::WriteTemp("cut.pcx", s.bytes);
  }();
  std::string badBmp = craft::WriteTemp("bad.bmp", craft::Bytes(60, 'B'));
  std::string textJpg = craft::WriteTemp("text.jpg", {'t', 'e', 'x', 't'});
  std::string tga = craft::WriteTemp("ok.tga", craft::TgaRunTrueColour().bytes);
  uint32_t small[4];
  auto exits = testing::ExitedWithCode(1);
  EXPECT_EXIT((StdoutToStderr(), LoadPicture("gfx\\title", nullptr)), exits,
              "\nsorry, unable to detect filetype of file: gfx.title\n.*/gfx/title: unknown file type\n$");
  EXPECT_EXIT((StdoutToStderr(), LoadPicture("x.jpeg", nullptr)), exits,
              "\nsorry, files of \\.jpe type are not supported\n.*/x\\.jpeg: unknown file type\n$");
  EXPECT_EXIT((StdoutToStderr(), CreatePicture("/nonexistent/a.pcx")), exits, "\nPCX file not found\n/nonexistent/a\\.pcx: not found\n$");
  EXPECT_EXIT((StdoutToStderr(), CreateTexturePicture("/nonexistent/b.jpg")), exits,
              "\nJPG file not found \\(/nonexistent/b\\.jpg\\)\n/nonexistent/b\\.jpg: not found\n$");
  // A wrong BMP identifier ends even a size query.
  EXPECT_EXIT((StdoutToStderr(), LoadPicture(badBmp.c_str(), nullptr)), exits,
              "bad\\.bmp is not a valid \\.BMP file\n/.*/bad\\.bmp: damaged at byte 14\n$");
  EXPECT_EXIT((StdoutToStderr(), CreatePicture(truncatedPcx.c_str())), exits,
              "cut\\.pcx is not a valid \\.PCX file\n/.*/cut\\.pcx: damaged at byte 128\n$");
  // The library's own message, on standard error.
  EXPECT_EXIT(LoadPicture(textJpg.c_str(), nullptr), exits, "Not a JPEG file.*\n/.*/text\\.jpg: damaged at byte 4 \\(Not a JPEG file");
  // A fixed array too small for the file is never overrun. Every message
  // is followed by the line naming the full path and the reason.
  EXPECT_EXIT((StdoutToStderr(), LoadPictureInto(tga.c_str(), small, 4)), exits,
              "ok\\.tga is larger than the picture it is loaded into\n/.*/ok\\.tga: larger than the picture it is loaded into\n$");
}

TEST(Texture, RoundTextureSizeClampsToPowersOfTwo) {
  const std::pair<int, int> cases[] = {{-5, 32}, {0, 32},    {1, 32},    {32, 32},   {33, 64},    {64, 64},
                                       {65, 128}, {128, 128}, {129, 256}, {200, 256}, {256, 256}, {320, 256},
                                       {100000, 256}};
  for (auto [n, size] : cases) EXPECT_EQ(RoundTextureSize(n), size) << n;
}

TEST(Texture, SizeCodesNameTheSixteenPairs) {
  const struct {
    int width, height, code;
  } cases[] = {{256, 256, 1}, {128, 128, 2}, {64, 64, 3},   {32, 32, 4},   {256, 128, 5}, {256, 64, 6},
               {256, 32, 7},  {128, 256, 8}, {128, 64, 9},  {128, 32, 10}, {64, 256, 11}, {64, 128, 12},
               {64, 32, 13},  {32, 256, 14}, {32, 128, 15}, {32, 64, 16},  {512, 512, 0}, {16, 16, 0},
               {256, 255, 0}, {0, 0, 0},     {320, 240, 0}};
  for (auto c : cases) EXPECT_EQ(TextureSizeCode(c.width, c.height), c.code) << c.width << " x " << c.height;
}

std::vector<uint32_t> Numbered(int width, int height) {
  std::vector<uint32_t> pixels(size_t(width) * height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) pixels[size_t(y) * width + x] = uint32_t(y << 12 | x);
  return pixels;
}

TEST(Texture, ResampleNearestSteps) {
  struct Case {
    int width, height, code, targetWidth, targetHeight;
    // target (x, y) and the source (x, y) it must copy
    std::vector<std::array<int, 4>> probes;
  };
  const Case cases[] = {
      // 1.25 across, 0.78125 down: no half-texel offset, truncation.
      {320, 200, 1, 256, 256, {{0, 0, 0, 0}, {3, 0, 3, 0}, {4, 2, 5, 1}, {255, 255, 318, 199}, {128, 128, 160, 100}}},
      {256, 100, 5, 256, 128, {{255, 1, 255, 0}, {7, 2, 7, 1}, {0, 127, 0, 99}}},
      // Twice as large: every source pixel repeated twice both ways.
      {16, 16, 4, 32, 32, {{0, 0, 0, 0}, {1, 1, 0, 0}, {2, 3, 1, 1}, {31, 30, 15, 15}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    std::vector<uint32_t> source = Numbered(c.width, c.height);
    std::vector<uint32_t> target(size_t(c.targetWidth) * c.targetHeight, 0xFFFFFFFF);
    EXPECT_EQ(ResampleNearest(source.data(), target.data(), c.width, c.height), c.code);
    for (auto [tx, ty, sx, sy] : c.probes)
      EXPECT_EQ(target[size_t(ty) * c.targetWidth + tx], uint32_t(sy << 12 | sx)) << tx << "," << ty;
    EXPECT_THAT(target, testing::Not(testing::Contains(0xFFFFFFFFu)));
  }
  // Step exactly 1.0: a plain copy.
  std::vector<uint32_t> source = Numbered(64, 64), target(64 * 64);
  EXPECT_EQ(ResampleNearest(source.data(), target.data(), 64, 64), 3);
  EXPECT_EQ(target, source);
}

TEST(Texture, ConstructorsKeepOrResampleTheFile) {
  craft::Sample sample = craft::TgaRunTrueColour();
  std::string path = craft::WriteTemp("texture.tga", sample.bytes);
  Picture* picture = CreatePicture(path.c_str());
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->width, 3);
  EXPECT_EQ(picture->height, 2);
  EXPECT_EQ(std::vector<uint32_t>(picture->pixels, picture->pixels + 6), sample.pixels);
  std::free(picture->pixels);
  std::free(picture);

  // As a texture it becomes 32 x 32: columns 0-10, 11-21, 22-31 and rows
  // 0-15, 16-31 take the file's pixels (steps 3/32 and 2/32 in 16.16).
  Picture* texture = CreateTexturePicture(path.c_str());
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->width, 32);
  EXPECT_EQ(texture->height, 32);
  EXPECT_EQ(texture->sizeCode, 4);
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) {
      int sx = x <= 10 ? 0 : x <= 21 ? 1 : 2, sy = y <= 15 ? 0 : 1;
      EXPECT_EQ(texture->pixels[y * 32 + x], sample.pixels[sy * 3 + sx]) << x << "," << y;
    }
  std::free(texture->pixels);
  std::free(texture);
}

TEST(Pixels, FlipRowsExchangesRowsAroundTheMiddle) {
  const struct {
    int height;
    std::vector<int> order;  // source row of each row after the flip
  } cases[] = {{1, {0}}, {2, {1, 0}}, {3, {2, 1, 0}}, {4, {3, 2, 1, 0}}, {5, {4, 3, 2, 1, 0}}};
  for (const auto& c : cases) {
    std::vector<uint32_t> pixels = Numbered(3, c.height), before = pixels;
    FlipRows(3, c.height, pixels.data());
    for (int y = 0; y < c.height; y++)
      for (int x = 0; x < 3; x++)
        EXPECT_EQ(pixels[y * 3 + x], before[c.order[y] * 3 + x]) << "height " << c.height << " row " << y;
  }
}

}  // namespace
