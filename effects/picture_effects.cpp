// Effects that show the still pictures: copies, colour-keyed overlays, the
// zoom-in, the two face pictures, the portraits and the end scroller.
#include <cmath>
#include <cstring>

#include "display/toolkit.h"
#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "show/fade.h"

namespace {

// Draws picture p with its top-left pixel at (left, top), skipping pixels
// equal to its first pixel; whatever falls outside the frame is left out.
void DrawKeyed(uint32_t* frame, const Picture* p, int left, int top) {
  if (!p) return;
  const uint32_t key = p->pixels[0];
  for (int y = 0; y < p->height; ++y) {
    const int row = top + y;
    if (row < 0 || row >= kFrameHeight) continue;
    const uint32_t* src = p->pixels + static_cast<int64_t>(y) * p->width;
    for (int x = 0; x < p->width; ++x) {
      const int column = left + x;
      if (column < 0 || column >= kFrameWidth) continue;
      if (src[x] != key) frame[row * kFrameWidth + column] = src[x];
    }
  }
}

// Adds picture rows [first, first + count) to frame rows from top on; the
// picture must be a frame wide.
void AddRows(uint32_t* frame, const Picture* p, int first, int top, int count) {
  if (count <= 0) return;
  SaturatingAdd(frame + top * kFrameWidth, frame + top * kFrameWidth,
                p->pixels + static_cast<int64_t>(first) * kFrameWidth, count * kFrameWidth);
}

// A tall picture scrolling up from the bottom edge: p rows have risen into
// view so far.
void AddScrolled(uint32_t* frame, const Picture* p, float progress) {
  if (!p || p->width != kFrameWidth) return;
  const int h = p->height;
  const int risen = static_cast<int>(progress * static_cast<float>(h + kFrameHeight));
  if (risen <= 0) return;
  if (risen < kFrameHeight) {
    AddRows(frame, p, 0, kFrameHeight - risen, risen < h ? risen : h);
  } else {
    const int first = risen - kFrameHeight;
    if (first >= h) return;
    const int count = h - first < kFrameHeight ? h - first : kFrameHeight;
    AddRows(frame, p, first, 0, count);
  }
}

}  // namespace

// "gfx\3da.jpg": param 1 fades it in over the frame, param 2 fades it out,
// anything else shows it.
KV_EFFECT(PictureFadeEffect) {
  (void)t;
  (void)start;
  (void)end;
  const uint32_t* picture = FramePicture(kPic3da);
  if (!picture) return 0;
  if (param == 1) {
    FadeOperations.CrossFade(pixels, pixels, picture, static_cast<int>(255.0f * progress),
                             kFramePixels);
  } else if (param == 2) {
    FadeOperations.CrossFade(pixels, pixels, picture, 255 - static_cast<int>(255.0f * progress),
                             kFramePixels);
  } else {
    std::memcpy(pixels, picture, kFrameBytes);
  }
  return 0;
}

KV_EFFECT(BluePictureEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)progress;
  (void)param;
  if (const uint32_t* picture = FramePicture(kPicBlue)) std::memcpy(pixels, picture, kFrameBytes);
  return 0;
}

KV_EFFECT(BackgroundFillEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)progress;
  (void)param;
  FillPixels(pixels, 0x0F373F, kFrameBytes);
  return 0;
}

// The logo's bottom-right pixel lands on (318, 238).
KV_EFFECT(CornerLogoEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)progress;
  (void)param;
  const Picture* logo = SlotPicture(PictureSlots[kPicSilence]);
  if (logo) DrawKeyed(pixels, logo, kFrameWidth - logo->width - 1, kFrameHeight - logo->height - 1);
  return 0;
}

// Params 0..4 pick a word; any other value shows the first.
KV_EFFECT(WordEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)progress;
  if (param < 0 || param > 4) param = 0;
  DrawKeyed(pixels, SlotPicture(PictureSlots[kPicArtwork + param]), 10, 10);
  return 0;
}

