#include "image/encode_tga.h"

#include <cstdio>

namespace {

void PutPixel(std::vector<uint8_t>* out, uint32_t c) {
  out->push_back(static_cast<uint8_t>(c));
  out->push_back(static_cast<uint8_t>(c >> 8));
  out->push_back(static_cast<uint8_t>(c >> 16));
}

// Packets stay inside one row: a run of equal pixels of two or more becomes
// a run packet, everything else gathers into raw packets of up to 128.
void EncodeRow(const uint32_t* row, int width, std::vector<uint8_t>* out) {
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 128 && (row[x + run] & 0xFFFFFF) == (row[x] & 0xFFFFFF)) run++;
    if (run >= 2) {
      out->push_back(static_cast<uint8_t>(127 + run));
      PutPixel(out, row[x]);
      x += run;
      continue;
    }
    int raw = 1;
    while (x + raw < width && raw < 128 &&
           (x + raw + 1 >= width || (row[x + raw] & 0xFFFFFF) != (row[x + raw + 1] & 0xFFFFFF)))
      raw++;
    out->push_back(static_cast<uint8_t>(raw - 1));
    for (int i = 0; i < raw; i++) PutPixel(out, row[x + i]);
    x += raw;
  }
}

}  // namespace

std::vector<uint8_t> EncodeTga(int width, int height, const uint32_t* pixels, int runLength) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return {};
  std::vector<uint8_t> out(18, 0);
  out[2] = runLength ? 10 : 2;
  out[12] = static_cast<uint8_t>(width & 0xFF);
  out[13] = static_cast<uint8_t>(width >> 8);
  out[14] = static_cast<uint8_t>(height & 0xFF);
  out[15] = static_cast<uint8_t>(height >> 8);
  out[16] = 24;
  out[17] = 0;  // origin bottom left
  for (int y = height - 1; y >= 0; y--) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    if (runLength) {
      EncodeRow(row, width, &out);
    } else {
      for (int x = 0; x < width; x++) PutPixel(&out, row[x]);
    }
  }
  return out;
}

int WriteTga(const char* path, int width, int height, const uint32_t* pixels, int runLength) {
  std::vector<uint8_t> bytes = EncodeTga(width, height, pixels, runLength);
  if (bytes.empty()) return 0;
  FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
  int closed = std::fclose(f);
  return n == bytes.size() && closed == 0;
}
