#include "effects/flares.h"

#include <emmintrin.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/scene_effects.h"
#include "engine/animation.h"
#include "engine/render_pipeline.h"
#include "image/asset_names.h"
#include "image/picture.h"
#include "platform/system.h"
#include "raster/raster_batch.h"
#include "show/fade.h"

FlareSprite FlareSprites[kFlareSpriteCount] = {
    {"flares\\lenz1.raw", 40, 40, 40.0f, -2.0f, nullptr},
    {"flares\\lenz2.raw", 9, 10, 10.0f, -1.3f, nullptr},
    {"flares\\lenz3.raw", 8, 10, 9.0f, -1.0f, nullptr},
    {"flares\\lenz4.raw", 6, 6, 6.0f, -0.4f, nullptr},
    {"flares\\lenz5.raw", 18, 18, 18.0f, 0.1f, nullptr},
    {"flares\\lenz6.raw", 7, 7, 7.0f, 0.3f, nullptr},
    {"flares\\lenz7.raw", 6, 7, 7.0f, 0.6f, nullptr},
    {"flares\\lenz8.raw", 11, 11, 11.0f, 0.8f, nullptr},
    {"flares\\lenz9.raw", 7, 7, 7.0f, 0.9f, nullptr},
};

uint32_t FlareGlow[kFlareGlowSize * kFlareGlowSize];

int32_t SpriteTextureWidth = 256;
int32_t SpriteTextureHeight = 256;

namespace {

// Where a sprite lands and how its texture is stepped, once clipped.
struct SpriteSpan {
  int x0, y0, columns, rows;
  int32_t u0, du;  // 16.16, per pixel
  int32_t v0, dv;  // 16.16, per row
  int tw;
};

// Shortens count so that start + (count - 1) x step, in 16.16, stays below
// limit texels: float rounding at the far edge must never reach past the
// texture. 0 when even the first texel is outside.
int64_t KeepInside(int64_t count, int64_t start, int64_t step, int limit) {
  const int64_t end = int64_t{limit} << 16;
  if (start < 0 || start >= end) return 0;
  if (step > 0) count = std::min(count, (end - 1 - start) / step + 1);
  return count;
}

// The sprite's box: first column and row at the ceiling of its top-left
// corner, as many columns and rows as its size truncated. Cut on the left
// and top by moving the texture start, and at column 318 and row 238 on the
// right and bottom. 0 when nothing is left to draw.
int SpriteSetup(float cx, float cy, float w, float h, SpriteSpan* s) {
  const int tw = SpriteTextureWidth;
  const int th = SpriteTextureHeight;
  if (tw <= 0 || th <= 0 || tw > 4096 || th > 4096) return 0;
  // Also refuses NaN; sizes below one pixel draw no column.
  if (!(w >= 1.0f && h >= 1.0f && w < 1e15f && h < 1e15f)) return 0;
  const float left = cx - 0.5f * w;
  const float top = cy - 0.5f * h;
  if (!(std::fabs(left) < 1e15f && std::fabs(top) < 1e15f)) return 0;

  int64_t x0 = static_cast<int64_t>(std::ceil(left));
  int64_t y0 = static_cast<int64_t>(std::ceil(top));
  int64_t columns = static_cast<int64_t>(w);
  int64_t rows = static_cast<int64_t>(h);
  const float su = static_cast<float>(tw) / w;
  const float sv = static_cast<float>(th) / h;
  float u0 = su * (static_cast<float>(x0) - left);
  float v0 = sv * (static_cast<float>(y0) - top);
  if (y0 < 0) {
    v0 += sv * static_cast<float>(-y0);
    rows += y0;
    y0 = 0;
  }
  if (x0 < 0) {
    u0 += su * static_cast<float>(-x0);
    columns += x0;
    x0 = 0;
  }
  if (columns <= 0 || rows <= 0) return 0;
  columns = std::min<int64_t>(columns, kFrameWidth - 1 - x0);
  rows = std::min<int64_t>(rows, kFrameHeight - 1 - y0);
  if (columns <= 0 || rows <= 0) return 0;

  // Clipped starts are at most about one texture across and steps at most
  // one texture per pixel, so with textures of up to 4096 texels the 16.16
  // values stay inside int32.
  if (!(u0 < 30000.0f && v0 < 30000.0f)) return 0;
  s->u0 = static_cast<int32_t>(65536.0f * u0);
  s->v0 = static_cast<int32_t>(65536.0f * v0);
  s->du = static_cast<int32_t>(65536.0f * su);
  s->dv = static_cast<int32_t>(65536.0f * sv);
  columns = KeepInside(columns, s->u0, s->du, tw);
  rows = KeepInside(rows, s->v0, s->dv, th);
  if (columns <= 0 || rows <= 0) return 0;
  s->x0 = static_cast<int>(x0);
  s->y0 = static_cast<int>(y0);
  s->columns = static_cast<int>(columns);
  s->rows = static_cast<int>(rows);
  s->tw = tw;
  return 1;
}

// Colour weight to a row of the multiply table: 255 x weight truncated,
// held to the table.
int WeightLevel(float weight) {
  if (!(weight > 0.0f)) return 0;
  if (weight >= 1.0f) return 255;
  return static_cast<int>(255.0f * weight);
}

inline uint32_t AddPixel(uint32_t dst, uint32_t texel) {
  uint32_t out = dst & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t sum = ((dst >> shift) & 0xFF) + ((texel >> shift) & 0xFF);
    out |= std::min(sum, 255u) << shift;
  }
  return out;
}

