// Writes scenes in the .3ds chunk subset the loader reads. The description is
// in the file's own terms: z-up coordinates, mapping in texture units (0..1,
// v upwards), rotations as angle and axis, node numbers as the file stores
// them. What the loader makes of each value is noted beside it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/math3d.h"

// Chunk builder: open chunks are closed innermost first and get their length
// then. Also used to craft files the description cannot express.
struct ChunkWriter {
  std::vector<uint8_t> bytes;
  std::vector<size_t> open;  // header offsets of the chunks not yet closed
};
void ChunkBegin(ChunkWriter* w, uint16_t id);
void ChunkEnd(ChunkWriter* w);
void ChunkU16(ChunkWriter* w, uint16_t v);
void ChunkU32(ChunkWriter* w, uint32_t v);
void ChunkFloat(ChunkWriter* w, float v);
void ChunkVec3(ChunkWriter* w, const Vec3& v);
void ChunkString(ChunkWriter* w, const std::string& s);  // with its zero byte

struct SceneFileFace {
  uint16_t a, b, c;  // vertex numbers within the mesh
  uint16_t flags;    // kFaceWrapU, kFaceWrapV
};

struct SceneFileGroup {
  std::string material;         // the last material of this name gets the faces
  std::vector<uint16_t> faces;  // face numbers within the mesh
};

struct SceneFileMesh {
  std::string name;
  std::vector<Vec3> vertices;  // world space, z-up; loaded into the object's frame, y-up
  std::vector<SceneFileFace> faces;
  // u, v per vertex; empty writes no mapping and the loader projects normals.
  // Loaded as u * 256, -v * 256.
  std::vector<float> mapping;
  std::vector<SceneFileGroup> groups;
  // The object's frame in world space. The loader takes the vertices into it,
  // so the mesh's node must put it back: a node whose position track holds
  // the origin (and rotation and scale tracks for the axes). A mesh without
  // a node is drawn about the world origin.
  Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec3 origin = {0, 0, 0};
};

struct SceneFileLight {
  std::string name;
  Vec3 position;
  bool hasColour = true;  // without one the light takes the colour written before it
  Vec3 colour = {1, 1, 1};
};

struct SceneFileCamera {
  std::string name;
  Vec3 position, target;
  float roll = 0;  // degrees
  float lens = 50;
};

// Keys: spline parameters that are not zero are written with their flag bits
// set, whatever splineFlags says; bits set with a zero parameter write it too.
struct SceneFileVectorKey {
  int32_t frame;
  Vec3 value;
  KeySpline spline;
};

struct SceneFileRotationKey {
  int32_t frame;
  float angle;  // radians, about axis, relative to the key before
  Vec3 axis;
  KeySpline spline;
};

struct SceneFileScalarKey {
  int32_t frame;
  float value;
  KeySpline spline;
};

struct SceneFileVectorTrack {
  int32_t flags = 0;  // kTrackRepeat
  std::vector<SceneFileVectorKey> keys;
};

struct SceneFileRotationTrack {
  int32_t flags = 0;
  std::vector<SceneFileRotationKey> keys;
};

struct SceneFileScalarTrack {
  int32_t flags = 0;
  std::vector<SceneFileScalarKey> keys;
};

// One key-frame node. kind is the object node chunk: kChunkMeshNode (meshes
// and dummies), kChunkCameraNode, kChunkTargetNode, kChunkLightNode or
// kChunkAmbientNode. name is the object's, kDummyNodeName for a dummy (whose
// instanceName is then required) or kAmbientNodeName. A track is written when
// it has keys.
struct SceneFileNode {
  uint16_t kind;
  std::string name;
  std::string instanceName;
  int16_t number;       // loaded as id number + 1
  int16_t parent = -1;  // the parent's number; -1 hangs the node from the root
  uint16_t flags[2] = {0, 0};
  Vec3 pivot = {0, 0, 0};
  SceneFileVectorTrack position;  // z-up
  SceneFileRotationTrack rotation;
  SceneFileVectorTrack scale;  // z-up axes, like positions
  SceneFileVectorTrack colour;
  SceneFileScalarTrack fov;   // degrees
  SceneFileScalarTrack roll;  // degrees
};

// Objects are written meshes first, then lights, then cameras, each in the
// order given; the loader fills its pools in file order.
struct SceneFile {
  std::vector<std::string> materials;
  std::vector<SceneFileMesh> meshes;
  std::vector<SceneFileLight> lights;
  std::vector<SceneFileCamera> cameras;
  std::vector<SceneFileNode> nodes;
  int32_t firstFrame = 0, lastFrame = 100;
};

// The file image of a scene; 0 with a message when the description cannot be
// written as it stands (a name too long, a count or frame beyond 16 bits, a
// face or group naming what its mesh lacks, a mapping not one pair per vertex).
int SceneFileEncode(const SceneFile& scene, std::vector<uint8_t>* out, std::string* message);

// Encodes and writes to a path of the file system; 0 with a message when it
// cannot.
int SceneFileSave(const char* path, const SceneFile& scene, std::string* message);
