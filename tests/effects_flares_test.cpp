#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "effects/flares.h"
#include "effects/frames.h"
#include "engine/render_pipeline.h"
#include "image/asset_names.h"
#include "platform/system.h"
#include "show/fade.h"
#include "tests/engine_owned_scene.h"

namespace {

constexpr int kGuard = 1024;

// A frame with guard pixels on both sides: a write outside the frame shows.
struct GuardedFrame {
  std::vector<uint32_t> store;
  explicit GuardedFrame(uint32_t fill = 0) : store(kFramePixels + 2 * kGuard, 0xDEADBEEF) {
    std::fill(Pixels(), Pixels() + kFramePixels, fill);
  }
  uint32_t* Pixels() { return store.data() + kGuard; }
  uint32_t At(int x, int y) { return Pixels()[y * kFrameWidth + x]; }
  bool GuardsIntact() const {
    for (int i = 0; i < kGuard; ++i)
      if (store[i] != 0xDEADBEEF || store[kGuard + kFramePixels + i] != 0xDEADBEEF) return false;
    return true;
  }
};

uint32_t Texel(int x, int y) { return uint32_t(10 + 20 * x) << 16 | uint32_t(5 + 30 * y) << 8 | 7; }

class Sprites : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitFadeOperations(320, 240, 0); }
  void TearDown() override { SpriteTextureWidth = SpriteTextureHeight = 256; }
};

// Both variants place, scale and cut a 4 x 4 texture alike: exactly the
// expected texels land, nothing else changes, nothing outside is written,
// and the frame's last column and row are never touched.
TEST_F(Sprites, PlacementScaleAndCutsAtEveryEdge) {
  SpriteTextureWidth = SpriteTextureHeight = 4;
  std::vector<uint32_t> texture(16);
  for (int i = 0; i < 16; ++i) texture[i] = Texel(i % 4, i / 4);
  struct Case {
    const char* name;
    float cx, cy, w;
    int x0, y0, columns, rows;
    float tx0, ty0, step;  // texel position at the first pixel, texels per pixel
  };
  const Case cases[] = {
      {"double size", 20, 30, 8, 16, 26, 8, 8, 0, 0, 0.5f},
      {"half pixel offset", 100.5f, 100.5f, 4, 99, 99, 4, 4, 0.5f, 0.5f, 1},
      {"off the left", 0, 50, 8, 0, 46, 4, 8, 2, 0, 0.5f},
      {"off the top", 50, -1, 8, 46, 0, 8, 3, 0, 2.5f, 0.5f},
      {"off the right", 318, 50, 8, 314, 46, 5, 8, 0, 0, 0.5f},
      {"off the bottom", 50, 238, 8, 46, 234, 8, 5, 0, 0, 0.5f},
      {"top-left corner", -2, -2, 8, 0, 0, 2, 2, 3, 3, 0.5f},
      {"wholly left", -10, 50, 8, 0, 0, 0, 0, 0, 0, 0},
      {"column 319 only", 320, 50, 2, 0, 0, 0, 0, 0, 0, 0},
      {"below a pixel", 50, 50, 0.9f, 0, 0, 0, 0, 0, 0, 0},
      {"not a number", NAN, 50, 4, 0, 0, 0, 0, 0, 0, 0},
  };
  for (auto fn : {&DrawSpritePlain, &DrawSpriteSimd}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      GuardedFrame frame;
      fn(c.cx, c.cy, c.w, c.w, frame.Pixels(), texture.data());
      EXPECT_TRUE(frame.GuardsIntact());
      for (int y = 0; y < kFrameHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x) {
          uint32_t expected = 0;
          if (x >= c.x0 && x < c.x0 + c.columns && y >= c.y0 && y < c.y0 + c.rows)
            expected = Texel(static_cast<int>(c.tx0 + c.step * static_cast<float>(x - c.x0)),
                             static_cast<int>(c.ty0 + c.step * static_cast<float>(y - c.y0)));
          ASSERT_EQ(frame.At(x, y), expected) << x << ", " << y;
        }
    }
    // As large as a glow right at the camera: all but the last column and row.
    for (float size : {1000.0f, 3.0e9f, 1.0e14f}) {
      GuardedFrame frame;
      fn(160.0f, 120.0f, size, size, frame.Pixels(), texture.data());
      EXPECT_TRUE(frame.GuardsIntact());
      EXPECT_NE(frame.At(0, 0), 0u);
      EXPECT_NE(frame.At(318, 238), 0u);
      EXPECT_EQ(frame.At(319, 100) | frame.At(100, 239), 0u) << size;
    }
  }
}

