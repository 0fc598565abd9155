// The shared render and environment textures, and projector lights.
//
// A projector light sees the scene from its own square view. Its faces are
// walked nearest to the light first; each is drawn a second time into the
// main view with the render texture added on, mapped by where it falls in the
// light's view. Once every face sharing a polygon's corners has been lit, the
// polygon is blackened in the render texture, so that surfaces behind it,
// drawn later, receive no light there: a shadow. Waiting for the corners'
// faces keeps a surface from shadowing its own neighbours along shared edges.
#include <cstdint>
#include <cstring>

#include "engine/material_library.h"
#include "engine/render_internal.h"
#include "engine/render_pipeline.h"

uint32_t RenderTexture[kRenderTextureSize * kRenderTextureSize];
Picture* EnvironmentTexture = nullptr;

namespace {

// Square view: 3 corners plus one per plane is the most a clipped face has.
constexpr int kLitCorners = 16;
constexpr int kLitRecords = 1500;
// The lit copy is drawn a little nearer than its surface so that it passes
// the depth test against it.
constexpr float kLitDepthScale = 0.9995f;

int32_t ProjectorDepth[kRenderTextureSize * kRenderTextureSize];
Material LightMaterial;   // the render texture added onto the frame
Material ShadowMaterial;  // silhouette: black into the render texture

// A face clipped to the light's view, waiting to be blackened.
struct LitPolygon {
  int32_t count;
  Vertex* corner[3];  // the face's corners, whose use counts release it
  LitPolygon* prev;
  LitPolygon* next;
  int32_t drawn;
  int32_t linked;
  Vertex vertices[kLitCorners];  // projected into the light's view
};

LitPolygon Records[kLitRecords];
int NextRecord = 0;
LitPolygon* Waiting = nullptr;

void Unlink(LitPolygon* r) {
  if (!r->linked) return;
  if (r->prev)
    r->prev->next = r->next;
  else
    Waiting = r->next;
  if (r->next) r->next->prev = r->prev;
  r->prev = r->next = nullptr;
  r->linked = 0;
}

void UnlinkAll() {
  while (Waiting) Unlink(Waiting);
}

// Records are reused round the ring. One still waiting when its turn comes
// again is dropped from the list first (its shadow is lost, not the list).
LitPolygon* TakeRecord() {
  LitPolygon* r = &Records[NextRecord];
  NextRecord = (NextRecord + 1) % kLitRecords;
  Unlink(r);
  r->prev = nullptr;
  r->next = Waiting;
  if (Waiting) Waiting->prev = r;
  Waiting = r;
  r->linked = 1;
  r->drawn = 0;
  return r;
}

bool Released(const LitPolygon* r) {
  return r->corner[0]->useCount == 0 && r->corner[1]->useCount == 0 && r->corner[2]->useCount == 0;
}

// Light's view of every mesh: vertices carry the light-space position in
// view, the main-camera position in viewNormal (so clipping interpolates
// both) and the light's level in shade, and which of the light's planes
// they lie inside, stamped with the stamp returned.
uint32_t PrepareMeshes(Scene* scene, Viewport* projector, Viewport* main, float intensity) {
  const uint32_t stamp = NewClipStamp();
  const int meshes =
      scene->meshCount < scene->capacity.meshes ? scene->meshCount : scene->capacity.meshes;
  for (int i = 0; i < meshes; i++) {
    Mesh* mesh = &scene->meshes[i];
    if (!MeshRangesValid(mesh)) continue;
    Mat4 p, m, r;
    MatMul(mesh->world, projector->view, &p);
    MatMul(mesh->world, main->view, &m);
    MatNormalizeRows(p, &r);
    const int32_t crossing = MeshCrossingMask(mesh, p, projector);
    if (crossing < 0) continue;
    Vertex* v = scene->vertices + mesh->firstVertex;
    for (int k = 0; k < mesh->vertexCount; k++, v++) {
      v->useCount = 0;
      MatTransformPoint(v->position, m, &v->viewNormal);
      MatTransformPoint(v->position, p, &v->view);
      v->insideMask = InsideMask(projector, v->view);
      v->insideStamp = stamp;
      Vec3 n;
      MatRotateVector(v->normal, r, &n);
      VecSetLength(n, 1.0f, &n);
      v->shade = intensity * 255.0f * n.z;
      ProjectVertex(projector, v);
      v->outcode = VertexOutcode(projector, v->view, crossing);
    }
    CollectFaces(mesh, projector, true);
  }
  return stamp;
}

// The face's polygon in the light's view (already clipped to it) drawn onto
// the main view with the render texture added, mapped by light-view position.
void DrawLitCopy(const LitPolygon* r, Viewport* main) {
  Vertex lit[kLitCorners];
  Vertex* ptr[kLitCorners];
  for (int j = 0; j < r->count; j++) {
    lit[j] = r->vertices[j];
    lit[j].u = lit[j].screenX;
    lit[j].v = lit[j].screenY;
    lit[j].view = lit[j].viewNormal;
    lit[j].outcode = kClipAllPlanes;
    ptr[j] = &lit[j];
  }
  PolygonBegin(ptr, r->count);
  const int planes = ActivePlanes(main);
  for (int p = 0; p < planes; p++) ClipPolygon(main->planes[p]);
  DrawPolygonScaled(main, &LightMaterial, kLitDepthScale);
}

// Every waiting polygon whose corners no unlit face uses any more, or every
// waiting polygon at all.
void BlackenReleased(Viewport* projector, bool all) {
  for (LitPolygon* r = Waiting; r != nullptr;) {
    LitPolygon* next = r->next;
    if (!r->drawn && (all || Released(r))) {
      Vertex* ptr[kLitCorners];
      for (int j = 0; j < r->count; j++) ptr[j] = &r->vertices[j];
      DrawFan(projector, &ShadowMaterial, ptr, r->count);
      r->drawn = 1;
      Unlink(r);
    }
    r = next;
  }
}

}  // namespace

