// The 3D rows of the show: the catwalk, the dancers, the mirrored dance
// floor, the city fly-through and the metaballs. Each poses a scene the
// asset set-up prepared and draws it through the main viewport.
#include "effects/scene_effects.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/toolkit.h"
#include "effects/dancer_scenes.h"
#include "effects/effects.h"
#include "effects/frames.h"
#include "effects/slots.h"
#include "effects/warp_helpers.h"
#include "engine/animation.h"
#include "engine/material_library.h"
#include "engine/metaballs.h"
#include "engine/motion.h"
#include "image/asset_names.h"
#include "image/data_file.h"
#include "raster/raster_batch.h"
#include "platform/system.h"
#include "show/fade.h"

Viewport MainViewport;
Viewport TextureViewport;
int32_t MainDepthBuffer[kFramePixels];

Scene CatwalkScene;
Scene CubeScene;
Scene MetaballScene;
Scene CityScene;
Scene ObjectScene;
Scene FloorScene;
Scene BoxScene;
Scene BlobScene;

VisibilityList CityVisibility[3];

namespace {

constexpr int kFramePitchBytes = kFrameWidth * 4;

// ---- hands and motions ------------------------------------------------------

struct HandOver {
  const Scene* scene;
  Mesh* hand;
};
HandOver Hands[4];

Mesh* HandOf(const Scene* scene) {
  for (const HandOver& h : Hands)
    if (h.scene == scene) return h.hand;
  return nullptr;
}

void ClearDepth() { RasterBatchFill(MainDepthBuffer, 0, kFramePixels); }

void DrawSubmitted(Viewport* vp) {
  ViewportSortFaces(vp, 1);
  ViewportDrawFaces(vp);
  ViewportClearFaces(vp);
}

// ---- the catwalk's light pass -------------------------------------------------
//
// The dancer is relit by projector lights whose pattern is an environment
// texture: the scene is drawn once more, additively, into a scratch frame of
// 0x3C grey, and that frame is multiplied into the picture. Where no light
// falls the picture keeps about a quarter of its brightness.

constexpr uint32_t kLightPassFloor = 0x3C3C3C3Cu;
constexpr float kLightFov = 90.0f;
constexpr float kLightRadius = 140.0f;
// The catwalk's spot hangs high in front of the runway, far enough for its
// cone to take in the runway and the hall round her; the close-up lights
// circle well above her head.
constexpr Vec3 kSpotBase = {0.0f, 600.0f, -320.0f};  // y up, -z towards the front
constexpr float kCloseLightHeight = 560.0f;
constexpr float kCatwalkAmbient = 0.55f;

Light SpotLight;
// The warm and the cool tint of the close-up's two lights, per channel in
// 1/256.
constexpr uint32_t kCloseLightTints[2][3] = {{256, 232, 176}, {176, 214, 256}};

// The point the lights look at: the dancer's hand, else the origin.
Vec3 LightAim(const Scene* scene) {
  const Mesh* hand = HandOf(scene);
  if (hand == nullptr) return Vec3{0, 0, 0};
  return Vec3{hand->world.m[12], hand->world.m[13], hand->world.m[14]};
}

// The environment texture in one tint (black without one), written straight
// into the render texture each time rather than kept as a tinted copy.
void TintInto(uint32_t* target, const uint32_t* env, const uint32_t* tint) {
  int i = 0;
#if KV_X86_EXTENSIONS
  // Four texels a step: with tints up to 256 every product of a channel
  // fits 16 bits, and >> 8 leaves it a byte, so the lanes give the plain sums.
  if (env && HasMmx() && tint[0] <= 256 && tint[1] <= 256 && tint[2] <= 256) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i t = _mm_setr_epi16(static_cast<int16_t>(tint[2]), static_cast<int16_t>(tint[1]),
                                     static_cast<int16_t>(tint[0]), 0,
                                     static_cast<int16_t>(tint[2]), static_cast<int16_t>(tint[1]),
                                     static_cast<int16_t>(tint[0]), 0);
    for (; i + 4 <= kRenderTextureSize * kRenderTextureSize; i += 4) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(env + i));
      const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(c, zero), t), 8);
      const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(c, zero), t), 8);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_packus_epi16(lo, hi));
    }
  }