inline uint32_t AddTintedPixel(uint32_t dst, uint32_t texel, const int32_t* rowB,
                               const int32_t* rowG, const int32_t* rowR) {
  const uint32_t b = std::min<uint32_t>(255, (dst & 0xFF) + rowB[texel & 0xFF]);
  const uint32_t g = std::min<uint32_t>(255, ((dst >> 8) & 0xFF) + rowG[(texel >> 8) & 0xFF]);
  const uint32_t r = std::min<uint32_t>(255, ((dst >> 16) & 0xFF) + rowR[(texel >> 16) & 0xFF]);
  return (dst & 0xFF000000u) | (r << 16) | (g << 8) | b;
}

// Four texels along a row, from u onwards; u advances past them.
inline __m128i GatherTexels(const uint32_t* row, int32_t* u, int32_t du) {
  const uint32_t t0 = row[*u >> 16];
  const uint32_t t1 = row[(*u + du) >> 16];
  const uint32_t t2 = row[(*u + 2 * du) >> 16];
  const uint32_t t3 = row[(*u + 3 * du) >> 16];
  *u += 4 * du;
  return _mm_set_epi32(static_cast<int>(t3), static_cast<int>(t2), static_cast<int>(t1),
                       static_cast<int>(t0));
}

// Rows first .. end - 1 of the frame, within the sprite's rows.
void SpriteRowsPlain(const SpriteSpan& s, uint32_t* target, const uint32_t* texture, int first,
                     int end) {
  int32_t v = s.v0 + (first - s.y0) * s.dv;
  for (int y = first; y < end; ++y, v += s.dv) {
    const uint32_t* row = texture + (v >> 16) * s.tw;
    uint32_t* out = target + y * kFrameWidth + s.x0;
    int32_t u = s.u0;
    for (int x = 0; x < s.columns; ++x, u += s.du) out[x] = AddPixel(out[x], row[u >> 16]);
  }
}

