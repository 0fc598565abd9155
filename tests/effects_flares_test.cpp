#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "effects/flares.h"
#include "effects/frames.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "show/fade.h"

namespace {

using SpriteFn = void (*)(float, float, float, float, uint32_t*, const uint32_t*);
using TintedFn = void (*)(float, float, float, float, uint32_t*, const uint32_t*, float, float,
                          float);

constexpr uint32_t kGuardValue = 0xDEADBEEF;
constexpr int kGuard = 4096;

// A frame with guard pixels before and after it: a drawer that writes
// outside the frame changes a guard.
struct GuardedFrame {
  std::vector<uint32_t> store = std::vector<uint32_t>(kFramePixels + 2 * kGuard, kGuardValue);
  GuardedFrame(uint32_t fill = 0) { std::fill(Pixels(), Pixels() + kFramePixels, fill); }
  uint32_t* Pixels() { return store.data() + kGuard; }
  uint32_t At(int x, int y) { return Pixels()[y * kFrameWidth + x]; }
  bool GuardsIntact() const {
    for (int i = 0; i < kGuard; ++i)
      if (store[i] != kGuardValue || store[kGuard + kFramePixels + i] != kGuardValue) return false;
    return true;
  }
};

// Texel (x, y) of a w x h test texture: each a different colour.
uint32_t Texel(int x, int y) {
  return (uint32_t(10 + 20 * x) << 16) | (uint32_t(5 + 30 * y) << 8) | 7;
}

std::vector<uint32_t> MakeTexture(int w, int h) {
  std::vector<uint32_t> t(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) t[y * w + x] = Texel(x, y);
  return t;
}

class Sprites : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitFadeOperations(320, 240, 0); }
  void TearDown() override {
    SpriteTextureWidth = 256;
    SpriteTextureHeight = 256;
  }
};

// Both variants of the untinted drawer place, scale and cut a 4 x 4 texture
// the same way: the frame holds exactly the expected texels, every other
// pixel is untouched, and nothing outside the frame is written.
TEST_F(Sprites, PlacementScaleAndCutsAtEveryEdge) {
  SpriteTextureWidth = 4;
  SpriteTextureHeight = 4;
  const std::vector<uint32_t> texture = MakeTexture(4, 4);
  struct Case {
    const char* name;
    float cx, cy, w, h;
    int x0, y0;         // first pixel written
    int columns, rows;  // pixels written
    float tx0, ty0;     // texel position at the first pixel
    float step;         // texels per pixel
  };
  const Case cases[] = {
      {"double size inside", 20.0f, 30.0f, 8.0f, 8.0f, 16, 26, 8, 8, 0.0f, 0.0f, 0.5f},
      {"same size", 100.0f, 100.0f, 4.0f, 4.0f, 98, 98, 4, 4, 0.0f, 0.0f, 1.0f},
      {"half pixel offset", 100.5f, 100.5f, 4.0f, 4.0f, 99, 99, 4, 4, 0.5f, 0.5f, 1.0f},
      {"off the left", 0.0f, 50.0f, 8.0f, 8.0f, 0, 46, 4, 8, 2.0f, 0.0f, 0.5f},
      {"off the top", 50.0f, -1.0f, 8.0f, 8.0f, 46, 0, 8, 3, 0.0f, 2.5f, 0.5f},
      {"off the right: column 319 never", 318.0f, 50.0f, 8.0f, 8.0f, 314, 46, 5, 8, 0.0f, 0.0f,
       0.5f},
      {"off the bottom: row 239 never", 50.0f, 238.0f, 8.0f, 8.0f, 46, 234, 8, 5, 0.0f, 0.0f, 0.5f},
      {"top-left corner", -2.0f, -2.0f, 8.0f, 8.0f, 0, 0, 2, 2, 3.0f, 3.0f, 0.5f},
      {"bottom-right corner", 321.0f, 241.0f, 8.0f, 8.0f, 317, 237, 2, 2, 0.0f, 0.0f, 0.5f},
      {"wholly left", -10.0f, 50.0f, 8.0f, 8.0f, 0, 0, 0, 0, 0, 0, 0},
      {"wholly below", 50.0f, 250.0f, 8.0f, 8.0f, 0, 0, 0, 0, 0, 0, 0},
      {"at column 319 only", 320.0f, 50.0f, 2.0f, 2.0f, 0, 0, 0, 0, 0, 0, 0},
      {"smaller than a pixel", 50.0f, 50.0f, 0.9f, 4.0f, 0, 0, 0, 0, 0, 0, 0},
      {"not a number", NAN, 50.0f, 4.0f, 4.0f, 0, 0, 0, 0, 0, 0, 0},
      {"infinite size", 50.0f, 50.0f, INFINITY, 4.0f, 0, 0, 0, 0, 0, 0, 0},
  };
  for (SpriteFn fn : {&DrawSpritePlain, &DrawSpriteSimd}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      GuardedFrame frame;
      fn(c.cx, c.cy, c.w, c.h, frame.Pixels(), texture.data());
      EXPECT_TRUE(frame.GuardsIntact());
      for (int y = 0; y < kFrameHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x) {
          const bool inside = x >= c.x0 && x < c.x0 + c.columns && y >= c.y0 && y < c.y0 + c.rows;
          uint32_t expected = 0;
          if (inside) {
            const int tx = static_cast<int>(c.tx0 + c.step * static_cast<float>(x - c.x0));
            const int ty = static_cast<int>(c.ty0 + c.step * static_cast<float>(y - c.y0));
            expected = Texel(tx, ty);
          }
          ASSERT_EQ(frame.At(x, y), expected) << "at " << x << ", " << y;
        }
    }
  }
}

