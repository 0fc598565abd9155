#include "show/asset_setup.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "effects/dancer_scenes.h"
#include "effects/flares.h"
#include "effects/glow_dots.h"
#include "effects/morph.h"
#include "effects/scene_effects.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/material_library.h"
#include "engine/motion.h"
#include "engine/render_pipeline.h"
#include "image/asset_names.h"
#include "image/picture.h"
#include "show/fade.h"
#include "show/switches.h"

namespace {

// What the set-up allocated, so that AssetRelease frees exactly that and
// nothing a caller put into the tables by hand.
std::vector<Picture*> loadedPictures;
std::vector<Scene*> loadedScenes;
bool visibilityLoaded = false;

Picture* Kept(Picture* picture) {
  if (picture) loadedPictures.push_back(picture);
  return picture;
}

void LoadPictureSlot(int slot, const AssetPicture& asset) {
  PictureSlots[slot] = Kept(CreatePicture(asset.name));
}

// Texture files by the slot they were loaded into: a file named again (the
// city binds one window texture twice and a warp draws it as well) shares
// the texture already made instead of being held once more.
const char* textureFileOfSlot[kTextureSlotCount];

void LoadTextureSlot(int slot, const char* name) {
  for (int i = 0; i < kTextureSlotCount; i++) {
    if (i != slot && textureFileOfSlot[i] && std::strcmp(textureFileOfSlot[i], name) == 0 &&
        SlotPicture(TextureSlots[i])) {
      TextureSlots[slot] = TextureSlots[i];
      textureFileOfSlot[slot] = name;
      return;
    }
  }
  TextureSlots[slot] = Kept(CreateTexturePicture(name));
  textureFileOfSlot[slot] = name;
}

// A picture that is loaded with the others but that no effect draws: it is
// read all the same (a damaged file still ends the set-up), then let go, and
// its slot keeps the marker. A failed allocation still leaves the slot null.
void ReadAndRelease(Picture** slot) {
  Picture* picture = *slot;
  if (picture == nullptr || picture == &SlotMarker) return;
  loadedPictures.erase(std::remove(loadedPictures.begin(), loadedPictures.end(), picture),
                       loadedPictures.end());
  std::free(picture->pixels);
  std::free(picture);
  *slot = &SlotMarker;
}

// The pool is emptied first, so a failed load leaves nothing to free twice.
int LoadScene(Scene* scene, const char* name) {
  loadedScenes.push_back(scene);
  return Load3ds(scene, name, 1.0f) && SceneBuildHierarchy(scene);
}

// Binds the texture of a slot to the first material of that name.
void Bind(Scene* scene, const char* material, int slot, int32_t mode) {
  const Picture* p = SlotPicture(TextureSlots[slot]);
  if (p == nullptr) return;
  TextureLibraryBind(scene, material, p->pixels, mode, 0, p->sizeCode);
}

void BindWhite(Scene* scene, const char* material, int slot, int32_t mode, float opacity) {
  Bind(scene, material, slot, mode);
  if (MaterialFind(scene, material)) MaterialSetColour(scene, material, 1, 1, 1, opacity);
}

// The dancer's materials, the same in every scene that holds a dancer.
void BindDancer(Scene* scene, int32_t defaultMode) {
  const struct {
    const char* material;
    int slot;
  } kDancer[] = {
      {"vrn5_defmat", kTexSlotBlack},
      {"face", kTexSlotFace},
      {"black", kTexSlotBlack},
      {"hair", kTexSlotBlack},
      {"skin", kTexSlotSkin},
      {"ArmGlove", kTexSlotArmGlove},
      {"ChestFront", kTexSlotChestFront},
      {"ChestBack", kTexSlotChestBack},
      {"HipFront", kTexSlotHipFront},
      {"HipBack", kTexSlotHipBack},
  };
  for (const auto& d : kDancer)
    BindWhite(scene, d.material, d.slot, &d == &kDancer[0] ? defaultMode : 0x200, 0.0f);
}

// The dancer's parts modelled inside out.
void FlipDancerNormals(Scene* scene) {
  for (const char* name : {"Hand_R", "ArmLower_R", "ArmUpper_R", "Neck", "Chest", "Fot_R",
                           "LegLower_R", "LegUpper_R", "Hip"})
    if (Mesh* mesh = SceneFindMesh(scene, name)) MeshFlipNormals(mesh);
}

}  // namespace

void AssetRelease() {
  FlareSceneSetup(nullptr);
  SetEnvironmentTexture(nullptr);
  for (Picture* picture : loadedPictures) {
    for (Picture*& slot : PictureSlots)
      if (slot == picture) slot = nullptr;
    for (Picture*& slot : TextureSlots)
      if (slot == picture) slot = nullptr;
    if (ScrollPicture1 == picture) ScrollPicture1 = nullptr;
    if (ScrollPicture2 == picture) ScrollPicture2 = nullptr;
    std::free(picture->pixels);
    std::free(picture);
  }
  loadedPictures.clear();
  for (Scene* scene : loadedScenes) {
    SceneEffectsAttachHand(scene, nullptr);
    Load3dsRelease(scene);
  }
  loadedScenes.clear();
  if (visibilityLoaded)
    for (VisibilityList& list : CityVisibility) VisibilityRelease(&list);
  visibilityLoaded = false;
  // The motion bound to a released dancer went with its scene.
  ForgetBoundMotion();
}

