// Frame hashes for /timedemo /checksum and the tests: MD5 of a frame's RGB
// bytes, the value ffmpeg's framemd5 gives for the same PNG frame. Portable:
// the browser build uses it too.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/capture.h"

namespace {

// MD5 (RFC 1321), fed in pieces.
class Md5 {
 public:
  void Add(const uint8_t* data, size_t size) {
    length_ += size;
    while (size > 0) {
      size_t n = std::min(size, sizeof(block_) - fill_);
      std::memcpy(block_ + fill_, data, n);
      fill_ += n;
      data += n;
      size -= n;
      if (fill_ == sizeof(block_)) {
        Transform(block_);
        fill_ = 0;
      }
    }
  }

  std::string Hex() {
    uint64_t bits = length_ * 8;
    uint8_t pad[72] = {0x80};
    size_t padBytes = (fill_ < 56 ? 56 : 120) - fill_;
    Add(pad, padBytes);
    uint8_t size[8];
    for (int i = 0; i < 8; ++i) size[i] = static_cast<uint8_t>(bits >> (8 * i));
    Add(size, 8);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint32_t word : state_)
      for (int i = 0; i < 4; ++i) {
        uint8_t byte = static_cast<uint8_t>(word >> (8 * i));
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
      }
    return hex;
  }

 private:
  static uint32_t Rotate(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

  void Transform(const uint8_t* p) {
    static const uint32_t kSine[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int kShift[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
             static_cast<uint32_t>(p[4 * i + 2]) << 16 | static_cast<uint32_t>(p[4 * i + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) & 15;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) & 15;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) & 15;
      }
      uint32_t next = d;
      d = c;
      c = b;
      b = b + Rotate(a + f + kSine[i] + m[g], kShift[(i / 16) * 4 + (i & 3)]);
      a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
  }

  uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  uint8_t block_[64] = {};
  size_t fill_ = 0;
  uint64_t length_ = 0;
};

}  // namespace

std::string CaptureMd5(const void* data, size_t size) {
  Md5 md5;
  md5.Add(static_cast<const uint8_t*>(data), size);
  return md5.Hex();
}

std::string CaptureFrameMd5(const uint32_t* pixels, int width, int height, int pitchPixels) {
  Md5 md5;
  if (!pixels || width <= 0 || height <= 0 || pitchPixels < width) return md5.Hex();
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitchPixels);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(src[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(src[x]);
    }
    md5.Add(row.data(), row.size());
  }
  return md5.Hex();
}
