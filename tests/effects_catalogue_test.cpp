#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/morph.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "show/fade.h"

namespace {

using EffectFnPtr = int (*)(uint32_t*, float, float, float, float, int);

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

uint32_t Scale(uint32_t p, int level) {
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) out |= ((((p >> s) & 0xFF) * level) >> 8) << s;
  return out;
}

uint32_t AddSat(uint32_t a, uint32_t b) {
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) out |= std::min(255u, ((a >> s) & 0xFF) + ((b >> s) & 0xFF)) << s;
  return out;
}

// Pictures made for the test, kept alive for the whole program.
std::vector<std::unique_ptr<uint32_t[]>> pixelStore;
std::vector<std::unique_ptr<Picture>> pictureStore;

Picture* MakePicture(int w, int h, uint32_t seed, uint32_t key) {
  std::mt19937 rng(seed);
  pixelStore.emplace_back(new uint32_t[static_cast<size_t>(w) * h]);
  uint32_t* px = pixelStore.back().get();
  for (int i = 0; i < w * h; ++i) px[i] = rng() & 0xFFFFFF;
  px[0] = key;
  px[w * h - 1] = key;  // a keyed pixel inside as well as the first
  pictureStore.emplace_back(new Picture{w, h, 0, px});
  return pictureStore.back().get();
}

class Effects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitFadeOperations(320, 240, 0);
    WarpSetup();
    MorphSetup();
    MarkSlots();
    for (int i = 0; i <= kPic3da; ++i) PictureSlots[i] = MakePicture(320, 240, 100 + i, 0x010203);
    for (int i = 0; i < 5; ++i)
      PictureSlots[kPicArtwork + i] = MakePicture(6, 3, 200 + i, 0x0000FF);
    PictureSlots[kPicSilence] = MakePicture(5, 4, 300, 0x00FF00);
    for (int i : {kTexSlotFace, kTexSlotBlob, kTexSlotCmap1, kTexSlotMeta1, kTexSlotMeta2,
                  kTexSlotMeta3, kTexSlotMeta4, kTexSlotPhong, kTexSlotWindow3, kTexSlotCube})
      TextureSlots[i] = MakePicture(256, 256, 400 + i, 0);
  }
  void SetUp() override { frame.assign(kFramePixels, Rgb(90, 120, 150)); }
  std::vector<uint32_t> Run(EffectFnPtr fn, float t, float progress, int param) {
    std::vector<uint32_t> f = frame;
    fn(f.data(), t, 0.0f, 1.0f, progress, param);
    return f;
  }
  static const uint32_t* Pixels(int slot) { return PictureSlots[slot]->pixels; }
  std::vector<uint32_t> frame;
};

TEST_F(Effects, ParamsThatDrawNothingDrawNothing) {
  struct Case {
    const char* name;
    EffectFnPtr fn;
    int param;
  } cases[] = {
      {"title 4", TitleEffect, 4},
      {"title -1", TitleEffect, -1},
      {"portrait 2", PortraitEffect, 2},
      {"portrait -1", PortraitEffect, -1},
      {"lens warp 3", LensWarpEffect, 3},
      {"lens warp -2", LensWarpEffect, -2},
      {"texture warp 2", TextureWarpEffect, 2},
      {"rotozoom 3", RotozoomEffect, 3},
      {"warp stack 5", WarpStackEffect, 5},
  };
  for (const Case& c : cases)
    for (float progress : {0.0f, 0.5f, 0.99f})
      EXPECT_EQ(Run(c.fn, 10.0f, progress, c.param), frame) << c.name << " at " << progress;
}

TEST_F(Effects, KeyedPicturesLandWhereTheyBelong) {
  // Words at (10, 10): params 0..4 pick the picture, any other the first.
  struct Word {
    int param, slot;
  } words[] = {
      {0, kPicArtwork}, {3, kPicObjects}, {4, kPicLove}, {5, kPicArtwork}, {-3, kPicArtwork}};
  for (const Word& w : words) {
    auto f = Run(WordEffect, 60.0f, 0.5f, w.param);
    const uint32_t* p = Pixels(w.slot);
    EXPECT_EQ(f[10 * 320 + 10], frame[0]) << "key skipped, param " << w.param;
    EXPECT_EQ(f[10 * 320 + 11], p[1]) << w.param;
    EXPECT_EQ(f[12 * 320 + 14], p[2 * 6 + 4]) << w.param;
    EXPECT_EQ(f[12 * 320 + 15], frame[0]) << "last pixel is the key too";
    EXPECT_EQ(f[13 * 320 + 10], frame[0]) << w.param;
  }
  // The corner logo's bottom-right pixel lands at (318, 238).
  auto f = Run(CornerLogoEffect, 166.0f, 0.5f, 0);
  const uint32_t* logo = Pixels(kPicSilence);
  EXPECT_EQ(f[238 * 320 + 317], logo[3 * 5 + 3]);
  EXPECT_EQ(f[235 * 320 + 314], frame[0]);  // its first pixel: the key
  EXPECT_EQ(f[235 * 320 + 315], logo[1]);
  EXPECT_EQ(f[239 * 320 + 319], frame[0]);
  // Titles: param n shows title n + 1, keyed on its first pixel.
  auto title = Run(TitleEffect, 1.0f, 0.5f, 2);
  const uint32_t* p = Pixels(kPicTitle3);
  EXPECT_EQ(title[0], frame[0]);
  EXPECT_EQ(title[1], p[1]);
  EXPECT_EQ(title[76799], frame[0]);
}

