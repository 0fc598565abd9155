// Viewports, mesh submission, the face list, clipping and the hand-over of
// fan triangles to the rasterizer.
//
// Arithmetic here is single precision, as the drawing runs; vector and matrix
// products go through the math library, which rounds each result once. Every
// capacity is guarded: a full face list drops further faces, a polygon keeps
// at most kPolygonCapacity corners, and one polygon never makes more clip
// vertices than the ring holds, so none it still uses is overwritten.
#include "engine/render_pipeline.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/material_library.h"
#include "engine/render_internal.h"
#include "platform/system.h"
#include "raster/raster_batch.h"
#include "show/fade.h"

PolygonWork PolygonState;

namespace {

constexpr float kFaceLevel = 128.0f;
// A chain of faces drawn together is one face per contributing blob; a longer
// chain can only be a loop.
constexpr int kMaxChain = 64;

float PlaneDistance(const Plane& p, const Vec3& v) { return VecDot(Vec3{p.nx, p.ny, p.nz}, v); }

// Truncation towards zero, saturated at the int32 range (NaN gives 0).
int32_t DepthKey(float z) {
  if (!(z == z)) return 0;
  if (z >= 2147483520.0f) return INT32_MAX;
  if (z <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(z);
}

Vec3 Lerp(const Vec3& a, const Vec3& b, float f) {
  return Vec3{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
}

float Clamp255(float c) {
  if (c > 255.0f) return 255.0f;
  if (c < 0.0f) return 0.0f;
  return c;
}

#if KV_X86_EXTENSIONS
// The lighting loop of MeshSubmit for four vertices at a time: each lane
// takes the very operations of the one-vertex loop in the same order and
// precision (float differences, the squared length summed in double and
// rounded to float, its double square root rounded to float, the double
// factor, the double dot product rounded to float, float sums), so every
// vertex gets the same light. Returns the first vertex left for that loop.
__attribute__((target("avx2"))) Vertex* LightFourAtATime(Vertex* first, Vertex* end,
                                                         const Light* light, int lights) {
  Vertex* v = first;
  for (; end - v >= 4; v += 4) {
    auto lanes = [v](size_t offset) { return FourVertexField(v, offset); };
    const __m128 px = lanes(offsetof(Vertex, view.x)), py = lanes(offsetof(Vertex, view.y)),
                 pz = lanes(offsetof(Vertex, view.z));
    const __m256d nx = _mm256_cvtps_pd(lanes(offsetof(Vertex, viewNormal.x)));
    const __m256d ny = _mm256_cvtps_pd(lanes(offsetof(Vertex, viewNormal.y)));
    const __m256d nz = _mm256_cvtps_pd(lanes(offsetof(Vertex, viewNormal.z)));
    __m128 r = lanes(offsetof(Vertex, light.x)), g = lanes(offsetof(Vertex, light.y)),
           b = lanes(offsetof(Vertex, light.z));
    for (int i = 0; i < lights; i++) {
      const Light& l = light[i];
      const __m256d tx = _mm256_cvtps_pd(_mm_sub_ps(px, _mm_set1_ps(l.position.x)));
      const __m256d ty = _mm256_cvtps_pd(_mm_sub_ps(py, _mm_set1_ps(l.position.y)));
      const __m256d tz = _mm256_cvtps_pd(_mm_sub_ps(pz, _mm_set1_ps(l.position.z)));
      const __m256d factor = FourUnitFactors(tx, ty, tz);
      const __m256d ux = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(tx, factor)));
      const __m256d uy = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(ty, factor)));
      const __m256d uz = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(tz, factor)));
      const __m128 k = _mm256_cvtpd_ps(_mm256_add_pd(
          _mm256_add_pd(_mm256_mul_pd(nx, ux), _mm256_mul_pd(ny, uy)), _mm256_mul_pd(nz, uz)));
      const __m128 facing = _mm_cmpge_ps(k, _mm_setzero_ps());
      r = _mm_blendv_ps(r, _mm_add_ps(r, _mm_mul_ps(k, _mm_set1_ps(l.colour.x))), facing);
      g = _mm_blendv_ps(g, _mm_add_ps(g, _mm_mul_ps(k, _mm_set1_ps(l.colour.y))), facing);
      b = _mm_blendv_ps(b, _mm_add_ps(b, _mm_mul_ps(k, _mm_set1_ps(l.colour.z))), facing);
    }
    alignas(16) float out[3][4];
    _mm_store_ps(out[0], r);
    _mm_store_ps(out[1], g);
    _mm_store_ps(out[2], b);
    for (int k = 0; k < 4; k++) {
      v[k].light.x = Clamp255(out[0][k] * 255.0f);
      v[k].light.y = Clamp255(out[1][k] * 255.0f);
      v[k].light.z = Clamp255(out[2][k] * 255.0f);
    }
  }
  return v;
}
#endif

