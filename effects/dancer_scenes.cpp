#include "effects/dancer_scenes.h"

#include <cstdio>
#include <cstring>

#include "engine/animation.h"
#include "engine/math3d.h"
#include "engine/motion.h"
#include "image/asset_names.h"
#include "raster/raster_batch.h"

const char* const kDancerMotionFiles[3] = {kMotionFiles[2], kMotionFiles[3], kMotionFiles[4]};
const float kDancerMotionDurations[3] = {3.0f, 1.0f, 3.0f};

namespace {

// Bounding-box corners of the floor's top face, in the mirror's order.
constexpr int kMirrorCornerIndex[4] = {1, 0, 7, 6};

int PlaneCount(const Viewport* vp) {
  if (vp->planeCount < 0) return 0;
  return vp->planeCount > kViewportMaxPlanes ? kViewportMaxPlanes : vp->planeCount;
}

void ClearDepth(const Viewport* vp, int32_t* depth) {
  RasterBatchFill(depth, 0, static_cast<size_t>(vp->width) * vp->height);
}

void DrawList(Viewport* vp) {
  ViewportSortFaces(vp, 1);
  ViewportDrawFaces(vp);
  ViewportClearFaces(vp);
}

// Every mesh of the scene but one.
void SubmitAllBut(Scene* scene, const Mesh* skip, Viewport* vp) {
  const int meshes =
      scene->meshCount < scene->capacity.meshes ? scene->meshCount : scene->capacity.meshes;
  for (int i = 0; i < meshes; i++)
    if (&scene->meshes[i] != skip) MeshSubmit(&scene->meshes[i], vp);
}

void Pose(Scene* scene, Scene* floorScene, Viewport* vp, const Camera* camera, float clock) {
  ViewportSetCamera(vp, camera);
  SceneUpdateMeshMatrices(scene);
  if (floorScene != scene) SceneUpdateMeshMatrices(floorScene);
  ApplyMotion(scene, clock);
}

}  // namespace

namespace {
char BoundMotion[64];
}

int BindMotionFile(const char* fileName, float duration) {
  if (std::strcmp(BoundMotion, fileName) == 0) return 0;
  LoadMotion(fileName);
  MotionFrameDuration = duration;
  std::snprintf(BoundMotion, sizeof(BoundMotion), "%s", fileName);
  return 1;
}

void ForgetBoundMotion() { BoundMotion[0] = 0; }

int DancerBindMotion(int param) {
  if (param < 0 || param > 2) param = 0;
  return BindMotionFile(kDancerMotionFiles[param], kDancerMotionDurations[param]);
}

const Camera* SceneCamera(const Scene* scene, int number) {
  const int cameras =
      scene->cameraCount < scene->capacity.cameras ? scene->cameraCount : scene->capacity.cameras;
  if (number < 0 || number >= cameras) return nullptr;
  return &scene->cameras[number];
}

void DancerFrame(Scene* scene, Viewport* vp, uint32_t* frame, int32_t* depth, float sceneClock,
                 float motionClock, int camera) {
  ClearDepth(vp, depth);
  ViewportSetCullMode(vp, kCullPositive);
  ViewportSetTarget(vp, vp->width * 4, frame, depth);
  const Camera* cam = SceneCamera(scene, camera);
  if (cam == nullptr) return;
  SceneSetFrame(scene, sceneClock);
  ViewportSetCamera(vp, cam);
  SceneUpdateMeshMatrices(scene);
  ApplyMotion(scene, motionClock);
  ViewportPrepareLights(vp, scene);
  ViewportClearFaces(vp);
  SceneSubmit(scene, vp);
  DrawList(vp);
}

void MirrorFloorInit(MirrorFloor* mirror, Mesh* floor) {
  std::memset(mirror, 0, sizeof(*mirror));
  mirror->floor = floor;
  if (floor == nullptr) return;
  for (int k = 0; k < 4; k++) mirror->corners[k].position = floor->bounds[kMirrorCornerIndex[k]];
}

