#include "engine/scene.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/material_library.h"

// Hierarchies deeper than this are not linked further: evaluation recurses
// once per level, and no modelled figure comes near it.
static constexpr int kMaxHierarchyDepth = 256;

void SetName(char name[32], const char* text) {
  std::strncpy(name, text ? text : "", 31);
  name[31] = 0;
}

int NameEquals(const char name[32], const char* text) {
  return text != nullptr && std::strncmp(name, text, 32) == 0;
}

// A zero count allocates nothing and succeeds.
template <typename T>
static int AllocatePool(T** pool, int count) {
  *pool = nullptr;
  if (count == 0) return 1;
  *pool = static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T)));
  return *pool != nullptr;
}

static void InitNode(KeyNode* node, void* owner) {
  node->owner = owner;
  MatIdentity(&node->matrix);
}

int SceneCreate(Scene* scene, int vertexCapacity, int faceCapacity, int meshCapacity,
                int lightCapacity, int cameraCapacity, int dummyCapacity) {
  std::memset(scene, 0, sizeof(*scene));
  MatIdentity(&scene->root.matrix);
  scene->root.id = -1;
  scene->root.parentId = -1;
  if (vertexCapacity < 0 || faceCapacity < 0 || meshCapacity < 0 || lightCapacity < 0 ||
      cameraCapacity < 0 || dummyCapacity < 0)
    return 0;
  int64_t nodeCapacity = int64_t{meshCapacity} + dummyCapacity + 2 * int64_t{cameraCapacity} +
                         2 * int64_t{lightCapacity};
  if (nodeCapacity > INT32_MAX) return 0;

  if (!AllocatePool(&scene->vertices, vertexCapacity)) return 0;
  scene->capacity.vertices = vertexCapacity;
  if (!AllocatePool(&scene->faces, faceCapacity)) return 0;
  scene->capacity.faces = faceCapacity;
  if (!AllocatePool(&scene->meshes, meshCapacity)) return 0;
  scene->capacity.meshes = meshCapacity;
  if (!AllocatePool(&scene->lights, lightCapacity)) return 0;
  scene->capacity.lights = lightCapacity;
  if (!AllocatePool(&scene->cameras, cameraCapacity)) return 0;
  scene->capacity.cameras = cameraCapacity;
  if (!AllocatePool(&scene->dummies, dummyCapacity)) return 0;
  scene->capacity.dummies = dummyCapacity;
  if (!AllocatePool(&scene->nodes, static_cast<int>(nodeCapacity))) return 0;
  scene->capacity.nodes = static_cast<int32_t>(nodeCapacity);

  for (int i = 0; i < meshCapacity; i++) {
    Mesh* mesh = &scene->meshes[i];
    mesh->scene = scene;
    InitNode(&mesh->node, mesh);
  }
  for (int i = 0; i < cameraCapacity; i++) {
    Camera* camera = &scene->cameras[i];
    InitNode(&camera->positionNode, camera);
    InitNode(&camera->targetNode, camera);
  }
  for (int i = 0; i < lightCapacity; i++) {
    Light* light = &scene->lights[i];
    InitNode(&light->positionNode, light);
    InitNode(&light->targetNode, light);
  }
  for (int i = 0; i < dummyCapacity; i++) InitNode(&scene->dummies[i].node, &scene->dummies[i]);

  return MaterialAdd(scene, kDefaultMaterialName) != nullptr;
}

int SceneAddVertices(Scene* scene, int count) {
  if (count < 0 || count > scene->capacity.vertices - scene->vertexCount) return -1;
  int first = scene->vertexCount;
  scene->vertexCount += count;
  return first;
}

int SceneAddFaces(Scene* scene, int count) {
  if (count < 0 || count > scene->capacity.faces - scene->faceCount) return -1;
  int first = scene->faceCount;
  scene->faceCount += count;
  for (int i = first; i < first + count; i++) {
    scene->faces[i].material = &scene->materials[0];
    scene->faces[i].fallbackMaterial = &scene->materials[0];
    scene->faces[i].next = nullptr;
  }
  return first;
}

Mesh* SceneAddMesh(Scene* scene, const char* name) {
  if (scene->meshCount >= scene->capacity.meshes) return nullptr;
  Mesh* mesh = &scene->meshes[scene->meshCount++];
  SetName(mesh->name, name);
  mesh->scene = scene;
  mesh->hasMapping = 0;
  mesh->firstVertex = scene->vertexCount;
  mesh->vertexCount = 0;
  mesh->firstFace = scene->faceCount;
  mesh->faceCount = 0;
  MatIdentity(&mesh->modelView);
  MatIdentity(&mesh->world);
  MatIdentity(&mesh->fileMatrix);
  return mesh;
}

Light* SceneAddLight(Scene* scene, const char* name) {
  if (scene->lightCount >= scene->capacity.lights) return nullptr;
  Light* light = &scene->lights[scene->lightCount++];
  SetName(light->name, name);
  return light;
}

Camera* SceneAddCamera(Scene* scene, const char* name) {
  if (scene->cameraCount >= scene->capacity.cameras) return nullptr;
  Camera* camera = &scene->cameras[scene->cameraCount++];
  SetName(camera->name, name);
  return camera;
}

