#include "tools/generator.h"

Rng MakeRng(uint64_t seed) { return Rng{seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull}; }

uint32_t RngNext(Rng* rng) {
  uint64_t z = (rng->state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

float RngUnit(Rng* rng) { return static_cast<float>(RngNext(rng) >> 8) * (1.0f / 16777216.0f); }
float RngRange(Rng* rng, float lo, float hi) { return lo + (hi - lo) * RngUnit(rng); }
int RngInt(Rng* rng, int n) { return static_cast<int>(RngNext(rng) % static_cast<uint32_t>(n)); }

Canvas MakeCanvas(int width, int height, Rgb fill) {
  Canvas c{width, height, {}};
  c.px.assign(static_cast<size_t>(width) * height, fill);
  return c;
}

void BlendPixel(Canvas* c, int x, int y, Rgb colour, float alpha) {
  if (x < 0 || y < 0 || x >= c->width || y >= c->height) return;
  Rgb& p = At(c, x, y);
  p = Mix(p, colour, alpha);
}

uint32_t PackRgb(Rgb c) {
  auto channel = [](float v) {
    if (!(v > 0.0f)) return 0u;  // also catches NaN
    if (v >= 255.0f) return 255u;
    return static_cast<uint32_t>(v + 0.5f);
  };
  return (channel(c.r) << 16) | (channel(c.g) << 8) | channel(c.b);
}

std::vector<uint32_t> CanvasPixels(const Canvas& c) {
  std::vector<uint32_t> out(c.px.size());
  for (size_t i = 0; i < c.px.size(); i++) out[i] = PackRgb(c.px[i]);
  return out;
}

float SdCircle(float px, float py, float cx, float cy, float r) {
  return Hypot(px - cx, py - cy) - r;
}

// Ellipse distance by the gradient-scaled implicit function: exact on the
// outline, close enough within a few pixels of it for anti-aliasing.
float SdEllipse(float px, float py, float cx, float cy, float rx, float ry, float angle) {
  float dx = px - cx, dy = py - cy;
  float ca = Cos(angle), sa = Sin(angle);
  float x = dx * ca + dy * sa, y = -dx * sa + dy * ca;
  float k0 = std::sqrt((x / rx) * (x / rx) + (y / ry) * (y / ry));
  float k1 = std::sqrt((x / (rx * rx)) * (x / (rx * rx)) + (y / (ry * ry)) * (y / (ry * ry)));
  if (k1 < 1e-6f) return -std::min(rx, ry);
  return k0 * (k0 - 1.0f) / k1;
}

float SdSegment(float px, float py, float ax, float ay, float bx, float by, float radius) {
  float pax = px - ax, pay = py - ay, bax = bx - ax, bay = by - ay;
  float len2 = bax * bax + bay * bay;
  float h = len2 > 0.0f ? Clamp01((pax * bax + pay * bay) / len2) : 0.0f;
  return Hypot(pax - bax * h, pay - bay * h) - radius;
}

float SdBox(float px, float py, float cx, float cy, float hx, float hy, float round) {
  float qx = std::fabs(px - cx) - hx + round, qy = std::fabs(py - cy) - hy + round;
  float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return Hypot(ox, oy) + std::min(std::max(qx, qy), 0.0f) - round;
}

float SdPolygon(const std::vector<Pt>& v, float px, float py) {
  size_t n = v.size();
  float d = (px - v[0].x) * (px - v[0].x) + (py - v[0].y) * (py - v[0].y);
  float s = 1.0f;
  for (size_t i = 0, j = n - 1; i < n; j = i, i++) {
    float ex = v[j].x - v[i].x, ey = v[j].y - v[i].y;
    float wx = px - v[i].x, wy = py - v[i].y;
    float len2 = ex * ex + ey * ey;
    float h = len2 > 0.0f ? Clamp01((wx * ex + wy * ey) / len2) : 0.0f;
    float bx = wx - ex * h, by = wy - ey * h;
    d = std::min(d, bx * bx + by * by);
    bool c1 = py >= v[i].y, c2 = py < v[j].y, c3 = ex * wy > ey * wx;
    if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) s = -s;
  }
  return s * std::sqrt(d);
}

void FillEllipse(Canvas* c, float cx, float cy, float rx, float ry, float angle, Rgb colour,
                 float alpha, float feather) {
  float r = std::max(rx, ry);
  PaintSolid(
      c, cx - r, cy - r, cx + r, cy + r,
      [=](float x, float y) { return SdEllipse(x, y, cx, cy, rx, ry, angle); }, colour, alpha,
      feather);
}

void FillPolygon(Canvas* c, const std::vector<Pt>& poly, Rgb colour, float alpha, float feather) {
  float x0 = poly[0].x, x1 = x0, y0 = poly[0].y, y1 = y0;
  for (const Pt& p : poly) {
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  PaintSolid(
      c, x0, y0, x1, y1, [&poly](float x, float y) { return SdPolygon(poly, x, y); }, colour,
      alpha, feather);
}

void StrokeSegment(Canvas* c, float ax, float ay, float bx, float by, float width, Rgb colour,
                   float alpha) {
  float r = width * 0.5f;
  PaintSolid(
      c, std::min(ax, bx) - r, std::min(ay, by) - r, std::max(ax, bx) + r, std::max(ay, by) + r,
      [=](float x, float y) { return SdSegment(x, y, ax, ay, bx, by, r); }, colour, alpha);
}

void AddGlow(Canvas* c, float cx, float cy, float radius, Rgb colour, float power) {
  int x0 = std::max(0, static_cast<int>(cx - radius)), x1 = std::min(c->width - 1, static_cast<int>(cx + radius) + 1);
  int y0 = std::max(0, static_cast<int>(cy - radius)), y1 = std::min(c->height - 1, static_cast<int>(cy + radius) + 1);
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) {
      float d = Hypot(x + 0.5f - cx, y + 0.5f - cy) / radius;
      if (d >= 1.0f) continue;
      float k = Pow(1.0f - d, power);
      Rgb& p = At(c, x, y);
      p = Add(p, Scale(colour, k));
    }
}

void BlurCanvas(Canvas* c, int radius, int passes) {
  std::vector<Rgb> tmp(c->px.size());
  float inv = 1.0f / (2 * radius + 1);
  for (int pass = 0; pass < passes; pass++) {
    for (int y = 0; y < c->height; y++)
      for (int x = 0; x < c->width; x++) {
        Rgb s{0, 0, 0};
        for (int k = -radius; k <= radius; k++) s = Add(s, At(c, std::clamp(x + k, 0, c->width - 1), y));
        tmp[static_cast<size_t>(y) * c->width + x] = Scale(s, inv);
      }
    for (int y = 0; y < c->height; y++)
      for (int x = 0; x < c->width; x++) {
        Rgb s{0, 0, 0};
        for (int k = -radius; k <= radius; k++)
          s = Add(s, tmp[static_cast<size_t>(std::clamp(y + k, 0, c->height - 1)) * c->width + x]);
        At(c, x, y) = Scale(s, inv);
      }
  }
}

void PreFilter(Canvas* c, int passes) {
  const int w = c->width, h = c->height;
  std::vector<Rgb> tmp(c->px.size());
  const float k[3] = {0.25f, 0.5f, 0.25f};
  for (int pass = 0; pass < passes; pass++) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        Rgb s{0, 0, 0};
        for (int d = -1; d <= 1; d++) s = Add(s, Scale(At(c, (x + d + w) % w, y), k[d + 1]));
        tmp[static_cast<size_t>(y) * w + x] = s;
      }
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        Rgb s{0, 0, 0};
        for (int d = -1; d <= 1; d++)
          s = Add(s, Scale(tmp[static_cast<size_t>((y + d + h) % h) * w + x], k[d + 1]));
        At(c, x, y) = s;
      }
  }
}

