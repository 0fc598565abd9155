#include "effects/slots.h"

#include "effects/frames.h"

Picture* PictureSlots[kPictureSlotCount];
Picture* TextureSlots[kTextureSlotCount];
Picture* ScrollPicture1;
Picture* ScrollPicture2;
Picture SlotMarker = {0, 0, 0, nullptr};

static_assert(kTexSlotWindow3 < kTextureSlotCount);

void MarkSlots() {
  for (Picture*& p : PictureSlots) p = &SlotMarker;
  for (Picture*& p : TextureSlots) p = &SlotMarker;
  ScrollPicture1 = &SlotMarker;
  ScrollPicture2 = &SlotMarker;
}

int SlotsAllSet() {
  for (Picture* p : PictureSlots)
    if (!p) return 0;
  for (Picture* p : TextureSlots)
    if (!p) return 0;
  return 1;
}

const Picture* SlotPicture(const Picture* p) {
  if (!p || p == &SlotMarker || !p->pixels || p->width <= 0 || p->height <= 0) return nullptr;
  return p;
}

const uint32_t* SlotPixels(const Picture* p, int width, int height) {
  p = SlotPicture(p);
  if (!p || p->width != width || p->height != height) return nullptr;
  return p->pixels;
}

const uint32_t* FramePicture(int i) {
  if (i < 0 || i >= kPictureSlotCount) return nullptr;
  return SlotPixels(PictureSlots[i], kFrameWidth, kFrameHeight);
}

const uint32_t* Texture256(int i) {
  if (i < 0 || i >= kTextureSlotCount) return nullptr;
  return SlotPixels(TextureSlots[i], 256, 256);
}
