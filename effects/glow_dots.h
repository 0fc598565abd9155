// Glow dots: a cloud of 220 dots flowing through eight 3D shapes, drawn
// with a trail of three copies at later morph phases, turned and moved by a
// rigid transform, projected, and each added as a depth-scaled glow sprite.
// Shapes, glows and the colour of each dot are made once by DotsSetup.
#pragma once
#include <cstdint>

#include "engine/math3d.h"

inline constexpr int kDotShapes = 8;
inline constexpr int kDotsPerShape = 220;
inline constexpr int kDotTrail = 3;
inline constexpr int kDotSlots = kDotsPerShape * kDotTrail;  // 660
inline constexpr int kGlowTextures = 4;
inline constexpr int kGlowTextureSize = 256;
// One morph cycle: eight segments of 128, the last one short by one.
inline constexpr float kDotCycle = 1023.0f;

extern Vec3 DotShapes[kDotShapes][kDotsPerShape];
// Glow texture of each dot slot, 0..3.
extern int32_t DotColours[kDotSlots];
// Texture 0 is the sprite picture; 1..3 are generated cones.
extern uint32_t GlowTextures[kGlowTextures][kGlowTextureSize * kGlowTextureSize];
// The picture the background of the dots over the colour map is multiplied by.
extern uint32_t DotsOverlay[320 * 240];

// The dots of one call: positions on screen relative to the centre after
// PlaceDots (x, y) with the camera-space depth kept in z.
struct DotBuffer {
  Vec3 points[kDotSlots];
  int32_t count;
};
extern DotBuffer Dots;

// The show's pseudo-random numbers 0..32767: state x 1103515245 + 12345,
// answering bits 16..30. DotsSetup starts it from 1, as an unseeded
// generator would, so every run makes the same cubes and colours.
int DotRandom();
void DotRandomSeed(uint32_t seed);

// A cone falling from 127 x colour at the centre to 0 at radius 128,
// mirrored from its top-left quadrant.
void BuildGlowTexture(uint32_t* pixels, int w, int h, float r, float g, float b);

// Glows, colour table and the eight shapes, in that order; reads no file.
void DotsBuildTables();
// DotsBuildTables, then the sprite picture over glow 0 and the overlay
// picture.
void DotsSetup();

// Fills Dots: three trail copies at phase, phase + 10 and phase + 20, each
// the blend of two consecutive shapes; transformed by the Euler angles
// (a, b, c) and the translation (x, y, z); dots at z >= 2 projected.
void PlaceDots(float a, float b, float c, float x, float y, float z, float phase);
// PlaceDots, then each dot at z >= 2 added as a glow 1740 / z pixels wide.
void DrawDots(uint32_t* target, float a, float b, float c, float x, float y, float z, float phase);

// Forgets the beat effect's pulse track, so its next call builds it again.
void DotsBeatResetFirstCall();
