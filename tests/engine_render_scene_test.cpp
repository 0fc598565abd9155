// Whole frames through the pipeline: a textured cube, a floor reaching
// behind the eye, chained faces, and a projector light casting a shadow.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine_render_support.h"
#include "platform/capture.h"

using namespace render_test;

namespace {

// 256x256: four coloured quadrants with a white grid every 32 texels.
std::vector<uint32_t> CheckerTexture() {
  std::vector<uint32_t> t(256 * 256);
  const uint32_t quadrant[4] = {0xC03020, 0x20A040, 0x3050C0, 0xC0B020};
  for (int y = 0; y < 256; y++)
    for (int x = 0; x < 256; x++)
      t[y * 256 + x] = (x % 32 == 0 || y % 32 == 0) ? 0xFFFFFF : quadrant[(y / 128) * 2 + x / 128];
  return t;
}

void SavePng(const char* name, GuardedTarget& target) {
  std::string error;
  const std::string path = std::string(KV_BINARY_DIR) + "/" + name;
  EXPECT_EQ(CaptureWritePng(path.c_str(), target.Frame(), target.width, target.height, target.pitch,
                            6, &error),
            1)
      << error;
}

// The pixel whose centre is nearest to where a world point projects.
void PixelOf(const Viewport& vp, Vec3 world, int* x, int* y) {
  Vertex v = {};
  MatTransformPoint(world, vp.view, &v.view);
  ProjectVertex(&vp, &v);
  *x = static_cast<int>(std::floor(v.screenX + 0.5f));
  *y = static_cast<int>(std::floor(v.screenY + 0.5f));
}

using DrawFn = void (*)(Viewport*);

// One frame in the order every 3D effect uses.
void RenderFrame(Scene* scene, Viewport* vp, Camera* camera, int sortMode, DrawFn draw) {
  ViewportSetCamera(vp, camera);
  ViewportPrepareLights(vp, scene);
  ViewportClearFaces(vp);
  SceneSubmit(scene, vp);
  ViewportSortFaces(vp, sortMode);
  draw(vp);
  ViewportClearFaces(vp);
}

TEST(RenderScene, TexturedCubeFillsItsProjectedOutline) {
  const std::vector<uint32_t> texture = CheckerTexture();
  auto scene = NewScene(24, 12, 1, 1, 1);
  AddCube(scene.get(), {0, 0, 0}, 40.0f);
  ASSERT_EQ(TextureLibraryBind(scene.get(), "vrn5_defmat", texture.data(), 0x302, 0, 1), 1);
  Camera* camera = SceneAddCamera(scene.get(), "cam");
  PlaceCamera(camera, {110, 95, -190}, {0, 0, 0}, 60.0f);
  Light* light = SceneAddLight(scene.get(), "sun");
  light->positionNode.position.current = {150, 200, -100};
  light->colour = {0.9f, 0.9f, 0.8f};

  OwnedViewport v(100, 320, 240);
  ViewportSetAmbient(&v.vp, 0.25f, 0.25f, 0.25f);
  GuardedTarget sorted(320, 240), unsorted(320, 240), farFirst(320, 240);
  sorted.Attach(&v.vp);
  ViewportSetCamera(&v.vp, camera);
  ViewportClearFaces(&v.vp);
  SceneSubmit(scene.get(), &v.vp);
  EXPECT_EQ(v.vp.faceCount, 6);  // three sides face the camera
  RenderFrame(scene.get(), &v.vp, camera, 1, ViewportDrawFaces);
  unsorted.Attach(&v.vp);
  RenderFrame(scene.get(), &v.vp, camera, 0, ViewportDrawFaces);
  farFirst.Attach(&v.vp);
  RenderFrame(scene.get(), &v.vp, camera, 1, ViewportDrawFacesFarFirst);
  SavePng("engine_render_cube.png", sorted);

  EXPECT_TRUE(sorted.GuardsIntact());
  // Opaque depth-tested faces: the order of drawing does not matter.
  EXPECT_EQ(sorted.colour, unsorted.colour);
  EXPECT_EQ(sorted.colour, farFirst.colour);
  EXPECT_EQ(sorted.depth, farFirst.depth);

  // Drawn pixels fill the outline of the projected corners.
  float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
  for (int i = 0; i < 8; i++) {
    Vertex c = {};
    Vec3 p = {i & 1 ? 40.0f : -40.0f, i & 2 ? 40.0f : -40.0f, i & 4 ? 40.0f : -40.0f};
    MatTransformPoint(p, v.vp.view, &c.view);
    ProjectVertex(&v.vp, &c);
    minX = std::fmin(minX, c.screenX), maxX = std::fmax(maxX, c.screenX);
    minY = std::fmin(minY, c.screenY), maxY = std::fmax(maxY, c.screenY);
  }
  int drawnMinX = 320, drawnMaxX = -1, drawnMinY = 240, drawnMaxY = -1;
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++)
      if (sorted.Depth(x, y) != 0) {
        drawnMinX = std::min(drawnMinX, x), drawnMaxX = std::max(drawnMaxX, x);
        drawnMinY = std::min(drawnMinY, y), drawnMaxY = std::max(drawnMaxY, y);
      }
  // (A sharp corner between pixel rows may leave its outermost pixel out.)
  EXPECT_NEAR(drawnMinX, std::ceil(minX), 1);
  EXPECT_NEAR(drawnMaxX, std::ceil(maxX) - 1, 1);
  EXPECT_NEAR(drawnMinY, std::ceil(minY), 1);
  EXPECT_NEAR(drawnMaxY, std::ceil(maxY) - 1, 1);

