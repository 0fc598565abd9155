// One frame through the render pipeline: a field of lit, textured cubes
// (about the face count of the show's busier scenes) submitted, sorted and
// drawn into 320x240; and the same frame relit by a projector light.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/material_library.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"

namespace {

constexpr int kCubesPerSide = 10;  // 100 cubes, 1200 faces

struct Field {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  std::vector<uint32_t> texture = std::vector<uint32_t>(256 * 256);
  std::vector<uint32_t> frame = std::vector<uint32_t>(320 * 240);
  std::vector<int32_t> depth = std::vector<int32_t>(320 * 240);
  Viewport main = {}, projector = {};
  Camera* camera;
  Light* light;
  int submitted = 0;

  explicit Field(int mode) {
    const int cubes = kCubesPerSide * kCubesPerSide;
    SceneCreate(scene.get(), cubes * 8, cubes * 12, cubes, 1, 1, 0);
    for (size_t i = 0; i < texture.size(); i++) texture[i] = static_cast<uint32_t>(i * 2654435761u);
    for (int i = 0; i < cubes; i++)
      AddCube((i % kCubesPerSide - 4.5f) * 30, (i / kCubesPerSide) * 30);
    TextureLibraryBind(scene.get(), kDefaultMaterialName, texture.data(), mode, 0, 1);
    camera = SceneAddCamera(scene.get(), "cam");
    camera->positionNode.position.current = {0, 120, -120};
    camera->targetNode.position.current = {0, 0, 120};
    camera->positionNode.fov.current = 60;
    light = SceneAddLight(scene.get(), "light");
    light->positionNode.position.current = {0, 200, 100};
    light->colour = {0.8f, 0.8f, 0.8f};
    ViewportCreate(&main, 3000, 320, 240);
    ViewportCreate(&projector, 3000, 256, 256);
    ViewportSetAmbient(&main, 0.25f, 0.25f, 0.25f);
    ViewportSetTarget(&main, 1280, frame.data(), depth.data());
  }
  ~Field() {
    std::free(main.faceList);
    std::free(projector.faceList);
  }

  // Eight shared corners (bit 0: x, bit 1: y, bit 2: z), twelve faces
  // counter-clockwise seen from outside.
  void AddCube(float x, float z) {
    Mesh* mesh = SceneAddMesh(scene.get(), "cube");
    Vertex* v = MeshAddVertices(mesh, 8);
    for (int i = 0; i < 8; i++) {
      v[i].position = {x + (i & 1 ? 10.0f : -10.0f), i & 2 ? 20.0f : 0.0f,
                       z + (i & 4 ? 10.0f : -10.0f)};
      v[i].u = i & 1 ? 255.0f : 0.0f;
      v[i].v = i & 2 ? 0.0f : 255.0f;
    }
    mesh->hasMapping = 1;
    static const int kFaces[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6},
                                      {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5},
                                      {2, 6, 7}, {2, 7, 3}, {0, 1, 5}, {0, 5, 4}};
    Face* f = MeshAddFaces(mesh, 12);
    for (int i = 0; i < 12; i++)
      FaceSetCorners(scene.get(), &f[i], mesh->firstVertex + kFaces[i][0],
                     mesh->firstVertex + kFaces[i][2], mesh->firstVertex + kFaces[i][1]);
    MeshComputeNormals(mesh);
    MeshComputeFaceMapping(mesh);
    MeshComputeBounds(mesh);
  }

  void Draw() {
    std::fill(depth.begin(), depth.end(), 0);
    ViewportSetCamera(&main, camera);
    ViewportPrepareLights(&main, scene.get());
    ViewportClearFaces(&main);
    SceneSubmit(scene.get(), &main);
    submitted = main.faceCount;
    ViewportSortFaces(&main, 1);
    ViewportDrawFaces(&main);
    ViewportClearFaces(&main);
  }
};

void BM_FrameByMode(benchmark::State& state) {
  Field field(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    field.Draw();
    benchmark::DoNotOptimize(field.frame.data());
  }
  state.counters["faces"] = field.submitted;
}
// Affine copy, perspective copy, perspective RGB-lit.
BENCHMARK(BM_FrameByMode)->Arg(0x200)->Arg(0x300)->Arg(0x302);

void BM_ProjectorLight(benchmark::State& state) {
  Field field(0x300);
  field.light->target = {0, 0, 130};
  field.light->projectorFov = 90;
  for (auto _ : state) {
    field.Draw();
    field.light->position = {0, 200, 100};  // preparing the lights moved it
    std::fill(RenderTexture, RenderTexture + 256 * 256, 0xFFFFFF);
    ProjectorRender(field.light, &field.projector, field.scene.get(), &field.main, 0.8f);
    benchmark::DoNotOptimize(field.frame.data());
  }
}
BENCHMARK(BM_ProjectorLight);

}  // namespace