void ToScreen(const Vertex* v, ScreenVertex* s) {
  s->x = v->screenX;
  s->y = v->screenY;
  s->z = v->depth;
  s->level = v->shade;
  s->red = v->light.x;
  s->green = v->light.y;
  s->blue = v->light.z;
  s->u = v->u;
  s->v = v->v;
}

void SetFrustum(Viewport* vp, float fovX, float fovY) {
  vp->fovX = fovX;
  vp->fovY = fovY;
  const double hx = fovX * 0.5, hy = fovY * 0.5;
  const float cx = static_cast<float>(std::cos(hx)), sx = static_cast<float>(std::sin(hx));
  const float cy = static_cast<float>(std::cos(hy)), sy = static_cast<float>(std::sin(hy));
  vp->scaleX = static_cast<float>(vp->width * std::cos(hx) / (2.0 * std::sin(hx)));
  vp->scaleY = static_cast<float>(vp->height * std::cos(hy) / (2.0 * std::sin(hy)));
  vp->planes[0] = Plane{cx, 0.0f, sx, 0.0f};
  vp->planes[1] = Plane{-cx, 0.0f, sx, 0.0f};
  vp->planes[2] = Plane{0.0f, cy, sy, 0.0f};
  vp->planes[3] = Plane{0.0f, -cy, sy, 0.0f};
  vp->planes[kPlaneNear] = Plane{0.0f, 0.0f, 1.0f, 1.0f};
  vp->planeCount = 5;
}

// Screen-space area when every corner is in front of the eye, else the
// camera-space triple product (projection flips what lies behind).
bool FaceFacesViewer(int cullMode, const Vertex* a, const Vertex* b, const Vertex* c,
                     bool cameraSpaceOnly) {
  if (cullMode != kCullPositive && cullMode != kCullNegative) return true;
  float area;
  if (cameraSpaceOnly || a->view.z <= 0.0f || b->view.z <= 0.0f || c->view.z <= 0.0f) {
    Vec3 cross;
    VecCross(a->view, b->view, &cross);
    area = -VecDot(cross, c->view);
  } else {
    area = (a->screenX - b->screenX) * (a->screenY - c->screenY) -
           (a->screenX - c->screenX) * (a->screenY - b->screenY);
  }
  return cullMode == kCullPositive ? !(area > 0.0f) : !(area < 0.0f);
}

// Screen-space test on the first three corners of a projected polygon.
bool PolygonFacesViewer(int cullMode, Vertex* const* v) {
  if (cullMode != kCullPositive && cullMode != kCullNegative) return true;
  const float area = (v[0]->screenX - v[1]->screenX) * (v[0]->screenY - v[2]->screenY) -
                     (v[0]->screenX - v[2]->screenX) * (v[0]->screenY - v[1]->screenY);
  return cullMode == kCullPositive ? !(area > 0.0f) : !(area < 0.0f);
}

// True when the viewport's planes are still those its vertices' inside
// masks were taken against.
bool MaskPlanesCurrent(const Viewport* vp) {
  if (vp->clipStamp == 0 || vp->maskPlaneCount != vp->planeCount) return false;
  const int planes = ActivePlanes(vp);
  return std::memcmp(vp->maskPlanes, vp->planes, sizeof(Plane) * size_t(planes)) == 0;
}

// masksCurrent: the caller found the viewport's planes unchanged since the
// vertices were submitted, so a plane that all three corners of the
// untouched triangle lie inside is passed over (the cut would keep it as it
// is). Once a plane has cut the polygon every later plane is applied.
void DrawFace(Viewport* vp, Face* face, int32_t clipMask, bool ownLevels, bool masksCurrent) {
  Vertex** corner = face->vertex;
  if (!corner[0] || !corner[1] || !corner[2]) return;
  for (int k = 0; k < 3; k++) {
    corner[k]->u = face->uv[2 * k];
    corner[k]->v = face->uv[2 * k + 1];
    corner[k]->shade = ownLevels ? face->shade[k] : kFaceLevel;
  }
  Material* material = FaceDrawMaterial(face);
  PolygonBegin(corner, 3);
  ClipTriangle(vp, corner, clipMask, masksCurrent, vp->clipStamp);
  DrawPolygon(vp, material);
}

