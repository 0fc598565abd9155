// PCX writer: version 5, run-length encoded, either 8-bit with a 256-entry
// palette appended after the pixel data or 24-bit as three colour planes per
// scan line. The encoders build the file in memory; WritePcx puts it on disk.
#pragma once
#include <cstdint>
#include <vector>

// width x height colour indices, palette of 256 red, green, blue triples.
std::vector<uint8_t> EncodePcx8(int width, int height, const uint8_t* indices,
                                const uint8_t* palette);
// width x height pixels 0x00RRGGBB as three planes.
std::vector<uint8_t> EncodePcx24(int width, int height, const uint32_t* pixels);
// 8-bit when the picture has at most 256 colours (indices in order of first
// appearance, so the first pixel is index 0), 24-bit otherwise.
std::vector<uint8_t> EncodePcx(int width, int height, const uint32_t* pixels);

// Writes EncodePcx of the pixels to path; 1 on success, 0 when the file
// cannot be written or the size is out of the format's range.
int WritePcx(const char* path, int width, int height, const uint32_t* pixels);