void MirrorPrepare(MirrorFloor* mirror, const Viewport* vp, MirrorView* out) {
  Vertex* c = mirror->corners;
  const Mesh* floor = mirror->floor;
  // World corners first, parked in the view fields.
  for (int k = 0; k < 4; k++) MatTransformPoint(c[k].position, floor->world, &c[k].view);
  PlaneFromPoints(c[0].view, c[1].view, c[2].view, &out->worldPlane);
  MatMirror(out->worldPlane, &out->mirror);
  Mat4 modelView;
  MatMul(floor->world, vp->view, &modelView);
  for (int k = 0; k < 4; k++) MatTransformPoint(c[k].position, modelView, &c[k].view);
  // The top face's corners wind so that the plane's normal points down
  // through the floor: seen from above it points away from the eye, along
  // the line of sight to any corner.
  const Vec3 n = {out->worldPlane.nx, out->worldPlane.ny, out->worldPlane.nz};
  Vec3 viewNormal;
  MatRotateVector(n, vp->view, &viewNormal);
  out->facing = VecDot(viewNormal, c[0].view) > 0.0f ? 1 : 0;
}

int MirrorPortal(MirrorFloor* mirror, Viewport* vp) {
  Vertex* corners[4] = {&mirror->corners[0], &mirror->corners[1], &mirror->corners[2],
                        &mirror->corners[3]};
  PolygonBegin(corners, 4);
  const int planes = PlaneCount(vp);
  for (int i = 0; i < planes; i++) ClipPolygon(vp->planes[i]);
  const int n = PolygonState.count;
  if (n < 3 || n + 1 > kViewportMaxPlanes) return 0;

  Vec3 outline[kPolygonCapacity];
  Vec3 centre = {0, 0, 0};
  for (int k = 0; k < n; k++) {
    outline[k] = PolygonState.vertices[k]->view;
    VecAdd(centre, outline[k], &centre);
  }
  VecScale(centre, 1.0f / static_cast<float>(n), &centre);

  // A plane through the eye and each outline edge, turned so that the
  // outline lies on its inner side whichever way the outline winds.
  const Vec3 eye = {0, 0, 0};
  for (int k = 0; k < n; k++) {
    Plane p;
    PlaneFromPoints(eye, outline[k], outline[(k + 1) % n], &p);
    if (VecDot(Vec3{p.nx, p.ny, p.nz}, centre) < p.d) p = Plane{-p.nx, -p.ny, -p.nz, -p.d};
    vp->planes[k] = p;
  }
  // The floor itself: what lies beyond it, away from the eye, is inside.
  PlaneFromPoints(mirror->corners[0].view, mirror->corners[1].view, mirror->corners[2].view,
                  &vp->planes[n]);
  vp->planeCount = n + 1;
  return n + 1;
}

void MirrorFrame(Scene* scene, Scene* floorScene, MirrorFloor* mirror, Viewport* vp,
                 uint32_t* frame, int32_t* depth, float clock, int camera) {
  ClearDepth(vp, depth);
  ViewportSetCullMode(vp, kCullPositive);
  ViewportSetTarget(vp, vp->width * 4, frame, depth);
  const Camera* cam = SceneCamera(scene, camera);
  if (cam == nullptr || mirror->floor == nullptr) return;
  SceneSetFrame(scene, clock);
  if (floorScene != scene) SceneSetFrame(floorScene, clock);
  Pose(scene, floorScene, vp, cam, clock);
  ViewportPrepareLights(vp, scene);
  if (floorScene != scene) ViewportPrepareLights(vp, floorScene);

  MirrorView view;
  MirrorPrepare(mirror, vp, &view);
  if (view.facing && MirrorPortal(mirror, vp) > 0) {
    // The reflection reverses every face's winding.
    SceneTransformMeshes(scene, view.mirror);
    ViewportSetCullMode(vp, kCullNegative);
    ViewportClearFaces(vp);
    SubmitAllBut(scene, mirror->floor, vp);
    DrawList(vp);
    ViewportSetCullMode(vp, kCullPositive);
  }

  // Frustum planes back, reflection undone.
  Pose(scene, floorScene, vp, cam, clock);
  ViewportClearFaces(vp);
  MeshSubmit(mirror->floor, vp);
  DrawList(vp);
  SubmitAllBut(scene, mirror->floor, vp);
  DrawList(vp);
}
