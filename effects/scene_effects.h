// The show's 3D scenes, the two viewports they are drawn through, and the
// city's per-camera visibility lists. The asset set-up loads and prepares
// every scene here before the first frame; the 3D effects only pose and draw
// them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "effects/frames.h"
#include "engine/render_pipeline.h"
#include "engine/scene.h"

// The main viewport (320 x 240) with its depth buffer, and the 256 x 256 one
// that projector lights and texture renders go through.
extern Viewport MainViewport;
extern Viewport TextureViewport;
extern int32_t MainDepthBuffer[kFramePixels];

extern Scene CatwalkScene;  // catwalk with the first dancer
extern Scene CubeScene;
extern Scene MetaballScene;  // built by hand; its one mesh is the metaball surface
extern Scene CityScene;
extern Scene ObjectScene;  // the lit object of the flare scene
extern Scene FloorScene;   // dance floor with a dancer
extern Scene BoxScene;     // the second dancer scene
extern Scene BlobScene;    // holds "Box02", the box the second dancer is mirrored in

// Hand-built metaball scene: pools for the largest surface.
inline constexpr int kMetaballSceneVertices = 3000;
inline constexpr int kMetaballSceneFaces = 3000;

// The metaball row's four ball centres at show time t, in the lattice's
// frame.
inline constexpr int kMetaballCount = 4;
void MetaballCentres(float t, Vec3 centres[kMetaballCount]);

// Scene frames per second of show time.
inline constexpr float kSceneFramesPerSecond = 22.5f;

// Step 2 of the set-up: the main viewport (60 degrees, ambient 0.25, no far
// plane) and the texture viewport, 3000 faces each. 0 when one fails.
int SceneEffectsCreateViewports();
// The hand-built metaball scene: one mesh for the surface, two cameras,
// three lights, a dummy and the eight ball materials. 0 when it fails.
int MetaballSceneBuild(Scene* scene);
// Step 4 of the set-up: the dancer parts of the scene (the meshes the bound
// motion names) at scene frames 0..199, seen through camera 0 and drawn with
// the materials as they are (the default one in silhouette mode) over a
// white frame; each drawing goes to the silhouette store. The depth buffer
// is cleared for every drawing, so no pose hides behind the one before.
inline constexpr int kSilhouetteFrames = 200;
void RecordDancerSilhouettes(Scene* scene);
// Forgets every effect's first-call work and the bound motion file, as at
// start.
void SceneEffectsForget();

// The dancer's hand, handed over by the set-up of each dancer scene; the
// catwalk's light is aimed at it.
void SceneEffectsAttachHand(const Scene* scene, Mesh* hand);

// Visibility lists: record k names, in drawing order, the meshes (indices
// into the scene's mesh pool) that scene frame k shows.
struct VisibilityList {
  int32_t recordCount;
  int32_t* counts;    // recordCount entries
  int16_t** records;  // recordCount arrays, each allocated on its own
};

// The lists of cameras 0, 1 and 4 of the city.
extern VisibilityList CityVisibility[3];

enum VisibilityStatus {
  VISIBILITY_OK = 0,
  VISIBILITY_NOT_FOUND,  // the file cannot be opened
  VISIBILITY_MALFORMED,  // a count or index that cannot be right, or a cut record
  VISIBILITY_NO_MEMORY,
};

struct VisibilityResult {
  int status = VISIBILITY_OK;
  std::string message;  // the complete line, newline included, when refused
  std::string reason;   // the system's reason, for the line naming the full path
};

// Reading core: records of a 16-bit little-endian count n >= 0 and n mesh
// indices, each below meshCount, until the file ends exactly after a record.
// Replaces *list only when the whole file is sound. Never prints or exits;
// fileName only names the file in messages.
int VisibilityParse(const uint8_t* data, size_t size, const char* fileName, int32_t meshCount,
                    VisibilityList* list, VisibilityResult* result);
// VisibilityParse on an asset path, read whole.
int VisibilityRead(const char* fileName, int32_t meshCount, VisibilityList* list,
                   VisibilityResult* result);
// Front end: a missing, unreadable or malformed file prints its message and
// the full path with the reason, and ends the process with status 1. An
// empty list is kept with a warning. Returns 1, or 0 when memory ran out.
int LoadVisibilityList(const char* fileName, int32_t meshCount, VisibilityList* list);
// Frees what a list holds and empties it.
void VisibilityRelease(VisibilityList* list);
