#include "engine/write_3ds.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void Put(ChunkWriter* w, const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  w->bytes.insert(w->bytes.end(), b, b + n);
}

int Fail(std::string* message, const std::string& text) {
  if (message) *message = text;
  return 0;
}

// Names are stored in 32 bytes with their zero, so 31 characters at most;
// an empty name could not be told from a missing one.
bool NameFits(const std::string& name) {
  return !name.empty() && name.size() <= 31 && name.find('\0') == std::string::npos;
}

bool FrameFits(int32_t frame) { return frame >= -32768 && frame <= 32767; }

// Flag bits 0..4 announce tension, continuity, bias, ease to and ease from.
void PutKeyStart(ChunkWriter* w, int32_t frame, const KeySpline& spline) {
  const float parameters[5] = {spline.tension, spline.continuity, spline.bias, spline.easeTo,
                               spline.easeFrom};
  uint16_t flags = static_cast<uint16_t>(spline.splineFlags);
  for (int bit = 0; bit < 5; bit++)
    if (parameters[bit] != 0.0f) flags |= static_cast<uint16_t>(1 << bit);
  ChunkU32(w, static_cast<uint32_t>(frame));
  ChunkU16(w, flags);
  for (int bit = 0; bit < 5; bit++)
    if (flags & (1 << bit)) ChunkFloat(w, parameters[bit]);
}

void PutTrackStart(ChunkWriter* w, uint16_t id, int32_t flags, size_t keys) {
  ChunkBegin(w, id);
  ChunkU16(w, static_cast<uint16_t>(flags));
  for (int i = 0; i < 8; i++) Put(w, "", 1);
  ChunkU32(w, static_cast<uint32_t>(keys));
}

void PutVectorTrack(ChunkWriter* w, uint16_t id, const SceneFileVectorTrack& track) {
  if (track.keys.empty()) return;
  PutTrackStart(w, id, track.flags, track.keys.size());
  for (const SceneFileVectorKey& key : track.keys) {
    PutKeyStart(w, key.frame, key.spline);
    ChunkVec3(w, key.value);
  }
  ChunkEnd(w);
}

void PutRotationTrack(ChunkWriter* w, const SceneFileRotationTrack& track) {
  if (track.keys.empty()) return;
  PutTrackStart(w, kChunkRotationTrack, track.flags, track.keys.size());
  for (const SceneFileRotationKey& key : track.keys) {
    PutKeyStart(w, key.frame, key.spline);
    ChunkFloat(w, key.angle);
    ChunkVec3(w, key.axis);
  }
  ChunkEnd(w);
}

void PutScalarTrack(ChunkWriter* w, uint16_t id, const SceneFileScalarTrack& track) {
  if (track.keys.empty()) return;
  PutTrackStart(w, id, track.flags, track.keys.size());
  for (const SceneFileScalarKey& key : track.keys) {
    PutKeyStart(w, key.frame, key.spline);
    ChunkFloat(w, key.value);
  }
  ChunkEnd(w);
}

template <typename Track>
bool TrackFits(const Track& track) {
  if (track.keys.size() > 0xFFFF) return false;
  for (const auto& key : track.keys)
    if (!FrameFits(key.frame)) return false;
  return true;
}

int CheckMesh(const SceneFileMesh& mesh, std::string* message) {
  const std::string in = " in mesh \"" + mesh.name + "\"";
  if (!NameFits(mesh.name)) return Fail(message, "mesh name \"" + mesh.name + "\" does not fit");
  if (mesh.vertices.size() > 0xFFFF || mesh.faces.size() > 0xFFFF)
    return Fail(message, "more than 65535 vertices or faces" + in);
  for (const SceneFileFace& f : mesh.faces)
    if (f.a >= mesh.vertices.size() || f.b >= mesh.vertices.size() || f.c >= mesh.vertices.size())
      return Fail(message, "face refers to a missing vertex" + in);
  if (!mesh.mapping.empty() && mesh.mapping.size() != 2 * mesh.vertices.size())
    return Fail(message, "mapping is not one (u, v) per vertex" + in);
  for (const SceneFileGroup& g : mesh.groups) {
    if (!NameFits(g.material)) return Fail(message, "material group name does not fit" + in);
    if (g.faces.size() > 0xFFFF) return Fail(message, "material group too large" + in);
    for (uint16_t face : g.faces)
      if (face >= mesh.faces.size())
        return Fail(message, "material group names a missing face" + in);
  }
  return 1;
}