void BezierPoints(std::vector<Pt>* out, Pt a, Pt b, Pt c, int steps) {
  for (int i = 0; i <= steps; i++) {
    float t = static_cast<float>(i) / steps, u = 1.0f - t;
    out->push_back({u * u * a.x + 2 * u * t * b.x + t * t * c.x,
                    u * u * a.y + 2 * u * t * b.y + t * t * c.y});
  }
}

float Hash01(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^
               seed * 0xCB1AB31Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

float ValueNoise(float x, float y, uint32_t seed, int period) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3.0f - 2.0f * tx);
  ty = ty * ty * (3.0f - 2.0f * ty);
  auto wrap = [period](int v) {
    if (period <= 0) return v;
    v %= period;
    return v < 0 ? v + period : v;
  };
  int x0 = wrap(ix), x1 = wrap(ix + 1), y0 = wrap(iy), y1 = wrap(iy + 1);
  float a = Hash01(x0, y0, seed), b = Hash01(x1, y0, seed);
  float c = Hash01(x0, y1, seed), d = Hash01(x1, y1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, uint32_t seed, int octaves, int period) {
  float sum = 0.0f, amp = 0.5f, norm = 0.0f;
  for (int o = 0; o < octaves; o++) {
    sum += amp * ValueNoise(x, y, seed + static_cast<uint32_t>(o) * 131u, period);
    norm += amp;
    x *= 2.0f;
    y *= 2.0f;
    if (period > 0) period *= 2;
    amp *= 0.5f;
  }
  return sum / norm;
}

Mask MakeMask(int width, int height) {
  return Mask{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, 0)};
}