// A sprite as large as the light's glow right at the camera: the whole
// frame but its last column and row, and never a write outside.
TEST_F(Sprites, HugeSpriteCoversFrameButLastColumnAndRow) {
  SpriteTextureWidth = 4;
  SpriteTextureHeight = 4;
  const std::vector<uint32_t> texture(16, 0x010101);
  for (SpriteFn fn : {&DrawSpritePlain, &DrawSpriteSimd}) {
    for (float size : {1000.0f, 3.0e9f, 1.0e14f}) {
      GuardedFrame frame;
      fn(160.0f, 120.0f, size, size, frame.Pixels(), texture.data());
      EXPECT_TRUE(frame.GuardsIntact());
      EXPECT_EQ(frame.At(0, 0), 0x010101u) << size;
      EXPECT_EQ(frame.At(318, 238), 0x010101u) << size;
      EXPECT_EQ(frame.At(319, 100), 0u) << size;
      EXPECT_EQ(frame.At(100, 239), 0u) << size;
    }
  }
}

// Channels add with saturation and never carry into their neighbours; the
// target's top byte is kept.
TEST_F(Sprites, AdditionSaturatesPerChannel) {
  SpriteTextureWidth = 1;
  SpriteTextureHeight = 1;
  struct Case {
    uint32_t target, texel, expected;
  };
  const Case cases[] = {
      {0x00102030, 0x00010203, 0x00112233}, {0x00F0F0F0, 0x00202020, 0x00FFFFFF},
      {0x0000FF00, 0x0000FFFF, 0x0000FFFF}, {0x7F0000FF, 0x00000001, 0x7F0000FF},
      {0x12FF0000, 0xFF010000, 0x12FF0000},  // the texel's top byte adds nothing
  };
  for (SpriteFn fn : {&DrawSpritePlain, &DrawSpriteSimd})
    for (const Case& c : cases) {
      GuardedFrame frame(c.target);
      const uint32_t texel = c.texel;
      fn(100.0f, 100.0f, 8.0f, 1.0f, frame.Pixels(), &texel);
      EXPECT_EQ(frame.At(98, 100), c.expected) << std::hex << c.target << " + " << c.texel;
    }
}

