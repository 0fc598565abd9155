// Transcendental functions from nothing but IEEE additions, multiplications,
// divisions and square roots, evaluated in double. The C library may pick a
// different code path on another processor (fused multiply-add variants)
// and round a last bit differently; these give the same bits everywhere, so
// the generated files do too. Accuracy is a few units in the last place of a
// double, far below what an 8-bit pixel or a 16-bit sample can show.
#include <cmath>

#include "tools/generator.h"

namespace {

constexpr double kPiO2Hi = 1.57079632673412561417e+00;  // first 33 bits of pi/2
constexpr double kPiO2Lo = 6.07710050650619224932e-11;  // pi/2 - kPiO2Hi
constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;

double Nearest(double v) { return std::floor(v + 0.5); }

// sin and cos on |r| <= pi/4 by their Taylor series, in Horner form; the
// coefficients 1/n! are formed once by exact-enough divisions.
struct Factorials {
  double inverse[20];
  Factorials() {
    double f = 1.0;
    inverse[0] = 1.0;
    for (int n = 1; n < 20; n++) {
      f *= n;
      inverse[n] = 1.0 / f;
    }
  }
};
const Factorials kFactorials;

double SinKernel(double r) {
  double r2 = r * r, sum = 0.0;
  for (int n = 9; n >= 1; n--) sum = ((n & 1) ? -kFactorials.inverse[2 * n + 1] : kFactorials.inverse[2 * n + 1]) + r2 * sum;
  return r + r * r2 * sum;
}

double CosKernel(double r) {
  double r2 = r * r, sum = 0.0;
  for (int n = 9; n >= 1; n--) sum = ((n & 1) ? -kFactorials.inverse[2 * n] : kFactorials.inverse[2 * n]) + r2 * sum;
  return 1.0 + r2 * sum;
}

// Quadrant and remainder of x against pi/2.
double Reduce(double x, long* quadrant) {
  double k = Nearest(x / (kPiO2Hi + kPiO2Lo));
  *quadrant = static_cast<long>(k) & 3;
  return (x - k * kPiO2Hi) - k * kPiO2Lo;
}

double AtanSeries(double x) {  // |x| <= 0.27
  double x2 = x * x, term = x, sum = x;
  for (int n = 1; n <= 14; n++) {
    term = -term * x2;
    sum += term / (2 * n + 1);
  }
  return sum;
}

double AtanD(double x) {
  constexpr double kPi = 3.14159265358979311600e+00;
  bool negative = x < 0;
  if (negative) x = -x;
  bool inverted = x > 1.0;
  if (inverted) x = 1.0 / x;
  double r;
  if (x > 0.2679491924311227) {  // tan(pi/12): shift by pi/6
    const double s3 = std::sqrt(3.0);
    r = kPi / 6.0 + AtanSeries((x * s3 - 1.0) / (x + s3));
  } else {
    r = AtanSeries(x);
  }
  if (inverted) r = kPi / 2.0 - r;
  return negative ? -r : r;
}

double ExpD(double x) {
  if (x > 700.0) return HUGE_VAL;
  if (x < -700.0) return 0.0;
  double k = Nearest(x / (kLn2Hi + kLn2Lo));
  double r = (x - k * kLn2Hi) - k * kLn2Lo;
  double sum = 0.0;
  for (int n = 14; n >= 1; n--) sum = kFactorials.inverse[n] + r * sum;
  return std::ldexp(1.0 + r * sum, static_cast<int>(k));
}

double LogD(double x) {
  int e = 0;
  double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1)
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    e -= 1;
  }
  double s = (m - 1.0) / (m + 1.0), s2 = s * s, term = s, sum = s;
  for (int n = 1; n <= 11; n++) {
    term *= s2;
    sum += term / (2 * n + 1);
  }
  return 2.0 * sum + e * kLn2Hi + e * kLn2Lo;
}

}  // namespace

float Sin(float x) {
  long q = 0;
  double r = Reduce(x, &q);
  double v = (q & 1) ? CosKernel(r) : SinKernel(r);
  return static_cast<float>(q & 2 ? -v : v);
}

float Cos(float x) {
  long q = 0;
  double r = Reduce(x, &q);
  double v = (q & 1) ? -SinKernel(r) : CosKernel(r);
  return static_cast<float>(q & 2 ? -v : v);
}

float Exp(float x) { return static_cast<float>(ExpD(x)); }

// For positive bases; a base of zero or below gives zero.
float Pow(float x, float y) {
  if (!(x > 0.0f)) return 0.0f;
  return static_cast<float>(ExpD(static_cast<double>(y) * LogD(x)));
}

float Atan2(float y, float x) {
  constexpr double kPi = 3.14159265358979311600e+00;
  if (x > 0.0f) return static_cast<float>(AtanD(static_cast<double>(y) / x));
  if (x < 0.0f) return static_cast<float>(AtanD(static_cast<double>(y) / x) + (y >= 0.0f ? kPi : -kPi));
  if (y > 0.0f) return static_cast<float>(kPi / 2.0);
  if (y < 0.0f) return static_cast<float>(-kPi / 2.0);
  return 0.0f;
}

float Hypot(float x, float y) {
  double dx = x, dy = y;
  return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}
