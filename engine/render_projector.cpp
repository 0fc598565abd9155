// The shared render and environment textures, and projector lights.
//
// A projector light sees the scene from its own square view. Its faces are
// walked nearest to the light first; each is drawn a second time into the
// main view with the render texture added on, mapped by where it falls in the
// light's view. Once every face sharing a polygon's corners has been lit, the
// polygon is blackened in the render texture, so that surfaces behind it,
// drawn later, receive no light there: a shadow. Waiting for the corners'
// faces keeps a surface from shadowing its own neighbours along shared edges.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "engine/material_library.h"
#include "engine/render_internal.h"
#include "engine/render_pipeline.h"
#include "show/fade.h"

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
uint32_t* ProjectorTexture = RenderTexture;
// With shadow stamps the texture is left as it is: each lit copy is given
// its place in the pass (its limit) and each blackened pixel the number of
// lit copies drawn before it, so a lit copy reads a pixel as black when it
// was blackened before it. The lit copies can then be drawn later, on
// another thread, from the same texture.
ShadowStampBuffer* ShadowStamps = nullptr;
uint32_t LitDrawn = 0;
Material LightMaterial;   // the render texture added onto the frame
Material ShadowMaterial;  // silhouette: black into the render texture

// A face clipped to the light's view, waiting to be blackened: where its
// corners fall in the light's view is all the silhouette needs.
struct LitPolygon {
  int32_t count;
  float x[kLitCorners];
  float y[kLitCorners];
};

LitPolygon Records[kLitRecords];
int NextRecord = 0;

// Where a record waits. Counted, a record waits in the bucket of one of its
// corners that an unlit face still uses; when that corner's count reaches
// zero the bucket is looked at again, each record moving on to another used
// corner or, with none left, to the ready list. Each release so looks only
// at the records it may free, not at every waiting one.
constexpr int32_t kNotWaiting = -1;
constexpr int32_t kReady = -2;   // every corner released, to be blackened
constexpr int32_t kListed = -3;  // uncounted: blackened with all the others

struct Waiting {
  Vertex* corner[3];
  int32_t where;  // the corner's scene vertex index, or one of the marks above
  int32_t prev, next;  // neighbours in that corner's bucket, -1 for none
};

Waiting Wait[kLitRecords];
// Per scene vertex, which of the main view's planes its main-view position
// lies inside (bit i for plane i), as the clipper tests them: a lit copy
// made of three whole corners is then cut only by the planes they do not
// all lie inside.
std::vector<int32_t> MainInside;
Vertex* SceneVertices = nullptr;
std::vector<int32_t> Bucket;  // per scene vertex: first record waiting on it
std::vector<int32_t> Freed;   // corners whose count reached zero since the last look
std::vector<int32_t> Ready;   // records to blacken at the next look
std::vector<int32_t> Listed;  // uncounted: every record waiting

// A corner's scene vertex index, its bucket made if the corner lies past
// the vertices counted at the start of the pass.
int32_t CornerIndex(const Vertex* c) {
  const int32_t index = static_cast<int32_t>(c - SceneVertices);
  if (static_cast<size_t>(index) >= Bucket.size()) Bucket.resize(static_cast<size_t>(index) + 1, -1);
  return index;
}

void Unbucket(int32_t i) {
  Waiting& w = Wait[i];
  if (w.prev >= 0)
    Wait[w.prev].next = w.next;
  else
    Bucket[w.where] = w.next;
  if (w.next >= 0) Wait[w.next].prev = w.prev;
}

// Files a counted record under a corner still in use, or as ready.
void Place(int32_t i) {
  Waiting& w = Wait[i];
  for (Vertex* c : w.corner)
    if (c->useCount != 0) {
      w.where = CornerIndex(c);
      w.prev = -1;
      w.next = Bucket[w.where];
      if (w.next >= 0) Wait[w.next].prev = i;
      Bucket[w.where] = i;
      return;
    }
  w.where = kReady;
  Ready.push_back(i);
}

void UnlinkAll(Scene* scene, bool counted) {
  for (Waiting& w : Wait) w.where = kNotWaiting;
  SceneVertices = scene->vertices;
  Bucket.assign(counted && scene->vertexCount > 0 ? scene->vertexCount : 0, -1);
  Freed.clear();
  Ready.clear();
  Listed.clear();
}