int AssetSetup(const char* commandLine) {
  // 0. A set-up run before is let go of first.
  AssetRelease();

  // 1. Every slot starts as the marker; a failed load stores null.
  MarkSlots();
  std::fill(std::begin(textureFileOfSlot), std::end(textureFileOfSlot), nullptr);

  // 2. The main and the texture viewport.
  if (!SceneEffectsCreateViewports()) return 0;

  // 3. Catwalk scene, first motion, the hand handed over, and the face
  //    texture on the default material in silhouette mode for step 4. The
  //    face texture is also the first warp texture of the 2D effects.
  if (!LoadScene(&CatwalkScene, kSceneCatwalk)) return 0;
  // Every motion file is checked now, so a damaged one ends the set-up
  // rather than the show when an effect first binds it.
  CheckMotionFiles(kMotionFiles, static_cast<int>(std::size(kMotionFiles)));
  ForgetBoundMotion();
  BindMotionFile(kMotionFiles[0], 1.0f);
  SceneEffectsAttachHand(&CatwalkScene, SceneFindMesh(&CatwalkScene, "Hand_R"));
  LoadTextureSlot(kTexSlotFace, kTexFace.name);
  Bind(&CatwalkScene, "vrn5_defmat", kTexSlotFace, -1);

  // 4. Silhouette recording of the catwalk dancer.
  RecordDancerSilhouettes(&CatwalkScene);

  // 5. Dancer textures and their bindings.
  LoadTextureSlot(kTexSlotBlack, kTexBlack.name);
  LoadTextureSlot(kTexSlotSkin, kTexSkin.name);
  LoadTextureSlot(kTexSlotArmGlove, kTexArmGlove.name);
  LoadTextureSlot(kTexSlotChestFront, kTexChestFront.name);
  LoadTextureSlot(kTexSlotChestBack, kTexChestBack.name);
  LoadTextureSlot(kTexSlotHipFront, kTexHipFront.name);
  LoadTextureSlot(kTexSlotHipBack, kTexHipBack.name);
  BindDancer(&CatwalkScene, 0x200);

  // 6. Flipped normals.
  FlipDancerNormals(&CatwalkScene);

  // 7. The shared environment texture; the rotozoom and ripple grid draw it.
  LoadTextureSlot(kTexSlotPhong, kTexPhong.name);
  SetEnvironmentTexture(const_cast<Picture*>(SlotPicture(TextureSlots[kTexSlotPhong])));

  // 8. Cube scene, then its texture.
  if (!LoadScene(&CubeScene, kSceneCube)) return 0;
  LoadTextureSlot(kTexSlotCube, kTexCube.name);
  BindWhite(&CubeScene, "vrn5_defmat", kTexSlotCube, 0x700, 0.0f);
  BindWhite(&CubeScene, "MATERIAL #1", kTexSlotCube, 0x300, 0.0f);

  // 9. Metaball textures and the hand-built metaball scene: each ball's
  //    "g" material shades, its "a" material adds.
  LoadTextureSlot(kTexSlotBlob, kTexBlob.name);
  LoadTextureSlot(kTexSlotMeta1, kTexMeta1.name);
  LoadTextureSlot(kTexSlotMeta2, kTexMeta2.name);
  LoadTextureSlot(kTexSlotMeta3, kTexMeta3.name);
  LoadTextureSlot(kTexSlotMeta4, kTexMeta4.name);
  loadedScenes.push_back(&MetaballScene);
  if (!MetaballSceneBuild(&MetaballScene)) return 0;
  Bind(&MetaballScene, "vrn5_defmat", kTexSlotMeta1, 0x200);
  {
    const char* kBalls[4][2] = {
        {"mat0g", "mat0a"}, {"mat1g", "mat1a"}, {"mat2g", "mat2a"}, {"mat3g", "mat3a"}};
    for (int k = 0; k < 4; k++) {
      Bind(&MetaballScene, kBalls[k][0], kTexSlotMeta1 + k, 0x204);
      Bind(&MetaballScene, kBalls[k][1], kTexSlotMeta1 + k, 0x220);
    }
  }

  // 10. One portrait texture, then the full-size pictures.
  LoadTextureSlot(kTexSlotPortrait1, kTexPortrait1.name);
  ReadAndRelease(&TextureSlots[kTexSlotPortrait1]);
  LoadPictureSlot(kPicDouble, kGfxKDouble);
  LoadPictureSlot(kPicBlue, kGfxKBlue);
  LoadPictureSlot(kPicTopB, kGfxKTopB);
  ReadAndRelease(&PictureSlots[kPicTopB]);
  for (int i = 0; i < 4; ++i) LoadPictureSlot(kPicTitle1 + i, kGfxTitles[i]);

  // 11. City scene, its visibility lists and its 43 billboard bindings.
  //     One billboard file is also the second texture of a texture warp.
  if (!LoadScene(&CityScene, kSceneCity)) return 0;
  visibilityLoaded = true;
  for (int i = 0; i < 3; i++)
    if (!LoadVisibilityList(kCityVisibility[i], CityScene.meshCount, &CityVisibility[i])) return 0;
  for (int i = 0; i < kCityMapBindings; i++) {
    LoadTextureSlot(kTexSlotCityFirst + i, kCityMaps[i].name);
    Bind(&CityScene, kCityMaps[i].material, kTexSlotCityFirst + i, 0x302);
  }
  LoadTextureSlot(kTexSlotWindow3, kCityWindow3);

  // 12. The colour map, and the object scene of the flare row on it.
  LoadTextureSlot(kTexSlotCmap1, kTexCmap1.name);
  if (!LoadScene(&ObjectScene, kSceneObject)) return 0;
  if (!FlareSceneSetup(&ObjectScene)) return 0;
  Bind(&ObjectScene, "vrn5_defmat", kTexSlotCmap1, 0x202);

  // 13. Dance floor: its dancer, its five textures, and the mirror material
  //     that adds the floor texture over the reflection at 0.7.
  if (!LoadScene(&FloorScene, kSceneFloor)) return 0;
  BindDancer(&FloorScene, 0x300);
  for (int i = 0; i < 5; i++) {
    LoadTextureSlot(kTexSlotFloorFirst + i, kFloorMaps[i].name);
    Bind(&FloorScene, kFloorMaps[i].material, kTexSlotFloorFirst + i, 0x300);
  }
  if (MaterialAdd(&FloorScene, "mymat")) {
    BindWhite(&FloorScene, "mymat", kTexSlotFloorFirst + 3, 0x360, 0.7f);
  }

  // 14. Catwalk props.
  LoadTextureSlot(kTexSlotFlower, kTexFlower.name);
  LoadTextureSlot(kTexSlotCatSide, kTexCatSide.name);
  LoadTextureSlot(kTexSlotGold, kTexGold.name);
  LoadTextureSlot(kTexSlotPole, kTexPole.name);
  LoadTextureSlot(kTexSlotRope, kTexRope.name);
  LoadTextureSlot(kTexSlotCatFloor, kTexCatFloor.name);
  LoadTextureSlot(kTexSlotPortrait2, kTexPortrait2.name);
  {
    const struct {
      const char* material;
      int slot;
    } kProps[] = {{"Cat_Side", kTexSlotCatSide},   {"Gold", kTexSlotGold},
                  {"Pole", kTexSlotPole},          {"Rope", kTexSlotRope},
                  {"Cat_Floor", kTexSlotCatFloor}, {"Portrait", kTexSlotPortrait2}};
    for (const auto& prop : kProps) Bind(&CatwalkScene, prop.material, prop.slot, 0x200);
  }

  // 15. Full-size pictures: portraits, faces, logo, words, the end picture.
  LoadPictureSlot(kPicPortrait1, kGfxPortrait1);
  LoadPictureSlot(kPicPortrait2, kGfxPortrait2);
  LoadPictureSlot(kPicFaceBack, kGfxFaceBack);
  LoadPictureSlot(kPicFaceFront, kGfxFaceFront);
  LoadPictureSlot(kPicSilence, kGfxSilence);
  for (int i = 0; i < 5; ++i) LoadPictureSlot(kPicArtwork + i, kGfxWords[i]);
  LoadPictureSlot(kPic3da, kGfx3da);

  // 16. Box and blob scenes: the blob on the blob texture, its box a
  //     mirror; the box scene's dancer as the catwalk's.
  if (!LoadScene(&BoxScene, kSceneBox)) return 0;
  if (!LoadScene(&BlobScene, kSceneBlob)) return 0;
  Bind(&BlobScene, "vrn5_defmat", kTexSlotBlob, 0x300);
  if (MaterialFind(&BlobScene, "mymat") || MaterialAdd(&BlobScene, "mymat"))
    BindWhite(&BlobScene, "mymat", kTexSlotBlob, 0x360, 0.7f);
  SceneEffectsAttachHand(&BoxScene, SceneFindMesh(&BoxScene, "Hand_R"));
  BindDancer(&BoxScene, 0x200);

  // 17. Scroller pictures, outside the slot tables.
  ScrollPicture1 = Kept(CreatePicture(kGfxScroll1.name));
  ScrollPicture2 = Kept(CreatePicture(kGfxScroll2.name));

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
