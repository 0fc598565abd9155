// A PNG encoder without compression: 8-bit RGB, filter 0 on every row, the
// image data in deflate's stored blocks. Plain C++, so the native tests can
// decode its output with libpng.
#pragma once
#include <cstdint>
#include <vector>

// Encodes 0x00RRGGBB pixels (row 0 at the top, pitchPixels apart) into *png.
// Returns 0 for a size of 0, a pitch below the width or a size whose data
// would not fit in a PNG chunk.
int PngStore(const uint32_t* pixels, int width, int height, int pitchPixels,
             std::vector<uint8_t>* png);
