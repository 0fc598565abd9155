#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/math3d.h"

namespace {

void ExpectNear(const Vec3& got, const Vec3& want, float tolerance, const char* what) {
  EXPECT_NEAR(got.x, want.x, tolerance) << what;
  EXPECT_NEAR(got.y, want.y, tolerance) << what;
  EXPECT_NEAR(got.z, want.z, tolerance) << what;
}

void ExpectNear(const Mat4& got, const Mat4& want, float tolerance, const char* what) {
  for (int i = 0; i < 16; i++) EXPECT_NEAR(got.m[i], want.m[i], tolerance) << what << " m" << i;
}

void ExpectExact(const Mat4& got, const Mat4& want, const char* what) {
  for (int i = 0; i < 16; i++) EXPECT_EQ(got.m[i], want.m[i]) << what << " m" << i;
}

Mat4 RandomMatrix(unsigned* seed) {
  Mat4 m;
  for (float& e : m.m) e = static_cast<float>(rand_r(seed) % 2001 - 1000) / 97.0f;
  return m;
}

Mat4 Product(const Mat4& a, const Mat4& b) {
  Mat4 out;
  MatMul(a, b, &out);
  return out;
}

Vec3 Column(const Mat4& m, int c) { return {m.m[c], m.m[c + 4], m.m[c + 8]}; }

TEST(EngineMath, LengthOfZeroAndTinyVectorsIsZeroAndSetLengthKeepsThem) {
  struct Case {
    Vec3 v;
    float len;
    float wantLength;
    Vec3 wantSet;
  } cases[] = {
      {{0.0f, 0.0f, 0.0f}, 1.0f, 0.0f, {0.0f, 0.0f, 0.0f}},
      {{-0.0f, 0.0f, -0.0f}, 5.0f, 0.0f, {0.0f, 0.0f, 0.0f}},
      // The squared length underflows in float: zero length, divisor 1.
      {{1e-30f, 0.0f, 0.0f}, 1.0f, 0.0f, {1e-30f, 0.0f, 0.0f}},
      {{3.0f, 4.0f, 0.0f}, 10.0f, 5.0f, {6.0f, 8.0f, 0.0f}},
      {{0.0f, -2.0f, 0.0f}, 1.0f, 2.0f, {0.0f, -1.0f, 0.0f}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VecLength(c.v), c.wantLength);
    Vec3 out;
    VecSetLength(c.v, c.len, &out);
    EXPECT_FALSE(std::isnan(out.x) || std::isnan(out.y) || std::isnan(out.z));
    ExpectNear(out, c.wantSet, 0.0f, "set length");
  }
}

TEST(EngineMath, CrossAndDotFollowTheComponentFormulas) {
  Vec3 a = {1.0f, 2.0f, 3.0f}, b = {4.0f, 5.0f, 6.0f}, out;
  VecCross(a, b, &out);
  ExpectNear(out, {-3.0f, 6.0f, -3.0f}, 0.0f, "cross");
  EXPECT_EQ(VecDot(a, b), 32.0f);
  EXPECT_EQ(VecLengthSquared(a), 14.0f);
  // x cross y is z: the orientation every face normal relies on.
  VecCross({1, 0, 0}, {0, 1, 0}, &out);
  ExpectNear(out, {0, 0, 1}, 0.0f, "x cross y");
}

TEST(EngineMath, MatMulGivesTheSameProductWhenTheOutputIsAnInput) {
  unsigned seed = 7;
  for (int round = 0; round < 20; round++) {
    Mat4 a = RandomMatrix(&seed), b = RandomMatrix(&seed);
    Mat4 want = Product(a, b);
    Mat4 intoA = a, intoB = b;
    MatMul(intoA, b, &intoA);
    MatMul(a, intoB, &intoB);
    ExpectExact(intoA, want, "out = a");
    ExpectExact(intoB, want, "out = b");
    Mat4 square = a;
    MatMul(square, square, &square);
    ExpectExact(square, Product(a, a), "out = a = b");
  }
}

TEST(EngineMath, ProductAppliesTheLeftMatrixFirst) {
  Mat4 scale, move;
  MatScaling(&scale, 2.0f, 3.0f, 4.0f);
  MatIdentity(&move);
  move.m[12] = 1.0f, move.m[13] = 1.0f, move.m[14] = 1.0f;
  Vec3 p = {1.0f, 1.0f, 1.0f}, out;
  MatTransformPoint(p, Product(scale, move), &out);
  ExpectNear(out, {3.0f, 4.0f, 5.0f}, 0.0f, "scale then move");
  MatTransformPoint(p, Product(move, scale), &out);
  ExpectNear(out, {4.0f, 6.0f, 8.0f}, 0.0f, "move then scale");
}

TEST(EngineMath, PointTransformsMayWorkInPlace) {
  unsigned seed = 11;
  Mat4 m = RandomMatrix(&seed);
  Vec3 points[5] = {{1, 2, 3}, {-4, 5, 0.5f}, {0, 0, 0}, {9, -9, 9}, {0.25f, 8, -3}};
  Vec3 separate[5];
  MatTransformPoints(points, separate, 5, m);
  MatTransformPoints(points, points, 5, m);
  for (int i = 0; i < 5; i++) ExpectNear(points[i], separate[i], 0.0f, "in place");

  // Directions ignore the translation row.
  Mat4 move;
  MatIdentity(&move);
  move.m[12] = 5.0f;
  Vec3 v = {1.0f, 2.0f, 3.0f};
  MatRotateVector(v, move, &v);
  ExpectNear(v, {1.0f, 2.0f, 3.0f}, 0.0f, "rotate vector");
}

TEST(EngineMath, AxisRotationsTurnCounterClockwiseAndAxisAngleAgrees) {
  const float quarter = 1.5707964f;
  struct Case {
    void (*rotation)(Mat4*, float);
    Vec3 axis;
    Vec3 from, to;  // a quarter turn takes from to to
  } cases[] = {
      {MatRotationX, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {MatRotationY, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {MatRotationZ, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    Mat4 m;
    c.rotation(&m, quarter);
    Vec3 out;
    MatTransformPoint(c.from, m, &out);
    ExpectNear(out, c.to, 1e-7f, "quarter turn");
    for (float angle : {-2.5f, -0.3f, 0.0f, 0.7f, 1.0f, 3.0f}) {
      Mat4 single, quaternion, scaledAxis;
      c.rotation(&single, angle);
      MatRotationAxisAngle(c.axis, angle, &quaternion);
      ExpectNear(quaternion, single, 2e-7f, "axis-angle");
      // The axis is normalised first.
      Vec3 longAxis;
      VecScale(c.axis, -3.0f, &longAxis);
      MatRotationAxisAngle(longAxis, -angle, &scaledAxis);
      ExpectNear(scaledAxis, single, 2e-7f, "long reversed axis");
    }
  }
}

TEST(EngineMath, EulerRotationEqualsTheProductOfItsThreeAxisRotations) {
  const float angles[][3] = {{0.0f, 0.0f, 0.0f},  {0.3f, 0.0f, 0.0f},   {0.0f, 0.4f, 0.0f},
                             {0.0f, 0.0f, 0.5f},  {0.3f, -1.2f, 2.0f},  {-2.9f, 0.8f, -0.1f},
                             {1.5f, 1.5f, 1.5f},  {3.1f, -3.1f, 0.01f}};
  for (const auto& a : angles) {
    Mat4 rz, rx, ry, want, got;
    MatRotationZ(&rz, a[2]);
    MatRotationX(&rx, a[0]);
    MatRotationY(&ry, a[1]);
    MatMul(rz, rx, &want);
    MatMul(want, ry, &want);
    MatRotationEuler(&got, a[0], a[1], a[2]);
    ExpectNear(got, want, 3e-7f, "euler");
  }
}

TEST(EngineMath, LookAtBuildsAnOrthonormalViewEvenStraightUpOrDown) {
  Mat4 identity, m;
  MatIdentity(&identity);
  MatLookAt({0, 0, 0}, {0, 0, 5}, 0.0f, &m);
  ExpectExact(m, identity, "looking down z");

  struct Case {
    Vec3 eye, target;
    float roll;
    Vec3 point, want;  // where point lands in camera space
  } cases[] = {
      {{1, 2, 3}, {1, 2, 10}, 0.0f, {1, 2, 10}, {0, 0, 7}},
      {{0, 0, 0}, {0, 0, 5}, 1.5707964f, {1, 0, 0}, {0, 1, 0}},
      {{0, 0, 0}, {5, 0, 0}, 0.0f, {0, 0, -1}, {1, 0, 0}},
      {{0, 0, 0}, {0, 5, 0}, 0.0f, {0, 0, -1}, {1, 0, 0}},   // straight up
      {{0, 0, 0}, {0, -5, 0}, 0.0f, {0, 0, -1}, {1, 0, 0}},  // straight down
      {{2, 2, 2}, {2, 9, 2}, 0.0f, {2, 4, 2}, {0, 0, 2}},
  };
  for (const Case& c : cases) {
    MatLookAt(c.eye, c.target, c.roll, &m);
    Vec3 out;
    MatTransformPoint(c.point, m, &out);
    ExpectNear(out, c.want, 1e-6f, "camera space");
    // Columns 0..2 are right, up and forward: unit length, pairwise square.
    for (int i = 0; i < 3; i++) {
      EXPECT_NEAR(VecLength(Column(m, i)), 1.0f, 1e-6f);
      for (int j = i + 1; j < 3; j++) EXPECT_NEAR(VecDot(Column(m, i), Column(m, j)), 0.0f, 1e-6f);
    }
    // Left-handed: right x up = forward.
    Vec3 forward;
    VecCross(Column(m, 0), Column(m, 1), &forward);
    ExpectNear(forward, Column(m, 2), 1e-6f, "handedness");
  }
}

TEST(EngineMath, MirrorReflectsPointsInPlanesOfAnyNormalLength) {
  struct Case {
    Plane plane;
    Vec3 point, want;
  } cases[] = {
      {{0, 1, 0, 2}, {1, 5, 3}, {1, -1, 3}},
      {{0, 2, 0, 4}, {1, 5, 3}, {1, -1, 3}},  // the same plane, normal of length 2
      {{1, 1, 0, 0}, {1, 0, 0}, {0, -1, 0}},
      {{0, 0, -1, 3}, {7, 7, -1}, {7, 7, -5}},
      {{0, 1, 0, 0}, {4, 0, 4}, {4, 0, 4}},  // points on the plane stay
  };
  for (const Case& c : cases) {
    Mat4 m;
    MatMirror(c.plane, &m);
    EXPECT_EQ(m.m[15], 1.0f);
    Vec3 out;
    MatTransformPoint(c.point, m, &out);
    ExpectNear(out, c.want, 1e-6f, "mirror");
    MatTransformPoint(out, m, &out);
    ExpectNear(out, c.point, 1e-5f, "mirrored twice");
  }
  Mat4 m, identity;
  MatIdentity(&identity);
  MatMirror({0, 0, 0, 3}, &m);
  ExpectExact(m, identity, "no normal");
}

TEST(EngineMath, PlaneThroughThreePointsFacesAlongTheirWinding) {
  struct Case {
    Vec3 a, b, c;
    Plane want;
  } cases[] = {
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1, 0}},
      {{0, 0, 3}, {1, 0, 3}, {0, 1, 3}, {0, 0, 1, 3}},
      {{0, 0, 3}, {0, 1, 3}, {1, 0, 3}, {0, 0, -1, -3}},
      {{0, 2, 0}, {0, 2, 1}, {1, 2, 0}, {0, 1, 0, 2}},
  };
  for (const Case& c : cases) {
    Plane p;
    PlaneFromPoints(c.a, c.b, c.c, &p);
    EXPECT_NEAR(p.nx, c.want.nx, 1e-7f);
    EXPECT_NEAR(p.ny, c.want.ny, 1e-7f);
    EXPECT_NEAR(p.nz, c.want.nz, 1e-7f);
    EXPECT_NEAR(p.d, c.want.d, 1e-6f);
  }
}

TEST(EngineMath, InversesOfRotationsWithAndWithoutScale) {
  Mat4 rotation, scale, move, m, inverse, check, identity;
  MatIdentity(&identity);
  MatRotationEuler(&rotation, 0.4f, -1.1f, 2.3f);
  MatScaling(&scale, 2.0f, 0.5f, 4.0f);
  MatIdentity(&move);
  move.m[12] = 3.0f, move.m[13] = -2.0f, move.m[14] = 9.0f;

  // Pure rotation: the transpose inverts it and the translation goes.
  MatMul(rotation, move, &m);
  inverse = m;
  MatTransposeRotation(&inverse);
  EXPECT_EQ(inverse.m[12], 0.0f);
  EXPECT_EQ(inverse.m[13], 0.0f);
  EXPECT_EQ(inverse.m[14], 0.0f);
  EXPECT_EQ(inverse.m[15], 1.0f);
  MatMul(rotation, inverse, &check);
  ExpectNear(check, identity, 1e-6f, "transpose");

  // Rotation followed by per-axis scale: divide the columns first.
  MatMul(rotation, scale, &m);
  inverse = m;
  MatDivideColumnsBySquaredLength(&inverse);
  MatTransposeRotation(&inverse);
  MatMul(m, inverse, &check);
  ExpectNear(check, identity, 1e-6f, "scaled inverse");

  // Normalising the rows strips a scale applied before the rotation and
  // keeps the translation.
  MatMul(scale, rotation, &m);
  MatMul(m, move, &m);
  MatNormalizeRows(m, &check);
  Mat4 want;
  MatMul(rotation, move, &want);
  ExpectNear(check, want, 1e-6f, "normalised rows");

  // A degenerate axis is left alone instead of turning into infinities.
  MatScaling(&m, 0.0f, 2.0f, 1.0f);
  MatDivideColumnsBySquaredLength(&m);
  EXPECT_EQ(m.m[0], 0.0f);
  EXPECT_EQ(m.m[5], 0.5f);
  EXPECT_EQ(m.m[10], 1.0f);
}

TEST(EngineMath, DegreesGoThroughTheTwoStoredFactors) {
  EXPECT_EQ(DegreesToRadians(180.0f), static_cast<float>(180.0 * 3.14159274f * 0.0055555557f));
  EXPECT_NEAR(DegreesToRadians(60.0f), 1.0471976f, 1e-7f);
  EXPECT_EQ(DegreesToRadians(0.0f), 0.0f);
}

}  // namespace