#endif
  for (; i < kRenderTextureSize * kRenderTextureSize; i++) {
    const uint32_t c = env ? env[i] : 0;
    const uint32_t r = (((c >> 16) & 255) * tint[0]) >> 8;
    const uint32_t g = (((c >> 8) & 255) * tint[1]) >> 8;
    const uint32_t b = ((c & 255) * tint[2]) >> 8;
    target[i] = (r << 16) | (g << 8) | b;
  }
}

// The environment picture's pixels, null unless it is 256x256.
const uint32_t* EnvironmentPixels() {
  const Picture* p = EnvironmentTexture;
  if (p == nullptr || p->pixels == nullptr || p->width != kRenderTextureSize ||
      p->height != kRenderTextureSize)
    return nullptr;
  return p->pixels;
}

// A light's pattern, the environment texture in its tint or untinted, kept
// from frame to frame: it is made again only when the environment picture
// is set anew or the tint changes. The light passes only read it.
struct LightPattern {
  uint32_t pixels[kRenderTextureSize * kRenderTextureSize];
  uint64_t environment;  // the picture's setting it was made from; 0: never made
  bool tinted;
  uint32_t tint[3];
};

uint32_t* PatternOf(LightPattern& pattern, const uint32_t* tint) {
  const uint64_t environment = EnvironmentTextureSetting();
  const bool tinted = tint != nullptr;
  if (pattern.environment == environment && pattern.tinted == tinted &&
      (!tinted || std::equal(tint, tint + 3, pattern.tint)))
    return pattern.pixels;
  const uint32_t* env = EnvironmentPixels();
  if (!tinted && env == nullptr) return nullptr;
  if (tinted)
    TintInto(pattern.pixels, env, tint);
  else
    std::memcpy(pattern.pixels, env, sizeof(pattern.pixels));
  pattern.environment = environment;
  pattern.tinted = tinted;
  if (tinted) std::copy(tint, tint + 3, pattern.tint);
  return pattern.pixels;
}

// Each light's pattern is the environment texture, with tints in tints[i];
// without an environment texture an untinted light is left out.
void LightPass(uint32_t* frame, Scene* scene, const Vec3* eyes, int count, Vec3 aim,
               const uint32_t (*tints)[3] = nullptr) {
  if (TextureViewport.faceList == nullptr) return;
  // The scene may still be being drawn into frame and the depth buffer: the
  // scratch frame, the light patterns and the shadow stamps are none of its
  // buffers. The shadows are kept apart from the patterns: this thread
  // stamps them as it goes while the worker draws the lit triangles, which
  // read the patterns through the stamps (and could share rows, as nothing
  // in the batch draws into the patterns).
  RasterBatchFill(ScratchFrame[0], kLightPassFloor, kFramePixels);
  ViewportSetTarget(&MainViewport, kFramePitchBytes, ScratchFrame[0], MainDepthBuffer);
  // The lights take turns with two patterns and two stamp buffers, so a
  // light is set up while the previous one's triangles are still being
  // drawn.
  static LightPattern patterns[2];
  static ShadowStampBuffer stamps[2];
  for (int i = 0; i < count; i++) {
    // The light before the previous one read these stamps.
    if (i >= 2) RasterBatchFinish();
    uint32_t* pattern = PatternOf(patterns[i & 1], tints ? tints[i] : nullptr);
    if (pattern == nullptr) continue;
    ProjectorUseTexture(pattern);
    ProjectorKeepShadowsApart(&stamps[i & 1]);
    SpotLight.position = eyes[i];
    SpotLight.target = aim;
    SpotLight.projectorFov = kLightFov;
    SpotLight.projectorRoll = 0.0f;
    ProjectorRender(&SpotLight, &TextureViewport, scene, &MainViewport, 1.0f);
  }
  ProjectorUseTexture(nullptr);
  ProjectorKeepShadowsApart(nullptr);
  ViewportSetTarget(&MainViewport, kFramePitchBytes, frame, MainDepthBuffer);
  RasterBatchFinish();
  TableCombine(frame, frame, ScratchFrame[0], kFramePixels);
}

