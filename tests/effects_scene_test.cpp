#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effects/dancer_scenes.h"
#include "effects/effects.h"
#include "effects/scene_effects.h"
#include "effects/warp_helpers.h"
#include "engine/material_library.h"
#include "engine/motion.h"
#include "engine/render_pipeline.h"
#include "image/asset_names.h"
#include "image/picture.h"
#include "show/fade.h"
#include "tests/effects_scene_support.h"

namespace {

using namespace scene_test;

// ---- visibility lists ----

std::vector<uint8_t> Words(std::initializer_list<int> words) {
  std::vector<uint8_t> bytes;
  for (int w : words) {
    bytes.push_back(static_cast<uint8_t>(w & 0xFF));
    bytes.push_back(static_cast<uint8_t>((w >> 8) & 0xFF));
  }
  return bytes;
}

std::vector<std::vector<int>> Records(const VisibilityList& list) {
  std::vector<std::vector<int>> out;
  for (int k = 0; k < list.recordCount; k++)
    out.emplace_back(list.records[k], list.records[k] + list.counts[k]);
  return out;
}

// A sound list is read record by record; a damaged one is refused and the
// list read before stays.
TEST(VisibilityList, DamagedFilesAreRefusedAndTheLoadedListStays) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"negative count", Words({-1})},
      {"count cut after a record",
       [] {
         std::vector<uint8_t> b = Words({1, 0});
         b.push_back(5);
         return b;
       }()},
      {"indices cut", Words({3, 1})},
      {"index past the meshes", Words({2, 0, 3})},
      {"negative index", Words({1, -2})},
      {"count far beyond the file", Words({0x7FFF, 0})},
  };
  const std::vector<uint8_t> good = Words({1, 2, 0, 2, 0, 1});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    VisibilityList list = {};
    VisibilityResult result;
    ASSERT_EQ(VisibilityParse(good.data(), good.size(), "meg1.iff", 3, &list, &result), 1);
    EXPECT_EQ(VisibilityParse(c.bytes.data(), c.bytes.size(), "meg1.iff", 3, &list, &result), 0);
    EXPECT_EQ(result.status, VISIBILITY_MALFORMED);
    EXPECT_NE(result.message.find("meg1.iff"), std::string::npos) << result.message;
    EXPECT_EQ(Records(list), (std::vector<std::vector<int>>{{2}, {}, {0, 1}}));
    VisibilityRelease(&list);
  }
}

TEST(VisibilityListDeathTest, TheLoaderEndsTheShowOnABadOrMissingFile) {
  DataDir dir;
  dir.Write("gfx\\meg0.iff", Words({1, 9}));
  VisibilityList list = {};
  EXPECT_EXIT(LoadVisibilityList("gfx\\meg0.iff", 3, &list), ::testing::ExitedWithCode(1), "");
  EXPECT_EXIT(LoadVisibilityList("gfx\\meg4.iff", 3, &list), ::testing::ExitedWithCode(1), "");
}

// ---- rows drawn through the main viewport ----

class SceneRow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitFadeOperations(320, 240, 0); }
  void SetUp() override {
    ASSERT_EQ(SceneEffectsCreateViewports(), 1);
    SceneEffectsForget();
  }
  std::vector<uint32_t> frame = std::vector<uint32_t>(kFramePixels, 0x123456);
};

// Three boxes across the view (left, centre, right) seen by five identical
// cameras from 200 units away.
SceneFile ThreeBoxes() {
  SceneFile f;
  f.lastFrame = 1000;
  const char* names[3] = {"Left", "Centre", "Right"};
  for (int i = 0; i < 3; i++) {
    const float x = -60.0f + 60.0f * i;
    f.meshes.push_back(Box(names[i], {x - 15, -15, -15}, {x + 15, 15, 15}));
    f.nodes.push_back(MeshNode(names[i], static_cast<int16_t>(i)));
  }
  for (int c = 0; c < 5; c++)
    AddCamera(&f, "Cam" + std::to_string(c), {0, -200, 0}, {0, 0, 0},
              static_cast<int16_t>(3 + 2 * c));
  return f;
}

