// Scene files in the .3ds chunk format: meshes with vertices, faces, mapping
// coordinates and material groups, cameras, lights, material names and the
// key-frame nodes with their tracks. The file is walked twice, once to count
// what the pools need and once to fill them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct Scene;

// Chunk ids of the subset read here (and written by the scene writer).
constexpr uint16_t kChunkMain = 0x4D4D;
constexpr uint16_t kChunkColour = 0x0010;  // three floats
constexpr uint16_t kChunkEditor = 0x3D3D;
constexpr uint16_t kChunkObject = 0x4000;  // name, then the object
constexpr uint16_t kChunkMesh = 0x4100;
constexpr uint16_t kChunkVertices = 0x4110;
constexpr uint16_t kChunkFaces = 0x4120;
constexpr uint16_t kChunkMaterialGroup = 0x4130;
constexpr uint16_t kChunkMapping = 0x4140;
constexpr uint16_t kChunkMeshMatrix = 0x4160;
constexpr uint16_t kChunkLight = 0x4600;
constexpr uint16_t kChunkCamera = 0x4700;
constexpr uint16_t kChunkMaterial = 0xAFFF;
constexpr uint16_t kChunkMaterialName = 0xA000;
constexpr uint16_t kChunkKeyframer = 0xB000;
constexpr uint16_t kChunkAmbientNode = 0xB001;
constexpr uint16_t kChunkMeshNode = 0xB002;
constexpr uint16_t kChunkCameraNode = 0xB003;
constexpr uint16_t kChunkTargetNode = 0xB004;
constexpr uint16_t kChunkLightNode = 0xB005;
constexpr uint16_t kChunkSegment = 0xB008;
constexpr uint16_t kChunkNodeHeader = 0xB010;
constexpr uint16_t kChunkInstanceName = 0xB011;
constexpr uint16_t kChunkNodeNote = 0xB012;  // three floats, printed
constexpr uint16_t kChunkPivot = 0xB013;
constexpr uint16_t kChunkPositionTrack = 0xB020;
constexpr uint16_t kChunkRotationTrack = 0xB021;
constexpr uint16_t kChunkScaleTrack = 0xB022;
constexpr uint16_t kChunkFovTrack = 0xB023;
constexpr uint16_t kChunkRollTrack = 0xB024;
constexpr uint16_t kChunkColourTrack = 0xB025;
constexpr uint16_t kChunkNodeNumber = 0xB030;

// Node header names that stand for no object of the file.
constexpr const char* kDummyNodeName = "$$$DUMMY";
constexpr const char* kAmbientNodeName = "$AMBIENT$";

enum Load3dsStatus {
  LOAD3DS_OK = 0,
  LOAD3DS_NOT_FOUND,       // cannot be opened
  LOAD3DS_FOREIGN,         // does not start with a main chunk
  LOAD3DS_MALFORMED,       // a length, count, index or number that cannot be right
  LOAD3DS_UNKNOWN_OBJECT,  // a key-frame node names an object the file does not define
  LOAD3DS_NO_MEMORY,       // a pool or key array could not be allocated
};

struct Load3dsResult {
  int status = LOAD3DS_OK;
  std::string message;  // complete lines, newlines included, when refused
  std::string log;      // diagnostic lines the file asks for, in file order
  std::string reason;   // the system's reason, for the line naming the full path
};

// The reading core: never prints, never ends the process. Clears *scene,
// counts, creates the pools and fills them from the file image; afterwards
// every mesh is turned y-up and gets normals, face mapping and bounds.
// fileName only names the file in messages. Returns 1, or 0 with status and
// message set; a refused scene is unusable but may be released.
int Load3dsParse(Scene* scene, const uint8_t* data, size_t size, const char* fileName, float scale,
                 Load3dsResult* result);

// Load3dsParse on an asset path, read whole.
int Load3dsRead(Scene* scene, const char* fileName, float scale, Load3dsResult* result);

// The show's loader. Prints the log lines; a missing, foreign or malformed
// file prints its message to standard output and ends the process with
// status 1. Returns 1, or 0 when memory ran out (the scene is unusable).
int Load3ds(Scene* scene, const char* fileName, float scale);

struct Mat4;
// A mesh's inverse matrix: given the axes as read (rows 0..2) and the quick
// inverse (each column divided by its squared length, then transposed),
// keeps the quick one when it undoes the axes and otherwise replaces it
// with the general inverse. Returns 1 when it replaced it.
int MeshMatrixInverse(const Mat4& axes, Mat4* inverse);

// Levels of key-frame nodes below the root that a scene links.
constexpr int kSceneHierarchyDepth = 256;

// Frees everything a load (or a scene built on SceneCreate) allocated: pools,
// key arrays, child lists. The show keeps its scenes to the end; tests and
// the fuzz harness do not.
void Load3dsRelease(Scene* scene);
