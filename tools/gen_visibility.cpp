// The city's visibility lists: for every scene frame and each of the three
// cameras that have one, the objects the engine would draw anything of.
// The city is loaded from its own file image and posed and culled by the
// engine itself, with the far plane the city effect sets, so the lists can
// only leave out what the renderer would have dropped anyway.
#include <algorithm>

#include "engine/animation.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"
#include "tools/gen_scenes.h"

std::vector<std::vector<int16_t>> ComputeVisibility(Scene* scene, Viewport* vp, int camera,
                                                    int frames) {
  std::vector<std::vector<int16_t>> records;
  std::vector<char> seen(static_cast<size_t>(scene->meshCount));
  for (int k = 0; k < frames; k++) {
    std::fill(seen.begin(), seen.end(), 0);
    // Every clock value in [k, k + 1] uses record k, so the record holds
    // what any of them shows.
    for (int step = 0; step <= kVisibilitySteps; step++) {
      float frame = static_cast<float>(k) + static_cast<float>(step) / kVisibilitySteps;
      SceneSetFrame(scene, frame);
      SceneUpdateMeshMatrices(scene);
      ViewportSetCamera(vp, &scene->cameras[camera]);
      ViewportSetFarPlane(vp, kCityFadeStart, kCityFarZ);
      for (int i = 0; i < scene->meshCount; i++) {
        if (seen[i]) continue;
        ViewportClearFaces(vp);
        MeshSubmit(&scene->meshes[i], vp);
        if (vp->faceCount > 0) seen[i] = 1;
      }
      ViewportClearFaces(vp);
    }
    std::vector<int16_t> record;
    for (int i = 0; i < scene->meshCount; i++)
      if (seen[i]) record.push_back(static_cast<int16_t>(i));
    records.push_back(record);
  }
  return records;
}

std::vector<uint8_t> EncodeVisibility(const std::vector<std::vector<int16_t>>& records) {
  std::vector<uint8_t> bytes;
  auto put = [&bytes](int v) {
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  };
  for (const std::vector<int16_t>& r : records) {
    put(static_cast<int>(r.size()));
    for (int16_t index : r) put(index);
  }
  return bytes;
}