std::vector<int> Seen(const std::vector<uint32_t>& frame) {
  return {Drawn(frame.data(), 40, 100, 120, 140) > 0, Drawn(frame.data(), 140, 100, 180, 140) > 0,
          Drawn(frame.data(), 200, 100, 280, 140) > 0};
}

TEST_F(SceneRow, CityDrawsWhatTheCameraListNamesUntilTheListEnds) {
  LoadInto(&CityScene, ThreeBoxes());
  Whiten(&CityScene);
  const std::vector<uint8_t> camera0 = Words({1, 1, 2, 0, 2}), camera4 = Words({1, 2});
  VisibilityResult result;
  ASSERT_EQ(VisibilityParse(camera0.data(), camera0.size(), "meg0", 3, &CityVisibility[0], &result),
            1);
  ASSERT_EQ(VisibilityParse(nullptr, 0, "meg1", 3, &CityVisibility[1], &result), 1);
  ASSERT_EQ(VisibilityParse(camera4.data(), camera4.size(), "meg4", 3, &CityVisibility[2], &result),
            1);
  const struct {
    const char* what;
    int param;
    float t;
    std::vector<int> seen;
  } cases[] = {
      {"camera 0, record 0", 0, 80.0f, {0, 1, 0}},
      {"camera 0, record 1", 0, 80.2f, {1, 0, 1}},
      {"camera 0, past its two records", 0, 80.5f, {1, 1, 1}},
      {"camera 4 (param 14), record 0", 14, 80.05f, {0, 0, 1}},
      {"camera 4, past its record", 14, 80.1f, {1, 1, 1}},
      {"camera 1 with an empty list", 1, 80.0f, {1, 1, 1}},
      {"camera 2 has no list", 2, 80.0f, {1, 1, 1}},
      {"camera 3 has no list", 3, 80.0f, {1, 1, 1}},
      {"no camera 7: only cleared", 7, 80.0f, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CityEffect(frame.data(), c.t, 80.0f, 87.0f, 0.0f, c.param);
    EXPECT_EQ(Seen(frame), c.seen);
    EXPECT_EQ(frame[0], 0u);  // the frame is cleared
  }
  EXPECT_EQ(MainViewport.planeCount, 5);  // the far plane is off again
  for (VisibilityList& list : CityVisibility) VisibilityRelease(&list);
  Load3dsRelease(&CityScene);
}

// The centre box slides along x with the scene clock; seven cameras see
// the same view, so equal clocks give equal frames whatever the camera.
TEST_F(SceneRow, CatwalkClocksAndCameras) {
  DataDir dir;
  ASSERT_EQ(WriteMotionFile(dir.File(kMotionFiles[0]).c_str(), Motion(1)), 1);
  ASSERT_EQ(WriteMotionFile(dir.File(kMotionFiles[1]).c_str(), Motion(2)), 1);
  SceneFile f = ThreeBoxes();
  f.lastFrame = 3000;
  f.nodes[1] = MeshNode("Centre", 1, {{0, {-60, 0, 0}}, {300, {60, 0, 0}}});
  for (int c = 5; c < 7; c++)
    AddCamera(&f, "Cam" + std::to_string(c), {0, -200, 0}, {0, 0, 0},
              static_cast<int16_t>(3 + 2 * c));
  LoadInto(&CatwalkScene, f);
  Whiten(&CatwalkScene);

  auto draw = [&](float t, float start, int param) {
    std::vector<uint32_t> out(kFramePixels, 0x123456);
    CatwalkEffect(out.data(), t, start, start + 10.0f, 0.0f, param);
    return out;
  };
  const struct {
    const char* what;
    float t1, start1;
    int param1;
    float t2, start2;
    int param2;
    bool same;
  } cases[] = {
      {"param 6 runs twice as fast from the row's start", 21, 20, 6, 22, 20, 5, true},
      {"param 5 counts from the row's start", 32, 20, 5, 12, 0, 1, true},
      {"other params count from the show's start", 12, 3, 1, 12, 9, 0, true},
      {"the clock moves the scene", 22, 20, 5, 23, 20, 5, false},
      {"param 5 looks through camera 3", 32, 20, 5, 12, 0, 3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint32_t> a = draw(c.t1, c.start1, c.param1);
    EXPECT_GT(Drawn(a.data(), 0, 0, kFrameWidth, kFrameHeight), 1000);
    EXPECT_EQ(a == draw(c.t2, c.start2, c.param2), c.same);
  }
  // Params 5 and 6 dance the second motion, the others the first.
  draw(12, 0, 1);
  EXPECT_EQ(MotionPartCount, 1);
  draw(22, 20, 5);
  EXPECT_EQ(MotionPartCount, 2);

  // Without camera 7 nothing is drawn.
  EXPECT_EQ(Drawn(draw(12, 0, 7).data(), 0, 0, kFrameWidth, kFrameHeight), 0);
  Load3dsRelease(&CatwalkScene);
}

// The catwalk's lights take their pattern from the environment picture, and
// keep it from frame to frame: it follows a picture set anew, and a picture
// whose pixels changed once it is set again; each light's tint stays its
// own.
TEST_F(SceneRow, LightsFollowTheEnvironmentPictureSetAnew) {
  DataDir dir;
  ASSERT_EQ(WriteMotionFile(dir.File(kMotionFiles[0]).c_str(), Motion(1)), 1);
  ASSERT_EQ(WriteMotionFile(dir.File(kMotionFiles[1]).c_str(), Motion(2)), 1);
  LoadInto(&CatwalkScene, ThreeBoxes());
  Whiten(&CatwalkScene);
  std::vector<uint32_t> bright(256 * 256), stripes(256 * 256);
  for (int i = 0; i < 256 * 256; i++) {
    bright[i] = 0xE0E0E0;
    stripes[i] = (i / 256) % 16 < 8 ? 0xFFFFFF : 0x102030;
  }
  Picture a{256, 256, 0, bright.data()}, b{256, 256, 0, stripes.data()};
  auto draw = [&](bool close) {
    std::vector<uint32_t> out(kFramePixels, 0x123456);
    if (close)
      CatwalkCloseEffect(out.data(), 15.0f, 14.0f, 22.0f, 0.0f, 4);
    else
      CatwalkEffect(out.data(), 12.0f, 9.0f, 14.0f, 0.0f, 0);
    return out;
  };
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "close-up" : "catwalk");
    SetEnvironmentTexture(&a);
    const std::vector<uint32_t> first = draw(close);
    SetEnvironmentTexture(&b);
    const std::vector<uint32_t> second = draw(close);
    EXPECT_NE(first, second);
    EXPECT_EQ(draw(close), second);
    SetEnvironmentTexture(&a);
    EXPECT_EQ(draw(close), first);
    // The second picture's pixels changed, then set again.
    stripes = bright;
    SetEnvironmentTexture(&b);
    EXPECT_EQ(draw(close), first);
    for (int i = 0; i < 256 * 256; i++) stripes[i] = (i / 256) % 16 < 8 ? 0xFFFFFF : 0x102030;
  }
  // From the close-up's tinted lights straight to the catwalk's untinted one
  // and back, against each drawn first after the picture was set.
  SetEnvironmentTexture(&b);
  const std::vector<uint32_t> close = draw(true);
  const std::vector<uint32_t> walk = draw(false);
  SetEnvironmentTexture(&b);
  EXPECT_EQ(draw(false), walk);
  EXPECT_EQ(draw(true), close);
  SetEnvironmentTexture(nullptr);
  Load3dsRelease(&CatwalkScene);
}

