// Whole frames: a textured cube, a floor passing behind the eye, and
// projector lights with their shadows. Frames are also written as
// PNG files beside the tests for a look.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "engine/render_internal.h"
#include "engine_render_support.h"
#include "platform/capture.h"
#include "raster/raster_batch.h"

using namespace render_test;

namespace {

// 256x256: four coloured quadrants with a white grid every 32 texels.
std::vector<uint32_t> Checker() {
  std::vector<uint32_t> t(256 * 256);
  const uint32_t quadrant[4] = {0xC03020, 0x20A040, 0x3050C0, 0xC0B020};
  for (int y = 0; y < 256; y++)
    for (int x = 0; x < 256; x++)
      t[y * 256 + x] = x % 32 && y % 32 ? quadrant[y / 128 * 2 + x / 128] : 0xFFFFFF;
  return t;
}

void Save(const char* name, GuardedTarget& t) {
  std::string error, path = std::string(KV_BINARY_DIR) + "/" + name;
  EXPECT_EQ(CaptureWritePng(path.c_str(), &t.Pixel(0, 0), t.width, t.height, t.pitch, 6, &error), 1)
      << error;
}

// The screen position of a world point, and the pixel whose centre is nearest.
Vertex Project(const Viewport& vp, Vec3 world, int* x, int* y) {
  Vertex v = {};
  MatTransformPoint(world, vp.view, &v.view);
  ProjectVertex(&vp, &v);
  *x = int(std::floor(v.screenX + 0.5f)), *y = int(std::floor(v.screenY + 0.5f));
  return v;
}

// One frame in the order every 3D effect uses.
void Render(Scene* scene, Viewport* vp, Camera* camera, int sort = 1,
            void (*draw)(Viewport*) = ViewportDrawFaces) {
  ViewportSetCamera(vp, camera);
  ViewportPrepareLights(vp, scene);
  ViewportClearFaces(vp);
  SceneSubmit(scene, vp);
  ViewportSortFaces(vp, sort);
  draw(vp);
  ViewportClearFaces(vp);
}

TEST(RenderScene, LitTexturedCubeInAnyFaceOrder) {
  const std::vector<uint32_t> texture = Checker();
  auto scene = NewScene(24, 12, 1, 1);
  AddCube(scene.get(), 40);
  ASSERT_EQ(TextureLibraryBind(scene.get(), "vrn5_defmat", texture.data(), 0x302, 0, 1), 1);
  Camera* camera = AddCamera(scene.get(), {110, 95, -190}, {0, 0, 0}, 60);
  Light* light = SceneAddLight(scene.get(), "sun");
  light->positionNode.position.current = {150, 200, -100};
  light->colour = {0.9f, 0.9f, 0.8f};
  OwnedViewport v(100, 320, 240);
  ViewportSetAmbient(&v.vp, 0.25f, 0.25f, 0.25f);
  GuardedTarget sorted(320, 240), unsorted(320, 240), farFirst(320, 240);
  sorted.Attach(&v.vp);
  Render(scene.get(), &v.vp, camera);
  unsorted.Attach(&v.vp);
  Render(scene.get(), &v.vp, camera, 0);
  farFirst.Attach(&v.vp);
  Render(scene.get(), &v.vp, camera, 1, ViewportDrawFacesFarFirst);
  Save("engine_render_cube.png", sorted);
  EXPECT_TRUE(sorted.GuardsIntact());
  EXPECT_EQ(sorted.colour, unsorted.colour);  // the depth buffer resolves overlaps
  EXPECT_EQ(sorted.colour, farFirst.colour);

  // Each visible side at its own depth, the corners of the frame empty; the
  // same texel lighter on the top, which faces the light, than on the front.
  EXPECT_EQ(sorted.Depth(0, 0) | sorted.Depth(319, 239), 0);
  int x, y;
  for (Vec3 centre : {Vec3{0, 0, -40}, Vec3{40, 0, 0}, Vec3{0, 40, 0}}) {
    const Vertex c = Project(v.vp, centre, &x, &y);
    EXPECT_NEAR(sorted.Depth(x, y), 1e9 / c.depth, 1e7 / c.depth) << centre.x << centre.y;
  }
  int fx, fy;
  Project(v.vp, {12, 40, 12}, &x, &y);
  Project(v.vp, {12, 12, -40}, &fx, &fy);
  EXPECT_GT((sorted.Pixel(x, y) >> 8 & 0xFF), (sorted.Pixel(fx, fy) >> 8 & 0xFF) + 40);
}

// A plane moved between the submit and the drawing (as the mirror rows do)
// cuts as if it had been there at the submit: what the corners lay inside
// at the submit is not trusted once the planes differ.
TEST(RenderScene, PlanesMovedAfterTheSubmitStillCut) {
  const std::vector<uint32_t> texture = Checker();
  auto scene = NewScene(24, 12, 1, 1);
  AddCube(scene.get(), 40);
  ASSERT_EQ(TextureLibraryBind(scene.get(), "vrn5_defmat", texture.data(), 0x302, 0, 1), 1);
  Camera* camera = AddCamera(scene.get(), {110, 95, -190}, {0, 0, 0}, 60);
  const struct {
    int plane;
    float d;
  } cases[] = {{kPlaneNear, 238.0f}, {0, 120.0f}, {3, 92.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plane);
    OwnedViewport v(100, 320, 240);
    ViewportSetAmbient(&v.vp, 0.5f, 0.5f, 0.5f);
    GuardedTarget whole(320, 240), before(320, 240), after(320, 240);
    whole.Attach(&v.vp);
    Render(scene.get(), &v.vp, camera);
    for (int moveFirst : {1, 0}) {
      (moveFirst ? before : after).Attach(&v.vp);
      ViewportSetCamera(&v.vp, camera);
      ViewportClearFaces(&v.vp);
      if (moveFirst) v.vp.planes[c.plane].d = c.d;
      SceneSubmit(scene.get(), &v.vp);
      if (!moveFirst) v.vp.planes[c.plane].d = c.d;
      ViewportSortFaces(&v.vp, 1);
      ViewportDrawFaces(&v.vp);
    }
    EXPECT_NE(before.colour, whole.colour);  // the plane cuts the cube
    EXPECT_EQ(after.colour, before.colour);
    EXPECT_TRUE(after.GuardsIntact());
  }
}

TEST(RenderScene, FloorPassingBehindTheEyeIsCutAtTheNearPlane) {
  const std::vector<uint32_t> texture = Checker();
  auto scene = NewScene(4, 2, 1);
  AddMesh(scene.get(), {{-500, -10, -500}, {500, -10, -500}, {500, -10, 500}, {-500, -10, 500}},
          {{0, 1, 2}, {0, 2, 3}}, {{0, 0}, {2560, 0}, {2560, 2560}, {0, 2560}});
  TextureLibraryBind(scene.get(), "vrn5_defmat", texture.data(), 0x300, 0, 1);
  OwnedViewport v(10, 320, 240);
  GuardedTarget target(320, 240);
  target.Attach(&v.vp);
  Render(scene.get(), &v.vp, AddCamera(scene.get(), {0, 0, 0}, {0, -3, 100}, 60));
  Save("engine_render_floor.png", target);
  EXPECT_TRUE(target.GuardsIntact());
  for (int x = 0; x < 320; x++) {
    EXPECT_NE(target.Depth(x, 239), 0) << x;  // the floor under the eye
    EXPECT_EQ(target.Depth(x, 0), 0) << x;    // the sky
  }
  EXPECT_LE(*std::max_element(target.depth.begin(), target.depth.end()), 1000000000);  // z >= 1
}

// A floor of cells x cells squares, optionally under a small square, lit by a
// projector and seen by a camera from the side. Everything has a dark
// texture, so what the light adds shows.
struct LitFloor {
  std::vector<uint32_t> dark = std::vector<uint32_t>(32 * 32, 0x202020);
  OwnedScene scene;
  OwnedViewport main{500, 320, 240}, projector{500, 256, 256};
  GuardedTarget frame{320, 240};
  Light light = {};

