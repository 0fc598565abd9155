#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/math3d.h"

namespace {

void ExpectNear(const Vec3& got, const Vec3& want, float tolerance) {
  EXPECT_NEAR(got.x, want.x, tolerance);
  EXPECT_NEAR(got.y, want.y, tolerance);
  EXPECT_NEAR(got.z, want.z, tolerance);
}

void ExpectNear(const Mat4& got, const Mat4& want, float tolerance) {
  for (int i = 0; i < 16; i++) EXPECT_NEAR(got.m[i], want.m[i], tolerance) << "m" << i;
}

Mat4 Mul(const Mat4& a, const Mat4& b) {
  Mat4 out;
  MatMul(a, b, &out);
  return out;
}

Vec3 Column(const Mat4& m, int c) { return {m.m[c], m.m[c + 4], m.m[c + 8]}; }

TEST(EngineMath, ZeroAndUnderflowingVectorsHaveLengthZeroAndStayPut) {
  struct Case {
    Vec3 v;
    float len, wantLength;
    Vec3 wantSet;
  } cases[] = {
      {{0, 0, 0}, 1, 0, {0, 0, 0}},
      {{-0.0f, 0, -0.0f}, 5, 0, {0, 0, 0}},
      {{1e-30f, 0, 0}, 1, 0, {1e-30f, 0, 0}},  // squared length rounds to 0
      {{3, 4, 0}, 10, 5, {6, 8, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VecLength(c.v), c.wantLength);
    Vec3 out;
    VecSetLength(c.v, c.len, &out);
    ExpectNear(out, c.wantSet, 0.0f);
  }
}

TEST(EngineMath, MatMulMayWriteOverEitherInput) {
  unsigned seed = 7;
  Mat4 a, b;
  for (float& e : a.m) e = static_cast<float>(rand_r(&seed) % 2001 - 1000) / 97.0f;
  for (float& e : b.m) e = static_cast<float>(rand_r(&seed) % 2001 - 1000) / 97.0f;
  Mat4 want = Mul(a, b), intoA = a, intoB = b;
  MatMul(intoA, b, &intoA);
  MatMul(a, intoB, &intoB);
  for (int i = 0; i < 16; i++) {
    EXPECT_EQ(intoA.m[i], want.m[i]);
    EXPECT_EQ(intoB.m[i], want.m[i]);
  }
}

TEST(EngineMath, RotationsAgreeAcrossAxisEulerAndQuaternionForms) {
  struct Axis {
    void (*rotation)(Mat4*, float);
    Vec3 axis, from, to;  // a quarter turn takes from to to
  } axes[] = {{MatRotationX, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
              {MatRotationY, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
              {MatRotationZ, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}}};
  for (const Axis& c : axes) {
    Mat4 single, quaternion;
    c.rotation(&single, 1.5707964f);
    Vec3 out;
    MatTransformPoint(c.from, single, &out);
    ExpectNear(out, c.to, 1e-7f);
    for (float angle : {-2.5f, 0.7f, 3.0f}) {
      c.rotation(&single, angle);
      Vec3 longReversed = {-3 * c.axis.x, -3 * c.axis.y, -3 * c.axis.z};
      MatRotationAxisAngle(longReversed, -angle, &quaternion);
      ExpectNear(quaternion, single, 2e-7f);
    }
  }
  for (const auto& a : {Vec3{0.3f, -1.2f, 2.0f}, Vec3{-2.9f, 0.8f, -0.1f}, Vec3{1.5f, 1.5f, 1.5f}}) {
    Mat4 rz, rx, ry, euler;
    MatRotationZ(&rz, a.z);
    MatRotationX(&rx, a.x);
    MatRotationY(&ry, a.y);
    MatRotationEuler(&euler, a.x, a.y, a.z);
    ExpectNear(euler, Mul(Mul(rz, rx), ry), 3e-7f);
  }
}

TEST(EngineMath, LookAtGivesAnOrthonormalLeftHandedViewEvenStraightUp) {
  Mat4 m;
  MatLookAt({0, 0, 0}, {0, 0, 5}, 0.0f, &m);
  for (int i = 0; i < 16; i++) EXPECT_EQ(m.m[i], i % 5 == 0 ? 1.0f : 0.0f);
  struct Case {
    Vec3 eye, target;
    float roll;
    Vec3 point, want;  // point in camera space
  } cases[] = {
      {{1, 2, 3}, {1, 2, 10}, 0.0f, {1, 2, 10}, {0, 0, 7}},
      {{0, 0, 0}, {0, 0, 5}, 1.5707964f, {1, 0, 0}, {0, 1, 0}},
      {{0, 0, 0}, {0, 5, 0}, 0.0f, {0, 0, -1}, {1, 0, 0}},   // straight up
      {{0, 0, 0}, {0, -5, 0}, 0.0f, {0, 0, -1}, {1, 0, 0}},  // straight down
  };
  for (const Case& c : cases) {
    MatLookAt(c.eye, c.target, c.roll, &m);
    Vec3 out, forward;
    MatTransformPoint(c.point, m, &out);
    ExpectNear(out, c.want, 1e-6f);
    for (int i = 0; i < 3; i++) {
      EXPECT_NEAR(VecLength(Column(m, i)), 1.0f, 1e-6f);
      EXPECT_NEAR(VecDot(Column(m, i), Column(m, (i + 1) % 3)), 0.0f, 1e-6f);
    }
    VecCross(Column(m, 0), Column(m, 1), &forward);
    ExpectNear(forward, Column(m, 2), 1e-6f);
  }
}

TEST(EngineMath, MirrorAndPlanesFromPoints) {
  struct Case {
    Plane plane;
    Vec3 point, want;
  } cases[] = {
      {{0, 1, 0, 2}, {1, 5, 3}, {1, -1, 3}},
      {{0, 2, 0, 4}, {1, 5, 3}, {1, -1, 3}},  // same plane, normal of length 2
      {{1, 1, 0, 0}, {1, 0, 0}, {0, -1, 0}},
      {{0, 0, 0, 3}, {1, 2, 3}, {1, 2, 3}},  // no normal, no plane: identity
  };
  for (const Case& c : cases) {
    Mat4 m;
    MatMirror(c.plane, &m);
    Vec3 out;
    MatTransformPoint(c.point, m, &out);
    ExpectNear(out, c.want, 1e-6f);
  }
  Plane p;
  PlaneFromPoints({0, 0, 3}, {0, 1, 3}, {1, 0, 3}, &p);
  ExpectNear(Vec3{p.nx, p.ny, p.nz}, Vec3{0, 0, -1}, 1e-7f);
  EXPECT_EQ(p.d, -3.0f);
}

TEST(EngineMath, ScaledRotationsInvertThroughTheirColumns) {
  Mat4 rotation, scale, m, identity;
  MatIdentity(&identity);
  MatRotationEuler(&rotation, 0.4f, -1.1f, 2.3f);
  MatScaling(&scale, 2.0f, 0.5f, 4.0f);
  m = Mul(rotation, scale);
  Mat4 inverse = m;
  MatDivideColumnsBySquaredLength(&inverse);
  MatTransposeRotation(&inverse);
  ExpectNear(Mul(m, inverse), identity, 1e-6f);

  // A degenerate axis stays as it is instead of turning into infinities.
  MatScaling(&m, 0.0f, 2.0f, 1.0f);
  MatDivideColumnsBySquaredLength(&m);
  ExpectNear(Vec3{m.m[0], m.m[5], m.m[10]}, Vec3{0.0f, 0.5f, 1.0f}, 0.0f);
}

}  // namespace
