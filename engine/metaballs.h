// Metaball surface: up to eight spherical field sources polygonised every
// frame by marching cubes on a fixed 21 x 12 x 21 lattice into the last mesh
// of a scene, so the render pipeline draws the blob like any other mesh.
#pragma once
#include <cstdint>

#include "engine/math3d.h"
#include "engine/scene.h"
#include "raster/material.h"

inline constexpr int kMetaballMax = 8;
inline constexpr int kMetaballGridX = 21;
inline constexpr int kMetaballGridY = 12;
inline constexpr int kMetaballGridZ = 21;
inline constexpr int kMetaballOverflowCapacity = 3000;
inline constexpr int kMetaballPackedTriangles = 2716;

struct Metaball {
  Vec3 centre;
  float radius;
  float radiusSquared;  // set by the polygonisers
  float strength;
  Material* materialA;  // layered surface: the face in the mesh
  Material* materialB;  // layered surface: the faces chained behind it
};

// The balls, filled by the effect; counts above kMetaballMax are cut to it.
extern Metaball Metaballs[kMetaballMax];
extern int32_t MetaballCount;

// One lattice point: its place, the field there this frame, the gradient and
// the vertices made on the three edges leaving it along +x, +y and +z, each
// valid only while its stamp is the current frame's.
struct MetaballPoint {
  Vec3 position;
  float value;
  float offset;  // value - threshold
  Vec3 gradient;
  int32_t gradientStamp;
  float contribution[kMetaballMax];  // per ball (layered surface)
  int32_t edgeVertex[3];             // index within the mesh
  int32_t edgeStamp[3];
};

// Bit e of entry m: edge e has one corner inside and one outside in case m.
extern int32_t MetaballEdgeTable[256];
// Per case up to five triangles as edge triples, ending with -1.
extern int8_t MetaballTriangleTable[256][16];
// The same triangles stored case after case, each case closed by -1.
extern const int8_t MetaballPackedTriangles[kMetaballPackedTriangles];

// Layered surface: the faces behind the first of each triangle, linked from
// it through next. Rebuilt by every layered polygonisation.
extern Face MetaballOverflow[kMetaballOverflowCapacity];
extern int32_t MetaballOverflowCount;

// Incremented by every polygonisation; marks what was computed this frame.
extern int32_t MetaballFrameStamp;

// Builds the tables and the lattice for cell size c (positive) and sets the
// frame stamp to 0. Until it has run, the polygonisers do nothing.
void MetaballInit(float c);

// Point (i, j, k) of the lattice; null outside it or before MetaballInit.
const MetaballPoint* MetaballGridPoint(int i, int j, int k);

// Replace the mesh's geometry by the surface where the field equals
// threshold. The mesh's ranges must end at the ends of its scene's pools;
// they are rebuilt there, and what does not fit the pools is left out.
// Nothing happens without balls.
void MetaballPolygonise(Mesh* mesh, float threshold);
// The same surface with vertices shared between cells, and for every
// triangle one face per ball that shades it (see MetaballOverflow).
void MetaballPolygoniseLayered(Mesh* mesh, float threshold);
