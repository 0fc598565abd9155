// Effects built from the texture warps: moving lens warps multiplied
// together, the rotozoom, the ripple grids and the warp stack drawn through
// the tilted plane.
#include <cmath>

#include "display/toolkit.h"
#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "show/fade.h"

namespace {

// Two three-tap warps running in opposite directions, multiplied into out;
// work holds the second one.
void WarpPair(uint32_t* out, uint32_t* work, const uint32_t* first, const uint32_t* second,
              float t) {
  ThreeTapWarp(out, first, 40.0f * t);
  ThreeTapWarp(work, second, -40.0f * t);
  TableCombine(out, out, work, kFramePixels);
}

}  // namespace

// Param 0: face and blob warps. Param 1: face and window warps, smeared
// twice in the second half and faded to black at the end. Param 4: face and
// blob warps cross-faded in over the row. Other params draw nothing.
KV_EFFECT(TextureWarpEffect) {
  (void)start;
  (void)end;
  const uint32_t* face = Texture256(kTexSlotFace);
  if (!face) return 0;
  if (param == 0) {
    if (const uint32_t* blob = Texture256(kTexSlotBlob))
      WarpPair(pixels, ScratchFrame[0], face, blob, t);
  } else if (param == 1) {
    const uint32_t* window = Texture256(kTexSlotWindow3);
    if (!window) return 0;
    WarpPair(pixels, ScratchFrame[0], face, window, t);
    if (progress > 0.5f) Smear(pixels, static_cast<int>(128.0f - (progress - 0.5f) * 256.0f));
    if (progress > 0.75f) Smear(pixels, static_cast<int>(128.0f - (progress - 0.75f) * 512.0f));
    if (progress > 0.95f)
      FadeOperations.Darken(pixels, pixels,
                            static_cast<int>(255.0f - (progress - 0.95f) * 20.0f * 255.0f),
                            kFramePixels);
  } else if (param == 4) {
    const uint32_t* blob = Texture256(kTexSlotBlob);
    if (!blob) return 0;
    WarpPair(ScratchFrame[0], ScratchFrame[1], face, blob, t);
    FadeOperations.CrossFade(pixels, pixels, ScratchFrame[0], static_cast<int>(255.0f * progress),
                             kFramePixels);
  }
  return 0;
}

// The colour map through the lens tables: params 0 and 1 in mode 1, param 2
// in mode 2, others nothing.
KV_EFFECT(LensWarpEffect) {
  (void)start;
  (void)end;
  (void)progress;
  static const int modes[3] = {1, 1, 2};
  if (param < 0 || param > 2) return 0;
  if (const uint32_t* cmap = Texture256(kTexSlotCmap1))
    LensTableWarp(pixels, cmap, t, modes[param]);
  return 0;
}

// Three rotozooms, each with its own texture, turn rate and breathing zoom,
// multiplied over the frame.
KV_EFFECT(RotozoomEffect) {
  (void)start;
  (void)end;
  (void)progress;
  struct Motion {
    int texture;
    float turn;        // degrees per second
    float radius;      // texels from the centre to a frame corner
    float breath;      // how far the radius swings
    float breathRate;  // radians per second
  };
  static const Motion motions[3] = {
      {kTexSlotPhong, 90.0f, 200.0f, 120.0f, 2.1f},
      {kTexSlotMeta2, -140.0f, 150.0f, 90.0f, 3.3f},
      {kTexSlotMeta3, 60.0f, 320.0f, 200.0f, 1.7f},
  };
  if (param < 0 || param > 2) return 0;
  const Motion& m = motions[param];
  const uint32_t* texture = Texture256(m.texture);
  if (!texture) return 0;
  Rotozoom(ScratchFrame[0], texture, m.turn * t, m.radius + m.breath * std::sin(m.breathRate * t));
  TableCombine(pixels, pixels, ScratchFrame[0], kFramePixels);
  return 0;
}

// Two rippling grids over two textures, multiplied together: the panelled
// metal, whose seams draw the grid, under the broad light of the highlight
// map.
KV_EFFECT(RippleGridEffect) {
  (void)start;
  (void)end;
  (void)progress;
  (void)param;
  const uint32_t* first = Texture256(kTexSlotCube);
  const uint32_t* second = Texture256(kTexSlotPhong);
  if (!first || !second) return 0;
  RippleGrid(2.0f * t);
  GridMapTexture(pixels, first, kGridRows - 1);
  RippleGrid(-1.4f * t + 1.0f);
  GridMapTexture(ScratchFrame[0], second, kGridRows - 1);
  TableCombine(pixels, pixels, ScratchFrame[0], kFramePixels);
  return 0;
}

// Layers built in S0 and drawn through the tilted plane. Param 0: the warp
// pair with the faces, tilting away, crossing to the metaball lens warp in
// its second half. Param 1: the metaball lens warp through the last plane.
// Param 2: the warp pair straightening up while it crosses to the lens warp.
KV_EFFECT(WarpStackEffect) {
  (void)start;
  (void)end;
  uint32_t* s0 = ScratchFrame[0];
  uint32_t* s1 = ScratchFrame[1];
  uint32_t* s2 = ScratchFrame[2];
  uint32_t* s3 = ScratchFrame[3];
  uint32_t* s4 = ScratchFrame[4];
  const uint32_t* face = Texture256(kTexSlotFace);
  const uint32_t* blob = Texture256(kTexSlotBlob);
  const uint32_t* meta = Texture256(kTexSlotMeta1);
  if (!face || !blob || !meta) return 0;
  if (param == 0) {
    const uint32_t* back = FramePicture(kPicFaceBack);
    const uint32_t* front = FramePicture(kPicFaceFront);
    if (!back || !front) return 0;
    ThreeTapWarp(s0, face, 40.0f * t);
    ThreeTapWarp(s1, blob, -40.0f * t);
    LensTableWarp(s3, meta, t, 0);
    TableCombine(s0, s0, s1, kFramePixels);
    TiltedPlane(1.15f * progress, 0.0f);
    if (progress <= 0.5f) {
      TableCombine(s0, s0, back, kFramePixels);
      SaturatingAdd(s0, s0, front, kFramePixels);
    } else {
      const int level = static_cast<int>((progress - 0.5f) * 2.0f * 255.0f);
      FadeOperations.Whiten(s2, back, level, kFramePixels);
      FadeOperations.Darken(s4, front, 255 - level, kFramePixels);
      TableCombine(s0, s0, s2, kFramePixels);
      SaturatingAdd(s0, s0, s4, kFramePixels);
      FadeOperations.CrossFade(s0, s0, s3, level, kFramePixels);
    }
  } else if (param == 1) {
    LensTableWarp(s0, meta, t, 0);
  } else if (param == 2) {
    ThreeTapWarp(s0, face, 40.0f * t);
    ThreeTapWarp(s1, blob, -40.0f * t);
    TableCombine(s0, s0, s1, kFramePixels);
    LensTableWarp(s2, meta, t, 0);
    TiltedPlane(1.0f - progress, 0.0f);
    FadeOperations.CrossFade(s0, s0, s2, static_cast<int>(255.0f * progress), kFramePixels);
  } else {
    return 0;
  }
  GridMapPicture(pixels, s0, kGridColumns - 1, kGridRows - 1);
  return 0;
}
