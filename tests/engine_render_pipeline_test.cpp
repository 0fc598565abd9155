// Projection, culling, back faces, the face list, clipping, light, fade, sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <utility>

#include "engine_render_support.h"

using namespace render_test;

namespace {

TEST(RenderViewport, ProjectionCentreAndScales) {
  OwnedViewport v(10, 320, 240);
  const float sx = 277.128f, sy = 289.706f;  // 60 degrees across, 45 down
  const std::pair<Vec3, std::pair<float, float>> cases[] = {
      {{0, 0, 10}, {159.5f, 119.5f}},
      {{10, -10, 10}, {159.5f + sx, 119.5f + sy}},
      {{-2, 4, 2}, {159.5f - sx, 119.5f - 2 * sy}},
      {{1, 1, 0}, {159.5f + sx, 119.5f - sy}},                    // z = 0 divides by 1
      {{-100 * std::tan(0.5235988f), 0, 100}, {-0.5f, 119.5f}}};  // on a side plane
  for (const auto& [view, screen] : cases) {
    Vertex p = {};
    p.view = view;
    ProjectVertex(&v.vp, &p);
    EXPECT_NEAR(p.screenX, screen.first, 0.01f) << view.x;
    EXPECT_NEAR(p.screenY, screen.second, 0.01f) << view.y;
  }
  ViewportSetFarPlane(&v.vp, 300, 700);
  ViewportEnableFarPlane(&v.vp, 1);
  ViewportSetFov(&v.vp, 90);  // drops the far plane, keeps the fade
  EXPECT_EQ(v.vp.planeCount, 5);
  EXPECT_EQ(v.vp.fadeEnabled, 1);
  EXPECT_NEAR(v.vp.scaleX, 160.0f, 0.001f);
  // The vertical angle is rounded once, not after tripling the degrees.
  const std::pair<float, float> vertical[] = {
      {60, 0x1.921fb6p-1f},
      {71.9f, 0x1.e1e0e2p-1f},
      {48.65f, 0x1.460e32p-1f},
      {29.9f, 0x1.90c892p-2f}};
  for (const auto& [degrees, fovY] : vertical) {
    ViewportSetFov(&v.vp, degrees);
    EXPECT_EQ(v.vp.fovY, fovY) << degrees;
  }
  // A refused re-creation leaves the viewport, its face list included, whole.
  Face** list = v.vp.faceList;
  const float scaleX = v.vp.scaleX;
  for (auto [faces, width, height] : {std::tuple{-1, 320, 240}, std::tuple{8, 0, 240}, std::tuple{8, 320, -2}}) {
    EXPECT_EQ(ViewportCreate(&v.vp, faces, width, height), 0);
    EXPECT_EQ(v.vp.faceList, list);
    EXPECT_EQ(v.vp.width, 320);
    EXPECT_EQ(v.vp.scaleX, scaleX);
  }
  // A valid re-creation starts the viewport afresh with a list of the new
  // size; the old list is freed (the leak check reports one that is not).
  for (auto [faces, width, height] : {std::tuple{4, 256, 256}, std::tuple{0, 64, 48}, std::tuple{10, 320, 240}}) {
    ViewportSetFarPlane(&v.vp, 300, 700);
    EXPECT_EQ(ViewportCreate(&v.vp, faces, width, height), 1);
    ASSERT_NE(v.vp.faceList, nullptr);
    EXPECT_EQ(v.vp.faceCapacity, faces);
    EXPECT_EQ(v.vp.width, width);
    EXPECT_EQ(v.vp.centreY, static_cast<float>(height) * 0.5f - 0.5f);
    EXPECT_EQ(v.vp.planeCount, 5);
    EXPECT_EQ(v.vp.farZ, 0.0f);
  }
}

TEST(RenderSubmit, CullingOutcodesAndBackFaces) {
  const std::vector<Vec3> small = {{0, 0, 0}, {0, -0.2f, 0}, {0.2f, 0, 0.5f}};
  const std::vector<Vec3> smallBack = {small[0], small[2], small[1]};
  // A corner behind the eye flips the screen winding: the camera-space test
  // decides.
  const std::vector<Vec3> behind = {{0, 0, 10}, {0, -5, -5}, {5, 0, 10}};
  const std::vector<Vec3> behindBack = {behind[0], behind[2], behind[1]};
  const int behindEye = 0x17;  // outside planes 0, 1, 2 and the near plane
  struct Case {
    const std::vector<Vec3>* corners;
    Vec3 offset;
    int cullMode;
    bool farPlane, touched;  // touched: the mesh was not skipped whole
    int faces, outcodes;
  } cases[] = {
      {&small, {0, 0, 10}, 0, false, true, 1, 0},
      {&small, {0, 0, -10}, 0, false, false, 0, 0},   // behind the eye
      {&small, {0, 0, 0.5f}, 0, false, false, 0, 0},  // all corners at z <= 1
      {&small, {-50, 0, 10}, 0, false, false, 0, 0},
      {&small, {0, 50, 10}, 0, false, false, 0, 0},
      {&small, {0, 0, 800}, 0, true, false, 0, 0},  // beyond the far plane
      {&small, {0, 0, 0.9f}, 0, false, true, 1, 1 << kPlaneNear},
      {&smallBack, {0, 0, 10}, 0, false, true, 0, 0},
      {&small, {0, 0, 10}, 1, false, true, 0, 0},
      {&smallBack, {0, 0, 10}, 1, false, true, 1, 0},
      {&smallBack, {0, 0, 10}, 2, false, true, 1, 0},
      {&behind, {}, 0, false, true, 1, behindEye},
      {&behindBack, {}, 0, false, true, 0, behindEye},
      {&behind, {}, 1, false, true, 0, behindEye},
  };
  for (const Case& c : cases) {
    OwnedViewport v(10, 320, 240);
    ViewportSetCullMode(&v.vp, c.cullMode);
    if (c.farPlane) ViewportSetFarPlane(&v.vp, 300, 700);
    auto scene = NewScene(3, 1, 1);
    Mesh* mesh = AddMesh(scene.get(), *c.corners, {{0, 1, 2}});
    mesh->world.m[12] = c.offset.x, mesh->world.m[13] = c.offset.y, mesh->world.m[14] = c.offset.z;
    for (int i = 0; i < 3; i++) scene->vertices[i].view = {-7, -7, -7};
    MeshSubmit(mesh, &v.vp);
    const Vertex* p = scene->vertices;
    SCOPED_TRACE(testing::Message() << (c.corners == &small) << " " << c.offset.x << " "
                                    << c.offset.y << " " << c.offset.z << " " << c.cullMode);
    EXPECT_EQ(v.vp.faceCount, c.faces);
    EXPECT_EQ(p[0].view.x != -7, c.touched);
    if (c.touched) {
      EXPECT_EQ(p[0].outcode | p[1].outcode | p[2].outcode, c.outcodes);
    }
  }
  // A list of 5 takes 5 of 16 faces; a mesh reaching past its pools is not
  // read at all.
  OwnedViewport v(5, 320, 240);
  auto scene = NewScene(3, 8, 1);
  Mesh* mesh = AddMesh(scene.get(), {{0, 0, 10}, {0, -1, 11}, {1, 0, 10}}, Triangles(8, {0, 1, 2}));
  MeshSubmit(mesh, &v.vp);
  MeshSubmit(mesh, &v.vp);
  EXPECT_EQ(v.vp.faceCount, 5);
  EXPECT_EQ(scene->faces[0].depthKey, 11);
  ViewportClearFaces(&v.vp);
  mesh->faceCount = 9;
  MeshSubmit(mesh, &v.vp);
  EXPECT_EQ(v.vp.faceCount, 0);
}

TEST(RenderClip, PolygonKeepsTheInnerSideOfThePlane) {
  const Plane nearPlane = {0, 0, 1, 1}, farPlane = {0, 0, -1, -700};
  struct Case {
    Plane plane;
    std::vector<float> z;  // corner i at (i, 0, z)
    int count;
    float cut;  // z of every new vertex
  } cases[] = {{nearPlane, {2, 1, 4}, 3, 0},
               {nearPlane, {0.5f, -1, 0}, 0, 0},
               {nearPlane, {0, 5, 5}, 4, 1},
               {nearPlane, {0, -3, 9}, 3, 1},
               {farPlane, {600, 800, 650}, 4, 700},
               {nearPlane, {1, 1, 1}, 3, 0},  // on the plane counts as inside
               {farPlane, {700, 1, 699}, 3, 0}};
  for (const Case& c : cases) {
    std::vector<Vertex> corner(c.z.size(), Vertex{});
    std::vector<Vertex*> ptr;
    for (size_t i = 0; i < corner.size(); i++) {
      corner[i].view = {float(i), 0, c.z[i]};
      corner[i].u = corner[i].light.x = 10 * c.z[i];  // mapping and light follow the cut
      ptr.push_back(&corner[i]);
    }
    PolygonBegin(ptr.data(), int(ptr.size()));
    ClipPolygon(c.plane);
    ASSERT_EQ(PolygonState.count, c.count) << c.z[0];
    const Vertex* last = nullptr;  // corners kept keep their order
    for (int i = 0; i < c.count; i++) {
      const Vertex* v = PolygonState.vertices[i];
      if (v >= &corner.front() && v <= &corner.back()) {
        EXPECT_GT(v, last);
        last = v;
        continue;
      }
      EXPECT_NEAR(v->view.z, c.cut, 1e-3f);
      EXPECT_NEAR(v->u, 10 * c.cut, 1e-2f);
      EXPECT_NEAR(v->light.x, 10 * c.cut, 1e-2f);
    }
  }
  // Planes that leave the polygon whole change nothing between the cuts:
  // the same corners and new vertices as the cut alone.
  {
    Vertex corner[3] = {};
    Vertex* ptr[3];
    const float z[3] = {0, 5, 5};
    for (int i = 0; i < 3; i++) {
      corner[i].view = {float(i), 0, z[i]};
      ptr[i] = &corner[i];
    }
    std::vector<Vec3> alone;
    for (int pass = 0; pass < 2; pass++) {
      PolygonBegin(ptr, 3);
      if (pass == 1) ClipPolygon(farPlane);
      ClipPolygon(nearPlane);
      if (pass == 1) ClipPolygon(farPlane);
      ASSERT_EQ(PolygonState.count, 4);
      if (pass == 1) ClipPolygon(farPlane);
      EXPECT_EQ(PolygonState.vertices[1], &corner[1]);
      EXPECT_EQ(PolygonState.vertices[2], &corner[2]);
      for (int i = 0; i < 4; i++) {
        const Vec3 v = PolygonState.vertices[i]->view;
        if (pass == 0) {
          alone.push_back(v);
        } else {
          EXPECT_EQ(v.x, alone[i].x);
          EXPECT_EQ(v.z, alone[i].z);
        }
      }
    }
  }
  // Cutting corner after corner off a full polygon never grows it past its
  // room.
  std::vector<Vertex> round(kPolygonCapacity, Vertex{});
  std::vector<Vertex*> rp;
  for (int i = 0; i < kPolygonCapacity; i++) {
    const float a = 6.2831853f * i / kPolygonCapacity;
    round[i].view = {std::cos(a), std::sin(a), 5};
    rp.push_back(&round[i]);
  }
  PolygonBegin(rp.data(), kPolygonCapacity);
  for (int i = 0; i < 2 * kPolygonCapacity; i++) {
    const float a = 6.2831853f * i / kPolygonCapacity;
    ClipPolygon({-std::cos(a), -std::sin(a), 0, -0.999f});
    ASSERT_LE(PolygonState.count, kPolygonCapacity);
  }
}

TEST(RenderSubmit, VertexLightAndDepthFade) {
  // Vertex (0, 0, z), normal +z, ambient 0.25 (1.0 with a fade); lights in
  // camera space. Light as drawn, which raises negatives to black.
  struct Case {
    std::vector<std::pair<Vec3, Vec3>> lights;  // position, colour
    float z, fadeStart, farZ;                   // farZ 0: no fade
    Vec3 expect;
  } cases[] = {
      {{}, 10, 0, 0, {63.75f, 63.75f, 63.75f}},
      {{{{0, 0, 0}, {0.5f, 0.25f, 0}}}, 10, 0, 0, {191.25f, 127.5f, 63.75f}},
      {{{{0, 0, 20}, {1, 1, 1}}}, 10, 0, 0, {63.75f, 63.75f, 63.75f}},  // far side
      {{{{-std::sqrt(300.0f), 0, 0}, {0.5f, 0, 0}}}, 10, 0, 0, {127.5f, 63.75f, 63.75f}},
      {{{{0, 0, 0}, {1, 0.5f, 0}}, {{0, 0, -5}, {1, 0, 0}}}, 10, 0, 0, {255, 191.25f, 63.75f}},
      {{}, 200, 300, 700, {255, 255, 255}},
      {{}, 500, 300, 700, {127.5f, 127.5f, 127.5f}},
      {{}, 690, 300, 700, {6.375f, 6.375f, 6.375f}},
      {{}, 750, 300, 700, {0, 0, 0}},
      {{}, 400, 400, 400, {0, 0, 0}},  // a fade of no length cuts off
  };
  for (const Case& c : cases) {
    OwnedViewport v(10, 320, 240);
    const float ambient = c.farZ > 0 ? 1.0f : 0.25f;
    ViewportSetAmbient(&v.vp, ambient, ambient, ambient);
    if (c.farZ > 0) {
      ViewportSetFarPlane(&v.vp, c.fadeStart, c.farZ + 100);  // the plane out of the way
      v.vp.farZ = c.farZ;
      ViewportEnableFarPlane(&v.vp, 1);
    }
    auto scene = NewScene(3, 1, 1, 2);
    Mesh* mesh = AddMesh(scene.get(), {{0, 0, c.z}, {0, -1, c.z}, {1, 0, c.z}}, {{0, 1, 2}});
    for (const auto& l : c.lights) {
      Light* light = SceneAddLight(scene.get(), "l");
      light->position = l.first, light->colour = l.second;
    }
    MeshSubmit(mesh, &v.vp);
    Vertex* corners[3] = {&scene->vertices[0], &scene->vertices[1], &scene->vertices[2]};
    PolygonBegin(corners, 3);
    DrawPolygon(&v.vp, &scene->materials[0]);  // untextured: nothing drawn
    const Vec3& got = scene->vertices[0].light;
    SCOPED_TRACE(testing::Message() << c.z << " " << c.lights.size());
    EXPECT_NEAR(got.x, c.expect.x, 1e-3f);
    EXPECT_NEAR(got.y, c.expect.y, 1e-3f);
    EXPECT_NEAR(got.z, c.expect.z, 1e-3f);
  }
}

// Four vertices at a time the lighting gives each vertex the light of the
// one-at-a-time loop, bit for bit: random normals and lights, a vertex at a
// light's very position, lights behind, a count that leaves a remainder.
TEST(RenderSubmit, LightingFourAtATimeMatchesOneAtATime) {
  std::mt19937 rng(99);
  auto uniform = [&rng](float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(rng() % 1000000) / 1000000.0f;
  };
  constexpr int kVertices = 23;
  std::vector<Vec3> positions, normals;
  for (int i = 0; i < kVertices; i++) {
    positions.push_back({uniform(-60, 60), uniform(-40, 40), uniform(5, 400)});
    normals.push_back({uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)});
  }
  normals[7] = {0, 0, 0};
  auto light = [&](bool simd) {
    SimdPaths paths(simd);
    OwnedViewport v(64, 320, 240);
    ViewportSetAmbient(&v.vp, 0.1f, 0.2f, 0.05f);
    auto scene = NewScene(kVertices, 8, 1, 6);
    Mesh* mesh = AddMesh(scene.get(), positions, {{0, 1, 2}, {3, 4, 5}});
    for (int i = 0; i < kVertices; i++) scene->vertices[i].normal = normals[i];
    for (int i = 0; i < 6; i++) {
      Light* l = SceneAddLight(scene.get(), "l");
      l->position = i == 2 ? positions[5] : Vec3{uniform(-500, 500), uniform(-500, 500), uniform(-300, 600)};
      l->colour = {uniform(0, 1.2f), uniform(0, 1), uniform(0, 0.9f)};
    }
    MeshSubmit(mesh, &v.vp);
    std::vector<Vec3> out;
    for (int i = 0; i < kVertices; i++) out.push_back(scene->vertices[i].light);
    return out;
  };
  const std::mt19937 start = rng;
  const std::vector<Vec3> plain = light(false);
  rng = start;
  const std::vector<Vec3> simd = light(true);
  int lit = 0;
  for (int i = 0; i < kVertices; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::memcmp(&plain[i], &simd[i], sizeof(Vec3)), 0);
    lit += plain[i].x > 0.1f * 255.0f + 1.0f;
  }
  EXPECT_GT(lit, 3);  // the lights do reach some of the vertices
}

TEST(RenderSort, FarthestKeyFirstWhateverTheTies) {
  std::mt19937 random(7);
  for (int size : {0, 1, 2, 3, 17, 1000})
    for (int range : {1, 3, 100000}) {
      std::vector<Face> faces(size);
      OwnedViewport v(size, 320, 240);
      for (int i = 0; i < size; i++) {
        faces[i].depthKey = int32_t(random() % range) - range / 2;
        v.vp.faceList[i] = &faces[i];
      }
      v.vp.faceCount = size;
      ViewportSortFaces(&v.vp, 0);  // other modes leave the list alone
      for (int i = 0; i < size; i++) ASSERT_EQ(v.vp.faceList[i], &faces[i]);
      ViewportSortFaces(&v.vp, 1);
      std::vector<Face*> sorted(v.vp.faceList, v.vp.faceList + size);
      for (int i = 1; i < size; i++) ASSERT_GE(sorted[i - 1]->depthKey, sorted[i]->depthKey);
      std::sort(sorted.begin(), sorted.end());
      for (int i = 0; i < size; i++) ASSERT_EQ(sorted[i], &faces[i]);  // a permutation
    }
}

}  // namespace