// Weights pick a row of the multiply table: 1.0 adds texel x 255 >> 8, 0
// adds nothing, each channel with its own weight; weights outside 0..1 are
// held to it.
TEST_F(Sprites, TintWeightsScaleEachChannel) {
  SpriteTextureWidth = 1;
  SpriteTextureHeight = 1;
  const uint32_t texel = 0x00C86432;  // r 200, g 100, b 50
  struct Case {
    float r, g, b;
    uint32_t target, expected;
  };
  const Case cases[] = {
      {1.0f, 1.0f, 1.0f, 0, (199u << 16) | (99u << 8) | 49u},
      {0.0f, 0.0f, 0.0f, 0x00112233, 0x00112233},
      {0.5f, 0.0f, 1.0f, 0, (99u << 16) | 49u},  // 127 x 200 >> 8 = 99
      {2.0f, -1.0f, NAN, 0, 199u << 16},
      {1.0f, 1.0f, 1.0f, 0x00F0F0F0, 0x00FFFFFF},
      {1.0f, 1.0f, 1.0f, 0xAB000000, 0xAB000000 | (199u << 16) | (99u << 8) | 49u},
  };
  for (TintedFn fn : {&DrawTintedSpritePlain, &DrawTintedSpriteSimd})
    for (const Case& c : cases) {
      GuardedFrame frame(c.target);
      fn(100.0f, 100.0f, 8.0f, 1.0f, frame.Pixels(), &texel, c.r, c.g, c.b);
      for (int x = 96; x < 104; ++x)
        EXPECT_EQ(frame.At(x, 100), c.expected) << c.r << " " << c.g << " " << c.b;
    }
}

// The SIMD drawers give the plain ones' bytes, top bytes included, for
// random textures, frames, positions, sizes and weights.
TEST_F(Sprites, SimdMatchesPlainOnRandomData) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> position(-60.0f, 380.0f);
  std::uniform_real_distribution<float> size(0.5f, 300.0f);
  std::uniform_real_distribution<float> weight(-0.2f, 1.2f);
  std::vector<uint32_t> base(kFramePixels);
  for (int round = 0; round < 200; ++round) {
    const int sizes[] = {1, 6, 7, 40, 128, 256};
    SpriteTextureWidth = sizes[rng() % 6];
    SpriteTextureHeight = sizes[rng() % 6];
    std::vector<uint32_t> texture(static_cast<size_t>(SpriteTextureWidth) * SpriteTextureHeight);
    for (uint32_t& t : texture) t = rng();
    for (uint32_t& p : base) p = rng();
    const float cx = position(rng), cy = position(rng), w = size(rng), h = size(rng);
    const float r = weight(rng), g = weight(rng), b = weight(rng);
    std::vector<uint32_t> plain = base, simd = base;
    DrawSpritePlain(cx, cy, w, h, plain.data(), texture.data());
    DrawSpriteSimd(cx, cy, w, h, simd.data(), texture.data());
    ASSERT_EQ(plain, simd) << "untinted round " << round;
    plain = base;
    simd = base;
    DrawTintedSpritePlain(cx, cy, w, h, plain.data(), texture.data(), r, g, b);
    DrawTintedSpriteSimd(cx, cy, w, h, simd.data(), texture.data(), r, g, b);
    ASSERT_EQ(plain, simd) << "tinted round " << round;
  }
}

// ---- sprite files ----

TEST(FlareFiles, TableMatchesTheGeneratedFiles) {
  ASSERT_EQ(std::size(kFlareSprites), static_cast<size_t>(kFlareSpriteCount));
  for (int i = 0; i < kFlareSpriteCount; ++i) {
    EXPECT_STREQ(FlareSprites[i].fileName, kFlareSprites[i].name);
    EXPECT_EQ(FlareSprites[i].width, kFlareSprites[i].width);
    EXPECT_EQ(FlareSprites[i].height, kFlareSprites[i].height);
  }
}

TEST(FlareFiles, OnlyTheExactLengthIsRead) {
  std::vector<uint8_t> bytes(2 * 3 * 3 + 1);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 11);
  struct Case {
    size_t size;
    bool accepted;
  };
  for (const Case c :
       {Case{18, true}, Case{17, false}, Case{19, false}, Case{0, false}, Case{3, false}}) {
    std::vector<uint32_t> pixels(6, 0x55555555);
    std::string message;
    const int ok =
        FlareSpriteParse(bytes.data(), c.size, "flares\\x.raw", 2, 3, pixels.data(), &message);
    EXPECT_EQ(ok != 0, c.accepted) << c.size;
    if (c.accepted) {
      EXPECT_TRUE(message.empty());
      EXPECT_EQ(pixels[0], 0x00000B16u);  // red, green, blue in file order
      EXPECT_EQ(pixels[5], (uint32_t{165} << 16) | (uint32_t{176} << 8) | 187u);
    } else {
      EXPECT_NE(message.find("flares\\x.raw"), std::string::npos) << message;
      EXPECT_EQ(pixels[0], 0x55555555u);  // nothing written
    }
  }
}

class FlareFileDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("kv_flares_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir / "flares");
    PlatformSetDataDir(dir.string());
  }
  void TearDown() override {
    PlatformSetDataDir("");
    std::filesystem::remove_all(dir);
  }
  void Write(int entry, size_t size, uint8_t value) {
    std::string name = kFlareSprites[entry].name;
    name.replace(name.find('\\'), 1, "/");
    FILE* f = std::fopen((dir / name).string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bytes(size, value);
    std::fwrite(bytes.data(), 1, size, f);
    std::fclose(f);
  }
  size_t Bytes(int entry) const {
    return static_cast<size_t>(kFlareSprites[entry].width) * kFlareSprites[entry].height * 3;
  }
  std::filesystem::path dir;
};

// A missing file leaves its sprite black and the loader goes on to the
// entries after it.
TEST_F(FlareFileDir, MissingSpriteIsBlackAndLaterOnesLoad) {
  for (int i = 0; i < kFlareSpriteCount; ++i)
    if (i != 3) Write(i, Bytes(i), 0x40);
  ASSERT_EQ(LoadFlareSprites(), 1);
  for (int i = 0; i < kFlareSpriteCount; ++i) {
    ASSERT_NE(FlareSprites[i].pixels, nullptr);
    const uint32_t expected = i == 3 ? 0u : 0x404040u;
    const int count = FlareSprites[i].width * FlareSprites[i].height;
    for (int p = 0; p < count; ++p) ASSERT_EQ(FlareSprites[i].pixels[p], expected) << i;
  }
}

TEST_F(FlareFileDir, WrongLengthEndsTheShowWithStatusOne) {
  for (int i = 0; i < kFlareSpriteCount; ++i) Write(i, Bytes(i), 0x20);
  Write(4, Bytes(4) - 1, 0x20);
  EXPECT_EXIT(LoadFlareSprites(), ::testing::ExitedWithCode(1), "");
  Write(4, Bytes(4), 0x20);
  Write(8, Bytes(8) + 3, 0x20);
  EXPECT_EXIT(LoadFlareSprites(), ::testing::ExitedWithCode(1), "");
}

// ---- the flare ----

class Flare : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitFadeOperations(320, 240, 0); }
  void SetUp() override {
    for (uint32_t& p : FlareGlow) p = 0x00808080;
    for (int i = 0; i < kFlareSpriteCount; ++i) {
      sprites[i].assign(static_cast<size_t>(FlareSprites[i].width) * FlareSprites[i].height,
                        0x00404040);
      savedPixels[i] = FlareSprites[i].pixels;
      FlareSprites[i].pixels = sprites[i].data();
    }
    std::memset(&light, 0, sizeof light);
    light.colour = {1.0f, 1.0f, 1.0f};
    view.width = 320;
    view.height = 240;
    view.centreX = 159.5f;
    view.centreY = 119.5f;
    view.scaleX = 160.0f;
    view.scaleY = 160.0f;
    MatIdentity(&view.view);
    depth.assign(kFramePixels, 0);
    view.depthBuffer = depth.data();
    view.pitchPixels = kFrameWidth;
    state = {&light, 1, 0.0f, 200.0f, 200.0f};
  }
  void TearDown() override {
    for (int i = 0; i < kFlareSpriteCount; ++i) FlareSprites[i].pixels = savedPixels[i];
  }
  std::vector<uint32_t> sprites[kFlareSpriteCount];
  uint32_t* savedPixels[kFlareSpriteCount];
  Light light;
  FlareView view;
  std::vector<int32_t> depth;
  FlareState state;
  GuardedFrame frame;
};