// Four pixels at a time: the texels' top bytes are masked off, so the
// target's top byte comes through a saturating add of zero, as in the plain
// loop.
void SpriteRowsSimd(const SpriteSpan& s, uint32_t* target, const uint32_t* texture, int first,
                    int end) {
  const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
  int32_t v = s.v0 + (first - s.y0) * s.dv;
  for (int y = first; y < end; ++y, v += s.dv) {
    const uint32_t* row = texture + (v >> 16) * s.tw;
    uint32_t* out = target + y * kFrameWidth + s.x0;
    int32_t u = s.u0;
    int x = 0;
    for (; x + 4 <= s.columns; x += 4) {
      const __m128i texels = _mm_and_si128(GatherTexels(row, &u, s.du), colourMask);
      __m128i* p = reinterpret_cast<__m128i*>(out + x);
      _mm_storeu_si128(p, _mm_adds_epu8(_mm_loadu_si128(p), texels));
    }
    for (; x < s.columns; ++x, u += s.du) out[x] = AddPixel(out[x], row[u >> 16]);
  }
}

}  // namespace

void DrawSpritePlain(float cx, float cy, float w, float h, uint32_t* target,
                     const uint32_t* texture) {
  SpriteSpan s;
  if (SpriteSetup(cx, cy, w, h, &s)) SpriteRowsPlain(s, target, texture, s.y0, s.y0 + s.rows);
}

void DrawSpriteSimd(float cx, float cy, float w, float h, uint32_t* target,
                    const uint32_t* texture) {
  SpriteSpan s;
  if (SpriteSetup(cx, cy, w, h, &s)) SpriteRowsSimd(s, target, texture, s.y0, s.y0 + s.rows);
}

void DrawSprites(const SpriteDraw* sprites, int count, uint32_t* target) {
  // Set up once; then each piece of the frame's rows draws every sprite's
  // rows within it, in the sprites' order.
  static std::vector<std::pair<SpriteSpan, const uint32_t*>> spans;
  spans.clear();
  for (int i = 0; i < count; ++i) {
    const SpriteDraw& d = sprites[i];
    SpriteSpan s;
    if (SpriteSetup(d.cx, d.cy, d.w, d.h, &s)) spans.emplace_back(s, d.texture);
  }
  const bool simd = HasMmx();
  constexpr int kRowPiece = 16;
  ShareRows(kFrameHeight, kRowPiece, [&](int first, int end) {
    for (const auto& [s, texture] : spans) {
      const int from = std::max(first, s.y0), to = std::min(end, s.y0 + s.rows);
      if (from >= to) continue;
      if (simd)
        SpriteRowsSimd(s, target, texture, from, to);
      else
        SpriteRowsPlain(s, target, texture, from, to);
    }
  });
}

void DrawTintedSpritePlain(float cx, float cy, float w, float h, uint32_t* target,
                           const uint32_t* texture, float r, float g, float b) {
  SpriteSpan s;
  if (!SpriteSetup(cx, cy, w, h, &s)) return;
  const int32_t* rowR = MultiplyTable + WeightLevel(r) * 256;
  const int32_t* rowG = MultiplyTable + WeightLevel(g) * 256;
  const int32_t* rowB = MultiplyTable + WeightLevel(b) * 256;
  int32_t v = s.v0;
  for (int y = 0; y < s.rows; ++y, v += s.dv) {
    const uint32_t* row = texture + (v >> 16) * s.tw;
    uint32_t* out = target + (s.y0 + y) * kFrameWidth + s.x0;
    int32_t u = s.u0;
    for (int x = 0; x < s.columns; ++x, u += s.du)
      out[x] = AddTintedPixel(out[x], row[u >> 16], rowB, rowG, rowR);
  }
}

