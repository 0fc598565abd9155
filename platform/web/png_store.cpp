#include "platform/web/png_store.h"

#include <array>
#include <cstddef>

namespace {

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

uint32_t Crc(const uint8_t* data, size_t size, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBig32(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v >> 24));
  out->push_back(static_cast<uint8_t>(v >> 16));
  out->push_back(static_cast<uint8_t>(v >> 8));
  out->push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>* out, const char type[4], const std::vector<uint8_t>& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  PutBig32(out, Crc(out->data() + start, out->size() - start));
}

}  // namespace

int PngStore(const uint32_t* pixels, int width, int height, int pitchPixels,
             std::vector<uint8_t>* png) {
  if (!pixels || width <= 0 || height <= 0 || pitchPixels < width) return 0;
  const uint64_t rowBytes = static_cast<uint64_t>(width) * 3 + 1;
  const uint64_t rawBytes = rowBytes * static_cast<uint64_t>(height);
  // Each stored block carries at most 65535 bytes behind a 5-byte header.
  const uint64_t blocks = rawBytes / 65535 + 1;
  if (rawBytes + blocks * 5 + 6 > 0x7FFFFFFFu) return 0;

  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(rawBytes));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitchPixels);
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<uint8_t>(row[x] >> 16));
      raw.push_back(static_cast<uint8_t>(row[x] >> 8));
      raw.push_back(static_cast<uint8_t>(row[x]));
    }
  }

  std::vector<uint8_t> z;
  z.push_back(0x78);  // deflate, 32 KiB window
  z.push_back(0x01);  // no preset dictionary; 0x7801 is a multiple of 31
  size_t done = 0;
  do {
    size_t n = raw.size() - done;
    if (n > 65535) n = 65535;
    bool last = done + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(done),
             raw.begin() + static_cast<std::ptrdiff_t>(done + n));
    done += n;
  } while (done < raw.size());
  uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed data
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig32(&z, b << 16 | a);

  png->clear();
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png->insert(png->end(), kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  PutBig32(&header, static_cast<uint32_t>(width));
  PutBig32(&header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, filter 0, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  return 1;
}
