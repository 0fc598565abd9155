// LBM/IFF: the size from the bitmap header; pixels from the BODY chunk,
// either interleaved bitplanes (ILBM: 1 to 8 planes through the CMAP
// colours, or 24 planes of red, green, blue) or one byte per pixel (PBM),
// each row stored plainly or packed with ByteRun1. Fields are big-endian.
#include <vector>

#include "image/picture_reader.h"

namespace {

const char kInvalid[] = "%s is not a valid .IFF file\n";

// Reads from the BODY chunk only: a row running past its end is a short file.
struct BodyReader {
  PictureReader* reader;
  uint32_t remaining;
};

int BodyByte(BodyReader* body, int* value) {
  if (body->remaining == 0) return 0;
  body->remaining--;
  *value = ReaderByte(body->reader);
  return !body->reader->truncated;
}

// One row of rowBytes bytes, plain or ByteRun1: n < 128 copies n + 1 bytes,
// n > 128 repeats the next byte 257 - n times, 128 does nothing. A run may
// not reach past the row.
int ReadRow(BodyReader* body, int compression, uint8_t* row, size_t rowBytes) {
  size_t produced = 0;
  while (produced < rowBytes) {
    int n;
    if (!BodyByte(body, &n)) return 0;
    if (compression == 0) {
      row[produced++] = static_cast<uint8_t>(n);
    } else if (n < 128) {
      if (produced + n + 1 > rowBytes) return 0;
      for (int i = 0; i <= n; i++) {
        int b;
        if (!BodyByte(body, &b)) return 0;
        row[produced++] = static_cast<uint8_t>(b);
      }
    } else if (n > 128) {
      size_t count = 257 - n;
      int b;
      if (produced + count > rowBytes || !BodyByte(body, &b)) return 0;
      for (size_t i = 0; i < count; i++) row[produced++] = static_cast<uint8_t>(b);
    }
  }
  return 1;
}

}  // namespace

int DecodeIff(FILE* file, const char* fileName, uint32_t* pixels, int64_t capacity, PictureResult* result) {
  PictureReader reader = {file, 0};
  uint8_t header[40];
  if (!ReaderBytes(&reader, header, sizeof header)) return PictureRefuse(result, kInvalid, fileName);
  int width = static_cast<int>(LoadBe16(header + 20));
  int height = static_cast<int>(LoadBe16(header + 22));
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  if (!pixels) return 1;

  const int chunky = header[8] == 'P' && header[9] == 'B' && header[10] == 'M' && header[11] == ' ';
  const int planes = header[28];
  const int masking = header[29];
  const int compression = header[30];
  const uint32_t headerLength = LoadBe32(header + 16);
  if (headerLength < 20) return PictureRefuse(result, kInvalid, fileName);

  // Walk the chunks after the bitmap header: keep the colour map, stop at
  // the pixels. Chunk data is padded to an even length.
  const long length = FileLength(file);
  int64_t position = 20 + int64_t{headerLength} + (headerLength & 1);
  std::vector<uint32_t> colours;
  int64_t bodyStart = -1;
  uint32_t bodyLength = 0;
  while (position + 8 <= length) {
    uint8_t chunk[8];
    std::fseek(file, static_cast<long>(position), SEEK_SET);
    if (!ReaderBytes(&reader, chunk, 8)) break;
    uint32_t chunkLength = LoadBe32(chunk + 4);
    if (std::memcmp(chunk, "CMAP", 4) == 0) {
      colours.clear();
      for (uint32_t i = 0; i + 3 <= chunkLength && i < 768; i += 3) {
        uint8_t rgb[3];
        if (!ReaderBytes(&reader, rgb, 3)) return PictureRefuse(result, kInvalid, fileName);
        colours.push_back(PixelRgb(rgb[0], rgb[1], rgb[2]));
      }
    } else if (std::memcmp(chunk, "BODY", 4) == 0) {
      bodyStart = position + 8;
      bodyLength = chunkLength;
      break;
    }
    position += 8 + int64_t{chunkLength} + (chunkLength & 1);
  }
  if (bodyStart < 0) return PictureRefuse(result, kInvalid, fileName);

  // Other plane counts and packings are left undecoded.
  const int indexed = chunky ? planes == 8 : planes >= 1 && planes <= 8;
  if ((!indexed && !(planes == 24 && !chunky)) || compression > 1) {
    PictureLeaveUndecoded(result, fileName);
    return 1;
  }
  // Without a colour map the indices are shown as grey levels.
  if (indexed && colours.empty()) {
    const int top = (1 << planes) - 1;
    for (int i = 0; i <= top; i++) {
      uint32_t grey = static_cast<uint32_t>(i * 255 / top);
      colours.push_back(PixelRgb(grey, grey, grey));
    }
  }

  // Bitplane rows are whole 16-bit words; chunky rows are padded to even.
  const size_t planeBytes = static_cast<size_t>(chunky ? width + (width & 1) : (width + 15) / 16 * 2);
  const int storedPlanes = chunky ? 1 : planes + (masking == 1);
  std::vector<uint8_t> row(planeBytes * storedPlanes);
  std::fseek(file, static_cast<long>(bodyStart), SEEK_SET);
  BodyReader body = {&reader, bodyLength};
  for (int y = 0; y < height; y++) {
    if (!ReadRow(&body, compression, row.data(), row.size())) return PictureRefuse(result, kInvalid, fileName);
    uint32_t* out = pixels + static_cast<int64_t>(y) * width;
    for (int x = 0; x < width; x++) {
      uint32_t value = 0;
      if (chunky) {
        value = row[x];
      } else {
        const size_t byte = static_cast<size_t>(x >> 3);
        const int shift = 7 - (x & 7);
        for (int p = 0; p < planes; p++) value |= ((row[p * planeBytes + byte] >> shift) & 1u) << p;
      }
      if (!indexed) {
        out[x] = PixelRgb(value, value >> 8, value >> 16);
      } else if (value < colours.size()) {
        out[x] = colours[value];
      } else {
        return PictureRefuse(result, kInvalid, fileName);
      }
    }
  }
  return 1;
}
