#include "engine/animation.h"

#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "engine/scene.h"

template <typename Track>
static int AllocateKeys(Track* track, int capacity) {
  track->keys = nullptr;
  track->keyCount = 0;
  track->keyCapacity = 0;
  if (capacity < 0 || capacity > (1 << 24)) return 0;
  using Key = std::remove_pointer_t<decltype(track->keys)>;
  track->keys = static_cast<Key*>(std::calloc(static_cast<size_t>(capacity) + 3, sizeof(Key)));
  if (track->keys == nullptr) return 0;
  track->keyCapacity = capacity;
  return 1;
}

int TrackAllocate(VectorTrack* track, int capacity) {
  track->current = Vec3{0.0f, 0.0f, 0.0f};
  return AllocateKeys(track, capacity);
}

int TrackAllocate(RotationTrack* track, int capacity) {
  MatIdentity(&track->current);
  return AllocateKeys(track, capacity);
}

int TrackAllocate(ScalarTrack* track, int capacity) {
  track->current = 0.0f;
  return AllocateKeys(track, capacity);
}

// Takes the next key slot, or null when the track is full.
template <typename Track>
static auto NextKey(Track* track) -> decltype(track->keys) {
  if (track->keys == nullptr || track->keyCount >= track->keyCapacity) return nullptr;
  return &track->keys[++track->keyCount];
}

// Slot 0 and the two slots after the last key repeat the end keys, so the
// tangents at either end of the track see a flat neighbour.
template <typename Track>
static void PadKeys(Track* track) {
  int n = track->keyCount;
  track->keys[0] = track->keys[1];
  track->keys[n + 1] = track->keys[n];
  track->keys[n + 2] = track->keys[n];
}

template <typename Key>
static void SetSpline(Key* key, int frame, const KeySpline& spline) {
  key->frame = frame;
  key->splineFlags = spline.splineFlags;
  key->tension = spline.tension;
  key->continuity = spline.continuity;
  key->bias = spline.bias;
  key->easeTo = spline.easeTo;
  key->easeFrom = spline.easeFrom;
}

int TrackAddKey(VectorTrack* track, int frame, const Vec3& value, const KeySpline& spline) {
  VectorKey* key = NextKey(track);
  if (key == nullptr) return 0;
  SetSpline(key, frame, spline);
  key->value = value;
  PadKeys(track);
  return 1;
}

int TrackAddKey(RotationTrack* track, int frame, const Vec3& axis, float angle,
                const KeySpline& spline) {
  RotationKey* key = NextKey(track);
  if (key == nullptr) return 0;
  SetSpline(key, frame, spline);
  key->axis = axis;
  key->angle = angle;
  Mat4 turn;
  MatRotationAxisAngle(axis, angle, &turn);
  if (track->keyCount == 1)
    key->product = turn;
  else
    MatMul(track->keys[track->keyCount - 1].product, turn, &key->product);
  PadKeys(track);
  return 1;
}

int TrackAddKey(ScalarTrack* track, int frame, float value, const KeySpline& spline) {
  ScalarKey* key = NextKey(track);
  if (key == nullptr) return 0;
  SetSpline(key, frame, spline);
  key->value = value;
  PadKeys(track);
  return 1;
}

// An ease of 0 at the arriving end would make the last branch 0 * infinity
// at t = 1; the curve simply ends there.
float EaseParameter(float t, float from, float to) {
  double s = t;
  double easeFrom = from, easeTo = to;
  double sum = easeFrom + easeTo;
  if (sum == 0.0) return t;
  if (sum > 1.0) {
    easeFrom /= sum;
    easeTo /= sum;
  }
  double a = 1.0 / (2.0 - easeFrom - easeTo);
  if (s < easeFrom)
    s = (a / easeFrom) * s * s;
  else if (s < 1.0 - easeTo)
    s = a * (2.0 * s - easeFrom);
  else if (easeTo != 0.0)
    s = 1.0 - (a / easeTo) * (1.0 - s) * (1.0 - s);
  else
    s = 1.0;
  return static_cast<float>(s);
}

enum SegmentKind { kNoKeys, kFirstKey, kLastKey, kBetween };

struct Segment {
  SegmentKind kind;
  int i;     // P2 is keys[i], P1 keys[i - 1]
  double t;  // 0..1 from P1 to P2
};

// Where frame f falls among the keys. The search is bounded by the last key,
// so keys out of order or a frame that is not a number cannot run past it.
template <typename Track>
static Segment Locate(const Track* track, float f) {
  int n = track->keyCount;
  if (n < 1 || track->keys == nullptr) return {kNoKeys, 0, 0.0};
  const auto* keys = track->keys;
  if ((track->flags & kTrackRepeat) && keys[n].frame != 0)
    f = std::fmod(f, static_cast<float>(keys[n].frame));
  if (n == 1) return {kFirstKey, 1, 0.0};
  if (f > keys[n].frame) return {kLastKey, n, 0.0};
  if (f < keys[1].frame) return {kFirstKey, 1, 0.0};
  int i = 2;
  while (i < n && !(f <= keys[i].frame)) i++;
  double span = static_cast<double>(keys[i].frame) - keys[i - 1].frame;
  if (span == 0.0) span = 1.0;
  return {kBetween, i, (f - static_cast<double>(keys[i - 1].frame)) / span};
}

// Kochanek-Bartels tangents. The bias and continuity factors are paired
// (1-B)(1+C) and (1+B)(1-C) leaving a key, (1+B)(1+C) and (1-B)(1-C) arriving
// at one; the usual pairing differs, and the tracks play back with this one.
struct Hermite {
  double h1, h2, h3, h4;     // weights of P1, P2, D1, D2
  double a0, a1;             // D1 = a0 (P1 - P0) + a1 (P2 - P1)
  double b0, b1;             // D2 = b0 (P2 - P1) + b1 (P3 - P2)
};

