// RIX (and SCX): "RIX3", width, height, two type bytes, a 256-entry table of
// 6-bit red, green, blue, then one index byte per pixel, top row first.
#include <cstring>
#include <vector>

#include "image/picture_reader.h"

namespace {
const char kInvalid[] = "%s is not a valid .RIX file\n";
}

// 6-bit table entries become 8-bit by a multiply by 4, kept to 8 bits (63
// gives 252).
int DecodeSixBitIndexed(PictureReader* reader, int width, int height, uint32_t* pixels) {
  uint8_t table[768];
  if (!ReaderBytes(reader, table, sizeof table)) return 0;
  uint32_t colours[256];
  for (int i = 0; i < 256; i++) colours[i] = PixelRgb(table[i * 3] * 4, table[i * 3 + 1] * 4, table[i * 3 + 2] * 4);
  std::vector<uint8_t> line(static_cast<size_t>(width));
  for (int y = 0; y < height; y++) {
    if (!ReaderBytes(reader, line.data(), line.size())) return 0;
    uint32_t* row = pixels + static_cast<int64_t>(y) * width;
    for (int x = 0; x < width; x++) row[x] = colours[line[x]];
  }
  return 1;
}

int DecodeRix(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  PictureReader reader = {file, 0};
  uint8_t header[10];
  if (!ReaderBytes(&reader, header, sizeof header)) return PictureRefuse(result, kInvalid, fileName);
  int width = static_cast<int>(LoadLe16(header + 4));
  int height = static_cast<int>(LoadLe16(header + 6));
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  // Stored plainly: a file shorter than its table and one byte a pixel is
  // refused before the caller allocates for the picture.
  if (!PictureFileHolds(file, 10, 768 + int64_t{width} * height)) return PictureRefuse(result, kInvalid, fileName);
  if (!pixels) return 1;
  // The identifier is only looked at when the pixels are wanted.
  if (std::memcmp(header, "RIX3", 4) != 0) return PictureRefuse(result, kInvalid, fileName);
  if (!DecodeSixBitIndexed(&reader, width, height, pixels)) return PictureRefuse(result, kInvalid, fileName);
  return 1;
}
