// The metaball row's ball paths keep the surface inside the polygoniser's
// lattice: at every frame of the row the field stays below the threshold on
// the walls of the cells the polygoniser visits, and the surface it builds
// is closed (every edge shared by two triangles) and fits the scene's pools.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

#include "effects/scene_effects.h"
#include "engine/load_3ds.h"
#include "engine/metaballs.h"

namespace {

constexpr float kCell = 4.0f, kThreshold = 10.0f, kRadius = 25.0f, kStrength = 15.0f;
constexpr float kRowStart = 144.6f, kRowEnd = 166.5f;

float Field(const Vec3* centres, int count, Vec3 p) {
  float f = 0.0f;
  for (int b = 0; b < count; b++) {
    const float dx = p.x - centres[b].x, dy = p.y - centres[b].y, dz = p.z - centres[b].z;
    const float q = (dx * dx + dy * dy + dz * dz) / (kRadius * kRadius);
    if (q < 1.0f) f += kStrength * (1.0f - q) * (1.0f - q);
  }
  return f;
}

// The largest field on the walls of the cells the polygoniser can visit:
// lattice points 0..19 along x and z and 0..10 along y (the last point of
// each axis only feeds gradients).
float WallField(const Vec3* centres, int count) {
  float worst = 0.0f;
  for (int i = 0; i <= 19; i++)
    for (int j = 0; j <= 10; j++)
      for (int k = 0; k <= 19; k++) {
        if (i != 0 && i != 19 && j != 0 && j != 10 && k != 0 && k != 19) continue;
        const Vec3 p = {(i - 10.5f) * kCell, (j - 6.0f) * kCell, (k - 10.5f) * kCell};
        worst = std::max(worst, Field(centres, count, p));
      }
  return worst;
}

TEST(MetaballPaths, FieldStaysBelowTheThresholdOnTheLatticeWalls) {
  // The measure itself: one ball against a wall cuts its surface open.
  const Vec3 atWall[1] = {{30.0f, -4.0f, -4.0f}};
  EXPECT_GE(WallField(atWall, 1), kThreshold);
  for (int n = 0;; n++) {
    const float t = kRowStart + n / 60.0f;
    if (t >= kRowEnd) break;
    Vec3 centres[kMetaballCount];
    MetaballCentres(t, centres);
    ASSERT_LT(WallField(centres, kMetaballCount), kThreshold) << "t = " << t;
  }
}

TEST(MetaballPaths, SurfaceIsClosedAndFitsThePools) {
  std::unique_ptr<Scene> scene(new Scene());
  ASSERT_TRUE(MetaballSceneBuild(scene.get()));
  MetaballInit(kCell);
  Mesh* mesh = &scene->meshes[scene->meshCount - 1];
  for (int n = 0;; n += 5) {
    const float t = kRowStart + n / 60.0f;
    if (t >= kRowEnd) break;
    SCOPED_TRACE(t);
    Vec3 centres[kMetaballCount];
    MetaballCentres(t, centres);
    for (int k = 0; k < kMetaballCount; k++)
      Metaballs[k] = Metaball{centres[k], kRadius, 0.0f, kStrength, nullptr, nullptr};
    MetaballCount = kMetaballCount;
    MetaballPolygoniseLayered(mesh, kThreshold);
    ASSERT_GT(mesh->faceCount, 100);
    ASSERT_LT(mesh->vertexCount, kMetaballSceneVertices);
    ASSERT_LT(scene->faceCount, kMetaballSceneFaces);
    ASSERT_LT(MetaballOverflowCount, kMetaballOverflowCapacity);
    std::map<std::pair<int, int>, int> edges;
    for (int f = 0; f < mesh->faceCount; f++) {
      const Face& face = scene->faces[mesh->firstFace + f];
      for (int e = 0; e < 3; e++) {
        const int a = face.index[e], b = face.index[(e + 1) % 3];
        edges[{std::min(a, b), std::max(a, b)}]++;
      }
    }
    int open = 0;
    for (const auto& [edge, uses] : edges) open += uses != 2;
    ASSERT_EQ(open, 0);
  }
  Load3dsRelease(scene.get());
}

}  // namespace
