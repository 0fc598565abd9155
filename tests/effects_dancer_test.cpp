#include <gtest/gtest.h>

#include <vector>

#include "effects/dancer_scenes.h"
#include "effects/effects.h"
#include "effects/scene_effects.h"
#include "engine/material_library.h"
#include "image/asset_names.h"
#include "tests/effects_scene_support.h"

namespace {

using namespace scene_test;

bool Inside(const Viewport& vp, Vec3 p) {
  for (int i = 0; i < vp.planeCount; i++)
    if (VecDot(Vec3{vp.planes[i].nx, vp.planes[i].ny, vp.planes[i].nz}, p) < vp.planes[i].d)
      return false;
  return true;
}

void ExpectVec(Vec3 got, Vec3 want) {
  EXPECT_NEAR(got.x, want.x, 1e-3f);
  EXPECT_NEAR(got.y, want.y, 1e-3f);
  EXPECT_NEAR(got.z, want.z, 1e-3f);
}

// A 200 x 200 floor whose top lies at y = 0 (engine axes), raised by 10.
struct Floor {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  Mesh* mesh = nullptr;
  Floor() {
    SceneFile f;
    f.meshes.push_back(Box("DanceFloor", {-100, -100, -5}, {100, 100, 0}));
    LoadInto(scene.get(), f);
    mesh = &scene->meshes[0];
    mesh->world.m[13] = 10.0f;
  }
  ~Floor() { Load3dsRelease(scene.get()); }
};

void Look(Viewport* vp, Vec3 eye, Vec3 target) {
  ASSERT_EQ(ViewportCreate(vp, 16, 320, 240), 1);
  MatLookAt(eye, target, 0.0f, &vp->view);
}

// Corners from the top of the floor's box; the plane, the reflection and the
// corners in camera space follow the floor's world matrix; only an eye above
// the top face sees the reflection.
TEST(Mirror, CornersPlaneAndFacing) {
  Floor floor;
  MirrorFloor mirror;
  MirrorFloorInit(&mirror, floor.mesh);
  const Vec3 top[4] = {{100, 0, 100}, {-100, 0, 100}, {-100, 0, -100}, {100, 0, -100}};
  for (int k = 0; k < 4; k++) ExpectVec(mirror.corners[k].position, top[k]);
  const struct {
    const char* what;
    Vec3 eye, target;
    int facing;
  } cases[] = {
      {"above, looking down", {0, 150, -300}, {0, 0, 0}, 1},
      {"above, looking level", {0, 40, -300}, {0, 40, 0}, 1},
      {"just above the top", {0, 11, -300}, {0, 0, 0}, 1},
      {"below, looking up", {0, -150, -300}, {0, 0, 0}, 0},
      {"level with the top", {0, 10, -300}, {0, 10, 0}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Viewport vp = {};
    Look(&vp, c.eye, c.target);
    MirrorView view;
    MirrorPrepare(&mirror, &vp, &view);
    EXPECT_EQ(view.facing, c.facing);
    EXPECT_NEAR(view.worldPlane.ny * view.worldPlane.d, 10.0f, 1e-4f);
    Vec3 reflected;
    MatTransformPoint(Vec3{30, 25, -40}, view.mirror, &reflected);
    ExpectVec(reflected, {30, -5, -40});
    for (int k = 0; k < 4; k++) {
      Vec3 world, camera;
      MatTransformPoint(top[k], floor.mesh->world, &world);
      MatTransformPoint(world, vp.view, &camera);
      ExpectVec(mirror.corners[k].view, camera);
    }
    std::free(vp.faceList);
  }
}

TEST(Mirror, PortalKeepsWhatLiesBeyondTheFloorInsideItsOutline) {
  Floor floor;
  MirrorFloor mirror;
  MirrorFloorInit(&mirror, floor.mesh);
  Viewport vp = {};
  Look(&vp, {0, 150, -300}, {0, 0, 0});
  MirrorView view;
  MirrorPrepare(&mirror, &vp, &view);
  const int planes = MirrorPortal(&mirror, &vp);
  ASSERT_EQ(planes, 5);  // the whole floor is in view: four edges and the floor
  EXPECT_EQ(vp.planeCount, planes);
  const struct {
    const char* what;
    Vec3 world;
    bool inside;
  } points[] = {
      {"under the centre", {0, -20, 0}, true},
      {"under a corner", {90, -5, 90}, true},
      {"above the centre", {0, 30, 0}, false},
      {"under, but beside the floor", {160, -5, 0}, false},
      {"under, but in front of it", {0, -5, -160}, false},
  };
  for (const auto& p : points) {
    SCOPED_TRACE(p.what);
    Vec3 camera;
    MatTransformPoint(p.world, vp.view, &camera);
    EXPECT_EQ(Inside(vp, camera), p.inside);
  }

  // Looking away (the viewport created again): nothing of the floor is left
  // and the planes stay.
  Look(&vp, {0, 150, -300}, {0, 300, -600});
  const Plane before = vp.planes[0];
  MirrorPrepare(&mirror, &vp, &view);
  EXPECT_EQ(MirrorPortal(&mirror, &vp), 0);
  EXPECT_EQ(vp.planeCount, 5);
  EXPECT_EQ(vp.planes[0].nx, before.nx);
  std::free(vp.faceList);
}

// The dance floor row: a red box stands on a grey mirror floor that adds
// its texture over the reflection.
class DanceFloorRow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SceneEffectsCreateViewports(), 1);
    SceneEffectsForget();
  }
  void TearDown() override { Load3dsRelease(&FloorScene); }

  void Load(Vec3 eye) {
    SceneFile f;
    f.materials = {"red", "stage", "mymat"};
    f.meshes.push_back(Box("DanceFloor", {-100, -100, -5}, {100, 100, 0}));
    f.meshes[0].groups = {{"stage", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}};
    f.meshes.push_back(Box("Dancer", {-15, -15, 0}, {15, 15, 70}));
    f.meshes[1].groups = {{"red", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}};
    // The dancer slides across the floor with the clock; three cameras
    // see the same view.
    f.lastFrame = 2000;
    f.nodes = {MeshNode("DanceFloor", 0),
               MeshNode("Dancer", 1, {{0, {-60, 0, 0}}, {900, {60, 0, 0}}})};
    for (int c = 0; c < 3; c++)
      AddCamera(&f, "Cam" + std::to_string(c), eye, {0, 0, 20}, 2 + 2 * c);
    LoadInto(&FloorScene, f);
    static std::vector<uint32_t> red(256 * 256, 0xFF0000), grey(256 * 256, 0x404040);
    MaterialSetTexture(MaterialFind(&FloorScene, "red"), 0x200, 0, red.data(), 1);
    MaterialSetTexture(MaterialFind(&FloorScene, "stage"), 0x200, 0, WhiteTexture(), 1);
    Material* mirror = MaterialFind(&FloorScene, "mymat");
    MaterialSetTexture(mirror, 0x360, 0, grey.data(), 1);
    mirror->opacity = 0.7f;
  }

  // Pixels of the box itself, and of its reflection under the floor.
  void Count(int* box, int* reflection) {
    *box = *reflection = 0;
    for (uint32_t p : frame) {
      const uint32_t r = p >> 16, g = (p >> 8) & 255;
      *box += p == 0xFF0000;
      *reflection += r == 0xFF && g > 0x20 && g < 0x40;
    }
  }
  std::vector<uint32_t> frame = std::vector<uint32_t>(kFramePixels, 0);
};

