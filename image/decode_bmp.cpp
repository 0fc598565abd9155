// BMP: 1-, 4- and 8-bit colour-indexed (uncompressed; 4 and 8 bits also
// run-length) and 24-bit uncompressed. Rows are stored bottom row first, each
// padded to a multiple of 4 bytes; indices fill a byte from its top bit
// down. Other depths and compressions leave the pixels alone.
#include <algorithm>
#include <vector>

#include "image/picture_reader.h"

namespace {
const char kInvalid[] = "%s is not a valid .BMP file\n";
}

int DecodeBmp(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  PictureReader reader = {file, 0};
  uint8_t fileHeader[14];
  uint8_t info[40];
  if (!ReaderBytes(&reader, fileHeader, sizeof fileHeader) || LoadLe16(fileHeader) != 0x4D42)
    return PictureRefuse(result, kInvalid, fileName);
  uint32_t dataOffset = LoadLe32(fileHeader + 10);
  if (!ReaderBytes(&reader, info, sizeof info)) return PictureRefuse(result, kInvalid, fileName);
  uint32_t infoSize = LoadLe32(info);
  int64_t width = static_cast<int32_t>(LoadLe32(info + 4));
  int64_t height = static_cast<int32_t>(LoadLe32(info + 8));
  int bitCount = static_cast<int>(LoadLe16(info + 14));
  uint32_t compression = LoadLe32(info + 16);
  uint32_t coloursUsed = LoadLe32(info + 32);
  // Older headers shorter than 40 bytes lay their fields out differently.
  if (infoSize < 40) return PictureRefuse(result, kInvalid, fileName);
  // A negative height marks rows stored top row first (uncompressed only).
  int topDown = height < 0;
  if (topDown) {
    if (compression != 0) return PictureRefuse(result, kInvalid, fileName);
    height = -height;
  }
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  // Uncompressed rows are stored whole: a file too short for them is refused
  // before the caller allocates for the picture. (Run-length pictures may
  // end early by design, their rest black, so they have no such bound.)
  const bool uncompressed =
      compression == 0 && (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24);
  const bool runLength = (compression == 1 && bitCount == 8) || (compression == 2 && bitCount == 4);
  if (uncompressed) {
    const int64_t stride = ((width * bitCount + 31) / 32) * 4;
    if (!PictureFileHolds(file, static_cast<long>(dataOffset), stride * height))
      return PictureRefuse(result, kInvalid, fileName);
  }
  if (!pixels) return 1;

  // The colour table follows the information header: blue, green, red,
  // reserved. Indices are bytes, so at most 256 entries are kept.
  uint32_t table[256];
  int colours = 0;
  if (bitCount <= 8) {
    if (coloursUsed == 0) coloursUsed = 1u << bitCount;
    colours = static_cast<int>(std::min<uint32_t>(coloursUsed, 256));
    if (infoSize > 40 && std::fseek(file, 14 + static_cast<long>(std::min<uint32_t>(infoSize, 1 << 20)), SEEK_SET))
      return PictureRefuse(result, kInvalid, fileName);
    for (int i = 0; i < colours; i++) {
      uint8_t entry[4];
      if (!ReaderBytes(&reader, entry, 4)) return PictureRefuse(result, kInvalid, fileName);
      table[i] = PixelRgb(entry[2], entry[1], entry[0]);
    }
  }
  if (std::fseek(file, static_cast<long>(dataOffset), SEEK_SET)) return PictureRefuse(result, kInvalid, fileName);

  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  if (uncompressed) {
    const size_t stride = ((static_cast<size_t>(w) * bitCount + 31) / 32) * 4;
    std::vector<uint8_t> line(stride);
    for (int y = 0; y < h; y++) {
      if (!ReaderBytes(&reader, line.data(), stride)) return PictureRefuse(result, kInvalid, fileName);
      uint32_t* row = pixels + static_cast<int64_t>(y) * w;
      if (bitCount == 24) {
        for (int x = 0; x < w; x++) row[x] = PixelRgb(line[x * 3 + 2], line[x * 3 + 1], line[x * 3]);
        continue;
      }
      const int perByte = 8 / bitCount;
      const int mask = (1 << bitCount) - 1;
      for (int x = 0; x < w; x++) {
        const int shift = 8 - bitCount * (x % perByte + 1);
        const int i = (line[x / perByte] >> shift) & mask;
        if (i >= colours) return PictureRefuse(result, kInvalid, fileName);
        row[x] = table[i];
      }
    }
  } else if (runLength) {
    // Runs are placed row by row. Pixels a run or absolute block carries
    // past the row's width are dropped (encoders commonly write each row
    // with its padding pixels); a row ends only at its end-of-line code. An
    // end of line inside a row, a delta or an early end of bitmap leaves the
    // skipped pixels black. With 4 bits a run's byte holds two indices used
    // in turn, high one first, and an absolute block packs two to a byte;
    // either way a block's bytes are padded to an even count.
    const bool nibbles = bitCount == 4;
    int64_t x = 0, y = 0;
    auto put = [&](uint32_t value) {
      if (x < w && y < h) pixels[y * w + x] = value;
      x++;
    };
    auto fillTo = [&](int64_t toY, int64_t toX) {
      while (y < h && (y < toY || (y == toY && x < toX))) {
        if (x < w) pixels[y * w + x] = 0;
        if (++x >= w && y < toY) {
          x = 0;
          y++;
        }
      }
      if (y == toY) x = std::max(x, toX);
    };
    auto colour = [&](int i, uint32_t* value) {
      if (i >= colours) return 0;
      *value = table[i];
      return 1;
    };
    while (y < h) {
      int count = ReaderByte(&reader);
      if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
      if (count > 0) {
        const int pair = ReaderByte(&reader);
        uint32_t first, second;
        if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
        if (!colour(nibbles ? pair >> 4 : pair, &first) ||
            !colour(nibbles ? pair & 15 : pair, &second))
          return PictureRefuse(result, kInvalid, fileName);
        for (int i = 0; i < count; i++) put(i % 2 ? second : first);
        continue;
      }
      int escape = ReaderByte(&reader);
      if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
      if (escape == 0) {
        fillTo(y, w);
        x = 0;
        y++;
      } else if (escape == 1) {
        fillTo(h, 0);
      } else if (escape == 2) {
        int dx = ReaderByte(&reader);
        int dy = ReaderByte(&reader);
        if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
        fillTo(y + dy, x + dx);
      } else {
        const int bytes = nibbles ? (escape + 1) / 2 : escape;
        int packed = 0;
        for (int i = 0; i < escape; i++) {
          if (!nibbles || i % 2 == 0) {
            packed = ReaderByte(&reader);
            if (reader.truncated) return PictureRefuse(result, kInvalid, fileName);
          }
          uint32_t value;
          const int index = !nibbles ? packed : (i % 2 ? packed & 15 : packed >> 4);
          if (!colour(index, &value)) return PictureRefuse(result, kInvalid, fileName);
          put(value);
        }
        if (bytes & 1) ReaderByte(&reader);
      }
    }
  } else {
    PictureLeaveUndecoded(result, fileName);
    return 1;
  }
  if (!topDown) FlipRows(w, h, pixels);
  return 1;
}