// One pose and draw of a dancer scene with the main viewport.
void DrawDancerScene(uint32_t* frame, Scene* scene, float sceneClock, float motionClock, int camera,
                     float ambient) {
  RasterBatchFill(frame, 0, kFramePixels);
  ViewportEnableFarPlane(&MainViewport, 0);
  ViewportSetAmbient(&MainViewport, ambient, ambient, ambient);
  ResetMotion();
  DancerFrame(scene, &MainViewport, frame, MainDepthBuffer, sceneClock, motionClock, camera);
}

// ---- first-call state -----------------------------------------------------------

bool FloorFirst = true;
MirrorFloor FloorMirror;
bool BoxFirst = true;
MirrorFloor BoxMirror;
bool MetaFirst = true;

}  // namespace

void SceneEffectsForget() {
  ForgetBoundMotion();
  FloorFirst = BoxFirst = MetaFirst = true;
}

void SceneEffectsAttachHand(const Scene* scene, Mesh* hand) {
  for (HandOver& h : Hands)
    if (h.scene == scene || h.scene == nullptr) {
      h = HandOver{scene, hand};
      return;
    }
}

// ---- effects --------------------------------------------------------------------

// The catwalk. Params 5 and 6 dance the second motion with the scene clock
// counted from the row's start (twice as fast for 6); param 5 looks through
// camera 3. One projector light follows the dancer's hand from its place
// high in front of her, coming down from far above and behind during the
// first ten seconds of the show (the three values shift it across, along
// the runway and up).
KV_EFFECT(CatwalkEffect) {
  // The worker draws every triangle while this thread works out the next:
  // the light pass gives it the most to draw and this thread the most to
  // work out.
  RasterBatch batch(RasterBatchMode::kInOrder);
  (void)end;
  (void)progress;
  // Both catwalk motions are sampled at the scene's own rate.
  const bool late = param == 5 || param == 6;
  BindMotionFile(kMotionFiles[late ? 1 : 0], 1.0f);
  const float base = late ? start : 0.0f;
  const float factor = param == 6 ? 2.0f : 1.0f;
  const int camera = param == 5 ? 3 : param;
  Scene* scene = &CatwalkScene;
  DrawDancerScene(pixels, scene, kSceneFramesPerSecond * (t - base) * factor,
                  kSceneFramesPerSecond * t, camera, kCatwalkAmbient);
  if (SceneCamera(scene, camera) == nullptr) return 0;

  Vec3 offset = {0.0f, 0.0f, -100.0f};
  if (t < 10.0f) {
    const float s = 1.0f - t / 11.0f;
    offset = Vec3{100.0f * s, 1350.0f * s, 500.0f * s - 100.0f};
  }
  const Vec3 aim = LightAim(scene);
  Vec3 eye;
  VecAdd(aim, offset, &eye);
  VecAdd(eye, kSpotBase, &eye);
  LightPass(pixels, scene, &eye, 1, aim);
  return 0;
}

// The dancer close up with the second motion; two tinted lights circle her.
KV_EFFECT(CatwalkCloseEffect) {
  // The worker draws every triangle while this thread works out the next:
  // the light pass gives it the most to draw and this thread the most to
  // work out.
  RasterBatch batch(RasterBatchMode::kInOrder);
  (void)end;
  (void)progress;
  BindMotionFile(kMotionFiles[1], 1.0f);
  Scene* scene = &CatwalkScene;
  DrawDancerScene(pixels, scene, kSceneFramesPerSecond * (t - start), kSceneFramesPerSecond * t,
                  param, kCatwalkAmbient);
  if (SceneCamera(scene, param) == nullptr) return 0;

  const Vec3 aim = LightAim(scene);
  Vec3 eyes[2];
  for (int i = 0; i < 2; i++) {
    const double a = static_cast<double>(t) + i * 3.14159265358979;
    eyes[i] = Vec3{aim.x + static_cast<float>(kLightRadius * std::cos(a)),
                   aim.y + kCloseLightHeight,
                   aim.z + static_cast<float>(kLightRadius * std::sin(a))};
  }
  LightPass(pixels, scene, eyes, 2, aim, kCloseLightTints);
  return 0;
}

