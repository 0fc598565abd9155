// Every file the show reads, in the show's own backslash form, grouped by
// directory, with the pixel size each picture is made at. The generator, the
// asset set-up and the tests all take their names from here, so a name is
// chosen once. Sizes are those of the files; texture pictures are resampled
// to power-of-two sizes on load, and the ones listed here already are.
#pragma once

struct AssetPicture {
  const char* name;
  int width;
  int height;
};

// A billboard texture of the city and the scene material it is bound to.
struct AssetBinding {
  const char* name;
  const char* material;
  int width;
  int height;
};

// ---- gfx: full-size pictures (320 x 240 unless noted) ----
inline constexpr AssetPicture kGfxKDouble = {"gfx\\kdouble.jpg", 320, 240};
inline constexpr AssetPicture kGfxKBlue = {"gfx\\kblue.jpg", 320, 240};
inline constexpr AssetPicture kGfxKTopB = {"gfx\\ktopb.jpg", 320, 240};
// Titles: the key colour is the first pixel; everything else is drawn.
inline constexpr AssetPicture kGfxTitle1 = {"gfx\\title1.pcx", 320, 240};
inline constexpr AssetPicture kGfxTitle2 = {"gfx\\title2.pcx", 320, 240};
inline constexpr AssetPicture kGfxTitle3 = {"gfx\\title3.pcx", 320, 240};
inline constexpr AssetPicture kGfxTitle4 = {"gfx\\title4.pcx", 320, 240};
inline constexpr AssetPicture kGfxPortrait1 = {"gfx\\portrait1.jpg", 320, 240};
inline constexpr AssetPicture kGfxPortrait2 = {"gfx\\portrait2.jpg", 320, 240};
inline constexpr AssetPicture kGfxFaceBack = {"gfx\\kfaceb.jpg", 320, 240};
inline constexpr AssetPicture kGfxFaceFront = {"gfx\\kfacef.jpg", 320, 240};
// Corner logo, drawn with its bottom-right pixel at (318, 238); key = first pixel.
inline constexpr AssetPicture kGfxSilence = {"gfx\\silence.pcx", 96, 24};
// Word pictures, drawn at (10, 10); key = first pixel.
inline constexpr AssetPicture kGfxArtwork = {"gfx\\artwork.pcx", 288, 64};
inline constexpr AssetPicture kGfxAudio = {"gfx\\audio.pcx", 288, 64};
inline constexpr AssetPicture kGfxControl = {"gfx\\control.pcx", 288, 64};
inline constexpr AssetPicture kGfxObjects = {"gfx\\objects.pcx", 288, 64};
inline constexpr AssetPicture kGfxLove = {"gfx\\love.pcx", 288, 64};
inline constexpr AssetPicture kGfx3da = {"gfx\\3da.jpg", 320, 240};
// End scroller: scroll2 is the smeared layer, scroll1 the sharp one on top.
inline constexpr AssetPicture kGfxScroll1 = {"gfx\\scroll1.jpg", 320, 720};
inline constexpr AssetPicture kGfxScroll2 = {"gfx\\scroll2.jpg", 320, 720};
// Glow-dot sprite (loaded into a 256 x 256 buffer) and the overlay the dots'
// background is multiplied with.
inline constexpr AssetPicture kGfxSprite = {"gfx\\sprite.jpg", 256, 256};
inline constexpr AssetPicture kGfxOverlay = {"gfx\\overlay.jpg", 320, 240};

inline constexpr AssetPicture kGfxPictures[] = {
    kGfxKDouble,   kGfxKBlue,     kGfxKTopB,    kGfxTitle1,    kGfxTitle2,    kGfxTitle3,
    kGfxTitle4,    kGfxPortrait1, kGfxPortrait2, kGfxFaceBack, kGfxFaceFront, kGfxSilence,
    kGfxArtwork,   kGfxAudio,     kGfxControl,  kGfxObjects,   kGfxLove,      kGfx3da,
    kGfxScroll1,   kGfxScroll2,   kGfxSprite,   kGfxOverlay,
};

// Word pictures in the order the word effect's param selects them.
inline constexpr AssetPicture kGfxWords[] = {kGfxArtwork, kGfxAudio, kGfxControl, kGfxObjects,
                                             kGfxLove};
inline constexpr AssetPicture kGfxTitles[] = {kGfxTitle1, kGfxTitle2, kGfxTitle3, kGfxTitle4};