TEST_F(Flare, BehindTheCameraLeavesStateAndFrameAlone) {
  for (float z : {0.0f, -0.0f, -50.0f}) {
    light.position = {0.0f, 0.0f, z};
    const FlareState before = state;
    DrawFlare(frame.Pixels(), &state, view, 5.0f, 1);
    EXPECT_EQ(state.visible, before.visible);
    EXPECT_EQ(state.lastTime, before.lastTime);
    EXPECT_EQ(state.intensity, before.intensity);
    EXPECT_EQ(frame.At(160, 120), 0u);
  }
  EXPECT_EQ(SpriteTextureWidth, 256);
}

// The glow is centred on the light; the ghosts lie on the line through the
// screen centre; the texture size is restored afterwards.
TEST_F(Flare, GlowAtTheLightAndGhostsOnTheLineThroughTheCentre) {
  light.position = {40.0f, 0.0f, 100.0f};    // 64 pixels right of the centre
  state = {&light, 1, 0.0f, 50.0f, 200.0f};  // glow 80 pixels across, ghosts a quarter size
  DrawFlare(frame.Pixels(), &state, view, 0.0f, 0);
  EXPECT_EQ(frame.At(223, 119), 0x7F7F7Fu);  // 0x80 x 255 >> 8
  EXPECT_EQ(frame.At(96, 119), 0u);          // first ghost's place: no ghosts drawn
  EXPECT_EQ(SpriteTextureWidth, 256);

  GuardedFrame withGhosts;
  state = {&light, 1, 0.0f, 50.0f, 200.0f};
  DrawFlare(withGhosts.Pixels(), &state, view, 0.0f, 1);
  EXPECT_TRUE(withGhosts.GuardsIntact());
  EXPECT_EQ(withGhosts.At(223, 119), 0x7F7F7Fu);
  // Factor -2.0 puts the first ghost at 159.5 - 128, 10 pixels across: rows
  // 115..124; factor -1.0 the third at the mirror image of the light.
  EXPECT_EQ(withGhosts.At(31, 119), 0x3F3F3Fu);
  EXPECT_EQ(withGhosts.At(31, 124), 0x3F3F3Fu);
  EXPECT_EQ(withGhosts.At(31, 125), 0u);
  EXPECT_EQ(withGhosts.At(96, 119), 0x3F3F3Fu);
  EXPECT_EQ(SpriteTextureWidth, 256);
  EXPECT_EQ(SpriteTextureHeight, 256);
}

// Visibility: the screen bounds, then the depth buffer at the light's pixel.
// A change only flips the flag; the intensity moves by 13 maxima a second
// on frames that agree with the stored flag, capped at the maximum and held
// at 1.0 (undrawn) below it.
TEST_F(Flare, VisibilityAndIntensity) {
  struct Step {
    const char* name;
    Vec3 position;
    int32_t depthAtLight;  // written at the pixel the light projects to
    float time;
    int32_t visible;
    float intensity;
  };
  state = {&light, 0, 0.0f, 100.0f, 200.0f};
  const Step steps[] = {
      {"hidden to visible: flag only", {0, 0, 100}, 0, 0.01f, 1, 100.0f},
      {"still visible: grows", {0, 0, 100}, 0, 0.02f, 1, 126.0f},
      {"nearer surface hides it: flag only", {0, 0, 100}, 10000001, 0.03f, 0, 126.0f},
      {"still hidden: shrinks", {0, 0, 100}, 10000001, 0.04f, 0, 100.0f},
      {"farther surface does not hide it", {0, 0, 100}, 9999000, 0.05f, 1, 100.0f},
      {"grows to the cap", {0, 0, 100}, 0, 0.5f, 1, 200.0f},
      {"past the right edge: hidden", {64.01f, 0, 64}, 0, 0.6f, 0, 200.0f},
      {"shrinks below 1: held at 1", {64.01f, 0, 64}, 0, 1.0f, 0, 1.0f},
      {"at the right edge, column 319 read", {64, 0, 64}, 20000000, 1.1f, 0, 1.0f},
      {"above the top: hidden", {0, 48.1f, 64}, 0, 1.2f, 0, 1.0f},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    std::fill(depth.begin(), depth.end(), 0);
    light.position = s.position;
    const float inv = 1.0f / s.position.z;
    const float px = view.centreX + s.position.x * view.scaleX * inv;
    const float py = view.centreY - s.position.y * view.scaleY * inv;
    if (px > -1.0f && px < 320.0f && py > -1.0f && py < 240.0f)
      depth[static_cast<int>(py) * kFrameWidth + static_cast<int>(px)] = s.depthAtLight;
    DrawFlare(frame.Pixels(), &state, view, s.time, 1);
    EXPECT_EQ(state.visible, s.visible);
    EXPECT_NEAR(state.intensity, s.intensity, 1e-3f);
    EXPECT_EQ(state.lastTime, s.time);
  }
  EXPECT_TRUE(frame.GuardsIntact());
}

