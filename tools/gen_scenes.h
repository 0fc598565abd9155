// The generator's 3D half: scene files built from a small kit of shapes, the
// dancer figure and her dances, and the city's visibility lists. Geometry is
// made in the scene file's own terms (z-up, centimetre-like units, faces
// wound counter-clockwise seen from outside); dances are posed z-up and
// handed to the motion writer as engine (y-up) matrices.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/math3d.h"
#include "engine/write_3ds.h"
#include "engine/write_are.h"
#include "tools/generator.h"

struct Scene;
struct Viewport;

// ---- shape kit (z-up) ----
// Adds a vertex with mapping (texture units, v upwards); returns its number.
int KitVertex(SceneFileMesh* mesh, Vec3 p, float u, float v);
// A triangle given to the named material's group; an empty name leaves it
// on the scene's default material.
void KitFace(SceneFileMesh* mesh, int a, int b, int c, const std::string& material);
// Quad a-b-c-d counter-clockwise seen from its front.
void KitQuad(SceneFileMesh* mesh, int a, int b, int c, int d, const std::string& material);
// Turns faces from firstFace on inside out (for rooms and sky walls).
void KitFlip(SceneFileMesh* mesh, size_t firstFace);
// A flat rectangle from corner o along edges e1 and e2 (front side is
// e1 x e2), mapped with texture repeats ru x rv.
void KitPanel(SceneFileMesh* mesh, Vec3 o, Vec3 e1, Vec3 e2, float ru, float rv,
              const std::string& material);
// The same panel as a grid of n1 x n2 quads, for large panels seen at a
// grazing angle: texture coordinates run straight across each face, so
// smaller faces keep the picture from swimming and tearing.
void KitGridPanel(SceneFileMesh* mesh, Vec3 o, Vec3 e1, Vec3 e2, float ru, float rv, int n1, int n2,
                  const std::string& material);
// Axis-aligned box; sides, top and bottom materials (an empty name leaves
// that part out). Texture repeats every `tile` units.
void KitBox(SceneFileMesh* mesh, Vec3 lo, Vec3 hi, const std::string& sides, const std::string& top,
            const std::string& bottom, float tile);
// Surface of revolution along a -> b: ring k sits at fraction t[k] with
// radii rx[k] (along `side`) and ry[k]; a zero radius closes the end in a
// point. u runs around (repeated uRepeat times), v along.
struct LatheRing {
  float t, rx, ry;
};
void KitLathe(SceneFileMesh* mesh, Vec3 a, Vec3 b, Vec3 side, const std::vector<LatheRing>& rings,
              int segments, float uRepeat, float vRepeat, const std::string& material);
// Torus about the z axis through centre.
void KitTorus(SceneFileMesh* mesh, Vec3 centre, float major, float minor, int segments, int sides,
              float uRepeat, float vRepeat, const std::string& material);

// ---- scene assembly ----
// Each added object gets its key-frame node; numbers follow the order of
// addition.
struct CameraKey {
  int frame;
  Vec3 eye;
  Vec3 target;
};
void SceneAddMesh(SceneFile* scene, SceneFileMesh mesh);
// Lights stay where they are put, with their colour.
void SceneAddLight(SceneFile* scene, const std::string& name, Vec3 position, Vec3 colour);
// A camera flying through its keys (frames ascending) with a fixed field of
// view; Catmull-Rom between keys.
void SceneAddCamera(SceneFile* scene, const std::string& name, const std::vector<CameraKey>& keys,
                    float fov);

// ---- the dancer ----
constexpr int kDancerParts = 16;
enum DancerPartIndex {
  DP_HIP,
  DP_CHEST,
  DP_NECK,
  DP_HEAD,
  DP_ARM_UPPER_R,
  DP_ARM_LOWER_R,
  DP_HAND_R,
  DP_ARM_UPPER_L,
  DP_ARM_LOWER_L,
  DP_HAND_L,
  DP_LEG_UPPER_R,
  DP_LEG_LOWER_R,
  DP_FOOT_R,
  DP_LEG_UPPER_L,
  DP_LEG_LOWER_L,
  DP_FOOT_L,
};
struct DancerPart {
  const char* name;
  int parent;  // -1 for the hip
  Vec3 joint;  // rest position of the joint the part turns about
};
extern const DancerPart kDancerPartTable[kDancerParts];
// Every part as a mesh, standing at the origin facing -y, z-up.
void AddDancer(SceneFile* scene);
// Parts stored mirrored in x (through their mesh matrix) and mirrored back
// by their motion: the torso and the right side. Their normals load facing
// out, the others' facing in; the asset set-up turns exactly these round, so
// afterwards all face into the body as the lighting expects.
bool DancerPartMirrored(int part);

// Local turn of each part (radians: about x forward/back, about y
// sideways, about z twist) and the hip's place and heading.
struct DancerPose {
  Vec3 turn[kDancerParts];
  Vec3 hip;       // hip joint position
  float heading;  // turn about z of the whole figure
  bool grounded;  // lift or lower the figure so the lower ankle rests at floor height
};
// World transforms of every part, z-up, as row-vector matrices, each taking
// its mesh as stored (mirrored parts included) to where it stands.
void DancerWorld(const DancerPose& pose, Mat4 world[kDancerParts]);
// The five dances: motion k (0..4) at time seconds into its loop.
struct DanceInfo {
  const char* file;
  float rate;  // samples per second of dance
  int frames;  // samples, the last one equal to the first
};
extern const DanceInfo kDances[5];
void DancePose(int dance, float seconds, DancerPose* pose);
// The motion tracks of a dance, one per part in engine axes.
std::vector<MotionTrack> SampleDance(int dance);

// ---- the scenes ----
SceneFile CatwalkScene();
SceneFile BoxScene();
SceneFile FloorScene();
SceneFile BlobScene();
SceneFile CubeScene();
SceneFile ObjectScene();
SceneFile CityScene();

// ---- visibility lists ----
// For every scene frame 0..frames-1: the meshes of which some face is drawn
// from the camera at a frame in [k, k + 1], far plane at farZ. The file
// image: per record a 16-bit count and the 16-bit mesh numbers.
constexpr float kCityFadeStart = 300.0f;
constexpr float kCityFarZ = 700.0f;
std::vector<std::vector<int16_t>> ComputeVisibility(Scene* scene, Viewport* vp, int camera,
                                                    int frames);
std::vector<uint8_t> EncodeVisibility(const std::vector<std::vector<int16_t>>& records);
// Sub-frame steps sampled for each record.
constexpr int kVisibilitySteps = 4;

// Writes every scene, motion and visibility list; runs the city through the
// engine's loader for the lists.
void GenerateScenes(AssetOutput* out);
