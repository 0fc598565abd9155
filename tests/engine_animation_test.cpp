#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "tests/engine_owned_scene.h"
#include "engine/animation.h"
#include "engine/scene.h"

namespace {

const KeySpline kPlain = {};

struct Key {
  int frame;
  float value;
  KeySpline spline;
};

float At(std::initializer_list<Key> keys, float f, int flags = 0) {
  ScalarTrack track = {};
  EXPECT_EQ(TrackAllocate(&track, static_cast<int>(keys.size())), 1);
  for (const Key& k : keys) EXPECT_EQ(TrackAddKey(&track, k.frame, k.value, k.spline), 1);
  track.flags = flags;
  EvaluateTrack(&track, f);
  std::free(track.keys);
  return track.current;
}

TEST(EngineAnimation, TracksHoldAtTheirEndsKeysAndRepeats) {
  const KeySpline eased = {0, 0.5f, 0.5f, 0.5f, 0.2f, 0.2f};
  struct Case {
    const char* what;
    float got, want;
  } cases[] = {
      {"one key", At({{10, 7, kPlain}}, -50), 7},
      {"before the first", At({{10, 1, kPlain}, {20, 5, kPlain}}, 9.5f), 1},
      {"after the last", At({{10, 1, kPlain}, {20, 5, kPlain}}, 20.5f), 5},
      {"at an inner key", At({{0, 1, kPlain}, {10, -3.5f, eased}, {20, 5, kPlain}}, 10), -3.5f},
      {"equal frames", At({{5, 1, kPlain}, {5, 9, kPlain}}, 5), 1},  // divisor 1, t = 0
      {"repeat: 25 plays as 5", At({{0, 0, kPlain}, {10, 10, kPlain}}, 25, kTrackRepeat), 5},
      {"no repeat", At({{0, 0, kPlain}, {10, 10, kPlain}}, 25), 10},
      {"repeat by 0: unwrapped", At({{-10, 4, kPlain}, {0, 8, kPlain}}, 3, kTrackRepeat), 8},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(EngineAnimation, TangentsPairBiasAndContinuityAsTheTracksExpect) {
  // By hand: between keys 2 and 3, D1 = 7.5 (the usual pairing gives 10) and
  // D2 = 45; the padded copies supply the neighbours at either end.
  const KeySpline k2 = {0, 0.5f, 0.25f, -0.5f, 0, 0};
  const KeySpline k3 = {0, -0.5f, 0.5f, 0.25f, 0, 0};
  std::initializer_list<Key> keys = {{0, 0, kPlain}, {10, 10, k2}, {20, 40, k3}, {30, 50, kPlain}};
  const float cases[][2] = {{15, 20.3125f}, {12.5f, 13.6328125f}, {5, 4.375f}, {25, 48.125f}};
  for (const auto& c : cases) EXPECT_EQ(At(keys, c[0]), c[1]) << c[0];

  VectorTrack vector = {};
  ASSERT_EQ(TrackAllocate(&vector, 4), 1);
  int i = 0;
  for (const Key& k : keys) TrackAddKey(&vector, 10 * i++, {k.value, -2 * k.value, 3}, k.spline);
  EvaluateTrack(&vector, 15);
  EXPECT_EQ(vector.current.x, 20.3125f);
  EXPECT_EQ(vector.current.y, -40.625f);
  EXPECT_EQ(vector.current.z, 3.0f);
  std::free(vector.keys);
}

TEST(EngineAnimation, EaseReshapesTheSegmentParameter) {
  const float cases[][4] = {
      // t, from, to, s
      {0.5f, 0.3f, 0.3f, 0.5f},    {0.37f, 0, 0, 0.37f},
      {0.25f, 0.5f, 0.5f, 0.125f}, {0.25f, 1, 1, 0.125f},  // sum over 1 scaled to 1
      {0.25f, 0, 0.5f, 1 / 3.0f},  {0.9f, 0, 0.5f, 1 - 0.04f / 3},
      {1, 0.4f, 0, 1},  // no slowing at the end: 1, not 0 * infinity
  };
  for (const auto& c : cases) EXPECT_NEAR(EaseParameter(c[0], c[1], c[2]), c[3], 1e-6f) << c[0];

  // Leaving a key eases by its easeFrom, arriving by the next key's easeTo.
  const KeySpline easeFrom = {0, 0, 0, 0, 0, 1};
  EXPECT_EQ(At({{0, 0, easeFrom}, {10, 10, kPlain}}, 5), At({{0, 0, kPlain}, {10, 10, kPlain}}, 2.5f));
  EXPECT_EQ(At({{0, 0, kPlain}, {10, 10, easeFrom}}, 5), 5.0f);
  EXPECT_EQ(At({{0, 0, easeFrom}, {10, 10, kPlain}}, 10), 10.0f);
}

TEST(EngineAnimation, RotationTracksComposeTheirKeys) {
  RotationTrack track = {};
  ASSERT_EQ(TrackAllocate(&track, 2), 1);
  ASSERT_EQ(TrackAddKey(&track, 0, {0, 0, 2}, 0.5f, kPlain), 1);
  ASSERT_EQ(TrackAddKey(&track, 10, {1, 0, 0}, 0.4f, kPlain), 1);
  EXPECT_EQ(TrackAddKey(&track, 20, {1, 0, 0}, 0.4f, kPlain), 0);  // full
  Mat4 z, x, want;
  for (const float f : {-4.0f, 5.0f, 10.0f, 99.0f}) {
    MatRotationZ(&z, 0.5f);
    MatRotationX(&x, 0.4f * std::fmin(std::fmax(f / 10, 0), 1));
    MatMul(z, x, &want);
    EvaluateTrack(&track, f);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(track.current.m[i], want.m[i], 1e-6f) << f;
  }
  std::free(track.keys);
}

// A parent moving along x from 0 at frame 0 to 10 at frame 10, and a child
// scaled by 2, turned a quarter about z and moved by (1, 0, 0).
OwnedScene ParentAndChild(int lastFrame) {
  auto scene = MakeOwnedScene();
  EXPECT_EQ(SceneCreate(scene.get(), 0, 0, 2, 0, 0, 0), 1);
  KeyNode* parent = &SceneAddMesh(scene.get(), "parent")->node;
  KeyNode* child = &SceneAddMesh(scene.get(), "child")->node;
  parent->id = 1, parent->parentId = -1, parent->hasPosition = 1;
  child->id = 2, child->parentId = 1;
  child->hasScale = child->hasRotation = child->hasPosition = 1;
  TrackAllocate(&parent->position, 2);
  TrackAddKey(&parent->position, 0, {0, 0, 0}, kPlain);
  TrackAddKey(&parent->position, 10, {10, 0, 0}, kPlain);
  TrackAllocate(&child->scale, 1);
  TrackAddKey(&child->scale, 0, {2, 2, 2}, kPlain);
  TrackAllocate(&child->rotation, 1);
  TrackAddKey(&child->rotation, 0, {0, 0, 1}, 1.5707964f, kPlain);
  TrackAllocate(&child->position, 1);
  TrackAddKey(&child->position, 0, {1, 0, 0}, kPlain);
  EXPECT_EQ(SceneBuildHierarchy(scene.get()), 1);
  scene->lastFrame = lastFrame;
  return scene;
}

TEST(EngineAnimation, SceneFrameWrapsByTheSegmentAndPosesTheHierarchy) {
  struct Case {
    int lastFrame;
    float frame, equivalent, childX;
  } cases[] = {
      {100, 105, 5, NAN},    // lastFrame + 5 plays frame 5
      {100, -5, -5, NAN},    // the remainder keeps the frame's sign
      {10, 10, 0, 1},        // wraps to 0: parent at the origin
      {100, 10, 10, 11},
      {0, 7, 7, NAN},        // no segment: unwrapped, never divided by 0
  };
  for (const Case& c : cases) {
    auto scene = ParentAndChild(c.lastFrame);
    SceneSetFrame(scene.get(), c.frame);
    SceneUpdateMeshMatrices(scene.get());
    KeyNode* parent = &scene->meshes[0].node;
    float got = scene->meshes[0].world.m[12];
    EvaluateTrack(&parent->position, c.equivalent);
    EXPECT_EQ(got, parent->position.current.x) << c.lastFrame << " " << c.frame;
    if (std::isnan(c.childX)) continue;
    Vec3 p;
    MatTransformPoint({1, 0, 0}, scene->meshes[1].world, &p);
    EXPECT_NEAR(p.x, c.childX, 1e-5f);
    EXPECT_NEAR(p.y, 2.0f, 1e-6f);
  }
}

TEST(EngineAnimation, TracksWithoutKeysLeaveTheNodeAlone) {
  auto scene = MakeOwnedScene();
  ASSERT_EQ(SceneCreate(scene.get(), 0, 0, 1, 0, 0, 0), 1);
  Mesh* mesh = SceneAddMesh(scene.get(), "bare");
  mesh->node.id = 1, mesh->node.parentId = -1;
  mesh->node.hasScale = 1;  // announced, but no key ever came
  scene->root.hasPosition = 1;  // switched off by the hierarchy
  ASSERT_EQ(SceneBuildHierarchy(scene.get()), 1);
  EXPECT_EQ(scene->root.hasPosition, 0);
  SceneSetFrame(scene.get(), 3);
  SceneUpdateMeshMatrices(scene.get());
  for (int i = 0; i < 16; i++) EXPECT_EQ(mesh->world.m[i], i % 5 == 0 ? 1.0f : 0.0f);
}

}  // namespace
