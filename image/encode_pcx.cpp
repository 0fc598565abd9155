#include "image/encode_pcx.h"

#include <cstdio>
#include <unordered_map>

namespace {

void PutWord(std::vector<uint8_t>* out, size_t at, int value) {
  (*out)[at] = static_cast<uint8_t>(value & 0xFF);
  (*out)[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// bytesPerLine is even, as readers expect; odd widths get one pad byte.
int BytesPerLine(int width) { return (width + 1) & ~1; }

std::vector<uint8_t> Header(int width, int height, int planes) {
  std::vector<uint8_t> out(128, 0);
  out[0] = 0x0A;  // manufacturer
  out[1] = 5;     // version: 256-colour palette or true colour
  out[2] = 1;     // run-length encoding
  out[3] = 8;     // bits per pixel per plane
  PutWord(&out, 4, 0);
  PutWord(&out, 6, 0);
  PutWord(&out, 8, width - 1);
  PutWord(&out, 10, height - 1);
  PutWord(&out, 12, 72);
  PutWord(&out, 14, 72);
  out[65] = static_cast<uint8_t>(planes);
  PutWord(&out, 66, BytesPerLine(width));
  PutWord(&out, 68, 1);  // colour palette
  return out;
}

// One scan line; runs never cross the end of the line. A byte of 0xC0 or
// above cannot stand alone (it would read as a run count), so it is always
// written as a run, even of one.
void EncodeLine(const uint8_t* line, int count, std::vector<uint8_t>* out) {
  int i = 0;
  while (i < count) {
    uint8_t b = line[i];
    int run = 1;
    while (i + run < count && run < 63 && line[i + run] == b) run++;
    if (run > 1 || b >= 0xC0) out->push_back(static_cast<uint8_t>(0xC0 | run));
    out->push_back(b);
    i += run;
  }
}

bool SizeOk(int width, int height) {
  return width > 0 && height > 0 && width <= 65535 && height <= 65535;
}

}  // namespace

std::vector<uint8_t> EncodePcx8(int width, int height, const uint8_t* indices,
                                const uint8_t* palette) {
  if (!SizeOk(width, height)) return {};
  std::vector<uint8_t> out = Header(width, height, 1);
  std::vector<uint8_t> line(BytesPerLine(width), 0);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) line[x] = indices[static_cast<size_t>(y) * width + x];
    EncodeLine(line.data(), static_cast<int>(line.size()), &out);
  }
  out.push_back(0x0C);  // palette marker
  out.insert(out.end(), palette, palette + 768);
  return out;
}

std::vector<uint8_t> EncodePcx24(int width, int height, const uint32_t* pixels) {
  if (!SizeOk(width, height)) return {};
  std::vector<uint8_t> out = Header(width, height, 3);
  int bpl = BytesPerLine(width);
  std::vector<uint8_t> line(static_cast<size_t>(bpl) * 3, 0);
  for (int y = 0; y < height; y++) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; x++) {
      line[x] = static_cast<uint8_t>(row[x] >> 16);
      line[bpl + x] = static_cast<uint8_t>(row[x] >> 8);
      line[2 * bpl + x] = static_cast<uint8_t>(row[x]);
    }
    // Each plane is its own run of bytes, so runs stop at plane ends.
    for (int p = 0; p < 3; p++) EncodeLine(line.data() + p * bpl, bpl, &out);
  }
  return out;
}

std::vector<uint8_t> EncodePcx(int width, int height, const uint32_t* pixels) {
  if (!SizeOk(width, height)) return {};
  size_t count = static_cast<size_t>(width) * height;
  std::unordered_map<uint32_t, int> index;
  std::vector<uint8_t> indices(count);
  uint8_t palette[768] = {};
  for (size_t i = 0; i < count; i++) {
    uint32_t c = pixels[i] & 0xFFFFFF;
    auto it = index.find(c);
    if (it == index.end()) {
      int n = static_cast<int>(index.size());
      if (n == 256) return EncodePcx24(width, height, pixels);
      it = index.emplace(c, n).first;
      palette[n * 3] = static_cast<uint8_t>(c >> 16);
      palette[n * 3 + 1] = static_cast<uint8_t>(c >> 8);
      palette[n * 3 + 2] = static_cast<uint8_t>(c);
    }
    indices[i] = static_cast<uint8_t>(it->second);
  }
  return EncodePcx8(width, height, indices.data(), palette);
}

int WritePcx(const char* path, int width, int height, const uint32_t* pixels) {
  std::vector<uint8_t> bytes = EncodePcx(width, height, pixels);
  if (bytes.empty()) return 0;
  FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
  int closed = std::fclose(f);
  return n == bytes.size() && closed == 0;
}