// Records are reused round the ring. One still waiting when its turn comes
// again is dropped first (its shadow is lost, not the others').
LitPolygon* TakeRecord(Vertex* const corner[3], bool counted) {
  const int32_t i = NextRecord;
  NextRecord = (NextRecord + 1) % kLitRecords;
  Waiting& w = Wait[i];
  if (w.where >= 0) Unbucket(i);
  if (w.where == kReady) Ready.erase(std::find(Ready.begin(), Ready.end(), i));
  for (int k = 0; k < 3; k++) w.corner[k] = corner[k];
  if (counted) {
    Place(i);
  } else {
    if (w.where != kListed) Listed.push_back(i);
    w.where = kListed;
  }
  return &Records[i];
}

#if KV_X86_EXTENSIONS
// Four vertices of PrepareMeshes at a time, each lane taking the very
// operations of the one-vertex loop below in the same order and precision:
// the two point transforms and the normal's rotation summed in double and
// rounded to float, its length as VecSetLength finds it, the projection in
// float, one double distance per plane. Returns how many vertices it did.
__attribute__((target("avx2"))) int PrepareFourAtATime(Vertex* first, int count, const Mat4& m,
                                                       const Mat4& p, const Mat4& r,
                                                       float intensity, const Viewport* projector,
                                                       int32_t crossing, uint32_t stamp,
                                                       const Viewport* main, int32_t* mainInside) {
  auto product = [](__m256d x, __m256d y, __m256d z, const float* e, int column,
                    bool translate) __attribute__((target("avx2"))) {
    __m256d t = _mm256_mul_pd(x, _mm256_set1_pd(e[column]));
    t = _mm256_add_pd(t, _mm256_mul_pd(y, _mm256_set1_pd(e[4 + column])));
    t = _mm256_add_pd(t, _mm256_mul_pd(z, _mm256_set1_pd(e[8 + column])));
    if (translate) t = _mm256_add_pd(t, _mm256_set1_pd(e[12 + column]));
    return _mm256_cvtpd_ps(t);
  };
  const float level = intensity * 255.0f;
  const int planes = ActivePlanes(projector);
  const int mainPlanes = ActivePlanes(main);
  // Each lane's distance to the plane, summed in double and rounded as
  // PlaneDistance does.
  auto distanceTo =
      [](const Plane& plane, __m256d x, __m256d y, __m256d z) __attribute__((target("avx2"))) {
    return _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(plane.nx), x),
                                                       _mm256_mul_pd(_mm256_set1_pd(plane.ny), y)),
                                         _mm256_mul_pd(_mm256_set1_pd(plane.nz), z)));
  };
  // Bits of the planes where each lane's distance is at or beyond the
  // plane's d.
  auto insideBits = [&distanceTo](const Viewport* vp, int count, __m256d x, __m256d y, __m256d z)
      __attribute__((target("avx2"))) {
    __m128i bits = _mm_setzero_si128();
    for (int i = 0; i < count; i++) {
      const Plane& plane = vp->planes[i];
      const __m128 distance = distanceTo(plane, x, y, z);
      const __m128i in = _mm_castps_si128(_mm_cmpge_ps(distance, _mm_set1_ps(plane.d)));
      bits = _mm_or_si128(bits, _mm_and_si128(in, _mm_set1_epi32(1 << i)));
    }
    return bits;
  };
  int done = 0;
  for (Vertex* v = first; count - done >= 4; v += 4, done += 4) {
    auto lanes = [v](size_t offset) { return FourVertexField(v, offset); };
    const __m256d px = _mm256_cvtps_pd(lanes(offsetof(Vertex, position.x)));
    const __m256d py = _mm256_cvtps_pd(lanes(offsetof(Vertex, position.y)));
    const __m256d pz = _mm256_cvtps_pd(lanes(offsetof(Vertex, position.z)));
    const __m256d nx = _mm256_cvtps_pd(lanes(offsetof(Vertex, normal.x)));
    const __m256d ny = _mm256_cvtps_pd(lanes(offsetof(Vertex, normal.y)));
    const __m256d nz = _mm256_cvtps_pd(lanes(offsetof(Vertex, normal.z)));
    alignas(16) float out[12][4];
    // The position through a transform, stored from row first on.
    auto position = [&](const Mat4& t, int first, __m128(&c)[3]) __attribute__((target("avx2"))) {
      for (int k = 0; k < 3; k++) {
        c[k] = product(px, py, pz, t.m, k, true);
        _mm_store_ps(out[first + k], c[k]);
      }
    };
    __m128 mv[3], lv[3];
    position(m, 0, mv);  // main view
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mainInside + done),
                     insideBits(main, mainPlanes, _mm256_cvtps_pd(mv[0]), _mm256_cvtps_pd(mv[1]),
                                _mm256_cvtps_pd(mv[2])));
    position(p, 3, lv);  // light view
    const __m128 lx = lv[0], ly = lv[1], lz = lv[2];
    // The rotated normal's z scaled to unit length.
    const __m256d rx = _mm256_cvtps_pd(product(nx, ny, nz, r.m, 0, false));
    const __m256d ry = _mm256_cvtps_pd(product(nx, ny, nz, r.m, 1, false));
    const __m256d rz = _mm256_cvtps_pd(product(nx, ny, nz, r.m, 2, false));
    const __m128 unitZ = _mm256_cvtpd_ps(_mm256_mul_pd(rz, FourUnitFactors(rx, ry, rz)));
    _mm_store_ps(out[6], _mm_mul_ps(_mm_set1_ps(level), unitZ));
    // Projection into the light's view.
    const __m128 q = _mm_blendv_ps(_mm_div_ps(_mm_set1_ps(1.0f), lz), _mm_set1_ps(1.0f),
                                   _mm_cmpeq_ps(lz, _mm_setzero_ps()));
    _mm_store_ps(out[7], _mm_add_ps(_mm_mul_ps(_mm_mul_ps(lx, _mm_set1_ps(projector->scaleX)), q),
                                    _mm_set1_ps(projector->centreX)));
    _mm_store_ps(out[8], _mm_sub_ps(_mm_set1_ps(projector->centreY),
                                    _mm_mul_ps(q, _mm_mul_ps(ly, _mm_set1_ps(projector->scaleY)))));
    // The light view's plane masks.
    int32_t inside[4] = {0, 0, 0, 0}, code[4] = {0, 0, 0, 0};
    const __m256d dx = _mm256_cvtps_pd(lx), dy = _mm256_cvtps_pd(ly), dz = _mm256_cvtps_pd(lz);
    for (int i = 0; i < planes; i++) {
      const Plane& plane = projector->planes[i];
      const __m128 distance = distanceTo(plane, dx, dy, dz);
      const int in = _mm_movemask_ps(_mm_cmpge_ps(distance, _mm_set1_ps(plane.d)));
      const int out = (crossing & (1 << i)) ? _mm_movemask_ps(_mm_cmplt_ps(distance, _mm_set1_ps(plane.d))) : 0;
      for (int k = 0; k < 4; k++) {
        inside[k] |= ((in >> k) & 1) << i;
        code[k] |= ((out >> k) & 1) << i;
      }
    }
    for (int k = 0; k < 4; k++) {
      Vertex& w = v[k];
      w.useCount = 0;
      w.viewNormal = Vec3{out[0][k], out[1][k], out[2][k]};
      w.view = Vec3{out[3][k], out[4][k], out[5][k]};
      w.insideStamp = stamp;
      w.shade = out[6][k];
      w.screenX = out[7][k];
      w.screenY = out[8][k];
      w.depth = out[5][k];
      w.insideMask = inside[k];
      w.outcode = code[k];
    }
  }
  return done;
}
#endif

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
    int32_t* mainInside = MainInside.data() + mesh->firstVertex;
    int k = 0;
