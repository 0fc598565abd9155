#include "engine/math3d.h"

#include <cmath>
#include <cstdio>

float DegreesToRadians(float degrees) {
  return static_cast<float>(static_cast<double>(degrees) * kPi * kInv180);
}

void VecAdd(const Vec3& a, const Vec3& b, Vec3* out) {
  out->x = a.x + b.x;
  out->y = a.y + b.y;
  out->z = a.z + b.z;
}

void VecScale(const Vec3& v, float s, Vec3* out) {
  out->x = v.x * s;
  out->y = v.y * s;
  out->z = v.z * s;
}

void VecNegate(const Vec3& v, Vec3* out) {
  out->x = -v.x;
  out->y = -v.y;
  out->z = -v.z;
}

static double Dot(const Vec3& a, const Vec3& b) {
  return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
         static_cast<double>(a.z) * b.z;
}

// All three components are formed before any is stored, so out may alias.
void VecCross(const Vec3& a, const Vec3& b, Vec3* out) {
  double x = static_cast<double>(a.y) * b.z - static_cast<double>(a.z) * b.y;
  double y = static_cast<double>(a.z) * b.x - static_cast<double>(a.x) * b.z;
  double z = static_cast<double>(a.x) * b.y - static_cast<double>(a.y) * b.x;
  out->x = static_cast<float>(x);
  out->y = static_cast<float>(y);
  out->z = static_cast<float>(z);
}

float VecLengthSquared(const Vec3& v) { return static_cast<float>(Dot(v, v)); }

void VecPrint(const Vec3& v) {
  std::printf("%f %f %f\n", static_cast<double>(v.x), static_cast<double>(v.y),
              static_cast<double>(v.z));
}

void MatIdentity(Mat4* m) {
  for (float& e : m->m) e = 0.0f;
  m->m[0] = m->m[5] = m->m[10] = m->m[15] = 1.0f;
}

void MatCopy(const Mat4& src, Mat4* dst) { *dst = src; }

// Through a temporary, so out may be a or b.
void MatMul(const Mat4& a, const Mat4& b, Mat4* out) {
  Mat4 t;
  for (int r = 0; r < 4; r++) {
    for (int c = 0; c < 4; c++) {
      double sum = 0.0;
      for (int k = 0; k < 4; k++) sum += static_cast<double>(a.m[4 * r + k]) * b.m[4 * k + c];
      t.m[4 * r + c] = static_cast<float>(sum);
    }
  }
  *out = t;
}

void MatTransformPoints(const Vec3* src, Vec3* dst, int count, const Mat4& m) {
  for (int i = 0; i < count; i++) MatTransformPoint(src[i], m, &dst[i]);
}


void MatRotationX(Mat4* m, float a) {
  MatIdentity(m);
  float c = static_cast<float>(std::cos(static_cast<double>(a)));
  float s = static_cast<float>(std::sin(static_cast<double>(a)));
  m->m[5] = c;
  m->m[6] = s;
  m->m[9] = -s;
  m->m[10] = c;
}

void MatRotationY(Mat4* m, float a) {
  MatIdentity(m);
  float c = static_cast<float>(std::cos(static_cast<double>(a)));
  float s = static_cast<float>(std::sin(static_cast<double>(a)));
  m->m[0] = c;
  m->m[2] = -s;
  m->m[8] = s;
  m->m[10] = c;
}

void MatRotationZ(Mat4* m, float a) {
  MatIdentity(m);
  float c = static_cast<float>(std::cos(static_cast<double>(a)));
  float s = static_cast<float>(std::sin(static_cast<double>(a)));
  m->m[0] = c;
  m->m[1] = s;
  m->m[4] = -s;
  m->m[5] = c;
}

// Rz(c) * Rx(a) * Ry(b) multiplied out by hand: one set of sines and cosines
// instead of two matrix products.
void MatRotationEuler(Mat4* m, float a, float b, float c) {
  double sa = std::sin(static_cast<double>(a)), ca = std::cos(static_cast<double>(a));
  double sb = std::sin(static_cast<double>(b)), cb = std::cos(static_cast<double>(b));
  double sc = std::sin(static_cast<double>(c)), cc = std::cos(static_cast<double>(c));
  MatIdentity(m);
  float* e = m->m;
  e[0] = static_cast<float>(cc * cb + sc * sa * sb);
  e[1] = static_cast<float>(sc * ca);
  e[2] = static_cast<float>(sc * sa * cb - cc * sb);
  e[4] = static_cast<float>(cc * sa * sb - sc * cb);
  e[5] = static_cast<float>(cc * ca);
  e[6] = static_cast<float>(sc * sb + cc * sa * cb);
  e[8] = static_cast<float>(ca * sb);
  e[9] = static_cast<float>(-sa);
  e[10] = static_cast<float>(ca * cb);
}

void MatScaling(Mat4* m, float sx, float sy, float sz) {
  MatIdentity(m);
  m->m[0] = sx;
  m->m[5] = sy;
  m->m[10] = sz;
}

