// Hand-built scenes and guarded targets for the render pipeline tests.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/engine_owned_scene.h"
#include "engine/material_library.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"
#include "show/fade.h"

namespace render_test {

using Triangles = std::vector<std::array<int, 3>>;

// The SIMD paths on or off, as /nommx chooses, for the life of the object;
// the choice before is put back afterwards.
struct SimdPaths {
  int before = HasMmx();
  explicit SimdPaths(bool on) { InitFadeOperations(320, 240, on ? 0 : 1); }
  ~SimdPaths() { InitFadeOperations(320, 240, before ? 0 : 1); }
  SimdPaths(const SimdPaths&) = delete;
  SimdPaths& operator=(const SimdPaths&) = delete;
};

struct OwnedViewport {
  Viewport vp = {};
  OwnedViewport(int faces, int width, int height) {
    EXPECT_EQ(ViewportCreate(&vp, faces, width, height), 1);
  }
  ~OwnedViewport() { std::free(vp.faceList); }
};

inline OwnedScene NewScene(int vertices, int faces, int meshes, int lights = 0) {
  auto scene = MakeOwnedScene();
  EXPECT_EQ(SceneCreate(scene.get(), vertices, faces, meshes, lights, 1, 0), 1);
  return scene;
}

// A mesh as the loader leaves it: normals, face mapping, bounds. uv, when
// given, is one (u, v) per position.
inline Mesh* AddMesh(Scene* scene, const std::vector<Vec3>& positions, const Triangles& triangles,
                     const std::vector<std::array<float, 2>>& uv = {}) {
  Mesh* mesh = SceneAddMesh(scene, "mesh");
  Vertex* v = MeshAddVertices(mesh, static_cast<int>(positions.size()));
  for (size_t i = 0; i < positions.size(); i++) {
    v[i].position = positions[i];
    if (!uv.empty()) v[i].u = uv[i][0], v[i].v = uv[i][1];
  }
  mesh->hasMapping = !uv.empty();
  Face* f = MeshAddFaces(mesh, static_cast<int>(triangles.size()));
  for (size_t i = 0; i < triangles.size(); i++) {
    const int first = mesh->firstVertex;
    const auto& t = triangles[i];
    EXPECT_EQ(FaceSetCorners(scene, &f[i], first + t[0], first + t[1], first + t[2]), 1);
  }
  MeshComputeNormals(mesh);
  MeshComputeFaceMapping(mesh);
  MeshComputeBounds(mesh);
  return mesh;
}

// Cube of half-size h; each side two faces, counter-clockwise seen from
// outside, mapped over the whole texture.
inline Mesh* AddCube(Scene* scene, float h) {
  std::vector<Vec3> p;
  Triangles t;
  std::vector<std::array<float, 2>> uv;
  for (int side = 0; side < 6; side++) {
    const float s = side < 3 ? 1.0f : -1.0f;
    const int axis = side % 3;
    const Vec3 n = {axis == 0 ? s : 0, axis == 1 ? s : 0, axis == 2 ? s : 0};
    Vec3 right;
    const Vec3 up = axis == 1 ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
    VecCross(up, Vec3{-n.x, -n.y, -n.z}, &right);  // the viewer looks along -n
    const int base = static_cast<int>(p.size());
    static const float kCorner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : kCorner) {
      p.push_back({h * (n.x + c[0] * right.x + c[1] * up.x),
                   h * (n.y + c[0] * right.y + c[1] * up.y),
                   h * (n.z + c[0] * right.z + c[1] * up.z)});
      uv.push_back({c[0] < 0 ? 0.0f : 255.0f, c[1] < 0 ? 255.0f : 0.0f});
    }
    t.push_back({base, base + 1, base + 2});
    t.push_back({base, base + 2, base + 3});
  }
  return AddMesh(scene, p, t, uv);
}

// A w x h frame and depth buffer inside a larger block whose border must
// keep its value whatever is drawn.
struct GuardedTarget {
  static constexpr int kGuard = 8;
  static constexpr int32_t kMark = -12345;
  int width, height, pitch;
  std::vector<uint32_t> colour;
  std::vector<int32_t> depth;
  GuardedTarget(int w, int h)
      : width(w),
        height(h),
        pitch(w + 2 * kGuard),
        colour(size_t(pitch) * (h + 2 * kGuard), kMark),
        depth(colour.size(), kMark) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) Pixel(x, y) = 0, Depth(x, y) = 0;
  }
  size_t Index(int x, int y) const { return size_t(y + kGuard) * pitch + size_t(x + kGuard); }
  uint32_t& Pixel(int x, int y) { return colour[Index(x, y)]; }
  int32_t& Depth(int x, int y) { return depth[Index(x, y)]; }
  void Attach(Viewport* vp) { ViewportSetTarget(vp, pitch * 4, &Pixel(0, 0), &Depth(0, 0)); }
  // Every mark is still in place: as many as the border holds.
  bool GuardsIntact() const {
    const size_t border = colour.size() - size_t(width) * height;
    return size_t(std::count(colour.begin(), colour.end(), uint32_t(kMark))) == border &&
           size_t(std::count(depth.begin(), depth.end(), kMark)) == border;
  }
};

inline Camera* AddCamera(Scene* scene, Vec3 eye, Vec3 target, float fov, float roll = 0.0f) {
  Camera* camera = SceneAddCamera(scene, "cam");
  camera->positionNode.position.current = eye;
  camera->targetNode.position.current = target;
  camera->positionNode.fov.current = fov;
  camera->positionNode.roll.current = roll;
  return camera;
}

}  // namespace render_test
