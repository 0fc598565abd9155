#include "show/asset_setup.h"

#include "effects/flares.h"
#include "effects/glow_dots.h"
#include "effects/morph.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "image/asset_names.h"
#include "image/picture.h"
#include "show/fade.h"
#include "show/switches.h"

namespace {

void LoadPictureSlot(int slot, const AssetPicture& asset) {
  PictureSlots[slot] = CreatePicture(asset.name);
}

void LoadTextureSlot(int slot, const char* name) {
  TextureSlots[slot] = CreateTexturePicture(name);
}

}  // namespace

int AssetSetup(const char* commandLine) {
  // 1. Every slot starts as the marker; a failed load stores null.
  MarkSlots();

  // 2. Viewports: with the 3D engine.

  // 3. Catwalk scene, first motion and hand hand-over: with the 3D engine.
  //    Its face texture is also the first warp texture of the 2D effects.
  LoadTextureSlot(kTexSlotFace, kTexFace.name);

  // 4. Silhouette recording of the catwalk dancer: with the 3D engine.

  // 5. Dancer textures and their bindings: with the 3D engine.

  // 6. Flipped normals: with the 3D engine.

  // 7. The shared environment texture; the rotozoom and ripple grid draw it.
  LoadTextureSlot(kTexSlotPhong, kTexPhong.name);

  // 8. Cube scene and its texture: with the 3D engine.

  // 9. Metaball textures (the hand-built scene and its materials follow with
  //    the 3D engine).
  LoadTextureSlot(kTexSlotBlob, kTexBlob.name);
  LoadTextureSlot(kTexSlotMeta1, kTexMeta1.name);
  LoadTextureSlot(kTexSlotMeta2, kTexMeta2.name);
  LoadTextureSlot(kTexSlotMeta3, kTexMeta3.name);
  LoadTextureSlot(kTexSlotMeta4, kTexMeta4.name);

  // 10. One portrait texture, then the full-size pictures.
  LoadTextureSlot(kTexSlotPortrait1, kTexPortrait1.name);
  LoadPictureSlot(kPicDouble, kGfxKDouble);
  LoadPictureSlot(kPicBlue, kGfxKBlue);
  LoadPictureSlot(kPicTopB, kGfxKTopB);
  for (int i = 0; i < 4; ++i) LoadPictureSlot(kPicTitle1 + i, kGfxTitles[i]);

  // 11. City scene, visibility lists and billboards: with the 3D engine.
  //     One billboard file is also the second texture of a texture warp.
  LoadTextureSlot(kTexSlotWindow3, kCityWindow3);

  // 12. The colour map (the object scene follows with the 3D engine).
  LoadTextureSlot(kTexSlotCmap1, kTexCmap1.name);

  // 13. Dance floor scene and textures: with the 3D engine.

  // 14. Catwalk props (their bindings follow with the 3D engine).
  LoadTextureSlot(kTexSlotFlower, kTexFlower.name);
  LoadTextureSlot(kTexSlotCatSide, kTexCatSide.name);
  LoadTextureSlot(kTexSlotGold, kTexGold.name);
  LoadTextureSlot(kTexSlotPole, kTexPole.name);
  LoadTextureSlot(kTexSlotRope, kTexRope.name);
  LoadTextureSlot(kTexSlotCatFloor, kTexCatFloor.name);
  LoadTextureSlot(kTexSlotPortrait2, kTexPortrait2.name);

  // 15. Full-size pictures: portraits, faces, logo, words, the end picture.
  LoadPictureSlot(kPicPortrait1, kGfxPortrait1);
  LoadPictureSlot(kPicPortrait2, kGfxPortrait2);
  LoadPictureSlot(kPicFaceBack, kGfxFaceBack);
  LoadPictureSlot(kPicFaceFront, kGfxFaceFront);
  LoadPictureSlot(kPicSilence, kGfxSilence);
  for (int i = 0; i < 5; ++i) LoadPictureSlot(kPicArtwork + i, kGfxWords[i]);
  LoadPictureSlot(kPic3da, kGfx3da);

  // 16. Box and blob scenes: with the 3D engine.

  // 17. Scroller pictures, outside the slot tables.
  ScrollPicture1 = CreatePicture(kGfxScroll1.name);
  ScrollPicture2 = CreatePicture(kGfxScroll2.name);

  // 18. Fade operations; HasMmx is known from here on.
  InitFadeOperations(320, 240, FindSwitch(commandLine, "/nommx"));

  // 19. Effect set-ups: the lens flares (a failure ends the set-up), the
  //     glow-dot sprites, the warp tables and the morph.
  if (!LoadFlares()) return 0;
  DotsSetup();
  WarpSetup();
  MorphSetup();

  // 20. Every slot filled; the marker counts as filled.
  return SlotsAllSet();
}