// The second dancer: params 0, 1, 2 dance the third, fourth and fifth motion
// and look through that camera.
KV_EFFECT(DancerEffect) {
  // The triangles are drawn on both cores.
  RasterBatch batch(RasterBatchMode::kBanded);
  (void)end;
  (void)progress;
  DancerBindMotion(param);
  const float clock = kSceneFramesPerSecond * (t - start);
  DrawDancerScene(pixels, &BoxScene, clock, clock, param, 0.7f);
  return 0;
}

// The second dancer mirrored in the top of the blob scene's box.
KV_EFFECT(BoxDancerEffect) {
  // The triangles are drawn on both cores.
  RasterBatch batch(RasterBatchMode::kBanded);
  (void)end;
  (void)progress;
  if (BoxFirst) {
    MirrorFloorInit(&BoxMirror, SceneFindMesh(&BlobScene, "Box02"));
    BoxFirst = false;
  }
  DancerBindMotion(param);
  RasterBatchFill(pixels, 0, kFramePixels);
  ViewportEnableFarPlane(&MainViewport, 0);
  ViewportSetAmbient(&MainViewport, 0.7f, 0.7f, 0.7f);
  ResetMotion();
  MirrorFrame(&BoxScene, &BlobScene, &BoxMirror, &MainViewport, pixels, MainDepthBuffer,
              kSceneFramesPerSecond * (t - start), param);
  return 0;
}

// The dancer on the dance floor, mirrored in it, over the fill of an
// earlier row. Param 2 runs its clock from 7 s before the row.
KV_EFFECT(DanceFloorEffect) {
  // The triangles are drawn on both cores.
  RasterBatch batch(RasterBatchMode::kBanded);
  (void)end;
  (void)progress;
  Scene* scene = &FloorScene;
  if (FloorFirst) {
    BindMotionFile(kMotionFiles[4], 3.0f);
    Mesh* floor = SceneFindMesh(scene, "DanceFloor");
    MirrorFloorInit(&FloorMirror, floor);
    Material* mirrorMaterial = MaterialFind(scene, "mymat");
    if (floor != nullptr && mirrorMaterial != nullptr) MeshSetMaterial(floor, mirrorMaterial);
    FloorFirst = false;
  }
  const float from = param == 2 ? start - 7.0f : start;
  ViewportEnableFarPlane(&MainViewport, 0);
  ViewportSetAmbient(&MainViewport, 0.7f, 0.7f, 0.7f);
  ResetMotion();
  MirrorFrame(scene, scene, &FloorMirror, &MainViewport, pixels, MainDepthBuffer,
              kSceneFramesPerSecond * (t - from), param);
  return 0;
}

