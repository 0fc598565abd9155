// Skeleton playback from .are motion files: for every named body part a run
// of sampled transforms, laid over the world matrices of the scene's meshes
// of the same names by linear interpolation. Also the small bone deformation
// that rebuilds a mesh from template points.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/math3d.h"
#include "engine/scene.h"

inline constexpr int kMotionMagicSize = 64;  // 63 characters and a zero byte
inline constexpr int kMotionMaxParts = 30;
inline constexpr int kMotionMaxFrames = 400;
inline constexpr int kMotionNameSize = 64;  // names of at most 63 characters
inline constexpr int kMotionFrameValues = 12;
// Largest file the table can hold; anything beyond it is never read.
inline constexpr size_t kMotionMaxFileSize =
    kMotionMagicSize + 4 +
    size_t{kMotionMaxParts} *
        (kMotionNameSize + 4 + size_t{kMotionMaxFrames} * kMotionFrameValues * 4);

extern const char kMotionMagic[kMotionMagicSize];

// Where float k of a stored frame goes in the Mat4: the file is z-up, so
// indices 1 and 2 are exchanged for rows and for columns.
extern const int kMotionElement[kMotionFrameValues];

struct MotionPart {
  char name[kMotionNameSize];
  int32_t frameCount;
  Mat4* frames;  // room for kMotionMaxFrames
  Mesh* mesh;    // bound mesh; 0 until ApplyMotion finds it
};

// The one loaded motion: a table of kMotionMaxParts parts, allocated by the
// first successful read, and the number of parts in use.
extern MotionPart* MotionParts;
extern int32_t MotionPartCount;

// Clock units per stored frame: ApplyMotion's time divided by it is the
// frame position.
extern float MotionFrameDuration;

enum MotionStatus {
  MOTION_OK = 0,
  MOTION_MISSING,          // the file cannot be opened: the previous motion stays
  MOTION_HEADER_MISMATCH,  // not a motion file: the previous motion stays
  MOTION_MALFORMED,        // damaged or beyond the table's limits: the previous motion stays
  MOTION_NO_MEMORY,        // the part table could not be allocated
};

struct MotionResult {
  int status = MOTION_OK;
  std::string message;  // the complete line, newline included, unless OK
  std::string reason;   // the system's reason, for the line naming the full path
  long offset = 0;      // where a damaged file went wrong
};

// Reading core: checks the whole file image first and replaces the loaded
// motion only when every part fits the table. Never prints or exits.
// fileName only names the file in messages.
int MotionParse(const uint8_t* data, size_t size, const char* fileName, MotionResult* result);
// The check alone: the loaded motion is left as it is.
int MotionCheck(const uint8_t* data, size_t size, const char* fileName, MotionResult* result);
// Reads an asset path (at most kMotionMaxFileSize bytes) and parses it.
int DecodeMotion(const char* fileName, MotionResult* result);

// Reads an asset path and checks it without loading it.
int CheckMotionFile(const char* fileName, MotionResult* result);

// Front end: a missing file and a foreign one (which prints "header
// mismatch") keep the previous motion, each with a line on standard error
// that names the file. A damaged file prints its message and the file's
// full path and ends the process with status 1. Returns the status
// otherwise.
int LoadMotion(const char* fileName);

// Checks every file before the show starts, so a damaged one ends the
// set-up (as LoadMotion would end the show) instead of a frame minutes in.
// Missing and foreign files pass with their line on standard error: their
// fallback comes when they are bound.
void CheckMotionFiles(const char* const* fileNames, int count);

// Unbinds every part, so the next ApplyMotion binds to the scene it is given.
void ResetMotion();

// Sets the world matrices (columns 0..2) of the parts' meshes for time.
void ApplyMotion(Scene* scene, float time);

struct Bone {
  float a, b, c;  // Euler angles, radians
  int32_t matrixValid;
  Mat4 matrix;
};

struct TemplatePoint {
  Vec3 position;
  Vec3 normal;
  int32_t boneIndex;
};

// Rebuilds every vertex of mesh from templates[i] (one per vertex) posed by
// its bone; a bone's matrix is made once after its angles change. Vertices
// naming a bone outside 0..boneCount-1 keep their place.
void DeformMesh(Mesh* mesh, Bone* bones, int boneCount, const TemplatePoint* templates);
