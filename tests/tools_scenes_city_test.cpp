// The city and its visibility lists: the lists read back as the records the
// engine's own culling gives, drawing only a record's objects gives the
// same picture as drawing the whole city, the lists are worth having, no
// camera of any scene flies into a building or submits more faces than the
// show's viewport holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/material_library.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "tests/tools_support.h"
#include "tools/gen_scenes.h"

namespace {

const std::string& CityDir() {
  static std::string dir = [] {
    std::string d = TempDir(), message;
    EXPECT_TRUE(GenerateAssets(d.c_str(), ASSETS_SCENES, &message)) << message;
    return d;
  }();
  return dir;
}

struct City {
  std::unique_ptr<Scene> scene{new Scene()};
  Viewport vp{};
  ~City() {
    Load3dsRelease(scene.get());
    std::free(vp.faceList);
  }
};

void LoadCity(const char* file, City* city) {
  PlatformSetDataDir(CityDir());
  Load3dsResult result;
  ASSERT_TRUE(Load3dsRead(city->scene.get(), file, 1.0f, &result)) << result.message;
  ASSERT_TRUE(SceneBuildHierarchy(city->scene.get()));
  ASSERT_TRUE(ViewportCreate(&city->vp, 3000, 320, 240));
}

// A list file as its records: a count, then that many indices.
std::vector<std::vector<int16_t>> ReadList(const char* name) {
  std::ifstream in(AssetFile(CityDir(), name), std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::vector<int16_t>> records;
  size_t at = 0;
  auto next = [&](int16_t* v) {
    if (at + 2 > b.size()) return false;
    *v = static_cast<int16_t>(b[at] | (b[at + 1] << 8));
    at += 2;
    return true;
  };
  int16_t count;
  while (next(&count)) {
    std::vector<int16_t> r(count > 0 ? count : 0);
    for (int16_t& index : r) EXPECT_TRUE(next(&index)) << name << " ends inside a record";
    records.push_back(r);
  }
  return records;
}

TEST(CityVisibility, ListsMatchTheEnginesCulling) {
  City city;
  LoadCity(kSceneCity, &city);
  Scene* s = city.scene.get();
  for (int i = 0; i < 3; i++) {
    SCOPED_TRACE(kCityVisibility[i]);
    std::vector<std::vector<int16_t>> list = ReadList(kCityVisibility[i]);
    ASSERT_EQ(static_cast<int>(list.size()), s->lastFrame);
    size_t listed = 0;
    for (const std::vector<int16_t>& r : list) {
      listed += r.size();
      for (size_t k = 0; k < r.size(); k++) {
        ASSERT_GE(r[k], 0);
        ASSERT_LT(r[k], s->meshCount);
        if (k > 0) {
          ASSERT_LT(r[k - 1], r[k]);
        }
      }
    }
    // Worth having: on average well under half the city per frame.
    EXPECT_LT(listed, list.size() * s->meshCount / 2);
    std::vector<std::vector<int16_t>> again =
        ComputeVisibility(s, &city.vp, kCityVisibilityCameras[i], s->lastFrame);
    EXPECT_TRUE(again == list);
  }
}

// The city drawn whole and drawn from a record's objects alone, at frames
// through each listed camera's rows, is the same picture, whichever way
// round the effect sets its camera and its far plane.
TEST(CityVisibility, ListedObjectsDrawTheWholePicture) {
  City city;
  LoadCity(kSceneCity, &city);
  Scene* s = city.scene.get();
  static uint32_t texture[256 * 256];
  for (int i = 0; i < 256 * 256; i++) texture[i] = 0x10101u * static_cast<uint32_t>(i % 251);
  for (const AssetBinding& b : kCityMaps)
    ASSERT_TRUE(TextureLibraryBind(s, b.material, texture, 0x302, 0, 1));
  static uint32_t whole[320 * 240], listed[320 * 240];
  static int32_t depth[320 * 240];
  Viewport* vp = &city.vp;
  auto draw = [&](uint32_t* frame, float clock, int camera, bool farPlaneFirst,
                  const std::vector<int16_t>* only) {
    std::memset(frame, 0, sizeof whole);
    std::memset(depth, 0, sizeof depth);
    ViewportSetTarget(vp, 1280, frame, depth);
    ViewportSetAmbient(vp, 0.125f, 0.125f, 0.125f);
    ViewportEnableFarPlane(vp, 1);
    if (farPlaneFirst) ViewportSetFarPlane(vp, kCityFadeStart, kCityFarZ);
    SceneSetFrame(s, clock);
    SceneUpdateMeshMatrices(s);
    ViewportSetCamera(vp, &s->cameras[camera]);
    if (!farPlaneFirst) ViewportSetFarPlane(vp, kCityFadeStart, kCityFarZ);
    ViewportPrepareLights(vp, s);
    ViewportClearFaces(vp);
    if (only)
      for (int16_t index : *only) MeshSubmit(&s->meshes[index], vp);
    else
      SceneSubmit(s, vp);
    ViewportSortFaces(vp, 1);
    ViewportDrawFaces(vp);
    ViewportClearFaces(vp);
  };
  const float clocks[3][3] = {
      {170.3f, 251.9f, 366.5f}, {8.2f, 64.7f, 151.0f}, {3.1f, 41.5f, 82.9f}};
  for (int i = 0; i < 3; i++) {
    std::vector<std::vector<int16_t>> list = ReadList(kCityVisibility[i]);
    ASSERT_FALSE(list.empty());
    for (float clock : clocks[i])
      for (bool farFirst : {false, true}) {
        SCOPED_TRACE(std::string(kCityVisibility[i]) + " at " + std::to_string(clock));
        const std::vector<int16_t>& record = list[static_cast<size_t>(clock)];
        draw(whole, clock, kCityVisibilityCameras[i], farFirst, nullptr);
        draw(listed, clock, kCityVisibilityCameras[i], farFirst, &record);
        int differing = 0, lit = 0, worst = 0;
        for (int p = 0; p < 320 * 240; p++) {
          differing += whole[p] != listed[p];
          lit += whole[p] != 0;
          for (int shift = 0; shift < 24; shift += 8) {
            int d = static_cast<int>((whole[p] >> shift) & 255) -
                    static_cast<int>((listed[p] >> shift) & 255);
            worst = std::max(worst, d < 0 ? -d : d);
          }
        }
        if (farFirst) {
          // The camera switches the far plane off again and only the fade
          // remains: objects wholly beyond it come out black and may hide
          // the last glimmer of a large face behind them: a few levels in
          // a few near-black pixels.
          EXPECT_LE(worst, 8);
          EXPECT_LT(differing, 320 * 240 / 100);
        } else {
          EXPECT_EQ(differing, 0);
        }
        EXPECT_GT(lit, 320 * 240 / 4);  // the camera sees the city
      }
  }
}

TEST(CityCameras, NeverEnterABuilding) {
  City city;
  LoadCity(kSceneCity, &city);
  Scene* s = city.scene.get();
  for (int frame = 0; frame < s->lastFrame; frame += 2) {
    SceneSetFrame(s, static_cast<float>(frame));
    for (int c = 0; c < s->cameraCount; c++) {
      const Vec3 eye = s->cameras[c].positionNode.position.current;
      for (int m = 0; m < s->meshCount; m++) {
        const Mesh& mesh = s->meshes[m];
        if (std::strncmp(mesh.name, "Bldg", 4) != 0) continue;
        // Bounds are object space; buildings stay where the file put them.
        const Vec3& hi = mesh.bounds[1];
        const Vec3& lo = mesh.bounds[4];
        bool inside = eye.x > lo.x - 2 && eye.x < hi.x + 2 && eye.y > lo.y - 2 &&
                      eye.y < hi.y + 2 && eye.z > lo.z - 2 && eye.z < hi.z + 2;
        ASSERT_FALSE(inside) << "camera " << c << " frame " << frame << " in " << mesh.name;
      }
    }
  }
}

// Faces any camera of any scene submits stay within the show's 3000-face
// viewport.
TEST(SceneCameras, SubmitFewerFacesThanTheViewportHolds) {
  for (const char* file :
       {kSceneCatwalk, kSceneBox, kSceneFloor, kSceneBlob, kSceneCube, kSceneObject, kSceneCity}) {
    SCOPED_TRACE(file);
    City loaded;
    LoadCity(file, &loaded);
    Scene* s = loaded.scene.get();
    Viewport* vp = &loaded.vp;
    int most = 0;
    for (int c = 0; c < s->cameraCount; c++)
      for (int frame = 0; frame < s->lastFrame; frame += 10) {
        SceneSetFrame(s, static_cast<float>(frame));
        SceneUpdateMeshMatrices(s);
        ViewportSetCamera(vp, &s->cameras[c]);
        ViewportClearFaces(vp);
        SceneSubmit(s, vp);
        most = std::max(most, vp->faceCount);
      }
    EXPECT_LT(most, 2700);
    EXPECT_GT(most, 0);
  }
}

}  // namespace
