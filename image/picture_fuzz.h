// The body of the picture decoders' fuzz harnesses: the input as an
// in-memory file, a size query, then a decode into an array of exactly the
// size reported, so a write past it is caught by the address sanitizer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/picture.h"

inline int FuzzPictureDecoder(PictureDecoder decoder, const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Keeps each run quick: larger claims are refused like any oversized file.
  PictureMaxPixels = int64_t{1} << 18;
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  PictureResult header;
  if (decoder(file, "input", nullptr, 0, &header)) {
    if (header.width <= 0 || header.height <= 0) std::abort();
    std::rewind(file);
    std::vector<uint32_t> pixels(size_t(header.width) * size_t(header.height));
    PictureResult decode;
    int ok = decoder(file, "input", pixels.data(), int64_t(pixels.size()), &decode);
    // A refusal always says why; a success reports the same size.
    if (!ok && decode.message.empty()) std::abort();
    if (ok && (decode.width != header.width || decode.height != header.height)) std::abort();
  } else if (header.message.empty()) {
    std::abort();
  }
  std::fclose(file);
  return 0;
}
