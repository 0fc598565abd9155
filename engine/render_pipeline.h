// The render pipeline: a posed Scene seen through a camera becomes lit,
// textured triangles in a 32-bit frame and its depth buffer.
//
// Per frame the caller sets the target, poses the scene, sets the camera and
// the lights, then submits meshes: each is moved into camera space, rejected
// whole when its bounding box lies outside one frustum plane, lit per vertex,
// and its front faces are collected in the viewport's face list. The list is
// sorted far to near and drawn near to far: each face is clipped against the
// planes it may cross, projected and handed to the rasterizer as a fan.
//
// A projector light (ProjectorRender) relights a drawn scene through a second,
// square viewport whose target is the shared render texture, blackening what
// it has lit so that surfaces behind receive its shadow.
#pragma once
#include <cstdint>

#include "engine/math3d.h"
#include "engine/scene.h"
#include "image/picture.h"
#include "raster/material.h"
#include "raster/raster.h"

// Clip planes: 0 and 1 the sides, 2 and 3 top and bottom, 4 near (z = 1),
// 5 far. Planes beyond 5 are room for portals cut by a caller (a mirror's
// outline); outcode bit i belongs to plane i.
enum : int32_t {
  kPlaneNear = 4,
  kPlaneFar = 5,
  kViewportMaxPlanes = 16,
};

// A face's clip mask: every active plane.
constexpr int32_t kClipAllPlanes = 0xffffff;

// Back-face rejection by the signed screen area of a face.
enum : int32_t {
  kCullPositive = 0,  // drop faces whose area is positive
  kCullNegative = 1,  // drop faces whose area is negative (mirrored passes)
  kCullNone = 2,
};

struct Viewport {
  int32_t width, height;
  float centreX, centreY;  // size * 0.5 - 0.5: pixel centres on integers
  float scaleX, scaleY;    // camera-space x / z to pixels
  float fovX, fovY;        // radians
  Plane planes[kViewportMaxPlanes];
  int32_t planeCount;  // 5, or 6 with the far plane
  int32_t fadeEnabled;
  float fadeStart, farZ;
  int32_t faceCount;
  Face** faceList;
  Mat4 view;  // world to camera space
  Vec3 ambient;
  int32_t cullMode;
  uint32_t* target;
  int32_t* depthBuffer;  // trunc(1e9 / z), larger is nearer
  int32_t pitchBytes, pitchPixels;
  Picture* texturePicture;    // what ViewportGrabTexture copies
  int32_t faceCapacity;       // room in faceList; faces beyond it are dropped
  RenderTarget renderTarget;  // what the rasterizer draws into
  // The planes the submitted vertices' inside masks were taken against, and
  // the stamp those vertices carry; a drawing pass whose planes differ from
  // these clips every face in full.
  Plane maskPlanes[kViewportMaxPlanes];
  int32_t maskPlaneCount;
  uint32_t clipStamp;
};

// Allocates the face list; sets the centre, a 60 degree view, no ambient
// light, no far plane, the identity view. 0 when the sizes are not positive
// or the list cannot be allocated; the viewport is then left as it was.
// vp is a zeroed record or a created viewport: creating one again frees its
// old face list. The owner frees faceList with std::free.
int ViewportCreate(Viewport* vp, int maxFaces, int width, int height);

// Horizontal field of view in degrees; the vertical one is three quarters of
// it for the 4:3 screen. Rebuilds the five frustum planes (a far plane is
// switched off; the fade flag is kept).
void ViewportSetFov(Viewport* vp, float degrees);
// Square view (vertical angle = horizontal), for projector lights.
void ViewportSetSquareFov(Viewport* vp, float degrees);
// Far plane at farZ; light fades linearly from fadeStart to farZ.
void ViewportSetFarPlane(Viewport* vp, float fadeStart, float farZ);
void ViewportEnableFarPlane(Viewport* vp, int on);
void ViewportSetAmbient(Viewport* vp, float r, float g, float b);
void ViewportSetCullMode(Viewport* vp, int mode);
// Both buffers share the pitch. depthBuffer may be null when only modes
// without depth draw.
void ViewportSetTarget(Viewport* vp, int pitchBytes, uint32_t* frameBuffer, int32_t* depthBuffer);

// View from the camera's animated eye, target and roll; its animated field
// of view.
void ViewportSetCamera(Viewport* vp, const Camera* camera);
// Each light's position becomes its animated position in camera space; its
// colour its animated colour (kept when it has no colour track).
void ViewportPrepareLights(Viewport* vp, Scene* scene);

void ViewportClearFaces(Viewport* vp);
// Transforms, culls, lights and collects the mesh's visible faces.
void MeshSubmit(Mesh* mesh, Viewport* vp);
// MeshSubmit for every mesh in pool order.
void SceneSubmit(Scene* scene, Viewport* vp);
// mode 1: farthest depth key first. Other modes leave the list as it is.
void ViewportSortFaces(Viewport* vp, int mode);