// The city fly-through. Cameras 0, 1 and 4 draw only what their visibility
// list names for the current scene frame; past the end of a list, and for
// other cameras, the whole scene is drawn.
KV_EFFECT(CityEffect) {
  // The triangles are drawn on both cores.
  RasterBatch batch(RasterBatchMode::kBanded);
  (void)end;
  (void)progress;
  // Rows' speeds, clock offsets and cameras; other params fly slowly
  // through the camera of their number.
  static const struct {
    int param;
    float speed, offset;
    int camera;
  } kRuns[] = {
      {1, 9.5f, 0.0f, 1}, {9, 14.5f, 160.0f, 0}, {14, 11.5f, 0.0f, 4}, {15, 10.5f, 12.0f, 1}};
  float clock = (t - start) * 6.5f;
  int camera = param;
  for (const auto& run : kRuns)
    if (run.param == param) clock = (t - start) * run.speed + run.offset, camera = run.camera;
  const VisibilityList* list = camera == 0   ? &CityVisibility[0]
                               : camera == 1 ? &CityVisibility[1]
                               : camera == 4 ? &CityVisibility[2]
                                             : nullptr;
  Scene* scene = &CityScene;
  Viewport* vp = &MainViewport;
  ViewportEnableFarPlane(vp, 1);
  RasterBatchFill(pixels, 0, kFramePixels);
  ViewportSetAmbient(vp, 0.125f, 0.125f, 0.125f);
  ClearDepth();
  ViewportSetCullMode(vp, kCullPositive);
  ViewportSetTarget(vp, kFramePitchBytes, pixels, MainDepthBuffer);
  const Camera* cam = SceneCamera(scene, camera);
  if (cam != nullptr) {
    SceneSetFrame(scene, clock);
    ViewportSetCamera(vp, cam);
    ViewportSetFarPlane(vp, 300.0f, 700.0f);
    SceneUpdateMeshMatrices(scene);
    ViewportPrepareLights(vp, scene);
    ViewportClearFaces(vp);
    const double frame = std::floor(static_cast<double>(clock));
    if (list != nullptr && frame >= 0.0 && frame < list->recordCount) {
      const int k = static_cast<int>(frame);
      for (int i = 0; i < list->counts[k]; i++) {
        const int mesh = list->records[k][i];
        if (mesh < scene->meshCount) MeshSubmit(&scene->meshes[mesh], vp);
      }
    } else {
      SceneSubmit(scene, vp);
    }
    DrawSubmitted(vp);
  }
  ViewportEnableFarPlane(vp, 0);
  return 0;
}

// The stage behind the metaballs: a violet wash, brightest in a pool of
// light behind the balls, at the level the balls' materials ramp to.
void DrawMetaballBackdrop(uint32_t* pixels, float level) {
  static uint32_t backdrop[kFramePixels];
  static bool made = false;
  if (!made) {
    for (int y = 0; y < kFrameHeight; y++)
      for (int x = 0; x < kFrameWidth; x++) {
        const float v = static_cast<float>(y) / (kFrameHeight - 1);
        const float dx = (x - 160.0f) / 170.0f, dy = (y - 110.0f) / 150.0f;
        const float pool = std::fmax(0.0f, 1.0f - (dx * dx + dy * dy));
        const float wash = 0.55f + 0.45f * std::sin(3.14159265f * v);
        const float r = 40.0f * wash + 70.0f * pool * pool;
        const float g = 22.0f * wash + 40.0f * pool * pool;
        const float b = 62.0f * wash + 85.0f * pool * pool;
        backdrop[y * kFrameWidth + x] = static_cast<uint32_t>(r) << 16 |
                                        static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
      }
    made = true;
  }
  const int l = static_cast<int>(256.0f * std::fmin(1.0f, std::fmax(0.0f, level)));
  // At full level every channel times 256, >> 8, is itself.
  if (l == 256) {
    std::memcpy(pixels, backdrop, sizeof(backdrop));
    return;
  }
  for (int i = 0; i < kFramePixels; i++) {
    const uint32_t c = backdrop[i];
    pixels[i] = (((c >> 16 & 255) * l >> 8) << 16) | (((c >> 8 & 255) * l >> 8) << 8) |
                ((c & 255) * l >> 8);
  }
}

// The balls' paths. The polygoniser's cells reach x and z from -42 to 34
// and y from -24 to 16 (the last lattice row and column start no cell), so
// the paths circle about (-4, -4, -4): four balls of radius 25 and strength
// 15 together reach at most 19.2 from their centre, and keep inside those
// walls with the amplitudes below, whatever the balls' positions. A surface
// cut by the lattice's walls would open and show its inside.
void MetaballCentres(float t, Vec3 centres[kMetaballCount]) {
  static const float kPath[kMetaballCount][6] = {
      // x: amplitude, rate; y: amplitude, rate; z: amplitude, rate.
      {14.0f, 1.1f, 0.7f, 0.7f, 12.0f, 0.9f},
      {13.0f, -0.8f, 0.6f, 1.3f, 14.0f, 0.6f},
      {14.5f, 0.5f, 0.7f, -0.9f, 11.0f, 1.4f},
      {12.0f, 1.5f, 0.6f, 0.4f, 13.5f, -1.0f},
  };
  for (int k = 0; k < kMetaballCount; k++) {
    const float* p = kPath[k];
    centres[k] = Vec3{p[0] * std::sin(p[1] * t + k) - 4.0f, p[2] * std::cos(p[3] * t + 2 * k) - 4.0f,
                      p[4] * std::sin(p[5] * t + 3 * k) - 4.0f};
  }
}