// Per-channel saturation without carries; tint weights through the multiply
// table (1.0 adds texel x 255 >> 8), held to 0..1; the target's top byte
// kept. The SIMD forms are held to these by the random test below.
TEST_F(Sprites, ChannelArithmetic) {
  SpriteTextureWidth = SpriteTextureHeight = 1;
  struct Case {
    bool tinted;
    float r, g, b;
    uint32_t target, texel, expected;
  };
  const Case cases[] = {
      {false, 0, 0, 0, 0x0000FF00, 0x0000FFFF, 0x0000FFFF},
      {false, 0, 0, 0, 0x12FF0000, 0xFF010000, 0x12FF0000},
      {true, 0.5f, 0, 1, 0x00112233, 0x00C86432, 0x00742264},  // 127 x 200 >> 8 = 99
      {true, 2, -1, NAN, 0x00F0F0F0, 0x00C86432, 0x00FFF0F0},
  };
  for (const Case& c : cases) {
    GuardedFrame frame(c.target);
    if (c.tinted)
      DrawTintedSpritePlain(100, 100, 8, 1, frame.Pixels(), &c.texel, c.r, c.g, c.b);
    else
      DrawSpritePlain(100, 100, 8, 1, frame.Pixels(), &c.texel);
    for (int x = 96; x < 104; ++x) EXPECT_EQ(frame.At(x, 100), c.expected) << std::hex << c.target;
  }
}

TEST_F(Sprites, SimdMatchesPlainOnRandomData) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> position(-60, 380), size(0.5f, 300), weight(-0.2f, 1.2f);
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
    DrawTintedSpritePlain(cx, cy, w, h, plain.data(), texture.data(), r, g, b);
    DrawTintedSpriteSimd(cx, cy, w, h, simd.data(), texture.data(), r, g, b);
    ASSERT_EQ(plain, simd) << "tinted round " << round;
  }
}

// Many sprites at once, their rows shared by both threads, come out as the
// same sprites drawn one after the other: overlapping, cut at every edge,
// from several textures, none, one or hundreds at a time.
TEST_F(Sprites, ManyAtOnceDrawAsOneAfterAnother) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> position(-80, 400), size(0.5f, 150);
  SpriteTextureWidth = 40;
  SpriteTextureHeight = 56;
  std::vector<std::vector<uint32_t>> textures(3, std::vector<uint32_t>(40 * 56));
  for (auto& texture : textures)
    for (uint32_t& t : texture) t = rng() & 0x3F3F3F3F;
  std::vector<uint32_t> base(kFramePixels);
  for (int round = 0; round < 40; ++round) {
    for (uint32_t& p : base) p = rng() & 0x7F7F7F7F;
    const int count = round == 0 ? 0 : round == 1 ? 1 : static_cast<int>(rng() % 400);
    std::vector<SpriteDraw> sprites;
    for (int i = 0; i < count; ++i)
      sprites.push_back(
          {position(rng), position(rng) * 0.75f, size(rng), size(rng), textures[rng() % 3].data()});
    std::vector<uint32_t> one = base, many = base;
    for (const SpriteDraw& d : sprites) DrawSprite(d.cx, d.cy, d.w, d.h, one.data(), d.texture);
    DrawSprites(sprites.data(), count, many.data());
    ASSERT_EQ(one, many) << "round " << round << ", " << count << " sprites";
    if (count > 50) {
      EXPECT_NE(one, base);
    }
  }
}

// ---- sprite files ----

// Sprites are read red, green, blue; a missing one is black and the entries
// after it still load; one of the wrong length, short or long, ends the
// show with status 1. The table names the files the generator writes.
TEST(FlareFiles, MissingIsBlackWrongLengthEndsTheShow) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("kv_flares_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "flares");
  PlatformSetDataDir(dir.string());
  auto write = [&](int entry, int extra) {
    std::string name = kFlareSprites[entry].name;
    FILE* f = std::fopen((dir / name.replace(name.find('\\'), 1, "/")).c_str(), "wb");
    std::vector<uint8_t> bytes(kFlareSprites[entry].width * kFlareSprites[entry].height * 3 +
                               extra);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 11 + entry);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  for (int i = 0; i < kFlareSpriteCount; ++i)
    if (i != 3) write(i, 0);
  ASSERT_EQ(LoadFlareSprites(), 1);
  for (int i = 0; i < kFlareSpriteCount; ++i) {
    EXPECT_STREQ(FlareSprites[i].fileName, kFlareSprites[i].name);
    const int count = FlareSprites[i].width * FlareSprites[i].height;
    for (int p = 0; p < count; ++p) {
      const uint32_t r = (33 * p + i) & 255, g = (33 * p + 11 + i) & 255,
                     b = (33 * p + 22 + i) & 255;
      ASSERT_EQ(FlareSprites[i].pixels[p], i == 3 ? 0u : r << 16 | g << 8 | b) << i << "/" << p;
    }
  }
  write(4, -1);
  EXPECT_EXIT(LoadFlareSprites(), ::testing::ExitedWithCode(1), "");
  write(4, 0);
  write(8, 3);
  EXPECT_EXIT(LoadFlareSprites(), ::testing::ExitedWithCode(1), "");
  PlatformSetDataDir("");
  std::filesystem::remove_all(dir);
}

