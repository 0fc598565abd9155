#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/animation.h"
#include "engine/scene.h"

namespace {

struct ScalarKeySpec {
  int frame;
  float value;
  KeySpline spline;
};

ScalarTrack MakeTrack(std::initializer_list<ScalarKeySpec> keys, int flags = 0) {
  ScalarTrack track = {};
  EXPECT_EQ(TrackAllocate(&track, static_cast<int>(keys.size())), 1);
  for (const ScalarKeySpec& k : keys) EXPECT_EQ(TrackAddKey(&track, k.frame, k.value, k.spline), 1);
  track.flags = flags;
  return track;
}

float At(ScalarTrack* track, float f) {
  EvaluateTrack(track, f);
  return track->current;
}

const KeySpline kPlain = {};

TEST(EngineAnimation, KeyLookupAtEndsKeysAndRepeats) {
  struct Case {
    const char* what;
    ScalarTrack track;
    float frame;
    float want;
  } cases[] = {
      {"one key, before", MakeTrack({{10, 7.0f, kPlain}}), -50.0f, 7.0f},
      {"one key, after", MakeTrack({{10, 7.0f, kPlain}}), 500.0f, 7.0f},
      {"before the first", MakeTrack({{10, 1.0f, kPlain}, {20, 5.0f, kPlain}}), 9.5f, 1.0f},
      {"after the last", MakeTrack({{10, 1.0f, kPlain}, {20, 5.0f, kPlain}}), 20.5f, 5.0f},
      {"at the first", MakeTrack({{10, 1.0f, kPlain}, {20, 5.0f, kPlain}}), 10.0f, 1.0f},
      {"at the last", MakeTrack({{10, 1.0f, kPlain}, {20, 5.0f, kPlain}}), 20.0f, 5.0f},
      {"at an inner key",
       MakeTrack({{0, 1.0f, kPlain}, {10, -3.5f, {0, 0.5f, 0.5f, 0.5f, 0.2f, 0.2f}},
                  {20, 5.0f, kPlain}}),
       10.0f, -3.5f},
      // Two keys on one frame: divisor 1, so t = 0 there gives the first.
      {"equal frames", MakeTrack({{5, 1.0f, kPlain}, {5, 9.0f, kPlain}}), 5.0f, 1.0f},
      {"equal frames, after", MakeTrack({{5, 1.0f, kPlain}, {5, 9.0f, kPlain}}), 5.5f, 9.0f},
      // The repeat bit wraps by the last key's frame: 25 plays as 5, the
      // midpoint of a Catmull-Rom segment between flat ends.
      {"repeat", MakeTrack({{0, 0.0f, kPlain}, {10, 10.0f, kPlain}}, kTrackRepeat), 25.0f, 5.0f},
      {"no repeat", MakeTrack({{0, 0.0f, kPlain}, {10, 10.0f, kPlain}}), 25.0f, 10.0f},
      // A last key at frame 0 gives nothing to wrap by: the frame is kept.
      {"repeat by 0", MakeTrack({{-10, 4.0f, kPlain}, {0, 8.0f, kPlain}}, kTrackRepeat), 3.0f,
       8.0f},
  };
  for (Case& c : cases) EXPECT_EQ(At(&c.track, c.frame), c.want) << c.what;
}

TEST(EngineAnimation, SplineTangentsUseTheirOwnFactorPairing) {
  // Hand-computed: between keys 2 and 3 the tangents are D1 = 7.5 and D2 = 45
  // (the usual pairing would give D1 = 10); at the ends the padded copies
  // supply the missing neighbours.
  const KeySpline k2 = {0, 0.5f, 0.25f, -0.5f, 0.0f, 0.0f};
  const KeySpline k3 = {0, -0.5f, 0.5f, 0.25f, 0.0f, 0.0f};
  ScalarTrack track =
      MakeTrack({{0, 0.0f, kPlain}, {10, 10.0f, k2}, {20, 40.0f, k3}, {30, 50.0f, kPlain}});
  struct Case {
    float frame, want;
  } cases[] = {
      {15.0f, 20.3125f},     // s = 0.5
      {12.5f, 13.6328125f},  // s = 0.25
      {5.0f, 4.375f},        // first segment: P0 is the copy of key 1
      {25.0f, 48.125f},      // last segment: P3 is the copy of key 4
      {20.0f, 40.0f},
  };
  for (const Case& c : cases) EXPECT_EQ(At(&track, c.frame), c.want) << c.frame;

  // Vector tracks run the same curve per component.
  VectorTrack vector = {};
  ASSERT_EQ(TrackAllocate(&vector, 4), 1);
  const float values[4] = {0.0f, 10.0f, 40.0f, 50.0f};
  const KeySpline splines[4] = {kPlain, k2, k3, kPlain};
  for (int i = 0; i < 4; i++) {
    Vec3 v = {values[i], -2.0f * values[i], 3.0f};
    ASSERT_EQ(TrackAddKey(&vector, i * 10, v, splines[i]), 1);
  }
  EvaluateTrack(&vector, 15.0f);
  EXPECT_EQ(vector.current.x, 20.3125f);
  EXPECT_EQ(vector.current.y, -40.625f);
  EXPECT_EQ(vector.current.z, 3.0f);
}

TEST(EngineAnimation, EaseReshapesTheSegmentParameter) {
  struct Case {
    float t, from, to, want;
  } cases[] = {
      {0.5f, 0.3f, 0.3f, 0.5f},
      {0.37f, 0.0f, 0.0f, 0.37f},
      {0.25f, 0.5f, 0.5f, 0.125f},        // accelerating: (a/from) t^2 with a = 1
      {0.25f, 1.0f, 1.0f, 0.125f},        // a sum above 1 is scaled down to 1
      {0.25f, 0.0f, 0.5f, 1.0f / 3.0f},   // steady: a (2t - from), a = 1/1.5
      {0.9f, 0.0f, 0.5f, 1.0f - 0.04f / 3.0f},  // slowing: 1 - (a/to)(1-t)^2
      {1.0f, 0.4f, 0.0f, 1.0f},           // no slowing at the end: 1, not 0 * inf
      {0.0f, 0.4f, 0.2f, 0.0f},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(EaseParameter(c.t, c.from, c.to), c.want, 1e-6f) << c.t << " " << c.from;

  // Ease leaving a key is that key's easeFrom, arriving is the next key's
  // easeTo: easeFrom 1 on key 1 turns the midpoint into s = 0.25.
  ScalarTrack plain = MakeTrack({{0, 0.0f, kPlain}, {10, 10.0f, kPlain}});
  ScalarTrack eased =
      MakeTrack({{0, 0.0f, {0, 0, 0, 0, 0.0f, 1.0f}}, {10, 10.0f, kPlain}});
  ScalarTrack wrongEnd =
      MakeTrack({{0, 0.0f, kPlain}, {10, 10.0f, {0, 0, 0, 0, 0.0f, 1.0f}}});
  EXPECT_EQ(At(&eased, 5.0f), At(&plain, 2.5f));
  EXPECT_EQ(At(&wrongEnd, 5.0f), At(&plain, 5.0f));
  EXPECT_FALSE(std::isnan(At(&eased, 10.0f)));
  EXPECT_EQ(At(&eased, 10.0f), 10.0f);
}

void ExpectNear(const Mat4& got, const Mat4& want, const char* what) {
  for (int i = 0; i < 16; i++) EXPECT_NEAR(got.m[i], want.m[i], 1e-6f) << what << " m" << i;
}

Mat4 Mul(const Mat4& a, const Mat4& b) {
  Mat4 out;
  MatMul(a, b, &out);
  return out;
}

Mat4 Rot(void (*rotation)(Mat4*, float), float angle) {
  Mat4 m;
  rotation(&m, angle);
  return m;
}

TEST(EngineAnimation, RotationTracksComposeTheirKeys) {
  RotationTrack track = {};
  ASSERT_EQ(TrackAllocate(&track, 3), 1);
  ASSERT_EQ(TrackAddKey(&track, 0, {0, 0, 1}, 0.5f, kPlain), 1);
  ASSERT_EQ(TrackAddKey(&track, 10, {0, 0, 2}, 0.3f, kPlain), 1);
  ASSERT_EQ(TrackAddKey(&track, 20, {1, 0, 0}, 0.4f, kPlain), 1);
  EXPECT_EQ(TrackAddKey(&track, 30, {1, 0, 0}, 0.4f, kPlain), 0);  // full

  const Mat4 last = Mul(Rot(MatRotationZ, 0.8f), Rot(MatRotationX, 0.4f));
  ExpectNear(track.keys[1].product, Rot(MatRotationZ, 0.5f), "product 1");
  ExpectNear(track.keys[2].product, Rot(MatRotationZ, 0.8f), "product 2");
  ExpectNear(track.keys[3].product, last, "product 3");

  struct Case {
    float frame;
    Mat4 want;
  } cases[] = {
      {-4.0f, Rot(MatRotationZ, 0.5f)},
      {0.0f, Rot(MatRotationZ, 0.5f)},
      {5.0f, Rot(MatRotationZ, 0.65f)},
      {15.0f, Mul(Rot(MatRotationZ, 0.8f), Rot(MatRotationX, 0.2f))},
      {20.0f, last},
      {99.0f, last},
  };
  for (const Case& c : cases) {
    EvaluateTrack(&track, c.frame);
    ExpectNear(track.current, c.want, "rotation track");
  }
}

TEST(EngineAnimation, TracksHoldPaddedKeysAndRefuseBeyondCapacity) {
  VectorTrack track = {};
  ASSERT_EQ(TrackAllocate(&track, 2), 1);
  ASSERT_EQ(TrackAddKey(&track, 3, {1, 2, 3}, kPlain), 1);
  EXPECT_EQ(track.keys[0].frame, 3);
  EXPECT_EQ(track.keys[2].frame, 3);
  EXPECT_EQ(track.keys[3].frame, 3);
  ASSERT_EQ(TrackAddKey(&track, 8, {4, 5, 6}, kPlain), 1);
  EXPECT_EQ(track.keys[0].frame, 3);
  EXPECT_EQ(track.keys[1].frame, 3);
  EXPECT_EQ(track.keys[2].frame, 8);
  EXPECT_EQ(track.keys[3].value.z, 6.0f);
  EXPECT_EQ(track.keys[4].value.z, 6.0f);
  EXPECT_EQ(TrackAddKey(&track, 9, {7, 8, 9}, kPlain), 0);
  EXPECT_EQ(track.keyCount, 2);

  // Without keys a track keeps its value; an unallocated one too.
  VectorTrack empty = {};
  empty.current = {1, 2, 3};
  EvaluateTrack(&empty, 4.0f);
  EXPECT_EQ(empty.current.y, 2.0f);
  ScalarTrack refused = {};
  EXPECT_EQ(TrackAllocate(&refused, -1), 0);
  EXPECT_EQ(TrackAddKey(&refused, 0, 1.0f, kPlain), 0);
}

std::unique_ptr<Scene> TwoMeshScene() {
  auto scene = std::make_unique<Scene>();
  EXPECT_EQ(SceneCreate(scene.get(), 0, 0, 2, 0, 0, 0), 1);
  Mesh* parent = SceneAddMesh(scene.get(), "parent");
  Mesh* child = SceneAddMesh(scene.get(), "child");
  parent->node.id = 1, parent->node.parentId = -1;
  child->node.id = 2, child->node.parentId = 1;

  // Parent: moves along x from 0 at frame 0 to 10 at frame 10.
  parent->node.hasPosition = 1;
  TrackAllocate(&parent->node.position, 2);
  TrackAddKey(&parent->node.position, 0, {0, 0, 0}, kPlain);
  TrackAddKey(&parent->node.position, 10, {10, 0, 0}, kPlain);
  // Child: scaled by 2, turned a quarter about z, then moved by (1, 0, 0).
  child->node.hasScale = 1;
  TrackAllocate(&child->node.scale, 1);
  TrackAddKey(&child->node.scale, 0, {2, 2, 2}, kPlain);
  child->node.hasRotation = 1;
  TrackAllocate(&child->node.rotation, 1);
  TrackAddKey(&child->node.rotation, 0, {0, 0, 1}, 1.5707964f, kPlain);
  child->node.hasPosition = 1;
  TrackAllocate(&child->node.position, 1);
  TrackAddKey(&child->node.position, 0, {1, 0, 0}, kPlain);
  EXPECT_EQ(SceneBuildHierarchy(scene.get()), 1);
  return scene;
}

TEST(EngineAnimation, NodesScaleRotateMoveThenFollowTheirParent) {
  auto scene = TwoMeshScene();
  Mesh* parent = &scene->meshes[0];
  Mesh* child = &scene->meshes[1];
  scene->lastFrame = 10;
  SceneSetFrame(scene.get(), 10.0f);  // wraps to 0: parent at the origin
  SceneUpdateMeshMatrices(scene.get());
  Vec3 p;
  MatTransformPoint({1, 0, 0}, child->world, &p);
  EXPECT_NEAR(p.x, 1.0f, 1e-6f);
  EXPECT_NEAR(p.y, 2.0f, 1e-6f);
  EXPECT_NEAR(p.z, 0.0f, 1e-6f);

  scene->lastFrame = 100;
  SceneSetFrame(scene.get(), 10.0f);
  SceneUpdateMeshMatrices(scene.get());
  MatTransformPoint({1, 0, 0}, child->world, &p);
  EXPECT_NEAR(p.x, 11.0f, 1e-5f);
  EXPECT_NEAR(p.y, 2.0f, 1e-6f);
  EXPECT_EQ(parent->world.m[12], 10.0f);
  for (int i = 0; i < 16; i++) EXPECT_EQ(child->world.m[i], child->node.matrix.m[i]);

  // The root's own tracks are switched off when the hierarchy is built.
  scene->root.hasPosition = 1;
  EXPECT_EQ(SceneBuildHierarchy(scene.get()), 1);
  EXPECT_EQ(scene->root.hasPosition, 0);
}

TEST(EngineAnimation, SceneFrameWrapsByTheSegmentEnd) {
  struct Case {
    int lastFrame;
    float frame, equivalent;
  } cases[] = {
      {100, 105.0f, 5.0f},  // lastFrame + 5 plays frame 5
      {100, 3.5f, 3.5f},
      {100, 100.0f, 0.0f},
      {100, -5.0f, -5.0f},  // the remainder keeps the sign of the frame
      {8, 21.0f, 5.0f},
      {0, 7.0f, 7.0f},  // no segment: played unwrapped, never divided by 0
  };
  for (const Case& c : cases) {
    auto scene = TwoMeshScene();
    scene->lastFrame = c.lastFrame;
    KeyNode* parent = &scene->meshes[0].node;
    SceneSetFrame(scene.get(), c.frame);
    float got = parent->matrix.m[12];
    EvaluateTrack(&parent->position, c.equivalent);
    EXPECT_FALSE(std::isnan(got));
    EXPECT_EQ(got, parent->position.current.x) << c.lastFrame << " " << c.frame;
  }
}

TEST(EngineAnimation, NodesWithoutKeysOrHierarchyStayWhereTheyAre) {
  auto scene = std::make_unique<Scene>();
  ASSERT_EQ(SceneCreate(scene.get(), 0, 0, 1, 0, 0, 0), 1);
  Mesh* mesh = SceneAddMesh(scene.get(), "bare");
  mesh->node.parentId = -1;
  mesh->node.id = 1;
  mesh->node.hasScale = 1;  // announced, but no key ever came
  ASSERT_EQ(SceneBuildHierarchy(scene.get()), 1);
  SceneSetFrame(scene.get(), 3.0f);
  SceneUpdateMeshMatrices(scene.get());
  Mat4 identity;
  MatIdentity(&identity);
  for (int i = 0; i < 16; i++) EXPECT_EQ(mesh->world.m[i], identity.m[i]);
}

}  // namespace