template <typename Key>
static Hermite HermiteWeights(const Key* keys, int i, double t) {
  const Key& p1 = keys[i - 1];
  const Key& p2 = keys[i];
  double s = EaseParameter(static_cast<float>(t), p1.easeFrom, p2.easeTo);
  Hermite w;
  double s2 = s * s, s3 = s2 * s;
  w.h1 = 2 * s3 - 3 * s2 + 1;
  w.h2 = 3 * s2 - 2 * s3;
  w.h3 = s3 - 2 * s2 + s;
  w.h4 = s3 - s2;
  double t1 = p1.tension, c1 = p1.continuity, b1 = p1.bias;
  double t2 = p2.tension, c2 = p2.continuity, b2 = p2.bias;
  w.a0 = (1 - t1) * (1 - b1) * (1 + c1) / 2;
  w.a1 = (1 - t1) * (1 + b1) * (1 - c1) / 2;
  w.b0 = (1 - t2) * (1 + b2) * (1 + c2) / 2;
  w.b1 = (1 - t2) * (1 - b2) * (1 - c2) / 2;
  return w;
}

static float Interpolate(const Hermite& w, double p0, double p1, double p2, double p3) {
  double d1 = w.a0 * (p1 - p0) + w.a1 * (p2 - p1);
  double d2 = w.b0 * (p2 - p1) + w.b1 * (p3 - p2);
  return static_cast<float>(w.h1 * p1 + w.h2 * p2 + w.h3 * d1 + w.h4 * d2);
}

void EvaluateTrack(VectorTrack* track, float f) {
  Segment at = Locate(track, f);
  const VectorKey* keys = track->keys;
  switch (at.kind) {
    case kNoKeys:
      return;
    case kFirstKey:
    case kLastKey:
      track->current = keys[at.i].value;
      return;
    case kBetween:
      break;
  }
  Hermite w = HermiteWeights(keys, at.i, at.t);
  const Vec3& p0 = keys[at.i - 2].value;
  const Vec3& p1 = keys[at.i - 1].value;
  const Vec3& p2 = keys[at.i].value;
  const Vec3& p3 = keys[at.i + 1].value;
  track->current.x = Interpolate(w, p0.x, p1.x, p2.x, p3.x);
  track->current.y = Interpolate(w, p0.y, p1.y, p2.y, p3.y);
  track->current.z = Interpolate(w, p0.z, p1.z, p2.z, p3.z);
}

void EvaluateTrack(ScalarTrack* track, float f) {
  Segment at = Locate(track, f);
  const ScalarKey* keys = track->keys;
  switch (at.kind) {
    case kNoKeys:
      return;
    case kFirstKey:
    case kLastKey:
      track->current = keys[at.i].value;
      return;
    case kBetween:
      break;
  }
  Hermite w = HermiteWeights(keys, at.i, at.t);
  track->current = Interpolate(w, keys[at.i - 2].value, keys[at.i - 1].value, keys[at.i].value,
                               keys[at.i + 1].value);
}

// Rotations are not splined: the running product up to the previous key,
// then the current key's rotation turned linearly through its angle.
void EvaluateTrack(RotationTrack* track, float f) {
  Segment at = Locate(track, f);
  const RotationKey* keys = track->keys;
  switch (at.kind) {
    case kNoKeys:
      return;
    case kFirstKey:
    case kLastKey:
      track->current = keys[at.i].product;
      return;
    case kBetween:
      break;
  }
  Mat4 turn;
  MatRotationAxisAngle(keys[at.i].axis, static_cast<float>(keys[at.i].angle * at.t), &turn);
  MatMul(keys[at.i - 1].product, turn, &track->current);
}

// A track that was announced but got no keys contributes nothing.
template <typename Track>
static int Active(int32_t has, const Track& track) {
  return has && track.keyCount > 0 && track.keys != nullptr;
}

void EvaluateNode(KeyNode* node, float f) {
  MatIdentity(&node->matrix);
  if (Active(node->hasScale, node->scale)) {
    EvaluateTrack(&node->scale, f);
    Mat4 scaling;
    MatScaling(&scaling, node->scale.current.x, node->scale.current.y, node->scale.current.z);
    MatMul(node->matrix, scaling, &node->matrix);
  }
  if (Active(node->hasRotation, node->rotation)) {
    EvaluateTrack(&node->rotation, f);
    MatMul(node->matrix, node->rotation.current, &node->matrix);
  }
  if (Active(node->hasPosition, node->position)) {
    EvaluateTrack(&node->position, f);
    node->matrix.m[12] += node->position.current.x;
    node->matrix.m[13] += node->position.current.y;
    node->matrix.m[14] += node->position.current.z;
  }
  if (Active(node->hasColour, node->colour)) EvaluateTrack(&node->colour, f);
  if (Active(node->hasFov, node->fov)) EvaluateTrack(&node->fov, f);
  if (Active(node->hasRoll, node->roll)) EvaluateTrack(&node->roll, f);
  if (node->parent != nullptr) MatMul(node->matrix, node->parent->matrix, &node->matrix);
  for (int i = 0; i < node->childCount; i++) EvaluateNode(node->children[i], f);
}

void SceneSetFrame(Scene* scene, float frame) {
  float f = frame;
  if (scene->lastFrame != 0) f = std::fmod(frame, static_cast<float>(scene->lastFrame));
  EvaluateNode(&scene->root, f);
}

void SceneUpdateMeshMatrices(Scene* scene) {
  for (int i = 0; i < scene->meshCount; i++) scene->meshes[i].world = scene->meshes[i].node.matrix;
}