int CheckNode(const SceneFileNode& node, std::string* message) {
  const std::string in = " in node \"" + node.name + "\"";
  if (node.kind < kChunkAmbientNode || node.kind > kChunkLightNode)
    return Fail(message, "node kind is not an object node" + in);
  if (!NameFits(node.name)) return Fail(message, "node name \"" + node.name + "\" does not fit");
  bool dummy = node.name == kDummyNodeName;
  if (dummy ? !NameFits(node.instanceName) : node.instanceName.size() > 31)
    return Fail(message, "dummy without a fitting instance name" + in);
  if (!TrackFits(node.position) || !TrackFits(node.rotation) || !TrackFits(node.scale) ||
      !TrackFits(node.colour) || !TrackFits(node.fov) || !TrackFits(node.roll))
    return Fail(message, "track with more than 65535 keys or a frame beyond 16 bits" + in);
  return 1;
}

void PutMesh(ChunkWriter* w, const SceneFileMesh& mesh) {
  ChunkBegin(w, kChunkObject);
  ChunkString(w, mesh.name);
  ChunkBegin(w, kChunkMesh);

  ChunkBegin(w, kChunkVertices);
  ChunkU16(w, static_cast<uint16_t>(mesh.vertices.size()));
  for (const Vec3& v : mesh.vertices) ChunkVec3(w, v);
  ChunkEnd(w);

  if (!mesh.mapping.empty()) {
    ChunkBegin(w, kChunkMapping);
    ChunkU16(w, static_cast<uint16_t>(mesh.vertices.size()));
    for (float f : mesh.mapping) ChunkFloat(w, f);
    ChunkEnd(w);
  }

  ChunkBegin(w, kChunkMeshMatrix);
  for (const Vec3& axis : mesh.axes) ChunkVec3(w, axis);
  ChunkVec3(w, mesh.origin);
  ChunkEnd(w);

  ChunkBegin(w, kChunkFaces);
  ChunkU16(w, static_cast<uint16_t>(mesh.faces.size()));
  for (const SceneFileFace& f : mesh.faces) {
    ChunkU16(w, f.a);
    ChunkU16(w, f.b);
    ChunkU16(w, f.c);
    ChunkU16(w, f.flags);
  }
  for (const SceneFileGroup& g : mesh.groups) {
    ChunkBegin(w, kChunkMaterialGroup);
    ChunkString(w, g.material);
    ChunkU16(w, static_cast<uint16_t>(g.faces.size()));
    for (uint16_t face : g.faces) ChunkU16(w, face);
    ChunkEnd(w);
  }
  ChunkEnd(w);  // faces

  ChunkEnd(w);  // mesh
  ChunkEnd(w);  // object
}

// A node chunk: number first, so the header that follows takes it.
void PutNode(ChunkWriter* w, const SceneFileNode& node) {
  ChunkBegin(w, node.kind);
  ChunkBegin(w, kChunkNodeNumber);
  ChunkU16(w, static_cast<uint16_t>(node.number));
  ChunkEnd(w);
  ChunkBegin(w, kChunkNodeHeader);
  ChunkString(w, node.name);
  ChunkU16(w, node.flags[0]);
  ChunkU16(w, node.flags[1]);
  ChunkU16(w, static_cast<uint16_t>(node.parent));
  ChunkEnd(w);
  if (!node.instanceName.empty()) {
    ChunkBegin(w, kChunkInstanceName);
    ChunkString(w, node.instanceName);
    ChunkEnd(w);
  }
  ChunkBegin(w, kChunkPivot);
  ChunkVec3(w, node.pivot);
  ChunkEnd(w);
  PutVectorTrack(w, kChunkPositionTrack, node.position);
  PutRotationTrack(w, node.rotation);
  PutVectorTrack(w, kChunkScaleTrack, node.scale);
  PutScalarTrack(w, kChunkFovTrack, node.fov);
  PutScalarTrack(w, kChunkRollTrack, node.roll);
  PutVectorTrack(w, kChunkColourTrack, node.colour);
  ChunkEnd(w);
}

}  // namespace

void ChunkBegin(ChunkWriter* w, uint16_t id) {
  w->open.push_back(w->bytes.size());
  ChunkU16(w, id);
  ChunkU32(w, 0);
}

