// Scene files as other programs write them: bytes after the main chunk, an
// empty mapping list, mesh frames that are sheared or unevenly scaled, more
// materials than the table holds, hierarchies deeper than the scene links,
// and lights that need a key-frame node.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/load_3ds.h"
#include "engine/math3d.h"
#include "engine/scene.h"
#include "engine/write_3ds.h"
#include "tests/engine_3ds_support.h"

namespace {

SceneFileMesh Triangle(const char* name) {
  SceneFileMesh mesh;
  mesh.name = name;
  mesh.vertices = {{1, 2, 3}, {4, 2, 3}, {1, 6, 3}};
  mesh.faces = {{0, 1, 2, 0}};
  return mesh;
}

TEST(Lenient3ds, BytesAfterTheMainChunkAreIgnored) {
  SceneFile file;
  file.meshes = {Triangle("Tri")};
  const std::vector<uint8_t> plain = Encode(file);
  const std::vector<std::vector<uint8_t>> tails = {{0x1A}, std::vector<uint8_t>(511, 0), {0, 0, 0x1A}};
  auto reference = Parse(plain);
  ASSERT_EQ(reference->ok, 1);
  for (const auto& tail : tails) {
    std::vector<uint8_t> bytes = plain;
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    auto loaded = Parse(bytes);
    ASSERT_EQ(loaded->ok, 1) << tail.size() << ": " << loaded->result.message;
    ASSERT_EQ(loaded->scene->meshCount, 1);
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(loaded->scene->vertices[i].position.x, reference->scene->vertices[i].position.x);
      EXPECT_EQ(loaded->scene->vertices[i].position.z, reference->scene->vertices[i].position.z);
    }
  }
  // A main chunk that claims more than the file holds is still damaged.
  std::vector<uint8_t> cut = plain;
  cut.pop_back();
  EXPECT_EQ(Parse(cut)->ok, 0);
}

TEST(Lenient3ds, EmptyMappingListIsNoMapping) {
  SceneFile file;
  file.meshes = {Triangle("Tri")};
  std::vector<uint8_t> bytes = Encode(file);
  // Insert a mapping chunk of count 0 right after the vertex list: find the
  // vertex chunk (0x4110) and put 0x4140, length 8, count 0 after it.
  size_t at = 0;
  for (size_t i = 0; i + 6 < bytes.size(); i++)
    if (bytes[i] == 0x10 && bytes[i + 1] == 0x41) {
      at = i + (bytes[i + 2] | bytes[i + 3] << 8);
      break;
    }
  ASSERT_GT(at, 0u);
  const uint8_t mapping[] = {0x40, 0x41, 8, 0, 0, 0, 0, 0};
  bytes.insert(bytes.begin() + long(at), mapping, mapping + sizeof mapping);
  // Every chunk holding the insertion grows by 8: main, editor, object, mesh.
  auto grow = [&](size_t start) {
    uint32_t length = bytes[start + 2] | bytes[start + 3] << 8 | bytes[start + 4] << 16 | uint32_t(bytes[start + 5]) << 24;
    length += 8;
    for (int k = 0; k < 4; k++) bytes[start + 2 + k] = uint8_t(length >> (8 * k));
  };
  for (size_t i = 0; i + 6 <= at; i++) {
    uint16_t id = uint16_t(bytes[i] | bytes[i + 1] << 8);
    if (id == kChunkMain || id == kChunkEditor || id == kChunkObject || id == kChunkMesh) {
      uint32_t length = bytes[i + 2] | bytes[i + 3] << 8 | bytes[i + 4] << 16 | uint32_t(bytes[i + 5]) << 24;
      if (i + length >= at && length >= 6) grow(i);
    }
  }
  auto loaded = Parse(bytes);
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  EXPECT_EQ(loaded->scene->meshes[0].hasMapping, 0);
}

// The general inverse of a 3 x 3 matrix given as rows, in double precision.
void Invert(const double a[3][3], double out[3][3]) {
  double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) {
      int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
    }
}

Mat4 QuickInverse(const double axes[3][3]) {
  Mat4 m;
  MatIdentity(&m);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) m.m[4 * r + c] = float(axes[r][c]);
  MatDivideColumnsBySquaredLength(&m);
  MatTransposeRotation(&m);
  return m;
}