// The multiply table's (level x c) >> 8 computed in 16-bit lanes; the top
// byte's weight is 0, so the target's top byte is kept as in the plain loop.
void DrawTintedSpriteSimd(float cx, float cy, float w, float h, uint32_t* target,
                          const uint32_t* texture, float r, float g, float b) {
  SpriteSpan s;
  if (!SpriteSetup(cx, cy, w, h, &s)) return;
  const int32_t* rowR = MultiplyTable + WeightLevel(r) * 256;
  const int32_t* rowG = MultiplyTable + WeightLevel(g) * 256;
  const int32_t* rowB = MultiplyTable + WeightLevel(b) * 256;
  const short wr = static_cast<short>(WeightLevel(r));
  const short wg = static_cast<short>(WeightLevel(g));
  const short wb = static_cast<short>(WeightLevel(b));
  const __m128i weights = _mm_set_epi16(0, wr, wg, wb, 0, wr, wg, wb);
  const __m128i zero = _mm_setzero_si128();
  int32_t v = s.v0;
  for (int y = 0; y < s.rows; ++y, v += s.dv) {
    const uint32_t* row = texture + (v >> 16) * s.tw;
    uint32_t* out = target + (s.y0 + y) * kFrameWidth + s.x0;
    int32_t u = s.u0;
    int x = 0;
    for (; x + 4 <= s.columns; x += 4) {
      const __m128i texels = GatherTexels(row, &u, s.du);
      const __m128i lo =
          _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(texels, zero), weights), 8);
      const __m128i hi =
          _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(texels, zero), weights), 8);
      __m128i* p = reinterpret_cast<__m128i*>(out + x);
      _mm_storeu_si128(p, _mm_adds_epu8(_mm_loadu_si128(p), _mm_packus_epi16(lo, hi)));
    }
    for (; x < s.columns; ++x, u += s.du)
      out[x] = AddTintedPixel(out[x], row[u >> 16], rowB, rowG, rowR);
  }
}

void DrawSprite(float cx, float cy, float w, float h, uint32_t* target, const uint32_t* texture) {
  if (HasMmx())
    DrawSpriteSimd(cx, cy, w, h, target, texture);
  else
    DrawSpritePlain(cx, cy, w, h, target, texture);
}

void DrawTintedSprite(float cx, float cy, float w, float h, uint32_t* target,
                      const uint32_t* texture, float r, float g, float b) {
  if (HasMmx())
    DrawTintedSpriteSimd(cx, cy, w, h, target, texture, r, g, b);
  else
    DrawTintedSpritePlain(cx, cy, w, h, target, texture, r, g, b);
}

int FlareSpriteParse(const uint8_t* data, size_t size, const char* name, int width, int height,
                     uint32_t* pixels, std::string* message) {
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    *message = std::string("flare sprite ") + name + " has no usable size\n";
    return 0;
  }
  const size_t expected = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  if (size != expected) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "flare sprite %s is %s %zu bytes long, expected %zu (%d x %d RGB)\n", name,
                  size > expected ? "at least" : "only", size, expected, width, height);
    *message = line;
    return 0;
  }
  for (size_t i = 0; i < expected / 3; ++i) {
    const uint8_t* p = data + 3 * i;
    pixels[i] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[2]};
  }
  message->clear();
  return 1;
}

int LoadFlareSprites() {
  std::vector<uint8_t> bytes;
  for (FlareSprite& sprite : FlareSprites) {
    const size_t count = static_cast<size_t>(sprite.width) * static_cast<size_t>(sprite.height);
    // Zeroed, so a sprite whose file is missing adds nothing when drawn.
    if (!sprite.pixels) sprite.pixels = static_cast<uint32_t*>(std::calloc(count, 4));
    if (!sprite.pixels) return 0;
    FILE* file = PlatformOpenAsset(sprite.fileName, "rb");
    if (!file) {
      std::printf("flare sprite %s not found, drawn black\n", sprite.fileName);
      std::memset(sprite.pixels, 0, count * 4);
      continue;
    }
    // One byte more than the sprite needs tells a long file from a right one.
    bytes.resize(count * 3 + 1);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    std::string message;
    if (!FlareSpriteParse(bytes.data(), got, sprite.fileName, sprite.width, sprite.height,
                          sprite.pixels, &message)) {
      std::fputs(message.c_str(), stdout);
      std::fflush(stdout);
      std::exit(1);
    }
  }
  return 1;
}