// A face and its key side by side, so the sort compares without following
// each face pointer.
struct KeyedFace {
  int32_t key;
  Face* face;
};

void SortRange(KeyedFace* list, int lo, int hi) {
  // Recurse into the smaller part and loop on the larger: the same order as
  // plain recursion on both, with the stack bounded by log n.
  while (lo < hi) {
    const int32_t pivot = list[lo + (hi - lo) / 2].key;
    int i = lo, j = hi;
    while (i <= j) {
      while (list[i].key > pivot) i++;
      while (list[j].key < pivot) j--;
      if (i <= j) {
        const KeyedFace t = list[i];
        list[i] = list[j];
        list[j] = t;
        i++;
        j--;
      }
    }
    if (j - lo < hi - i) {
      if (lo < j) SortRange(list, lo, j);
      lo = i;
    } else {
      if (i < hi) SortRange(list, i, hi);
      hi = j;
    }
  }
}

}  // namespace


uint32_t NewClipStamp() {
  static uint32_t last = 0;
  if (++last == 0) ++last;  // 0 marks a vertex without a mask
  return last;
}

// The planes a cut would leave the untouched triangle whole on are passed
// over; a plane that did cut it makes every later plane count, since a new
// vertex need not lie inside where its corners did.
void ClipTriangle(const Viewport* vp, Vertex* const* corner, int32_t clipMask, bool useMasks,
                  uint32_t stamp) {
  int32_t inside = 0;
  if (useMasks && stamp != 0 && corner[0]->insideStamp == stamp &&
      corner[1]->insideStamp == stamp && corner[2]->insideStamp == stamp)
    inside = corner[0]->insideMask & corner[1]->insideMask & corner[2]->insideMask;
  Vertex* const* whole = PolygonState.vertices;
  const int planes = ActivePlanes(vp);
  for (int i = 0; i < planes; i++) {
    if (!(clipMask & (1 << i))) continue;
    if ((inside & (1 << i)) && PolygonState.vertices == whole) continue;
    ClipPolygon(vp->planes[i]);
  }
}

int ActivePlanes(const Viewport* vp) {
  if (vp->planeCount < 0) return 0;
  return vp->planeCount > kViewportMaxPlanes ? kViewportMaxPlanes : vp->planeCount;
}

bool MeshRangesValid(const Mesh* mesh) {
  const Scene* s = mesh->scene;
  if (s == nullptr) return false;
  return mesh->firstVertex >= 0 && mesh->vertexCount >= 0 &&
         mesh->firstVertex <= s->vertexCount - mesh->vertexCount && mesh->firstFace >= 0 &&
         mesh->faceCount >= 0 && mesh->firstFace <= s->faceCount - mesh->faceCount;
}

// --- Set-up ----------------------------------------------------------------

int ViewportCreate(Viewport* vp, int maxFaces, int width, int height) {
  // Checked and allocated before the record is touched: a refusal leaves an
  // existing viewport (and its face list) as it was.
  if (maxFaces < 0 || width <= 0 || height <= 0) return 0;
  Face** faceList = static_cast<Face**>(std::calloc(maxFaces > 0 ? maxFaces : 1, sizeof(Face*)));
  if (faceList == nullptr) return 0;
  // Created again: the new list replaces the old one.
  std::free(vp->faceList);
  std::memset(vp, 0, sizeof(*vp));
  vp->faceList = faceList;
  vp->faceCapacity = maxFaces;
  vp->width = width;
  vp->height = height;
  vp->centreX = static_cast<float>(width) * 0.5f - 0.5f;
  vp->centreY = static_cast<float>(height) * 0.5f - 0.5f;
  ViewportSetFov(vp, 60.0f);
  ViewportSetAmbient(vp, 0.0f, 0.0f, 0.0f);
  ViewportEnableFarPlane(vp, 0);
  InitRasterizer();
  MatIdentity(&vp->view);
  return 1;
}