TEST(Lenient3ds, MeshMatrixUsesTheGeneralInverseOnlyWhereNeeded) {
  const double s = std::sin(0.7), c = std::cos(0.7);
  const struct {
    const char* name;
    double axes[3][3];
    bool general;
  } cases[] = {
      {"identity", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, false},
      {"rotated and doubled", {{0, 2, 0}, {-2, 0, 0}, {0, 0, 2}}, false},
      {"rotated", {{c, s, 0}, {-s, c, 0}, {0, 0, 1}}, false},
      {"sheared", {{1, 0, 0}, {0.5, 1, 0}, {0, 0, 1}}, true},
      {"uneven in a rotated frame", {{3 * c, 3 * s, 0}, {-s, c, 0}, {0, 0, 1}}, true},
      {"sheared and rotated", {{c, s, 0.3}, {-s, c, 0}, {0.2, 0, 1.5}}, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Mat4 axes;
    MatIdentity(&axes);
    for (int r = 0; r < 3; r++)
      for (int col = 0; col < 3; col++) axes.m[4 * r + col] = float(k.axes[r][col]);
    const Mat4 quick = QuickInverse(k.axes);
    Mat4 m = quick;
    EXPECT_EQ(MeshMatrixInverse(axes, &m), k.general ? 1 : 0);
    if (!k.general) {
      for (int i = 0; i < 16; i++) EXPECT_EQ(m.m[i], quick.m[i]) << i;  // bit for bit
      continue;
    }
    double reference[3][3];
    Invert(k.axes, reference);
    for (int r = 0; r < 3; r++)
      for (int col = 0; col < 3; col++) EXPECT_NEAR(m.m[4 * r + col], reference[r][col], 1e-6);
  }
}

TEST(Lenient3ds, ShearedMeshVerticesComeBackIntoTheirFrame) {
  // Object points q are placed at q . axes + origin; loaded, the vertices
  // must be q again (then turned y-up).
  SceneFile file;
  SceneFileMesh mesh = Triangle("Sheared");
  mesh.axes[0] = {2, 0, 0}, mesh.axes[1] = {1.5f, 1, 0}, mesh.axes[2] = {0, 0.5f, 3};
  mesh.origin = {10, -4, 7};
  const Vec3 objectPoints[3] = {{0, 0, 0}, {1, 2, 3}, {-2, 5, 1}};
  for (int i = 0; i < 3; i++) {
    const Vec3& q = objectPoints[i];
    mesh.vertices[i] = {q.x * 2 + q.y * 1.5f + mesh.origin.x, q.y * 1 + q.z * 0.5f + mesh.origin.y,
                        q.z * 3 + mesh.origin.z};
  }
  file.meshes = {mesh};
  auto loaded = Parse(Encode(file));
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  for (int i = 0; i < 3; i++) {
    const Vec3& got = loaded->scene->vertices[i].position;
    EXPECT_NEAR(got.x, objectPoints[i].x, 1e-4);
    EXPECT_NEAR(got.y, objectPoints[i].z, 1e-4);  // y-up
    EXPECT_NEAR(got.z, objectPoints[i].y, 1e-4);
  }
}

TEST(Lenient3ds, TooManyMaterialsSayWhatTheTableHolds) {
  SceneFile file;
  for (int i = 0; i < kSceneMaterialCapacity + 4; i++) file.materials.push_back("m" + std::to_string(i));
  auto loaded = Parse(Encode(file));
  EXPECT_EQ(loaded->ok, 0);
  EXPECT_EQ(loaded->result.message, "RURI: test.3ds defines more materials than the 256 a scene's table holds\n");
}

TEST(Lenient3ds, HierarchiesDeeperThanTheSceneLinksAreRefused) {
  for (int depth : {kSceneHierarchyDepth, kSceneHierarchyDepth + 1}) {
    SceneFile file;
    for (int i = 0; i < depth; i++) {
      SceneFileNode node{};
      node.kind = kChunkMeshNode;
      node.name = kDummyNodeName;
      node.instanceName = "d" + std::to_string(i);
      node.number = int16_t(i);
      node.parent = int16_t(i - 1);
      file.nodes.push_back(node);
    }
    auto loaded = Parse(Encode(file));
    if (depth <= kSceneHierarchyDepth) {
      EXPECT_EQ(loaded->ok, 1) << loaded->result.message;
    } else {
      EXPECT_EQ(loaded->ok, 0);
      EXPECT_NE(loaded->result.message.find("deeper than the 256 levels a scene links"), std::string::npos)
          << loaded->result.message;
    }
  }
}

TEST(Lenient3ds, EveryLightGetsAKeyFrameNode) {
  SceneFile file;
  file.meshes = {Triangle("Tri")};
  SceneFileNode meshNode{};
  meshNode.kind = kChunkMeshNode;
  meshNode.name = "Tri";
  meshNode.number = 0;
  file.nodes = {meshNode};
  file.lights = {{"Lamp", {5, 6, 7}, true, {0.5f, 0.25f, 1}}, {"Spot", {1, 2, 3}, true, {1, 1, 1}}};
  SceneFileNode described{};
  described.kind = kChunkLightNode;
  described.name = "Spot";
  described.number = 1;
  described.position.keys.push_back(SceneFileVectorKey{0, {1, 2, 3}, {}});
  file.nodes.push_back(described);
  std::vector<uint8_t> bytes = Encode(file);
  // One light node chunk per light, no more.
  int lightNodes = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i++)
    if (bytes[i] == (kChunkLightNode & 0xFF) && bytes[i + 1] == (kChunkLightNode >> 8)) lightNodes++;
  EXPECT_EQ(lightNodes, 2);
  auto loaded = Parse(bytes);
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  ASSERT_EQ(loaded->scene->lightCount, 2);
  const KeyNode& node = loaded->scene->lights[0].positionNode;
  ASSERT_EQ(node.position.keyCount, 1);
  EXPECT_EQ(node.position.keys[0].value.x, 5.0f);
}

}  // namespace
