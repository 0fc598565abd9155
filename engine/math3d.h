// Vectors, 4x4 matrices and planes for the 3D engine and the effects that
// transform points themselves. Storage is float; every operation does its
// arithmetic in double and rounds to float once, when a result is stored.
// Outputs may be the same object as an input. Nothing allocates or fails.
#pragma once
#include <cstdint>

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

void VecSub(const Vec3& a, const Vec3& b, Vec3* out);
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
// 0 for a zero vector, without a square root.
float VecLength(const Vec3& v);
// out = v scaled to length len; a zero vector stays zero. len 1 normalises.
void VecSetLength(const Vec3& v, float len, Vec3* out);
void VecPrint(const Vec3& v);

void MatIdentity(Mat4* m);
void MatCopy(const Mat4& src, Mat4* dst);
void MatMul(const Mat4& a, const Mat4& b, Mat4* out);
void MatTransformPoint(const Vec3& p, const Mat4& m, Vec3* out);
void MatTransformPoints(const Vec3* src, Vec3* dst, int count, const Mat4& m);
// Upper 3x3 only: for normals and directions.
void MatRotateVector(const Vec3& v, const Mat4& m, Vec3* out);
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
