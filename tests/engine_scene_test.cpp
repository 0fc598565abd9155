#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "engine/animation.h"
#include "engine/material_library.h"
#include "engine/scene.h"

namespace {

// Scenes are large records (the material table is embedded): keep them off
// the stack.
std::unique_ptr<Scene> NewScene(int vertices, int faces, int meshes, int lights, int cameras,
                                int dummies) {
  auto scene = std::make_unique<Scene>();
  EXPECT_EQ(SceneCreate(scene.get(), vertices, faces, meshes, lights, cameras, dummies), 1);
  return scene;
}

// A mesh of the given corner positions and faces (corner indices local to
// the mesh).
Mesh* AddMesh(Scene* scene, const char* name, std::initializer_list<Vec3> positions,
              std::initializer_list<std::array<int, 3>> corners) {
  Mesh* mesh = SceneAddMesh(scene, name);
  EXPECT_NE(mesh, nullptr);
  Vertex* v = MeshAddVertices(mesh, static_cast<int>(positions.size()));
  EXPECT_NE(v, nullptr);
  for (const Vec3& p : positions) (v++)->position = p;
  Face* f = MeshAddFaces(mesh, static_cast<int>(corners.size()));
  for (const auto& c : corners) {
    EXPECT_EQ(FaceSetCorners(scene, f++, mesh->firstVertex + c[0], mesh->firstVertex + c[1],
                             mesh->firstVertex + c[2]),
              1);
  }
  return mesh;
}

TEST(EngineScene, EmptySceneHasTheDefaultMaterialAndARoot) {
  auto scene = NewScene(0, 0, 0, 0, 0, 0);
  EXPECT_EQ(scene->vertices, nullptr);
  EXPECT_EQ(scene->meshes, nullptr);
  EXPECT_EQ(scene->nodes, nullptr);
  EXPECT_EQ(scene->materialCount, 1);
  EXPECT_STREQ(scene->materials[0].name, "vrn5_defmat");
  EXPECT_EQ(scene->materials[0].textureReady, 0);
  EXPECT_EQ(SceneBuildHierarchy(scene.get()), 1);
  EXPECT_EQ(scene->nodeCount, 0);
  EXPECT_EQ(scene->root.id, -1);
  EXPECT_EQ(scene->root.childCount, 0);
  SceneSetFrame(scene.get(), 12.0f);  // a frame of nothing, with lastFrame 0
  EXPECT_EQ(scene->root.matrix.m[0], 1.0f);
}

TEST(EngineScene, CreateSetsOwnersAndSizesTheNodeList) {
  auto scene = NewScene(1, 1, 2, 3, 4, 5);
  EXPECT_EQ(scene->capacity.nodes, 2 + 5 + 2 * 4 + 2 * 3);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(scene->meshes[i].scene, scene.get());
    EXPECT_EQ(scene->meshes[i].node.owner, &scene->meshes[i]);
  }
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(scene->lights[i].positionNode.owner, &scene->lights[i]);
    EXPECT_EQ(scene->lights[i].targetNode.owner, &scene->lights[i]);
  }
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(scene->cameras[i].positionNode.owner, &scene->cameras[i]);
    EXPECT_EQ(scene->cameras[i].targetNode.owner, &scene->cameras[i]);
  }
  for (int i = 0; i < 5; i++) EXPECT_EQ(scene->dummies[i].node.owner, &scene->dummies[i]);
  EXPECT_EQ(scene->vertexCount + scene->faceCount + scene->meshCount + scene->lightCount +
                scene->cameraCount + scene->dummyCount,
            0);

  Scene refused;
  EXPECT_EQ(SceneCreate(&refused, 1, -1, 0, 0, 0, 0), 0);
}

