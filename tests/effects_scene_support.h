// Small scenes and motions for the 3D row tests, written in the scene and
// motion file formats into a data directory of their own, so the rows load
// and play them as they would the show's.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/frames.h"
#include "effects/scene_effects.h"
#include "engine/load_3ds.h"
#include "engine/material_library.h"
#include "engine/write_3ds.h"
#include "engine/write_are.h"
#include "platform/system.h"

namespace scene_test {

// A data directory that lives as long as the object and is the one asset
// names resolve in.
struct DataDir {
  std::string path;
  DataDir() {
    char name[] = "/tmp/kv_scene_XXXXXX";
    path = mkdtemp(name) ? name : "";
    EXPECT_FALSE(path.empty());
    PlatformSetDataDir(path);
  }
  ~DataDir() {
    PlatformSetDataDir("");
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  // The file system path of an asset name, its directory made.
  std::string File(const char* asset) {
    const std::string p = PlatformAssetPath(asset);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    return p;
  }
  void Write(const char* asset, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(File(asset).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
};

// Axis-aligned box from lo to hi in file terms (z-up), every side wound
// counter-clockwise seen from outside.
inline SceneFileMesh Box(const char* name, Vec3 lo, Vec3 hi) {
  SceneFileMesh m;
  m.name = name;
  for (int i = 0; i < 8; i++)
    m.vertices.push_back({i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z});
  const uint16_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    m.faces.push_back({q[0], q[1], q[2], 0});
    m.faces.push_back({q[0], q[2], q[3], 0});
  }
  return m;
}

inline SceneFileNode Node(uint16_t kind, const std::string& name, int16_t number) {
  SceneFileNode n = {};
  n.kind = kind, n.name = name, n.number = number, n.parent = -1;
  return n;
}

// A mesh node that keeps its mesh where the file put it, or moves it along
// a straight line of key positions (offsets from where it was modelled).
inline SceneFileNode MeshNode(const std::string& name, int16_t number,
                              const std::vector<std::pair<int, Vec3>>& keys = {{0, {0, 0, 0}}}) {
  SceneFileNode n = Node(kChunkMeshNode, name, number);
  for (const auto& k : keys) n.position.keys.push_back({k.first, k.second, {}});
  return n;
}

// Camera and its target node, fixed, 60 degrees.
inline void AddCamera(SceneFile* f, const std::string& name, Vec3 eye, Vec3 target,
                      int16_t number) {
  f->cameras.push_back({name, eye, target, 0, 50});
  SceneFileNode e = Node(kChunkCameraNode, name, number);
  e.position.keys = {{0, eye, {}}};
  e.fov.keys = {{0, 60.0f, {}}};
  e.roll.keys = {{0, 0.0f, {}}};
  SceneFileNode t = Node(kChunkTargetNode, name, static_cast<int16_t>(number + 1));
  t.position.keys = {{0, target, {}}};
  f->nodes.push_back(e);
  f->nodes.push_back(t);
}

inline std::vector<uint8_t> Encode(const SceneFile& file) {
  std::vector<uint8_t> bytes;
  std::string message;
  EXPECT_EQ(SceneFileEncode(file, &bytes, &message), 1) << message;
  return bytes;
}

// Replaces a show scene by the file's.
inline void LoadInto(Scene* scene, const SceneFile& file) {
  Load3dsRelease(scene);
  const std::vector<uint8_t> bytes = Encode(file);
  Load3dsResult result;
  ASSERT_EQ(Load3dsParse(scene, bytes.data(), bytes.size(), "test.3ds", 1.0f, &result), 1)
      << result.message;
  ASSERT_EQ(SceneBuildHierarchy(scene), 1);
}

// A white texture on every material, so that whatever is drawn is lit.
inline const uint32_t* WhiteTexture() {
  static std::vector<uint32_t> texels(256 * 256, 0xFFFFFF);
  return texels.data();
}
inline void Whiten(Scene* scene) {
  for (int i = 0; i < scene->materialCount; i++)
    MaterialSetTexture(&scene->materials[i], 0x200, 0, WhiteTexture(), 1);
}

// A motion of `parts` parts named part0.. (names no scene here has), each
// two identity frames.
inline std::vector<MotionTrack> Motion(int parts) {
  std::vector<MotionTrack> tracks;
  Mat4 id;
  MatIdentity(&id);
  for (int i = 0; i < parts; i++) tracks.push_back({"part" + std::to_string(i), {id, id}});
  return tracks;
}

// Pixels that differ from the frame's fill inside a rectangle.
inline int Drawn(const uint32_t* frame, int x0, int y0, int x1, int y1, uint32_t fill = 0) {
  int n = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) n += frame[y * kFrameWidth + x] != fill;
  return n;
}

}  // namespace scene_test
