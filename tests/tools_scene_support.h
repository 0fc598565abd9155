// The generated 3D scenes, made once per test program and read back through
// the show's own reading core.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/load_3ds.h"
#include "engine/scene.h"
#include "platform/system.h"
#include "tests/tools_support.h"
#include "tools/asset_generator.h"

inline const std::string& ScenesDir() {
  static std::string dir = [] {
    std::string d = TempDir();
    std::string message;
    EXPECT_TRUE(GenerateAssets(d.c_str(), ASSETS_SCENES, &message)) << message;
    return d;
  }();
  return dir;
}

struct LoadedScene {
  std::unique_ptr<Scene> scene{new Scene()};
  ~LoadedScene() { Load3dsRelease(scene.get()); }
};

// Loads an asset of the generated set; fails the test when it does not read.
inline void Load(const char* name, LoadedScene* loaded) {
  PlatformSetDataDir(ScenesDir());
  Load3dsResult result;
  ASSERT_TRUE(Load3dsRead(loaded->scene.get(), name, 1.0f, &result)) << name << result.message;
  ASSERT_TRUE(SceneBuildHierarchy(loaded->scene.get())) << name;
}