TEST_F(Effects, WholeFramePictures) {
  const uint32_t* fade = Pixels(kPic3da);
  auto in = Run(PictureFadeEffect, 238.0f, 0.0f, 1);
  auto out = Run(PictureFadeEffect, 240.99f, 0.999f, 2);
  auto held = Run(PictureFadeEffect, 239.5f, 0.5f, 0);
  for (int i = 0; i < kFramePixels; i += 61) {
    ASSERT_EQ(in[i], Scale(frame[i], 255)) << "only the frame beneath, scaled";
    ASSERT_EQ(out[i], Scale(frame[i], 254) + Scale(fade[i], 1)) << i;
    ASSERT_EQ(held[i], fade[i]);
  }
  EXPECT_EQ(Run(BackgroundFillEffect, 200.0f, 0.5f, 0),
            std::vector<uint32_t>(kFramePixels, 0x0F373F));
  auto blue = Run(BluePictureEffect, 170.0f, 0.5f, 0);
  EXPECT_EQ(std::memcmp(blue.data(), Pixels(kPicBlue), kFrameBytes), 0);
  // The zoom holds the picture from half way, and before that draws the
  // window on black under a flash that is gone by a quarter.
  auto zoomHeld = Run(ZoomPictureEffect, 31.0f, 0.5f, 0);
  EXPECT_EQ(std::memcmp(zoomHeld.data(), Pixels(kPicDouble), kFrameBytes), 0);
  auto zoomNoFlash = Run(ZoomPictureEffect, 30.0f, 0.3f, 0);
  std::vector<uint32_t> black(kFramePixels, 0);
  ZoomBlitAdd(black.data(), Pixels(kPicDouble), 0.6f * 320.0f);
  EXPECT_EQ(zoomNoFlash, black);
  // At the start: a 3-pixel window (width 0 is held at 3) under full white.
  auto flash = Run(ZoomPictureEffect, 29.3f, 0.0f, 0);
  std::vector<uint32_t> window(kFramePixels, 0);
  ZoomBlitAdd(window.data(), Pixels(kPicDouble), 3.0f);
  WhitenPlain(window.data(), window.data(), 255, kFramePixels);
  for (int i = 0; i < kFramePixels; i += 59) ASSERT_EQ(flash[i] & 0xFFFFFF, window[i]);
}

TEST_F(Effects, FacesAndPortraits) {
  const uint32_t* back = Pixels(kPicFaceBack);
  const uint32_t* front = Pixels(kPicFaceFront);
  auto both = Run(FaceCrossEffect, 34.0f, 0.5f, 0);
  auto frontIn = Run(FaceCrossEffect, 33.0f, 0.3f, 0);
  const int level = static_cast<int>((0.3f - 0.2f) * 5.0f * 255.0f);
  for (int i = 0; i < kFramePixels; i += 53) {
    uint32_t multiplied = 0;
    for (int s = 0; s < 24; s += 8)
      multiplied |= ((((frame[i] >> s) & 0xFF) * ((back[i] >> s) & 0xFF)) >> 8) << s;
    ASSERT_EQ(both[i], AddSat(multiplied, front[i]));
    ASSERT_EQ(frontIn[i], AddSat(multiplied, Scale(front[i], level)));
  }
  // Portrait param 1 adds the second portrait, faded in over the first tenth.
  const uint32_t* second = Pixels(kPicPortrait2);
  auto fadeIn = Run(PortraitEffect, 58.2f, 0.05f, 1);
  auto shown = Run(PortraitEffect, 60.0f, 0.5f, 1);
  auto first = Run(PortraitEffect, 67.0f, 0.3f, 0);
  for (int i = 0; i < kFramePixels; i += 53) {
    ASSERT_EQ(fadeIn[i],
              AddSat(frame[i], Scale(second[i], static_cast<int>(0.05f * 10.0f * 255.0f))));
    ASSERT_EQ(shown[i], AddSat(frame[i], second[i]));
    ASSERT_EQ(first[i], AddSat(frame[i], Pixels(kPicPortrait1)[i]));
  }
  // Param 0 ends in black.
  auto end = Run(PortraitEffect, 72.5f, 0.9999f, 0);
  for (int i = 0; i < kFramePixels; i += 53) ASSERT_LE(end[i] & 0xFF, 3u);
}

