// CEL: a 32-byte header of which only width and height matter, a 256-entry
// table of 6-bit red, green, blue, then one index byte per pixel, top row
// first.
#include "image/picture_reader.h"

namespace {
const char kInvalid[] = "%s is not a valid .CEL file\n";
}

int DecodeCel(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  PictureReader reader = {file, 0};
  uint8_t header[32];
  if (!ReaderBytes(&reader, header, sizeof header)) return PictureRefuse(result, kInvalid, fileName);
  int width = static_cast<int16_t>(LoadLe16(header + 2));
  int height = static_cast<int16_t>(LoadLe16(header + 4));
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  // Stored plainly: a file shorter than its table and one byte a pixel is
  // refused before the caller allocates for the picture.
  if (!PictureFileHolds(file, 32, 768 + int64_t{width} * height)) return PictureRefuse(result, kInvalid, fileName);
  if (!pixels) return 1;
  if (!DecodeSixBitIndexed(&reader, width, height, pixels)) return PictureRefuse(result, kInvalid, fileName);
  return 1;
}