// Draws the face list from its last entry to its first (nearest first; the
// depth buffer resolves overlaps). Corners take the face's mapping and the
// light level 128.
void ViewportDrawFaces(Viewport* vp);
// The same from the first entry to the last (farthest first).
void ViewportDrawFacesFarFirst(Viewport* vp);
// Like ViewportDrawFaces, and every face reached through a listed face's
// next chain is drawn after it; corners take each face's own light levels.
void ViewportDrawFaceChains(Viewport* vp);

// Face mapping from camera-space normals: a sphere map of a 256 texture.
// After submission, before drawing.
void MeshEnvironmentMap(Mesh* mesh);

// Camera-space position to screen position and depth, into out.
inline void ProjectVertex(const Viewport* vp, const Vec3& view, Vertex* out) {
  const float z = view.z;
  const float q = z == 0.0f ? 1.0f : 1.0f / z;
  out->screenX = view.x * vp->scaleX * q + vp->centreX;
  out->screenY = vp->centreY - q * (view.y * vp->scaleY);
  out->depth = z;
}
inline void ProjectVertex(const Viewport* vp, Vertex* v) { ProjectVertex(vp, v->view, v); }

// The polygon being clipped and drawn: the current list of vertex pointers.
// Vertices made by clipping come from a ring of temporaries, valid until the
// ring comes round again (256 later).
constexpr int kPolygonCapacity = 32;
constexpr int kClipVertexRing = 256;

struct PolygonWork {
  Vertex** vertices;  // one of the two lists
  int32_t count;
  Vertex* lists[2][kPolygonCapacity];
  Vertex ring[kClipVertexRing];
  int32_t ringNext;
  int32_t madeForPolygon;   // temporaries made since PolygonBegin
  ScreenVertex corners[3];  // the triangle handed to the rasterizer
  Material* material;       // current material and viewport
  Viewport* viewport;
};

extern PolygonWork PolygonState;

// Starts a polygon from count corners (at most kPolygonCapacity are kept).
void PolygonBegin(Vertex* const* corners, int count);
// Keeps the part of the polygon on the inner side of the plane
// (dot(view, n) >= d), cutting edges that cross it.
void ClipPolygon(const Plane& plane);
// Projects the polygon and draws it as a fan with the material, unless it
// has fewer than three corners or faces away.
void DrawPolygon(Viewport* vp, Material* material);

// The shared 256x256 render texture: filled by ViewportGrabTexture, sampled
// by materials and by projector lights, blackened by their shadows.
constexpr int kRenderTextureSize = 256;
extern uint32_t RenderTexture[kRenderTextureSize * kRenderTextureSize];
// Copies the viewport's texture picture (at least 256x256) into it.
void ViewportGrabTexture(Viewport* vp);

// The environment picture for sphere-mapped passes, set once at start-up.
// Its pixels stay as they are while it is set: set it again after changing
// them, as copies made from it are kept until then.
extern Picture* EnvironmentTexture;
void SetEnvironmentTexture(Picture* picture);
// Counts the settings, from 1: a copy made at one setting is good while the
// count stays the same.
uint64_t EnvironmentTextureSetting();

// Relights the scene already drawn through main with the light as a
// shadow-casting projector: projector is a 256x256 viewport drawing into
// RenderTexture, which holds the light's pattern. intensity is kept to 0..1.
// The light's position and target are world points: set the position after
// ViewportPrepareLights, which turns it into a camera-space one.
void ProjectorRender(Light* light, Viewport* projector, Scene* scene, Viewport* main,
                     float intensity);
// The texture the projector passes take the light's pattern from and
// blacken: RenderTexture unless another 256x256 one is given (null gives
// RenderTexture back). With two, one light can be set up while the previous
// light's triangles are still being drawn from the other.
void ProjectorUseTexture(uint32_t* pixels);
// A light pass's shadow stamps, and the lowest stamp the passes so far have
// set. Each pass takes stamps below every earlier pass's, so what earlier
// passes left reads as unstamped to it, and the buffer is refilled only when
// the stamps run out. A zeroed record is ready for its first pass.
struct ShadowStampBuffer {
  uint32_t stamps[kRenderTextureSize * kRenderTextureSize];
  uint32_t lowest;  // 0: not filled yet
};
// Keeps the shadows apart from the texture (null, the default, blackens the
// texture): with a stamp buffer the passes leave the texture as it is and
// stamp where and when they blacken, and each lit triangle reads the texture
// through the stamps. The pixels come out the same, but lit triangles queued
// in a batch can then share rows, and the texture is only read. The stamps
// are written by every pass: give another buffer while queued triangles
// still read these.
void ProjectorKeepShadowsApart(ShadowStampBuffer* stamps);
// The same without counting the faces that share each corner: what has been
// lit is blackened whenever the walk moves on to faces farther from the
// light. Cheaper; faces of one depth band do not shadow each other.
void ProjectorRenderUncounted(Light* light, Viewport* projector, Scene* scene, Viewport* main,
                              float intensity);
