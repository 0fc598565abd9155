// The generator's own transcendental functions follow the C library's to
// float precision over the ranges the generator uses, in every quadrant.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/generator.h"

namespace {

TEST(ExactMath, AgreesWithTheLibraryAcrossItsRanges) {
  struct Range {
    const char* name;
    float (*ours)(float);
    double (*reference)(double);
    float lo, hi;
  } ranges[] = {
      {"sin", Sin, std::sin, -700.0f, 700.0f},
      {"cos", Cos, std::cos, -700.0f, 700.0f},
      {"exp", Exp, std::exp, -80.0f, 80.0f},
  };
  for (const Range& r : ranges) {
    for (int i = 0; i <= 20000; i++) {
      float x = r.lo + (r.hi - r.lo) * i / 20000.0f;
      double want = r.reference(x), got = r.ours(x);
      EXPECT_NEAR(got, want, 2e-7 * std::max(1.0, std::fabs(want))) << r.name << "(" << x << ")";
    }
  }
  for (int i = 1; i <= 400; i++) {
    float x = i * 0.01f;
    for (float y : {0.3f, 2.0f, 6.0f, 60.0f}) {
      double want = std::pow(static_cast<double>(x), static_cast<double>(y));
      EXPECT_NEAR(Pow(x, y), want, 1e-6 * std::max(1.0, want)) << x << "^" << y;
    }
  }
  EXPECT_EQ(Pow(0.0f, 3.0f), 0.0f);
  for (int i = 0; i < 64; i++) {
    float a = i * 0.0981747704f;  // around the circle, all four quadrants and the axes
    for (float radius : {0.5f, 3.0f, 200.0f}) {
      float x = radius * std::cos(a), y = radius * std::sin(a);
      EXPECT_NEAR(Atan2(y, x), std::atan2(y, x), 1e-6) << a;
      EXPECT_NEAR(Hypot(x, y), std::hypot(x, y), 1e-6 * radius);
    }
  }
  EXPECT_EQ(Atan2(0.0f, 0.0f), 0.0f);
  EXPECT_FLOAT_EQ(Atan2(1.0f, 0.0f), std::atan2(1.0f, 0.0f));
  EXPECT_FLOAT_EQ(Atan2(-1.0f, 0.0f), std::atan2(-1.0f, 0.0f));
  EXPECT_FLOAT_EQ(Atan2(0.0f, -2.0f), std::atan2(0.0f, -2.0f));
}

}  // namespace
