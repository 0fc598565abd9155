// TGA writer: 24-bit true colour, uncompressed (type 2) or run-length
// encoded (type 10), rows stored bottom row first with the origin bit clear.
#pragma once
#include <cstdint>
#include <vector>

std::vector<uint8_t> EncodeTga(int width, int height, const uint32_t* pixels, int runLength);

// 1 on success, 0 when the file cannot be written or the size is out of range.
int WriteTga(const char* path, int width, int height, const uint32_t* pixels, int runLength);