TEST_F(DanceFloorRow, TheReflectionShowsOnlyFromAboveTheFloor) {
  const struct {
    const char* what;
    Vec3 eye;
    bool reflected;
  } cases[] = {{"from above", {0, -300, 150}, true}, {"from below", {0, -300, -150}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Load(c.eye);
    SceneEffectsForget();
    std::fill(frame.begin(), frame.end(), 0);
    DanceFloorEffect(frame.data(), 200.0f, 195.0f, 202.0f, 0.7f, 0);
    int box, reflection;
    Count(&box, &reflection);
    EXPECT_EQ(reflection > 300, c.reflected) << reflection;
    if (c.reflected) {
      EXPECT_GT(box, 300);
    }
    // The floor took the mirror material on the first call, and the
    // reflection was undone before the real scene was drawn.
    EXPECT_EQ(FloorScene.faces[0].material, MaterialFind(&FloorScene, "mymat"));
    EXPECT_EQ(FloorScene.meshes[1].world.m[5], 1.0f);
    EXPECT_EQ(MainViewport.planeCount, 5);
  }
}

// Param 2 runs its clock from 7 s before its row's start.
TEST_F(DanceFloorRow, ParamTwoStartsSevenSecondsEarly) {
  Load({0, -300, 150});
  auto draw = [&](float t, int param) {
    std::vector<uint32_t> out(kFramePixels, 0);
    DanceFloorEffect(out.data(), t, 217.0f, 224.0f, 0.5f, param);
    return out;
  };
  EXPECT_EQ(draw(219.0f, 2), draw(226.0f, 0));
  EXPECT_NE(draw(219.0f, 2), draw(219.0f, 0));
}

}  // namespace
