// Fuzzes the CEL picture decoder: size query, then a decode into an array of
// exactly the reported size.
#include "image/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzPictureDecoder(DecodeCel, data, size);
}
