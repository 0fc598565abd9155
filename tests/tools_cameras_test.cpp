// The generated cameras against the generated geometry: at every scene
// frame the effects show, each camera used there keeps a margin from every
// face of every object of its scene (the dancer, the subject, aside), and
// stays inside the rooms and skies that enclose it. And the dancer's joints stay closed:
// at every frame of the five dances both parts meeting at a joint reach
// into each other there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/motion.h"
#include "engine/scene.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "tests/tools_scene_support.h"
#include "tests/tools_support.h"
#include "tools/gen_scenes.h"

namespace {

struct Box {
  Vec3 lo, hi;
};

Box WorldBounds(const Scene* s, const Mesh& mesh) {
  Box b = {{1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}};
  for (int v = 0; v < mesh.vertexCount; v++) {
    Vec3 p;
    MatTransformPoint(s->vertices[mesh.firstVertex + v].position, mesh.world, &p);
    b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
    b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
  }
  return b;
}

// Distance from p to the box, 0 inside it.
float Outside(const Box& b, Vec3 p) {
  float dx = std::max({b.lo.x - p.x, 0.0f, p.x - b.hi.x});
  float dy = std::max({b.lo.y - p.y, 0.0f, p.y - b.hi.y});
  float dz = std::max({b.lo.z - p.z, 0.0f, p.z - b.hi.z});
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Distance from p to the nearest wall of a box it is inside; negative
// outside.
float Inside(const Box& b, Vec3 p) {
  return std::min({p.x - b.lo.x, b.hi.x - p.x, p.y - b.lo.y, b.hi.y - p.y, p.z - b.lo.z,
                   b.hi.z - p.z});
}

Vec3 Sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float DotV(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Along(Vec3 a, Vec3 d, float t) { return {a.x + d.x * t, a.y + d.y * t, a.z + d.z * t}; }

// Distance from p to the triangle abc (its nearest point by the triangle's
// regions: a corner, an edge or the inside).
float TriangleDistance(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
  const Vec3 ab = Sub(b, a), ac = Sub(c, a), ap = Sub(p, a);
  const float d1 = DotV(ab, ap), d2 = DotV(ac, ap);
  Vec3 q;
  if (d1 <= 0 && d2 <= 0) {
    q = a;
  } else {
    const Vec3 bp = Sub(p, b);
    const float d3 = DotV(ab, bp), d4 = DotV(ac, bp);
    const Vec3 cp = Sub(p, c);
    const float d5 = DotV(ab, cp), d6 = DotV(ac, cp);
    const float vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
    if (d3 >= 0 && d4 <= d3) {
      q = b;
    } else if (d6 >= 0 && d5 <= d6) {
      q = c;
    } else if (vc <= 0 && d1 >= 0 && d3 <= 0) {
      q = Along(a, ab, d1 / (d1 - d3));
    } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
      q = Along(a, ac, d2 / (d2 - d6));
    } else if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
      q = Along(b, Sub(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6)));
    } else {
      const float den = 1.0f / (va + vb + vc);
      q = Along(Along(a, ab, vb * den), ac, vc * den);
    }
  }
  const Vec3 d = Sub(p, q);
  return std::sqrt(DotV(d, d));
}

// Distance from p to the nearest face of the mesh as posed; the mesh's
// bounds first, so far meshes cost one box test.
float MeshDistance(const Scene* s, const Mesh& mesh, const Box& bounds, Vec3 p, float within) {
  if (Outside(bounds, p) >= within) return Outside(bounds, p);
  std::vector<Vec3> at(mesh.vertexCount);
  for (int v = 0; v < mesh.vertexCount; v++)
    MatTransformPoint(s->vertices[mesh.firstVertex + v].position, mesh.world, &at[v]);
  float best = 1e30f;
  for (int f = 0; f < mesh.faceCount; f++) {
    const Face& face = s->faces[mesh.firstFace + f];
    best = std::min(best, TriangleDistance(p, at[face.index[0] - mesh.firstVertex],
                                           at[face.index[1] - mesh.firstVertex],
                                           at[face.index[2] - mesh.firstVertex]));
  }
  return best;
}

// One stretch of a scene's clock that an effect shows through one camera.
struct Shot {
  const char* scene;
  int camera;
  float from, to;  // scene frames
};