TEST_F(Effects, EndScrollRisesFromTheBottom) {
  // A black smeared layer and a known sharp one, 300 rows tall.
  Picture* sharp = MakePicture(320, 300, 77, 0);
  Picture* dark = MakePicture(320, 300, 78, 0);
  std::memset(dark->pixels, 0, 320 * 300 * 4);
  ScrollPicture1 = sharp;
  ScrollPicture2 = dark;
  struct Case {
    float progress;
    int pictureRowAtScreenRow0;  // -1: screen row 0 empty
    int screenRowOfPictureRow0;  // -1: picture row 0 not on screen
  } cases[] = {{0.0f, -1, -1},
               {100.5f / 540.0f, -1, 140},
               {300.5f / 540.0f, 60, -1},
               {0.999f, 299, -1},
               {1.0f, -1, -1}};
  for (const Case& c : cases) {
    auto f = Run(EndScrollEffect, 255.0f, c.progress, 0);
    if (c.pictureRowAtScreenRow0 < 0)
      EXPECT_EQ(f[5], 0u) << c.progress;
    else
      EXPECT_EQ(f[5], sharp->pixels[c.pictureRowAtScreenRow0 * 320 + 5]) << c.progress;
    if (c.screenRowOfPictureRow0 >= 0) {
      EXPECT_EQ(f[c.screenRowOfPictureRow0 * 320 + 7], sharp->pixels[7]);
      EXPECT_EQ(f[(c.screenRowOfPictureRow0 - 1) * 320 + 7], 0u);
      EXPECT_EQ(f[239 * 320 + 7], sharp->pixels[99 * 320 + 7]);
    }
  }
  // A picture that is not a frame wide is not drawn.
  ScrollPicture1 = MakePicture(100, 300, 79, 0);
  auto f = Run(EndScrollEffect, 255.0f, 0.5f, 0);
  EXPECT_EQ(f, std::vector<uint32_t>(kFramePixels, 0));
  ScrollPicture1 = ScrollPicture2 = &SlotMarker;
}

TEST_F(Effects, SilhouetteEchoColoursItsLayers) {
  SilhouetteClear();
  // No silhouettes yet: every pixel is the background colour, softened.
  auto empty = Run(SilhouetteEchoEffect, 184.0f, 0.5f, 0);
  EXPECT_EQ(empty[100 * 320 + 100], 0x3098D8u);
  EXPECT_EQ(empty[0], 0x309BD8u);
  // 200 silhouettes, each covering a 20 x 20 square at its own place: layer
  // k at time t shows silhouette (35 t + 40 k) mod 200.
  for (int n = 0; n < 200; ++n) {
    std::vector<uint32_t> shot(kFramePixels, 0xFFFFFFFF);
    int x0 = (n % 10) * 30 + 5, y0 = (n / 10) * 11;
    for (int y = y0; y < y0 + 20 && y < 240; ++y)
      for (int x = x0; x < x0 + 20; ++x) shot[y * 320 + x] = 0;
    SilhouetteCapture(shot.data());
  }
  const float t = 2.01f;  // layers 1..3: silhouettes 110, 150, 190
  auto f = Run(SilhouetteEchoEffect, t, 0.5f, 0);
  // The three squares in their colours (layer 2 over 1 over 3), then
  // softened in place.
  std::vector<uint32_t> expect(kFramePixels, 0x309BD8);
  const struct {
    int n;
    uint32_t colour;
  } layers[] = {{190, 0xCF6062}, {110, 0x4186EA}, {150, 0xB6A264}};
  for (const auto& layer : layers) {
    int x0 = (layer.n % 10) * 30 + 5, y0 = (layer.n / 10) * 11;
    for (int y = y0; y < y0 + 20 && y < 240; ++y)
      for (int x = x0; x < x0 + 20; ++x) expect[y * 320 + x] = layer.colour;
  }
  Soften(expect.data(), expect.data());
  EXPECT_EQ(f, expect);
  auto centre = [](int n) { return ((n / 10) * 11 + 10) * 320 + (n % 10) * 30 + 15; };
  // The layers loop every 200 / 35 s.
  auto later = Run(SilhouetteEchoEffect, t + 200.0f / 35.0f * 3.0f, 0.5f, 0);
  EXPECT_EQ(later[centre(110)], f[centre(110)]);
  // Param 1 multiplies the echo over the frame.
  auto multiplied = Run(SilhouetteEchoEffect, t, 0.5f, 1);
  uint32_t corner = 0;
  for (int s = 0; s < 24; s += 8)
    corner |= ((((frame[0] >> s) & 0xFF) * ((0x309BD8u >> s) & 0xFF)) >> 8) << s;
  EXPECT_EQ(multiplied[0], corner);
  SilhouetteClear();
}