// An intensity below 1.0 draws nothing, and a negative one counts as below.
TEST_F(Flare, FadedGlowDrawsNothing) {
  light.position = {0.0f, 0.0f, 100.0f};
  for (float intensity : {0.99f, -5.0f, -0.0f}) {
    state = {&light, 1, 0.0f, intensity, 200.0f};
    DrawFlare(frame.Pixels(), &state, view, 0.0f, 1);
    EXPECT_EQ(state.intensity, 1.0f);
    for (int i = 0; i < kFramePixels; ++i) ASSERT_EQ(frame.Pixels()[i], 0u) << intensity;
  }
}

// ---- the flare scene row ----

// A scene of two lights and a camera 300 in front of the origin, nothing to
// hide them: the circling light's glow lands where the camera sees it on the
// first frame; the light at the origin starts hidden, so its glow appears
// only from the second frame, after its flag has turned.
TEST_F(Flare, SceneRowFlaresBothLights) {
  for (FlareSprite& sprite : FlareSprites) sprite.pixels = nullptr;  // glows only
  Scene scene;
  ASSERT_EQ(SceneCreate(&scene, 0, 0, 0, 2, 1, 0), 1);
  ASSERT_NE(SceneAddLight(&scene, "centre"), nullptr);
  ASSERT_NE(SceneAddLight(&scene, "orbit"), nullptr);
  Camera* camera = SceneAddCamera(&scene, "camera");
  ASSERT_NE(camera, nullptr);
  camera->positionNode.position.current = {0.0f, 0.0f, -300.0f};
  camera->targetNode.position.current = {0.0f, 0.0f, 0.0f};

  std::vector<uint32_t> frame(kFramePixels, 0);
  ASSERT_EQ(FlareSceneSetup(nullptr), 0);
  FlareSceneEffect(frame.data(), 37.0f, 37.0f, 56.5f, 0.0f, 0);
  EXPECT_EQ(frame, std::vector<uint32_t>(kFramePixels, 0));

  ASSERT_EQ(FlareSceneSetup(&scene), 1);
  Viewport expectView;
  ASSERT_EQ(ViewportCreate(&expectView, 1, 320, 240), 1);
  ViewportSetFov(&expectView, 100.0f);
  MatLookAt(camera->positionNode.position.current, camera->targetNode.position.current, 0.0f,
            &expectView.view);
  const float t = 37.0f;
  const Vec3 orbit = {180.0f * std::sin(-t), 160.0f * std::cos(0.1f * t), 180.0f * std::cos(t)};
  Vec3 c;
  MatTransformPoint(orbit, expectView.view, &c);
  const int ox = static_cast<int>(expectView.centreX + c.x * expectView.scaleX / c.z);
  const int oy = static_cast<int>(expectView.centreY - c.y * expectView.scaleY / c.z);

  FlareSceneEffect(frame.data(), t, 37.0f, 56.5f, 0.0f, 0);
  EXPECT_EQ(frame[oy * kFrameWidth + ox], 0x4C3366u);  // 0x80 through (0.6, 0.4, 0.8)
  EXPECT_EQ(frame[119 * kFrameWidth + 159], 0u);

  std::fill(frame.begin(), frame.end(), 0);
  FlareSceneEffect(frame.data(), t + 0.05f, 37.0f, 56.5f, 0.0f, 0);
  EXPECT_EQ(frame[119 * kFrameWidth + 159], 0x4C7233u);  // 0x80 through (0.6, 0.9, 0.4)
  FlareSceneSetup(nullptr);
}

}  // namespace
