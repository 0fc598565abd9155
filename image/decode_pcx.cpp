// PCX: 8-bit colour-indexed (one plane, 256-entry table at the end of the
// file) and 24-bit (three planes per line). Every file is decoded as
// run-length encoded, whatever its encoding byte says.
#include <algorithm>
#include <vector>

#include "image/picture_reader.h"

namespace {
const char kInvalid[] = "%s is not a valid .PCX file\n";
}

int DecodePcx(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  PictureReader reader = {file, 0};
  uint8_t header[128];
  if (!ReaderBytes(&reader, header, sizeof header)) return PictureRefuse(result, kInvalid, fileName);
  int version = header[1];
  int64_t width = int64_t{LoadLe16(header + 8)} - LoadLe16(header + 4) + 1;
  int64_t height = int64_t{LoadLe16(header + 10)} - LoadLe16(header + 6) + 1;
  int planes = header[65];
  int bytesPerLine = static_cast<int>(LoadLe16(header + 66));
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  // Other plane counts are left without decoded pixels.
  if (planes != 1 && planes != 3) {
    if (pixels) PictureLeaveUndecoded(result, fileName);
    return 1;
  }
  // The converted planes must lie inside the decoded line.
  if (bytesPerLine < width) return PictureRefuse(result, kInvalid, fileName);
  // Runs end with their line, so a line of L bytes takes at least two bytes
  // for every 63 of it. A file too short for that is refused before the
  // caller allocates for the picture.
  const int64_t lineLength = int64_t{planes} * bytesPerLine;
  const int64_t leastPerLine = 2 * (lineLength / 63) + std::min<int64_t>(lineLength % 63, 2);
  if (!PictureFileHolds(file, 128, height * leastPerLine)) return PictureRefuse(result, kInvalid, fileName);
  if (!pixels) return 1;

  // Version 5 keeps 256 entries of red, green, blue after a marker byte in
  // the last 769 bytes; only one-plane pictures use it. Other one-plane
  // files carry no such table: their indices are shown as grey levels.
  uint8_t table[768];
  if (planes == 1 && version == 5) {
    long length = FileLength(file);
    if (length < 128 + 769) return PictureRefuse(result, kInvalid, fileName);
    std::fseek(file, length - 768, SEEK_SET);
    if (!ReaderBytes(&reader, table, sizeof table)) return PictureRefuse(result, kInvalid, fileName);
    std::fseek(file, 128, SEEK_SET);
  } else {
    for (int i = 0; i < 256; i++) table[i * 3] = table[i * 3 + 1] = table[i * 3 + 2] = static_cast<uint8_t>(i);
  }

  std::vector<uint8_t> line(static_cast<size_t>(lineLength));
  const int w = static_cast<int>(width);
  for (int64_t y = 0; y < height; y++) {
    // A run reaching past the end of the line is cut there; the next line
    // starts with a fresh byte.
    int produced = 0;
    while (produced < lineLength) {
      int b = ReaderByte(&reader);
      int count = 1;
      if (b > 0xC0) {
        count = b - 0xC0;
        b = ReaderByte(&reader);
      }
      if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
      for (; count > 0 && produced < lineLength; count--) line[produced++] = static_cast<uint8_t>(b);
    }
    uint32_t* row = pixels + y * w;
    if (planes == 1) {
      for (int x = 0; x < w; x++) {
        const uint8_t* entry = table + line[x] * 3;
        row[x] = PixelRgb(entry[0], entry[1], entry[2]);
      }
    } else {
      const uint8_t* red = line.data();
      const uint8_t* green = red + bytesPerLine;
      const uint8_t* blue = green + bytesPerLine;
      for (int x = 0; x < w; x++) row[x] = PixelRgb(red[x], green[x], blue[x]);
    }
  }
  return 1;
}