TEST_F(Effects, WarpEffectsComposeTheirLayers) {
  // Texture warp param 0 multiplies two warps into the frame; param 4 builds
  // the same product in a scratch frame and cross-fades it in.
  auto product = Run(TextureWarpEffect, 33.0f, 0.4f, 0);
  auto faded = Run(TextureWarpEffect, 33.0f, 0.0f, 4);
  for (int i = 0; i < kFramePixels; i += 41) ASSERT_EQ(faded[i], Scale(frame[i], 255));
  auto full = Run(TextureWarpEffect, 33.0f, 1.0f, 4);
  for (int i = 0; i < kFramePixels; i += 41) ASSERT_EQ(full[i], Scale(product[i], 255));
  // Lens warp params 0 and 1 share mode 1.
  EXPECT_EQ(Run(LensWarpEffect, 181.0f, 0.5f, 0), Run(LensWarpEffect, 181.0f, 0.5f, 1));
  EXPECT_NE(Run(LensWarpEffect, 181.0f, 0.5f, 0), Run(LensWarpEffect, 181.0f, 0.5f, 2));
  // Each rotozoom draws something different over the frame.
  auto r0 = Run(RotozoomEffect, 181.0f, 0.5f, 0), r1 = Run(RotozoomEffect, 181.0f, 0.5f, 1);
  EXPECT_NE(r0, frame);
  EXPECT_NE(r0, r1);
  EXPECT_NE(Run(RippleGridEffect, 186.0f, 0.5f, 0), frame);
  // Warp stack param 1 keeps the last plane: after param 2 at its end the
  // plane is flat, so the lens warp comes through unchanged but for the
  // held border.
  Run(WarpStackEffect, 58.0f, 1.0f, 2);
  auto stacked = Run(WarpStackEffect, 40.0f, 0.2f, 1);
  std::vector<uint32_t> lens(kFramePixels);
  LensTableWarp(lens.data(), TextureSlots[kTexSlotMeta1]->pixels, 40.0f, 0);
  EXPECT_EQ(stacked[100 * 320 + 100], lens[100 * 320 + 100]);
  EXPECT_EQ(stacked[0], lens[1 * 320 + 1]);
}

TEST_F(Effects, MorphEffectEndsOnEachPortrait) {
  // The grid file is read from the data directory on the first call.
  std::string dir = ::testing::TempDir() + "/morph-data";
  std::string sub = dir + "/data";
  std::filesystem::create_directories(sub);
  MorphGrid g;
  for (int r = 0; r < kMorphRows; ++r)
    for (int c = 0; c < kMorphColumns; ++c) {
      bool inner = r > 0 && r < 6 && c > 0 && c < 8;
      g.first[r][c] = {40 * c, 40 * r};
      g.second[r][c] = {320 + 40 * c + (inner ? 9 : 0), 40 * r + (inner ? -5 : 0)};
    }
  PlatformSetDataDir(dir);
  ASSERT_EQ(SaveMorphFile(kMorphGrid, g), 1);
  std::memset(&Morph, 0, sizeof Morph);
  MorphResetFirstCall();
  auto start = Run(MorphEffect, 65.25f, 0.0f, 0);
  EXPECT_EQ(std::memcmp(&Morph, &g, sizeof g), 0);
  auto end = Run(MorphEffect, 66.19f, 1.0f, 0);
  const uint32_t* first = Pixels(kPicPortrait1);
  const uint32_t* second = Pixels(kPicPortrait2);
  for (int i = 0; i < kFramePixels; ++i) {
    ASSERT_EQ(start[i], AddSat(frame[i], Scale(second[i], 255))) << i;
    ASSERT_EQ(end[i], AddSat(frame[i], Scale(first[i], 255))) << i;
  }
  PlatformSetDataDir("");
}

}  // namespace