TEST(EngineScene, ProducersRefuseRecordsBeyondThePools) {
  auto scene = NewScene(4, 3, 1, 1, 1, 1);
  EXPECT_EQ(SceneAddVertices(scene.get(), 3), 0);
  EXPECT_EQ(SceneAddVertices(scene.get(), 2), -1);
  EXPECT_EQ(SceneAddVertices(scene.get(), -1), -1);
  EXPECT_EQ(SceneAddVertices(scene.get(), 1), 3);
  EXPECT_EQ(SceneAddVertices(scene.get(), 1), -1);
  EXPECT_EQ(scene->vertexCount, 4);

  EXPECT_EQ(SceneAddFaces(scene.get(), 4), -1);
  EXPECT_EQ(SceneAddFaces(scene.get(), 3), 0);
  EXPECT_EQ(scene->faces[2].material, &scene->materials[0]);
  EXPECT_EQ(scene->faces[2].fallbackMaterial, &scene->materials[0]);
  EXPECT_EQ(SceneAddFaces(scene.get(), 1), -1);

  EXPECT_NE(SceneAddMesh(scene.get(), "a"), nullptr);
  EXPECT_EQ(SceneAddMesh(scene.get(), "b"), nullptr);
  EXPECT_NE(SceneAddLight(scene.get(), "a"), nullptr);
  EXPECT_EQ(SceneAddLight(scene.get(), "b"), nullptr);
  EXPECT_NE(SceneAddCamera(scene.get(), "a"), nullptr);
  EXPECT_EQ(SceneAddCamera(scene.get(), "b"), nullptr);
  EXPECT_NE(SceneAddDummy(scene.get(), "a"), nullptr);
  EXPECT_EQ(SceneAddDummy(scene.get(), "b"), nullptr);
  EXPECT_EQ(scene->meshCount + scene->lightCount + scene->cameraCount + scene->dummyCount, 4);

  Face face = {};
  EXPECT_EQ(FaceSetCorners(scene.get(), &face, 0, 3, 4), 0);
  EXPECT_EQ(FaceSetCorners(scene.get(), &face, -1, 0, 1), 0);
  EXPECT_EQ(face.vertex[0], nullptr);
  EXPECT_EQ(FaceSetCorners(scene.get(), &face, 3, 0, 1), 1);
  EXPECT_EQ(face.vertex[0], &scene->vertices[3]);
  EXPECT_EQ(face.index[0], 3);

  // Names longer than the record are cut, never written past it.
  Mesh* none = SceneAddMesh(scene.get(), "x");
  EXPECT_EQ(none, nullptr);
  char name[32];
  SetName(name, "a name much longer than thirty-one characters");
  EXPECT_EQ(name[31], 0);
  EXPECT_TRUE(NameEquals(name, "a name much longer than thirty-"));
}

struct NodeSpec {
  KeyNode* node;
  int id, parentId;
};

TEST(EngineScene, HierarchyListsNodesByKindAndLinksChildrenInListOrder) {
  auto scene = NewScene(0, 0, 3, 1, 1, 1);
  Scene* s = scene.get();
  Mesh* m0 = SceneAddMesh(s, "m0");
  Mesh* m1 = SceneAddMesh(s, "m1");
  Mesh* m2 = SceneAddMesh(s, "m2");
  Dummy* d = SceneAddDummy(s, "d");
  Camera* c = SceneAddCamera(s, "c");
  Light* l = SceneAddLight(s, "l");
  NodeSpec specs[] = {
      {&m0->node, 1, -1},       {&m1->node, 2, 3},        {&m2->node, 3, 1},
      {&d->node, 4, 1},         {&c->positionNode, 5, -1}, {&c->targetNode, 0, -1},
      {&l->positionNode, 6, 5}, {&l->targetNode, 7, 0},  // parent 0: nobody's child
  };
  for (const NodeSpec& spec : specs) spec.node->id = spec.id, spec.node->parentId = spec.parentId;
  EXPECT_EQ(SceneBuildHierarchy(s), 1);

  KeyNode* order[] = {&m0->node,         &m1->node,       &m2->node,       &d->node,
                      &c->positionNode,  &c->targetNode,  &l->positionNode, &l->targetNode};
  ASSERT_EQ(s->nodeCount, 8);
  for (int i = 0; i < 8; i++) EXPECT_EQ(s->nodes[i], order[i]) << i;

  struct Expect {
    KeyNode* node;
    std::vector<KeyNode*> children;
  } expects[] = {
      {&s->root, {&m0->node, &c->positionNode, &c->targetNode}},
      {&m0->node, {&m2->node, &d->node}},
      {&m2->node, {&m1->node}},
      {&m1->node, {}},
      {&c->positionNode, {&l->positionNode}},
      {&c->targetNode, {}},
  };
  for (const Expect& e : expects) {
    ASSERT_EQ(e.node->childCount, static_cast<int>(e.children.size()));
    for (size_t k = 0; k < e.children.size(); k++) {
      EXPECT_EQ(e.node->children[k], e.children[k]);
      EXPECT_EQ(e.children[k]->parent, e.node);
    }
    EXPECT_EQ(e.node->children[e.children.size()], nullptr);  // terminated
  }
  EXPECT_EQ(l->targetNode.parent, nullptr);
  EXPECT_EQ(s->root.parent, nullptr);
}

