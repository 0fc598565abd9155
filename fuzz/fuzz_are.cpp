// Motion reader: any byte string must parse without reading outside it, and
// a motion read from it must play at any time without indexing outside its
// frames.
#include <cstddef>
#include <cstdint>

#include "engine/motion.h"
#include "engine/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MotionResult result;
  if (!MotionParse(data, size, "fuzz.are", &result)) return 0;
  static Scene scene;  // lives as long as the process, as scenes do
  static bool ready = false;
  if (!ready) ready = SceneCreate(&scene, 0, 0, kMotionMaxParts, 0, 0, 0) == 1;
  scene.meshCount = 0;  // one mesh per part, named after it
  for (int i = 0; i < MotionPartCount; i++) SceneAddMesh(&scene, MotionParts[i].name);
  ResetMotion();
  const float times[] = {0.0f, 0.5f, 3.75f, -2.25f, 1.0e12f, -1.0e12f};
  for (float duration : {1.0f, 3.0f, 0.0f})
    for (float time : times) {
      MotionFrameDuration = duration;
      ApplyMotion(&scene, time);
    }
  return 0;
}
