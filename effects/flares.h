// Lens flares: a tinted glow where a scene light lands on screen, fading in
// and out as the light is seen or hidden, and a chain of nine ghost sprites
// on the line from the light through the screen centre. Also the scaled
// additive sprite drawers that the flares and the glow dots share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/math3d.h"
#include "engine/scene.h"

// One ghost sprite: a headerless RGB file of width x height pixels, drawn
// at drawSize pixels, placed at centre + factor x (light - centre).
struct FlareSprite {
  char fileName[64];
  int32_t width;
  int32_t height;
  float drawSize;
  float factor;
  uint32_t* pixels;  // null until loaded
};

inline constexpr int kFlareSpriteCount = 9;
extern FlareSprite FlareSprites[kFlareSpriteCount];

// The glow drawn at the light itself.
inline constexpr int kFlareGlowSize = 128;
extern uint32_t FlareGlow[kFlareGlowSize * kFlareGlowSize];

// The size the sprite drawers take their texture to be; 256 x 256 unless a
// caller drawing another texture sets it (and restores it afterwards).
// Sizes outside 1..4096 draw nothing.
extern int32_t SpriteTextureWidth;
extern int32_t SpriteTextureHeight;

// Scaled additive sprites centred at (cx, cy), w x h pixels, into a 320 x 240
// frame. Texture stepping is 16.16; the frame's last column and row are
// never written. Plain: the target's top byte kept. Tinted: each channel
// adds texel x (255 x weight truncated) >> 8, weights held to 0..1.
// The dispatchers choose the SIMD or plain variant by HasMmx().
void DrawSprite(float cx, float cy, float w, float h, uint32_t* target, const uint32_t* texture);
void DrawTintedSprite(float cx, float cy, float w, float h, uint32_t* target,
                      const uint32_t* texture, float r, float g, float b);
void DrawSpritePlain(float cx, float cy, float w, float h, uint32_t* target,
                     const uint32_t* texture);
void DrawSpriteSimd(float cx, float cy, float w, float h, uint32_t* target,
                    const uint32_t* texture);
void DrawTintedSpritePlain(float cx, float cy, float w, float h, uint32_t* target,
                           const uint32_t* texture, float r, float g, float b);
// Untinted sprites drawn as DrawSprite draws them one after the other, the
// frame's rows shared by the show's thread and the worker.
struct SpriteDraw {
  float cx, cy, w, h;
  const uint32_t* texture;
};
void DrawSprites(const SpriteDraw* sprites, int count, uint32_t* target);
void DrawTintedSpriteSimd(float cx, float cy, float w, float h, uint32_t* target,
                          const uint32_t* texture, float r, float g, float b);

// Reading core of one sprite file: exactly width x height x 3 bytes, red,
// green, blue per pixel, into width x height pixels 0x00RRGGBB. A file of any
// other length is refused (0, message set) and pixels are left alone.
int FlareSpriteParse(const uint8_t* data, size_t size, const char* name, int width, int height,
                     uint32_t* pixels, std::string* message);

// Loads the nine sprites. A sprite file that is missing is drawn black (a
// line says so); one of the wrong length ends the show with a message and
// status 1. 0 when memory runs out; later sprites then stay unloaded.
int LoadFlareSprites();
// The glow picture, then the sprites.
int LoadFlares();

// What the flare needs of the view the scene was drawn through this frame.
struct FlareView {
  int32_t width, height;
  float centreX, centreY;
  float scaleX, scaleY;
  Mat4 view;                   // world to camera space
  const int32_t* depthBuffer;  // trunc(1e9 / z), larger is nearer, 0 for nothing
  int32_t pitchPixels;
};

struct FlareState {
  Light* light;     // world position and colour are read
  int32_t visible;  // what the previous frame saw
  float lastTime;
  float intensity;  // glow size in world units
  float maximum;
};

// Updates the state from this frame's visibility and draws the glow and,
// with ghosts set, the nine ghosts. A light behind the camera leaves the
// state untouched and draws nothing.
void DrawFlare(uint32_t* frame, FlareState* state, const FlareView& view, float time, int ghosts);

// The lit object scene with its two flared lights. The set-up keeps the
// scene (loaded by the asset set-up) and makes the row's own 320 x 240 view:
// ambient light 0.2, 100 degrees wide. 0 when there is no scene or the view
// cannot be made; without a scene the row draws nothing.
struct Scene;
int FlareSceneSetup(Scene* scene);
// Forgets the flare states, so the next call of the row sets them up again.
void FlareSceneResetFirstCall();