// ---- textures ----
inline constexpr AssetPicture kTexFace = {"textures\\face.jpg", 256, 256};  // first warp texture
inline constexpr AssetPicture kTexBlack = {"textures\\black.jpg", 64, 64};
inline constexpr AssetPicture kTexSkin = {"textures\\skin.jpg", 128, 128};
inline constexpr AssetPicture kTexArmGlove = {"textures\\armglove.jpg", 128, 128};
inline constexpr AssetPicture kTexChestFront = {"textures\\chestfnt.jpg", 128, 128};
inline constexpr AssetPicture kTexChestBack = {"textures\\chestbck.jpg", 128, 128};
inline constexpr AssetPicture kTexHipFront = {"textures\\hipfront.jpg", 128, 128};
inline constexpr AssetPicture kTexHipBack = {"textures\\hipback.jpg", 128, 128};
inline constexpr AssetPicture kTexPhong = {"textures\\phong.jpg", 256, 256};
inline constexpr AssetPicture kTexCube = {"textures\\cubetxt3.jpg", 256, 256};
inline constexpr AssetPicture kTexBlob = {"textures\\blobtxt1.jpg", 256, 256};
inline constexpr AssetPicture kTexMeta1 = {"textures\\meta1.jpg", 256, 256};
inline constexpr AssetPicture kTexMeta2 = {"textures\\meta2.jpg", 256, 256};
inline constexpr AssetPicture kTexMeta3 = {"textures\\meta3.jpg", 256, 256};
inline constexpr AssetPicture kTexMeta4 = {"textures\\meta4.jpg", 256, 256};
inline constexpr AssetPicture kTexPortrait1 = {"textures\\portrait1.jpg", 256, 256};
inline constexpr AssetPicture kTexPortrait2 = {"textures\\portrait2.jpg", 256, 256};
inline constexpr AssetPicture kTexCmap1 = {"textures\\cmap1.jpg", 256, 256};
inline constexpr AssetPicture kTexFlower = {"textures\\flower1.pcx", 64, 64};
inline constexpr AssetPicture kTexCatSide = {"textures\\cat_side.jpg", 256, 256};
inline constexpr AssetPicture kTexGold = {"textures\\gold.tga", 128, 128};
inline constexpr AssetPicture kTexPole = {"textures\\pole.tga", 64, 256};
inline constexpr AssetPicture kTexRope = {"textures\\rope.jpg", 128, 128};
inline constexpr AssetPicture kTexCatFloor = {"textures\\cat_flr.jpg", 256, 256};
inline constexpr AssetPicture kTexLight = {"textures\\light.jpg", 128, 128};  // flare glow

inline constexpr AssetPicture kTexturePictures[] = {
    kTexFace,      kTexBlack,     kTexSkin,   kTexArmGlove, kTexChestFront, kTexChestBack,
    kTexHipFront,  kTexHipBack,   kTexPhong,  kTexCube,     kTexBlob,       kTexMeta1,
    kTexMeta2,     kTexMeta3,     kTexMeta4,  kTexPortrait1, kTexPortrait2, kTexCmap1,
    kTexFlower,    kTexCatSide,   kTexGold,   kTexPole,     kTexRope,       kTexCatFloor,
    kTexLight,
};

// ---- 3d2\maps: the city's billboard textures, in binding order ----
// 43 bindings of 42 files: "window3.jpg" is bound twice. The city scene
// carries these material names.
inline constexpr AssetBinding kCityMaps[] = {
    {"3d2\\maps\\brick1.jpg", "Material #1", 256, 256},
    {"3d2\\maps\\brick2.jpg", "Material #2", 256, 256},
    {"3d2\\maps\\window3.jpg", "Material #3", 256, 256},
    {"3d2\\maps\\window1.jpg", "Material #4", 256, 256},
    {"3d2\\maps\\window4.jpg", "Material #5", 256, 256},
    {"3d2\\maps\\window5.jpg", "Material #6", 256, 256},
    {"3d2\\maps\\concrt1.jpg", "Material #7", 256, 256},
    {"3d2\\maps\\green.jpg", "Material #8", 256, 256},
    {"3d2\\maps\\concrt2.jpg", "Material #9", 256, 256},
    {"3d2\\maps\\asphalt.jpg", "Material #10", 256, 256},
    {"3d2\\maps\\road1.jpg", "Material #11", 256, 256},
    {"3d2\\maps\\road2.jpg", "Material #12", 256, 256},
    {"3d2\\maps\\roof1.jpg", "Material #13", 256, 256},
    {"3d2\\maps\\roof2.jpg", "Material #14", 256, 256},
    {"3d2\\maps\\metal1.jpg", "Material #15", 256, 256},
    {"3d2\\maps\\metal2.jpg", "Material #16", 256, 256},
    {"3d2\\maps\\rust1.jpg", "Material #17", 256, 256},
    {"3d2\\maps\\rust2.jpg", "Material #18", 256, 256},
    {"3d2\\maps\\glass1.jpg", "Material #19", 256, 256},
    {"3d2\\maps\\glass2.jpg", "Material #20", 256, 256},
    {"3d2\\maps\\neon1.jpg", "Material #21", 256, 256},
    {"3d2\\maps\\neon2.jpg", "Material #22", 256, 256},
    {"3d2\\maps\\neon3.jpg", "Material #23", 256, 256},
    {"3d2\\maps\\sign1.jpg", "Material #24", 256, 256},
    {"3d2\\maps\\sign2.jpg", "Material #25", 256, 256},
    {"3d2\\maps\\door1.jpg", "Material #26", 256, 256},
    {"3d2\\maps\\garage.jpg", "Material #27", 256, 256},
    {"3d2\\maps\\sea2.jpg", "Material #28", 256, 256},
    {"3d2\\maps\\sea1.jpg", "Material #29", 256, 256},
    {"3d2\\maps\\tiles1.jpg", "Material #30", 256, 256},
    {"3d2\\maps\\stone1.jpg", "Material #31", 256, 256},
    {"3d2\\maps\\marble.jpg", "Material #32", 256, 256},
    {"3d2\\maps\\sky1.jpg", "Material #33", 256, 256},
    {"3d2\\maps\\sand.jpg", "Material #34", 256, 256},
    {"3d2\\maps\\tree1.jpg", "Material #35", 256, 256},
    {"3d2\\maps\\lamp.jpg", "Material #36", 256, 256},
    {"3d2\\maps\\fence.jpg", "Material #37", 256, 256},
    {"3d2\\maps\\build2.jpg", "Material #38", 256, 256},
    {"3d2\\maps\\window3.jpg", "Material #39", 256, 256},
    {"3d2\\maps\\car1.jpg", "CAR", 256, 256},
    {"3d2\\maps\\car2.jpg", "CAR2", 256, 256},
    {"3d2\\maps\\window2.jpg", "window2-building", 256, 256},
    {"3d2\\maps\\build1.jpg", "building1", 256, 256},
};
inline constexpr int kCityMapBindings = 43;
inline constexpr int kCityMapFiles = 42;
// Also the second texture of one texture-warp row.
inline constexpr const char* kCityWindow3 = "3d2\\maps\\window3.jpg";

