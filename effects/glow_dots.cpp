#include "effects/glow_dots.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "display/toolkit.h"
#include "effects/effects.h"
#include "effects/flares.h"
#include "effects/frames.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "image/asset_names.h"
#include "image/picture.h"

Vec3 DotShapes[kDotShapes][kDotsPerShape];
int32_t DotColours[kDotSlots];
uint32_t GlowTextures[kGlowTextures][kGlowTextureSize * kGlowTextureSize];
uint32_t DotsOverlay[320 * 240];
DotBuffer Dots;

namespace {

uint32_t randomState = 1;

// Morph segments: from shape to shape as the phase runs from start to the
// next start.
struct DotSegment {
  float start;
  int from;
  int to;
};
const DotSegment kSegments[8] = {
    {0.0f, 0, 1},   {128.0f, 1, 2}, {256.0f, 2, 5}, {384.0f, 5, 3},
    {512.0f, 3, 6}, {640.0f, 6, 4}, {768.0f, 4, 7}, {896.0f, 7, 0},
};

void RandomCube(Vec3* points, float size) {
  for (int i = 0; i < kDotsPerShape; ++i) {
    points[i].x = (static_cast<float>(DotRandom()) / 32767.0f - 0.5f) * size;
    points[i].y = (static_cast<float>(DotRandom()) / 32767.0f - 0.5f) * size;
    points[i].z = (static_cast<float>(DotRandom()) / 32767.0f - 0.5f) * size;
  }
}

float Angle(int i) { return 2.0f * kPi * static_cast<float>(i) / 220.0f; }
float HalfAngle(int i) { return kPi * static_cast<float>(i) / 220.0f; }

void TorusKnot(Vec3* points, float p, float q) {
  for (int i = 0; i < kDotsPerShape; ++i) {
    const float a = Angle(i);
    const float rho = 1.0f + 0.5f * std::cos(q * a);
    points[i] = {100.0f * (rho * std::cos(p * a)), 100.0f * (rho * std::sin(p * a)),
                 100.0f * (0.5f * std::sin(q * a))};
  }
}

void CurveTrefoil(Vec3* points) {
  for (int i = 0; i < kDotsPerShape; ++i) {
    const float a = Angle(i);
    points[i] = {50.0f * (-(4.0f / 3.0f) * std::cos(a) + 2.0f * std::cos(3.0f * a)),
                 50.0f * ((4.0f / 3.0f) * std::sin(a) + 2.0f * std::sin(3.0f * a)),
                 50.0f * (0.5f * std::sin(2.0f * a) + std::sin(4.0f * a))};
  }
}

// A curve wound over a sphere: winding turns it about the vertical axis,
// phi the latitude and rho the radius at each point.
void WoundSphere(Vec3* points, float scale, float winding, float latitude, float latitudeWaves,
                 float radius, float radiusOffset, float radiusPhase) {
  for (int i = 0; i < kDotsPerShape; ++i) {
    const float c = HalfAngle(i);
    const float phi = latitude * kPi * std::sin(latitudeWaves * c);
    const float rho = radius * std::sin(6.0f * c + radiusPhase) + radiusOffset;
    points[i] = {scale * (rho * std::cos(phi) * std::cos(winding * c)),
                 scale * (rho * std::cos(phi) * std::sin(winding * c)),
                 scale * (rho * std::sin(phi))};
  }
}

void CurveFlower(Vec3* points) {
  for (int i = 0; i < kDotsPerShape; ++i) {
    const float a = Angle(i);
    points[i] = {10.0f * (10.0f * (std::cos(3.0f * a) + std::cos(a)) + std::cos(2.0f * a) +
                          std::cos(4.0f * a)),
                 10.0f * (10.0f * std::sin(3.0f * a) + 6.0f * std::sin(a)),
                 10.0f * (4.0f * std::sin(3.0f * a) * std::sin(2.5f * a) +
                          4.0f * std::sin(4.0f * a) - 2.0f * std::sin(6.0f * a))};
  }
}

// Float compared on its bit pattern: negative depths count as near.
inline bool AtLeastTwo(float z) {
  int32_t bits;
  std::memcpy(&bits, &z, 4);
  return bits >= 0x40000000;  // 2.0f
}

Pulse* beatTrack = nullptr;
bool beatFirstCall = true;

}  // namespace

int DotRandom() {
  randomState = randomState * 1103515245u + 12345u;
  return static_cast<int>((randomState >> 16) & 0x7FFF);
}

void DotRandomSeed(uint32_t seed) { randomState = seed; }

void BuildGlowTexture(uint32_t* pixels, int w, int h, float r, float g, float b) {
  for (int i = 0; i < h / 2; ++i)
    for (int j = 0; j < w / 2; ++j) {
      const int dx = w / 2 - j;
      const int dy = h / 2 - i;
      int level = 128 - static_cast<int>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
      if (level < 0) level = 0;
      if (level > 127) level = 127;
      const float lf = static_cast<float>(level);
      const uint32_t pixel = (static_cast<uint32_t>(lf * r) << 16) +
                             (static_cast<uint32_t>(lf * g) << 8) + static_cast<uint32_t>(lf * b);
      pixels[i * w + j] = pixel;
      pixels[i * w + (w - 1 - j)] = pixel;
      pixels[(h - 1 - i) * w + (w - 1 - j)] = pixel;
      pixels[(h - 1 - i) * w + j] = pixel;
    }
}

