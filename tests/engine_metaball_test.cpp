#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "engine/metaballs.h"
#include "engine/scene.h"

namespace {

typedef void (*Polygoniser)(Mesh*, float);

struct Blob {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  Mesh* mesh = nullptr;
  explicit Blob(int vertices = 40000, int faces = 40000) {
    EXPECT_EQ(SceneCreate(scene.get(), vertices, faces, 1, 0, 0, 0), 1);
    mesh = SceneAddMesh(scene.get(), "blob");
  }
  const Face& face(int n) const { return scene->faces[mesh->firstFace + n]; }
  const Vertex& vertex(int n) const { return scene->vertices[mesh->firstVertex + n]; }
};

void SetBalls(std::vector<Metaball> balls) {
  MetaballCount = static_cast<int>(balls.size());
  for (size_t b = 0; b < balls.size() && b < kMetaballMax; b++) Metaballs[b] = balls[b];
}

Metaball Ball(float x, float y, float z, float radius, float strength) {
  return {{x, y, z}, radius, 0.0f, strength, nullptr, nullptr};
}

float Distance(const Vec3& a, const Vec3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Face winding normal, (a - b) x (a - c), as the scene model computes it.
Vec3 WindingNormal(const Face& face) {
  Vec3 ab, ac, n;
  VecSub(face.vertex[0]->position, face.vertex[1]->position, &ab);
  VecSub(face.vertex[0]->position, face.vertex[2]->position, &ac);
  VecCross(ab, ac, &n);
  return n;
}

// Counts the edges of the surface that are not matched by the same edge run
// the other way in a neighbouring face. Vertices closer than 1e-3 are one
// (cells that make their own vertices make the same point twice).
int OpenEdges(const Blob& blob) {
  std::vector<int> same(blob.mesh->vertexCount);
  for (int n = 0; n < blob.mesh->vertexCount; n++) {
    same[n] = n;
    for (int m = 0; m < n; m++)
      if (Distance(blob.vertex(n).position, blob.vertex(m).position) < 1e-3f) {
        same[n] = same[m];
        break;
      }
  }
  std::map<std::pair<int, int>, int> edges;
  for (int n = 0; n < blob.mesh->faceCount; n++) {
    const Face& face = blob.face(n);
    int corner[3];
    for (int c = 0; c < 3; c++) corner[c] = same[face.index[c] - blob.mesh->firstVertex];
    for (int c = 0; c < 3; c++) edges[{corner[c], corner[(c + 1) % 3]}]++;
  }
  int open = 0;
  for (const auto& [edge, count] : edges) {
    auto back = edges.find({edge.second, edge.first});
    if (back == edges.end() || back->second != count) open++;
  }
  return open;
}

TEST(EngineMetaball, TriangleTableCoversEveryCaseWithInwardWoundTriangles) {
  MetaballInit(4.0f);
  static const int corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                                   {0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
  static const int edge[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                  {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  int packed = 0;
  for (int m = 0; m < 256; m++) {
    int used = 0, n = 0;
    const int8_t* row = MetaballTriangleTable[m];
    for (; n < 15 && row[n] >= 0; n += 3) {
      Vec3 p[3];
      Vec3 towardsInside = {0, 0, 0};
      for (int c = 0; c < 3; c++) {
        int e = row[n + c];
        ASSERT_TRUE(e >= 0 && e < 12) << m;
        used |= 1 << e;
        const int* a = corner[edge[e][0]];
        const int* b = corner[edge[e][1]];
        p[c] = {(a[0] + b[0]) * 0.5f, (a[1] + b[1]) * 0.5f, (a[2] + b[2]) * 0.5f};
        const int* in = (m >> edge[e][0]) & 1 ? b : a;  // a set bit is outside
        const int* out = (m >> edge[e][0]) & 1 ? a : b;
        towardsInside.x += static_cast<float>(in[0] - out[0]);
        towardsInside.y += static_cast<float>(in[1] - out[1]);
        towardsInside.z += static_cast<float>(in[2] - out[2]);
      }
      Vec3 ab, ac, normal;
      VecSub(p[0], p[1], &ab);
      VecSub(p[0], p[2], &ac);
      VecCross(ab, ac, &normal);
      EXPECT_GT(VecDot(normal, towardsInside), 0.0f) << "case " << m << " triangle " << n / 3;
    }
    EXPECT_EQ(row[n], -1) << m;
    packed += n + 1;
    int crossing = 0;
    for (int e = 0; e < 12; e++)
      if (((m >> edge[e][0]) & 1) != ((m >> edge[e][1]) & 1)) crossing |= 1 << e;
    EXPECT_EQ(used, crossing) << "case " << m;
    EXPECT_EQ(MetaballEdgeTable[m], crossing) << "case " << m;
  }
  EXPECT_EQ(packed, kMetaballPackedTriangles);
  const int8_t first[4][7] = {{-1}, {0, 8, 3, -1}, {0, 1, 9, -1}, {1, 8, 3, 9, 8, 1, -1}};
  for (int m = 0; m < 4; m++)
    for (int n = 0; n < 7 && (n == 0 || first[m][n - 1] >= 0); n++)
      EXPECT_EQ(MetaballTriangleTable[m][n], first[m][n]) << m;
}

TEST(EngineMetaball, FieldSumsTheFalloffOfTheBallsThatReachAPoint) {
  MetaballInit(4.0f);
  // Point (i, j, k) lies at ((i - 10.5) 4, (j - 6) 4, (k - 10.5) 4).
  const MetaballPoint* origin = MetaballGridPoint(10, 6, 10);
  ASSERT_NE(origin, nullptr);
  EXPECT_EQ(origin->position.x, -2.0f);
  EXPECT_EQ(origin->position.y, 0.0f);
  EXPECT_EQ(origin->position.z, -2.0f);
  EXPECT_EQ(MetaballGridPoint(21, 0, 0), nullptr);
  EXPECT_EQ(MetaballGridPoint(0, 12, 0), nullptr);

  // Ball 0 centred on point (10, 6, 10), ball 1 on (14, 6, 10); both reach
  // (12, 6, 10), only ball 0 reaches (8, 6, 10) and (10, 6, 13) lies 12
  // from ball 0 and beyond ball 1.
  SetBalls({Ball(-2, 0, -2, 10, 20), Ball(14, 0, -2, 10, 40)});
  for (Polygoniser polygonise : {MetaballPolygonise, MetaballPolygoniseLayered}) {
    Blob blob;
    polygonise(blob.mesh, 10.0f);
    EXPECT_EQ(Metaballs[1].radiusSquared, 100.0f);
    struct Case {
      int i, j, k;
      float f, share0, share1;
    } cases[] = {
        {10, 6, 10, 20.0f, 20.0f, 0.0f},
        {12, 6, 10, 20 * 0.36f * 0.36f + 40 * 0.36f * 0.36f, 20 * 0.36f * 0.36f, 40 * 0.36f * 0.36f},
        {8, 6, 10, 20 * 0.36f * 0.36f, 20 * 0.36f * 0.36f, 0.0f},
        {10, 7, 11, 20 * 0.68f * 0.68f, 20 * 0.68f * 0.68f, 0.0f},
        {10, 6, 13, 0.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
      const MetaballPoint* point = MetaballGridPoint(c.i, c.j, c.k);
      EXPECT_NEAR(point->value, c.f, 1e-4f) << c.i << c.j << c.k;
      EXPECT_NEAR(point->offset, c.f - 10.0f, 1e-4f);
      if (polygonise == MetaballPolygoniseLayered) {
        EXPECT_NEAR(point->contribution[0], c.share0, 1e-4f);
        EXPECT_NEAR(point->contribution[1], c.share1, 1e-4f);
      }
    }
  }
}

TEST(EngineMetaball, OneBallGivesAClosedSphereOfTheExpectedRadius) {
  struct Case {
    float cell, radius, strength;
    Vec3 centre;
  } cases[] = {
      {4.0f, 25.0f, 15.0f, {0, 0, 0}},  {4.0f, 25.0f, 40.0f, {3.3f, -2.1f, 1.7f}},
      {5.0f, 20.0f, 80.0f, {-9, -2, 6}}, {4.0f, 25.0f, 10.0f, {0, 0, 0}},  // no surface at s <= 10
      {4.0f, 25.0f, 5.0f, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    MetaballInit(c.cell);
    SetBalls({Ball(c.centre.x, c.centre.y, c.centre.z, c.radius, c.strength)});
    for (Polygoniser polygonise : {MetaballPolygonise, MetaballPolygoniseLayered}) {
      Blob blob;
      polygonise(blob.mesh, 10.0f);
      if (c.strength <= 10.0f) {
        EXPECT_EQ(blob.mesh->faceCount, 0);
        EXPECT_EQ(blob.mesh->vertexCount, 0);
        continue;
      }
      float expected = c.radius * std::sqrt(1.0f - std::sqrt(10.0f / c.strength));
      ASSERT_GT(blob.mesh->faceCount, 20) << c.strength;
      EXPECT_EQ(blob.scene->faceCount, blob.mesh->faceCount);
      EXPECT_EQ(blob.scene->vertexCount, blob.mesh->vertexCount);
      for (int n = 0; n < blob.mesh->vertexCount; n++) {
        const Vertex& v = blob.vertex(n);
        Vec3 out;
        VecSub(v.position, c.centre, &out);
        EXPECT_NEAR(Distance(v.position, c.centre), expected, 0.05f * expected) << n;
        EXPECT_GT(VecDot(v.normal, out), 0.8f * VecLength(out)) << "normals point out of the blob";
        EXPECT_NEAR(VecLength(v.normal), 1.0f, 1e-5f);
      }
      for (int n = 0; n < blob.mesh->faceCount; n++) {
        const Face& face = blob.face(n);
        Vec3 out;
        VecSub(face.vertex[0]->position, c.centre, &out);
        EXPECT_LT(VecDot(WindingNormal(face), out), 0.0f) << "winding as loaded meshes: normal inwards";
        for (int k = 0; k < 3; k++) {
          EXPECT_EQ(face.vertex[k], &blob.scene->vertices[face.index[k]]);
          EXPECT_EQ(face.uv[2 * k], face.vertex[k]->u);
          EXPECT_EQ(face.uv[2 * k + 1], face.vertex[k]->v);
        }
        EXPECT_EQ(face.material, &blob.scene->materials[0]);
        EXPECT_EQ(face.next, nullptr);
      }
      EXPECT_EQ(OpenEdges(blob), 0) << c.strength;
    }
  }
}

TEST(EngineMetaball, VerticesAreMappedByTheirNormals) {
  MetaballInit(4.0f);
  SetBalls({Ball(0, 0, 0, 25, 30)});
  Blob single, layered;
  MetaballPolygonise(single.mesh, 10.0f);
  MetaballPolygoniseLayered(layered.mesh, 10.0f);
  // Layered vertices are shared between the cells around an edge.
  EXPECT_LT(layered.mesh->vertexCount * 3, single.mesh->vertexCount * 2);
  for (int n = 0; n < single.mesh->vertexCount; n++) {
    const Vertex& v = single.vertex(n);
    EXPECT_NEAR(v.u, (std::acos(v.normal.x) / M_PI + 0.5) * 512, 1e-3);
    EXPECT_NEAR(v.v, (std::asin(v.normal.y) / M_PI + 1.0) * 512, 1e-3);
  }
  for (int n = 0; n < layered.mesh->vertexCount; n++) {
    const Vertex& v = layered.vertex(n);
    EXPECT_FLOAT_EQ(v.u, 127 + 127 * v.normal.x);
    EXPECT_FLOAT_EQ(v.v, 127 + 127 * v.normal.y);
  }
}

TEST(EngineMetaball, LayeredFacesChainOneFacePerBallShadedByItsShare) {
  MetaballInit(4.0f);
  Material a[3] = {}, b[3] = {};
  // Balls 0 and 1 overlap; ball 2 reaches neither.
  std::vector<Metaball> balls = {Ball(-8, 0, 0, 25, 15), Ball(8, 0, 0, 25, 15), Ball(0, 0, -34, 8, 30)};
  for (int n = 0; n < 3; n++) balls[n].materialA = &a[n], balls[n].materialB = &b[n];
  SetBalls(balls);
  Blob blob;
  MetaballPolygoniseLayered(blob.mesh, 10.0f);
  ASSERT_GT(blob.mesh->faceCount, 0);
  int chained = 0, alone[3] = {};
  for (int n = 0; n < blob.mesh->faceCount; n++) {
    const Face* face = &blob.face(n);
    float total[3] = {};
    int length = 0;
    for (const Face* f = face; f; f = f->next, length++) {
      if (f != face) {
        ASSERT_GE(f, &MetaballOverflow[0]);
        ASSERT_LT(f, &MetaballOverflow[MetaballOverflowCount]);
        EXPECT_TRUE(f->material == &b[0] || f->material == &b[1]) << "overlap only between balls 0 and 1";
      } else {
        EXPECT_TRUE(f->material == &a[0] || f->material == &a[1] || f->material == &a[2]);
      }
      EXPECT_TRUE(f->shade[0] >= 3.0f || f->shade[1] >= 3.0f || f->shade[2] >= 3.0f);
      for (int c = 0; c < 3; c++) {
        EXPECT_EQ(f->index[c], face->index[c]);
        total[c] += f->shade[c];
      }
    }
    for (int c = 0; c < 3; c++) EXPECT_LE(total[c], 255.01f);
    if (length > 1) chained++;
    for (int k = 0; k < 3; k++)
      if (length == 1 && face->material == &a[k]) {
        alone[k]++;  // any other ball's share here was too faint to draw
        for (int c = 0; c < 3; c++) EXPECT_GT(face->shade[c], 251.9f);
      }
  }
  EXPECT_GT(chained, 0);
  EXPECT_GT(alone[2], 0);
  EXPECT_EQ(chained + alone[0] + alone[1] + alone[2], blob.mesh->faceCount);
}

TEST(EngineMetaball, HeavyOverlapStaysInsideThePoolsAndTheOverflow) {
  MetaballInit(4.0f);
  std::vector<Metaball> balls;
  for (int n = 0; n < 9; n++)  // one more than the table holds: cut to 8
    balls.push_back(Ball(static_cast<float>(n % 3) * 2.0f, static_cast<float>(n / 3), -1.0f, 38, 60));
  SetBalls(balls);
  Blob roomy;
  MetaballPolygoniseLayered(roomy.mesh, 10.0f);
  EXPECT_EQ(MetaballCount, kMetaballMax);
  EXPECT_EQ(MetaballOverflowCount, kMetaballOverflowCapacity) << "chains cut where the overflow ends";
  for (int n = 0; n < kMetaballOverflowCapacity; n++) {
    const Face* next = MetaballOverflow[n].next;
    EXPECT_TRUE(!next || (next > &MetaballOverflow[n] && next < &MetaballOverflow[kMetaballOverflowCapacity]));
  }

  // Small pools: the surface ends where they are full, a prefix of the one
  // that fits.
  for (Polygoniser polygonise : {MetaballPolygonise, MetaballPolygoniseLayered}) {
    Blob whole;
    polygonise(whole.mesh, 10.0f);
    struct Room {
      int vertices, faces;
    } rooms[] = {{300, 5000}, {5000, 200}, {0, 0}, {12, 1}};
    for (const Room& room : rooms) {
      Blob small(room.vertices, room.faces);
      polygonise(small.mesh, 10.0f);
      EXPECT_LE(small.scene->vertexCount, room.vertices);
      EXPECT_LE(small.scene->faceCount, room.faces);
      EXPECT_LT(small.mesh->faceCount, whole.mesh->faceCount);
      for (int n = 0; n < small.mesh->faceCount; n++)
        for (int c = 0; c < 3; c++) {
          ASSERT_LT(small.face(n).index[c], small.scene->vertexCount);
          EXPECT_EQ(small.face(n).index[c], whole.face(n).index[c]);
        }
    }
  }
}

TEST(EngineMetaball, RepeatedFramesReplaceTheSurfaceAndGiveTheSameResult) {
  // The strong ball bounds the balls' joint box in +x and its surface comes
  // within a cell of it, where the gradients read the field just outside.
  std::vector<Metaball> show = {Ball(2, 3, -4, 25, 15), Ball(6, -5, 2, 25, 200), Ball(0, 12, 9, 25, 15),
                                Ball(-14, 6, -10, 25, 15)};
  std::vector<Metaball> wide = {Ball(0, 0, 0, 60, 11)};  // a field at every lattice point
  for (Polygoniser polygonise : {MetaballPolygonise, MetaballPolygoniseLayered}) {
    MetaballInit(4.0f);
    SetBalls(show);
    Blob fresh;
    polygonise(fresh.mesh, 10.0f);
    ASSERT_GT(fresh.mesh->faceCount, 100);

    // Another surface reaching the lattice's edges first, then the same balls
    // twice: the old geometry goes, and nothing computed for an earlier frame
    // shows through.
    Blob reused;
    SetBalls(wide);
    polygonise(reused.mesh, 10.0f);
    SetBalls(show);
    polygonise(reused.mesh, 10.0f);
    polygonise(reused.mesh, 10.0f);
    ASSERT_EQ(reused.mesh->vertexCount, fresh.mesh->vertexCount);
    ASSERT_EQ(reused.mesh->faceCount, fresh.mesh->faceCount);
    EXPECT_EQ(reused.scene->vertexCount, fresh.mesh->vertexCount);
    EXPECT_EQ(std::memcmp(&reused.vertex(0), &fresh.vertex(0), sizeof(Vertex) * fresh.mesh->vertexCount), 0);
    for (int n = 0; n < fresh.mesh->faceCount; n++) {
      EXPECT_EQ(std::memcmp(reused.face(n).index, fresh.face(n).index, sizeof fresh.face(n).index), 0);
      EXPECT_EQ(std::memcmp(reused.face(n).shade, fresh.face(n).shade, sizeof fresh.face(n).shade), 0);
    }
  }
}

TEST(EngineMetaball, NothingHappensWithoutBallsOrALastMesh) {
  MetaballInit(4.0f);
  SetBalls({Ball(0, 0, 0, 25, 15)});
  Blob blob;
  MetaballPolygonise(blob.mesh, 10.0f);
  int faces = blob.mesh->faceCount;
  ASSERT_GT(faces, 0);
  MetaballCount = 0;
  MetaballPolygonise(blob.mesh, 10.0f);
  EXPECT_EQ(blob.mesh->faceCount, faces) << "no balls: the surface stays";

  // Balls off the lattice: an empty surface.
  SetBalls({Ball(200, 0, 0, 25, 15), Ball(0, -300, 0, 25, 15), Ball(0, 0, 1e30f, 25, 15)});
  MetaballPolygoniseLayered(blob.mesh, 10.0f);
  EXPECT_EQ(blob.mesh->faceCount, 0);
  EXPECT_EQ(blob.scene->faceCount, 0);

  // A mesh that does not end the pools is never rebuilt over its neighbours.
  auto scene = std::make_unique<Scene>();
  ASSERT_EQ(SceneCreate(scene.get(), 5000, 5000, 2, 0, 0, 0), 1);
  Mesh* first = SceneAddMesh(scene.get(), "first");
  ASSERT_NE(MeshAddVertices(first, 3), nullptr);
  Mesh* second = SceneAddMesh(scene.get(), "second");
  ASSERT_NE(MeshAddVertices(second, 3), nullptr);
  SetBalls({Ball(0, 0, 0, 25, 15)});
  MetaballPolygonise(first, 10.0f);
  EXPECT_EQ(first->vertexCount, 3);
  EXPECT_EQ(scene->vertexCount, 6);
  MetaballPolygonise(second, 10.0f);
  EXPECT_GT(second->faceCount, 0);
  EXPECT_EQ(second->firstVertex, 3);
}

}  // namespace
