// Morph grid reader alone: any byte string must parse without reading
// outside the data or writing outside the grid, and every status must come
// with its line. Rendering a grid costs a whole frame, independent of the
// input, so it has a harness of its own (fuzz_morph_render) and this one
// runs at the reader's own speed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "effects/morph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MorphGrid grid;
  std::memset(&grid, 0, sizeof grid);
  const char* message = nullptr;
  int status = MorphFileParse(data, size, &grid, &message);
  if (message == nullptr || status < MORPH_FILE_OK || status > MORPH_FILE_MISSING) std::abort();
  return 0;
}
