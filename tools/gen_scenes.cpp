// Writes the 3D half of the asset set: seven scenes, five motions and the
// city's three visibility lists.
#include "tools/gen_scenes.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/load_3ds.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"
#include "image/asset_names.h"

namespace {

void Fail(AssetOutput* out, const std::string& text) {
  out->failed++;
  if (out->message.empty()) out->message = text;
}

// The file image of a scene, or empty (with the failure noted) when the
// writer refuses it.
std::vector<uint8_t> SceneBytes(AssetOutput* out, const char* name, const SceneFile& scene) {
  std::vector<uint8_t> bytes;
  std::string message;
  if (!SceneFileEncode(scene, &bytes, &message)) Fail(out, std::string(name) + ": " + message);
  return bytes;
}

void CityVisibility(AssetOutput* out, const std::vector<uint8_t>& city) {
  std::unique_ptr<Scene> owner(new Scene());
  Scene& scene = *owner;
  Load3dsResult result;
  if (!Load3dsParse(&scene, city.data(), city.size(), kSceneCity, 1.0f, &result) ||
      !SceneBuildHierarchy(&scene)) {
    Fail(out, std::string(kSceneCity) + " does not load back: " + result.message);
    Load3dsRelease(&scene);
    return;
  }
  Viewport vp{};
  if (!ViewportCreate(&vp, 4000, 320, 240)) {
    Fail(out, "no memory for the visibility viewport");
    Load3dsRelease(&scene);
    return;
  }
  for (int i = 0; i < 3; i++)
    OutputBytes(out, kCityVisibility[i],
                EncodeVisibility(
                    ComputeVisibility(&scene, &vp, kCityVisibilityCameras[i], scene.lastFrame)));
  std::free(vp.faceList);
  Load3dsRelease(&scene);
}

}  // namespace

void GenerateScenes(AssetOutput* out) {
  struct {
    const char* name;
    SceneFile (*make)();
  } const scenes[] = {
      {kSceneCatwalk, CatwalkScene}, {kSceneCube, CubeScene},     {kSceneBox, BoxScene},
      {kSceneBlob, BlobScene},       {kSceneObject, ObjectScene}, {kSceneCity, CityScene},
      {kSceneFloor, FloorScene},
  };
  std::vector<uint8_t> city;
  for (const auto& s : scenes) {
    std::vector<uint8_t> bytes = SceneBytes(out, s.name, s.make());
    if (bytes.empty()) continue;
    OutputBytes(out, s.name, bytes);
    if (s.make == CityScene) city = bytes;
  }
  for (int k = 0; k < 5; k++) {
    std::vector<uint8_t> bytes;
    if (!EncodeMotion(SampleDance(k), &bytes))
      Fail(out, std::string(kDances[k].file) + ": the motion does not fit a motion file");
    else
      OutputBytes(out, kDances[k].file, bytes);
  }
  if (!city.empty()) CityVisibility(out, city);
}
