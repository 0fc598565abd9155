// Vectors, 4x4 matrices and planes for the 3D engine and the effects that
// transform points themselves. Storage is float; every operation does its
// arithmetic in double and rounds to float once, when a result is stored.
// Outputs may be the same object as an input. Nothing allocates or fails.
#pragma once
#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

struct Vec3 {
  float x, y, z;
};

// Row-major, element (r, c) at m[4r + c]. Points are row vectors: p' = p * M,
// rows 0..2 are the images of the axes, row 3 (m12, m13, m14) the translation.
// A * B applies A first, then B.
struct Mat4 {
  float m[16];
};

// A point is inside when dot(p, n) > d (whole meshes) or >= d (vertices).
struct Plane {
  float nx, ny, nz, d;
};

// Degrees to radians: the caller multiplies by these two, in this order.
constexpr float kPi = 3.14159274f;
constexpr float kInv180 = 0.0055555557f;
float DegreesToRadians(float degrees);

inline void VecSub(const Vec3& a, const Vec3& b, Vec3* out) {
  out->x = a.x - b.x;
  out->y = a.y - b.y;
  out->z = a.z - b.z;
}
void VecAdd(const Vec3& a, const Vec3& b, Vec3* out);
void VecScale(const Vec3& v, float s, Vec3* out);
void VecNegate(const Vec3& v, Vec3* out);
// Summed in double, rounded to float once. Inline: the clipper and the
// lighting call it for every vertex and plane.
inline float VecDot(const Vec3& a, const Vec3& b) {
  return static_cast<float>(static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
                            static_cast<double>(a.z) * b.z);
}
void VecCross(const Vec3& a, const Vec3& b, Vec3* out);
float VecLengthSquared(const Vec3& v);
// 0 for a zero vector, without a square root. The squared length is rounded
// to float before the zero test, so vectors too short to square in float
// count as zero. This and the other per-vertex helpers are inline: the
// pipeline calls them for every vertex of every frame.
inline float VecLength(const Vec3& v) {
  float squared = static_cast<float>(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                                     static_cast<double>(v.z) * v.z);
  if (squared == 0.0f) return 0.0f;
  return static_cast<float>(std::sqrt(static_cast<double>(squared)));
}
// out = v scaled to length len; a zero vector stays zero. len 1 normalises.
inline void VecSetLength(const Vec3& v, float len, Vec3* out) {
  float length = VecLength(v);
  double divisor = length == 0.0f ? 1.0 : static_cast<double>(length);
  double factor = len / divisor;
  out->x = static_cast<float>(v.x * factor);
  out->y = static_cast<float>(v.y * factor);
  out->z = static_cast<float>(v.z * factor);
}
void VecPrint(const Vec3& v);

void MatIdentity(Mat4* m);
void MatCopy(const Mat4& src, Mat4* dst);
void MatMul(const Mat4& a, const Mat4& b, Mat4* out);
// Point times the matrix's rows in double precision, rounded to float. With
// SSE2, x and y share one register; each lane takes the same products and
// sums in the same order as the plain form, so the results are identical.
inline void MatTransformPoint(const Vec3& p, const Mat4& m, Vec3* out) {
  const float* e = m.m;
#if defined(__SSE2__)
  const __m128d px = _mm_set1_pd(p.x), py = _mm_set1_pd(p.y), pz = _mm_set1_pd(p.z);
  __m128d xy = _mm_mul_pd(px, _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(e)))));
  xy = _mm_add_pd(xy, _mm_mul_pd(py, _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(e + 4))))));
  xy = _mm_add_pd(xy, _mm_mul_pd(pz, _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(e + 8))))));
  xy = _mm_add_pd(xy, _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(e + 12)))));
  double z = static_cast<double>(p.x) * e[2] + static_cast<double>(p.y) * e[6] +
             static_cast<double>(p.z) * e[10] + e[14];
  const __m128 f = _mm_cvtpd_ps(xy);
  out->x = _mm_cvtss_f32(f);
  out->y = _mm_cvtss_f32(_mm_shuffle_ps(f, f, 1));
  out->z = static_cast<float>(z);
#else
  double x = static_cast<double>(p.x) * e[0] + static_cast<double>(p.y) * e[4] +
             static_cast<double>(p.z) * e[8] + e[12];
  double y = static_cast<double>(p.x) * e[1] + static_cast<double>(p.y) * e[5] +
             static_cast<double>(p.z) * e[9] + e[13];
  double z = static_cast<double>(p.x) * e[2] + static_cast<double>(p.y) * e[6] +
             static_cast<double>(p.z) * e[10] + e[14];
  out->x = static_cast<float>(x);
  out->y = static_cast<float>(y);
  out->z = static_cast<float>(z);
#endif
}
void MatTransformPoints(const Vec3* src, Vec3* dst, int count, const Mat4& m);
// Upper 3x3 only: for normals and directions.
inline void MatRotateVector(const Vec3& v, const Mat4& m, Vec3* out) {
  const float* e = m.m;
  double x = static_cast<double>(v.x) * e[0] + static_cast<double>(v.y) * e[4] +
             static_cast<double>(v.z) * e[8];
  double y = static_cast<double>(v.x) * e[1] + static_cast<double>(v.y) * e[5] +
             static_cast<double>(v.z) * e[9];
  double z = static_cast<double>(v.x) * e[2] + static_cast<double>(v.y) * e[6] +
             static_cast<double>(v.z) * e[10];
  out->x = static_cast<float>(x);
  out->y = static_cast<float>(y);
  out->z = static_cast<float>(z);
}
void MatRotationX(Mat4* m, float a);
void MatRotationY(Mat4* m, float a);
void MatRotationZ(Mat4* m, float a);
// Rz(c) * Rx(a) * Ry(b): roll, then pitch, then yaw.
void MatRotationEuler(Mat4* m, float a, float b, float c);
void MatScaling(Mat4* m, float sx, float sy, float sz);
// Rows 0..2 set to unit length: strips scale from a transform.
void MatNormalizeRows(const Mat4& src, Mat4* dst);
// Inverse of a pure rotation: 3x3 transposed, translation cleared.
void MatTransposeRotation(Mat4* m);
// Columns 0..2 of the 3x3 divided by their squared lengths; followed by
// MatTransposeRotation this inverts a rotation with per-axis scale. A zero
// column is left as it is.
void MatDivideColumnsBySquaredLength(Mat4* m);
// Counter-clockwise seen from the tip of the axis, through a quaternion.
void MatRotationAxisAngle(const Vec3& axis, float angle, Mat4* m);
// World to camera: x right, y up, z along the view; roll turns the picture.
void MatLookAt(const Vec3& eye, const Vec3& target, float roll, Mat4* m);
// Reflection in the plane (n, d); n need not be unit length. A zero normal
// names no plane and gives the identity.
void MatMirror(const Plane& plane, Mat4* m);
void PlaneFromPoints(const Vec3& a, const Vec3& b, const Vec3& c, Plane* out);