Dummy* SceneAddDummy(Scene* scene, const char* name) {
  if (scene->dummyCount >= scene->capacity.dummies) return nullptr;
  Dummy* dummy = &scene->dummies[scene->dummyCount++];
  SetName(dummy->name, name);
  return dummy;
}

Vertex* MeshAddVertices(Mesh* mesh, int count) {
  int first = SceneAddVertices(mesh->scene, count);
  if (first < 0) return nullptr;
  mesh->firstVertex = first;
  mesh->vertexCount = count;
  return &mesh->scene->vertices[first];
}

Face* MeshAddFaces(Mesh* mesh, int count) {
  int first = SceneAddFaces(mesh->scene, count);
  if (first < 0) return nullptr;
  mesh->firstFace = first;
  mesh->faceCount = count;
  return &mesh->scene->faces[first];
}

int FaceSetCorners(Scene* scene, Face* face, int a, int b, int c) {
  int corners[3] = {a, b, c};
  for (int k = 0; k < 3; k++)
    if (corners[k] < 0 || corners[k] >= scene->vertexCount) return 0;
  for (int k = 0; k < 3; k++) {
    face->index[k] = corners[k];
    face->vertex[k] = &scene->vertices[corners[k]];
  }
  return 1;
}

static void ListNode(Scene* scene, KeyNode* node) {
  std::free(node->children);
  node->children = nullptr;
  node->childCount = 0;
  node->parent = nullptr;
  scene->nodes[scene->nodeCount++] = node;
}

// A node can join only one parent: one already linked (every linked node of
// the list has a parent) is passed over, so repeated or circular numbers in a
// file cannot link a node twice or under itself.
static int IsFreeChild(const Scene* scene, const KeyNode* candidate, int32_t parentId) {
  return candidate->parentId == parentId && candidate->parent == nullptr &&
         candidate != &scene->root;
}

// Children of a node in list order, each linked through before its next
// sibling is looked at. List nodes without a number (id 0 or -1) take no
// children; -1 is the root's.
static int LinkChildren(Scene* scene, KeyNode* node, int depth) {
  int32_t id = node->id;
  bool takesChildren = (node == &scene->root || (id != 0 && id != -1)) &&
                       depth < kMaxHierarchyDepth;
  int count = 0;
  for (int i = 0; takesChildren && i < scene->nodeCount; i++)
    if (IsFreeChild(scene, scene->nodes[i], id)) count++;
  node->children = static_cast<KeyNode**>(std::calloc(static_cast<size_t>(count) + 1,
                                                     sizeof(KeyNode*)));
  if (node->children == nullptr) return 0;

  int linked = 0;
  for (int i = 0; i < scene->nodeCount && linked < count; i++) {
    KeyNode* child = scene->nodes[i];
    if (!IsFreeChild(scene, child, id)) continue;
    child->parent = node;
    node->children[linked++] = child;
    node->childCount = linked;
    if (!LinkChildren(scene, child, depth + 1)) return 0;
  }
  return 1;
}

int SceneBuildHierarchy(Scene* scene) {
  int64_t needed = int64_t{scene->meshCount} + scene->dummyCount + 2 * int64_t{scene->cameraCount} +
                   2 * int64_t{scene->lightCount};
  if (needed > scene->capacity.nodes) return 0;

  scene->nodeCount = 0;
  for (int i = 0; i < scene->meshCount; i++) ListNode(scene, &scene->meshes[i].node);
  for (int i = 0; i < scene->dummyCount; i++) ListNode(scene, &scene->dummies[i].node);
  for (int i = 0; i < scene->cameraCount; i++) ListNode(scene, &scene->cameras[i].positionNode);
  for (int i = 0; i < scene->cameraCount; i++) ListNode(scene, &scene->cameras[i].targetNode);
  for (int i = 0; i < scene->lightCount; i++) ListNode(scene, &scene->lights[i].positionNode);
  for (int i = 0; i < scene->lightCount; i++) ListNode(scene, &scene->lights[i].targetNode);

  KeyNode* root = &scene->root;
  root->hasRotation = root->hasPosition = root->hasScale = 0;
  root->hasColour = root->hasFov = root->hasRoll = 0;
  MatIdentity(&root->matrix);
  root->parent = nullptr;
  root->id = -1;
  std::free(root->children);
  root->children = nullptr;
  root->childCount = 0;
  if (scene->nodeCount < 1) return 1;
  return LinkChildren(scene, root, 0);
}

Mesh* SceneFindMesh(Scene* scene, const char* name) {
  for (int i = 0; i < scene->meshCount; i++)
    if (NameEquals(scene->meshes[i].name, name)) return &scene->meshes[i];
  return nullptr;
}

void SceneTransformMeshes(Scene* scene, const Mat4& m) {
  for (int i = 0; i < scene->meshCount; i++)
    MatMul(scene->meshes[i].world, m, &scene->meshes[i].world);
}

static int HasCorners(const Face& face) {
  return face.vertex[0] && face.vertex[1] && face.vertex[2];
}