// Rows 29 and 30: the dancer binds the third motion at 87 s and the fourth
// at 90 s, each once; a motion bound by another row in between is replaced
// again when a dancer row comes back.
TEST_F(SceneRow, DancerBindsAMotionOnlyWhenItsFileChanges) {
  DataDir dir;
  for (int i = 0; i < 5; i++)
    ASSERT_EQ(WriteMotionFile(dir.File(kMotionFiles[i]).c_str(), Motion(i + 1)), 1);
  LoadInto(&BoxScene, ThreeBoxes());
  Whiten(&BoxScene);
  constexpr float kUntouched = -5.0f;
  const struct {
    const char* what;
    int (*row)(uint32_t*, float, float, float, float, int);
    float t, start;
    int param;
    int parts;
    float duration;
  } steps[] = {
      {"row at 87 s binds motion03", DancerEffect, 87.0f, 87.0f, 0, 3, 3.0f},
      {"same row later", DancerEffect, 89.9f, 87.0f, 0, 3, kUntouched},
      {"row at 90 s binds motion04", DancerEffect, 90.0f, 90.0f, 1, 4, 1.0f},
      {"same row later", DancerEffect, 95.0f, 90.0f, 1, 4, kUntouched},
      {"the close-up binds motion02", CatwalkCloseEffect, 14.0f, 14.0f, 4, 2, 1.0f},
      {"the dancer binds motion04 again", DancerEffect, 96.0f, 90.0f, 1, 4, 1.0f},
      {"a param past 2 dances motion03", DancerEffect, 96.0f, 90.0f, 7, 3, 3.0f},
      {"the box row's param 2 binds motion05", BoxDancerEffect, 131.0f, 130.2f, 2, 5, 3.0f},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    MotionFrameDuration = kUntouched;
    s.row(frame.data(), s.t, s.start, s.start + 5.0f, 0.1f, s.param);
    EXPECT_EQ(MotionPartCount, s.parts);
    EXPECT_EQ(MotionFrameDuration, s.duration);
  }
  Load3dsRelease(&BoxScene);
}