// The effects' rows as scene clocks: 22.5 frames a second, from the show's
// start for the catwalk's first rows and from each row's start otherwise;
// the city runs at each row's own speed and offset.
const Shot kShots[] = {
    {kSceneCatwalk, 0, 0, 87},     {kSceneCatwalk, 2, 87, 146},  {kSceneCatwalk, 0, 146, 218},
    {kSceneCatwalk, 1, 218, 270},  {kSceneCatwalk, 0, 270, 315}, {kSceneCatwalk, 4, 0, 187},
    {kSceneCatwalk, 3, 0, 378},    {kSceneCatwalk, 5, 0, 45},    {kSceneCatwalk, 6, 0, 225},
    {kSceneBox, 0, 0, 68},         {kSceneBox, 1, 0, 203},       {kSceneBox, 2, 0, 324},
    {kSceneFloor, 0, 0, 158},      {kSceneFloor, 1, 0, 338},     {kSceneFloor, 2, 157, 315},
    {kSceneCity, 1, 0, 71},        {kSceneCity, 0, 0, 46},       {kSceneCity, 0, 160, 369},
    {kSceneCity, 1, 12, 160},      {kSceneCity, 4, 0, 83},       {kSceneObject, 0, 0, 439},
};

constexpr float kMargin = 20.0f;

bool IsDancerPart(const char* name) {
  for (const char* part : kDancerPartNames)
    if (std::strcmp(part, name) == 0) return true;
  return false;
}

// Meshes the cameras are meant to be inside of: the rooms, the dance
// floor's sky.
bool IsEnclosure(const char* name) {
  return std::strcmp(name, "Hall") == 0 || std::strcmp(name, "Room") == 0 ||
         std::strcmp(name, "Sky") == 0;
}

TEST(GeneratedCameras, KeepClearOfEveryObjectAtEveryFrameShown) {
  // The measures themselves.
  const Box unit = {{0, 0, 0}, {10, 10, 10}};
  EXPECT_FLOAT_EQ(Outside(unit, {13, 14, 5}), 5.0f);
  EXPECT_FLOAT_EQ(Outside(unit, {5, 5, 5}), 0.0f);
  EXPECT_FLOAT_EQ(Inside(unit, {2, 5, 5}), 2.0f);
  EXPECT_LT(Inside(unit, {-1, 5, 5}), 0.0f);
  EXPECT_FLOAT_EQ(TriangleDistance({0, 0, 5}, {-1, -1, 0}, {4, -1, 0}, {-1, 4, 0}), 5.0f);
  EXPECT_FLOAT_EQ(TriangleDistance({7, -1, 0}, {-1, -1, 0}, {4, -1, 0}, {-1, 4, 0}), 3.0f);

  for (const Shot& shot : kShots) {
    SCOPED_TRACE(std::string(shot.scene) + " camera " + std::to_string(shot.camera));
    LoadedScene loaded;
    Load(shot.scene, &loaded);
    Scene* s = loaded.scene.get();
    ASSERT_LT(shot.camera, s->cameraCount);
    int failures = 0;
    for (float f = shot.from; f <= shot.to && failures < 5; f += 1.0f) {
      SceneSetFrame(s, f);
      SceneUpdateMeshMatrices(s);
      const Vec3 eye = s->cameras[shot.camera].positionNode.position.current;
      for (int m = 0; m < s->meshCount; m++) {
        const Mesh& mesh = s->meshes[m];
        if (mesh.vertexCount == 0 || IsDancerPart(mesh.name)) continue;
        const Box b = WorldBounds(s, mesh);
        float clearance = MeshDistance(s, mesh, b, eye, kMargin);
        if (IsEnclosure(mesh.name)) clearance = std::min(clearance, Inside(b, eye));
        if (clearance < kMargin) {
          ADD_FAILURE() << "frame " << f << ": " << mesh.name << " at " << clearance
                        << " from the eye (" << eye.x << ", " << eye.y << ", " << eye.z << ")";
          failures++;
        }
      }
    }
  }
}

// ---- the dancer's joints ----------------------------------------------------

struct WorldMesh {
  std::vector<Vec3> points;
  std::vector<int> corners;  // three per face, into points
};

WorldMesh Posed(const Scene* s, const Mesh& mesh) {
  WorldMesh w;
  for (int v = 0; v < mesh.vertexCount; v++) {
    Vec3 p;
    MatTransformPoint(s->vertices[mesh.firstVertex + v].position, mesh.world, &p);
    w.points.push_back(p);
  }
  for (int f = 0; f < mesh.faceCount; f++)
    for (int c = 0; c < 3; c++)
      w.corners.push_back(s->faces[mesh.firstFace + f].index[c] - mesh.firstVertex);
  return w;
}