// Four metaballs on sine paths, drawn as a layered surface: every triangle
// once per ball that shades it, each with that ball's share of the field.
// The materials' colours ramp up over the first and down over the last 5 %
// of the row.
KV_EFFECT(MetaballEffect) {
  // The triangles are drawn on both cores.
  RasterBatch batch(RasterBatchMode::kBanded);
  (void)start;
  (void)end;
  (void)param;
  Scene* scene = &MetaballScene;
  if (MetaFirst) {
    MetaballInit(4.0f);
    MetaFirst = false;
  }
  if (scene->meshCount < 1) return 0;
  Mesh* mesh = &scene->meshes[scene->meshCount - 1];

  static const char* const kNames[4][2] = {
      {"mat0g", "mat0a"}, {"mat1g", "mat1a"}, {"mat2g", "mat2a"}, {"mat3g", "mat3a"}};
  Vec3 centres[kMetaballCount];
  MetaballCentres(t, centres);
  for (int k = 0; k < 4; k++) {
    Metaball& ball = Metaballs[k];
    ball.centre = centres[k];
    ball.radius = 25.0f;
    ball.strength = 15.0f;
    ball.materialA = MaterialFind(scene, kNames[k][0]);
    ball.materialB = MaterialFind(scene, kNames[k][1]);
  }
  MetaballCount = 4;

  float level = 1.0f;
  if (progress < 0.05f)
    level = 20.0f * progress;
  else if (progress > 0.95f)
    level = 1.0f - 20.0f * (progress - 0.95f);
  for (int k = 0; k < 4; k++)
    for (const char* name : kNames[k]) {
      Material* m = MaterialFind(scene, name);
      if (m) m->colour[0] = m->colour[1] = m->colour[2] = level;
    }

  MetaballPolygoniseLayered(mesh, 10.0f);
  MeshComputeBounds(mesh);
  Mat4 turnY, turnX;
  MatRotationY(&turnY, 0.4f * t);
  MatRotationX(&turnX, 0.25f * t);
  MatMul(turnY, turnX, &mesh->world);

  Viewport* vp = &MainViewport;
  DrawMetaballBackdrop(pixels, level);
  ClearDepth();
  ViewportEnableFarPlane(vp, 0);
  ViewportSetAmbient(vp, 0.35f, 0.35f, 0.35f);
  ViewportSetCullMode(vp, kCullPositive);
  ViewportSetTarget(vp, kFramePitchBytes, pixels, MainDepthBuffer);
  const Camera* cam = SceneCamera(scene, 0);
  if (cam == nullptr) return 0;
  ViewportSetCamera(vp, cam);
  ViewportPrepareLights(vp, scene);
  ViewportClearFaces(vp);
  MeshSubmit(mesh, vp);
  ViewportSortFaces(vp, 1);
  ViewportDrawFaceChains(vp);
  ViewportClearFaces(vp);
  return 0;
}

// ---- set-up helpers ----------------------------------------------------------------

int SceneEffectsCreateViewports() {
  // Made once; a second call only resets the main viewport's settings.
  if (MainViewport.faceList == nullptr &&
      !ViewportCreate(&MainViewport, 3000, kFrameWidth, kFrameHeight))
    return 0;
  if (TextureViewport.faceList == nullptr &&
      !ViewportCreate(&TextureViewport, 3000, kRenderTextureSize, kRenderTextureSize))
    return 0;
  ViewportSetFov(&MainViewport, 60.0f);
  ViewportSetAmbient(&MainViewport, 0.25f, 0.25f, 0.25f);
  ViewportEnableFarPlane(&MainViewport, 0);
  return 1;
}