  // extra: a further mesh, its vertices and faces, added before the render.
  LitFloor(int cells, bool square, Vec3 lightAt, const std::vector<Vec3>& extraVertices = {},
           const Triangles& extraFaces = {}) {
    const int corners = (cells + 1) * (cells + 1);
    scene = NewScene(corners + 4 + static_cast<int>(extraVertices.size()),
                     2 * cells * cells + 2 + static_cast<int>(extraFaces.size()), 3);
    std::vector<Vec3> p;
    Triangles t;
    for (int z = 0; z <= cells; z++)
      for (int x = 0; x <= cells; x++)
        p.push_back({x * 200.f / cells - 100, 0, z * 200.f / cells - 100});
    for (int z = 0; z < cells; z++)
      for (int x = 0; x < cells; x++) {
        const int a = z * (cells + 1) + x, c = a + cells + 2;
        t.push_back({a, a + 1, c});
        t.push_back({a, c, c - 1});
      }
    AddMesh(scene.get(), p, t);
    if (square)
      AddMesh(scene.get(), {{-20, 50, -20}, {20, 50, -20}, {20, 50, 20}, {-20, 50, 20}},
              {{0, 1, 2}, {0, 2, 3}});
    if (!extraFaces.empty()) AddMesh(scene.get(), extraVertices, extraFaces);
    TextureLibraryBind(scene.get(), "vrn5_defmat", dark.data(), 0, 0, 4);
    frame.Attach(&main.vp);
    Render(scene.get(), &main.vp, AddCamera(scene.get(), {0, 300, -150}, {0, 0, 0}, 60));
    light.position = lightAt;
    light.projectorFov = 100;
    std::fill(RenderTexture, RenderTexture + 256 * 256, 0xFFFFFF);
  }
  uint32_t At(Vec3 world) {
    int x, y;
    Project(main.vp, world, &x, &y);
    return frame.Pixel(x, y);
  }
};

TEST(RenderProjector, LightsWhatItSeesAndShadowsWhatLiesBehind) {
  using ProjectFn = void (*)(Light*, Viewport*, Scene*, Viewport*, float);
  struct Case {
    ProjectFn project;
    float intensity;
    uint32_t lit;  // 0x20 + Mul[trunc(255 * intensity)][255], saturated
  } cases[] = {{ProjectorRender, 1, 0xFFFFFF},          {ProjectorRender, 0.5f, 0x9E9E9E},
               {ProjectorRender, 4, 0xFFFFFF},          {ProjectorRender, -1, 0x202020},
               {ProjectorRenderUncounted, 1, 0xFFFFFF}, {ProjectorRenderUncounted, 0.5f, 0x9E9E9E}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.intensity << (c.project == ProjectorRender ? "" : " un"));
    LitFloor s(1, true, {0, 200, 0});
    c.project(&s.light, &s.projector.vp, s.scene.get(), &s.main.vp, c.intensity);
    if (c.intensity == 1 && c.project == ProjectorRender)
      Save("engine_render_projector.png", s.frame);
    EXPECT_TRUE(s.frame.GuardsIntact());
    EXPECT_EQ(s.At({0, 50, 0}), c.lit);  // top of the square
    EXPECT_EQ(s.At({60, 0, -60}), c.lit);
    EXPECT_EQ(s.At({-70, 0, 40}), c.lit);
    EXPECT_EQ(s.At({0, 0, -10}), 0x202020u);  // under the square, seen past it
    EXPECT_EQ(s.At({15, 0, -15}), 0x202020u);
    EXPECT_EQ(RenderTexture[128 * 256 + 128], 0u);  // all that was lit is black by the end
  }
}

