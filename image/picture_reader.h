// What every decoder shares: byte reads that remember running off the end of
// the file, little- and big-endian fields, and the checks that a header's
// size claims are sane before anything is allocated or written.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/picture.h"

struct PictureReader {
  FILE* file;
  int truncated;  // a read ran past the end of the file
};

inline int ReaderByte(PictureReader* reader) {
  int c = std::getc(reader->file);
  if (c == EOF) {
    reader->truncated = 1;
    return 0;
  }
  return c;
}

// Reads count bytes; what the file does not hold reads as zero.
inline int ReaderBytes(PictureReader* reader, void* target, size_t count) {
  size_t got = std::fread(target, 1, count, reader->file);
  if (got != count) {
    std::memset(static_cast<uint8_t*>(target) + got, 0, count - got);
    reader->truncated = 1;
    return 0;
  }
  return 1;
}

inline int ReaderSkip(PictureReader* reader, long count) {
  for (long i = 0; i < count && !reader->truncated; i++) ReaderByte(reader);
  return !reader->truncated;
}

inline uint32_t LoadLe16(const uint8_t* p) { return p[0] | (p[1] << 8); }
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t LoadBe16(const uint8_t* p) { return (p[0] << 8) | p[1]; }
inline uint32_t LoadBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline uint32_t PixelRgb(uint32_t red, uint32_t green, uint32_t blue) {
  return ((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF);
}

// Fills result with the message (format takes the file name) and answers 0.
int PictureRefuse(PictureResult* result, const char* format, const char* fileName);

// Stores the size read from a header. Refuses (with invalidFormat) a size
// that is zero, negative or larger than PictureMaxPixels; with pixels, also
// one larger than the caller's capacity.
int PictureAcceptSize(PictureResult* result, int64_t width, int64_t height, const uint32_t* pixels,
                      int64_t capacity, const char* invalidFormat, const char* fileName);

// Whether the file holds at least count bytes from offset on. The read
// position is kept. Decoders ask it before a picture is allocated, with the
// fewest bytes their format could encode the declared picture in.
int PictureFileHolds(FILE* file, long offset, int64_t count);

// Marks a decode that succeeded without pixels: a variant this reader does
// not decode. The caller's array keeps what it held (the constructors hand
// out zeroed ones) and the front end warns with the file's name.
void PictureLeaveUndecoded(PictureResult* result, const char* fileName);

// A 256-entry table of 6-bit red, green, blue, then width x height index
// bytes, top row first (RIX and CEL). Answers 0 on a short file.
int DecodeSixBitIndexed(PictureReader* reader, int width, int height, uint32_t* pixels);