#if KV_X86_EXTENSIONS
    if (HasMmx() && PlatformHasAvx2()) {
      k = PrepareFourAtATime(v, mesh->vertexCount, m, p, r, intensity, projector, crossing, stamp,
                             main, mainInside);
      v += k;
    }
#endif
    for (; k < mesh->vertexCount; k++, v++) {
      v->useCount = 0;
      MatTransformPoint(v->position, m, &v->viewNormal);
      VertexMasks(main, v->viewNormal, 0, &mainInside[k]);
      MatTransformPoint(v->position, p, &v->view);
      v->insideStamp = stamp;
      Vec3 n;
      MatRotateVector(v->normal, r, &n);
      VecSetLength(n, 1.0f, &n);
      v->shade = intensity * 255.0f * n.z;
      ProjectVertex(projector, v);
      v->outcode = VertexMasks(projector, v->view, crossing, &v->insideMask);
    }
    CollectFaces(mesh, projector, true);
  }
  return stamp;
}

// A corner of the lit copy: the vertex as clipped to the light's view, at
// its main-view position, mapped by where it falls in the light's view.
// Every field set is worked out from the vertex copied, not read back from
// the fresh copy.
void LitCorner(const Viewport* projector, const Vertex* from, Vertex* to) {
  *to = *from;
  ProjectVertex(projector, from->view, to);
  to->u = to->screenX;
  to->v = to->screenY;
  to->view = from->viewNormal;
  to->outcode = kClipAllPlanes;
}

