// The show's two scripts. Row order is drawing order: overlapping rows all
// run, a later row over an earlier one. Keys 22-25 of the envelope stand out
// of time order and never take effect, since the runner scans forward.
#include "effects/effects.h"
#include "show/timeline.h"

const TimelineEntry Timeline[kTimelineRows] = {
    {0.0f, 3.85f, 0, CatwalkEffect},  // 0
    {0.0f, 3.85f, 1, TitleEffect},  // 1
    {3.85f, 6.5f, 2, CatwalkEffect},  // 2
    {3.85f, 6.5f, 2, TitleEffect},  // 3
    {6.5f, 9.68f, 0, CatwalkEffect},  // 4
    {6.5f, 9.68f, 3, TitleEffect},  // 5
    {9.68f, 12.0f, 1, CatwalkEffect},  // 6
    {12.0f, 14.0f, 0, CatwalkEffect},  // 7
    {14.0f, 22.3f, 4, CatwalkCloseEffect},  // 8
    {22.3f, 27.3f, 3, CatwalkCloseEffect},  // 9
    {27.3f, 29.3f, 5, CatwalkCloseEffect},  // 10
    {29.3f, 32.0f, 0, ZoomPictureEffect},  // 11
    {31.5f, 32.0f, 4, TextureWarpEffect},  // 12
    {32.0f, 39.3f, 0, TextureWarpEffect},  // 13
    {32.0f, 35.5f, 0, FaceCrossEffect},  // 14
    {35.5f, 37.0f, 0, WarpStackEffect},  // 15
    {37.0f, 58.0f, 1, WarpStackEffect},  // 16
    {56.5f, 58.0f, 2, WarpStackEffect},  // 17
    {37.0f, 56.5f, 0, FlareSceneEffect},  // 18
    {58.0f, 72.6f, 0, TextureWarpEffect},  // 19
    {58.0f, 65.35f, 1, PortraitEffect},  // 20
    {65.25f, 66.2f, 0, MorphEffect},  // 21
    {66.2f, 72.6f, 0, PortraitEffect},  // 22
    {58.0f, 59.5f, 0, WordEffect},  // 23
    {61.75f, 63.35f, 1, WordEffect},  // 24
    {65.3f, 67.0f, 2, WordEffect},  // 25
    {69.0f, 70.5f, 3, WordEffect},  // 26
    {72.6f, 80.0f, 1, CityEffect},  // 27
    {80.0f, 87.0f, 0, CityEffect},  // 28
    {87.0f, 90.0f, 0, DancerEffect},  // 29
    {90.0f, 99.0f, 1, DancerEffect},  // 30
    {99.0f, 115.8f, 5, CatwalkEffect},  // 31
    {115.8f, 130.2f, 9, CityEffect},  // 32
    {130.2f, 144.6f, 2, BoxDancerEffect},  // 33
    {144.6f, 166.5f, 0, MetaballEffect},  // 34
    {165.5f, 166.5f, 0, CornerLogoEffect},  // 35
    {166.5f, 173.6f, 0, BluePictureEffect},  // 36
    {173.6f, 180.6f, 0, DotsOverTextureEffect},  // 37
    {180.6f, 181.5f, 0, LensWarpEffect},  // 38
    {180.6f, 181.5f, 0, RotozoomEffect},  // 39
    {181.5f, 182.7f, 0, TextureWarpEffect},  // 40
    {182.7f, 183.6f, 2, LensWarpEffect},  // 41
    {182.7f, 183.6f, 1, RotozoomEffect},  // 42
    {183.6f, 184.5f, 0, SilhouetteEchoEffect},  // 43
    {184.5f, 185.5f, 1, LensWarpEffect},  // 44
    {184.5f, 185.5f, 2, RotozoomEffect},  // 45
    {185.5f, 186.4f, 0, RippleGridEffect},  // 46
    {186.4f, 187.3f, 0, TextureWarpEffect},  // 47
    {187.3f, 190.9f, 0, SilhouetteEchoEffect},  // 48
    {187.3f, 190.9f, 0, FlowerSpritesEffect},  // 49
    {190.9f, 191.7f, 0, RippleGridEffect},  // 50
    {191.7f, 192.6f, 0, TextureWarpEffect},  // 51
    {192.6f, 195.0f, 0, SilhouetteEchoEffect},  // 52
    {180.6f, 195.0f, 0, DotsBeatEffect},  // 53
    {195.0f, 224.0f, 0, BackgroundFillEffect},  // 54
    {195.0f, 202.0f, 0, DanceFloorEffect},  // 55
    {202.0f, 217.0f, 1, DanceFloorEffect},  // 56
    {217.0f, 224.0f, 2, DanceFloorEffect},  // 57
    {224.0f, 238.0f, 15, CityEffect},  // 58
    {238.0f, 239.0f, 1, PictureFadeEffect},  // 59
    {239.0f, 240.0f, 0, PictureFadeEffect},  // 60
    {240.0f, 247.2f, 14, CityEffect},  // 61
    {240.0f, 241.0f, 2, PictureFadeEffect},  // 62
    {247.2f, 252.2f, 6, CatwalkEffect},  // 63
    {252.2f, 266.0f, 0, EndScrollEffect},  // 64
};

