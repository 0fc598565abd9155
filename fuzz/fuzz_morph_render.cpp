// Morph grid reader and renderer: any byte string must parse without touching memory
// outside the grid, and a grid read from it must render without writing
// outside the frame or reading outside the pictures.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/frames.h"
#include "effects/morph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint32_t> first(kFramePixels, 0x112233), second(kFramePixels, 0x445566);
  static std::vector<uint32_t> t1(kFramePixels), t2(kFramePixels);
  static bool ready = false;
  if (!ready) {
    MorphSetup();
    ready = true;
  }
  MorphGrid grid;
  std::memset(&grid, 0, sizeof grid);
  const char* message = nullptr;
  MorphFileParse(data, size, &grid, &message);
  Morph = grid;
  RenderMorph(t1.data(), t2.data(), first.data(), second.data(), 0.37f);
  return 0;
}