void DotsBuildTables() {
  static const float kGlowColours[kGlowTextures][3] = {
      {1.0f, 1.0f, 1.0f}, {0.8f, 0.3f, 0.2f}, {0.9f, 0.8f, 0.0f}, {0.0f, 0.2f, 0.8f}};
  for (int k = 0; k < kGlowTextures; ++k)
    BuildGlowTexture(GlowTextures[k], kGlowTextureSize, kGlowTextureSize, kGlowColours[k][0],
                     kGlowColours[k][1], kGlowColours[k][2]);
  DotRandomSeed(1);
  for (int32_t& colour : DotColours) colour = DotRandom() % 4;
  RandomCube(DotShapes[0], 300.0f);
  TorusKnot(DotShapes[1], 9.0f, 3.0f);
  CurveTrefoil(DotShapes[2]);
  WoundSphere(DotShapes[3], 200.0f, 4.0f, 0.2f, 6.0f, 0.72f, 0.0f, kPi / 2.0f);
  WoundSphere(DotShapes[4], 50.0f, 2.0f, 0.6f, 12.0f, 1.6f, 0.8f, 0.0f);
  RandomCube(DotShapes[5], 50.0f);
  TorusKnot(DotShapes[6], 2.0f, 7.0f);
  CurveFlower(DotShapes[7]);
}

void DotsSetup() {
  DotsBuildTables();
  LoadPictureInto(kGfxSprite.name, GlowTextures[0], int64_t{kGlowTextureSize} * kGlowTextureSize);
  LoadPictureInto(kGfxOverlay.name, DotsOverlay, kFramePixels);
}

void PlaceDots(float a, float b, float c, float x, float y, float z, float phase) {
  Mat4 m;
  MatRotationEuler(&m, a, b, c);
  m.m[12] = x;
  m.m[13] = y;
  m.m[14] = z;
  Dots.count = 0;
  for (int k = 0; k < kDotTrail; ++k) {
    const float cycle = std::fmod(phase, kDotCycle);
    // Below the first start (a negative remainder) the first segment is
    // extended backwards; NaN lands in the last.
    int s = 7;
    for (int i = 0; i < 7; ++i)
      if (cycle < kSegments[i + 1].start) {
        s = i;
        break;
      }
    const float u = std::sin((cycle - kSegments[s].start) * kPi / 256.0f);
    const Vec3* from = DotShapes[kSegments[s].from];
    const Vec3* to = DotShapes[kSegments[s].to];
    for (int i = 0; i < kDotsPerShape; ++i) {
      Vec3& d = Dots.points[Dots.count++];
      d.x = from[i].x + u * (to[i].x - from[i].x);
      d.y = from[i].y + u * (to[i].y - from[i].y);
      d.z = from[i].z + u * (to[i].z - from[i].z);
    }
    phase += 10.0f;
  }
  MatTransformPoints(Dots.points, Dots.points, Dots.count, m);
  for (int i = 0; i < Dots.count; ++i) {
    Vec3& d = Dots.points[i];
    if (!AtLeastTwo(d.z)) continue;
    d.x = (116.0f / d.z) * d.x;
    d.y = (87.0f / d.z) * d.y;
  }
}

void DrawDots(uint32_t* target, float a, float b, float c, float x, float y, float z, float phase) {
  SpriteTextureWidth = kGlowTextureSize;
  SpriteTextureHeight = kGlowTextureSize;
  PlaceDots(a, b, c, x, y, z, phase);
  static std::vector<SpriteDraw> sprites;
  sprites.clear();
  for (int k = 0; k < Dots.count; ++k) {
    const Vec3& d = Dots.points[k];
    if (!AtLeastTwo(d.z)) continue;
    const float size = 15.0f * 116.0f / d.z;
    sprites.push_back({d.x + 160.0f, d.y + 120.0f, size, size, GlowTextures[DotColours[k]]});
  }
  DrawSprites(sprites.data(), static_cast<int>(sprites.size()), target);
}

void DotsBeatResetFirstCall() { beatFirstCall = true; }

// The colour map through the lens tables, multiplied by the overlay; over
// it the small cube turning into the wound sphere, low in the frame, with a
// radial blur whose weights swing with time (calmer in the first half).
KV_EFFECT(DotsOverTextureEffect) {
  (void)start;
  (void)end;
  if (param != 0) return 0;
  if (const uint32_t* cmap = Texture256(kTexSlotCmap1)) {
    LensTableWarp(pixels, cmap, t, 1);
    TableCombine(pixels, pixels, DotsOverlay, kFramePixels);
  }
  uint32_t* dots = ScratchFrame[1];
  FillPixels(dots, 0, kFrameBytes);
  DrawDots(dots, t * 0.5f, 0.0f, t, 0.0f, 125.0f, 200.0f, 384.0f);
  float v = 0.3f + 0.3f * std::cos(5.0f * t);
  if (progress < 0.5f) v *= 2.0f * progress;
  RadialBlur(dots, 160.0f, 175.0f, 0.16f, 0.95f - v, v + 0.35f);
  SaturatingAdd(pixels, pixels, dots, kFramePixels);
  return 0;
}

// The cloud running through two and a half morph cycles over the row,
// streaked by a radial blur that jumps on every beat, softened and added.
KV_EFFECT(DotsBeatEffect) {
  (void)end;
  (void)param;
  if (beatFirstCall) {
    beatTrack = PulseTrackCreate(20, 0.8f, 0.05f, 0.5f, 0.06f, 0.0f);
    beatFirstCall = false;
  }
  const float pulse = beatTrack ? PulseTrackValue(beatTrack, 20, t, start) : 0.0f;
  uint32_t* dots = ScratchFrame[0];
  FillPixels(dots, 0, kFrameBytes);
  DrawDots(dots, t * 0.5f, progress * 5.0f, t, 0.0f, 0.0f, 160.0f, progress * 2500.0f + 384.0f);
  RadialBlur(dots, 160.0f, 120.0f, 0.031f + pulse, 0.45f, 0.85f);
  Soften(dots, dots);
  SaturatingAdd(pixels, pixels, dots, kFramePixels);
  return 0;
}