// The vertical angle is formed in one go and rounded once: three quarters of
// a float angle need not be a float.
void ViewportSetFov(Viewport* vp, float degrees) {
  const float fovY = static_cast<float>(static_cast<double>(degrees) * 3.0 * 0.25 * kPi * kInv180);
  SetFrustum(vp, DegreesToRadians(degrees), fovY);
}

void ViewportSetSquareFov(Viewport* vp, float degrees) {
  const float fov = DegreesToRadians(degrees);
  SetFrustum(vp, fov, fov);
}

void ViewportSetFarPlane(Viewport* vp, float fadeStart, float farZ) {
  vp->planes[kPlaneFar] = Plane{0.0f, 0.0f, -1.0f, -farZ};
  vp->planeCount = 6;
  vp->fadeStart = fadeStart;
  vp->farZ = farZ;
}

void ViewportEnableFarPlane(Viewport* vp, int on) {
  vp->planeCount = on ? 6 : 5;
  vp->fadeEnabled = on ? 1 : 0;
}

void ViewportSetAmbient(Viewport* vp, float r, float g, float b) { vp->ambient = Vec3{r, g, b}; }

void ViewportSetCullMode(Viewport* vp, int mode) { vp->cullMode = mode; }

void ViewportSetTarget(Viewport* vp, int pitchBytes, uint32_t* frameBuffer, int32_t* depthBuffer) {
  vp->pitchBytes = pitchBytes;
  vp->pitchPixels = pitchBytes / 4;
  vp->target = frameBuffer;
  vp->depthBuffer = depthBuffer;
  // A row never reaches into the next: the drawn width is at most the pitch.
  const int32_t pitch = vp->pitchPixels > 0 ? vp->pitchPixels : 0;
  vp->renderTarget = RenderTarget{frameBuffer, depthBuffer, pitch,
                                  vp->width < pitch ? vp->width : pitch, vp->height};
}

// --- Per frame -------------------------------------------------------------

void ViewportSetCamera(Viewport* vp, const Camera* camera) {
  const KeyNode& eye = camera->positionNode;
  MatLookAt(eye.position.current, camera->targetNode.position.current,
            DegreesToRadians(eye.roll.current), &vp->view);
  ViewportSetFov(vp, eye.fov.current);
}

void ViewportPrepareLights(Viewport* vp, Scene* scene) {
  for (int i = 0; i < scene->lightCount && i < scene->capacity.lights; i++) {
    Light* light = &scene->lights[i];
    MatTransformPoint(light->positionNode.position.current, vp->view, &light->position);
    if (light->positionNode.hasColour) light->colour = light->positionNode.colour.current;
  }
}

void ViewportClearFaces(Viewport* vp) { vp->faceCount = 0; }

// Planes the transformed box reaches across, or -1 when all eight corners
// lie outside one plane and nothing of the mesh can be seen.
int32_t MeshCrossingMask(const Mesh* mesh, const Mat4& m, const Viewport* vp) {
  Vec3 corner[8];
  for (int c = 0; c < 8; c++) MatTransformPoint(mesh->bounds[c], m, &corner[c]);
  int32_t mask = 0;
  const int planes = ActivePlanes(vp);
  for (int i = 0; i < planes; i++) {
    int outside = 0;
    for (int c = 0; c < 8; c++)
      if (!(PlaneDistance(vp->planes[i], corner[c]) > vp->planes[i].d)) outside++;
    if (outside == 8) return -1;
    if (outside) mask |= 1 << i;
  }
  return mask;
}

int32_t VertexMasks(const Viewport* vp, const Vec3& view, int32_t crossing, int32_t* inside) {
  int32_t code = 0, in = 0;
  const int planes = ActivePlanes(vp);
  for (int i = 0; i < planes; i++) {
    const float distance = PlaneDistance(vp->planes[i], view);
    if (distance >= vp->planes[i].d) in |= 1 << i;
    if ((crossing & (1 << i)) && distance < vp->planes[i].d) code |= 1 << i;
  }
  *inside = in;
  return code;
}