// The face's polygon in the light's view (already clipped to it, its
// corners made by LitCorner) drawn onto the main view with the render
// texture added, mapped by light-view position.
// The main view's planes all three corners lie inside, if each was
// prepared by this pass (0 if not).
int32_t MainInsideAll(Vertex* const* corner, uint32_t stamp) {
  int32_t all = -1;
  for (int k = 0; k < 3; k++) {
    const size_t index = static_cast<size_t>(corner[k] - SceneVertices);
    if (corner[k]->insideStamp != stamp || index >= MainInside.size()) return 0;
    all &= MainInside[index];
  }
  return all;
}

// mainInside: the main view's planes that every corner lies inside, known
// for a polygon of three whole corners (0 otherwise): as long as the polygon
// is whole, those planes would leave it as it is.
void DrawLitCopy(Vertex* lit, int count, Viewport* main, int32_t mainInside) {
  Vertex* ptr[kLitCorners];
  for (int j = 0; j < count; j++) ptr[j] = &lit[j];
  PolygonBegin(ptr, count);
  Vertex* const* whole = PolygonState.vertices;
  const int planes = ActivePlanes(main);
  for (int p = 0; p < planes; p++) {
    if ((mainInside & (1 << p)) && PolygonState.vertices == whole) continue;
    ClipPolygon(main->planes[p]);
  }
  RasterState.shadowStamps = ShadowStamps ? ShadowStamps->stamps : nullptr;
  RasterState.shadowLimit = LitDrawn++;
  DrawPolygonScaled(main, &LightMaterial, kLitDepthScale);
  RasterState.shadowStamps = nullptr;
}

// The polygon's fan drawn as a silhouette into the render texture, or
// stamped beside it; a silhouette reads nothing of its corners but x and y.
void Blacken(Viewport* projector, int32_t i) {
  const LitPolygon* r = &Records[i];
  Wait[i].where = kNotWaiting;
  if (ShadowStamps) {
    StampShadowFan(ShadowStamps->stamps, projector->renderTarget, r->x, r->y, r->count, LitDrawn);
    return;
  }
  ScreenVertex* c = PolygonState.corners;
  RasterState.material = &ShadowMaterial;
  RasterState.target = projector->renderTarget;
  auto corner = [r](int j) { return ScreenVertex{r->x[j], r->y[j], 0, 0, 0, 0, 0, 0, 0}; };
  for (int k = 1; k + 1 < r->count; k++) {
    c[0] = corner(0);
    c[1] = corner(k);
    c[2] = corner(k + 1);
    RasterState.v0 = &c[0];
    RasterState.v1 = &c[1];
    RasterState.v2 = &c[2];
    DrawTriangle();
  }
}

// Counted: every waiting polygon whose corners no unlit face uses any more.
// Blackening writes one colour without depth, so the order in which the
// polygons are blackened does not change the render texture.
void BlackenReleased(Viewport* projector) {
  for (int32_t corner : Freed) {
    int32_t i = Bucket[corner];
    Bucket[corner] = -1;
    while (i >= 0) {
      const int32_t next = Wait[i].next;
      Place(i);
      i = next;
    }
  }
  Freed.clear();
  for (int32_t i : Ready) Blacken(projector, i);
  Ready.clear();
}

// Uncounted: every waiting polygon.
void BlackenAll(Viewport* projector) {
  for (int32_t i : Listed) Blacken(projector, i);
  Listed.clear();
}

}  // namespace

namespace {
uint64_t EnvironmentSettings = 1;
}  // namespace

void SetEnvironmentTexture(Picture* picture) {
  EnvironmentTexture = picture;
  ++EnvironmentSettings;
}

uint64_t EnvironmentTextureSetting() { return EnvironmentSettings; }

void ProjectorUseTexture(uint32_t* pixels) { ProjectorTexture = pixels ? pixels : RenderTexture; }

void ProjectorKeepShadowsApart(ShadowStampBuffer* stamps) { ShadowStamps = stamps; }

