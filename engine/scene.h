// One 3D world in fixed pools: vertices, faces, meshes over contiguous ranges
// of them, cameras, lights, dummies, the node hierarchy that animates them and
// the material table. Pools are allocated once from counts known in advance
// and never grow; every producer refuses records beyond a pool's capacity.
#pragma once
#include <cstdint>

#include "engine/animation.h"
#include "engine/math3d.h"
#include "raster/material.h"

// Face flags from the scene file: the mapping wraps around in u or in v.
constexpr int32_t kFaceWrapU = 0x8;
constexpr int32_t kFaceWrapV = 0x10;

// Room in every scene's material table: more than any scene names, plus the
// default material.
constexpr int kSceneMaterialCapacity = 256;

constexpr const char* kDefaultMaterialName = "vrn5_defmat";

struct Vertex {
  Vec3 position;  // object space
  Vec3 view;      // camera space, per frame
  float screenX, screenY, depth;
  Vec3 normal;      // object space, unit
  Vec3 viewNormal;  // camera space, per frame
  float shade;      // single light level for the span fillers
  Vec3 light;       // r, g, b 0..255 after lighting
  float u, v;       // texels of a 256-wide texture
  int32_t outcode;  // bit i: outside clip plane i
  int32_t useCount;
  // Bit i: on the inner side of plane i of the viewport whose clip stamp is
  // insideStamp, for the view above (0: no viewport; the view changed).
  int32_t insideMask;
  uint32_t insideStamp;
};

struct Face {
  int32_t index[3];   // scene-wide vertex indices
  Vertex* vertex[3];  // the same vertices
  float uv[6];        // u0, v0, u1, v1, u2, v2
  float shade[3];
  Vec3 normal;
  int32_t flags;  // kFaceWrapU, kFaceWrapV
  int32_t clipMask;
  int32_t depthKey;
  Material* material;
  Material* fallbackMaterial;  // the default material
  Face* next;                  // next face of a chain drawn together
};

struct KeyNode {
  int32_t id;        // file node number + 1; -1 for none
  int32_t parentId;  // parent's node number + 1; -1 for none
  uint16_t flags[2];
  void* owner;  // the mesh, camera or light embedding the node; 0 otherwise
  Mat4 matrix;  // evaluated world transform
  int32_t hasRotation;
  RotationTrack rotation;
  int32_t hasPosition;
  VectorTrack position;
  int32_t hasScale;
  VectorTrack scale;
  int32_t hasColour;
  VectorTrack colour;
  int32_t hasFov;
  ScalarTrack fov;
  int32_t hasRoll;
  ScalarTrack roll;
  int32_t childCount;
  KeyNode** children;  // zero-terminated
  KeyNode* parent;
};

struct Scene;

struct Mesh {
  Scene* scene;
  int32_t firstVertex, vertexCount;
  int32_t firstFace, faceCount;
  Vec3 bounds[8];
  int32_t hasMapping;
  Mat4 modelView;
  Mat4 world;
  Mat4 fileMatrix;
  KeyNode node;
  char name[32];
};

struct Camera {
  Vec3 position;
  Vec3 target;
  float roll;  // degrees
  float lens;
  KeyNode positionNode;  // eye, field of view and roll tracks
  KeyNode targetNode;
  char name[32];
};

struct Light {
  Vec3 position;
  Vec3 target;
  Vec3 colour;  // r, g, b 0..1
  KeyNode positionNode;
  KeyNode targetNode;
  char name[32];
  float projectorFov;   // degrees
  float projectorRoll;  // degrees
};

struct Dummy {
  KeyNode node;
  char name[32];
};

// What each pool was made for; the node list holds every node the pools can
// embed.
struct SceneCapacity {
  int32_t vertices, faces, meshes, lights, cameras, dummies, nodes;
};

struct Scene {
  Vertex* vertices;
  int32_t vertexCount;
  Face* faces;
  int32_t faceCount;
  Mesh* meshes;
  int32_t meshCount;
  Light* lights;
  int32_t lightCount;
  Camera* cameras;
  int32_t cameraCount;
  Dummy* dummies;
  int32_t dummyCount;
  KeyNode root;  // parent of every node without one
  int32_t nodeCount;
  KeyNode** nodes;
  int32_t firstFrame, lastFrame;
  int32_t materialCount;
  Material materials[kSceneMaterialCapacity];  // 0 is the default material
  SceneCapacity capacity;
};

// Clears the scene and allocates its pools (a zero capacity allocates
// nothing), points every mesh and embedded node at its owner and adds the
// default material. 0 when a capacity is negative or an allocation fails.
int SceneCreate(Scene* scene, int vertexCapacity, int faceCapacity, int meshCapacity,
                int lightCapacity, int cameraCapacity, int dummyCapacity);

// Producers. Each returns the first new record (or its index) and refuses,
// with null or -1, a request beyond the pool's capacity.
int SceneAddVertices(Scene* scene, int count);
// New faces use the default material for both material pointers.
int SceneAddFaces(Scene* scene, int count);
// A new mesh: named, no mapping, identity matrices, empty ranges.
Mesh* SceneAddMesh(Scene* scene, const char* name);
Light* SceneAddLight(Scene* scene, const char* name);
Camera* SceneAddCamera(Scene* scene, const char* name);
Dummy* SceneAddDummy(Scene* scene, const char* name);
// Adds count vertices or faces to the scene and makes them the mesh's range.
Vertex* MeshAddVertices(Mesh* mesh, int count);
Face* MeshAddFaces(Mesh* mesh, int count);
// Sets a face's corners by scene-wide index; 0 when an index is not a vertex
// in use.
int FaceSetCorners(Scene* scene, Face* face, int a, int b, int c);

// Lists every node (meshes, dummies, camera positions, camera targets, light
// positions, light targets) and links each to its parent, below the root.
// 0 when a child list cannot be allocated.
int SceneBuildHierarchy(Scene* scene);

Mesh* SceneFindMesh(Scene* scene, const char* name);
// world = world * m for every mesh.
void SceneTransformMeshes(Scene* scene, const Mat4& m);

void MeshComputeNormals(Mesh* mesh);
void MeshComputeFaceMapping(Mesh* mesh);
void MeshComputeBounds(Mesh* mesh);
void MeshFlipNormals(Mesh* mesh);
void MeshSetMaterial(Mesh* mesh, Material* material);

// Names are 32-byte zero-terminated arrays compared exactly; a longer name is
// cut to 31 characters when stored.
void SetName(char name[32], const char* text);
int NameEquals(const char name[32], const char* text);
