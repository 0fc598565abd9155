// Pieces of the render pipeline shared by its own source files: mesh
// culling, outcodes, face collection and fan drawing for the projector pass.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/render_pipeline.h"
#include "platform/system.h"
#if KV_X86_EXTENSIONS
#include <immintrin.h>
#endif

// Clip planes in use: planeCount kept within the planes array.
int ActivePlanes(const Viewport* vp);
// Planes the mesh's bounding box (transformed by m) reaches across, or -1
// when the box lies wholly outside one of vp's planes.
int32_t MeshCrossingMask(const Mesh* mesh, const Mat4& m, const Viewport* vp);
// A vertex's two masks from one distance per plane: the outcode (bit i for
// each plane i of crossing that the point lies outside) is returned, and
// *inside gets bit i for each plane i of vp the point lies on the inner side
// of, by the very test ClipPolygon makes.
int32_t VertexMasks(const Viewport* vp, const Vec3& view, int32_t crossing, int32_t* inside);
// A stamp no vertex carries yet (never 0), for a new set of inside masks.
uint32_t NewClipStamp();
// Clips the polygon begun with the three corners to vp's planes, passing
// over a plane all three lie inside while no plane has cut the polygon yet;
// useMasks: the corners' inside masks, stamped stamp, are for vp's planes.
void ClipTriangle(const Viewport* vp, Vertex* const* corner, int32_t clipMask, bool useMasks,
                  uint32_t stamp);
// Appends the mesh's visible faces to vp's list; cameraSpaceOnly picks the
// triple-product facing test for every face.
void CollectFaces(Mesh* mesh, Viewport* vp, bool cameraSpaceOnly);
// Faces in vp's list, never more than it holds.
int FaceListCount(const Viewport* vp);
void DrawPolygonScaled(Viewport* vp, Material* material, float depthScale);
void DrawFan(Viewport* vp, Material* material, Vertex* const* v, int count);
// The mesh's vertex and face ranges lie within its scene's pools.
bool MeshRangesValid(const Mesh* mesh);

#if KV_X86_EXTENSIONS
// For the four-vertex loops: one float field (at offset) of four vertices
// side by side.
inline __m128 FourVertexField(const Vertex* v, size_t offset) {
  auto at = [&](int k) {
    return *reinterpret_cast<const float*>(reinterpret_cast<const char*>(v + k) + offset);
  };
  return _mm_setr_ps(at(0), at(1), at(2), at(3));
}

// The factor VecSetLength(v, 1) scales each of four vectors by: the squared
// length summed in double and rounded to float, its double square root
// rounded to float, 1 over it in double (1 for a zero vector; sqrt(0) is 0,
// so the zero test can follow the root).
__attribute__((target("avx2"))) inline __m256d FourUnitFactors(__m256d x, __m256d y, __m256d z) {
  const __m256d squared =
      _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)), _mm256_mul_pd(z, z));
  const __m128 length = _mm256_cvtpd_ps(_mm256_sqrt_pd(_mm256_cvtps_pd(_mm256_cvtpd_ps(squared))));
  const __m256d zero = _mm256_castsi256_pd(
      _mm256_cvtepi32_epi64(_mm_castps_si128(_mm_cmpeq_ps(length, _mm_setzero_ps()))));
  const __m256d divisor = _mm256_blendv_pd(_mm256_cvtps_pd(length), _mm256_set1_pd(1.0), zero);
  return _mm256_div_pd(_mm256_set1_pd(1.0), divisor);
}
#endif