const FadeKey FadeEnvelope[kFadeKeys] = {
    {0.0f, 0.0f, 1.0f},  // 0
    {2.0f, 0.0f, 0.0f},  // 1
    {3.6f, 0.0f, 0.0f},  // 2
    {3.85f, 0.0f, 1.0f},  // 3
    {3.95f, 0.0f, 1.0f},  // 4
    {4.2f, 0.0f, 0.0f},  // 5
    {6.2f, 0.0f, 0.0f},  // 6
    {6.45f, 0.0f, 1.0f},  // 7
    {6.55f, 0.0f, 1.0f},  // 8
    {6.8f, 0.0f, 0.0f},  // 9
    {9.2f, 0.0f, 0.0f},  // 10
    {9.6f, 0.0f, 1.0f},  // 11
    {9.7f, 0.0f, 1.0f},  // 12
    {10.2f, 0.0f, 0.0f},  // 13
    {22.0f, 0.0f, 0.0f},  // 14
    {22.25f, 0.0f, 1.0f},  // 15
    {22.35f, 0.0f, 1.0f},  // 16
    {22.6f, 0.0f, 0.0f},  // 17
    {27.0f, 0.0f, 0.0f},  // 18
    {27.25f, 0.0f, 1.0f},  // 19
    {27.35f, 0.0f, 1.0f},  // 20
    {27.6f, 0.0f, 0.0f},  // 21
    {13.0f, 0.0f, 0.0f},  // 22
    {14.0f, 0.0f, 1.0f},  // 23
    {14.8f, 0.0f, 1.0f},  // 24
    {15.0f, 0.0f, 0.0f},  // 25
    {29.0f, 0.0f, 0.0f},  // 26
    {29.25f, 1.0f, 0.0f},  // 27
    {29.35f, 1.0f, 0.0f},  // 28
    {29.9f, 0.0f, 0.0f},  // 29
    {79.6f, 0.0f, 0.0f},  // 30
    {79.95f, 0.0f, 1.0f},  // 31
    {80.05f, 0.0f, 1.0f},  // 32
    {80.4f, 0.0f, 0.0f},  // 33
    {89.6f, 0.0f, 0.0f},  // 34
    {89.95f, 1.0f, 0.0f},  // 35
    {90.05f, 1.0f, 0.0f},  // 36
    {90.4f, 0.0f, 0.0f},  // 37
    {98.5f, 0.0f, 0.0f},  // 38
    {98.85f, 0.0f, 1.0f},  // 39
    {99.15f, 0.0f, 1.0f},  // 40
    {99.4f, 0.0f, 0.0f},  // 41
    {144.2f, 0.0f, 0.0f},  // 42
    {144.55f, 1.0f, 0.0f},  // 43
    {144.65f, 1.0f, 0.0f},  // 44
    {145.0f, 0.0f, 0.0f},  // 45
    {165.5f, 0.0f, 0.0f},  // 46
    {166.5f, 0.0f, 1.0f},  // 47
    {167.5f, 0.0f, 0.0f},  // 48
    {173.0f, 0.0f, 0.0f},  // 49
    {173.6f, 0.0f, 1.0f},  // 50
    {173.7f, 0.0f, 1.0f},  // 51
    {174.3f, 0.0f, 0.0f},  // 52
    {179.9f, 0.0f, 0.0f},  // 53
    {180.6f, 1.0f, 0.0f},  // 54
    {180.9f, 0.0f, 0.0f},  // 55
    {181.4f, 0.0f, 0.0f},  // 56
    {181.5f, 1.0f, 0.0f},  // 57
    {181.8f, 0.0f, 0.0f},  // 58
    {182.6f, 0.0f, 0.0f},  // 59
    {182.7f, 1.0f, 0.0f},  // 60
    {183.0f, 0.0f, 0.0f},  // 61
    {183.5f, 0.0f, 0.0f},  // 62
    {183.6f, 1.0f, 0.0f},  // 63
    {183.9f, 0.0f, 0.0f},  // 64
    {184.4f, 0.0f, 0.0f},  // 65
    {184.5f, 1.0f, 0.0f},  // 66
    {184.8f, 0.0f, 0.0f},  // 67
    {185.4f, 0.0f, 0.0f},  // 68
    {185.5f, 1.0f, 0.0f},  // 69
    {185.8f, 0.0f, 0.0f},  // 70
    {186.3f, 0.0f, 0.0f},  // 71
    {186.4f, 1.0f, 0.0f},  // 72
    {186.7f, 0.0f, 0.0f},  // 73
    {187.2f, 0.0f, 0.0f},  // 74
    {187.3f, 1.0f, 0.0f},  // 75
    {187.6f, 0.0f, 0.0f},  // 76
    {188.1f, 0.0f, 0.0f},  // 77
    {188.2f, 1.0f, 0.0f},  // 78
    {188.5f, 0.0f, 0.0f},  // 79
    {189.0f, 0.0f, 0.0f},  // 80
    {189.1f, 1.0f, 0.0f},  // 81
    {189.4f, 0.0f, 0.0f},  // 82
    {189.9f, 0.0f, 0.0f},  // 83
    {190.0f, 1.0f, 0.0f},  // 84
    {190.3f, 0.0f, 0.0f},  // 85
    {190.8f, 0.0f, 0.0f},  // 86
    {190.9f, 1.0f, 0.0f},  // 87
    {191.2f, 0.0f, 0.0f},  // 88
    {191.6f, 0.0f, 0.0f},  // 89
    {191.7f, 1.0f, 0.0f},  // 90
    {192.0f, 0.0f, 0.0f},  // 91
    {192.5f, 0.0f, 0.0f},  // 92
    {192.6f, 1.0f, 0.0f},  // 93
    {192.9f, 0.0f, 0.0f},  // 94
    {194.7f, 0.0f, 0.0f},  // 95
    {195.0f, 1.0f, 0.0f},  // 96
    {196.0f, 0.0f, 0.0f},  // 97
    {201.7f, 0.0f, 0.0f},  // 98
    {201.95f, 1.0f, 0.0f},  // 99
    {202.05f, 1.0f, 0.0f},  // 100
    {202.3f, 0.0f, 0.0f},  // 101
    {216.7f, 0.0f, 0.0f},  // 102
    {216.95f, 1.0f, 0.0f},  // 103
    {217.05f, 1.0f, 0.0f},  // 104
    {217.3f, 0.0f, 0.0f},  // 105
    {223.7f, 0.0f, 0.0f},  // 106
    {223.95f, 0.0f, 1.0f},  // 107
    {224.05f, 0.0f, 1.0f},  // 108
    {224.35f, 0.0f, 0.0f},  // 109
};