  // The centre of each visible side shows its nearest surface at its depth,
  // lit: brighter on the sides that face the light.
  struct Side {
    Vec3 centre;
    const char* name;
  } sides[] = {{{0, 0, -40}, "front"}, {{40, 0, 0}, "right"}, {{0, 40, 0}, "top"}};
  for (const Side& s : sides) {
    SCOPED_TRACE(s.name);
    int x, y;
    PixelOf(v.vp, s.centre, &x, &y);
    Vec3 view;
    MatTransformPoint(s.centre, v.vp.view, &view);
    EXPECT_NEAR(sorted.Depth(x, y), 1e9 / view.z, 1e9 / view.z * 0.01);
    EXPECT_NE(sorted.Pixel(x, y), 0u);
  }
  // The same texel on the top and the front: the top faces the light more.
  int tx, ty, fx, fy;
  PixelOf(v.vp, {12, 40, 12}, &tx, &ty);
  PixelOf(v.vp, {12, 12, -40}, &fx, &fy);
  EXPECT_GT((sorted.Pixel(tx, ty) >> 8) & 0xFF, ((sorted.Pixel(fx, fy) >> 8) & 0xFF) + 40);
}

TEST(RenderScene, FloorReachingBehindTheEyeIsClippedAtTheNearPlane) {
  const std::vector<uint32_t> texture = CheckerTexture();
  auto scene = NewScene(4, 2, 1, 0, 1);
  // Seen from above: counter-clockwise, so it faces a camera above it.
  AddMesh(scene.get(), {{-500, -10, -500}, {500, -10, -500}, {500, -10, 500}, {-500, -10, 500}},
          {{0, 1, 2}, {0, 2, 3}}, {{0, 0}, {2560, 0}, {2560, 2560}, {0, 2560}});
  ASSERT_EQ(TextureLibraryBind(scene.get(), "vrn5_defmat", texture.data(), 0x300, 0, 1), 1);
  Camera* camera = SceneAddCamera(scene.get(), "cam");
  PlaceCamera(camera, {0, 0, 0}, {0, -3, 100}, 60.0f);
  OwnedViewport v(10, 320, 240);
  ViewportSetAmbient(&v.vp, 1, 1, 1);
  GuardedTarget target(320, 240);
  target.Attach(&v.vp);
  RenderFrame(scene.get(), &v.vp, camera, 1, ViewportDrawFaces);
  SavePng("engine_render_floor.png", target);

  EXPECT_TRUE(target.GuardsIntact());
  for (int x = 0; x < 320; x++) {
    ASSERT_NE(target.Depth(x, 239), 0) << x;  // the floor right under the eye
    ASSERT_EQ(target.Depth(x, 0), 0) << x;    // nothing above the horizon
  }
  // Nothing nearer than the near plane reaches the depth buffer.
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++) ASSERT_LE(target.Depth(x, y), 1000000000) << x << "," << y;
}

