// The effect entry points the timeline calls: each draws into the 320 x 240
// frame for time t inside its row [start, end), with progress the fraction of
// the row gone and param the row's variant. The result is ignored.
#pragma once
#include <cstdint>

#define KV_EFFECT(name) \
  int name(uint32_t* pixels, float t, float start, float end, float progress, int param)

KV_EFFECT(CatwalkEffect);
KV_EFFECT(TitleEffect);
KV_EFFECT(CatwalkCloseEffect);
KV_EFFECT(ZoomPictureEffect);
KV_EFFECT(TextureWarpEffect);
KV_EFFECT(FaceCrossEffect);
KV_EFFECT(WarpStackEffect);
KV_EFFECT(FlareSceneEffect);
KV_EFFECT(PortraitEffect);
KV_EFFECT(MorphEffect);
KV_EFFECT(WordEffect);
KV_EFFECT(CityEffect);
KV_EFFECT(DancerEffect);
KV_EFFECT(BoxDancerEffect);
KV_EFFECT(MetaballEffect);
KV_EFFECT(CornerLogoEffect);
KV_EFFECT(BluePictureEffect);
KV_EFFECT(DotsOverTextureEffect);
KV_EFFECT(LensWarpEffect);
KV_EFFECT(RotozoomEffect);
KV_EFFECT(SilhouetteEchoEffect);
KV_EFFECT(RippleGridEffect);
KV_EFFECT(FlowerSpritesEffect);
KV_EFFECT(DotsBeatEffect);
KV_EFFECT(BackgroundFillEffect);
KV_EFFECT(DanceFloorEffect);
KV_EFFECT(PictureFadeEffect);
KV_EFFECT(EndScrollEffect);