// Appends the mesh's faces that are not wholly outside one plane and face
// the viewer; the list keeps what fits.
void CollectFaces(Mesh* mesh, Viewport* vp, bool cameraSpaceOnly) {
  Face* face = mesh->scene->faces + mesh->firstFace;
  for (int f = 0; f < mesh->faceCount; f++, face++) {
    Vertex* a = face->vertex[0];
    Vertex* b = face->vertex[1];
    Vertex* c = face->vertex[2];
    if (!a || !b || !c) continue;
    if (a->outcode & b->outcode & c->outcode) continue;
    face->clipMask = kClipAllPlanes;
    if (!FaceFacesViewer(vp->cullMode, a, b, c, cameraSpaceOnly)) continue;
    int32_t key = DepthKey(a->depth);
    if (DepthKey(b->depth) > key) key = DepthKey(b->depth);
    if (DepthKey(c->depth) > key) key = DepthKey(c->depth);
    face->depthKey = key;
    if (vp->faceCount < 0) vp->faceCount = 0;
    if (vp->faceCount >= vp->faceCapacity) return;
    vp->faceList[vp->faceCount++] = face;
  }
}

namespace {

// The viewport's planes as the vertex masks are made against, with a fresh
// clip stamp when they changed.
void KeepMaskPlanes(Viewport* vp) {
  if (MaskPlanesCurrent(vp)) return;
  vp->clipStamp = NewClipStamp();
  vp->maskPlaneCount = vp->planeCount;
  std::memcpy(vp->maskPlanes, vp->planes, sizeof(vp->planes));
}

// A mesh's vertices through the view: positions, masks, screen places,
// normals and light. Touches only the mesh and its vertices; returns false
// for a mesh wholly outside one plane (or out of range), whose faces are
// not collected.
bool PrepareMeshVertices(Mesh* mesh, const Viewport* vp) {
  if (!MeshRangesValid(mesh)) return false;
  MatMul(mesh->world, vp->view, &mesh->modelView);
  const int32_t crossing = MeshCrossingMask(mesh, mesh->modelView, vp);
  if (crossing < 0) return false;

  Scene* scene = mesh->scene;
  Vertex* first = scene->vertices + mesh->firstVertex;
  Vertex* end = first + mesh->vertexCount;
  for (Vertex* v = first; v < end; v++) {
    MatTransformPoint(v->position, mesh->modelView, &v->view);
    v->outcode = VertexMasks(vp, v->view, crossing, &v->insideMask);
    v->insideStamp = vp->clipStamp;
    ProjectVertex(vp, v);
    MatRotateVector(v->normal, mesh->modelView, &v->viewNormal);
    v->light = vp->ambient;
  }

  // Diffuse light only: no falloff, no highlight. Normals point into the
  // object, so a surface faces a light when the direction from the light to
  // the vertex lies along its normal.
  const int lights =
      scene->lightCount < scene->capacity.lights ? scene->lightCount : scene->capacity.lights;
  Vertex* lit = first;
#if KV_X86_EXTENSIONS
  if (HasMmx() && PlatformHasAvx2()) lit = LightFourAtATime(first, end, scene->lights, lights);
#endif
  for (Vertex* v = lit; v < end; v++) {
    for (int i = 0; i < lights; i++) {
      const Light& light = scene->lights[i];
      Vec3 toVertex;
      VecSub(v->view, light.position, &toVertex);
      VecSetLength(toVertex, 1.0f, &toVertex);
      const float k = VecDot(v->viewNormal, toVertex);
      if (k >= 0.0f) {
        v->light.x += k * light.colour.x;
        v->light.y += k * light.colour.y;
        v->light.z += k * light.colour.z;
      }
    }
    v->light.x = Clamp255(v->light.x * 255.0f);
    v->light.y = Clamp255(v->light.y * 255.0f);
    v->light.z = Clamp255(v->light.z * 255.0f);
  }

  // Depth fade towards the far plane; beyond it the light goes negative and
  // is raised to black when drawn. A fade of no length is a sharp cut.
  if (vp->fadeEnabled) {
    const float span = vp->farZ - vp->fadeStart;
    for (Vertex* v = first; v < end; v++) {
      const float z = v->view.z;
      float f = 1.0f;
      if (!(z < vp->fadeStart)) f = span > 0.0f ? 1.0f - (z - vp->fadeStart) / span : 0.0f;
      VecScale(v->light, f, &v->light);
    }
  }
  return true;
}

// Whether every face of a valid mesh has its corners among the mesh's own
// vertices (an invalid one is skipped, so it counts as using its own).
bool MeshUsesOwnVertices(const Mesh* mesh) {
  if (!MeshRangesValid(mesh)) return true;
  const Vertex* first = mesh->scene->vertices + mesh->firstVertex;
  const size_t count = static_cast<size_t>(mesh->vertexCount);
  const Face* face = mesh->scene->faces + mesh->firstFace;
  for (int f = 0; f < mesh->faceCount; f++, face++)
    for (const Vertex* corner : face->vertex)
      if (static_cast<size_t>(corner - first) >= count) return false;
  return true;
}

}  // namespace

