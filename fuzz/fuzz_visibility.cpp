// City visibility lists: any byte string is read or refused without reading
// outside it, and a list that is read names only meshes the scene has.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "effects/scene_effects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks how many meshes the scene has; the rest is the file.
  if (size < 1) return 0;
  const int32_t meshes = data[0];
  static VisibilityList list;  // replaced only by a sound file, as in the show
  VisibilityResult result;
  if (!VisibilityParse(data + 1, size - 1, "fuzz.iff", meshes, &list, &result)) {
    if (result.message.empty()) std::abort();
    return 0;
  }
  size_t words = 0;
  for (int k = 0; k < list.recordCount; k++) {
    if (list.counts[k] < 0) std::abort();
    words += 1 + static_cast<size_t>(list.counts[k]);
    for (int i = 0; i < list.counts[k]; i++)
      if (list.records[k][i] < 0 || list.records[k][i] >= meshes) std::abort();
  }
  if (words * 2 != size - 1) std::abort();
  return 0;
}
