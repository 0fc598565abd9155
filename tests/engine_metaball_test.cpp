#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "tests/engine_owned_scene.h"
#include "engine/metaballs.h"
#include "engine/scene.h"

namespace {

typedef void (*Polygoniser)(Mesh*, float);
const Polygoniser kBoth[2] = {MetaballPolygonise, MetaballPolygoniseLayered};

struct Blob {
  OwnedScene scene = MakeOwnedScene();
  Mesh* mesh = nullptr;
  explicit Blob(int room = 40000) {
    EXPECT_EQ(SceneCreate(scene.get(), room, room, 1, 0, 0, 0), 1);
    mesh = SceneAddMesh(scene.get(), "blob");
  }
  const Face& face(int n) const { return scene->faces[mesh->firstFace + n]; }
  const Vertex& vertex(int n) const { return scene->vertices[mesh->firstVertex + n]; }
};

Metaball Ball(float x, float y, float z, float radius, float strength) {
  return {{x, y, z}, radius, 0.0f, strength, nullptr, nullptr};
}

void SetBalls(std::vector<Metaball> balls) {
  MetaballCount = static_cast<int>(balls.size());
  for (size_t b = 0; b < balls.size() && b < kMetaballMax; b++) Metaballs[b] = balls[b];
}

// Edges of a surface of shared vertices not matched by the same edge run
// the other way in another face.
int OpenEdges(const Blob& blob) {
  std::map<std::pair<int, int>, int> edges;
  for (int n = 0; n < blob.mesh->faceCount; n++)
    for (int c = 0; c < 3; c++) edges[{blob.face(n).index[c], blob.face(n).index[(c + 1) % 3]}]++;
  int open = 0;
  for (const auto& [edge, count] : edges) {
    auto back = edges.find({edge.second, edge.first});
    open += back == edges.end() || back->second != count;
  }
  return open;
}

TEST(EngineMetaball, TriangleTableCoversEveryCaseWithInwardWoundTriangles) {
  MetaballInit(4.0f);
  const int corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                            {0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
  const int edge[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                           {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  int packed = 0;
  for (int m = 0; m < 256; m++) {
    const int8_t* row = MetaballTriangleTable[m];
    int used = 0, n = 0, crossing = 0;
    for (; n < 15 && row[n] >= 0; n += 3) {
      Vec3 p[3], inwards = {0, 0, 0}, ab, ac, normal;
      for (int c = 0; c < 3; c++) {
        int e = row[n + c];
        ASSERT_LT(e, 12);
        used |= 1 << e;
        const int* a = corner[edge[e][0]];
        const int* b = corner[edge[e][1]];
        p[c] = {(a[0] + b[0]) * 0.5f, (a[1] + b[1]) * 0.5f, (a[2] + b[2]) * 0.5f};
        float sign = (m >> edge[e][0]) & 1 ? 1.0f : -1.0f;  // a set corner is outside
        inwards = {inwards.x + sign * static_cast<float>(b[0] - a[0]),
                   inwards.y + sign * static_cast<float>(b[1] - a[1]),
                   inwards.z + sign * static_cast<float>(b[2] - a[2])};
      }
      VecSub(p[0], p[1], &ab);
      VecSub(p[0], p[2], &ac);
      VecCross(ab, ac, &normal);
      EXPECT_GT(VecDot(normal, inwards), 0.0f) << "case " << m << " triangle " << n / 3;
    }
    EXPECT_EQ(row[n], -1);
    packed += n + 1;
    for (int e = 0; e < 12; e++) crossing |= (((m >> edge[e][0]) ^ (m >> edge[e][1])) & 1) << e;
    EXPECT_EQ(used, crossing) << "case " << m;
    EXPECT_EQ(MetaballEdgeTable[m], crossing) << "case " << m;
  }
  EXPECT_EQ(packed, kMetaballPackedTriangles);
  const int8_t case3[7] = {1, 8, 3, 9, 8, 1, -1};
  EXPECT_EQ(std::memcmp(MetaballTriangleTable[3], case3, 7), 0);
}

TEST(EngineMetaball, FieldSumsTheFalloffOfTheBallsThatReachAPoint) {
  MetaballInit(4.0f);
  // Point (i, j, k) lies at ((i - 10.5) 4, (j - 6) 4, (k - 10.5) 4): ball 0
  // sits on point (10, 6, 10), ball 1 on (14, 6, 10).
  EXPECT_EQ(MetaballGridPoint(14, 6, 10)->position.x, 14.0f);
  EXPECT_EQ(MetaballGridPoint(21, 0, 0), nullptr);
  SetBalls({Ball(-2, 0, -2, 10, 20), Ball(14, 0, -2, 10, 40)});
  const float q8 = 0.36f * 0.36f, q32 = 0.68f * 0.68f;  // (1 - d^2/r^2)^2 at d^2 = 64, 32
  const struct {
    int i, j, k;
    float share0, share1;
  } cases[] = {{10, 6, 10, 20, 0},
               {12, 6, 10, 20 * q8, 40 * q8},
               {8, 6, 10, 20 * q8, 0},
               {10, 7, 11, 20 * q32, 0},
               {10, 6, 13, 0, 0}};  // the last 12 from ball 0
  for (Polygoniser polygonise : kBoth) {
    Blob blob;
    polygonise(blob.mesh, 10.0f);
    for (const auto& c : cases) {
      const MetaballPoint* point = MetaballGridPoint(c.i, c.j, c.k);
      EXPECT_NEAR(point->value, c.share0 + c.share1, 1e-4f) << c.i << " " << c.j << " " << c.k;
      EXPECT_NEAR(point->offset, c.share0 + c.share1 - 10.0f, 1e-4f);
      if (polygonise == MetaballPolygoniseLayered) {
        EXPECT_NEAR(point->contribution[1], c.share1, 1e-4f);
      }
    }
  }
}

TEST(EngineMetaball, OneBallGivesAClosedSphereOfTheExpectedRadius) {
  const struct {
    float cell, radius, strength;
    Vec3 centre;
  } cases[] = {{4, 25, 15, {0, 0, 0}},
               {4, 25, 40, {3.3f, -2.1f, 1.7f}},
               {5, 20, 80, {-9, -2, 6}},
               {4, 25, 10, {0, 0, 0}},
               {4, 25, 5, {0, 0, 0}}};  // no surface at s <= 10
  for (const auto& c : cases) {
    MetaballInit(c.cell);
    SetBalls({Ball(c.centre.x, c.centre.y, c.centre.z, c.radius, c.strength)});
    float expected = c.strength > 10 ? c.radius * std::sqrt(1 - std::sqrt(10 / c.strength)) : 0;
    for (Polygoniser polygonise : kBoth) {
      Blob blob;
      polygonise(blob.mesh, 10.0f);
      EXPECT_EQ(blob.mesh->faceCount > 20, expected > 0) << c.strength;
      EXPECT_EQ(blob.scene->faceCount, blob.mesh->faceCount);
      EXPECT_EQ(blob.scene->vertexCount, blob.mesh->vertexCount);
      for (int n = 0; n < blob.mesh->vertexCount; n++) {
        Vec3 out;
        VecSub(blob.vertex(n).position, c.centre, &out);
        EXPECT_NEAR(VecLength(out), expected, 0.05f * expected) << n;
        EXPECT_GT(VecDot(blob.vertex(n).normal, out), 0.8f * VecLength(out)) << "normals point out";
      }
      for (int n = 0; n < blob.mesh->faceCount; n++) {
        const Face& face = blob.face(n);
        Vec3 out, ab, ac, winding;
        VecSub(face.vertex[0]->position, c.centre, &out);
        VecSub(face.vertex[0]->position, face.vertex[1]->position, &ab);
        VecSub(face.vertex[0]->position, face.vertex[2]->position, &ac);
        VecCross(ab, ac, &winding);
        EXPECT_LT(VecDot(winding, out), 0.0f) << "wound like loaded meshes, normal inwards";
        EXPECT_EQ(face.vertex[2], &blob.scene->vertices[face.index[2]]);
      }
      if (polygonise == MetaballPolygoniseLayered) {
        EXPECT_EQ(OpenEdges(blob), 0) << c.strength;
      }
    }
  }
}

TEST(EngineMetaball, LayeredFacesChainOneFacePerBallShadedByItsShare) {
  MetaballInit(4.0f);
  Material a[3] = {}, b[3] = {};
  // Balls 0 and 1 overlap; ball 2 reaches neither.
  std::vector<Metaball> balls = {Ball(-8, 0, 0, 25, 15), Ball(8, 0, 0, 25, 15),
                                 Ball(0, 0, -34, 8, 30)};
  for (int n = 0; n < 3; n++) balls[n].materialA = &a[n], balls[n].materialB = &b[n];
  SetBalls(balls);
  Blob blob;
  MetaballPolygoniseLayered(blob.mesh, 10.0f);
  int chains = 0, alone[3] = {};
  for (int n = 0; n < blob.mesh->faceCount; n++) {
    const Face* face = &blob.face(n);
    float total[3] = {};
    int length = 0;
    for (const Face* f = face; f; f = f->next, length++) {
      if (f != face) {
        ASSERT_TRUE(f >= MetaballOverflow && f < MetaballOverflow + MetaballOverflowCount);
        EXPECT_TRUE(f->material == &b[0] || f->material == &b[1]);
      }
      EXPECT_TRUE(f->shade[0] >= 3.0f || f->shade[1] >= 3.0f || f->shade[2] >= 3.0f);
      for (int c = 0; c < 3; c++) total[c] += f->shade[c];
      EXPECT_EQ(std::memcmp(f->index, face->index, sizeof face->index), 0);
    }
    for (int c = 0; c < 3; c++) EXPECT_LE(total[c], 255.01f);
    chains += length > 1;
    for (int k = 0; k < 3; k++)
      if (length == 1 && face->material == &a[k]) {
        alone[k]++;  // any other ball's share here was too faint to draw
        for (int c = 0; c < 3; c++) EXPECT_GT(face->shade[c], 251.9f);
      }
  }
  EXPECT_GT(chains, 0);
  EXPECT_GT(alone[2], 0);
  EXPECT_EQ(chains + alone[0] + alone[1] + alone[2], blob.mesh->faceCount);
}

TEST(EngineMetaball, HeavyOverlapStaysInsideThePoolsAndTheOverflow) {
  MetaballInit(4.0f);
  std::vector<Metaball> balls;
  for (int n = 0; n < 9; n++)  // one more than the table holds
    balls.push_back(Ball(static_cast<float>(n % 3) * 2, static_cast<float>(n / 3), -1, 38, 60));
  SetBalls(balls);
  for (Polygoniser polygonise : kBoth) {
    Blob whole;
    polygonise(whole.mesh, 10.0f);
    EXPECT_EQ(MetaballCount, kMetaballMax);
    if (polygonise == MetaballPolygoniseLayered) {
      EXPECT_EQ(MetaballOverflowCount, kMetaballOverflowCapacity) << "chains cut where it ends";
    }
    // Small pools: the surface ends where they are full, a prefix of the
    // surface that fits.
    for (int room : {300, 0, 12}) {
      Blob small(room);
      polygonise(small.mesh, 10.0f);
      EXPECT_LE(small.scene->vertexCount, room);
      EXPECT_LE(small.scene->faceCount, room);
      EXPECT_LT(small.mesh->faceCount, whole.mesh->faceCount);
      for (int n = 0; n < small.mesh->faceCount; n++)
        ASSERT_EQ(std::memcmp(small.face(n).index, whole.face(n).index, sizeof(int32_t) * 3), 0);
    }
  }
}

TEST(EngineMetaball, RepeatedFramesReplaceTheSurfaceAndGiveTheSameResult) {
  // The strong ball bounds the balls' joint box in +x and its surface comes
  // within a cell of it, where the gradients read the field just outside.
  std::vector<Metaball> balls = {Ball(2, 3, -4, 25, 15), Ball(6, -5, 2, 25, 200),
                                 Ball(0, 12, 9, 25, 15), Ball(-14, 6, -10, 25, 15)};
  for (Polygoniser polygonise : kBoth) {
    MetaballInit(4.0f);
    SetBalls(balls);
    Blob fresh, reused;
    polygonise(fresh.mesh, 10.0f);
    // A surface with a field at every lattice point first, then the balls
    // twice: the old geometry goes and nothing of an earlier frame shows.
    SetBalls({Ball(0, 0, 0, 60, 11)});
    polygonise(reused.mesh, 10.0f);
    SetBalls(balls);
    polygonise(reused.mesh, 10.0f);
    polygonise(reused.mesh, 10.0f);
    ASSERT_EQ(reused.scene->vertexCount, fresh.mesh->vertexCount);
    ASSERT_EQ(reused.scene->faceCount, fresh.mesh->faceCount);
    EXPECT_EQ(
        std::memcmp(&reused.vertex(0), &fresh.vertex(0), sizeof(Vertex) * fresh.mesh->vertexCount),
        0);
    for (int n = 0; n < fresh.mesh->faceCount; n++)
      EXPECT_EQ(std::memcmp(reused.face(n).shade, fresh.face(n).shade, sizeof(float) * 3), 0);
  }
}

TEST(EngineMetaball, NothingHappensWithoutBallsOrALastMesh) {
  MetaballInit(4.0f);
  SetBalls({Ball(0, 0, 0, 25, 15)});
  Blob blob;
  MetaballPolygonise(blob.mesh, 10.0f);
  int faces = blob.mesh->faceCount;
  MetaballCount = 0;
  MetaballPolygonise(blob.mesh, 10.0f);
  EXPECT_EQ(blob.mesh->faceCount, faces) << "no balls: the surface stays";
  SetBalls({Ball(200, 0, 0, 25, 15), Ball(0, -300, 0, 25, 15), Ball(0, 0, 1e30f, 25, 15)});
  MetaballPolygoniseLayered(blob.mesh, 10.0f);
  EXPECT_EQ(blob.scene->faceCount, 0) << "balls off the lattice: no surface";

  // A mesh that does not end the pools is not rebuilt over the next one.
  OwnedScene owned = MakeOwnedScene();
  Scene& scene = *owned;
  ASSERT_EQ(SceneCreate(&scene, 5000, 5000, 2, 0, 0, 0), 1);
  Mesh* first = SceneAddMesh(&scene, "first");
  MeshAddVertices(first, 3);
  Mesh* second = SceneAddMesh(&scene, "second");
  MeshAddVertices(second, 3);
  SetBalls({Ball(0, 0, 0, 25, 15)});
  MetaballPolygonise(first, 10.0f);
  EXPECT_EQ(scene.vertexCount, 6);
  MetaballPolygonise(second, 10.0f);
  EXPECT_GT(second->faceCount, 0);
  EXPECT_EQ(second->firstVertex, 3);
}

}  // namespace