// Params 0..3 pick a title; any other value draws nothing.
KV_EFFECT(TitleEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)progress;
  if (param < 0 || param > 3) return 0;
  if (const uint32_t* title = FramePicture(kPicTitle1 + param))
    KeyedCopy(pixels, title, title[0], kFramePixels);
  return 0;
}

// The first half zooms the picture in from a 3-pixel window under a white
// flash that fades by a quarter; the second half holds it.
KV_EFFECT(ZoomPictureEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)param;
  const uint32_t* picture = FramePicture(kPicDouble);
  if (!picture) return 0;
  if (progress >= 0.5f) {
    std::memcpy(pixels, picture, kFrameBytes);
    return 0;
  }
  FillPixels(pixels, 0, kFrameBytes);
  ZoomBlitAdd(pixels, picture, 2.0f * progress * 320.0f);
  if (progress < 0.25f)
    FadeOperations.Whiten(pixels, pixels, static_cast<int>(255.0f - 1020.0f * progress),
                          kFramePixels);
  return 0;
}

// Back face multiplied over the frame, front face added: first through a
// white flash, then the front face fading in, then both at full level.
KV_EFFECT(FaceCrossEffect) {
  (void)t;
  (void)start;
  (void)end;
  (void)param;
  const uint32_t* back = FramePicture(kPicFaceBack);
  const uint32_t* front = FramePicture(kPicFaceFront);
  if (!back || !front) return 0;
  uint32_t* s0 = ScratchFrame[0];
  uint32_t* s1 = ScratchFrame[1];
  if (progress < 0.2f) {
    FadeOperations.Whiten(s0, back, static_cast<int>(255.0f - 1275.0f * progress), kFramePixels);
    TableCombine(pixels, pixels, s0, kFramePixels);
  } else if (progress < 0.4f) {
    TableCombine(pixels, pixels, back, kFramePixels);
    FadeOperations.Darken(s1, front, static_cast<int>((progress - 0.2f) * 5.0f * 255.0f),
                          kFramePixels);
    SaturatingAdd(pixels, pixels, s1, kFramePixels);
  } else {
    TableCombine(pixels, pixels, back, kFramePixels);
    SaturatingAdd(pixels, pixels, front, kFramePixels);
  }
  return 0;
}

// Param 1: the second portrait, fading in over the first tenth. Param 0: the
// first portrait, smeared ever longer in its second half and faded to black
// over the last twentieth. Other params draw nothing.
KV_EFFECT(PortraitEffect) {
  (void)t;
  (void)start;
  (void)end;
  if (param == 1) {
    const uint32_t* picture = FramePicture(kPicPortrait2);
    if (!picture) return 0;
    if (progress < 0.1f) {
      FadeOperations.Darken(ScratchFrame[0], picture, static_cast<int>(progress * 10.0f * 255.0f),
                            kFramePixels);
      SaturatingAdd(pixels, pixels, ScratchFrame[0], kFramePixels);
    } else {
      SaturatingAdd(pixels, pixels, picture, kFramePixels);
    }
  } else if (param == 0) {
    const uint32_t* picture = FramePicture(kPicPortrait1);
    if (!picture) return 0;
    SaturatingAdd(pixels, pixels, picture, kFramePixels);
    if (progress > 0.5f)
      Smear(pixels, static_cast<int>(128.0f - (progress - 0.5f) * 10.0f * 0.2f * 128.0f));
    if (progress > 0.95f)
      FadeOperations.Darken(pixels, pixels,
                            static_cast<int>(255.0f - (progress - 0.95f) * 10.0f * 2.0f * 255.0f),
                            kFramePixels);
  }
  return 0;
}

// Two tall pictures rising from the bottom: the first smeared with a
// pulsing streak length, the second sharp on top.
KV_EFFECT(EndScrollEffect) {
  (void)start;
  (void)end;
  (void)param;
  FillPixels(pixels, 0, kFrameBytes);
  AddScrolled(pixels, SlotPicture(ScrollPicture2), progress);
  Smear(pixels, static_cast<int>(44.0f + 32.0f * std::cos(4.0f * t)));
  AddScrolled(pixels, SlotPicture(ScrollPicture1), progress);
  return 0;
}