int LoadFlares() {
  LoadPictureInto(kTexLight.name, FlareGlow, int64_t{kFlareGlowSize} * kFlareGlowSize);
  return LoadFlareSprites();
}

namespace {

// Float compared on its bit pattern as a signed integer: every negative
// value, -0 included, counts as below any positive limit.
inline bool BitsBelow(float value, float limit) {
  int32_t a, b;
  std::memcpy(&a, &value, 4);
  std::memcpy(&b, &limit, 4);
  return a < b;
}

}  // namespace

void DrawFlare(uint32_t* frame, FlareState* state, const FlareView& view, float time, int ghosts) {
  const Light* light = state->light;
  if (!light) return;
  Vec3 p;
  MatTransformPoint(light->position, view.view, &p);
  // Behind the camera: the state waits untouched for the light to return.
  if (p.z <= 0.0f) return;

  const float inv = 1.0f / p.z;
  const float sx = p.x * view.scaleX * inv;
  const float sy = p.y * view.scaleY * inv;
  const int halfWidth = view.width / 2;
  const int halfHeight = view.height / 2;
  int visible = !(sx < static_cast<float>(-halfWidth) || sx > static_cast<float>(halfWidth) ||
                  sy < static_cast<float>(-halfHeight) || sy > static_cast<float>(halfHeight));

  // Hidden behind whatever the scene drew nearer at that pixel. Tested only
  // where the position itself lies in the view: half a pixel left of or
  // above the edge is outside, although it would truncate to column or row 0.
  const float px = view.centreX + sx;
  const float py = view.centreY - sy;
  if (view.depthBuffer && px >= 0.0f && py >= 0.0f && px < static_cast<float>(view.width) &&
      py < static_cast<float>(view.height)) {
    const int column = static_cast<int>(px);
    const int row = static_cast<int>(py);
    const float d = 1000000000.0f * inv;
    const int32_t depth = d >= 2147483648.0f ? INT32_MAX : static_cast<int32_t>(d);
    if (depth < view.depthBuffer[row * view.pitchPixels + column]) visible = 0;
  }

  // A change of visibility only flips the flag; the glow grows or shrinks
  // on the frames after it, by 13 maxima a second.
  const float step = (time - state->lastTime) * state->maximum * 13.0f;
  if (!state->visible && visible)
    state->visible = 1;
  else if (state->visible && !visible)
    state->visible = 0;
  else if (visible)
    state->intensity += step;
  else
    state->intensity -= step;
  state->lastTime = time;
  if (state->intensity > state->maximum) state->intensity = state->maximum;

  if (BitsBelow(state->intensity, 1.0f)) {
    state->intensity = 1.0f;
    return;
  }

  const int32_t savedWidth = SpriteTextureWidth;
  const int32_t savedHeight = SpriteTextureHeight;
  SpriteTextureWidth = kFlareGlowSize;
  SpriteTextureHeight = kFlareGlowSize;
  const float r = light->colour.x;
  const float g = light->colour.y;
  const float b = light->colour.z;
  const float glow = state->intensity * view.scaleX * inv;
  DrawTintedSprite(px, py, glow, glow, frame, FlareGlow, r, g, b);

  if (ghosts) {
    // Ghosts keep their size whatever the distance: only the glow's level
    // scales them.
    for (const FlareSprite& sprite : FlareSprites) {
      if (!sprite.pixels) continue;
      SpriteTextureWidth = sprite.width;
      SpriteTextureHeight = sprite.height;
      const float size = sprite.drawSize * state->intensity / state->maximum;
      DrawTintedSprite(view.centreX + sx * sprite.factor, view.centreY - sy * sprite.factor, size,
                       size, frame, sprite.pixels, r, g, b);
    }
  }
  SpriteTextureWidth = savedWidth;
  SpriteTextureHeight = savedHeight;
}

