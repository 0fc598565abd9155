// Pictures laid out the way common encoders write them (padded RLE8 rows,
// extra half-brite and hold-and-modify ILBM, chunks before the bitmap
// header), variants left undecoded, and files that are no regular files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "image/data_file.h"
#include "image/picture.h"
#include "tests/image_craft.h"

namespace {

using craft::Bytes;
using craft::Rgb;

std::vector<uint32_t> Decode(const std::string& path, PictureResult* result) {
  std::vector<uint32_t> pixels;
  PictureResult size;
  if (!DecodePicture(path.c_str(), nullptr, 0, &size)) {
    *result = size;
    return pixels;
  }
  pixels.assign(size_t(size.width) * size.height, 0xDEADBEEF);
  DecodePicture(path.c_str(), pixels.data(), int64_t(pixels.size()), result);
  return pixels;
}

// An 8-bit RLE BMP of width x height whose rows each carry `extra` padding
// pixels (index 3) past the width before their end-of-line code, as many
// encoders write them. Row y holds index y % 3 everywhere.
Bytes PaddedRleBmp(int width, int height, int extra, bool absolute) {
  Bytes data;
  for (int y = 0; y < height; y++) {
    int left = width;
    if (absolute) {  // an absolute block of 3 that crosses the row's end
      for (; left > 3; left -= std::min(left - 3, 255)) craft::Put(&data, {std::min(left - 3, 255), y % 3});
      craft::Put(&data, {0, 3 + extra, y % 3, y % 3, y % 3});
      for (int i = 0; i < extra; i++) data.push_back(3);
      if ((3 + extra) & 1) data.push_back(0);
    } else {
      for (; left > 0; left -= std::min(left, 255)) craft::Put(&data, {std::min(left, 255), y % 3});
      craft::Put(&data, {extra, 3});
    }
    craft::Put(&data, {0, 0});
  }
  craft::Put(&data, {0, 1});
  Bytes b = craft::BmpHeaders(width, height, 8, 1, 4, int(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(RealWorld, PaddedRleRowsDropThePixelsPastTheWidth) {
  const struct {
    int width, height, extra;
    bool absolute;
  } cases[] = {{227, 4, 1, false}, {5, 3, 3, false}, {300, 2, 4, false}, {7, 3, 1, true}, {6, 2, 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " +" << c.extra << (c.absolute ? " abs" : ""));
    std::string path = craft::WriteTemp("padded.bmp", PaddedRleBmp(c.width, c.height, c.extra, c.absolute));
    PictureResult result;
    std::vector<uint32_t> pixels = Decode(path, &result);
    ASSERT_EQ(result.message, "");
    for (int y = 0; y < c.height; y++)  // stored bottom row first
      for (int x = 0; x < c.width; x++)
        ASSERT_EQ(pixels[size_t(c.height - 1 - y) * c.width + x], craft::BmpColour(y % 3)) << x << "," << y;
  }
}

// An ILBM picture stored plainly from pixel values (one row of planes after
// another), with an optional CAMG display mode and a chunk before BMHD.
Bytes Ilbm(int width, int height, int planes, const std::vector<uint32_t>& values, const Bytes& cmap,
           long camg, bool chunkBeforeHeader) {
  const int planeBytes = (width + 15) / 16 * 2;
  Bytes body;
  for (int y = 0; y < height; y++)
    for (int p = 0; p < planes; p++)
      for (int byte = 0; byte < planeBytes; byte++) {
        uint8_t bits = 0;
        for (int i = 0; i < 8; i++) {
          int x = byte * 8 + i;
          if (x < width && (values[size_t(y) * width + x] >> p) & 1) bits |= uint8_t(0x80 >> i);
        }
        body.push_back(bits);
      }
  Bytes b;
  craft::Text(&b, "FORM....ILBM");
  if (chunkBeforeHeader) {
    craft::Text(&b, "ANNO");
    craft::Be(&b, {{5, 4}});
    craft::Text(&b, "paint");
    b.push_back(0);
  }
  craft::Text(&b, "BMHD");
  craft::Be(&b, {{20, 4}, {width, 2}, {height, 2}, {0, 4}, {planes, 1}, {0, 1}, {0, 1}, {0, 3}});
  craft::Be(&b, {{0x0A0B, 2}, {width, 2}, {height, 2}});
  if (camg >= 0) {
    craft::Text(&b, "CAMG");
    craft::Be(&b, {{4, 4}, {camg, 4}});
  }
  for (auto [id, data] : {std::pair{"CMAP", cmap}, std::pair{"BODY", body}}) {
    craft::Text(&b, id);
    craft::Be(&b, {{uint32_t(data.size()), 4}});
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
  }
  return b;
}

Bytes Map(int count) {
  Bytes cmap;
  for (int i = 0; i < count; i++) craft::Put(&cmap, {i * 8, 255 - i * 8, (i * 40) & 255});
  return cmap;
}
uint32_t MapColour(int i) { return Rgb((i * 8) & 255, (255 - i * 8) & 255, (i * 40) & 255); }
uint32_t Half(uint32_t c) { return (c >> 1) & 0x7F7F7F; }

TEST(RealWorld, ExtraHalfBriteAndHoldAndModify) {
  const std::vector<uint32_t> ehbValues = {0, 31, 32, 63, 5, 37};
  const std::vector<uint32_t> ehb = {MapColour(0), MapColour(31), Half(MapColour(0)),
                                     Half(MapColour(31)), MapColour(5), Half(MapColour(5))};
  // HAM6: set colour 1, replace red with 15, green with 0, blue with 8;
  // then colour 2 and blue 1. Each row starts from colour 0.
  const std::vector<uint32_t> hamValues = {1, 0x20 | 15, 0x30 | 0, 0x10 | 8, 2, 0x10 | 1,
                                           0x20 | 4, 0, 0x30 | 15, 3, 3, 3};
  auto c = MapColour;
  auto with = [](uint32_t colour, int shift, uint32_t level) { return (colour & ~(0xFFu << shift)) | (level << shift); };
  const uint32_t r1 = with(c(1), 16, 0xFF), g1 = with(r1, 8, 0), b1 = with(g1, 0, 0x88);
  const std::vector<uint32_t> ham = {c(1), r1, g1, b1, c(2), with(c(2), 0, 0x11),
                                     with(c(0), 16, 0x44), c(0), with(c(0), 8, 0xFF), c(3), c(3), c(3)};
  // HAM8: six-bit levels, colour 63 of a 64-entry map.
  const std::vector<uint32_t> ham8Values = {63, 0x80 | 63, 0x40 | 1};
  const uint32_t ham8r = with(c(63), 16, 0xFF);
  const std::vector<uint32_t> ham8 = {c(63), ham8r, with(ham8r, 0, 0x04)};
  const struct {
    const char* name;
    int width, height, planes;
    std::vector<uint32_t> values;
    int colours;
    long camg;
    bool chunkFirst;
    std::vector<uint32_t> expected;
  } cases[] = {
      {"ehb.iff", 6, 1, 6, ehbValues, 32, 0x80, false, ehb},
      {"ehb_no_mode.iff", 6, 1, 6, ehbValues, 32, -1, false, ehb},
      {"ehb_anno_first.iff", 3, 2, 6, ehbValues, 32, 0x80, true, ehb},
      {"ham6.iff", 6, 2, 6, hamValues, 16, 0x800, false, ham},
      {"ham8.iff", 3, 1, 8, ham8Values, 64, 0x800, true, ham8},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    std::string path = craft::WriteTemp(k.name, Ilbm(k.width, k.height, k.planes, k.values, Map(k.colours), k.camg,
                                                     k.chunkFirst));
    PictureResult result;
    std::vector<uint32_t> pixels = Decode(path, &result);
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(result.width, k.width);
    EXPECT_THAT(pixels, testing::ElementsAreArray(k.expected));
  }
}

TEST(RealWorld, IndicesPastTheMapStayRefused) {
  // Six planes with a display mode that is neither half-brite nor
  // hold-and-modify, and a map of 32 colours: value 40 has no colour.
  std::string path = craft::WriteTemp("plain6.iff", Ilbm(2, 1, 6, {1, 40}, Map(32), 0, false));
  PictureResult result;
  Decode(path, &result);
  EXPECT_EQ(result.message, path + " is not a valid .IFF file\n");
  // A half-brite picture whose map is short: the halves of missing colours
  // are missing too.
  path = craft::WriteTemp("short_ehb.iff", Ilbm(2, 1, 6, {1, 32 + 20}, Map(16), 0x80, false));
  result = PictureResult();
  Decode(path, &result);
  EXPECT_EQ(result.message, path + " is not a valid .IFF file\n");
}

TEST(RealWorld, ChunkBeforeTheBitmapHeaderReadsLikeThePlainLayout) {
  const std::vector<uint32_t> values = {0, 1, 2, 3, 2, 1};
  PictureResult plainResult, leadResult;
  std::vector<uint32_t> plain =
      Decode(craft::WriteTemp("plain.iff", Ilbm(3, 2, 2, values, Map(4), -1, false)), &plainResult);
  std::vector<uint32_t> lead =
      Decode(craft::WriteTemp("lead.iff", Ilbm(3, 2, 2, values, Map(4), -1, true)), &leadResult);
  EXPECT_EQ(leadResult.width, 3);
  EXPECT_EQ(leadResult.height, 2);
  EXPECT_EQ(lead, plain);
  EXPECT_EQ(plain[3], MapColour(3));
}

TEST(RealWorld, SmallFilesCannotClaimLargePictures) {
  // Headers of a few hundred bytes declaring pictures of megabytes: the
  // size query already refuses them.
  Bytes pcx = craft::PcxHeader(5, 0, 0, 4095, 63, 1, 4096);
  pcx.resize(pcx.size() + 300, 0xC1);
  Bytes tga = craft::TgaHeader(0, 0, 10, 0, 0, 4096, 64);
  tga.resize(tga.size() + 300, 0xFF);
  Bytes iff = Ilbm(16, 1, 8, std::vector<uint32_t>(16, 1), Map(4), -1, false);
  iff[20] = 0x10;  // width 4096 + 16 in the bitmap header
  Bytes rix = {'R', 'I', 'X', '3', 0xA0, 0x0F, 64, 0, 0xAF, 0};
  rix.resize(rix.size() + 768 + 300, 1);
  Bytes bmp = craft::BmpHeaders(4000, 64, 24, 0, 0, 300);
  bmp.resize(bmp.size() + 300, 7);
  const std::pair<const char*, Bytes> cases[] = {
      {"big.pcx", pcx}, {"big.tga", tga}, {"big.iff", iff}, {"big.rix", rix}, {"big.bmp", bmp}};
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    std::string path = craft::WriteTemp(name, bytes);
    PictureResult result;
    EXPECT_EQ(DecodePicture(path.c_str(), nullptr, 0, &result), 0);
    EXPECT_THAT(result.message, testing::HasSubstr("is not a valid"));
    EXPECT_THAT(result.reason, testing::StartsWith("damaged at byte"));
  }
}

TEST(RealWorld, UndecodedVariantsDrawBlackAndWarn) {
  Bytes grey = craft::TgaHeader(0, 0, 3, 0, 0, 40, 30);
  grey.resize(grey.size() + 40 * 30, 0x80);
  Bytes fourPlanes = craft::PcxHeader(5, 0, 0, 7, 7, 4, 8);
  fourPlanes.resize(fourPlanes.size() + 4 * 8 * 8, 0x11);
  Bytes zeroHeader(128 + 64, 0);
  const std::pair<const char*, Bytes> cases[] = {
      {"grey.tga", grey}, {"four.pcx", fourPlanes}, {"zero.pcx", zeroHeader}};
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    std::string path = craft::WriteTemp(name, bytes);
    for (bool texture : {false, true}) {
      testing::internal::CaptureStderr();
      Picture* picture = texture ? CreateTexturePicture(path.c_str()) : CreatePicture(path.c_str());
      std::string said = testing::internal::GetCapturedStderr();
      ASSERT_NE(picture, nullptr);
      std::vector<uint32_t> pixels(picture->pixels, picture->pixels + size_t(picture->width) * picture->height);
      EXPECT_THAT(pixels, testing::Each(0u));
      EXPECT_THAT(said, testing::HasSubstr(path + " is left without decoded pixels"));
      std::free(picture->pixels);
      std::free(picture);
    }
  }
}

TEST(RealWorld, OnlyRegularFilesAreOpened) {
  std::string directory = craft::TempDirectory() + "/folder.pcx";
  ::mkdir(directory.c_str(), 0700);
  std::string fifo = craft::TempDirectory() + "/pipe.tga";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, const char*> cases[] = {
      {directory, "is a directory"}, {fifo, "not a regular file"}, {"/nonexistent/x.bmp", "not found"}};
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    PictureResult result;
    EXPECT_EQ(DecodePicture(path.c_str(), nullptr, 0, &result), 0);  // returns at once for the FIFO
    EXPECT_EQ(result.reason, reason);
    std::string direct;
    EXPECT_EQ(OpenDataFile(path.c_str(), &direct), nullptr);
    EXPECT_EQ(direct, reason);
  }
}

}  // namespace
