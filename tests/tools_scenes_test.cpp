// The generated 3D files: every scene loads through the show's loader with
// the cameras, lights, objects and materials its effects ask for, every
// face is drawn with a material the asset set-up textures, the dancer is
// whole in every scene she dances in, the motions drive all her parts and
// keep her on the floor, and a second generation gives the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/load_3ds.h"
#include "engine/material_library.h"
#include "engine/motion.h"
#include "engine/scene.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "tests/tools_scene_support.h"
#include "tests/tools_support.h"
#include "tools/gen_scenes.h"

namespace {

std::vector<std::string> Dancer() {
  return {std::begin(kDancerMaterialNames), std::end(kDancerMaterialNames)};
}
std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// What each scene must hold: the effects' camera numbers, lights, named
// objects, the last frame their clocks reach, and the materials the asset
// set-up gives textures (a face with any other material would be drawn
// with an untextured default in scenes whose default gets none).
struct SceneNeeds {
  const char* file;
  int cameras, lights;
  std::vector<std::string> meshes;
  int lastFrame;
  std::vector<std::string> textured;
};

std::vector<SceneNeeds> Needs() {
  std::vector<std::string> city;
  for (const AssetBinding& b : kCityMaps) city.push_back(b.material);
  std::vector<std::string> floor = {"vrn5_defmat", "mymat"};
  for (const AssetBinding& b : kFloorMaps) floor.push_back(b.material);
  std::vector<std::string> catwalk = {"vrn5_defmat", kCatwalkPortraitMaterial};
  for (const char* m : kCatwalkPropMaterials) catwalk.push_back(m);
  return {
      // Params 0-6 pick cameras 0-6; param 5 runs 16.8 s from its row's start.
      {kSceneCatwalk, 7, 1, {"Hand_R"}, 379, Joined(Dancer(), catwalk)},
      {kSceneBox, 3, 1, {"Hand_R"}, 325, Dancer()},
      {kSceneFloor, 3, 1, {"DanceFloor"}, 338, Joined(Dancer(), floor)},
      {kSceneBlob, 3, 1, {"Box02"}, 325, {"vrn5_defmat", "mymat"}},
      {kSceneCube, 1, 1, {}, 100, {"vrn5_defmat", "MATERIAL #1"}},
      {kSceneObject, 1, 2, {}, 439, {"vrn5_defmat"}},
      // Param 9 runs the clock from 160 at 14.5 frames a second for 14.4 s.
      {kSceneCity, 5, 1, {}, 369, city},
  };
}

TEST(GeneratedScenes, LoadWithWhatTheirEffectsAskFor) {
  for (const SceneNeeds& need : Needs()) {
    SCOPED_TRACE(need.file);
    LoadedScene loaded;
    Load(need.file, &loaded);
    Scene* s = loaded.scene.get();
    EXPECT_GE(s->cameraCount, need.cameras);
    EXPECT_GE(s->lightCount, need.lights);
    EXPECT_GE(s->lastFrame, need.lastFrame);
    for (const std::string& mesh : need.meshes)
      EXPECT_NE(SceneFindMesh(s, mesh.c_str()), nullptr) << mesh;
    for (const std::string& m : need.textured) {
      if (m == "mymat" && std::string(need.file) == kSceneFloor) continue;  // the set-up adds it
      EXPECT_NE(MaterialFind(s, m.c_str()), nullptr) << m;
    }
    std::set<std::string> textured(need.textured.begin(), need.textured.end());
    for (int i = 0; i < s->faceCount; i++)
      ASSERT_EQ(textured.count(s->faces[i].material->name), 1u)
          << "face " << i << " uses " << s->faces[i].material->name;
    // Cameras keep moving over every frame the clocks reach, each with a
    // field of view.
    for (int c = 0; c < s->cameraCount; c++) {
      const KeyNode& eye = s->cameras[c].positionNode;
      ASSERT_GT(eye.position.keyCount, 0) << c;
      EXPECT_GE(eye.position.keys[eye.position.keyCount].frame, need.lastFrame) << c;
      ASSERT_TRUE(eye.hasFov) << c;
      EXPECT_GT(eye.fov.keys[1].value, 10.0f) << c;
      EXPECT_GT(s->cameras[c].targetNode.position.keyCount, 0) << c;
    }
  }
}

TEST(GeneratedScenes, DancerIsWholeInEveryDancerScene) {
  for (const char* file : {kSceneCatwalk, kSceneBox, kSceneFloor}) {
    SCOPED_TRACE(file);
    LoadedScene loaded;
    Load(file, &loaded);
    for (const char* part : kDancerPartNames) {
      Mesh* mesh = SceneFindMesh(loaded.scene.get(), part);
      ASSERT_NE(mesh, nullptr) << part;
      EXPECT_GT(mesh->faceCount, 20) << part;
      EXPECT_EQ(mesh->hasMapping, 1) << part;
    }
  }
}

// Once the asset set-up has turned round the normals of its list of parts,
// every part of the posed figure has normals facing into the body, the
// orientation the renderer's lighting expects of loaded meshes.
TEST(GeneratedScenes, DancerNormalsFaceInwardAfterTheSetUpsFlips) {
  const char* flipped[] = {"Hand_R", "ArmLower_R", "ArmUpper_R", "Neck", "Chest",
                           "Fot_R",  "LegLower_R", "LegUpper_R", "Hip"};
  for (const char* file : {kSceneCatwalk, kSceneBox, kSceneFloor}) {
    SCOPED_TRACE(file);
    LoadedScene loaded;
    Load(file, &loaded);
    Scene* s = loaded.scene.get();
    for (const char* name : flipped) MeshFlipNormals(SceneFindMesh(s, name));
    ASSERT_EQ(LoadMotion(kMotionFiles[1]), MOTION_OK);
    ResetMotion();
    ApplyMotion(s, 37.0f);
    for (const char* part : kDancerPartNames) {
      Mesh* mesh = SceneFindMesh(s, part);
      std::vector<Vec3> at(mesh->vertexCount);
      Vec3 centre = {0, 0, 0};
      for (int v = 0; v < mesh->vertexCount; v++) {
        MatTransformPoint(s->vertices[mesh->firstVertex + v].position, mesh->world, &at[v]);
        centre = {centre.x + at[v].x, centre.y + at[v].y, centre.z + at[v].z};
      }
      float n = static_cast<float>(mesh->vertexCount);
      centre = {centre.x / n, centre.y / n, centre.z / n};
      double outward = 0;
      for (int v = 0; v < mesh->vertexCount; v++) {
        Vec3 normal;
        MatRotateVector(s->vertices[mesh->firstVertex + v].normal, mesh->world, &normal);
        outward += normal.x * (at[v].x - centre.x) + normal.y * (at[v].y - centre.y) +
                   normal.z * (at[v].z - centre.z);
      }
      EXPECT_LT(outward, 0.0) << part;
    }
  }
}

// Closed shapes wound outwards enclose a positive volume; a part wound the
// other way would vanish under back-face culling.
TEST(GeneratedScenes, DancerPartsAreClosedAndWoundOutwards) {
  SceneFile dancer;
  AddDancer(&dancer);
  ASSERT_EQ(dancer.meshes.size(), static_cast<size_t>(kDancerParts));
  for (const SceneFileMesh& m : dancer.meshes) {
    double volume = 0;
    for (const SceneFileFace& f : m.faces) {
      const Vec3 &a = m.vertices[f.a], &b = m.vertices[f.b], &c = m.vertices[f.c];
      volume += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) +
                 a.z * (b.x * c.y - b.y * c.x)) /
                6.0;
    }
    EXPECT_GT(volume, 10.0) << m.name;
  }
}

