// Viewport set-up and projection, whole-mesh culling, back-face rejection,
// clipping, lighting and fade, the face list and its sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "engine_render_support.h"

using namespace render_test;

namespace {

// One triangle facing the camera (kept by cull mode 0) at depth z.
std::vector<Vec3> FrontTriangle(float z, float size = 1.0f) {
  return {{0, 0, z}, {0, -size, z}, {size, 0, z}};
}

TEST(RenderViewport, ProjectionCentreScalesAndPlanes) {
  OwnedViewport main(10, 320, 240);
  const Viewport& vp = main.vp;
  EXPECT_EQ(vp.centreX, 159.5f);
  EXPECT_EQ(vp.centreY, 119.5f);
  EXPECT_NEAR(vp.scaleX, 277.128f, 0.001f);
  EXPECT_NEAR(vp.scaleY, 289.706f, 0.001f);
  EXPECT_EQ(vp.planeCount, 5);
  EXPECT_EQ(vp.fadeEnabled, 0);
  EXPECT_EQ(vp.faceCapacity, 10);

  // Camera-space points to pixels; y grows downwards, z = 0 divides by 1.
  struct Case {
    Vec3 view;
    float x, y;
  } cases[] = {
      {{0, 0, 10}, 159.5f, 119.5f},
      {{10, 0, 10}, 159.5f + 277.128f, 119.5f},
      {{0, 10, 10}, 159.5f, 119.5f - 289.706f},
      {{-2, -4, 2}, 159.5f - 277.128f, 119.5f + 2 * 289.706f},
      {{1, 1, 0}, 159.5f + 277.128f, 119.5f - 289.706f},
  };
  for (const Case& c : cases) {
    Vertex v = {};
    v.view = c.view;
    ProjectVertex(&vp, &v);
    EXPECT_NEAR(v.screenX, c.x, 0.002f) << c.view.x << " " << c.view.y << " " << c.view.z;
    EXPECT_NEAR(v.screenY, c.y, 0.002f);
    EXPECT_EQ(v.depth, c.view.z);
  }

  // A point on a side plane projects onto the frame's outer pixel edge.
  const float tanHalf = std::tan(30.0f * 3.14159265f / 180.0f);
  Vertex edge = {};
  edge.view = {-100 * tanHalf, 0, 100};
  ProjectVertex(&vp, &edge);
  EXPECT_NEAR(edge.screenX, -0.5f, 0.01f);

  OwnedViewport square(10, 256, 256);
  EXPECT_EQ(square.vp.centreX, 127.5f);
  ViewportSetSquareFov(&square.vp, 90.0f);
  EXPECT_NEAR(square.vp.scaleX, 128.0f, 0.001f);
  EXPECT_EQ(square.vp.scaleX, square.vp.scaleY);
  EXPECT_EQ(square.vp.fovX, square.vp.fovY);

  EXPECT_EQ(ViewportCreate(&square.vp, -1, 256, 256), 0);
  EXPECT_EQ(ViewportCreate(&square.vp, 10, 0, 256), 0);
}

TEST(RenderViewport, FarPlaneSwitchesAndFieldOfViewResetsIt) {
  OwnedViewport v(10, 320, 240);
  Viewport* vp = &v.vp;
  ViewportSetFarPlane(vp, 300.0f, 700.0f);
  EXPECT_EQ(vp->planeCount, 6);
  EXPECT_EQ(vp->planes[kPlaneFar].nz, -1.0f);
  EXPECT_EQ(vp->planes[kPlaneFar].d, -700.0f);
  ViewportEnableFarPlane(vp, 1);
  EXPECT_EQ(vp->fadeEnabled, 1);
  ViewportSetFov(vp, 90.0f);  // the far plane goes, the fade stays
  EXPECT_EQ(vp->planeCount, 5);
  EXPECT_EQ(vp->fadeEnabled, 1);
  ViewportEnableFarPlane(vp, 0);
  EXPECT_EQ(vp->planeCount, 5);
  EXPECT_EQ(vp->fadeEnabled, 0);
}

TEST(RenderViewport, CameraAndLightsIntoCameraSpace) {
  OwnedViewport v(10, 320, 240);
  auto scene = NewScene(0, 0, 0, 2, 1);
  Camera* camera = SceneAddCamera(scene.get(), "cam");
  PlaceCamera(camera, {0, 0, -50}, {0, 0, 0}, 90.0f, 90.0f);
  ViewportSetCamera(&v.vp, camera);
  Mat4 expect;
  MatLookAt({0, 0, -50}, {0, 0, 0}, DegreesToRadians(90.0f), &expect);
  for (int i = 0; i < 16; i++) EXPECT_EQ(v.vp.view.m[i], expect.m[i]);
  EXPECT_NEAR(v.vp.scaleX, 160.0f, 0.001f);

  Light* coloured = SceneAddLight(scene.get(), "a");
  Light* plain = SceneAddLight(scene.get(), "b");
  coloured->positionNode.position.current = {10, 0, 0};
  coloured->positionNode.hasColour = 1;
  coloured->positionNode.colour.current = {0.5f, 0.25f, 1.0f};
  plain->positionNode.position.current = {0, 0, 0};
  plain->colour = {0.1f, 0.2f, 0.3f};
  ViewportPrepareLights(&v.vp, scene.get());
  // Rolled a quarter turn: world x becomes camera-space y (up or down).
  EXPECT_NEAR(std::fabs(coloured->position.y), 10.0f, 1e-4f);
  EXPECT_NEAR(coloured->position.z, 50.0f, 1e-4f);
  EXPECT_EQ(coloured->colour.y, 0.25f);
  EXPECT_NEAR(plain->position.z, 50.0f, 1e-4f);
  EXPECT_EQ(plain->colour.z, 0.3f);  // no colour track: kept
}

TEST(RenderSubmit, WholeMeshesOutsideOnePlaneAreSkippedUntouched) {
  // Unit view: camera at the origin looking along +z, planes of 60 degrees.
  struct Case {
    const char* name;
    Vec3 offset;
    bool farPlane;
    int faces;         // collected
    bool crossesNear;  // some vertex outside the near plane
  } cases[] = {
      {"inside", {0, 0, 10}, false, 1, false},
      {"behind the eye", {0, 0, -10}, false, 0, false},
      {"between eye and near plane", {0, 0, 0.5f}, false, 0, false},
      {"left of the view", {-50, 0, 10}, false, 0, false},
      {"above the view", {0, 50, 10}, false, 0, false},
      {"beyond the far plane", {0, 0, 800}, true, 0, false},
      {"short of the far plane", {0, 0, 600}, true, 1, false},
      {"across the near plane", {0, 0, 0.9f}, false, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedViewport v(10, 320, 240);
    if (c.farPlane) ViewportSetFarPlane(&v.vp, 300.0f, 700.0f);
    auto scene = NewScene(3, 1, 1);
    // Corners span z - 0 .. z + 0.5 so one crosses z = 1 at offset 0.9.
    Mesh* mesh = AddMesh(scene.get(), {{0, 0, 0}, {0, -0.2f, 0}, {0.2f, 0, 0.5f}}, {{0, 1, 2}});
    mesh->world.m[12] = c.offset.x, mesh->world.m[13] = c.offset.y, mesh->world.m[14] = c.offset.z;
    for (int i = 0; i < 3; i++) scene->vertices[i].view = {-7, -7, -7};
    MeshSubmit(mesh, &v.vp);
    EXPECT_EQ(v.vp.faceCount, c.faces);
    const bool touched = scene->vertices[0].view.x != -7;
    EXPECT_EQ(touched, c.faces > 0);
    if (!touched) continue;
    int any = 0;
    for (int i = 0; i < 3; i++) any |= scene->vertices[i].outcode;
    EXPECT_EQ(any, c.crossesNear ? 1 << kPlaneNear : 0);
  }
}

TEST(RenderSubmit, BackFacesFollowTheCullMode) {
  // Corners as seen by the camera: counter-clockwise is the front.
  const std::vector<Vec3> front = FrontTriangle(10);
  const std::vector<Vec3> back = {front[0], front[2], front[1]};
  // One corner behind the eye: projection would flip the screen winding, so
  // the camera-space test decides.
  const std::vector<Vec3> frontBehind = {{0, 0, 10}, {0, -5, -5}, {5, 0, 10}};
  const std::vector<Vec3> backBehind = {frontBehind[0], frontBehind[2], frontBehind[1]};
  struct Case {
    const std::vector<Vec3>* corners;
    int mode;
    int kept;
  } cases[] = {
      {&front, kCullPositive, 1},       {&back, kCullPositive, 0},
      {&front, kCullNegative, 0},       {&back, kCullNegative, 1},
      {&front, kCullNone, 1},           {&back, kCullNone, 1},
      {&frontBehind, kCullPositive, 1}, {&backBehind, kCullPositive, 0},
      {&frontBehind, kCullNegative, 0}, {&backBehind, kCullNegative, 1},
  };
  for (const Case& c : cases) {
    OwnedViewport v(10, 320, 240);
    ViewportSetCullMode(&v.vp, c.mode);
    auto scene = NewScene(3, 1, 1);
    MeshSubmit(AddMesh(scene.get(), *c.corners, {{0, 1, 2}}), &v.vp);
    EXPECT_EQ(v.vp.faceCount, c.kept) << "mode " << c.mode << " corner1 " << (*c.corners)[1].y;
  }
}

TEST(RenderSubmit, FaceListDropsFacesBeyondItsCapacity) {
  OwnedViewport v(5, 320, 240);
  auto scene = NewScene(3, 8, 1);
  Mesh* mesh =
      AddMesh(scene.get(), FrontTriangle(10), std::vector<std::array<int, 3>>(8, {0, 1, 2}));
  MeshSubmit(mesh, &v.vp);
  MeshSubmit(mesh, &v.vp);
  EXPECT_EQ(v.vp.faceCount, 5);
  for (int i = 0; i < 5; i++) EXPECT_EQ(v.vp.faceList[i], &scene->faces[i]);
  EXPECT_EQ(scene->faces[0].depthKey, 10);
  EXPECT_EQ(scene->faces[0].clipMask, kClipAllPlanes);

  // A mesh whose range runs past its scene's pools is not read.
  ViewportClearFaces(&v.vp);
  mesh->faceCount = 9;
  MeshSubmit(mesh, &v.vp);
  EXPECT_EQ(v.vp.faceCount, 0);
}

TEST(RenderSubmit, VertexLightFromAmbientAndLights) {
  // Vertex at (0, 0, 10) with normal +z (into the surface that faces the
  // camera); ambient 0.25; lights in camera space.
  struct LightSpec {
    Vec3 position, colour;
  };
  struct Case {
    const char* name;
    std::vector<LightSpec> lights;
    Vec3 expect;
  } cases[] = {
      {"ambient only", {}, {63.75f, 63.75f, 63.75f}},
      {"light at the eye", {{{0, 0, 0}, {0.5f, 0.25f, 0}}}, {191.25f, 127.5f, 63.75f}},
      {"light behind the surface", {{{0, 0, 20}, {1, 1, 1}}}, {63.75f, 63.75f, 63.75f}},
      {"light at 60 degrees",
       {{{-std::sqrt(300.0f), 0, 0}, {0.5f, 0, 0}}},
       {127.5f, 63.75f, 63.75f}},
      {"two lights saturate",
       {{{0, 0, 0}, {1, 0.5f, 0}}, {{0, 0, -5}, {1, 0, 0}}},
       {255, 191.25f, 63.75f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedViewport v(10, 320, 240);
    ViewportSetAmbient(&v.vp, 0.25f, 0.25f, 0.25f);
    auto scene = NewScene(3, 1, 1, 2);
    Mesh* mesh = AddMesh(scene.get(), FrontTriangle(10), {{0, 1, 2}});
    for (const LightSpec& l : c.lights) {
      Light* light = SceneAddLight(scene.get(), "l");
      light->position = l.position;
      light->colour = l.colour;
    }
    ASSERT_EQ(scene->vertices[0].normal.z, 1.0f);
    MeshSubmit(mesh, &v.vp);
    const Vec3& got = scene->vertices[0].light;
    EXPECT_NEAR(got.x, c.expect.x, 1e-3f);
    EXPECT_NEAR(got.y, c.expect.y, 1e-3f);
    EXPECT_NEAR(got.z, c.expect.z, 1e-3f);
  }
}

TEST(RenderSubmit, DepthFadeDarkensTowardsTheFarPlane) {
  struct Case {
    float z, fadeStart, farZ, light;  // light after drawing, ambient 1.0
  } cases[] = {
      {200, 300, 700, 255}, {500, 300, 700, 127.5f}, {700, 300, 700, 0}, {690, 300, 700, 6.375f},
      {750, 300, 700, 0},   {350, 400, 400, 255},    {400, 400, 400, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.z);
    OwnedViewport v(10, 320, 240);
    ViewportSetAmbient(&v.vp, 1, 1, 1);
    ViewportSetFarPlane(&v.vp, c.fadeStart, c.farZ + 100);  // keep the plane out of the way
    v.vp.farZ = c.farZ;
    ViewportEnableFarPlane(&v.vp, 1);
    auto scene = NewScene(3, 1, 1);
    Mesh* mesh = AddMesh(scene.get(), {{0, 0, c.z}, {0, -1, c.z}, {1, 0, c.z}}, {{0, 1, 2}});
    MeshSubmit(mesh, &v.vp);
    // Drawing raises what the fade took below zero to black.
    Vertex* corners[3] = {&scene->vertices[0], &scene->vertices[1], &scene->vertices[2]};
    PolygonBegin(corners, 3);
    DrawPolygon(&v.vp, &scene->materials[0]);  // no texture: nothing reaches a frame
    EXPECT_NEAR(scene->vertices[0].light.x, c.light, 1e-3f);
    EXPECT_GE(scene->vertices[0].light.z, 0.0f);
  }
}

// Clipping against one plane: which corners survive, where cuts fall and
// what the cut vertices carry.
TEST(RenderClip, PolygonKeepsTheInnerSideOfEachPlane) {
  const Plane nearPlane = {0, 0, 1, 1};
  const Plane farPlane = {0, 0, -1, -700};
  struct Case {
    const char* name;
    Plane plane;
    std::vector<float> z;  // corner depths; corners at (i, 0, z)
    int count;
    float cutZ;  // z of every new vertex
  } cases[] = {
      {"all inside", nearPlane, {2, 3, 4}, 3, 0},
      {"all outside", nearPlane, {0.5f, -1, 0}, 0, 0},
      {"one outside", nearPlane, {0, 5, 5}, 4, 1},
      {"two outside", nearPlane, {0, -3, 9}, 3, 1},
      {"on the plane counts as inside", nearPlane, {1, 1, 3}, 3, 0},
      {"far plane", farPlane, {600, 800, 650}, 4, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Vertex> corner(c.z.size());
    std::vector<Vertex*> ptr;
    for (size_t i = 0; i < corner.size(); i++) {
      corner[i] = {};
      corner[i].view = {static_cast<float>(i), 0, c.z[i]};
      corner[i].u = 10.0f * c.z[i];
      corner[i].light = {c.z[i], 0, 0};
      ptr.push_back(&corner[i]);
    }
    PolygonBegin(ptr.data(), static_cast<int>(ptr.size()));
    ClipPolygon(c.plane);
    ASSERT_EQ(PolygonState.count, c.count);
    for (int i = 0; i < PolygonState.count; i++) {
      const Vertex* v = PolygonState.vertices[i];
      const bool original = v >= corner.data() && v < corner.data() + corner.size();
      if (original) {
        EXPECT_GE(v->view.x * c.plane.nx + v->view.z * c.plane.nz, c.plane.d);
        continue;
      }
      EXPECT_NEAR(v->view.z, c.cutZ, 1e-3f);
      EXPECT_NEAR(v->u, 10.0f * c.cutZ, 1e-2f);  // mapping and light follow the cut
      EXPECT_NEAR(v->light.x, c.cutZ, 1e-3f);
    }
  }
  // The order around the polygon is kept: with corner 0 outside, the cut on
  // its way in, 1, 2, and the cut on the way back out.
  Vertex q[3] = {};
  q[0].view = {0, 0, 0}, q[1].view = {1, 0, 5}, q[2].view = {0, 1, 5};
  Vertex* qp[3] = {&q[0], &q[1], &q[2]};
  PolygonBegin(qp, 3);
  ClipPolygon(nearPlane);
  ASSERT_EQ(PolygonState.count, 4);
  EXPECT_NEAR(PolygonState.vertices[0]->view.x, 0.2f, 1e-5f);
  EXPECT_EQ(PolygonState.vertices[1], &q[1]);
  EXPECT_EQ(PolygonState.vertices[2], &q[2]);
  EXPECT_NEAR(PolygonState.vertices[3]->view.y, 0.2f, 1e-5f);
}

TEST(RenderClip, ManyPlanesNeverOverrunThePolygon) {
  // A circle-like polygon clipped by many planes that each cut a corner off
  // grows one vertex per plane until the polygon's room is full.
  std::vector<Vertex> ring(kPolygonCapacity);
  std::vector<Vertex*> ptr;
  for (int i = 0; i < kPolygonCapacity; i++) {
    const float a = 6.2831853f * i / kPolygonCapacity;
    ring[i] = {};
    ring[i].view = {std::cos(a), std::sin(a), 5};
    ptr.push_back(&ring[i]);
  }
  PolygonBegin(ptr.data(), kPolygonCapacity);
  for (int i = 0; i < 300; i++) {
    const float a = 6.2831853f * (i + 0.5f) / kPolygonCapacity;
    ClipPolygon({std::cos(a), std::sin(a), 0, -0.999f});
    ASSERT_LE(PolygonState.count, kPolygonCapacity);
  }
}

TEST(RenderSort, FarthestKeyFirstWhateverTheTies) {
  std::mt19937 random(7);
  for (int size : {0, 1, 2, 3, 17, 1000}) {
    for (int range : {1, 3, 100000}) {
      std::vector<Face> faces(static_cast<size_t>(size));
      OwnedViewport v(size, 320, 240);
      for (int i = 0; i < size; i++) {
        faces[i].depthKey = static_cast<int32_t>(random() % range) - range / 2;
        v.vp.faceList[i] = &faces[i];
      }
      v.vp.faceCount = size;
      ViewportSortFaces(&v.vp, 0);  // other modes leave the list alone
      for (int i = 0; i < size; i++) ASSERT_EQ(v.vp.faceList[i], &faces[i]);
      ViewportSortFaces(&v.vp, 1);
      std::vector<Face*> sorted(v.vp.faceList, v.vp.faceList + size);
      for (int i = 1; i < size; i++)
        ASSERT_GE(sorted[i - 1]->depthKey, sorted[i]->depthKey) << size << " " << range;
      std::sort(sorted.begin(), sorted.end());
      for (int i = 0; i < size; i++) ASSERT_EQ(sorted[i], &faces[i]);  // a permutation
    }
  }
}

TEST(RenderSubmit, EnvironmentMappingFromCameraSpaceNormals) {
  OwnedViewport v(10, 320, 240);
  auto scene = NewScene(3, 1, 1);
  Mesh* mesh = AddMesh(scene.get(), FrontTriangle(10), {{0, 1, 2}});
  mesh->world.m[0] = 0, mesh->world.m[1] = 1, mesh->world.m[4] = -1, mesh->world.m[5] = 0;
  scene->vertices[1].normal = {1, 0, 0};
  MeshSubmit(mesh, &v.vp);
  MeshEnvironmentMap(mesh);
  const float* uv = scene->faces[0].uv;
  EXPECT_EQ(uv[0], 127.5f);  // normal (0, 0, 1)
  EXPECT_EQ(uv[1], 127.5f);
  EXPECT_EQ(uv[2], 127.5f);  // x turned into y by the world matrix
  EXPECT_EQ(uv[3], 255.0f);
}

}  // namespace