// ---- the flare ----

class Flare : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitFadeOperations(320, 240, 0); }
  void SetUp() override {
    std::fill(std::begin(FlareGlow), std::end(FlareGlow), 0x00808080);
    for (int i = 0; i < kFlareSpriteCount; ++i) {
      sprites[i].assign(FlareSprites[i].width * FlareSprites[i].height, 0x00404040);
      saved[i] = FlareSprites[i].pixels;
      FlareSprites[i].pixels = sprites[i].data();
    }
    light = Light{};
    light.colour = {1, 1, 1};
    view = {320, 240, 159.5f, 119.5f, 160, 160, {}, depth.data(), kFrameWidth};
    MatIdentity(&view.view);
  }
  void TearDown() override {
    for (int i = 0; i < kFlareSpriteCount; ++i) FlareSprites[i].pixels = saved[i];
  }
  std::vector<uint32_t> sprites[kFlareSpriteCount];
  uint32_t* saved[kFlareSpriteCount];
  Light light;
  std::vector<int32_t> depth = std::vector<int32_t>(kFramePixels);
  FlareView view;
  GuardedFrame frame;
};

// The glow is centred on the light; the ghosts lie on the line through the
// screen centre; the sprite texture size is restored afterwards.
TEST_F(Flare, GlowAtTheLightGhostsThroughTheCentre) {
  light.position = {40, 0, 100};               // 64 pixels right of the centre
  FlareState state = {&light, 1, 0, 50, 200};  // glow 80 pixels wide, ghosts a quarter size
  DrawFlare(frame.Pixels(), &state, view, 0, 0);
  EXPECT_EQ(frame.At(31, 119) | frame.At(96, 119), 0u);
  GuardedFrame ghosts;
  DrawFlare(ghosts.Pixels(), &state, view, 0, 1);
  EXPECT_EQ(ghosts.At(223, 119), 0x7F7F7Fu);  // 0x80 x 255 >> 8
  // Factor -2: centre 31.5, 10 pixels across (rows 115..124); factor -1 at
  // the light's mirror image.
  EXPECT_EQ(ghosts.At(31, 119), 0x3F3F3Fu);
  EXPECT_EQ(ghosts.At(31, 124), 0x3F3F3Fu);
  EXPECT_EQ(ghosts.At(31, 125), 0u);
  EXPECT_EQ(ghosts.At(96, 119), 0x3F3F3Fu);
  EXPECT_EQ(SpriteTextureWidth * 1000 + SpriteTextureHeight, 256256);
}

