// Each decoder on tiny crafted files: exact pixels for every depth and
// packing, the size query, and JPEG through the library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "image/picture.h"
#include "tests/image_craft.h"

namespace {

using craft::Rgb;

TEST(Decoders, WellFormedFilesGiveExactPixels) {
  for (const craft::Sample& sample : craft::ExactSamples()) {
    SCOPED_TRACE(sample.name);
    std::string path = craft::WriteTemp(sample.name, sample.bytes);
    // The two-call protocol: size query, then decode into that many pixels.
    LastPictureWidth = LastPictureHeight = -1;
    LoadPicture(path.c_str(), nullptr);
    EXPECT_EQ(LastPictureWidth, sample.width);
    EXPECT_EQ(LastPictureHeight, sample.height);
    std::vector<uint32_t> pixels(size_t(sample.width) * sample.height, 0xDEADBEEF);
    LoadPicture(path.c_str(), pixels.data());
    EXPECT_EQ(pixels, sample.pixels);
  }
}

TEST(Decoders, RixIdentifierIsCheckedOnlyWhenDecoding) {
  craft::Sample sample = craft::Rix();
  sample.bytes[3] = '2';
  std::string path = craft::WriteTemp("magic.rix", sample.bytes);
  PictureResult size;
  EXPECT_EQ(DecodePicture(path.c_str(), nullptr, 0, &size), 1);
  EXPECT_EQ(size.width, 3);
  EXPECT_EQ(size.height, 2);
  std::vector<uint32_t> pixels(6);
  PictureResult decode;
  EXPECT_EQ(DecodePicture(path.c_str(), pixels.data(), 6, &decode), 0);
  EXPECT_EQ(decode.message, path + " is not a valid .RIX file\n");
}

TEST(Decoders, UnhandledVariantsKeepTheSizeAndLeaveThePixels) {
  // A 16-bit BMP and a TGA of type 3 are not decoded, and that is no error.
  craft::Bytes bmp = craft::BmpHeaders(2, 2, 16, 0, 0, 8);
  bmp.resize(bmp.size() + 8, 0x55);
  craft::Bytes tga = craft::TgaHeader(0, 0, 3, 0, 0, 2, 2);
  tga.resize(tga.size() + 4, 0x55);
  for (auto [name, bytes] : {std::pair{"sixteen.bmp", bmp}, std::pair{"grey.tga", tga}}) {
    SCOPED_TRACE(name);
    std::string path = craft::WriteTemp(name, bytes);
    std::vector<uint32_t> pixels(4, 0x123456);
    PictureResult result;
    EXPECT_EQ(DecodePicture(path.c_str(), pixels.data(), 4, &result), 1);
    EXPECT_EQ(result.width, 2);
    EXPECT_THAT(pixels, testing::Each(0x123456u));
  }
}

int Channel(uint32_t pixel, int shift) { return int(pixel >> shift) & 0xFF; }

TEST(Decoders, JpegGreyscaleAndColour) {
  // Greyscale: a ramp; every pixel has red = green = blue near the sample.
  std::vector<uint8_t> grey(24 * 8);
  for (size_t i = 0; i < grey.size(); i++) grey[i] = uint8_t((i % 24) * 10);
  std::string greyPath = craft::WriteJpeg("grey.jpg", 24, 8, 1, JCS_GRAYSCALE, grey);
  std::vector<uint32_t> pixels;
  int32_t width, height;
  std::string message;
  ASSERT_EQ(DecodePictureFile(greyPath.c_str(), &pixels, &width, &height, &message), 1) << message;
  ASSERT_EQ(width, 24);
  ASSERT_EQ(height, 8);
  for (size_t i = 0; i < pixels.size(); i++) {
    EXPECT_EQ(pixels[i] >> 24, 0u);
    EXPECT_EQ(Channel(pixels[i], 16), Channel(pixels[i], 8));
    EXPECT_EQ(Channel(pixels[i], 8), Channel(pixels[i], 0));
    EXPECT_NEAR(Channel(pixels[i], 0), grey[i], 2) << i;
  }

  // Colour: flat 8 x 8 blocks of red, green, blue and a mixed colour, so
  // that the compression keeps them; red must land in bits 16-23.
  const int colours[4][3] = {{250, 0, 0}, {0, 250, 0}, {0, 0, 250}, {200, 120, 40}};
  std::vector<uint8_t> rgb(16 * 16 * 3);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++)
      for (int c = 0; c < 3; c++) rgb[(y * 16 + x) * 3 + c] = uint8_t(colours[(y / 8) * 2 + x / 8][c]);
  std::string colourPath = craft::WriteJpeg("colour.JpG", 16, 16, 3, JCS_RGB, rgb);
  ASSERT_EQ(DecodePictureFile(colourPath.c_str(), &pixels, &width, &height, &message), 1) << message;
  ASSERT_EQ(pixels.size(), 256u);
  for (int i = 0; i < 256; i++) {
    EXPECT_EQ(pixels[i] >> 24, 0u);
    EXPECT_NEAR(Channel(pixels[i], 16), rgb[i * 3], 4) << i;
    EXPECT_NEAR(Channel(pixels[i], 8), rgb[i * 3 + 1], 4) << i;
    EXPECT_NEAR(Channel(pixels[i], 0), rgb[i * 3 + 2], 4) << i;
  }

