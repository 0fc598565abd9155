// TGA: uncompressed and run-length, colour-mapped (types 1, 9) and 24-bit
// true-colour (types 2, 10). The pixels are one stream across row ends; the
// rows are always taken as stored bottom row first.
#include <vector>

#include "image/picture_reader.h"

namespace {

const char kInvalid[] = "%s is not a valid .TGA file\n";

// One colour of the map: 24-bit entries are blue, green, red; 32-bit ones
// carry an attribute byte after those; 15/16-bit ones are 5 bits each.
uint32_t MapEntry(const uint8_t* p, int bytes) {
  if (bytes >= 3) return PixelRgb(p[2], p[1], p[0]);
  uint32_t v = LoadLe16(p);
  uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
  return PixelRgb((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
}

}  // namespace

int DecodeTga(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  PictureReader reader = {file, 0};
  uint8_t header[18];
  if (!ReaderBytes(&reader, header, sizeof header)) return PictureRefuse(result, kInvalid, fileName);
  int idLength = header[0];
  int colourMapType = header[1];
  int imageType = header[2];
  int mapLength = static_cast<int>(LoadLe16(header + 5));
  int entryBits = header[7];
  int width = static_cast<int>(LoadLe16(header + 12));
  int height = static_cast<int>(LoadLe16(header + 14));
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  const int mapped = imageType == 1 || imageType == 9;
  // Other image types (grey levels among them) are left without decoded
  // pixels.
  if (!mapped && imageType != 2 && imageType != 10) {
    if (pixels) PictureLeaveUndecoded(result, fileName);
    return 1;
  }
  const int packed = imageType == 9 || imageType == 10;
  // At best a run packet of one header byte and one pixel covers 128
  // pixels; a file too short for the declared picture even so is refused
  // before the caller allocates for it.
  const int64_t total = int64_t{width} * height;
  const int pixelBytes = mapped ? 1 : 3;
  const int64_t least = packed ? (total + 127) / 128 * (1 + pixelBytes) : total * pixelBytes;
  if (!PictureFileHolds(file, 18, least)) return PictureRefuse(result, kInvalid, fileName);
  if (!pixels) return 1;

  if (!ReaderSkip(&reader, idLength)) return PictureRefuse(result, kInvalid, fileName);
  // Index 0 is the first stored entry; indices are bytes, so entries past
  // 256 are read over and never used.
  std::vector<uint32_t> map;
  if (colourMapType == 1) {
    // Map entries of another width are skipped over; an index into them
    // then finds no colour.
    if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32) {
      if (!ReaderSkip(&reader, long{mapLength} * entryBits / 8)) return PictureRefuse(result, kInvalid, fileName);
    } else {
      const int entryBytes = (entryBits + 7) / 8;
      for (int i = 0; i < mapLength; i++) {
        uint8_t entry[4];
        if (!ReaderBytes(&reader, entry, entryBytes)) return PictureRefuse(result, kInvalid, fileName);
        if (i < 256) map.push_back(MapEntry(entry, entryBytes));
      }
    }
  }


  // Reads one pixel value: an index through the map or a blue, green, red
  // triple. Answers 0 on a short file or an index outside the map.
  auto readPixel = [&](uint32_t* value) {
    if (mapped) {
      size_t index = ReaderByte(&reader);
      if (reader.truncated || index >= map.size()) return 0;
      *value = map[index];
      return 1;
    }
    uint8_t bgr[3];
    if (!ReaderBytes(&reader, bgr, 3)) return 0;
    *value = PixelRgb(bgr[2], bgr[1], bgr[0]);
    return 1;
  };

  int64_t written = 0;
  while (written < total) {
    if (!packed) {
      if (!readPixel(&pixels[written])) return PictureRefuse(result, kInvalid, fileName);
      written++;
      continue;
    }
    int h = ReaderByte(&reader);
    if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
    // A packet reaching past the end of the picture is cut there.
    if (h >= 128) {
      int64_t count = h - 127;
      uint32_t value;
      if (!readPixel(&value)) return PictureRefuse(result, kInvalid, fileName);
      for (; count > 0 && written < total; count--) pixels[written++] = value;
    } else {
      for (int64_t count = h + 1; count > 0 && written < total; count--)
        if (!readPixel(&pixels[written++])) return PictureRefuse(result, kInvalid, fileName);
    }
  }
  FlipRows(width, height, pixels);
  return 1;
}
