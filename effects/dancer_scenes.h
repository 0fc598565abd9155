// The frame every dancer effect draws: the figure posed by the loaded motion
// inside its scene. And the planar mirror: the scene reflected in a floor,
// seen only through the floor's visible outline, under the floor and the
// real scene.
#pragma once
#include <cstdint>

#include "engine/render_pipeline.h"
#include "engine/scene.h"

// Motion files of the dancer effects' params 0, 1 and 2, and the frame
// duration each is played at.
extern const char* const kDancerMotionFiles[3];
extern const float kDancerMotionDurations[3];

// Loads a motion file and sets its frame duration unless that file is the
// one bound last, whichever effect bound it. 1 when it loaded. A file that
// cannot be read counts as bound: it is not tried again every frame.
int BindMotionFile(const char* fileName, float duration);
// Forgets which file is bound, so the next BindMotionFile loads.
void ForgetBoundMotion();
// The motion of a dancer param (0..2; others dance as 0).
int DancerBindMotion(int param);

// The scene's camera of that number, or null when there is none.
const Camera* SceneCamera(const Scene* scene, int number);

// One dancer frame: depth cleared, cull mode 0, target frame; the scene and
// the motion posed at clock, seen through the numbered camera, submitted,
// sorted and drawn. Nothing is drawn without that camera.
void DancerFrame(Scene* scene, Viewport* vp, uint32_t* frame, int32_t* depth, float sceneClock,
                 float motionClock, int camera);

// A floor's mirror: four corners of its bounding box (numbers 1, 0, 7, 6,
// the face at its top), copied once; their view fields are rewritten per
// frame.
struct MirrorFloor {
  Mesh* floor;
  Vertex corners[4];
};
void MirrorFloorInit(MirrorFloor* mirror, Mesh* floor);

// Per-frame mirror geometry, in the order the mirror frame makes it.
struct MirrorView {
  Plane worldPlane;  // the floor's plane, world space
  Mat4 mirror;       // reflection through it
  int facing;        // 1 when the eye sees the floor's top face
};
// World corners into the corners' view fields, the plane and the
// reflection, then the corners in camera space and the facing test.
void MirrorPrepare(MirrorFloor* mirror, const Viewport* vp, MirrorView* out);
// Clips the camera-space outline against the viewport's planes and, when at
// least three corners remain, replaces the planes with one through the eye
// and each outline edge plus the floor's own plane. Returns the number of
// planes set, 0 when the floor is out of view (the planes are then kept).
int MirrorPortal(MirrorFloor* mirror, Viewport* vp);

// The mirrored frame. scene holds the dancer and the camera; floorScene holds
// the floor (it may be scene itself). Passes: the reflection of scene
// through the portal, then the floor, then scene, all against one depth
// buffer, which is cleared first; the frame is not.
void MirrorFrame(Scene* scene, Scene* floorScene, MirrorFloor* mirror, Viewport* vp,
                 uint32_t* frame, int32_t* depth, float clock, int camera);