void RecordDancerSilhouettes(Scene* scene) {
  Viewport* vp = &MainViewport;
  // Two scratch frames serve as the drawing and its depth; the drawing's is
  // left cleared again, as the show first finds it.
  uint32_t* target = ScratchFrame[1];
  int32_t* depth = reinterpret_cast<int32_t*>(ScratchFrame[0]);
  ViewportSetCullMode(vp, kCullPositive);
  ViewportSetTarget(vp, kFramePitchBytes, target, depth);
  const Camera* camera = SceneCamera(scene, 0);
  ResetMotion();
  for (int n = 0; n < kSilhouetteFrames; n++) {
    std::memset(target, 0xFF, kFrameBytes);
    std::memset(depth, 0, kFrameBytes);
    if (camera != nullptr) {
      const float frame = static_cast<float>(n);
      SceneSetFrame(scene, frame);
      ViewportSetCamera(vp, camera);
      SceneUpdateMeshMatrices(scene);
      ApplyMotion(scene, frame);
      ViewportClearFaces(vp);
      for (int p = 0; p < MotionPartCount; p++)
        if (MotionParts[p].mesh != nullptr) MeshSubmit(MotionParts[p].mesh, vp);
      DrawSubmitted(vp);
    }
    SilhouetteCapture(target);
  }
  std::memset(target, 0, kFrameBytes);
}

int MetaballSceneBuild(Scene* scene) {
  if (!SceneCreate(scene, kMetaballSceneVertices, kMetaballSceneFaces, 1, 3, 2, 1)) return 0;
  if (SceneAddMesh(scene, "blob") == nullptr) return 0;
  // Seen from straight ahead and from above; lit warm, cool and from behind.
  const Vec3 eyes[2][2] = {{{0, 0, -82}, {0, 0, 0}}, {{0, 95, -40}, {0, 0, 0}}};
  for (const auto& e : eyes) {
    Camera* c = SceneAddCamera(scene, "camera");
    if (c == nullptr) return 0;
    c->positionNode.position.current = e[0];
    c->targetNode.position.current = e[1];
    c->positionNode.fov.current = 60.0f;
    c->positionNode.roll.current = 0.0f;
  }
  const Vec3 lights[3][2] = {{{-80, 60, -90}, {0.9f, 0.7f, 0.5f}},
                             {{90, -40, -70}, {0.4f, 0.6f, 0.9f}},
                             {{0, 30, 120}, {0.5f, 0.5f, 0.5f}}};
  for (const auto& l : lights) {
    Light* light = SceneAddLight(scene, "light");
    if (light == nullptr) return 0;
    light->positionNode.position.current = l[0];
    light->colour = l[1];
  }
  if (SceneAddDummy(scene, "pivot") == nullptr) return 0;
  for (const char* name : {"mat0g", "mat0a", "mat1g", "mat1a", "mat2g", "mat2a", "mat3g", "mat3a"})
    if (MaterialAdd(scene, name) == nullptr) return 0;
  return 1;
}

// ---- visibility lists ------------------------------------------------------------

