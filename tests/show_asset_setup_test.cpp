#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "effects/effects.h"
#include "effects/morph.h"
#include "effects/scene_effects.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "show/asset_setup.h"
#include "show/fade.h"
#include "show/timeline.h"

namespace {

class AssetSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetDataDir(KV_BINARY_DIR);
    struct stat st;
    for (const char* name : {kGfxPortrait1.name, kGfxScroll2.name, kTexFace.name, kTexCmap1.name,
                             kTexFlower.name, kCityWindow3})
      if (stat(PlatformAssetPath(name).c_str(), &st) != 0)
        GTEST_SKIP() << "the generated assets are not in " << KV_BINARY_DIR;
  }
  void TearDown() override {
    AssetRelease();
    PlatformSetDataDir("");
  }
};

TEST_F(AssetSetupTest, FillsTheSlotsAndPreparesTheTables) {
  ASSERT_EQ(AssetSetup("/nommx /fps"), 1);
  EXPECT_EQ(HasMmx(), 0);

  struct PictureCase {
    const char* name;
    const Picture* picture;
    int width, height;
  } pictures[] = {
      {"portrait 1", PictureSlots[kPicPortrait1], 320, 240},
      {"title 4", PictureSlots[kPicTitle4], 320, 240},
      {"love", PictureSlots[kPicLove], kGfxLove.width, kGfxLove.height},
      {"logo", PictureSlots[kPicSilence], kGfxSilence.width, kGfxSilence.height},
      {"scroller", ScrollPicture1, kGfxScroll1.width, kGfxScroll1.height},
      {"face texture", TextureSlots[kTexSlotFace], 256, 256},
      {"flower", TextureSlots[kTexSlotFlower], 64, 64},
      {"pole", TextureSlots[kTexSlotPole], 64, 256},
      {"window", TextureSlots[kTexSlotWindow3], 256, 256},
  };
  for (const PictureCase& c : pictures) {
    const Picture* p = SlotPicture(c.picture);
    ASSERT_NE(p, nullptr) << c.name;
    EXPECT_EQ(p->width, c.width) << c.name;
    EXPECT_EQ(p->height, c.height) << c.name;
  }
  EXPECT_EQ(TextureSlots[kTexSlotFlower]->sizeCode, 3);
  // Slots that no step writes keep the marker, and the marker passes.
  EXPECT_EQ(PictureSlots[kPictureSlotCount - 1], &SlotMarker);
  EXPECT_EQ(TextureSlots[kTextureSlotCount - 1], &SlotMarker);
  // The set-ups of the warps and the morph have run.
  EXPECT_EQ(LensTables[kLensF][240 * kLensWidth + 320], 128);
  EXPECT_EQ(LensTables[kLensC][0 * kLensWidth + 320], 171);
  EXPECT_EQ(RowOffsetTable[239], 239 * 320);
  EXPECT_EQ(MorphPictureHeight, 240);

  // Without the switch the SIMD operations are chosen. The second set-up
  // replaces the first (the leak check sees anything it dropped).
  ASSERT_EQ(AssetSetup(""), 1);
  EXPECT_EQ(HasMmx(), PlatformHasSse2());
  // A slot whose load failed is null, and fails the final check.
  Picture* kept = TextureSlots[kTexSlotGold];
  TextureSlots[kTexSlotGold] = nullptr;
  EXPECT_EQ(SlotsAllSet(), 0);
  TextureSlots[kTexSlotGold] = kept;
  EXPECT_EQ(SlotsAllSet(), 1);

  // Released: the loaded slots are empty, the scenes and lists freed; a
  // slot set by hand is left alone.
  Picture byHand = {};
  PictureSlots[kPictureSlotCount - 1] = &byHand;
  AssetRelease();
  EXPECT_EQ(TextureSlots[kTexSlotFace], nullptr);
  EXPECT_EQ(PictureSlots[kPicPortrait1], nullptr);
  EXPECT_EQ(ScrollPicture1, nullptr);
  EXPECT_EQ(PictureSlots[kPictureSlotCount - 1], &byHand);
  EXPECT_EQ(CatwalkScene.meshes, nullptr);
  EXPECT_EQ(MetaballScene.vertices, nullptr);
  EXPECT_EQ(CityVisibility[0].records, nullptr);
  PictureSlots[kPictureSlotCount - 1] = nullptr;
}

TEST(ShowRows, WarpStackDrawsBeforeTheFlareSceneAt37Seconds) {
  // Rows run in table order: at 37.0 s the warp stack (param 1) must come
  // first so that the flare scene lands on top of it.
  int warpStack = -1, flares = -1;
  for (int i = 0; i < kTimelineRows; ++i) {
    const TimelineEntry& row = Timeline[i];
    if (!(row.start <= 37.0f && 37.0f < row.end)) continue;
    if (row.entry == WarpStackEffect && row.param == 1) warpStack = i;
    if (row.entry == FlareSceneEffect) flares = i;
  }
  ASSERT_GE(warpStack, 0);
  ASSERT_GE(flares, 0);
  EXPECT_LT(warpStack, flares);
}

}  // namespace