TEST(RenderScene, ChainedFacesDrawAfterTheirHeadWithTheirOwnLevels) {
  const std::vector<uint32_t> white(32 * 32, 0xFFFFFF);
  auto scene = NewScene(3, 2, 1);
  Mesh* mesh = AddMesh(scene.get(), {{-5, 5, 10}, {-5, -5, 10}, {5, 5, 10}}, {{0, 1, 2}});
  Material* shaded = MaterialAdd(scene.get(), "g");
  Material* added = MaterialAdd(scene.get(), "a");
  MaterialSetTexture(shaded, RM_SHADE | 0x200, 0, white.data(), 4);
  MaterialSetTexture(added, RM_ADD | 0x200, 0, white.data(), 4);
  Face* head = &scene->faces[0];
  Face chained = *head;  // outside the mesh, as an overflow face
  head->material = shaded;
  chained.material = added;
  for (int k = 0; k < 3; k++) head->shade[k] = 100.0f, chained.shade[k] = 50.0f;
  head->next = &chained;

  struct Case {
    DrawFn draw;
    uint32_t pixel;
  } cases[] = {
      {ViewportDrawFaces, 0x7F7F7F},       // level 128, chain ignored: Mul[128][255]
      {ViewportDrawFaceChains, 0x949494},  // Mul[100][255] = 99, plus Mul[50][255] = 49
  };
  for (const Case& c : cases) {
    OwnedViewport v(10, 320, 240);
    GuardedTarget target(320, 240);
    target.Attach(&v.vp);
    MeshSubmit(mesh, &v.vp);
    ASSERT_EQ(v.vp.faceCount, 1);
    c.draw(&v.vp);
    EXPECT_EQ(target.Pixel(150, 110), c.pixel);
    EXPECT_TRUE(target.GuardsIntact());
  }
}

// A floor under a small square, lit from straight above by a projector; the
// camera looks down at both from the side.
struct ShadowScene {
  std::vector<uint32_t> dark = std::vector<uint32_t>(32 * 32, 0x202020);
  std::unique_ptr<Scene> scene = NewScene(8, 4, 2, 1, 1);
  Camera* camera;
  Light* light;
  ShadowScene() {
    const std::vector<std::array<int, 3>> quad = {{0, 1, 2}, {0, 2, 3}};
    AddMesh(scene.get(), {{-100, 0, -100}, {100, 0, -100}, {100, 0, 100}, {-100, 0, 100}}, quad);
    AddMesh(scene.get(), {{-20, 50, -20}, {20, 50, -20}, {20, 50, 20}, {-20, 50, 20}}, quad);
    TextureLibraryBind(scene.get(), "vrn5_defmat", dark.data(), 0, 0, 4);
    camera = SceneAddCamera(scene.get(), "cam");
    PlaceCamera(camera, {0, 300, -150}, {0, 0, 0}, 60.0f);
    light = SceneAddLight(scene.get(), "spot");
    light->position = {0, 200, 0};
    light->target = {0, 0, 0};
    light->projectorFov = 90.0f;
  }
};

TEST(RenderProjector, LightsWhatItSeesAndShadowsWhatLiesBehind) {
  using ProjectFn = void (*)(Light*, Viewport*, Scene*, Viewport*, float);
  struct Case {
    ProjectFn project;
    float intensity;
    uint32_t lit;  // dark 0x20 plus Mul[trunc(255 * intensity)][255]
  } cases[] = {
      {ProjectorRender, 1.0f, 0xFFFFFF},          {ProjectorRender, 0.5f, 0x9E9E9E},
      {ProjectorRender, 4.0f, 0xFFFFFF},          {ProjectorRender, -1.0f, 0x202020},
      {ProjectorRenderUncounted, 1.0f, 0xFFFFFF}, {ProjectorRenderUncounted, 0.5f, 0x9E9E9E},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.intensity << (c.project == ProjectorRender ? "" : " uncounted"));
    ShadowScene s;
    OwnedViewport main(100, 320, 240), projector(100, 256, 256);
    GuardedTarget frame(320, 240);
    frame.Attach(&main.vp);
    RenderFrame(s.scene.get(), &main.vp, s.camera, 1, ViewportDrawFaces);
    s.light->position = {0, 200, 0};  // preparing the lights moved it to camera space
    for (uint32_t& t : RenderTexture) t = 0xFFFFFF;
    c.project(s.light, &projector.vp, s.scene.get(), &main.vp, c.intensity);
    if (c.intensity == 1.0f && c.project == ProjectorRender)
      SavePng("engine_render_projector.png", frame);
    EXPECT_TRUE(frame.GuardsIntact());

    struct Probe {
      Vec3 world;
      bool shadowed;
      const char* name;
    } probes[] = {
        {{0, 50, 0}, false, "top of the square"},
        {{60, 0, -60}, false, "open floor"},
        {{-70, 0, 40}, false, "open floor far side"},
        {{0, 0, -10}, true, "floor under the square"},
        {{15, 0, -15}, true, "floor under the square's corner"},
    };
    for (const Probe& p : probes) {
      SCOPED_TRACE(p.name);
      int x, y;
      PixelOf(main.vp, p.world, &x, &y);
      EXPECT_EQ(frame.Pixel(x, y), p.shadowed ? 0x202020u : c.lit);
    }
    // Everything lit has been blackened in the light's texture by the end.
    EXPECT_EQ(RenderTexture[128 * 256 + 128], 0u);
  }
}