void ViewportGrabTexture(Viewport* vp) {
  const Picture* p = vp->texturePicture;
  if (!p || !p->pixels || p->width < kRenderTextureSize || p->height < kRenderTextureSize) return;
  for (int y = 0; y < kRenderTextureSize; y++)
    std::memcpy(RenderTexture + y * kRenderTextureSize, p->pixels + static_cast<long>(y) * p->width,
                kRenderTextureSize * 4);
}

namespace {

// The first of the count + 1 stamps a pass of count faces may set (a lit
// copy's limit is the number drawn before it, a shadow's the number drawn so
// far), all below the stamps already in the buffer.
uint32_t TakeStamps(ShadowStampBuffer* buffer, int count) {
  const uint32_t needed = static_cast<uint32_t>(count) + 1;
  if (buffer->lowest <= needed) {
    std::fill(std::begin(buffer->stamps), std::end(buffer->stamps), kNoShadowStamp);
    buffer->lowest = kNoShadowStamp;
  }
  buffer->lowest -= needed;
  return buffer->lowest;
}

// Both projector passes. Counted: a polygon is blackened once no face still
// to come uses any of its corners. Uncounted: the polygons lit so far are
// blackened when the walk reaches a face farther from the light than they
// are, so faces at one depth never shadow each other.
void Project(Light* light, Viewport* projector, Scene* scene, Viewport* main, float intensity,
             bool counted) {
  if (!(intensity > 0.0f)) intensity = 0.0f;
  if (intensity > 1.0f) intensity = 1.0f;
  MaterialSetTexture(&LightMaterial, RM_ADD, 0, ProjectorTexture, 1);
  MaterialSetTexture(&ShadowMaterial, RM_SILHOUETTE, 0, nullptr, 1);
  ViewportSetTarget(projector, kRenderTextureSize * 4, ProjectorTexture, ProjectorDepth);
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
  UnlinkAll(scene, counted);
  if (MainInside.size() < static_cast<size_t>(std::max(scene->vertexCount, 0)))
    MainInside.resize(static_cast<size_t>(scene->vertexCount));

  const uint32_t stamp = PrepareMeshes(scene, projector, main, intensity);
  const int count = FaceListCount(projector);
  LitDrawn = 0;
  if (ShadowStamps) LitDrawn = TakeStamps(ShadowStamps, count);
  if (counted)
    for (int i = 0; i < count; i++)
      for (int k = 0; k < 3; k++) projector->faceList[i]->vertex[k]->useCount++;
  ViewportSortFaces(projector, 1);

  int32_t litKey = INT32_MIN;
  for (int i = count - 1; i >= 0; i--) {
    Face* face = projector->faceList[i];
    // The faces are in depth order, scattered in memory: their corners are
    // asked for a few faces ahead.
    if (i >= 8) __builtin_prefetch(projector->faceList[i - 8]);
    if (i >= 4)
      for (const Vertex* c : projector->faceList[i - 4]->vertex) __builtin_prefetch(c);
    if (!counted && face->depthKey > litKey) BlackenAll(projector);
    Vertex** corner = face->vertex;
    for (int k = 0; k < 3; k++)
      if (corner[k]->shade < 0.0f) corner[k]->shade = 0.0f;
    face->clipMask = kClipAllPlanes;
    PolygonBegin(corner, 3);
    Vertex* const* whole = PolygonState.vertices;
    ClipTriangle(projector, corner, kClipAllPlanes, true, stamp);
    bool releasing = false;
    if (counted)
      for (int k = 0; k < 3; k++)
        if (--corner[k]->useCount == 0) {
          releasing = true;
          Freed.push_back(CornerIndex(corner[k]));
        }
    if (PolygonState.count < 3) continue;

    LitPolygon* r = TakeRecord(corner, counted);
    r->count = PolygonState.count < kLitCorners ? PolygonState.count : kLitCorners;
    Vertex lit[kLitCorners];
    for (int j = 0; j < r->count; j++) {
      LitCorner(projector, PolygonState.vertices[j], &lit[j]);
      r->x[j] = lit[j].screenX;
      r->y[j] = lit[j].screenY;
    }
    DrawLitCopy(lit, r->count, main,
                PolygonState.vertices == whole ? MainInsideAll(corner, stamp) : 0);
    if (releasing) BlackenReleased(projector);
    litKey = face->depthKey;
  }
  if (!counted) BlackenAll(projector);
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