// Visibility from the screen bounds, then the depth buffer at the light's
// pixel. A change only flips the flag; frames that agree with it move the
// intensity by 13 maxima a second, capped, and held at 1.0 (undrawn) below
// it. Behind the camera nothing changes.
TEST_F(Flare, VisibilityAndIntensity) {
  struct Step {
    const char* name;
    Vec3 position;
    int32_t depthAtLight;
    float time;
    int32_t visible;
    float intensity;
  };
  FlareState state = {&light, 0, 0, 100, 200};
  const Step steps[] = {
      {"hidden to visible: flag only", {0, 0, 100}, 0, 0.01f, 1, 100},
      {"still visible: grows", {0, 0, 100}, 0, 0.02f, 1, 126},
      {"nearer surface hides it", {0, 0, 100}, 10000001, 0.03f, 0, 126},
      {"still hidden: shrinks", {0, 0, 100}, 10000001, 0.04f, 0, 100},
      {"farther surface does not hide it", {0, 0, 100}, 9999000, 0.05f, 1, 100},
      {"grows to the cap", {0, 0, 100}, 0, 0.5f, 1, 200},
      // 0.3 pixel outside the left and top edges: inside the bounds, but
      // not in the frame, so the nearer surface at column or row 0 is not
      // consulted.
      {"left of column 0: no depth test", {-63.92f, 0, 64}, 20000000, 0.52f, 1, 200},
      {"above row 0: no depth test", {0, 47.92f, 64}, 20000000, 0.54f, 1, 200},
      {"behind the camera: untouched", {0, 0, -1}, 0, 0.55f, 1, 200},
      {"past the right edge", {64.01f, 0, 64}, 0, 0.6f, 0, 200},
      {"below 1: held at 1", {64.01f, 0, 64}, 0, 1.0f, 0, 1},
      {"right edge: column 319 read", {64, 0, 64}, 20000000, 1.1f, 0, 1},
      {"just inside the left edge: column 0 read", {-63.72f, 0, 64}, 20000000, 1.15f, 0, 1},
      {"above the top", {0, 48.1f, 64}, 0, 1.2f, 0, 1},
  };
  float lastTime = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    std::fill(depth.begin(), depth.end(), 0);
    light.position = s.position;
    const float px = view.centreX + s.position.x * 160 / s.position.z;
    const float py = view.centreY - s.position.y * 160 / s.position.z;
    if (px > -1 && px < 320 && py > -1 && py < 240)
      depth[static_cast<int>(py) * kFrameWidth + static_cast<int>(px)] = s.depthAtLight;
    const std::vector<uint32_t> before(frame.Pixels(), frame.Pixels() + kFramePixels);
    DrawFlare(frame.Pixels(), &state, view, s.time, 1);
    if (s.position.z > 0) lastTime = s.time;
    EXPECT_EQ(state.visible, s.visible);
    EXPECT_NEAR(state.intensity, s.intensity, 1e-3f);
    EXPECT_EQ(state.lastTime, lastTime);
    if (s.intensity == 1) {
      EXPECT_TRUE(std::equal(before.begin(), before.end(), frame.Pixels()));
    }
  }
  EXPECT_TRUE(frame.GuardsIntact());
}

// Two lights and a camera 300 in front of the origin, nothing to hide them:
// the circling light's glow lands where the camera sees it on the first
// frame; the light at the origin starts hidden, so its glow appears from the
// second frame on. Without a scene the row draws nothing.
TEST_F(Flare, SceneRowFlaresBothLights) {
  for (FlareSprite& sprite : FlareSprites) sprite.pixels = nullptr;  // glows only
  OwnedScene owned = MakeOwnedScene();  // freed after the row lets go of it
  Scene& scene = *owned;
  ASSERT_EQ(SceneCreate(&scene, 0, 0, 0, 2, 1, 0), 1);
  SceneAddLight(&scene, "centre");
  SceneAddLight(&scene, "orbit");
  Camera* camera = SceneAddCamera(&scene, "camera");
  camera->positionNode.position.current = {0, 0, -300};
  camera->targetNode.position.current = {0, 0, 0};

  std::vector<uint32_t> pixels(kFramePixels, 0);
  ASSERT_EQ(FlareSceneSetup(nullptr), 0);
  FlareSceneEffect(pixels.data(), 37, 37, 56.5f, 0, 0);
  EXPECT_EQ(pixels, std::vector<uint32_t>(kFramePixels, 0));

  ASSERT_EQ(FlareSceneSetup(&scene), 1);
  Viewport seen = {};
  ASSERT_EQ(ViewportCreate(&seen, 1, 320, 240), 1);
  ViewportSetFov(&seen, 100);
  MatLookAt({0, 0, -300}, {0, 0, 0}, 0, &seen.view);
  const float t = 37;
  Vec3 c;
  MatTransformPoint({180 * std::sin(-t), 160 * std::cos(0.1f * t), 180 * std::cos(t)}, seen.view,
                    &c);
  const int ox = static_cast<int>(seen.centreX + c.x * seen.scaleX / c.z);
  const int oy = static_cast<int>(seen.centreY - c.y * seen.scaleY / c.z);
  FlareSceneEffect(pixels.data(), t, 37, 56.5f, 0, 0);
  EXPECT_EQ(pixels[oy * kFrameWidth + ox], 0x4C3366u);  // 0x80 through (0.6, 0.4, 0.8)
  EXPECT_EQ(pixels[119 * kFrameWidth + 159], 0u);
  std::fill(pixels.begin(), pixels.end(), 0);
  FlareSceneEffect(pixels.data(), t + 0.05f, 37, 56.5f, 0, 0);
  EXPECT_EQ(pixels[119 * kFrameWidth + 159], 0x4C7233u);  // 0x80 through (0.6, 0.9, 0.4)
  FlareSceneSetup(nullptr);
  std::free(seen.faceList);
}

}  // namespace
