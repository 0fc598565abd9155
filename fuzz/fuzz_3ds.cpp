// Scene file reader: any byte string must load or be refused without reading
// outside it, and a scene that loads must pose at any frame.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scene* scene = new Scene;  // large: its material table is inside
  Load3dsResult result;
  if (Load3dsParse(scene, data, size, "fuzz.3ds", 1.0f, &result) && SceneBuildHierarchy(scene)) {
    for (float frame : {0.0f, 7.5f, 1000.0f, -3.0f}) {
      SceneSetFrame(scene, frame);
      SceneUpdateMeshMatrices(scene);
    }
  }
  Load3dsRelease(scene);
  return 0;
}