// Face normals come from the winding; each vertex normal is the normalised
// sum of the normals of the faces around it. Without mapping coordinates the
// normal is projected onto a 256-texel texture instead.
void MeshComputeNormals(Mesh* mesh) {
  Scene* scene = mesh->scene;
  Vertex* vertices = scene->vertices + mesh->firstVertex;
  for (int i = 0; i < mesh->vertexCount; i++) vertices[i].normal = Vec3{0.0f, 0.0f, 0.0f};

  Face* faces = scene->faces + mesh->firstFace;
  for (int i = 0; i < mesh->faceCount; i++) {
    Face& face = faces[i];
    if (!HasCorners(face)) continue;
    Vec3 ab, ac, n;
    VecSub(face.vertex[0]->position, face.vertex[1]->position, &ab);
    VecSub(face.vertex[0]->position, face.vertex[2]->position, &ac);
    VecCross(ab, ac, &n);
    VecSetLength(n, 1.0f, &n);
    face.normal = n;
    for (int k = 0; k < 3; k++) VecAdd(face.vertex[k]->normal, n, &face.vertex[k]->normal);
  }

  for (int i = 0; i < mesh->vertexCount; i++)
    VecSetLength(vertices[i].normal, 1.0f, &vertices[i].normal);

  if (mesh->hasMapping) return;
  for (int i = 0; i < mesh->vertexCount; i++) {
    vertices[i].u = 128.0f + 128.0f * vertices[i].normal.x;
    vertices[i].v = 128.0f + 128.0f * vertices[i].normal.y;
  }
}

static int32_t FloatBits(float f) {
  int32_t bits;
  std::memcpy(&bits, &f, sizeof(bits));
  return bits;
}

// A face spanning most of the texture in one coordinate straddles the seam
// of a wrapping mapping: its low corners move one (or more) texture widths
// up, so the face is drawn across the seam instead of back over the whole
// texture.
static void CloseSeam(float* c0, float* c1, float* c2, int onBits) {
  float* c[3] = {c0, c1, c2};
  float lo = *c[0], hi = *c[0];
  for (int k = 1; k < 3; k++) {
    if (*c[k] < lo) lo = *c[k];
    if (*c[k] > hi) hi = *c[k];
  }
  double span = static_cast<double>(hi) - lo;
  if (!(span > 204.8)) return;
  double shift = std::ceil(span / 256.0) * 256.0;
  for (int k = 0; k < 3; k++) {
    // On the bit pattern, every negative value is below 128.
    bool below = onBits ? FloatBits(*c[k]) < FloatBits(128.0f) : *c[k] < 128.0f;
    if (below) *c[k] = static_cast<float>(*c[k] + shift);
  }
}

void MeshComputeFaceMapping(Mesh* mesh) {
  Face* faces = mesh->scene->faces + mesh->firstFace;
  for (int i = 0; i < mesh->faceCount; i++) {
    Face& face = faces[i];
    if (!HasCorners(face)) continue;
    for (int k = 0; k < 3; k++) {
      face.uv[2 * k] = face.vertex[k]->u;
      face.uv[2 * k + 1] = face.vertex[k]->v;
    }
    if (face.flags & kFaceWrapU) CloseSeam(&face.uv[0], &face.uv[2], &face.uv[4], 1);
    if (face.flags & kFaceWrapV) CloseSeam(&face.uv[1], &face.uv[3], &face.uv[5], 0);
  }
}

void MeshComputeBounds(Mesh* mesh) {
  float minX = 3200000.0f, minY = 3200000.0f, minZ = 3200000.0f;
  float maxX = -3200000.0f, maxY = -3200000.0f, maxZ = -3200000.0f;
  const Vertex* vertices = mesh->scene->vertices + mesh->firstVertex;
  for (int i = 0; i < mesh->vertexCount; i++) {
    const Vec3& p = vertices[i].position;
    if (p.x < minX) minX = p.x;
    if (p.x > maxX) maxX = p.x;
    if (p.y < minY) minY = p.y;
    if (p.y > maxY) maxY = p.y;
    if (p.z < minZ) minZ = p.z;
    if (p.z > maxZ) maxZ = p.z;
  }
  Vec3* b = mesh->bounds;
  b[0] = {minX, maxY, maxZ};
  b[1] = {maxX, maxY, maxZ};
  b[2] = {maxX, minY, maxZ};
  b[3] = {minX, minY, maxZ};
  b[4] = {minX, minY, minZ};
  b[5] = {maxX, minY, minZ};
  b[6] = {maxX, maxY, minZ};
  b[7] = {minX, maxY, minZ};
}

void MeshFlipNormals(Mesh* mesh) {
  Vertex* vertices = mesh->scene->vertices + mesh->firstVertex;
  for (int i = 0; i < mesh->vertexCount; i++) VecNegate(vertices[i].normal, &vertices[i].normal);
}

void MeshSetMaterial(Mesh* mesh, Material* material) {
  Face* faces = mesh->scene->faces + mesh->firstFace;
  for (int i = 0; i < mesh->faceCount; i++) faces[i].material = material;
}