void MatNormalizeRows(const Mat4& src, Mat4* dst) {
  MatCopy(src, dst);
  for (int r = 0; r < 3; r++) {
    float* row = &dst->m[4 * r];
    Vec3 v = {row[0], row[1], row[2]};
    VecSetLength(v, 1.0f, &v);
    row[0] = v.x;
    row[1] = v.y;
    row[2] = v.z;
  }
}

void MatTransposeRotation(Mat4* m) {
  float* e = m->m;
  float t;
  t = e[1], e[1] = e[4], e[4] = t;
  t = e[2], e[2] = e[8], e[8] = t;
  t = e[6], e[6] = e[9], e[9] = t;
  e[12] = e[13] = e[14] = 0.0f;
  e[15] = 1.0f;
}

void MatDivideColumnsBySquaredLength(Mat4* m) {
  float* e = m->m;
  for (int c = 0; c < 3; c++) {
    double squared = static_cast<double>(e[c]) * e[c] + static_cast<double>(e[c + 4]) * e[c + 4] +
                     static_cast<double>(e[c + 8]) * e[c + 8];
    if (static_cast<float>(squared) == 0.0f) continue;  // no axis to invert
    double q = 1.0 / squared;
    e[c] = static_cast<float>(e[c] * q);
    e[c + 4] = static_cast<float>(e[c + 4] * q);
    e[c + 8] = static_cast<float>(e[c + 8] * q);
  }
}

void MatRotationAxisAngle(const Vec3& axis, float angle, Mat4* m) {
  Vec3 n;
  VecSetLength(axis, 1.0f, &n);
  double h = static_cast<double>(angle) * 0.5;
  double s = std::sin(h);
  double w = std::cos(h);
  double x = n.x * s, y = n.y * s, z = n.z * s;
  MatIdentity(m);
  float* e = m->m;
  e[0] = static_cast<float>(1.0 - (2 * y * y + 2 * z * z));
  e[1] = static_cast<float>(2 * x * y + 2 * w * z);
  e[2] = static_cast<float>(2 * x * z - 2 * w * y);
  e[4] = static_cast<float>(2 * x * y - 2 * w * z);
  e[5] = static_cast<float>(1.0 - (2 * x * x + 2 * z * z));
  e[6] = static_cast<float>(2 * y * z + 2 * w * x);
  e[8] = static_cast<float>(2 * x * z + 2 * w * y);
  e[9] = static_cast<float>(2 * y * z - 2 * w * x);
  e[10] = static_cast<float>(1.0 - (2 * x * x + 2 * y * y));
}

// Straight up or down the usual up vector is parallel to the view, so a
// horizontal one is taken instead.
void MatLookAt(const Vec3& eye, const Vec3& target, float roll, Mat4* m) {
  Vec3 d;
  VecSub(target, eye, &d);
  VecSetLength(d, 1.0f, &d);
  Vec3 up = {0.0f, 1.0f, 0.0f};
  if (d.x == 0.0f && d.z == 0.0f) {
    Vec3 side = {-d.y, 0.0f, 0.0f};
    VecSetLength(side, 1.0f, &up);
  }
  Vec3 right, up2;
  VecCross(up, d, &right);
  VecSetLength(right, 1.0f, &right);
  VecCross(right, d, &up2);
  VecSetLength(up2, 1.0f, &up2);
  VecNegate(up2, &up2);

  Mat4 basis;
  MatIdentity(&basis);
  float* e = basis.m;
  e[0] = right.x, e[4] = right.y, e[8] = right.z;
  e[1] = up2.x, e[5] = up2.y, e[9] = up2.z;
  e[2] = d.x, e[6] = d.y, e[10] = d.z;

  Mat4 translate;
  MatIdentity(&translate);
  translate.m[12] = -eye.x;
  translate.m[13] = -eye.y;
  translate.m[14] = -eye.z;

  Mat4 turn;
  MatRotationZ(&turn, roll);

  MatIdentity(m);
  MatMul(*m, translate, m);
  MatMul(*m, basis, m);
  MatMul(*m, turn, m);
}

void MatMirror(const Plane& plane, Mat4* m) {
  MatIdentity(m);
  double n[3] = {plane.nx, plane.ny, plane.nz};
  double squared = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  if (static_cast<float>(squared) == 0.0f) return;
  double q = 1.0 / squared;
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) {
      double delta = r == c ? 1.0 : 0.0;
      m->m[4 * r + c] = static_cast<float>(delta - 2.0 * n[r] * n[c] * q);
    }
    m->m[12 + r] = static_cast<float>(n[r] * (2.0 * plane.d * q));
  }
}

void PlaneFromPoints(const Vec3& a, const Vec3& b, const Vec3& c, Plane* out) {
  Vec3 ab, ac, n;
  VecSub(a, b, &ab);
  VecSub(a, c, &ac);
  VecCross(ab, ac, &n);
  VecSetLength(n, 1.0f, &n);
  out->nx = n.x;
  out->ny = n.y;
  out->nz = n.z;
  out->d = VecDot(n, a);
}