  // Four components come out as four: the size is reported, no row written.
  std::vector<uint8_t> cmyk(8 * 8 * 4, 100);
  std::string cmykPath = craft::WriteJpeg("cmyk.jpg", 8, 8, 4, JCS_CMYK, cmyk);
  std::vector<uint32_t> untouched(64, 0xABCDEF);
  PictureResult result;
  EXPECT_EQ(DecodePicture(cmykPath.c_str(), untouched.data(), 64, &result), 1) << result.message;
  EXPECT_EQ(result.width, 8);
  EXPECT_THAT(untouched, testing::Each(0xABCDEFu));
}

TEST(Decoders, JpegLibraryErrorsComeBackWithTheLibraryMessage) {
  craft::Bytes valid;
  {
    std::string path = craft::WriteJpeg("whole.jpg", 8, 8, 1, JCS_GRAYSCALE, std::vector<uint8_t>(64, 77));
    FILE* f = std::fopen(path.c_str(), "rb");
    int c;
    while ((c = std::getc(f)) != EOF) valid.push_back(uint8_t(c));
    std::fclose(f);
  }
  struct Case {
    const char* name;
    craft::Bytes bytes;
    const char* message;
  };
  craft::Bytes noFrame(valid.begin(), valid.begin() + 2);
  craft::Bytes badPrecision = valid;
  for (size_t i = 0; i + 4 < valid.size(); i++)
    if (valid[i] == 0xFF && valid[i + 1] == 0xC0) badPrecision[i + 4] = 7;  // frame header: 7-bit samples
  const Case cases[] = {
      {"text.jpg", {'h', 'e', 'l', 'l', 'o', '\n'}, "Not a JPEG file"},
      {"soi.jpg", noFrame, "no image"},
      {"precision.jpg", badPrecision, "precision"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = craft::WriteTemp(c.name, c.bytes);
    std::vector<uint32_t> array(64);
    for (uint32_t* pixels : {static_cast<uint32_t*>(nullptr), array.data()}) {
      PictureResult result;
      EXPECT_EQ(DecodePicture(path.c_str(), pixels, 64, &result), 0);
      EXPECT_EQ(result.status, PICTURE_LIBRARY_FAILED);
      EXPECT_THAT(result.message, testing::HasSubstr(c.message));
      EXPECT_GT(result.message.size(), 1u);
      EXPECT_EQ(result.message.back(), '\n');
    }
  }
}

}  // namespace
