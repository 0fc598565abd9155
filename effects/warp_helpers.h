// Whole-frame routines the 2D effects are built from: smear, soften, radial
// blur, zooming additive blit, the three table-driven texture warps, the
// grid mapper with its two grid generators, and the dancer silhouette store.
// Frames are 320 x 240 pixels 0x00RRGGBB; textures are 256 x 256 and are
// addressed through a 16-bit index, so they wrap in both directions.
#pragma once
#include <cstdint>

// One-pole low-pass over the frame as one run of 76,800 pixels, backwards
// then forwards; strength is held to 1..127 (smaller streaks longer).
void Smear(uint32_t* frame, int strength);

// Four-neighbour average of rows 1..238 (left and right wrap across row
// ends); the first and last rows are copied. Runs from the last pixel
// backwards, so in place each pixel sees softened right and lower neighbours.
void Soften(uint32_t* target, const uint32_t* source);

// Each pixel becomes min(255, a x self + b x sample) per channel, the sample
// taken strength of the way towards (cx, cy). Quadrants run from the centre
// outwards so the streaks accumulate. Weights are 0..1, strength >= 0.
void RadialBlur(uint32_t* frame, float cx, float cy, float strength, float a, float b);

// Adds a w x 0.75w window from the centre of a 320 x 240 picture, scaled to
// the whole frame, with per-byte saturation; w is at least 3. The plain and
// the SIMD variant give the same bytes; HasMmx() chooses.
void ZoomBlitAdd(uint32_t* target, const uint32_t* picture, float w);
void ZoomBlitAddPlain(uint32_t* target, const uint32_t* picture, float w);
void ZoomBlitAddSimd(uint32_t* target, const uint32_t* picture, float w);

// Lens tables: 640 x 480 bytes each, built by WarpSetup.
enum LensTableIndex { kLensA = 0, kLensB, kLensC, kLensD, kLensE, kLensF };
inline constexpr int kLensWidth = 640;
inline constexpr int kLensHeight = 480;
extern uint8_t LensTables[6][kLensWidth * kLensHeight];
// Texture offset last set by ThreeTapWarp, added by LensTableWarp.
extern int32_t WarpTextureOffset;

// Writes the row-direction and column-direction tables of one lens depth.
void BuildLensTables(uint8_t* rowTable, uint8_t* columnTable, float z);
// Lens tables in their fixed order, the identity tilted plane, the row
// offsets. Run once before any warp.
void WarpSetup();

void ThreeTapWarp(uint32_t* target, const uint32_t* texture, float phase);
// Modes 0..2 choose the table pair; any other mode draws nothing.
void LensTableWarp(uint32_t* target, const uint32_t* texture, float phase, int mode);
// Tiled texture turned by angle (degrees) and scaled so that the frame's
// corners lie on a circle of radius r texels.
void Rotozoom(uint32_t* target, const uint32_t* texture, float angle, float radius);

// The grid: 41 x 31 points, one every 8 pixels, each a texture column and
// row in 16.16.
inline constexpr int kGridColumns = 41;
inline constexpr int kGridRows = 31;
extern int32_t GridU[kGridColumns * kGridRows];
extern int32_t GridV[kGridColumns * kGridRows];

// The grid rippled about two moving centres.
void RippleGrid(float phase);
// The frame turned by angle (radians) on a plane tilted away and brought
// nearer as amount goes from 0 to 1; amount 0, angle 0 is the identity.
// Columns are held to 1..318 and rows to 1..238.
void TiltedPlane(float amount, float angle);
// Draws 8 x 8 cells through the grid, interpolating the corners bilinearly.
// Texture: 40 cells across, rows cells down, wrapping at 256.
void GridMapTexture(uint32_t* target, const uint32_t* texture, int rows);
// Picture: columns x rows cells from a 320 x 240 picture, held inside it.
void GridMapPicture(uint32_t* target, const uint32_t* picture, int columns, int rows);

// Silhouettes: one bit per pixel and silhouette, room for 240.
inline constexpr int kSilhouetteRoom = 240;
// Stores the frame's zero pixels as the next silhouette.
void SilhouetteCapture(const uint32_t* frame);
// ORs 1 << k into mask (76,800 bytes) wherever silhouette number (modulo the
// number stored) is set; with none stored it sets nothing.
void SilhouetteMask(uint8_t* mask, int k, int number);
int SilhouetteCount();
void SilhouetteClear();
