// LBM/IFF: the size from the bitmap header; pixels from the BODY chunk,
// either interleaved bitplanes (ILBM: 1 to 8 planes through the CMAP
// colours, extra half-brite and hold-and-modify as the CAMG display mode
// says, or 24 planes of red, green, blue) or one byte per pixel (PBM), each
// row stored plainly or packed with ByteRun1. Fields are big-endian.
#include <algorithm>
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
  const int chunky = header[8] == 'P' && header[9] == 'B' && header[10] == 'M' && header[11] == ' ';
  const long length = FileLength(file);

  // The bitmap header is found by name among the chunks after the form
  // type (real files may put others first); a file without one is read the
  // plain way, its bitmap header at byte 20 whatever the identifiers say.
  // Then the colour map, the display mode and the pixels. Chunk data is
  // padded to an even length.
  uint8_t bitmap[20];
  std::memcpy(bitmap, header + 20, sizeof bitmap);
  int64_t position = 12;
  bool namedBitmap = false;
  for (int64_t at = 12; at + 8 <= length && !namedBitmap;) {
    uint8_t chunk[8];
    std::fseek(file, static_cast<long>(at), SEEK_SET);
    if (!ReaderBytes(&reader, chunk, 8)) break;
    const uint32_t chunkLength = LoadBe32(chunk + 4);
    if (std::memcmp(chunk, "BMHD", 4) == 0 && chunkLength >= 20) {
      if (!ReaderBytes(&reader, bitmap, sizeof bitmap)) return PictureRefuse(result, kInvalid, fileName);
      namedBitmap = true;
    }
    at += 8 + int64_t{chunkLength} + (chunkLength & 1);
  }
  // A plain bitmap header too short to hold its fields still gives the
  // size; only the pixels are refused.
  bool shortHeader = false;
  if (!namedBitmap) {
    const uint32_t plainLength = LoadBe32(header + 16);
    shortHeader = plainLength < 20;
    position = shortHeader ? length : 20 + int64_t{plainLength} + (plainLength & 1);
  }
  reader.truncated = 0;

  std::vector<uint32_t> colours;
  uint32_t mode = 0;  // CAMG: 0x80 extra half-brite, 0x800 hold-and-modify
  bool haveMode = false;
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
    } else if (std::memcmp(chunk, "CAMG", 4) == 0 && chunkLength >= 4) {
      uint8_t value[4];
      if (!ReaderBytes(&reader, value, 4)) return PictureRefuse(result, kInvalid, fileName);
      mode = LoadBe32(value);
      haveMode = true;
    } else if (std::memcmp(chunk, "BODY", 4) == 0) {
      bodyStart = position + 8;
      bodyLength = chunkLength;
      break;
    }
    position += 8 + int64_t{chunkLength} + (chunkLength & 1);
  }

  int width = static_cast<int>(LoadBe16(bitmap));
  int height = static_cast<int>(LoadBe16(bitmap + 2));
  if (!PictureAcceptSize(result, width, height, pixels, capacity, kInvalid, fileName)) return 0;
  const int planes = bitmap[8];
  const int masking = bitmap[9];
  const int compression = bitmap[10];

  // Other plane counts and packings are left undecoded.
  const int indexed = chunky ? planes == 8 : planes >= 1 && planes <= 8;
  const bool decodable = (indexed || (planes == 24 && !chunky)) && compression <= 1;
  // Bitplane rows are whole 16-bit words; chunky rows are padded to even.
  const size_t planeBytes = static_cast<size_t>(chunky ? width + (width & 1) : (width + 15) / 16 * 2);
  const int storedPlanes = chunky ? 1 : planes + (masking == 1);
  const size_t rowBytes = planeBytes * static_cast<size_t>(storedPlanes);
  // ByteRun1 packs at best 128 bytes of a row into two: a body too short
  // for the declared picture even so is refused before anything is
  // allocated for it.
  if (decodable && bodyStart >= 0) {
    const int64_t leastPerRow =
        compression ? 2 * static_cast<int64_t>((rowBytes + 127) / 128) : static_cast<int64_t>(rowBytes);
    if (int64_t{height} * leastPerRow > int64_t{bodyLength} || bodyStart + int64_t{bodyLength} > length)
      return PictureRefuse(result, kInvalid, fileName);
  }
  if (!pixels) return 1;
  if (shortHeader || bodyStart < 0) return PictureRefuse(result, kInvalid, fileName);
  if (!decodable) {
    PictureLeaveUndecoded(result, fileName);
    return 1;
  }

  // Hold-and-modify (six or eight planes): the top two bits of a value say
  // whether the rest is a colour index or replaces the blue, red or green
  // of the pixel to the left. Extra half-brite (six planes): values 32 to
  // 63 are colours 0 to 31 at half brightness; a six-plane picture without
  // a display mode whose map holds exactly 32 colours is taken as one too.
  const bool ham = !chunky && (mode & 0x800) && (planes == 6 || planes == 8);
  const bool halfBrite = !chunky && !ham && planes == 6 &&
                         ((mode & 0x80) || (!haveMode && colours.size() == 32));
  if (halfBrite) {
    colours.resize(std::min<size_t>(colours.size(), 32));
    const size_t base = colours.size();
    for (size_t i = 0; i < base; i++) colours.push_back((colours[i] >> 1) & 0x7F7F7F);
    // Entries past a short map stay missing, so their indices are refused.
    if (base < 32) colours.resize(base);
  }
  // Without a colour map the indices are shown as grey levels.
  if (indexed && colours.empty()) {
    const int top = (1 << (ham ? planes - 2 : planes)) - 1;
    for (int i = 0; i <= top; i++) {
      uint32_t grey = static_cast<uint32_t>(i * 255 / top);
      colours.push_back(PixelRgb(grey, grey, grey));
    }
  }
  const int valueBits = ham ? planes - 2 : planes;

  std::vector<uint8_t> row(rowBytes);
  std::fseek(file, static_cast<long>(bodyStart), SEEK_SET);
  BodyReader body = {&reader, bodyLength};
  for (int y = 0; y < height; y++) {
    if (!ReadRow(&body, compression, row.data(), row.size())) return PictureRefuse(result, kInvalid, fileName);
    uint32_t* out = pixels + static_cast<int64_t>(y) * width;
    uint32_t previous = colours.empty() ? 0 : colours[0];  // each row starts from the background
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
      } else if (ham && (value >> valueBits) != 0) {
        uint32_t level = value & ((1u << valueBits) - 1);
        // Four bits are spread as 0x11 steps, six as the top of eight.
        level = valueBits == 4 ? level * 17 : (level << 2) | (level >> 4);
        const int shiftOf[4] = {0, 0, 16, 8};  // blue, red, green
        const int at = shiftOf[value >> valueBits];
        previous = (previous & ~(0xFFu << at)) | (level << at);
        out[x] = previous;
      } else if (value < colours.size()) {
        out[x] = previous = colours[value];
      } else {
        return PictureRefuse(result, kInvalid, fileName);
      }
    }
  }
  return 1;
}