void SetEnvironmentTexture(Picture* picture) { EnvironmentTexture = picture; }

void ViewportGrabTexture(Viewport* vp) {
  const Picture* p = vp->texturePicture;
  if (!p || !p->pixels || p->width < kRenderTextureSize || p->height < kRenderTextureSize) return;
  for (int y = 0; y < kRenderTextureSize; y++)
    std::memcpy(RenderTexture + y * kRenderTextureSize, p->pixels + static_cast<long>(y) * p->width,
                kRenderTextureSize * 4);
}

namespace {

// Both projector passes. Counted: a polygon is blackened once no face still
// to come uses any of its corners. Uncounted: the polygons lit so far are
// blackened when the walk reaches a face farther from the light than they
// are, so faces at one depth never shadow each other.
void Project(Light* light, Viewport* projector, Scene* scene, Viewport* main, float intensity,
             bool counted) {
  if (!(intensity > 0.0f)) intensity = 0.0f;
  if (intensity > 1.0f) intensity = 1.0f;
  MaterialSetTexture(&LightMaterial, RM_ADD, 0, RenderTexture, 1);
  MaterialSetTexture(&ShadowMaterial, RM_SILHOUETTE, 0, nullptr, 1);
  ViewportSetTarget(projector, kRenderTextureSize * 4, RenderTexture, ProjectorDepth);
  // The render texture is all there is to draw into, whatever the size.
  if (projector->renderTarget.width > kRenderTextureSize)
    projector->renderTarget.width = kRenderTextureSize;
  if (projector->renderTarget.height > kRenderTextureSize)
    projector->renderTarget.height = kRenderTextureSize;
  MatLookAt(light->position, light->target, DegreesToRadians(light->projectorRoll),
            &projector->view);
  ViewportSetSquareFov(projector, light->projectorFov);
  ViewportClearFaces(projector);
  ViewportClearFaces(main);
  UnlinkAll();

  const uint32_t stamp = PrepareMeshes(scene, projector, main, intensity);
  const int count = FaceListCount(projector);
  if (counted)
    for (int i = 0; i < count; i++)
      for (int k = 0; k < 3; k++) projector->faceList[i]->vertex[k]->useCount++;
  ViewportSortFaces(projector, 1);

  int32_t litKey = INT32_MIN;
  for (int i = count - 1; i >= 0; i--) {
    Face* face = projector->faceList[i];
    if (!counted && face->depthKey > litKey) BlackenReleased(projector, true);
    Vertex** corner = face->vertex;
    for (int k = 0; k < 3; k++)
      if (corner[k]->shade < 0.0f) corner[k]->shade = 0.0f;
    face->clipMask = kClipAllPlanes;
    PolygonBegin(corner, 3);
    ClipTriangle(projector, corner, kClipAllPlanes, true, stamp);
    bool releasing = false;
    if (counted)
      for (int k = 0; k < 3; k++)
        if (--corner[k]->useCount == 0) releasing = true;
    if (PolygonState.count < 3) continue;

    LitPolygon* r = TakeRecord();
    r->count = PolygonState.count < kLitCorners ? PolygonState.count : kLitCorners;
    for (int k = 0; k < 3; k++) r->corner[k] = corner[k];
    for (int j = 0; j < r->count; j++) {
      r->vertices[j] = *PolygonState.vertices[j];
      ProjectVertex(projector, &r->vertices[j]);
    }
    DrawLitCopy(r, main);
    if (releasing) BlackenReleased(projector, false);
    litKey = face->depthKey;
  }
  if (!counted) BlackenReleased(projector, true);
}

}  // namespace

void ProjectorRender(Light* light, Viewport* projector, Scene* scene, Viewport* main,
                     float intensity) {
  Project(light, projector, scene, main, intensity, true);
}

void ProjectorRenderUncounted(Light* light, Viewport* projector, Scene* scene, Viewport* main,
                              float intensity) {
  Project(light, projector, scene, main, intensity, false);
}