namespace {

constexpr size_t kVisibilityMaxFileSize = size_t{1} << 24;

int Refuse(VisibilityResult* result, int status, const char* format, const char* fileName,
           long a = 0, long b = 0) {
  char line[512];
  std::snprintf(line, sizeof(line), format, fileName, a, b);
  result->status = status;
  result->message = line;
  return 0;
}

int ReadCount(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

int VisibilityParse(const uint8_t* data, size_t size, const char* fileName, int32_t meshCount,
                    VisibilityList* list, VisibilityResult* result) {
  *result = VisibilityResult{};
  // First pass: every record complete, every count and index in range.
  size_t pos = 0;
  long records = 0;
  while (pos < size) {
    if (size - pos < 2)
      return Refuse(result, VISIBILITY_MALFORMED,
                    "RURI: %s is damaged: record %ld is cut in its count\n", fileName, records);
    const int n = ReadCount(data + pos);
    if (n < 0)
      return Refuse(result, VISIBILITY_MALFORMED, "RURI: %s is damaged: record %ld counts %ld\n",
                    fileName, records, n);
    if ((size - pos - 2) / 2 < static_cast<size_t>(n))
      return Refuse(result, VISIBILITY_MALFORMED,
                    "RURI: %s is damaged: record %ld is cut after %ld indices\n", fileName, records,
                    static_cast<long>((size - pos - 2) / 2));
    for (int i = 0; i < n; i++) {
      const int index = ReadCount(data + pos + 2 + 2 * i);
      if (index < 0 || index >= meshCount)
        return Refuse(result, VISIBILITY_MALFORMED,
                      "RURI: %s is damaged: record %ld names object %ld\n", fileName, records,
                      index);
    }
    pos += 2 + 2 * static_cast<size_t>(n);
    records++;
  }

  VisibilityList made = {};
  made.recordCount = static_cast<int32_t>(records);
  if (records > 0) {
    made.counts = static_cast<int32_t*>(std::calloc(records, sizeof(int32_t)));
    made.records = static_cast<int16_t**>(std::calloc(records, sizeof(int16_t*)));
  }
  if (records > 0 && (made.counts == nullptr || made.records == nullptr)) {
    VisibilityRelease(&made);
    return Refuse(result, VISIBILITY_NO_MEMORY, "RURI: out of memory loading %s\n", fileName);
  }
  pos = 0;
  for (long k = 0; k < records; k++) {
    const int n = ReadCount(data + pos);
    made.counts[k] = n;
    made.records[k] = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * (n > 0 ? n : 1)));
    if (made.records[k] == nullptr) {
      VisibilityRelease(&made);
      return Refuse(result, VISIBILITY_NO_MEMORY, "RURI: out of memory loading %s\n", fileName);
    }
    for (int i = 0; i < n; i++)
      made.records[k][i] = static_cast<int16_t>(ReadCount(data + pos + 2 + 2 * i));
    pos += 2 + 2 * static_cast<size_t>(n);
  }
  VisibilityRelease(list);
  *list = made;
  return 1;
}

int VisibilityRead(const char* fileName, int32_t meshCount, VisibilityList* list,
                   VisibilityResult* result) {
  *result = VisibilityResult{};
  std::string reason;
  FILE* file = OpenDataFile(fileName, &reason);
  if (file == nullptr) {
    Refuse(result, VISIBILITY_NOT_FOUND, "RURI: %s not found!\n", fileName);
    result->reason = reason;
    return 0;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > kVisibilityMaxFileSize) {
      std::fclose(file);
      Refuse(result, VISIBILITY_MALFORMED, "RURI: %s is damaged: longer than %ld bytes\n", fileName,
             static_cast<long>(kVisibilityMaxFileSize));
      result->reason = DamagedAtByte(static_cast<long>(kVisibilityMaxFileSize));
      return 0;
    }
  }
  // A read that fails (rather than ends) is no empty list.
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) {
    Refuse(result, VISIBILITY_MALFORMED, "RURI: %s cannot be read\n", fileName);
    result->reason = "read error";
    return 0;
  }
  if (!VisibilityParse(bytes.data(), bytes.size(), fileName, meshCount, list, result)) {
    if (result->status == VISIBILITY_MALFORMED) result->reason = "damaged";
    return 0;
  }
  return 1;
}

int LoadVisibilityList(const char* fileName, int32_t meshCount, VisibilityList* list) {
  VisibilityResult result;
  if (VisibilityRead(fileName, meshCount, list, &result)) {
    // Taken as it is, but a list without records culls nothing.
    if (list->recordCount == 0) ReportDataFile(fileName, "empty visibility list: every frame draws the whole city");
    return 1;
  }
  std::fputs(result.message.c_str(), stdout);
  std::fflush(stdout);
  if (result.status == VISIBILITY_NO_MEMORY) return 0;
  ReportDataFile(fileName, result.reason);
  std::exit(1);
}

void VisibilityRelease(VisibilityList* list) {
  if (list->records != nullptr)
    for (int k = 0; k < list->recordCount; k++) std::free(list->records[k]);
  std::free(list->records);
  std::free(list->counts);
  *list = VisibilityList{};
}
