// The dancer's silhouettes echoed in flat colours, and the flower sprites.
#include <cmath>
#include <cstring>

#include "display/toolkit.h"
#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "raster/raster.h"
#include "raster/raster_batch.h"

namespace {

uint8_t echoMask[kFramePixels];

}  // namespace

// Three silhouettes of the recorded dance, 40 frames apart and running at
// 35 frames a second, coloured by which of them covers a pixel and softened.
// Param 1 multiplies the result over the frame; others replace the frame.
KV_EFFECT(SilhouetteEchoEffect) {
  (void)start;
  (void)end;
  (void)progress;
  std::memset(echoMask, 0, sizeof echoMask);
  for (int k = 1; k <= 3; ++k)
    SilhouetteMask(echoMask, k, static_cast<int>(35.0f * t + 40.0f * static_cast<float>(k)) % 200);
  uint32_t* out = param == 1 ? ScratchFrame[0] : pixels;
  // Each pixel's colour is its own: the rows are shared by both threads.
  auto colour = [out](int first, int end) {
    for (int i = first * kFrameWidth; i < end * kFrameWidth; ++i) {
      const uint8_t m = echoMask[i];
      out[i] = m == 0 ? 0x309BD8u : (m & 4) ? 0xB6A264u : (m & 2) ? 0x4186EAu : 0xCF6062u;
    }
  };
  ShareRows(kFrameHeight, 16, colour);
  Soften(out, out);
  if (param == 1) TableCombine(pixels, pixels, out, kFramePixels);
  return 0;
}

namespace {

// Path and turn factors of each square: centre (160 + 120 sin(a1 t) cos(a2 t),
// 120 + 80 cos(b1 t) cos(b2 t)), turned by turn x t radians.
struct FlowerPath {
  float a1, a2, b1, b2, turn;
};
const FlowerPath kFlowerPaths[10] = {
    {1.0f, 5.0f / 7.0f, 0.25f, 1.2f, 1.0f},  {0.813f, 0.457f, 0.619f, 1.107f, -1.31f},
    {1.277f, 0.353f, 0.911f, 0.529f, 0.73f}, {0.547f, 1.151f, 1.389f, 0.307f, -0.87f},
    {1.733f, 0.619f, 0.347f, 0.953f, 1.57f}, {0.917f, 1.423f, 1.061f, 0.683f, -0.61f},
    {0.389f, 0.857f, 0.767f, 1.337f, 1.19f}, {1.151f, 0.263f, 1.243f, 0.449f, -1.73f},
    {0.661f, 1.043f, 0.509f, 1.561f, 0.53f}, {1.463f, 0.733f, 0.839f, 0.211f, -1.13f},
};

Material flowerMaterial;

}  // namespace

// Ten 64 x 64 flower squares, added onto the frame by the rasterizer.
KV_EFFECT(FlowerSpritesEffect) {
  (void)start;
  (void)end;
  (void)progress;
  (void)param;
  const Picture* flower = SlotPicture(TextureSlots[kTexSlotFlower]);
  if (!flower || flower->width != 64 || flower->height != 64) return 0;
  InitRasterizer();
  std::memset(&flowerMaterial, 0, sizeof flowerMaterial);
  // Added at a little over half strength, no depth: the flowers' black
  // surround adds nothing, and they keep their colour over the light
  // silhouette layer they are drawn on.
  flowerMaterial.mode = RM_ADD | RM_OPACITY;
  flowerMaterial.opacity = 0.55f;
  flowerMaterial.colour[0] = flowerMaterial.colour[1] = flowerMaterial.colour[2] = 1.0f;
  flowerMaterial.sizeCode = TextureSizeCode(64, 64);
  flowerMaterial.texels = flower->pixels;
  SetTextureAddressing(&flowerMaterial);
  // The opacity row is taken when the mode is selected: select it for this
  // material now, whatever drew last.
  RasterState.material = &flowerMaterial;
  SelectRenderMode(flowerMaterial.mode);
  RasterState.target = {pixels, nullptr, kFrameWidth, kFrameWidth, kFrameHeight};
  for (const FlowerPath& f : kFlowerPaths) {
    const float cx = 160.0f + 120.0f * std::sin(f.a1 * t) * std::cos(f.a2 * t);
    const float cy = 120.0f + 80.0f * std::cos(f.b1 * t) * std::cos(f.b2 * t);
    const float angle = f.turn * t;
    const float c = std::cos(angle) * 32.0f, s = std::sin(angle) * 32.0f;
    // Corners of the square turned about its centre, with the texture's
    // corners (256 is one repetition).
    const float corner[4][4] = {{-1, -1, 0, 0}, {1, -1, 255, 0}, {1, 1, 255, 255}, {-1, 1, 0, 255}};
    ScreenVertex v[4];
    for (int i = 0; i < 4; ++i) {
      v[i] = {};
      v[i].x = cx + corner[i][0] * c - corner[i][1] * s;
      v[i].y = cy + corner[i][0] * s + corner[i][1] * c;
      v[i].z = 1.0f;
      v[i].level = 255.0f;
      v[i].u = corner[i][2];
      v[i].v = corner[i][3];
    }
    ScreenVertex* tris[2][3] = {{&v[0], &v[1], &v[2]}, {&v[0], &v[2], &v[3]}};
    for (auto& tri : tris) {
      RasterState.v0 = tri[0];
      RasterState.v1 = tri[1];
      RasterState.v2 = tri[2];
      RasterState.material = &flowerMaterial;
      DrawTriangle();
    }
  }
  return 0;
}