TEST(EngineScene, RepeatedOrCircularNodeNumbersLinkEachNodeOnce) {
  auto scene = NewScene(0, 0, 4, 0, 0, 0);
  Scene* s = scene.get();
  Mesh* m[4];
  for (int i = 0; i < 4; i++) m[i] = SceneAddMesh(s, "m");
  // m0 and m1 share number 1; m2 names itself as parent; m3 hangs below 1.
  int ids[4][2] = {{1, -1}, {1, 1}, {3, 3}, {4, 1}};
  for (int i = 0; i < 4; i++) m[i]->node.id = ids[i][0], m[i]->node.parentId = ids[i][1];
  EXPECT_EQ(SceneBuildHierarchy(s), 1);
  // m1 is linked (and searched) before m3 is reached from m0, so m3 ends
  // up below m1 and nowhere else.
  ASSERT_EQ(s->root.childCount, 1);
  ASSERT_EQ(m[0]->node.childCount, 1);
  EXPECT_EQ(m[0]->node.children[0], &m[1]->node);
  EXPECT_EQ(m[0]->node.children[1], nullptr);
  ASSERT_EQ(m[1]->node.childCount, 1);
  EXPECT_EQ(m[1]->node.children[0], &m[3]->node);
  EXPECT_EQ(m[3]->node.childCount, 0);
  EXPECT_EQ(m[2]->node.parent, nullptr);
  EXPECT_EQ(m[2]->node.childCount, 0);
  SceneSetFrame(s, 3.0f);  // terminates

  // Building again relinks from scratch.
  EXPECT_EQ(SceneBuildHierarchy(s), 1);
  EXPECT_EQ(m[1]->node.childCount, 1);
  EXPECT_EQ(m[3]->node.parent, &m[1]->node);
}

