// Inside the asset generator: random numbers, a float colour canvas with
// signed-distance painting, tileable noise, the bitmap font, the file output
// and the groups of assets. Everything is deterministic: no clock, no
// addresses, one seeded generator per asset.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// ---- math with the same bits on every machine (float in, float out) ----
float Sin(float x);
float Cos(float x);
float Exp(float x);
float Pow(float x, float y);  // x > 0; otherwise 0
float Atan2(float y, float x);
float Hypot(float x, float y);

// ---- random numbers (splitmix64) ----
struct Rng {
  uint64_t state;
};
Rng MakeRng(uint64_t seed);
uint32_t RngNext(Rng* rng);
float RngUnit(Rng* rng);  // [0, 1)
float RngRange(Rng* rng, float lo, float hi);
int RngInt(Rng* rng, int n);  // 0 .. n-1

// ---- colours and canvas ----
struct Rgb {
  float r, g, b;  // 0..255
};
inline Rgb Hex(uint32_t c) {
  return {static_cast<float>((c >> 16) & 255), static_cast<float>((c >> 8) & 255),
          static_cast<float>(c & 255)};
}
inline Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Rgb Scale(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
inline Rgb Add(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb Mul(Rgb a, Rgb b) { return {a.r * b.r / 255.0f, a.g * b.g / 255.0f, a.b * b.b / 255.0f}; }
inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
inline float Smooth(float e0, float e1, float v) {
  float t = Clamp01((v - e0) / (e1 - e0));
  return t * t * (3.0f - 2.0f * t);
}
inline float Fract(float v) { return v - std::floor(v); }

struct Canvas {
  int width;
  int height;
  std::vector<Rgb> px;
};
Canvas MakeCanvas(int width, int height, Rgb fill);
inline Rgb& At(Canvas* c, int x, int y) { return c->px[static_cast<size_t>(y) * c->width + x]; }
void BlendPixel(Canvas* c, int x, int y, Rgb colour, float alpha);
// Rounded and clamped to 0x00RRGGBB.
std::vector<uint32_t> CanvasPixels(const Canvas& c);
uint32_t PackRgb(Rgb c);

// Fills every pixel from a shader f(x, y) taking pixel centres.
template <class F>
void Shade(Canvas* c, F f) {
  for (int y = 0; y < c->height; y++)
    for (int x = 0; x < c->width; x++) At(c, x, y) = f(x + 0.5f, y + 0.5f);
}

// Paints where a signed distance (pixels, negative inside) is below zero,
// with a soft edge of feather pixels; colour(x, y) gives the paint.
template <class Sdf, class Col>
void PaintShape(Canvas* c, float x0, float y0, float x1, float y1, Sdf sdf, Col colour,
                float alpha = 1.0f, float feather = 1.0f) {
  int ix0 = std::max(0, static_cast<int>(std::floor(x0 - feather - 1)));
  int iy0 = std::max(0, static_cast<int>(std::floor(y0 - feather - 1)));
  int ix1 = std::min(c->width - 1, static_cast<int>(std::ceil(x1 + feather + 1)));
  int iy1 = std::min(c->height - 1, static_cast<int>(std::ceil(y1 + feather + 1)));
  for (int y = iy0; y <= iy1; y++)
    for (int x = ix0; x <= ix1; x++) {
      float px = x + 0.5f, py = y + 0.5f;
      float cover = Clamp01(0.5f - sdf(px, py) / feather);
      if (cover > 0.0f) BlendPixel(c, x, y, colour(px, py), cover * alpha);
    }
}
template <class Sdf>
void PaintSolid(Canvas* c, float x0, float y0, float x1, float y1, Sdf sdf, Rgb colour,
                float alpha = 1.0f, float feather = 1.0f) {
  PaintShape(c, x0, y0, x1, y1, sdf, [colour](float, float) { return colour; }, alpha, feather);
}

// Signed distances.
float SdCircle(float px, float py, float cx, float cy, float r);
float SdEllipse(float px, float py, float cx, float cy, float rx, float ry, float angle);
float SdSegment(float px, float py, float ax, float ay, float bx, float by, float radius);
float SdBox(float px, float py, float cx, float cy, float hx, float hy, float round);
struct Pt {
  float x, y;
};
float SdPolygon(const std::vector<Pt>& poly, float px, float py);

void FillEllipse(Canvas* c, float cx, float cy, float rx, float ry, float angle, Rgb colour,
                 float alpha = 1.0f, float feather = 1.0f);
void FillPolygon(Canvas* c, const std::vector<Pt>& poly, Rgb colour, float alpha = 1.0f,
                 float feather = 1.0f);
void StrokeSegment(Canvas* c, float ax, float ay, float bx, float by, float width, Rgb colour,
                   float alpha = 1.0f);
// Adds a radial glow: colour x falloff^power out to radius.
void AddGlow(Canvas* c, float cx, float cy, float radius, Rgb colour, float power);
// Box blur of the given radius, repeated passes (a cheap Gaussian).
void BlurCanvas(Canvas* c, int radius, int passes);
// Passes of a 1-2-1 blur that wraps round the edges, so a tiling texture
// stays seamless: takes out detail finer than about two texels.
void PreFilter(Canvas* c, int passes);
// Quadratic Bezier sampled into points.
void BezierPoints(std::vector<Pt>* out, Pt a, Pt b, Pt c, int steps);

// ---- noise: value noise on an integer lattice, tileable when period > 0 ----
float Hash01(int x, int y, uint32_t seed);
float ValueNoise(float x, float y, uint32_t seed, int period);
float Fbm(float x, float y, uint32_t seed, int octaves, int period);

// ---- bitmap font ----
inline constexpr int kGlyphColumns = 5;
inline constexpr int kGlyphRows = 9;
inline constexpr int kGlyphAdvance = 6;
struct Mask {
  int width;
  int height;
  std::vector<uint8_t> bits;
};
Mask MakeMask(int width, int height);
int TextWidth(const char* text, int scale);
// Returns the number of characters (other than spaces) the font has no glyph
// for; FontMissingGlyphs counts them over the whole run.
int TextMask(Mask* mask, const char* text, int x0, int y0, int scale);
int FontMissingGlyphs();
// Text with a vertical gradient fill, a hard outline and a drop shadow, no
// soft edges, so a keyed picture keeps its key colour clean around it.
struct TextStyle {
  Rgb top;
  Rgb bottom;
  Rgb outline;
  int outlineWidth;  // 0: none
  Rgb shadow;
  int shadowOffset;  // 0: none
};
void DrawText(Canvas* c, const char* text, int x, int y, int scale, const TextStyle& style);
void DrawTextCentred(Canvas* c, const char* text, int y, int scale, const TextStyle& style);

// ---- output ----
struct AssetOutput {
  std::string dir;
  int written;
  int failed;
  std::string message;  // first failure
};
// Turns "gfx\\x.pcx" into dir/gfx/x.pcx, creating the directory.
std::string OutputPath(AssetOutput* out, const char* name);
void OutputBytes(AssetOutput* out, const char* name, const std::vector<uint8_t>& bytes);
void OutputJpeg(AssetOutput* out, const char* name, const Canvas& c, int quality);
void OutputPcx(AssetOutput* out, const char* name, const Canvas& c);
void OutputTga(AssetOutput* out, const char* name, const Canvas& c, int runLength);
std::vector<uint8_t> EncodeJpeg(int width, int height, const uint32_t* pixels, int quality);

// ---- the groups of assets ----
void GenerateTitles(AssetOutput* out);
void GeneratePictures(AssetOutput* out);
void GenerateFaces(AssetOutput* out);
void GenerateTextures(AssetOutput* out);
void GenerateCityMaps(AssetOutput* out);
void GenerateFlares(AssetOutput* out);
void GenerateMorphGrid(AssetOutput* out);
void GenerateSoundtrack(AssetOutput* out);

// For the tests: the flare sprite bytes and the morph grid the files hold.
std::vector<uint8_t> FlareSpriteBytes(int index, int width, int height);
struct MorphGrid;
void PortraitGrid(MorphGrid* grid);
// The soundtrack as interleaved stereo 16-bit samples at 44100 Hz, and its
// encoding.
std::vector<int16_t> SynthesiseSoundtrack();
std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& pcm);
