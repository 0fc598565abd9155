#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/engine_owned_scene.h"
#include "engine/animation.h"
#include "engine/scene.h"

namespace {

OwnedScene NewScene(int vertices, int faces, int meshes, int lights = 0,
                                int cameras = 0, int dummies = 0) {
  auto scene = MakeOwnedScene();  // large: the material table is inside
  EXPECT_EQ(SceneCreate(scene.get(), vertices, faces, meshes, lights, cameras, dummies), 1);
  return scene;
}

// One triangle per call, corners given as positions.
Mesh* AddTriangleMesh(Scene* scene, std::vector<Vec3> corners, int faces = 1) {
  Mesh* mesh = SceneAddMesh(scene, "m");
  Vertex* v = MeshAddVertices(mesh, static_cast<int>(corners.size()));
  for (const Vec3& p : corners) (v++)->position = p;
  Face* f = MeshAddFaces(mesh, faces);
  for (int i = 0; i < faces; i++) {
    int first = mesh->firstVertex + i;
    EXPECT_EQ(FaceSetCorners(scene, &f[i], first, first + 1, first + 2), 1);
  }
  return mesh;
}

TEST(EngineScene, PoolsRefuseRecordsBeyondTheirCapacity) {
  auto empty = NewScene(0, 0, 0);
  EXPECT_STREQ(empty->materials[0].name, "vrn5_defmat");
  EXPECT_EQ(empty->materialCount, 1);
  EXPECT_EQ(SceneBuildHierarchy(empty.get()), 1);
  EXPECT_EQ(SceneAddMesh(empty.get(), "m"), nullptr);

  auto scene = NewScene(4, 3, 1, 1, 1, 1);
  EXPECT_EQ(scene->capacity.nodes, 1 + 1 + 2 + 2);
  EXPECT_EQ(SceneAddVertices(scene.get(), 3), 0);
  EXPECT_EQ(SceneAddVertices(scene.get(), 2), -1);
  EXPECT_EQ(SceneAddVertices(scene.get(), -1), -1);
  EXPECT_EQ(SceneAddVertices(scene.get(), 1), 3);
  EXPECT_EQ(SceneAddFaces(scene.get(), 4), -1);
  EXPECT_EQ(SceneAddFaces(scene.get(), 3), 0);
  EXPECT_EQ(scene->faces[2].fallbackMaterial, &scene->materials[0]);
  EXPECT_NE(SceneAddMesh(scene.get(), "Hand_R"), nullptr);
  EXPECT_EQ(SceneAddMesh(scene.get(), "Hand_R"), nullptr);
  EXPECT_EQ(SceneFindMesh(scene.get(), "Hand_R"), &scene->meshes[0]);
  EXPECT_EQ(SceneFindMesh(scene.get(), "Hand"), nullptr);
  Face face = {};
  EXPECT_EQ(FaceSetCorners(scene.get(), &face, 0, 3, 4), 0);  // 4 is not in use
  EXPECT_EQ(FaceSetCorners(scene.get(), &face, -1, 0, 1), 0);
  EXPECT_EQ(face.vertex[0], nullptr);
}

TEST(EngineScene, HierarchyListsNodesByKindAndLinksChildrenDepthFirst) {
  auto scene = NewScene(0, 0, 3, 1, 1, 1);
  Scene* s = scene.get();
  Mesh *m0 = SceneAddMesh(s, "m0"), *m1 = SceneAddMesh(s, "m1"), *m2 = SceneAddMesh(s, "m2");
  Dummy* d = SceneAddDummy(s, "d");
  Camera* c = SceneAddCamera(s, "c");
  Light* l = SceneAddLight(s, "l");
  KeyNode* order[] = {&m0->node,        &m1->node,      &m2->node,        &d->node,
                      &c->positionNode, &c->targetNode, &l->positionNode, &l->targetNode};
  // id, parentId per node; id 0 takes no children, parentId 0 hangs nowhere.
  const int ids[8][2] = {{1, -1}, {2, 3}, {3, 1}, {4, 1}, {5, -1}, {0, -1}, {6, 5}, {7, 0}};
  for (int i = 0; i < 8; i++) order[i]->id = ids[i][0], order[i]->parentId = ids[i][1];
  ASSERT_EQ(SceneBuildHierarchy(s), 1);
  ASSERT_EQ(s->nodeCount, 8);
  for (int i = 0; i < 8; i++) EXPECT_EQ(s->nodes[i], order[i]);

  struct Expect {
    KeyNode* node;
    std::vector<KeyNode*> children;
  } expects[] = {{&s->root, {&m0->node, &c->positionNode, &c->targetNode}},
                 {&m0->node, {&m2->node, &d->node}},
                 {&m2->node, {&m1->node}},
                 {&c->positionNode, {&l->positionNode}},
                 {&c->targetNode, {}}};
  for (const Expect& e : expects) {
    ASSERT_EQ(e.node->childCount, static_cast<int>(e.children.size()));
    for (size_t k = 0; k < e.children.size(); k++) {
      EXPECT_EQ(e.node->children[k], e.children[k]);
      EXPECT_EQ(e.children[k]->parent, e.node);
    }
    EXPECT_EQ(e.node->children[e.children.size()], nullptr);
  }
  EXPECT_EQ(l->targetNode.parent, nullptr);
}

TEST(EngineScene, RepeatedOrCircularNodeNumbersLinkEachNodeOnce) {
  auto scene = NewScene(0, 0, 4);
  Mesh* m[4];
  // m0 and m1 share number 1; m2 is its own parent; m3 hangs below 1.
  const int ids[4][2] = {{1, -1}, {1, 1}, {3, 3}, {4, 1}};
  for (int i = 0; i < 4; i++) {
    m[i] = SceneAddMesh(scene.get(), "m");
    m[i]->node.id = ids[i][0], m[i]->node.parentId = ids[i][1];
  }
  ASSERT_EQ(SceneBuildHierarchy(scene.get()), 1);
  // m1 is linked, and searched, before m0 reaches m3: m3 ends up below m1 only.
  EXPECT_EQ(m[0]->node.childCount, 1);
  EXPECT_EQ(m[1]->node.childCount, 1);
  EXPECT_EQ(m[3]->node.parent, &m[1]->node);
  EXPECT_EQ(m[2]->node.parent, nullptr);
  SceneSetFrame(scene.get(), 3.0f);  // and evaluation terminates
}

TEST(EngineScene, NormalsMappingAndBounds) {
  auto scene = NewScene(4, 2, 1);
  // Two faces meeting along 0-2: one in the xy plane, one in the yz plane.
  Mesh* mesh = AddTriangleMesh(scene.get(), {{1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 2);
  FaceSetCorners(scene.get(), &scene->faces[0], 1, 0, 2);
  FaceSetCorners(scene.get(), &scene->faces[1], 1, 2, 3);
  MeshComputeNormals(mesh);
  const Vertex* v = scene->vertices;
  const float r = 0.70710677f;
  EXPECT_NEAR(scene->faces[0].normal.z, 1.0f, 1e-7f);
  EXPECT_NEAR(scene->faces[1].normal.x, 1.0f, 1e-7f);
  EXPECT_NEAR(v[1].normal.x, r, 1e-7f);
  EXPECT_NEAR(v[1].normal.z, r, 1e-7f);
  EXPECT_EQ(v[0].u, 128.0f);  // normal (0, 0, 1) maps to the texture's centre
  EXPECT_EQ(v[0].v, 128.0f);
  EXPECT_EQ(v[3].u, 256.0f);

  MeshComputeBounds(mesh);
  const Vec3 want[8] = {{0, 1, 1}, {1, 1, 1}, {1, 0, 1}, {0, 0, 1},
                        {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(mesh->bounds[i].x, want[i].x);
    EXPECT_EQ(mesh->bounds[i].y, want[i].y);
    EXPECT_EQ(mesh->bounds[i].z, want[i].z);
  }
  mesh->vertexCount = 1;
  scene->vertices[0].position = {2, 3, 4};
  MeshComputeBounds(mesh);
  for (const Vec3& corner : mesh->bounds) EXPECT_TRUE(corner.x == 2 && corner.y == 3 && corner.z == 4);
}

TEST(EngineScene, WrappingFacesCloseTheSeam) {
  struct Case {
    int flags;
    float in[3], want[3];  // u for kFaceWrapU, v for kFaceWrapV
  } cases[] = {
      {kFaceWrapU, {10, 250, 20}, {266, 250, 276}},
      {kFaceWrapV, {10, 250, 20}, {266, 250, 276}},
      {0, {10, 250, 20}, {10, 250, 20}},
      {kFaceWrapU, {-10, 250, 20}, {502, 250, 532}},    // span over 256: two widths
      {kFaceWrapU, {-0.0f, 230, 100}, {256, 230, 356}},  // -0.0 counts as below
      {kFaceWrapU, {0, 204, 100}, {0, 204, 100}},        // not a seam
      {kFaceWrapU, {128, 0, 250}, {128, 256, 250}},      // 128 is not below
  };
  for (const Case& c : cases) {
    auto scene = NewScene(3, 1, 1);
    Mesh* mesh = AddTriangleMesh(scene.get(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    for (int k = 0; k < 3; k++) scene->vertices[k].u = scene->vertices[k].v = c.in[k];
    scene->faces[0].flags = c.flags;
    MeshComputeFaceMapping(mesh);
    int wrapped = c.flags == kFaceWrapV ? 1 : 0;
    for (int k = 0; k < 3; k++) {
      EXPECT_EQ(scene->faces[0].uv[2 * k + wrapped], c.want[k]) << c.in[0] << " corner " << k;
      EXPECT_EQ(scene->faces[0].uv[2 * k + 1 - wrapped], c.in[k]);
    }
  }
}

}  // namespace
