// How a face is filled: the render mode that picks the span routines, the
// texture and its addressing constants, the opacity. The record is read by the
// rasterizer and managed by the engine's material table.
#pragma once
#include <cstdint>

struct Material {
  int32_t mode;       // render mode flag word; -1 = silhouette
  int32_t modeParam;  // stored with the mode
  int32_t width;      // texture size in texels, set for size codes 1..4
  int32_t height;
  int32_t sizeCode;   // TextureSizeCode of the texture
  float colour[3];    // r, g, b
  float opacity;      // 0..1, read by the opacity modes
  int32_t uShift;     // texel = ((U >> uShift) & uMask) + ((V >> vShift) & vMask)
  int32_t uMask;
  int32_t vShift;
  int32_t vMask;
  int32_t textureReady;     // 1 once a texture is attached and addressed
  const uint32_t* texels;   // not owned
  char name[32];
};
