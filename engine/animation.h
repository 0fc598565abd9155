// Key-frame tracks with tension/continuity/bias Hermite splines and ease, and
// the evaluation of a scene's node hierarchy at a frame number.
#pragma once
#include <cstdint>

#include "engine/math3d.h"

// Track flags: the track repeats, its frame wrapped by the last key's frame.
constexpr int32_t kTrackRepeat = 0x2;

struct VectorKey {
  int32_t frame;
  Vec3 value;
  int32_t splineFlags;
  float tension, continuity, bias, easeTo, easeFrom;
};

struct RotationKey {
  int32_t frame;
  int32_t splineFlags;
  Mat4 product;  // every rotation of the track up to and including this key
  Vec3 axis;
  float angle;   // radians
  float tension, continuity, bias, easeTo, easeFrom;
};

struct ScalarKey {
  int32_t frame;
  int32_t splineFlags;
  float value;
  float tension, continuity, bias, easeTo, easeFrom;
};

// Key arrays are 1-based: slot 0 repeats key 1, and slots n+1 and n+2 repeat
// key n, so the spline always finds the neighbours of a segment. keyCapacity
// is the number of keys the array was made for (slots for capacity + 3).
struct VectorTrack {
  int32_t flags;
  int32_t keyCount;
  Vec3 current;
  VectorKey* keys;
  int32_t keyCapacity;
};

struct RotationTrack {
  int32_t flags;
  int32_t keyCount;
  Mat4 current;
  RotationKey* keys;
  int32_t keyCapacity;
};

struct ScalarTrack {
  int32_t flags;
  int32_t keyCount;
  float current;
  ScalarKey* keys;
  int32_t keyCapacity;
};

// Spline parameters of a key; those a file omits are 0.
struct KeySpline {
  int32_t splineFlags;
  float tension, continuity, bias, easeTo, easeFrom;
};

// Allocate room for capacity keys with no key in use; 0 when capacity is
// negative or the allocation fails. Tracks are never freed during the show.
int TrackAllocate(VectorTrack* track, int capacity);
int TrackAllocate(RotationTrack* track, int capacity);
int TrackAllocate(ScalarTrack* track, int capacity);

// Append one key and repad the end slots. A rotation key's running product is
// the previous key's product times this key's rotation. 0 when the track is
// full.
int TrackAddKey(VectorTrack* track, int frame, const Vec3& value, const KeySpline& spline);
int TrackAddKey(RotationTrack* track, int frame, const Vec3& axis, float angle,
                const KeySpline& spline);
int TrackAddKey(ScalarTrack* track, int frame, float value, const KeySpline& spline);

// Reparameterises t in 0..1 so the curve accelerates over the first `from`
// and slows over the last `to` of the segment.
float EaseParameter(float t, float from, float to);

// Set track->current for frame f. A track without keys keeps its current
// value.
void EvaluateTrack(VectorTrack* track, float f);
void EvaluateTrack(RotationTrack* track, float f);
void EvaluateTrack(ScalarTrack* track, float f);

struct KeyNode;
struct Scene;

// The node's world matrix from its tracks and its parent, then its children.
void EvaluateNode(KeyNode* node, float f);
// Poses the whole hierarchy at frame, wrapped into the scene's segment. A
// scene whose segment ends at frame 0 has nothing to wrap by and is posed at
// the frame as given.
void SceneSetFrame(Scene* scene, float frame);
// Every mesh's world matrix = its node's matrix.
void SceneUpdateMeshMatrices(Scene* scene);