TEST(GeneratedMotions, DriveEveryPartAndLoopWithoutAJump) {
  PlatformSetDataDir(ScenesDir());
  for (int k = 0; k < 5; k++) {
    SCOPED_TRACE(kMotionFiles[k]);
    MotionResult result;
    DecodeMotion(kMotionFiles[k], &result);
    ASSERT_EQ(result.status, MOTION_OK) << result.message;
    ASSERT_EQ(MotionPartCount, kDancerParts);
    for (int p = 0; p < MotionPartCount; p++) {
      const MotionPart& part = MotionParts[p];
      EXPECT_STREQ(part.name, kDancerPartNames[p]);
      ASSERT_GE(part.frameCount, 100);
      ASSERT_LE(part.frameCount, kMotionMaxFrames);
      const Mat4 &first = part.frames[0], &last = part.frames[part.frameCount - 1];
      for (int e = 0; e < 16; e++) EXPECT_NEAR(first.m[e], last.m[e], 0.01f) << part.name << e;
    }
  }
}

// Played on the box scene's dancer, every part is bound and placed, the
// lower foot stays on the floor (y = 0 in engine axes) and nothing sinks
// through it.
TEST(GeneratedMotions, KeepTheDancerOnTheFloor) {
  LoadedScene loaded;
  Load(kSceneBox, &loaded);
  Scene* s = loaded.scene.get();
  for (int k = 0; k < 5; k++) {
    SCOPED_TRACE(kMotionFiles[k]);
    ASSERT_EQ(LoadMotion(kMotionFiles[k]), MOTION_OK);
    MotionFrameDuration = 1.0f;
    ResetMotion();
    for (int frame = 0; frame < MotionParts[0].frameCount - 1; frame += 7) {
      ApplyMotion(s, static_cast<float>(frame));
      float lowest = 1e9f;
      for (int p = 0; p < MotionPartCount; p++) {
        Mesh* mesh = MotionParts[p].mesh;
        ASSERT_NE(mesh, nullptr) << MotionParts[p].name;
        for (int v = 0; v < mesh->vertexCount; v++) {
          Vec3 w;
          MatTransformPoint(s->vertices[mesh->firstVertex + v].position, mesh->world, &w);
          lowest = std::fmin(lowest, w.y);
        }
      }
      EXPECT_NEAR(lowest, 0.0f, 1.5f) << "frame " << frame;
    }
  }
}

TEST(GeneratedScenes, SecondGenerationIsByteIdentical) {
  std::string again = TempDir(), message;
  ASSERT_TRUE(GenerateAssets(again.c_str(), ASSETS_SCENES, &message)) << message;
  std::vector<const char*> files = {kSceneCatwalk, kSceneCube, kSceneBox,  kSceneBlob,
                                    kSceneObject,  kSceneCity, kSceneFloor};
  files.insert(files.end(), std::begin(kMotionFiles), std::end(kMotionFiles));
  files.insert(files.end(), std::begin(kCityVisibility), std::end(kCityVisibility));
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
  };
  for (const char* f : files) {
    std::vector<char> a = read(AssetFile(ScenesDir(), f)), b = read(AssetFile(again, f));
    EXPECT_FALSE(a.empty()) << f;
    EXPECT_TRUE(a == b) << f;
  }
}

}  // namespace
