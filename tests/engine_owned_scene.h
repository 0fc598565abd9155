// A scene owned by a test: its pools, key arrays and child lists are freed
// with it, so the tests run clean under the leak checker.
#pragma once
#include <memory>

#include "engine/load_3ds.h"
#include "engine/scene.h"

struct ReleaseScene {
  void operator()(Scene* scene) const {
    Load3dsRelease(scene);
    delete scene;
  }
};
using OwnedScene = std::unique_ptr<Scene, ReleaseScene>;
inline OwnedScene MakeOwnedScene() { return OwnedScene(new Scene()); }