TEST(RenderProjector, SharedCornersKeepASurfaceFromShadowingItself) {
  // Under a slanting light each face of a divided floor lies at its own
  // depth; a face is blackened only once its neighbours are lit, so no seam
  // of shadow runs along a shared edge.
  LitFloor s(8, false, {40, 200, -150});
  ProjectorRender(&s.light, &s.projector.vp, s.scene.get(), &s.main.vp, 1);
  int floor = 0, dim = 0;
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++)
      if (s.frame.Depth(x, y)) floor++, dim += (s.frame.Pixel(x, y) & 0xFF) < 0x80;
  EXPECT_GT(floor, 20000);
  EXPECT_EQ(dim, 0);
}


TEST(RenderProjector, ManyPolygonsWaitingOnOneCornerKeepTheirShadowsAsBefore) {
  // A cone of 2,400 faces under the light shares its apex, so none of them
  // is released until the last is lit: the waiting records run round their
  // ring and the oldest are dropped. The lit frame and the render texture
  // left behind are pinned to what the pass has always drawn, with the
  // SIMD paths (four vertices a step into the light's view) and without,
  // and with the shadows kept apart in stamps: then the texture is left as
  // it was, and blackening what the stamps mark gives the pinned one. Kept
  // apart, the lit faces may also be drawn later by a batch's worker, when
  // later shadows have been stamped: each must still see only those before
  // it.
  // One stamp buffer serves every pass: what a pass before left must read as
  // unstamped. Before the last passes the stamps run out, and the buffer is
  // refilled.
  auto stamps = std::make_unique<ShadowStampBuffer>();
  for (int way = 0; way < 3; way++) {
    const bool apart = way > 0, batched = way == 2;
    for (bool counted : {true, false}) {
      for (bool simd : {false, true}) {
        SCOPED_TRACE(std::string(counted ? "counted" : "uncounted") + (simd ? " simd" : " plain") +
                     (apart ? " apart" : "") + (batched ? " batched" : ""));
        SimdPaths paths(simd);
        constexpr int kRim = 2400;
        std::vector<Vec3> p = {{0, 120, 0}};
        Triangles t;
        for (int i = 0; i < kRim; i++) {
          const float a = i * 6.2831853f / kRim;
          p.push_back({70 * std::cos(a), 20 + 10 * std::sin(7 * a), 70 * std::sin(a)});
          t.push_back({0, 1 + i, 1 + (i + 1) % kRim});
        }
        LitFloor s(4, false, {10, 260, -30}, p, t);
        if (batched && simd) {
          std::fill(std::begin(stamps->stamps), std::end(stamps->stamps), 5u);
          stamps->lowest = 5;
        }
        const uint32_t before = stamps->lowest;
        ProjectorKeepShadowsApart(apart ? stamps.get() : nullptr);
        if (batched) RasterBatchBegin(RasterBatchMode::kInOrder);
        (counted ? ProjectorRender : ProjectorRenderUncounted)(&s.light, &s.projector.vp,
                                                               s.scene.get(), &s.main.vp, 1);
        if (batched) RasterBatchEnd();
        ProjectorKeepShadowsApart(nullptr);
        EXPECT_TRUE(s.frame.GuardsIntact());
        EXPECT_EQ(
            CaptureFrameMd5(&s.frame.Pixel(0, 0), 320, 240, s.frame.pitch),
            counted ? "4b354b5e27ea773cfd517460236d121c" : "4e58f5492fdf166522cb40516896bb48");
        if (apart) {
          EXPECT_EQ(std::count(RenderTexture, RenderTexture + 256 * 256, 0xFFFFFFu), 256 * 256);
          // This pass's stamps lie below those of the passes before.
          const uint32_t end = before > stamps->lowest ? before : kNoShadowStamp;
          for (int i = 0; i < 256 * 256; i++)
            if (stamps->stamps[i] < end) RenderTexture[i] = 0;
        }
        EXPECT_EQ(CaptureMd5(RenderTexture, sizeof RenderTexture),
                  "a708cc90456e8acc18d9c50f02b00165");
      }
    }
  }
}

}  // namespace

