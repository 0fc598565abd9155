// Scenes built by hand for the render pipeline tests: meshes from corner
// lists, a cube with one texture square per side, targets with guard pixels
// around them.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/material_library.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"

namespace render_test {

struct OwnedViewport {
  Viewport vp = {};
  OwnedViewport(int faces, int width, int height) {
    EXPECT_EQ(ViewportCreate(&vp, faces, width, height), 1);
  }
  ~OwnedViewport() { std::free(vp.faceList); }
  OwnedViewport(const OwnedViewport&) = delete;
  OwnedViewport& operator=(const OwnedViewport&) = delete;
};

inline std::unique_ptr<Scene> NewScene(int vertices, int faces, int meshes, int lights = 0,
                                       int cameras = 0) {
  auto scene = std::make_unique<Scene>();
  EXPECT_EQ(SceneCreate(scene.get(), vertices, faces, meshes, lights, cameras, 0), 1);
  return scene;
}

// A mesh from positions and corner triples (indices into positions), with
// normals, face mapping and bounds as the loader leaves them. uv, when given,
// is one (u, v) per position.
inline Mesh* AddMesh(Scene* scene, const std::vector<Vec3>& positions,
                     const std::vector<std::array<int, 3>>& triangles,
                     const std::vector<std::array<float, 2>>& uv = {}) {
  Mesh* mesh = SceneAddMesh(scene, "mesh");
  Vertex* v = MeshAddVertices(mesh, static_cast<int>(positions.size()));
  for (size_t i = 0; i < positions.size(); i++) {
    v[i].position = positions[i];
    if (!uv.empty()) v[i].u = uv[i][0], v[i].v = uv[i][1];
  }
  mesh->hasMapping = uv.empty() ? 0 : 1;
  Face* f = MeshAddFaces(mesh, static_cast<int>(triangles.size()));
  for (size_t i = 0; i < triangles.size(); i++) {
    const auto& t = triangles[i];
    EXPECT_EQ(FaceSetCorners(scene, &f[i], mesh->firstVertex + t[0], mesh->firstVertex + t[1],
                             mesh->firstVertex + t[2]),
              1);
  }
  MeshComputeNormals(mesh);
  MeshComputeFaceMapping(mesh);
  MeshComputeBounds(mesh);
  return mesh;
}

// Axis-aligned cube of half-size h around centre; each side a square of two
// faces wound counter-clockwise seen from outside, mapped over the whole
// texture.
inline Mesh* AddCube(Scene* scene, Vec3 centre, float h) {
  std::vector<Vec3> positions;
  std::vector<std::array<int, 3>> triangles;
  std::vector<std::array<float, 2>> uv;
  const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int side = 0; side < 6; side++) {
    const float sign = side < 3 ? 1.0f : -1.0f;
    const Vec3 n = {axes[side % 3].x * sign, axes[side % 3].y * sign, axes[side % 3].z * sign};
    const Vec3 up = side % 3 == 1 ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
    // Seen from outside the viewer looks along -n; right = up x forward.
    Vec3 forward = {-n.x, -n.y, -n.z}, right;
    VecCross(up, forward, &right);
    const int base = static_cast<int>(positions.size());
    const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : corner) {
      positions.push_back({centre.x + h * (n.x + c[0] * right.x + c[1] * up.x),
                           centre.y + h * (n.y + c[0] * right.y + c[1] * up.y),
                           centre.z + h * (n.z + c[0] * right.z + c[1] * up.z)});
      uv.push_back({c[0] < 0 ? 0.0f : 255.0f, c[1] < 0 ? 255.0f : 0.0f});
    }
    triangles.push_back({base, base + 1, base + 2});
    triangles.push_back({base, base + 2, base + 3});
  }
  return AddMesh(scene, positions, triangles, uv);
}

// A w x h frame and depth buffer inside a larger allocation: guard pixels
// around it must keep their value whatever is drawn.
struct GuardedTarget {
  static constexpr int kGuard = 8;
  static constexpr uint32_t kGuardColour = 0xDEADBEEF;
  static constexpr int32_t kGuardDepth = 0x7EADBEEF;
  int width, height, pitch;
  std::vector<uint32_t> colour;
  std::vector<int32_t> depth;
  GuardedTarget(int w, int h, uint32_t fill = 0)
      : width(w),
        height(h),
        pitch(w + 2 * kGuard),
        colour(static_cast<size_t>(pitch) * (h + 2 * kGuard), kGuardColour),
        depth(colour.size(), kGuardDepth) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) Pixel(x, y) = fill, Depth(x, y) = 0;
  }
  size_t Index(int x, int y) const {
    return static_cast<size_t>(y + kGuard) * pitch + static_cast<size_t>(x + kGuard);
  }
  uint32_t& Pixel(int x, int y) { return colour[Index(x, y)]; }
  int32_t& Depth(int x, int y) { return depth[Index(x, y)]; }
  uint32_t* Frame() { return &colour[Index(0, 0)]; }
  int32_t* DepthBuffer() { return &depth[Index(0, 0)]; }
  void Attach(Viewport* vp) { ViewportSetTarget(vp, pitch * 4, Frame(), DepthBuffer()); }
  bool GuardsIntact() const {
    for (int y = -kGuard; y < height + kGuard; y++)
      for (int x = -kGuard; x < width + kGuard; x++) {
        if (x >= 0 && x < width && y >= 0 && y < height) continue;
        if (colour[Index(x, y)] != kGuardColour || depth[Index(x, y)] != kGuardDepth) return false;
      }
    return true;
  }
};

inline void PlaceCamera(Camera* camera, Vec3 eye, Vec3 target, float fov, float roll = 0.0f) {
  camera->positionNode.position.current = eye;
  camera->targetNode.position.current = target;
  camera->positionNode.fov.current = fov;
  camera->positionNode.roll.current = roll;
}

}  // namespace render_test