namespace {

Scene* flareScene = nullptr;
Viewport flareViewport;
bool flareSceneFirstCall = true;
// 0: the orbiting light 1, with ghosts; 1: light 0 at the origin.
FlareState sceneFlares[2];

FlareView ViewOf(const Viewport& vp) {
  FlareView view;
  view.width = vp.width;
  view.height = vp.height;
  view.centreX = vp.centreX;
  view.centreY = vp.centreY;
  view.scaleX = vp.scaleX;
  view.scaleY = vp.scaleY;
  view.view = vp.view;
  view.depthBuffer = vp.depthBuffer;
  view.pitchPixels = vp.pitchPixels;
  return view;
}

}  // namespace

int FlareSceneSetup(Scene* scene) {
  flareScene = nullptr;
  if (!scene) return 0;
  if (!flareViewport.faceList && !ViewportCreate(&flareViewport, 3000, kFrameWidth, kFrameHeight))
    return 0;
  ViewportSetAmbient(&flareViewport, 0.2f, 0.2f, 0.2f);
  ViewportSetFov(&flareViewport, 100.0f);
  flareScene = scene;
  flareSceneFirstCall = true;
  return 1;
}

void FlareSceneResetFirstCall() { flareSceneFirstCall = true; }

// The object scene lit by a green-white light at the origin and a violet one
// circling it, drawn over what the frame holds; then each light's flare, the
// circling one with its ghosts. A light the scene does not have is skipped.
KV_EFFECT(FlareSceneEffect) {
  (void)end;
  (void)progress;
  (void)param;
  Scene* scene = flareScene;
  if (!scene) return 0;
  const int lights = std::min(scene->lightCount, scene->capacity.lights);
  Light* light0 = lights > 0 ? &scene->lights[0] : nullptr;
  Light* light1 = lights > 1 ? &scene->lights[1] : nullptr;
  if (flareSceneFirstCall) {
    sceneFlares[0] = {light1, 1, t, 200.0f, 200.0f};
    sceneFlares[1] = {light0, 0, t, 0.0f, 300.0f};
    flareSceneFirstCall = false;
  }

  Viewport* vp = &flareViewport;
  // The main depth buffer: every 3D effect clears it before it draws, so no
  // depth outlives the effect that wrote it and the scenes can share it.
  std::memset(MainDepthBuffer, 0, sizeof MainDepthBuffer);
  ViewportSetTarget(vp, kFrameWidth * 4, pixels, MainDepthBuffer);
  SceneSetFrame(scene, 22.5f * (t - start));
  SceneUpdateMeshMatrices(scene);
  if (scene->cameraCount > 0) ViewportSetCamera(vp, &scene->cameras[0]);
  ViewportSetFov(vp, 100.0f);

  const Vec3 world0 = {0.0f, 0.0f, 0.0f};
  const Vec3 world1 = {180.0f * std::sin(-t), 160.0f * std::cos(0.1f * t), 180.0f * std::cos(t)};
  if (light0) light0->positionNode.position.current = world0;
  if (light1) light1->positionNode.position.current = world1;
  ViewportPrepareLights(vp, scene);
  if (light0) light0->colour = {0.6f, 0.9f, 0.4f};
  if (light1) light1->colour = {0.6f, 0.4f, 0.8f};

  {
    // The worker shares the rows of the triangles; the flares below test
    // the depth the triangles leave, so the batch ends first.
    RasterBatch batch(RasterBatchMode::kBanded);
    ViewportClearFaces(vp);
    SceneSubmit(scene, vp);
    ViewportSortFaces(vp, 1);
    ViewportDrawFaces(vp);
    ViewportClearFaces(vp);
  }

  // The lighting left the lights in camera space; the flares take them
  // from the world through the same view.
  if (light0) light0->position = world0;
  if (light1) light1->position = world1;
  const FlareView view = ViewOf(*vp);
  DrawFlare(pixels, &sceneFlares[0], view, t, 1);
  DrawFlare(pixels, &sceneFlares[1], view, t, 0);
  return 0;
}