// ---- 3d3: the dance floor's textures and the materials they bind ----
inline constexpr AssetBinding kFloorMaps[] = {
    {"3d3\\gradient.jpg", "gradient", 256, 256},
    {"3d3\\floor.jpg", "floor", 256, 256},
    {"3d3\\step.jpg", "step", 256, 256},
    {"3d3\\danceflr.jpg", "dancefloor", 256, 256},
    {"3d3\\stone.jpg", "stone", 256, 256},
};

// ---- flares: headerless RGB sprites at the flare table's sizes ----
inline constexpr AssetPicture kFlareSprites[] = {
    {"flares\\lenz1.raw", 40, 40}, {"flares\\lenz2.raw", 9, 10}, {"flares\\lenz3.raw", 8, 10},
    {"flares\\lenz4.raw", 6, 6},   {"flares\\lenz5.raw", 18, 18}, {"flares\\lenz6.raw", 7, 7},
    {"flares\\lenz7.raw", 6, 7},   {"flares\\lenz8.raw", 11, 11}, {"flares\\lenz9.raw", 7, 7},
};

// ---- data and music ----
inline constexpr const char* kMorphGrid = "data\\portrait.amf";  // 9 x 7, follows the portraits
inline constexpr const char* kSoundtrack = "music\\elt56.mp3";

// ---- 3D files (made with the 3D engine, not by the picture generator) ----
inline constexpr const char* kSceneCatwalk = "3d\\catwalk.3ds";
inline constexpr const char* kSceneCube = "3d\\cube2.3ds";
inline constexpr const char* kSceneBox = "3d\\box.3ds";
inline constexpr const char* kSceneBlob = "3d\\amoebe.3ds";
inline constexpr const char* kSceneObject = "3d\\dings.3ds";
inline constexpr const char* kSceneCity = "3d2\\scene3.3ds";
inline constexpr const char* kSceneFloor = "3d3\\test.3ds";
inline constexpr const char* kMotionFiles[] = {"3d\\motion01.are", "3d\\motion02.are",
                                               "3d\\motion03.are", "3d\\motion04.are",
                                               "3d\\motion05.are"};
inline constexpr const char* kCityVisibility[] = {"gfx\\meg0.iff", "gfx\\meg1.iff",
                                                  "gfx\\meg4.iff"};
// The city camera each visibility list belongs to.
inline constexpr int kCityVisibilityCameras[] = {0, 1, 4};

// ---- names inside the 3D files ----
// The dancer's parts, as the motion files name them; she is in the catwalk,
// box and dance-floor scenes.
inline constexpr const char* kDancerPartNames[16] = {
    "Hip",        "Chest",      "Neck",       "Head",       "ArmUpper_R", "ArmLower_R",
    "Hand_R",     "ArmUpper_L", "ArmLower_L", "Hand_L",     "LegUpper_R", "LegLower_R",
    "Fot_R",      "LegUpper_L", "LegLower_L", "Fot_L"};
// The materials of her costume, in every dancer scene.
inline constexpr const char* kDancerMaterialNames[9] = {
    "face", "black", "hair", "skin", "ArmGlove", "ChestFront", "ChestBack", "HipFront", "HipBack"};
// The catwalk's props and the portrait board.
inline constexpr const char* kCatwalkPropMaterials[5] = {"Cat_Side", "Gold", "Pole", "Rope",
                                                         "Cat_Floor"};
inline constexpr const char* kCatwalkPortraitMaterial = "Portrait";