void MeshSubmit(Mesh* mesh, Viewport* vp) {
  KeepMaskPlanes(vp);
  if (PrepareMeshVertices(mesh, vp)) CollectFaces(mesh, vp, false);
}

void SceneSubmit(Scene* scene, Viewport* vp) {
  const int meshes =
      scene->meshCount < scene->capacity.meshes ? scene->meshCount : scene->capacity.meshes;
  if (meshes <= 0) return;
  KeepMaskPlanes(vp);
  // The meshes' vertices are prepared on both threads when no two meshes
  // share a vertex (their ranges follow one another) and every face uses
  // its own mesh's vertices; the faces are then collected in order, as one
  // mesh after the other would collect them.
  bool apart = true;
  for (int i = 0; i < meshes && apart; i++) {
    const Mesh& mesh = scene->meshes[i];
    if (i > 0) {
      const Mesh& before = scene->meshes[i - 1];
      apart = mesh.firstVertex >= before.firstVertex + before.vertexCount;
    }
    apart = apart && MeshUsesOwnVertices(&mesh);
  }
  if (!apart) {
    for (int i = 0; i < meshes; i++) MeshSubmit(&scene->meshes[i], vp);
    return;
  }
  static std::vector<uint8_t> collect;
  collect.assign(static_cast<size_t>(meshes), 0);
  ShareRows(
      meshes, 1,
      [&](int first, int end) {
        for (int i = first; i < end; i++)
          collect[static_cast<size_t>(i)] = PrepareMeshVertices(&scene->meshes[i], vp) ? 1 : 0;
      },
      SharedRowsRead::kNothingDrawn);
  for (int i = 0; i < meshes; i++)
    if (collect[static_cast<size_t>(i)]) CollectFaces(&scene->meshes[i], vp, false);
}

void ViewportSortFaces(Viewport* vp, int mode) {
  if (mode != 1) return;
  int count = vp->faceCount < vp->faceCapacity ? vp->faceCount : vp->faceCapacity;
  if (count < 2) return;
  static std::vector<KeyedFace> keyed;
  keyed.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; i++) keyed[i] = {vp->faceList[i]->depthKey, vp->faceList[i]};
  SortRange(keyed.data(), 0, count - 1);
  for (int i = 0; i < count; i++) vp->faceList[i] = keyed[i].face;
}

int FaceListCount(const Viewport* vp) {
  if (vp->faceCount < 0) return 0;
  return vp->faceCount < vp->faceCapacity ? vp->faceCount : vp->faceCapacity;
}

void ViewportDrawFaces(Viewport* vp) {
  const bool masks = MaskPlanesCurrent(vp);
  for (int i = FaceListCount(vp) - 1; i >= 0; i--) {
    Face* face = vp->faceList[i];
    DrawFace(vp, face, face->clipMask, false, masks);
  }
}

void ViewportDrawFacesFarFirst(Viewport* vp) {
  const int count = FaceListCount(vp);
  const bool masks = MaskPlanesCurrent(vp);
  for (int i = 0; i < count; i++) {
    Face* face = vp->faceList[i];
    DrawFace(vp, face, face->clipMask, false, masks);
  }
}

// Chained faces were never submitted; they share the listed face's corners
// and so its clip mask.
void ViewportDrawFaceChains(Viewport* vp) {
  const bool masks = MaskPlanesCurrent(vp);
  for (int i = FaceListCount(vp) - 1; i >= 0; i--) {
    Face* head = vp->faceList[i];
    int n = 0;
    for (Face* face = head; face != nullptr && n < kMaxChain; face = face->next, n++)
      DrawFace(vp, face, head->clipMask, true, masks);
  }
}

void MeshEnvironmentMap(Mesh* mesh) {
  if (!MeshRangesValid(mesh)) return;
  Face* face = mesh->scene->faces + mesh->firstFace;
  for (int f = 0; f < mesh->faceCount; f++, face++) {
    for (int k = 0; k < 3; k++) {
      const Vertex* c = face->vertex[k];
      if (!c) continue;
      face->uv[2 * k] = 127.5f + 127.5f * c->viewNormal.x;
      face->uv[2 * k + 1] = 127.5f + 127.5f * c->viewNormal.y;
    }
  }
}