void ChunkEnd(ChunkWriter* w) {
  if (w->open.empty()) return;
  size_t start = w->open.back();
  w->open.pop_back();
  uint32_t length = static_cast<uint32_t>(w->bytes.size() - start);
  for (int i = 0; i < 4; i++) w->bytes[start + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
}

void ChunkU16(ChunkWriter* w, uint16_t v) {
  uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  Put(w, b, 2);
}

void ChunkU32(ChunkWriter* w, uint32_t v) {
  uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                  static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  Put(w, b, 4);
}

void ChunkFloat(ChunkWriter* w, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  ChunkU32(w, bits);
}

void ChunkVec3(ChunkWriter* w, const Vec3& v) {
  ChunkFloat(w, v.x);
  ChunkFloat(w, v.y);
  ChunkFloat(w, v.z);
}

void ChunkString(ChunkWriter* w, const std::string& s) { Put(w, s.c_str(), s.size() + 1); }

int SceneFileEncode(const SceneFile& scene, std::vector<uint8_t>* out, std::string* message) {
  for (const std::string& name : scene.materials)
    if (!NameFits(name)) return Fail(message, "material name \"" + name + "\" does not fit");
  for (const SceneFileMesh& mesh : scene.meshes)
    if (!CheckMesh(mesh, message)) return 0;
  for (const SceneFileLight& light : scene.lights)
    if (!NameFits(light.name))
      return Fail(message, "light name \"" + light.name + "\" does not fit");
  for (const SceneFileCamera& camera : scene.cameras)
    if (!NameFits(camera.name))
      return Fail(message, "camera name \"" + camera.name + "\" does not fit");
  for (const SceneFileNode& node : scene.nodes)
    if (!CheckNode(node, message)) return 0;

  ChunkWriter w;
  ChunkBegin(&w, kChunkMain);
  ChunkBegin(&w, 0x0002);  // format version, read by nobody here
  ChunkU32(&w, 3);
  ChunkEnd(&w);

  ChunkBegin(&w, kChunkEditor);
  for (const std::string& name : scene.materials) {
    ChunkBegin(&w, kChunkMaterial);
    ChunkBegin(&w, kChunkMaterialName);
    ChunkString(&w, name);
    ChunkEnd(&w);
    ChunkEnd(&w);
  }
  for (const SceneFileMesh& mesh : scene.meshes) PutMesh(&w, mesh);
  for (const SceneFileLight& light : scene.lights) {
    ChunkBegin(&w, kChunkObject);
    ChunkString(&w, light.name);
    ChunkBegin(&w, kChunkLight);
    ChunkVec3(&w, light.position);
    if (light.hasColour) {
      ChunkBegin(&w, kChunkColour);
      ChunkVec3(&w, light.colour);
      ChunkEnd(&w);
    }
    ChunkEnd(&w);
    ChunkEnd(&w);
  }
  for (const SceneFileCamera& camera : scene.cameras) {
    ChunkBegin(&w, kChunkObject);
    ChunkString(&w, camera.name);
    ChunkBegin(&w, kChunkCamera);
    ChunkVec3(&w, camera.position);
    ChunkVec3(&w, camera.target);
    ChunkFloat(&w, camera.roll);
    ChunkFloat(&w, camera.lens);
    ChunkEnd(&w);
    ChunkEnd(&w);
  }
  ChunkEnd(&w);  // editor

  ChunkBegin(&w, kChunkKeyframer);
  ChunkBegin(&w, kChunkSegment);
  ChunkU32(&w, static_cast<uint32_t>(scene.firstFrame));
  ChunkU32(&w, static_cast<uint32_t>(scene.lastFrame));
  ChunkEnd(&w);
  for (const SceneFileNode& node : scene.nodes) PutNode(&w, node);
  // Every light gets a key-frame node: readers of the format expect one,
  // and some refuse a file without it. One not described is made here,
  // numbered after the others, holding the light's place (and colour).
  int32_t nextNumber = 0;
  for (const SceneFileNode& node : scene.nodes) nextNumber = std::max<int32_t>(nextNumber, node.number + 1);
  for (const SceneFileLight& light : scene.lights) {
    bool described = false;
    for (const SceneFileNode& node : scene.nodes)
      described = described || (node.kind == kChunkLightNode && node.name == light.name);
    if (described) continue;
    SceneFileNode node{};
    node.kind = kChunkLightNode;
    node.name = light.name;
    node.number = static_cast<int16_t>(nextNumber++);
    node.position.keys.push_back(SceneFileVectorKey{0, light.position, {}});
    if (light.hasColour) node.colour.keys.push_back(SceneFileVectorKey{0, light.colour, {}});
    PutNode(&w, node);
  }
  ChunkEnd(&w);  // key-framer

  ChunkEnd(&w);  // main
  if (w.bytes.size() > 0xFFFFFFFFu) return Fail(message, "scene larger than a chunk can hold");
  out->swap(w.bytes);
  return 1;
}

int SceneFileSave(const char* path, const SceneFile& scene, std::string* message) {
  std::vector<uint8_t> bytes;
  if (!SceneFileEncode(scene, &bytes, message)) return 0;
  FILE* file = std::fopen(path, "wb");
  if (!file) return Fail(message, std::string("cannot write ") + path);
  size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
  int closed = std::fclose(file);
  if (written != bytes.size() || closed != 0) {
    std::remove(path);
    return Fail(message, std::string("cannot write ") + path);
  }
  return 1;
}
