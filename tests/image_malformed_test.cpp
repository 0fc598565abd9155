// Files that lie: sizes, counts, indices, runs and offsets that point
// outside the file or the picture, and truncation. Each is refused with its
// format's message, for the size query where the header already shows it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "image/picture.h"
#include "tests/image_craft.h"

namespace {

using craft::Bytes;

Bytes Cut(Bytes b, size_t keep) {
  b.resize(keep);
  return b;
}
Bytes Patch(Bytes b, size_t offset, std::initializer_list<int> values) {
  for (int v : values) b[offset++] = uint8_t(v);
  return b;
}

struct Case {
  const char* name;
  Bytes bytes;
  const char* message;  // after the path
  bool sizeQueryFails;  // the header alone already shows the fault
};

TEST(Malformed, RefusedWithTheFormatsMessage) {
  const Bytes pcx8 = craft::PcxEightBit().bytes, pcx24 = craft::PcxTwentyFourBit().bytes;
  const Bytes tga = craft::TgaRunTrueColour().bytes, mapped = craft::TgaMapped(1).bytes;
  const Bytes bmp8 = craft::BmpEightBit().bytes, rle = craft::BmpRunLength().bytes;
  const Bytes iff = craft::IffByteRun().bytes, rix = craft::Rix().bytes, cel = craft::Cel().bytes;
  const char* pcx = " is not a valid .PCX file\n";
  const char* tgaMessage = " is not a valid .TGA file\n";
  const char* bmp = " is not a valid .BMP file\n";
  const char* lbm = " is not a valid .IFF file\n";
  const char* rixMessage = " is not a valid .RIX file\n";
  const char* celMessage = " is not a valid .CEL file\n";
  const Case cases[] = {
      {"short_header.pcx", Cut(pcx8, 100), pcx, true},
      {"xmax_below_xmin.pcx", Patch(pcx8, 8, {9, 0}), pcx, true},
      {"huge.pcx", Patch(pcx8, 8, {0xFF, 0xFF, 0xFF, 0xFF}), pcx, true},
      {"line_shorter_than_width.pcx", Patch(pcx8, 66, {2, 0}), pcx, true},
      {"no_room_for_table.pcx", Cut(pcx8, 128 + 7 + 500), pcx, false},
      {"data_cut.pcx", Cut(pcx24, 128 + 20), pcx, false},
      {"zero_planes_line.pcx", Patch(pcx24, 66, {0, 0}), pcx, true},
      {"short_header.tga", Cut(tga, 17), tgaMessage, true},
      {"zero_width.tga", Patch(tga, 12, {0, 0}), tgaMessage, true},
      {"zero_height.tga", Patch(tga, 14, {0, 0}), tgaMessage, true},
      {"packets_cut.tga", Cut(tga, tga.size() - 1), tgaMessage, false},
      {"run_value_cut.tga", Cut(tga, 20), tgaMessage, true},
      {"index_past_map.tga", Patch(mapped, 18 + 3 + 9 + 3, {3}), tgaMessage, false},
      {"no_map.tga", Patch(mapped, 1, {0}), tgaMessage, false},
      {"map_cut.tga", Cut(mapped, 18 + 3 + 5), tgaMessage, false},
      {"map_entry_bits.tga", Patch(mapped, 7, {8}), tgaMessage, false},
      {"id_past_end.tga", Patch(Cut(tga, 18), 0, {200}), tgaMessage, true},
      {"magic.bmp", Patch(bmp8, 0, {'B', 'N'}), bmp, true},
      {"short_info.bmp", Cut(bmp8, 40), bmp, true},
      {"old_info.bmp", Patch(bmp8, 14, {12}), bmp, true},
      {"negative_width.bmp", Patch(bmp8, 18, {0xFB, 0xFF, 0xFF, 0xFF}), bmp, true},
      {"overflow.bmp", Patch(bmp8, 18, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}), bmp, true},
      {"top_down_rle.bmp", Patch(rle, 22, {0xFE, 0xFF, 0xFF, 0xFF}), bmp, true},
      {"index_past_table.bmp", Patch(bmp8, 54 + 16, {4}), bmp, false},
      {"rows_cut.bmp", Cut(bmp8, bmp8.size() - 2), bmp, true},
      {"table_cut.bmp", Cut(bmp8, 60), bmp, true},
      {"offset_past_end.bmp", Patch(bmp8, 10, {0, 0, 1, 0}), bmp, true},
      {"rle_cut.bmp", Cut(rle, rle.size() - 8), bmp, false},
      {"rle_index_past_table.bmp", Patch(rle, 54 + 16 + 1, {9}), bmp, false},
      {"rle_absolute_cut.bmp", Cut(rle, 54 + 16 + 4), bmp, false},
      {"short_header.lbm", Cut(iff, 39), lbm, true},
      {"zero_width.lbm", Patch(iff, 20, {0, 0}), lbm, true},
      {"no_body.lbm", Patch(iff, iff.size() - 20, {'B', 'O', 'D', 'X'}), lbm, false},
      {"body_cut.lbm", Cut(iff, iff.size() - 3), lbm, true},
      {"run_past_row.lbm", Patch(iff, iff.size() - 2, {0xF0}), lbm, false},
      {"huge_chunk.lbm", Patch(iff, 44, {0x7F, 0xFF, 0xFF, 0xFF}), lbm, false},
      {"short_bmhd.lbm", Patch(iff, 16, {0, 0, 0, 8}), lbm, false},
      {"index_past_cmap.lbm", craft::IffFile("ILBM", 3, 2, 2, 0, 1, {0, 0, 0, 9, 9, 9}, craft::IffByteRunBody()), lbm,
       false},
      {"short_header.rix", Cut(rix, 8), rixMessage, true},
      {"zero_height.rix", Patch(rix, 6, {0, 0}), rixMessage, true},
      {"table_cut.rix", Cut(rix, 10 + 700), rixMessage, true},
      {"pixels_cut.rix", Cut(rix, rix.size() - 1), rixMessage, true},
      {"negative_width.cel", Patch(cel, 2, {0xFE, 0xFF}), celMessage, true},
      {"short_header.cel", Cut(cel, 31), celMessage, true},
      {"pixels_cut.cel", Cut(cel, cel.size() - 1), celMessage, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = craft::WriteTemp(c.name, c.bytes);
    PictureResult size;
    EXPECT_EQ(DecodePicture(path.c_str(), nullptr, 0, &size), c.sizeQueryFails ? 0 : 1) << size.message;
    // Decode into an array of the claimed size, guarded on both sides.
    int64_t count = int64_t{size.width} * size.height;
    std::vector<uint32_t> pixels(size_t(count) + 2, 0x5A5A5A5A);
    PictureResult decode;
    EXPECT_EQ(DecodePicture(path.c_str(), pixels.data() + 1, count, &decode), 0);
    EXPECT_EQ(decode.message, path + c.message);
    EXPECT_EQ(decode.status, PICTURE_FAILED);
    EXPECT_EQ(pixels.front(), 0x5A5A5A5Au);
    EXPECT_EQ(pixels.back(), 0x5A5A5A5Au);
  }
}

TEST(Malformed, ArraySmallerThanTheFileIsNeverWritten) {
  for (const craft::Sample& sample : craft::ExactSamples()) {
    SCOPED_TRACE(sample.name);
    std::string path = craft::WriteTemp(sample.name, sample.bytes);
    std::vector<uint32_t> pixels(size_t(sample.width) * sample.height, 0x5A5A5A5A);
    PictureResult result;
    EXPECT_EQ(DecodePicture(path.c_str(), pixels.data(), int64_t(pixels.size()) - 1, &result), 0);
    EXPECT_EQ(result.message, path + " is larger than the picture it is loaded into\n");
    EXPECT_THAT(pixels, testing::Each(0x5A5A5A5Au));
  }
}

TEST(Malformed, OversizedJpegIsRefusedBeforeDecoding) {
  // A baseline frame header claiming 65000 x 65000, nothing after it.
  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0xFD, 0xE8, 0xFD, 0xE8, 0x01, 0x01, 0x11, 0x00,
                0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
  std::string path = craft::WriteTemp("huge.jpg", jpeg);
  PictureResult result;
  EXPECT_EQ(DecodePicture(path.c_str(), nullptr, 0, &result), 0);
  EXPECT_EQ(result.message, path + " is not a valid .JPG file\n");
}

}  // namespace