// --- Polygon clipping and drawing -----------------------------------------

void PolygonBegin(Vertex* const* corners, int count) {
  PolygonWork& w = PolygonState;
  if (count < 0) count = 0;
  if (count > kPolygonCapacity) count = kPolygonCapacity;
  w.vertices = w.lists[0];
  for (int i = 0; i < count; i++) w.vertices[i] = corners[i];
  w.count = count;
  w.madeForPolygon = 0;
}

// Sutherland-Hodgman against one plane in camera space. A cut edge gets a
// new vertex interpolated from its start towards its end: position, normal,
// mapping, level and light.
void ClipPolygon(const Plane& plane) {
  PolygonWork& w = PolygonState;
  const int n = w.count;
  if (n <= 0 || w.vertices == nullptr) return;
  Vertex** in = w.vertices;
  Vertex** out = in == w.lists[0] ? w.lists[1] : w.lists[0];
  float s[kPolygonCapacity];
  bool allInside = true;
  for (int i = 0; i < n; i++) {
    s[i] = PlaneDistance(plane, in[i]->view);
    allInside &= s[i] >= plane.d;
  }
  // Wholly on the inner side: the cut would copy the polygon unchanged, so
  // it stays where it is.
  if (allInside) return;

  int m = 0;
  for (int i = 0; i < n; i++) {
    const int j = i + 1 < n ? i + 1 : 0;
    const bool inside = s[i] >= plane.d, nextInside = s[j] >= plane.d;
    if (inside && m < kPolygonCapacity) out[m++] = in[i];
    if (inside == nextInside || m >= kPolygonCapacity || w.madeForPolygon >= kClipVertexRing)
      continue;
    const Vertex* a = in[i];
    const Vertex* b = in[j];
    Vertex* t = &w.ring[w.ringNext];
    w.ringNext = (w.ringNext + 1) % kClipVertexRing;
    w.madeForPolygon++;
    *t = *a;
    t->insideStamp = 0;
    const float f = (plane.d - s[i]) / (s[j] - s[i]);
    t->view = Lerp(a->view, b->view, f);
    t->viewNormal = Lerp(a->viewNormal, b->viewNormal, f);
    t->u = a->u + f * (b->u - a->u);
    t->v = a->v + f * (b->v - a->v);
    t->shade = a->shade + f * (b->shade - a->shade);
    t->light = Lerp(a->light, b->light, f);
    out[m++] = t;
  }
  w.vertices = out;
  w.count = m;
}

// Projects the current polygon into vp (depth scaled, for a copy that must
// win the depth test against its own surface) and draws it as a fan.
void DrawPolygonScaled(Viewport* vp, Material* material, float depthScale) {
  PolygonWork& w = PolygonState;
  w.viewport = vp;
  w.material = material;
  if (w.count < 3 || material == nullptr) return;
  Vertex** v = w.vertices;
  for (int i = 0; i < w.count; i++) {
    ProjectVertex(vp, v[i]);
    if (depthScale != 1.0f) v[i]->depth *= depthScale;
    if (vp->fadeEnabled) {
      if (v[i]->light.x < 0.0f) v[i]->light.x = 0.0f;
      if (v[i]->light.y < 0.0f) v[i]->light.y = 0.0f;
      if (v[i]->light.z < 0.0f) v[i]->light.z = 0.0f;
    }
  }
  if (!PolygonFacesViewer(vp->cullMode, v)) return;
  DrawFan(vp, material, v, w.count);
}

void DrawPolygon(Viewport* vp, Material* material) { DrawPolygonScaled(vp, material, 1.0f); }

// Each fan triangle is copied into the three screen records the rasterizer
// reads (it may move a y above row 1 to 0 in them) and drawn.
void DrawFan(Viewport* vp, Material* material, Vertex* const* v, int count) {
  ScreenVertex* c = PolygonState.corners;
  RasterState.material = material;
  RasterState.target = vp->renderTarget;
  for (int k = 1; k + 1 < count; k++) {
    ToScreen(v[0], &c[0]);
    ToScreen(v[k], &c[1]);
    ToScreen(v[k + 1], &c[2]);
    RasterState.v0 = &c[0];
    RasterState.v1 = &c[1];
    RasterState.v2 = &c[2];
    DrawTriangle();
  }
}