namespace {

// A wide sheet under the light runs past the main view on every side: its
// lit copies must be cut to the view as its faces are, whether the corners'
// sides of the view's planes were found four at a time or one by one. The
// frame is pinned to what the pass drew before it knew those sides.
TEST(RenderProjector, LitCopiesReachingPastTheViewAreCutToIt) {
  constexpr int kCells = 8;
  std::vector<Vec3> p;
  Triangles t;
  for (int z = 0; z <= kCells; z++)
    for (int x = 0; x <= kCells; x++) p.push_back({x * 300.f - 1200, 10, z * 300.f - 1600});
  for (int z = 0; z < kCells; z++)
    for (int x = 0; x < kCells; x++) {
      const int a = z * (kCells + 1) + x, c = a + kCells + 2;
      t.push_back({a, a + 1, c});
      t.push_back({a, c, c - 1});
    }
  for (bool simd : {false, true}) {
    SCOPED_TRACE(simd ? "simd" : "plain");
    SimdPaths paths(simd);
    LitFloor s(2, true, {0, 900, -400}, p, t);
    s.light.projectorFov = 150;
    // A pattern, so that where a copy is cut shows in its texels.
    for (uint32_t i = 0; i < 256 * 256; i++) RenderTexture[i] = (i * 2654435761u) >> 8;
    ProjectorRender(&s.light, &s.projector.vp, s.scene.get(), &s.main.vp, 1);
    EXPECT_TRUE(s.frame.GuardsIntact());
    EXPECT_EQ(CaptureFrameMd5(&s.frame.Pixel(0, 0), 320, 240, s.frame.pitch),
              "69039d1e8083434da61d99b963e7ed31");
  }
}

}  // namespace