TEST(EngineScene, NormalsFollowTheWindingAndProjectIntoTheMapping) {
  auto scene = NewScene(8, 4, 2, 0, 0, 0);
  // Two faces meeting at corner 0: one in the xy plane, one in the yz plane.
  Mesh* mesh = AddMesh(scene.get(), "fold", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                       {{0, 1, 2}, {0, 2, 3}});
  MeshComputeNormals(mesh);
  Vertex* v = scene->vertices;
  Face* f = scene->faces;
  const float r = 0.70710677f;
  struct Case {
    Vec3 got, want;
  } cases[] = {
      {f[0].normal, {0, 0, 1}}, {f[1].normal, {1, 0, 0}}, {v[0].normal, {r, 0, r}},
      {v[1].normal, {0, 0, 1}}, {v[2].normal, {r, 0, r}}, {v[3].normal, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(c.got.x, c.want.x, 1e-7f);
    EXPECT_NEAR(c.got.y, c.want.y, 1e-7f);
    EXPECT_NEAR(c.got.z, c.want.z, 1e-7f);
  }
  EXPECT_EQ(v[1].u, 128.0f);  // normal (0, 0, 1)
  EXPECT_EQ(v[1].v, 128.0f);
  EXPECT_EQ(v[3].u, 256.0f);
  EXPECT_NEAR(v[0].u, 128.0f + 128.0f * r, 1e-4f);

  MeshFlipNormals(mesh);
  EXPECT_NEAR(v[0].normal.x, -r, 1e-7f);
  EXPECT_EQ(f[0].normal.z, 1.0f);  // face normals stay

  // Given mapping coordinates are kept.
  Mesh* mapped = AddMesh(scene.get(), "mapped", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  mapped->hasMapping = 1;
  for (int i = 4; i < 7; i++) v[i].u = 7.0f, v[i].v = 9.0f;
  MeshComputeNormals(mapped);
  EXPECT_EQ(v[4].u, 7.0f);
  EXPECT_EQ(v[4].v, 9.0f);
  EXPECT_NEAR(v[4].normal.z, 1.0f, 1e-7f);
}

TEST(EngineScene, WrappingFacesCloseTheSeam) {
  struct Case {
    int flags;
    float u[3], v[3];
    float wantU[3], wantV[3];
  } cases[] = {
      {kFaceWrapU, {10, 250, 20}, {0, 0, 0}, {266, 250, 276}, {0, 0, 0}},
      {0, {10, 250, 20}, {0, 0, 0}, {10, 250, 20}, {0, 0, 0}},
      {kFaceWrapV, {10, 250, 20}, {10, 250, 20}, {10, 250, 20}, {266, 250, 276}},
      {kFaceWrapU | kFaceWrapV, {10, 250, 20}, {5, 6, 7}, {266, 250, 276}, {5, 6, 7}},
      // Negative u (and -0.0) count as below 128; a span over 256 moves by 512.
      {kFaceWrapU, {-10, 250, 20}, {0, 0, 0}, {502, 250, 532}, {0, 0, 0}},
      {kFaceWrapU, {-0.0f, 230, 100}, {0, 0, 0}, {256, 230, 356}, {0, 0, 0}},
      // Spans up to 204.8 are not a seam; 128 itself is not below 128.
      {kFaceWrapU, {0, 204, 100}, {0, 0, 0}, {0, 204, 100}, {0, 0, 0}},
      {kFaceWrapU, {0, 205, 100}, {0, 0, 0}, {256, 205, 356}, {0, 0, 0}},
      {kFaceWrapU, {128, 0, 250}, {0, 0, 0}, {128, 256, 250}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    auto scene = NewScene(3, 1, 1, 0, 0, 0);
    Mesh* mesh = AddMesh(scene.get(), "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    for (int k = 0; k < 3; k++) scene->vertices[k].u = c.u[k], scene->vertices[k].v = c.v[k];
    scene->faces[0].flags = c.flags;
    MeshComputeFaceMapping(mesh);
    for (int k = 0; k < 3; k++) {
      EXPECT_EQ(scene->faces[0].uv[2 * k], c.wantU[k]) << c.u[0] << " corner " << k;
      EXPECT_EQ(scene->faces[0].uv[2 * k + 1], c.wantV[k]) << c.v[0] << " corner " << k;
      EXPECT_EQ(scene->vertices[k].u, c.u[k]);  // the vertices keep theirs
    }
  }
}

TEST(EngineScene, BoundsListTheEightCornersInOrder) {
  auto scene = NewScene(4, 0, 2, 0, 0, 0);
  Mesh* box = AddMesh(scene.get(), "box", {{-1, 5, 0}, {4, -2, 6}, {0, 0, -3}}, {});
  MeshComputeBounds(box);
  Vec3 want[8] = {{-1, 5, 6}, {4, 5, 6},   {4, -2, 6},  {-1, -2, 6},
                  {-1, -2, -3}, {4, -2, -3}, {4, 5, -3}, {-1, 5, -3}};
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(box->bounds[i].x, want[i].x) << i;
    EXPECT_EQ(box->bounds[i].y, want[i].y) << i;
    EXPECT_EQ(box->bounds[i].z, want[i].z) << i;
  }
  Mesh* point = AddMesh(scene.get(), "point", {{2, 3, 4}}, {});
  MeshComputeBounds(point);
  for (const Vec3& corner : point->bounds) {
    EXPECT_EQ(corner.x, 2.0f);
    EXPECT_EQ(corner.y, 3.0f);
    EXPECT_EQ(corner.z, 4.0f);
  }
}

TEST(EngineScene, MeshLookupMaterialsAndWorldTransforms) {
  auto scene = NewScene(6, 2, 3, 0, 0, 0);
  Mesh* first = AddMesh(scene.get(), "Hand_R", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  Mesh* twin = AddMesh(scene.get(), "Hand_R", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  EXPECT_EQ(SceneFindMesh(scene.get(), "Hand_R"), first);
  EXPECT_EQ(SceneFindMesh(scene.get(), "hand_r"), nullptr);
  EXPECT_EQ(SceneFindMesh(scene.get(), "Hand"), nullptr);

  Material* gold = MaterialAdd(scene.get(), "Gold");
  MeshSetMaterial(twin, gold);
  EXPECT_EQ(scene->faces[0].material, &scene->materials[0]);
  EXPECT_EQ(scene->faces[1].material, gold);

  // world = world * m: the mesh's own placement first, then m.
  first->world.m[12] = 1.0f;
  Mat4 doubling;
  MatScaling(&doubling, 2.0f, 2.0f, 2.0f);
  SceneTransformMeshes(scene.get(), doubling);
  EXPECT_EQ(first->world.m[12], 2.0f);
  EXPECT_EQ(first->world.m[0], 2.0f);
  EXPECT_EQ(twin->world.m[12], 0.0f);
}

}  // namespace
