// Picture morph: a 9 x 7 grid of corresponding points on two 320 x 240
// pictures, read from an .amf file; both pictures are cut along the grid
// into triangles, warped towards the in-between grid and cross-faded.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr int kMorphColumns = 9;
inline constexpr int kMorphRows = 7;
inline constexpr int kMorphMagicSize = 27;  // 26 characters and a zero byte
inline constexpr int kMorphHeaderSize = kMorphMagicSize + 8;
inline constexpr int kMorphRecordSize = 16;
inline constexpr int kMorphFileSize =
    kMorphHeaderSize + kMorphRecordSize * kMorphColumns * kMorphRows;  // 1,043

extern const char kMorphMagic[kMorphMagicSize];

struct MorphPoint {
  int32_t x;
  int32_t y;
};

// first: points on the first picture. second: points on the second picture
// in side-by-side space, x offset by +320.
struct MorphGrid {
  MorphPoint first[kMorphRows][kMorphColumns];
  MorphPoint second[kMorphRows][kMorphColumns];
};

// The show's one grid; zero until a file is loaded.
extern MorphGrid Morph;

// Sampler row offsets (y * 320) and the picture height, set by MorphSetup.
extern int32_t RowOffsetTable[240];
extern int32_t MorphPictureHeight;

enum MorphFileStatus {
  MORPH_FILE_OK = 0,
  MORPH_FILE_CUT,        // declared more than 9 x 7 (or a negative count): only what fits was kept
  MORPH_FILE_SHORT,      // ended before every declared point was read: the rest kept their values
  MORPH_FILE_BAD_MAGIC,  // not a morph file: grid untouched
  MORPH_FILE_MISSING,    // could not be opened: grid untouched
};

// Reading core: reads the file image into grid. Points outside the grid's
// 9 x 7 room are skipped, fields beyond the end of data keep their values.
// Returns a status and sets *message to a line describing it.
int MorphFileParse(const uint8_t* data, size_t size, MorphGrid* grid, const char** message);
// Encodes grid as a 9 x 7 file image of kMorphFileSize bytes.
void MorphFileEncode(const MorphGrid& grid, uint8_t* out);

// Loads an asset path into Morph; a missing or foreign file leaves the grid
// as it was. The show goes on either way; the status is returned.
int LoadMorphFile(const char* path);
// Writes grid as a 9 x 7 file; 1 on success, 0 when the file cannot be
// written (a file that cannot be opened is not created).
int SaveMorphFile(const char* path, const MorphGrid& grid);

void MorphSetup();

// One vertex of the affine filler: screen position, texture position in
// source pixels.
struct MorphVertex {
  float x;
  float y;
  float u;
  float v;
};

// Affine texture-mapped triangle from a 320 x 240 source into a 320 x 240
// target, pixels copied whole. Clamps the vertices it is given in place.
void DrawMorphTriangle(MorphVertex* a, MorphVertex* b, MorphVertex* c, uint32_t* target,
                       const uint32_t* source);

// Morphs first towards second with weight t (clamped to 0..1) into target1;
// target2 is work space and ends up holding the warped second picture.
void RenderMorph(uint32_t* target1, uint32_t* target2, const uint32_t* first,
                 const uint32_t* second, float t);

// Forgets that MorphEffect has loaded its file (tests).
void MorphResetFirstCall();