TEST_F(SceneRow, SilhouettesRecordTwoHundredPosesOfTheDancerOnly) {
  DataDir dir;
  // Part "Centre" of the motion is the dancer; the other boxes are set.
  std::vector<MotionTrack> motion = {{"Centre", {}}};
  for (int i = 0; i < 3; i++) {
    Mat4 m;
    MatIdentity(&m);
    m.m[12] = -30.0f + 30.0f * i;
    motion[0].frames.push_back(m);
  }
  ASSERT_EQ(WriteMotionFile(dir.File(kMotionFiles[0]).c_str(), motion), 1);
  LoadInto(&CatwalkScene, ThreeBoxes());
  MaterialSetTexture(&CatwalkScene.materials[0], -1, 0, WhiteTexture(), 1);
  ForgetBoundMotion();
  BindMotionFile(kMotionFiles[0], 1.0f);
  SilhouetteClear();
  RecordDancerSilhouettes(&CatwalkScene);
  EXPECT_EQ(SilhouetteCount(), kSilhouetteFrames);

  // Poses 0 and 1: the box to the left of the centre, then at it; the boxes
  // at the sides never show.
  std::vector<uint8_t> mask(kFramePixels, 0);
  SilhouetteMask(mask.data(), 1, 0);
  SilhouetteMask(mask.data(), 2, 1);
  auto bits = [&](int x0, int x1, int bit) {
    int n = 0;
    for (int y = 100; y < 140; y++)
      for (int x = x0; x < x1; x++) n += (mask[y * kFrameWidth + x] & bit) != 0;
    return n;
  };
  EXPECT_GT(bits(100, 140, 2), 100);
  EXPECT_EQ(bits(150, 170, 2), 0);
  EXPECT_GT(bits(150, 170, 4), 100);
  EXPECT_EQ(bits(40, 90, 6) + bits(230, 280, 6), 0);
  SilhouetteClear();
  Load3dsRelease(&CatwalkScene);
}

}  // namespace
