// One frame of the metaball surface as the show builds it: four balls of
// radius 25 and strength 15 on their paths, cell size 4, threshold 10, into
// a scene of 3000 vertices and faces; single-material and layered.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/metaballs.h"
#include "engine/scene.h"

namespace {

void PlaceBalls(float t) {
  static const float kPath[4][3] = {{14, 9, 12}, {13, 8, 14}, {15, 7, 11}, {12, 9, 13}};
  for (int k = 0; k < 4; k++) {
    float phase = t * (0.7f + 0.2f * static_cast<float>(k)) + static_cast<float>(k);
    Metaballs[k] = {{kPath[k][0] * std::sin(phase), kPath[k][1] * std::cos(phase) - 6.0f,
                     kPath[k][2] * std::sin(1.3f * phase)},
                    25.0f,
                    0.0f,
                    15.0f,
                    nullptr,
                    nullptr};
  }
  MetaballCount = 4;
}

template <void (*Polygonise)(Mesh*, float)>
void BM_MetaballFrame(benchmark::State& state) {
  auto scene = std::make_unique<Scene>();
  SceneCreate(scene.get(), 3000, 3000, 1, 0, 0, 0);
  Mesh* mesh = SceneAddMesh(scene.get(), "blob");
  MetaballInit(4.0f);
  float t = 0.0f;
  for (auto _ : state) {
    PlaceBalls(t);
    Polygonise(mesh, 10.0f);
    benchmark::DoNotOptimize(mesh->faceCount);
    t += 1.0f / 60.0f;
  }
  state.counters["faces"] = static_cast<double>(mesh->faceCount);
}

BENCHMARK_TEMPLATE(BM_MetaballFrame, MetaballPolygonise);
BENCHMARK_TEMPLATE(BM_MetaballFrame, MetaballPolygoniseLayered);

}  // namespace
