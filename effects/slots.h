// The pictures and textures the effects draw from, filled once by the asset
// set-up. Every slot starts as the marker (a non-null picture of size 0);
// each load stores its result, null when it failed.
#pragma once
#include <cstdint>

#include "image/picture.h"

inline constexpr int kPictureSlotCount = 20;
inline constexpr int kTextureSlotCount = 100;

// Full-size pictures.
enum PictureSlotIndex {
  kPicDouble = 0,
  kPicBlue,
  kPicTopB,
  kPicTitle1,  // title1..title4 follow in order
  kPicTitle2,
  kPicTitle3,
  kPicTitle4,
  kPicPortrait1,
  kPicPortrait2,
  kPicFaceBack,
  kPicFaceFront,
  kPicSilence,
  kPicArtwork,  // the five word pictures follow in the word effect's order
  kPicAudio,
  kPicControl,
  kPicObjects,
  kPicLove,
  kPic3da,
};

// Texture pictures.
enum TextureSlotIndex {
  kTexSlotFace = 0,
  kTexSlotBlack,
  kTexSlotSkin,
  kTexSlotArmGlove,
  kTexSlotChestFront,
  kTexSlotChestBack,
  kTexSlotHipFront,
  kTexSlotHipBack,
  kTexSlotPhong,
  kTexSlotCube,
  kTexSlotBlob,
  kTexSlotMeta1,  // meta1..meta4 follow in order
  kTexSlotMeta2,
  kTexSlotMeta3,
  kTexSlotMeta4,
  kTexSlotPortrait1,
  kTexSlotCityFirst,  // the city's 43 billboard bindings, in binding order
  kTexSlotCmap1 = kTexSlotCityFirst + 43,
  kTexSlotFloorFirst,  // the dance floor's five textures
  kTexSlotFlower = kTexSlotFloorFirst + 5,
  kTexSlotCatSide,
  kTexSlotGold,
  kTexSlotPole,
  kTexSlotRope,
  kTexSlotCatFloor,
  kTexSlotPortrait2,
  kTexSlotLight,
  kTexSlotWindow3,  // the second texture of one texture-warp row
};

extern Picture* PictureSlots[kPictureSlotCount];
extern Picture* TextureSlots[kTextureSlotCount];
// The two scroller pictures, outside the tables.
extern Picture* ScrollPicture1;
extern Picture* ScrollPicture2;

extern Picture SlotMarker;

// Sets every slot of both tables (and the scroller pictures) to the marker.
void MarkSlots();
// 1 when no slot of either table is null.
int SlotsAllSet();

// A loaded picture or null (for null, the marker, or no pixels).
const Picture* SlotPicture(const Picture* p);
// The pixels of a loaded picture of exactly width x height, else null.
const uint32_t* SlotPixels(const Picture* p, int width, int height);
// The 320 x 240 pixels of picture slot i, or null.
const uint32_t* FramePicture(int i);
// The 256 x 256 pixels of texture slot i, or null.
const uint32_t* Texture256(int i);