TEST(RenderProjector, SharedCornersKeepASurfaceFromShadowingItself) {
  // A finely divided floor seen by a light at a slant: every face lies at its
  // own depth from the light, and each is blackened only after its
  // neighbours are lit, so no seam of shadow runs along a shared edge.
  constexpr int kCells = 8;
  std::vector<Vec3> corners;
  std::vector<std::array<int, 3>> faces;
  for (int z = 0; z <= kCells; z++)
    for (int x = 0; x <= kCells; x++) corners.push_back({x * 25.0f - 100, 0, z * 25.0f - 100});
  for (int z = 0; z < kCells; z++)
    for (int x = 0; x < kCells; x++) {
      const int a = z * (kCells + 1) + x, b = a + 1, c = a + kCells + 2, d = a + kCells + 1;
      faces.push_back({a, b, c});
      faces.push_back({a, c, d});
    }
  const std::vector<uint32_t> dark(32 * 32, 0x202020);
  auto scene = NewScene(static_cast<int>(corners.size()), static_cast<int>(faces.size()), 1, 1, 1);
  AddMesh(scene.get(), corners, faces);
  TextureLibraryBind(scene.get(), "vrn5_defmat", dark.data(), 0, 0, 4);
  Camera* camera = SceneAddCamera(scene.get(), "cam");
  PlaceCamera(camera, {0, 250, -200}, {0, 0, 0}, 60.0f);
  Light light = {};
  light.position = {40, 200, -150};
  light.target = {0, 0, 0};
  light.projectorFov = 100.0f;

  OwnedViewport main(500, 320, 240), projector(500, 256, 256);
  GuardedTarget frame(320, 240);
  frame.Attach(&main.vp);
  RenderFrame(scene.get(), &main.vp, camera, 1, ViewportDrawFaces);
  for (uint32_t& t : RenderTexture) t = 0xFFFFFF;
  ProjectorRender(&light, &projector.vp, scene.get(), &main.vp, 1.0f);
  SavePng("engine_render_projector_grid.png", frame);
  int floor = 0, dim = 0;
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++) {
      if (frame.Depth(x, y) == 0) continue;
      floor++;
      if ((frame.Pixel(x, y) & 0xFF) < 0x80) dim++;
    }
  EXPECT_GT(floor, 20000);
  EXPECT_EQ(dim, 0);
}

TEST(RenderProjector, GrabTextureTakesOnlyAWholeSquarePicture) {
  std::vector<uint32_t> pixels(300 * 260);
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = static_cast<uint32_t>(i * 2654435761u);
  Picture big = {300, 260, 0, pixels.data()};
  Picture narrow = {200, 300, 0, pixels.data()};
  OwnedViewport v(1, 256, 256);
  for (uint32_t& t : RenderTexture) t = 1;
  v.vp.texturePicture = &narrow;
  ViewportGrabTexture(&v.vp);
  EXPECT_EQ(RenderTexture[255 * 256 + 255], 1u);
  v.vp.texturePicture = &big;
  ViewportGrabTexture(&v.vp);
  for (int y = 0; y < 256; y += 51)
    for (int x = 0; x < 256; x += 17) ASSERT_EQ(RenderTexture[y * 256 + x], pixels[y * 300 + x]);
  EXPECT_EQ(RenderTexture[255 * 256 + 255], pixels[255 * 300 + 255]);
}

}  // namespace
