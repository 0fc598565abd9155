// Posing a figure-sized hierarchy per frame (every node with position,
// rotation and scale tracks), and the normals and bounds pass a loaded mesh
// goes through once.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/animation.h"
#include "engine/scene.h"

namespace {

constexpr int kNodes = 30;
constexpr int kKeys = 40;

std::unique_ptr<Scene> Figure() {
  auto scene = std::make_unique<Scene>();
  SceneCreate(scene.get(), 0, 0, kNodes, 0, 0, 0);
  scene->lastFrame = kKeys * 10;
  const KeySpline spline = {0, 0.2f, -0.1f, 0.3f, 0.1f, 0.1f};
  for (int i = 0; i < kNodes; i++) {
    KeyNode* node = &SceneAddMesh(scene.get(), "part")->node;
    node->id = i + 1;
    node->parentId = i == 0 ? -1 : (i - 1) / 2 + 1;  // a binary tree of limbs
    node->hasPosition = node->hasRotation = node->hasScale = 1;
    TrackAllocate(&node->position, kKeys);
    TrackAllocate(&node->rotation, kKeys);
    TrackAllocate(&node->scale, kKeys);
    for (int k = 0; k < kKeys; k++) {
      float a = 0.1f * static_cast<float>(k + i);
      TrackAddKey(&node->position, k * 10, {std::sin(a), std::cos(a), a}, spline);
      TrackAddKey(&node->rotation, k * 10, {std::cos(a), 1.0f, std::sin(a)}, 0.2f, spline);
      TrackAddKey(&node->scale, k * 10, {1.0f, 1.0f + 0.1f * std::sin(a), 1.0f}, spline);
    }
  }
  SceneBuildHierarchy(scene.get());
  return scene;
}

void BM_SceneSetFrame(benchmark::State& state) {
  auto scene = Figure();
  float frame = 0.0f;
  for (auto _ : state) {
    SceneSetFrame(scene.get(), frame);
    SceneUpdateMeshMatrices(scene.get());
    frame += 0.37f;
    benchmark::DoNotOptimize(scene->meshes[kNodes - 1].world.m[12]);
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_SceneSetFrame);

void BM_MeshNormalsAndBounds(benchmark::State& state) {
  const int side = 64;  // a side x side grid of quads
  auto scene = std::make_unique<Scene>();
  SceneCreate(scene.get(), side * side, 2 * (side - 1) * (side - 1), 1, 0, 0, 0);
  Mesh* mesh = SceneAddMesh(scene.get(), "grid");
  Vertex* v = MeshAddVertices(mesh, side * side);
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++)
      v[y * side + x].position = {static_cast<float>(x), std::sin(0.2f * x) * std::cos(0.3f * y),
                                  static_cast<float>(y)};
  Face* f = MeshAddFaces(mesh, 2 * (side - 1) * (side - 1));
  for (int y = 0; y + 1 < side; y++) {
    for (int x = 0; x + 1 < side; x++) {
      int i = y * side + x;
      FaceSetCorners(scene.get(), f++, i, i + 1, i + side);
      FaceSetCorners(scene.get(), f++, i + 1, i + side + 1, i + side);
    }
  }
  for (auto _ : state) {
    MeshComputeNormals(mesh);
    MeshComputeFaceMapping(mesh);
    MeshComputeBounds(mesh);
    benchmark::DoNotOptimize(mesh->bounds[0].x);
  }
  state.SetItemsProcessed(state.iterations() * mesh->faceCount);
}
BENCHMARK(BM_MeshNormalsAndBounds);

}  // namespace