namespace {

// A scene's meshes may have their vertices prepared on both threads: what a
// submission collects (faces, order, keys, clip masks) and leaves in every
// vertex is what submitting one mesh after the other gives, also when a
// face borrows a corner of a later mesh, which one mesh after the other
// still finds as the view before left it.
TEST(RenderScene, ASceneSubmitsAsItsMeshesOneAfterTheOther) {
  for (bool borrowed : {false, true}) {
    SCOPED_TRACE(borrowed ? "a face borrows a later mesh's corner" : "meshes on their own");
    struct Run {
      OwnedScene scene = NewScene(400, 400, 6, 1);
      OwnedViewport view{500, 320, 240};
      Camera* camera = nullptr;
    };
    auto make = [&](Run& r) {
      for (int m = 0; m < 6; m++) {
        std::vector<Vec3> p;
        Triangles t;
        for (int z = 0; z <= 4; z++)
          for (int x = 0; x <= 4; x++)
            p.push_back({x * 30.f - 60 + m * 20, m * 15.f, z * 30.f - 60});
        for (int z = 0; z < 4; z++)
          for (int x = 0; x < 4; x++) {
            const int a = z * 5 + x;
            t.push_back({a, a + 1, a + 6});
            t.push_back({a, a + 6, a + 5});
          }
        AddMesh(r.scene.get(), p, t);
      }
      if (borrowed) {
        EXPECT_EQ(FaceSetCorners(r.scene.get(), &r.scene->faces[0], 0, 1,
                                 r.scene->meshes[4].firstVertex + 7),
                  1);
      }
      r.camera = AddCamera(r.scene.get(), {-200, 300, -250}, {0, 0, 0}, 60);
    };
    Run together, inTurn;
    make(together);
    make(inTurn);
    for (Run* r : {&together, &inTurn}) {
      ViewportSetCamera(&r->view.vp, r->camera);
      ViewportClearFaces(&r->view.vp);
      SceneSubmit(r->scene.get(), &r->view.vp);
      r->camera->positionNode.position.current = {150, 200, -300};
      r->camera->targetNode.position.current = {30, 20, 0};
      ViewportSetCamera(&r->view.vp, r->camera);
      ViewportClearFaces(&r->view.vp);
    }
    SceneSubmit(together.scene.get(), &together.view.vp);
    for (int m = 0; m < inTurn.scene->meshCount; m++)
      MeshSubmit(&inTurn.scene->meshes[m], &inTurn.view.vp);

    const int count = FaceListCount(&together.view.vp);
    ASSERT_EQ(count, FaceListCount(&inTurn.view.vp));
    ASSERT_GT(count, 100);
    for (int i = 0; i < count; i++) {
      const Face* a = together.view.vp.faceList[i];
      const Face* b = inTurn.view.vp.faceList[i];
      ASSERT_EQ(a - together.scene->faces, b - inTurn.scene->faces) << i;
      EXPECT_EQ(a->depthKey, b->depthKey) << i;
      EXPECT_EQ(a->clipMask, b->clipMask) << i;
    }
    for (int v = 0; v < together.scene->vertexCount; v++) {
      const Vertex& a = together.scene->vertices[v];
      const Vertex& b = inTurn.scene->vertices[v];
      ASSERT_EQ(std::memcmp(&a.view, &b.view, sizeof a.view), 0) << v;
      ASSERT_EQ(a.screenX, b.screenX) << v;
      ASSERT_EQ(a.light.x, b.light.x) << v;
    }
  }
}

}  // namespace