// Inside a closed mesh: a ray from p crosses its surface an odd number of
// times. The ray's direction is skewed off the lathes' axes and seams.
bool Contains(const WorldMesh& w, Vec3 p) {
  const Vec3 d = {0.5773f, 0.5774f, 0.5771f};
  int crossings = 0;
  for (size_t i = 0; i + 2 < w.corners.size(); i += 3) {
    const Vec3 &a = w.points[w.corners[i]], &b = w.points[w.corners[i + 1]],
               &c = w.points[w.corners[i + 2]];
    const Vec3 e1 = {b.x - a.x, b.y - a.y, b.z - a.z}, e2 = {c.x - a.x, c.y - a.y, c.z - a.z};
    const Vec3 h = {d.y * e2.z - d.z * e2.y, d.z * e2.x - d.x * e2.z, d.x * e2.y - d.y * e2.x};
    const float det = e1.x * h.x + e1.y * h.y + e1.z * h.z;
    if (std::fabs(det) < 1e-9f) continue;
    const Vec3 sv = {p.x - a.x, p.y - a.y, p.z - a.z};
    const float u = (sv.x * h.x + sv.y * h.y + sv.z * h.z) / det;
    if (u < 0.0f || u > 1.0f) continue;
    const Vec3 q = {sv.y * e1.z - sv.z * e1.y, sv.z * e1.x - sv.x * e1.z, sv.x * e1.y - sv.y * e1.x};
    const float v = (d.x * q.x + d.y * q.y + d.z * q.z) / det;
    if (v < 0.0f || u + v > 1.0f) continue;
    if ((e2.x * q.x + e2.y * q.y + e2.z * q.z) / det > 0.0f) crossings++;
  }
  return crossings % 2 == 1;
}

// At a joint the child part holds the joint, and the two parts share some
// point within 3 units of it: one of the joint and the points 1.5 and 3
// units from it along each axis lies inside both.
bool JointClosed(const WorldMesh& parent, const WorldMesh& child, Vec3 joint) {
  if (!Contains(child, joint)) return false;
  if (Contains(parent, joint)) return true;
  for (float step : {1.5f, 3.0f})
    for (int axis = 0; axis < 3; axis++)
      for (float sign : {-1.0f, 1.0f}) {
        Vec3 p = joint;
        (axis == 0 ? p.x : axis == 1 ? p.y : p.z) += sign * step;
        if (Contains(parent, p) && Contains(child, p)) return true;
      }
  return false;
}

TEST(GeneratedDancer, JointsStayClosedInEveryFrameOfEveryDance) {
  // The measure itself: two balls apart do not make a joint, touching ones do.
  SceneFileMesh a, b;
  KitLathe(&a, {0, 0, -10}, {0, 0, 0}, {1, 0, 0}, {{0, 0, 0}, {0.5f, 4, 4}, {1, 0, 0}}, 12, 1, 1, "m");
  KitLathe(&b, {0, 0, 1}, {0, 0, 11}, {1, 0, 0}, {{0, 0, 0}, {0.5f, 4, 4}, {1, 0, 0}}, 12, 1, 1, "m");
  auto asWorld = [](const SceneFileMesh& m) {
    WorldMesh w{m.vertices, {}};
    for (const SceneFileFace& f : m.faces) w.corners.insert(w.corners.end(), {f.a, f.b, f.c});
    return w;
  };
  SceneFileMesh c;
  KitLathe(&c, {0, 0, -3}, {0, 0, 8}, {1, 0, 0}, {{0, 0, 0}, {0.5f, 4, 4}, {1, 0, 0}}, 12, 1, 1, "m");
  EXPECT_FALSE(JointClosed(asWorld(a), asWorld(b), {0, 0, 0.5f}));
  EXPECT_TRUE(JointClosed(asWorld(a), asWorld(c), {0, 0, -2.0f}));
  EXPECT_TRUE(Contains(asWorld(b), {0, 0, 6}));
  EXPECT_FALSE(Contains(asWorld(b), {0, 5, 6}));

  LoadedScene loaded;
  Load(kSceneBox, &loaded);
  Scene* s = loaded.scene.get();
  std::vector<Mesh*> parts;
  for (const char* name : kDancerPartNames) {
    parts.push_back(SceneFindMesh(s, name));
    ASSERT_NE(parts.back(), nullptr) << name;
  }
  for (int k = 0; k < 5; k++) {
    SCOPED_TRACE(kMotionFiles[k]);
    ASSERT_EQ(LoadMotion(kMotionFiles[k]), MOTION_OK);
    MotionFrameDuration = 1.0f;
    ResetMotion();
    int failures = 0;
    for (int frame = 0; frame < MotionParts[0].frameCount - 1 && failures < 5; frame++) {
      ApplyMotion(s, static_cast<float>(frame));
      std::vector<WorldMesh> posed;
      for (Mesh* m : parts) posed.push_back(Posed(s, *m));
      for (int p = 0; p < kDancerParts; p++) {
        const int parent = kDancerPartTable[p].parent;
        if (parent < 0) continue;
        // The joint is the origin of the child's frame.
        Vec3 joint;
        MatTransformPoint(Vec3{0, 0, 0}, parts[p]->world, &joint);
        if (!JointClosed(posed[parent], posed[p], joint)) {
          ADD_FAILURE() << "frame " << frame << ": " << kDancerPartNames[p] << " and "
                        << kDancerPartNames[parent] << " part at their joint";
          failures++;
        }
      }
    }
  }
}

}  // namespace
