// Marching cubes over the metaball field. The lattice keeps, per point, the
// field of the current frame and what was derived from it (gradient, edge
// vertices) under a frame stamp, so neighbouring cells share that work.
#include "engine/metaballs.h"

#include <climits>
#include <cmath>
#include <vector>

#include "raster/raster_batch.h"

Metaball Metaballs[kMetaballMax];
int32_t MetaballCount = 0;
int32_t MetaballEdgeTable[256];
int8_t MetaballTriangleTable[256][16];
Face MetaballOverflow[kMetaballOverflowCapacity];
int32_t MetaballOverflowCount = 0;
int32_t MetaballFrameStamp = 0;

// Corners 0..3 on the cell's lower face and 4..7 above them; edges 0..3
// around the lower face, 4..7 around the upper one, 8..11 upwards. A set
// corner bit means that corner lies outside the surface (field below the
// threshold); triangles wind so that their normals point into the blob.
// clang-format off
const int8_t MetaballPackedTriangles[kMetaballPackedTriangles] = {
    -1, 0, 8, 3, -1, 0, 1, 9, -1, 1, 8, 3, 9, 8, 1, -1, 1, 2, 10, -1, 0, 8, 3, 1, 2, 10, -1,
    9, 2, 10, 0, 2, 9, -1, 2, 8, 3, 2, 10, 8, 10, 9, 8, -1, 3, 11, 2, -1, 0, 11, 2, 8, 11, 0, -1,
    1, 9, 0, 2, 3, 11, -1, 1, 11, 2, 1, 9, 11, 9, 8, 11, -1, 3, 10, 1, 11, 10, 3, -1,
    0, 10, 1, 0, 8, 10, 8, 11, 10, -1, 3, 9, 0, 3, 11, 9, 11, 10, 9, -1, 9, 8, 10, 10, 8, 11, -1,
    4, 7, 8, -1, 4, 3, 0, 7, 3, 4, -1, 0, 1, 9, 8, 4, 7, -1, 4, 1, 9, 4, 7, 1, 7, 3, 1, -1,
    1, 2, 10, 8, 4, 7, -1, 3, 4, 7, 3, 0, 4, 1, 2, 10, -1, 9, 2, 10, 9, 0, 2, 8, 4, 7, -1,
    2, 10, 9, 2, 9, 7, 2, 7, 3, 7, 9, 4, -1, 8, 4, 7, 3, 11, 2, -1,
    11, 4, 7, 11, 2, 4, 2, 0, 4, -1, 9, 0, 1, 8, 4, 7, 2, 3, 11, -1,
    4, 7, 11, 9, 4, 11, 9, 11, 2, 9, 2, 1, -1, 3, 10, 1, 3, 11, 10, 7, 8, 4, -1,
    1, 11, 10, 1, 4, 11, 1, 0, 4, 7, 11, 4, -1, 4, 7, 8, 9, 0, 11, 9, 11, 10, 11, 0, 3, -1,
    4, 7, 11, 4, 11, 9, 9, 11, 10, -1, 9, 5, 4, -1, 9, 5, 4, 0, 8, 3, -1, 0, 5, 4, 1, 5, 0, -1,
    8, 5, 4, 8, 3, 5, 3, 1, 5, -1, 1, 2, 10, 9, 5, 4, -1, 3, 0, 8, 1, 2, 10, 4, 9, 5, -1,
    5, 2, 10, 5, 4, 2, 4, 0, 2, -1, 2, 10, 5, 3, 2, 5, 3, 5, 4, 3, 4, 8, -1, 9, 5, 4, 2, 3, 11, -1,
    0, 11, 2, 0, 8, 11, 4, 9, 5, -1, 0, 5, 4, 0, 1, 5, 2, 3, 11, -1,
    2, 1, 5, 2, 5, 8, 2, 8, 11, 4, 8, 5, -1, 10, 3, 11, 10, 1, 3, 9, 5, 4, -1,
    4, 9, 5, 0, 8, 1, 8, 10, 1, 8, 11, 10, -1, 5, 4, 0, 5, 0, 11, 5, 11, 10, 11, 0, 3, -1,
    5, 4, 8, 5, 8, 10, 10, 8, 11, -1, 9, 7, 8, 5, 7, 9, -1, 9, 3, 0, 9, 5, 3, 5, 7, 3, -1,
    0, 7, 8, 0, 1, 7, 1, 5, 7, -1, 1, 5, 3, 3, 5, 7, -1, 9, 7, 8, 9, 5, 7, 10, 1, 2, -1,
    10, 1, 2, 9, 5, 0, 5, 3, 0, 5, 7, 3, -1, 8, 0, 2, 8, 2, 5, 8, 5, 7, 10, 5, 2, -1,
    2, 10, 5, 2, 5, 3, 3, 5, 7, -1, 7, 9, 5, 7, 8, 9, 3, 11, 2, -1,
    9, 5, 7, 9, 7, 2, 9, 2, 0, 2, 7, 11, -1, 2, 3, 11, 0, 1, 8, 1, 7, 8, 1, 5, 7, -1,
    11, 2, 1, 11, 1, 7, 7, 1, 5, -1, 9, 5, 8, 8, 5, 7, 10, 1, 3, 10, 3, 11, -1,
    5, 7, 0, 5, 0, 9, 7, 11, 0, 1, 0, 10, 11, 10, 0, -1,
    11, 10, 0, 11, 0, 3, 10, 5, 0, 8, 0, 7, 5, 7, 0, -1, 11, 10, 5, 7, 11, 5, -1, 10, 6, 5, -1,
    0, 8, 3, 5, 10, 6, -1, 9, 0, 1, 5, 10, 6, -1, 1, 8, 3, 1, 9, 8, 5, 10, 6, -1,
    1, 6, 5, 2, 6, 1, -1, 1, 6, 5, 1, 2, 6, 3, 0, 8, -1, 9, 6, 5, 9, 0, 6, 0, 2, 6, -1,
    5, 9, 8, 5, 8, 2, 5, 2, 6, 3, 2, 8, -1, 2, 3, 11, 10, 6, 5, -1,
    11, 0, 8, 11, 2, 0, 10, 6, 5, -1, 0, 1, 9, 2, 3, 11, 5, 10, 6, -1,
    5, 10, 6, 1, 9, 2, 9, 11, 2, 9, 8, 11, -1, 6, 3, 11, 6, 5, 3, 5, 1, 3, -1,
    0, 8, 11, 0, 11, 5, 0, 5, 1, 5, 11, 6, -1, 3, 11, 6, 0, 3, 6, 0, 6, 5, 0, 5, 9, -1,
    6, 5, 9, 6, 9, 11, 11, 9, 8, -1, 5, 10, 6, 4, 7, 8, -1, 4, 3, 0, 4, 7, 3, 6, 5, 10, -1,
    1, 9, 0, 5, 10, 6, 8, 4, 7, -1, 10, 6, 5, 1, 9, 7, 1, 7, 3, 7, 9, 4, -1,
    6, 1, 2, 6, 5, 1, 4, 7, 8, -1, 1, 2, 5, 5, 2, 6, 3, 0, 4, 3, 4, 7, -1,
    8, 4, 7, 9, 0, 5, 0, 6, 5, 0, 2, 6, -1, 7, 3, 9, 7, 9, 4, 3, 2, 9, 5, 9, 6, 2, 6, 9, -1,
    3, 11, 2, 7, 8, 4, 10, 6, 5, -1, 5, 10, 6, 4, 7, 2, 4, 2, 0, 2, 7, 11, -1,
    0, 1, 9, 4, 7, 8, 2, 3, 11, 5, 10, 6, -1, 9, 2, 1, 9, 11, 2, 9, 4, 11, 7, 11, 4, 5, 10, 6, -1,
    8, 4, 7, 3, 11, 5, 3, 5, 1, 5, 11, 6, -1, 5, 1, 11, 5, 11, 6, 1, 0, 11, 7, 11, 4, 0, 4, 11, -1,
    0, 5, 9, 0, 6, 5, 0, 3, 6, 11, 6, 3, 8, 4, 7, -1, 6, 5, 9, 6, 9, 11, 4, 7, 9, 7, 11, 9, -1,
    10, 4, 9, 6, 4, 10, -1, 4, 10, 6, 4, 9, 10, 0, 8, 3, -1, 10, 0, 1, 10, 6, 0, 6, 4, 0, -1,
    8, 3, 1, 8, 1, 6, 8, 6, 4, 6, 1, 10, -1, 1, 4, 9, 1, 2, 4, 2, 6, 4, -1,
    3, 0, 8, 1, 2, 9, 2, 4, 9, 2, 6, 4, -1, 0, 2, 4, 4, 2, 6, -1, 8, 3, 2, 8, 2, 4, 4, 2, 6, -1,
    10, 4, 9, 10, 6, 4, 11, 2, 3, -1, 0, 8, 2, 2, 8, 11, 4, 9, 10, 4, 10, 6, -1,
    3, 11, 2, 0, 1, 6, 0, 6, 4, 6, 1, 10, -1, 6, 4, 1, 6, 1, 10, 4, 8, 1, 2, 1, 11, 8, 11, 1, -1,
    9, 6, 4, 9, 3, 6, 9, 1, 3, 11, 6, 3, -1, 8, 11, 1, 8, 1, 0, 11, 6, 1, 9, 1, 4, 6, 4, 1, -1,
    3, 11, 6, 3, 6, 0, 0, 6, 4, -1, 6, 4, 8, 11, 6, 8, -1, 7, 10, 6, 7, 8, 10, 8, 9, 10, -1,
    0, 7, 3, 0, 10, 7, 0, 9, 10, 6, 7, 10, -1, 10, 6, 7, 1, 10, 7, 1, 7, 8, 1, 8, 0, -1,
    10, 6, 7, 10, 7, 1, 1, 7, 3, -1, 1, 2, 6, 1, 6, 8, 1, 8, 9, 8, 6, 7, -1,
    2, 6, 9, 2, 9, 1, 6, 7, 9, 0, 9, 3, 7, 3, 9, -1, 7, 8, 0, 7, 0, 6, 6, 0, 2, -1,
    7, 3, 2, 6, 7, 2, -1, 2, 3, 11, 10, 6, 8, 10, 8, 9, 8, 6, 7, -1,
    2, 0, 7, 2, 7, 11, 0, 9, 7, 6, 7, 10, 9, 10, 7, -1,
    1, 8, 0, 1, 7, 8, 1, 10, 7, 6, 7, 10, 2, 3, 11, -1, 11, 2, 1, 11, 1, 7, 10, 6, 1, 6, 7, 1, -1,
    8, 9, 6, 8, 6, 7, 9, 1, 6, 11, 6, 3, 1, 3, 6, -1, 0, 9, 1, 11, 6, 7, -1,
    7, 8, 0, 7, 0, 6, 3, 11, 0, 11, 6, 0, -1, 7, 11, 6, -1, 7, 6, 11, -1, 3, 0, 8, 11, 7, 6, -1,
    0, 1, 9, 11, 7, 6, -1, 8, 1, 9, 8, 3, 1, 11, 7, 6, -1, 10, 1, 2, 6, 11, 7, -1,
    1, 2, 10, 3, 0, 8, 6, 11, 7, -1, 2, 9, 0, 2, 10, 9, 6, 11, 7, -1,
    6, 11, 7, 2, 10, 3, 10, 8, 3, 10, 9, 8, -1, 7, 2, 3, 6, 2, 7, -1,
    7, 0, 8, 7, 6, 0, 6, 2, 0, -1, 2, 7, 6, 2, 3, 7, 0, 1, 9, -1,
    1, 6, 2, 1, 8, 6, 1, 9, 8, 8, 7, 6, -1, 10, 7, 6, 10, 1, 7, 1, 3, 7, -1,
    10, 7, 6, 1, 7, 10, 1, 8, 7, 1, 0, 8, -1, 0, 3, 7, 0, 7, 10, 0, 10, 9, 6, 10, 7, -1,
    7, 6, 10, 7, 10, 8, 8, 10, 9, -1, 6, 8, 4, 11, 8, 6, -1, 3, 6, 11, 3, 0, 6, 0, 4, 6, -1,
    8, 6, 11, 8, 4, 6, 9, 0, 1, -1, 9, 4, 6, 9, 6, 3, 9, 3, 1, 11, 3, 6, -1,
    6, 8, 4, 6, 11, 8, 2, 10, 1, -1, 1, 2, 10, 3, 0, 11, 0, 6, 11, 0, 4, 6, -1,
    4, 11, 8, 4, 6, 11, 0, 2, 9, 2, 10, 9, -1, 10, 9, 3, 10, 3, 2, 9, 4, 3, 11, 3, 6, 4, 6, 3, -1,
    8, 2, 3, 8, 4, 2, 4, 6, 2, -1, 0, 4, 2, 4, 6, 2, -1, 1, 9, 0, 2, 3, 4, 2, 4, 6, 4, 3, 8, -1,
    1, 9, 4, 1, 4, 2, 2, 4, 6, -1, 8, 1, 3, 8, 6, 1, 8, 4, 6, 6, 10, 1, -1,
    10, 1, 0, 10, 0, 6, 6, 0, 4, -1, 4, 6, 3, 4, 3, 8, 6, 10, 3, 0, 3, 9, 10, 9, 3, -1,
    10, 9, 4, 6, 10, 4, -1, 4, 9, 5, 7, 6, 11, -1, 0, 8, 3, 4, 9, 5, 11, 7, 6, -1,
    5, 0, 1, 5, 4, 0, 7, 6, 11, -1, 11, 7, 6, 8, 3, 4, 3, 5, 4, 3, 1, 5, -1,
    9, 5, 4, 10, 1, 2, 7, 6, 11, -1, 6, 11, 7, 1, 2, 10, 0, 8, 3, 4, 9, 5, -1,
    7, 6, 11, 5, 4, 10, 4, 2, 10, 4, 0, 2, -1, 3, 4, 8, 3, 5, 4, 3, 2, 5, 10, 5, 2, 11, 7, 6, -1,
    7, 2, 3, 7, 6, 2, 5, 4, 9, -1, 9, 5, 4, 0, 8, 6, 0, 6, 2, 6, 8, 7, -1,
    3, 6, 2, 3, 7, 6, 1, 5, 0, 5, 4, 0, -1, 6, 2, 8, 6, 8, 7, 2, 1, 8, 4, 8, 5, 1, 5, 8, -1,
    9, 5, 4, 10, 1, 6, 1, 7, 6, 1, 3, 7, -1, 1, 6, 10, 1, 7, 6, 1, 0, 7, 8, 7, 0, 9, 5, 4, -1,
    4, 0, 10, 4, 10, 5, 0, 3, 10, 6, 10, 7, 3, 7, 10, -1,
    7, 6, 10, 7, 10, 8, 5, 4, 10, 4, 8, 10, -1, 6, 9, 5, 6, 11, 9, 11, 8, 9, -1,
    3, 6, 11, 0, 6, 3, 0, 5, 6, 0, 9, 5, -1, 0, 11, 8, 0, 5, 11, 0, 1, 5, 5, 6, 11, -1,
    6, 11, 3, 6, 3, 5, 5, 3, 1, -1, 1, 2, 10, 9, 5, 11, 9, 11, 8, 11, 5, 6, -1,
    0, 11, 3, 0, 6, 11, 0, 9, 6, 5, 6, 9, 1, 2, 10, -1,
    11, 8, 5, 11, 5, 6, 8, 0, 5, 10, 5, 2, 0, 2, 5, -1, 6, 11, 3, 6, 3, 5, 2, 10, 3, 10, 5, 3, -1,
    5, 8, 9, 5, 2, 8, 5, 6, 2, 3, 8, 2, -1, 9, 5, 6, 9, 6, 0, 0, 6, 2, -1,
    1, 5, 8, 1, 8, 0, 5, 6, 8, 3, 8, 2, 6, 2, 8, -1, 1, 5, 6, 2, 1, 6, -1,
    1, 3, 6, 1, 6, 10, 3, 8, 6, 5, 6, 9, 8, 9, 6, -1, 10, 1, 0, 10, 0, 6, 9, 5, 0, 5, 6, 0, -1,
    0, 3, 8, 5, 6, 10, -1, 10, 5, 6, -1, 11, 5, 10, 7, 5, 11, -1, 11, 5, 10, 11, 7, 5, 8, 3, 0, -1,
    5, 11, 7, 5, 10, 11, 1, 9, 0, -1, 10, 7, 5, 10, 11, 7, 9, 8, 1, 8, 3, 1, -1,
    11, 1, 2, 11, 7, 1, 7, 5, 1, -1, 0, 8, 3, 1, 2, 7, 1, 7, 5, 7, 2, 11, -1,
    9, 7, 5, 9, 2, 7, 9, 0, 2, 2, 11, 7, -1, 7, 5, 2, 7, 2, 11, 5, 9, 2, 3, 2, 8, 9, 8, 2, -1,
    2, 5, 10, 2, 3, 5, 3, 7, 5, -1, 8, 2, 0, 8, 5, 2, 8, 7, 5, 10, 2, 5, -1,
    9, 0, 1, 5, 10, 3, 5, 3, 7, 3, 10, 2, -1, 9, 8, 2, 9, 2, 1, 8, 7, 2, 10, 2, 5, 7, 5, 2, -1,
    1, 3, 5, 3, 7, 5, -1, 0, 8, 7, 0, 7, 1, 1, 7, 5, -1, 9, 0, 3, 9, 3, 5, 5, 3, 7, -1,
    9, 8, 7, 5, 9, 7, -1, 5, 8, 4, 5, 10, 8, 10, 11, 8, -1,
    5, 0, 4, 5, 11, 0, 5, 10, 11, 11, 3, 0, -1, 0, 1, 9, 8, 4, 10, 8, 10, 11, 10, 4, 5, -1,
    10, 11, 4, 10, 4, 5, 11, 3, 4, 9, 4, 1, 3, 1, 4, -1, 2, 5, 1, 2, 8, 5, 2, 11, 8, 4, 5, 8, -1,
    0, 4, 11, 0, 11, 3, 4, 5, 11, 2, 11, 1, 5, 1, 11, -1,
    0, 2, 5, 0, 5, 9, 2, 11, 5, 4, 5, 8, 11, 8, 5, -1, 9, 4, 5, 2, 11, 3, -1,
    2, 5, 10, 3, 5, 2, 3, 4, 5, 3, 8, 4, -1, 5, 10, 2, 5, 2, 4, 4, 2, 0, -1,
    3, 10, 2, 3, 5, 10, 3, 8, 5, 4, 5, 8, 0, 1, 9, -1, 5, 10, 2, 5, 2, 4, 1, 9, 2, 9, 4, 2, -1,
    8, 4, 5, 8, 5, 3, 3, 5, 1, -1, 0, 4, 5, 1, 0, 5, -1, 8, 4, 5, 8, 5, 3, 9, 0, 5, 0, 3, 5, -1,
    9, 4, 5, -1, 4, 11, 7, 4, 9, 11, 9, 10, 11, -1, 0, 8, 3, 4, 9, 7, 9, 11, 7, 9, 10, 11, -1,
    1, 10, 11, 1, 11, 4, 1, 4, 0, 7, 4, 11, -1,
    3, 1, 4, 3, 4, 8, 1, 10, 4, 7, 4, 11, 10, 11, 4, -1, 4, 11, 7, 9, 11, 4, 9, 2, 11, 9, 1, 2, -1,
    9, 7, 4, 9, 11, 7, 9, 1, 11, 2, 11, 1, 0, 8, 3, -1, 11, 7, 4, 11, 4, 2, 2, 4, 0, -1,
    11, 7, 4, 11, 4, 2, 8, 3, 4, 3, 2, 4, -1, 2, 9, 10, 2, 7, 9, 2, 3, 7, 7, 4, 9, -1,
    9, 10, 7, 9, 7, 4, 10, 2, 7, 8, 7, 0, 2, 0, 7, -1,
    3, 7, 10, 3, 10, 2, 7, 4, 10, 1, 10, 0, 4, 0, 10, -1, 1, 10, 2, 8, 7, 4, -1,
    4, 9, 1, 4, 1, 7, 7, 1, 3, -1, 4, 9, 1, 4, 1, 7, 0, 8, 1, 8, 7, 1, -1, 4, 0, 3, 7, 4, 3, -1,
    4, 8, 7, -1, 9, 10, 8, 10, 11, 8, -1, 3, 0, 9, 3, 9, 11, 11, 9, 10, -1,
    0, 1, 10, 0, 10, 8, 8, 10, 11, -1, 3, 1, 10, 11, 3, 10, -1, 1, 2, 11, 1, 11, 9, 9, 11, 8, -1,
    3, 0, 9, 3, 9, 11, 1, 2, 9, 2, 11, 9, -1, 0, 2, 11, 8, 0, 11, -1, 3, 2, 11, -1,
    2, 3, 8, 2, 8, 10, 10, 8, 9, -1, 9, 10, 2, 0, 9, 2, -1,
    2, 3, 8, 2, 8, 10, 0, 1, 8, 1, 10, 8, -1, 1, 10, 2, -1, 1, 3, 8, 9, 1, 8, -1, 0, 9, 1, -1,
    0, 3, 8, -1, -1,
};
// clang-format on

namespace {

constexpr int kGrid[3] = {kMetaballGridX, kMetaballGridY, kMetaballGridZ};
constexpr int kPoints = kMetaballGridX * kMetaballGridY * kMetaballGridZ;
constexpr int kStride[3] = {kMetaballGridY * kMetaballGridZ, kMetaballGridZ, 1};
constexpr double kCentreOffset[3] = {10.5, 6.0, 10.5};
constexpr int kCorner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                               {0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
constexpr int kEdgeCorners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                     {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
constexpr int kShareStride = kMetaballMax + 1;  // per vertex: each ball's share, then their sum

struct EdgeShape {
  int axis;   // 0 x, 1 y, 2 z
  int start;  // the corner the edge leaves along +axis: owner of its edge slot
};

MetaballPoint Lattice[kPoints];
int CornerOffset[8];
EdgeShape Edges[12];
float CellSize = 0.0f;
bool LatticeReady = false;
// Layered surface: each mesh vertex's share of every ball, grown to the
// largest vertex pool seen and kept.
std::vector<float> Shares;

struct Region {
  int lo[3], hi[3];
};

// One polygonisation in progress.
struct Build {
  Scene* scene;
  Mesh* mesh;
  float threshold;
  float gradientScale;
  int balls;
  int32_t stamp;
  int vertexRoom;  // vertices and faces the pools hold after the mesh's first
  int faceRoom;
};

float& Axis(Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// Takes the old surface off the ends of the pools. Refuses when there is
// nothing to do or the mesh's ranges do not end the pools (rebuilding it
// there would overwrite the meshes after it).
bool Begin(Mesh* mesh, float threshold, Build* build) {
  if (!LatticeReady || !mesh || !mesh->scene) return false;
  if (MetaballCount > kMetaballMax) MetaballCount = kMetaballMax;
  if (MetaballCount <= 0) return false;
  Scene* scene = mesh->scene;
  if (mesh->firstVertex + mesh->vertexCount != scene->vertexCount ||
      mesh->firstFace + mesh->faceCount != scene->faceCount)
    return false;
  scene->vertexCount -= mesh->vertexCount;
  scene->faceCount -= mesh->faceCount;
  mesh->firstVertex = scene->vertexCount;
  mesh->firstFace = scene->faceCount;
  mesh->vertexCount = 0;
  mesh->faceCount = 0;
  for (int b = 0; b < MetaballCount; b++)
    Metaballs[b].radiusSquared = Metaballs[b].radius * Metaballs[b].radius;
  build->scene = scene;
  build->mesh = mesh;
  build->threshold = threshold;
  build->gradientScale = static_cast<float>(1.0 / (2.0 * CellSize));
  build->balls = MetaballCount;
  build->stamp = MetaballFrameStamp;
  build->vertexRoom = scene->capacity.vertices - mesh->firstVertex;
  build->faceRoom = scene->capacity.faces - mesh->firstFace;
  return true;
}

void Finish(const Build& build) {
  build.scene->vertexCount += build.mesh->vertexCount;
  build.scene->faceCount += build.mesh->faceCount;
  if (MetaballFrameStamp == INT_MAX) {
    // Start the stamps over rather than let an old one match again.
    for (MetaballPoint& point : Lattice) {
      point.gradientStamp = -1;
      for (int axis = 0; axis < 3; axis++) point.edgeStamp[axis] = -1;
    }
    MetaballFrameStamp = 0;
  } else {
    MetaballFrameStamp++;
  }
}

// The balls' joint bounding box in lattice units, held inside the lattice.
// A box that misses the lattice ends with lo >= hi on some axis.
void FindRegion(float cell, int balls, Region* region) {
  float low[3] = {1e10f, 1e10f, 1e10f};
  float high[3] = {-1e10f, -1e10f, -1e10f};
  for (int b = 0; b < balls; b++) {
    Vec3 centre = Metaballs[b].centre;
    float r = Metaballs[b].radius;
    for (int axis = 0; axis < 3; axis++) {
      float c = Axis(centre, axis);
      if (c - r < low[axis]) low[axis] = c - r;
      if (c + r > high[axis]) high[axis] = c + r;
    }
  }
  for (int axis = 0; axis < 3; axis++) {
    double lo = std::floor(low[axis] / cell + kCentreOffset[axis]);
    double hi = std::ceil(high[axis] / cell + kCentreOffset[axis]);
    double top = kGrid[axis] - 1;
    region->lo[axis] = static_cast<int>(lo >= 0 ? (lo < top ? lo : top) : 0);
    region->hi[axis] = static_cast<int>(hi >= 0 ? (hi < top ? hi : top) : 0);
  }
}

// f = sum of s (1 - d^2/r^2)^2 over the balls that reach the point, at every
// point of the region including its upper bound, which the gradients of the
// last cells read.
void ComputeField(const Build& build, const Region& region, bool keepContributions) {
  // Each point is its own: the slices across x are shared by both threads.
  auto slices = [&](int first, int end) {
    for (int i = region.lo[0] + first; i < region.lo[0] + end; i++)
      for (int j = region.lo[1]; j <= region.hi[1]; j++)
        for (int k = region.lo[2]; k <= region.hi[2]; k++) {
          MetaballPoint& point = Lattice[i * kStride[0] + j * kStride[1] + k];
          float f = 0.0f;
          for (int b = 0; b < build.balls; b++) {
            const Metaball& ball = Metaballs[b];
            float dx = point.position.x - ball.centre.x;
            float dy = point.position.y - ball.centre.y;
            float dz = point.position.z - ball.centre.z;
            float d2 = dx * dx + dy * dy + dz * dz;
            float share = 0.0f;
            if (d2 < ball.radiusSquared) {
              float q = 1.0f - d2 / ball.radiusSquared;
              share = ball.strength * (q * q);
              f += share;
            }
            if (keepContributions) point.contribution[b] = share;
          }
          point.value = f;
          point.offset = f - build.threshold;
        }
  };
  const int count = region.hi[0] - region.lo[0] + 1;
  if (count > 0) ShareRows(count, 2, slices, SharedRowsRead::kNothingDrawn);
}

// Forward differences towards +x, +y, +z, negated: the gradient points out
// of the blob. Computed once per frame per point.
const Vec3& Gradient(const Build& build, int index) {
  MetaballPoint& point = Lattice[index];
  if (point.gradientStamp != build.stamp) {
    float f = point.value;
    float g = build.gradientScale;
    point.gradient = {g * (f - Lattice[index + kStride[0]].value),
                      g * (f - Lattice[index + kStride[1]].value),
                      g * (f - Lattice[index + kStride[2]].value)};
    point.gradientStamp = build.stamp;
  }
  return point.gradient;
}

int CaseIndex(int base) {
  int m = 0;
  for (int n = 0; n < 8; n++)
    if (Lattice[base + CornerOffset[n]].offset < 0.0f) m |= 1 << n;
  return m;
}

int TriangleCount(int m) {
  int n = 0;
  while (n < 5 && MetaballTriangleTable[m][3 * n] >= 0) n++;
  return n;
}

// Appends the vertex where edge e of the cell at base crosses the
// threshold, interpolated from the edge's first corner towards its second;
// returns its index within the mesh and the parameter t.
int MakeEdgeVertex(const Build& build, int base, int e, float* t) {
  int a = base + CornerOffset[kEdgeCorners[e][0]];
  int b = base + CornerOffset[kEdgeCorners[e][1]];
  const MetaballPoint& pa = Lattice[a];
  const MetaballPoint& pb = Lattice[b];
  *t = (build.threshold - pa.value) / (pb.value - pa.value);
  int axis = Edges[e].axis;
  Vec3 position = pa.position;
  Vec3 from = pa.position, to = pb.position;
  Axis(position, axis) = Axis(from, axis) + (Axis(to, axis) - Axis(from, axis)) * *t;
  const Vec3& na = Gradient(build, a);
  const Vec3& nb = Gradient(build, b);
  Vec3 normal = {na.x + (nb.x - na.x) * *t, na.y + (nb.y - na.y) * *t, na.z + (nb.z - na.z) * *t};
  VecSetLength(normal, 1.0f, &normal);
  int local = build.mesh->vertexCount++;
  Vertex* vertex = &build.scene->vertices[build.mesh->firstVertex + local];
  *vertex = Vertex{};
  vertex->position = position;
  vertex->normal = normal;
  return local;
}

Face* AppendFace(const Build& build, const int local[3], Face* face) {
  Scene* scene = build.scene;
  *face = Face{};
  for (int c = 0; c < 3; c++) {
    int index = build.mesh->firstVertex + local[c];
    face->index[c] = index;
    face->vertex[c] = &scene->vertices[index];
    face->uv[2 * c] = scene->vertices[index].u;
    face->uv[2 * c + 1] = scene->vertices[index].v;
  }
  face->material = &scene->materials[0];
  face->fallbackMaterial = &scene->materials[0];
  return face;
}

Face* NextMeshFace(const Build& build) {
  return &build.scene->faces[build.mesh->firstFace + build.mesh->faceCount++];
}

}  // namespace

void MetaballInit(float c) {
  if (!(c > 0.0f) || !std::isfinite(c)) return;
  for (int m = 0; m < 256; m++) {
    MetaballEdgeTable[m] = 0;
    for (int e = 0; e < 12; e++)
      if (((m >> kEdgeCorners[e][0]) ^ (m >> kEdgeCorners[e][1])) & 1)
        MetaballEdgeTable[m] |= 1 << e;
  }
  int at = 0;
  for (int m = 0; m < 256; m++) {
    int n = 0;
    while (MetaballPackedTriangles[at] >= 0)
      MetaballTriangleTable[m][n++] = MetaballPackedTriangles[at++];
    at++;
    while (n < 16) MetaballTriangleTable[m][n++] = -1;
  }
  for (int n = 0; n < 8; n++)
    CornerOffset[n] =
        kCorner[n][0] * kStride[0] + kCorner[n][1] * kStride[1] + kCorner[n][2] * kStride[2];
  for (int e = 0; e < 12; e++) {
    const int* a = kCorner[kEdgeCorners[e][0]];
    const int* b = kCorner[kEdgeCorners[e][1]];
    int axis = a[0] != b[0] ? 0 : a[1] != b[1] ? 1 : 2;
    Edges[e] = {axis, a[axis] < b[axis] ? kEdgeCorners[e][0] : kEdgeCorners[e][1]};
  }
  for (int i = 0; i < kMetaballGridX; i++)
    for (int j = 0; j < kMetaballGridY; j++)
      for (int k = 0; k < kMetaballGridZ; k++) {
        MetaballPoint& point = Lattice[i * kStride[0] + j * kStride[1] + k];
        point = MetaballPoint{};
        point.position = {static_cast<float>(i - 10.5) * c, static_cast<float>(j - 6.0) * c,
                          static_cast<float>(k - 10.5) * c};
        point.gradientStamp = -1;
        for (int axis = 0; axis < 3; axis++) point.edgeStamp[axis] = -1;
      }
  CellSize = c;
  MetaballFrameStamp = 0;
  LatticeReady = true;
}

const MetaballPoint* MetaballGridPoint(int i, int j, int k) {
  if (!LatticeReady || i < 0 || j < 0 || k < 0 || i >= kMetaballGridX || j >= kMetaballGridY ||
      k >= kMetaballGridZ)
    return nullptr;
  return &Lattice[i * kStride[0] + j * kStride[1] + k];
}

// Every cell makes its own vertices, mapped by the angles of their normals
// onto a 512-texel wrap of the texture.
void MetaballPolygonise(Mesh* mesh, float threshold) {
  Build build;
  if (!Begin(mesh, threshold, &build)) return;
  Region region;
  FindRegion(CellSize, build.balls, &region);
  ComputeField(build, region, false);
  bool full = false;
  for (int i = region.lo[0]; i <= region.hi[0] - 2 && !full; i++)
    for (int j = region.lo[1]; j <= region.hi[1] - 2 && !full; j++)
      for (int k = region.lo[2]; k <= region.hi[2] - 2; k++) {
        int base = i * kStride[0] + j * kStride[1] + k;
        int m = CaseIndex(base);
        int edges = MetaballEdgeTable[m];
        if (!edges) continue;
        int triangles = TriangleCount(m);
        if (mesh->vertexCount + __builtin_popcount(edges) > build.vertexRoom ||
            mesh->faceCount + triangles > build.faceRoom) {
          full = true;
          break;
        }
        int local[12];
        for (int e = 0; e < 12; e++) {
          if (!(edges & (1 << e))) continue;
          float t;
          local[e] = MakeEdgeVertex(build, base, e, &t);
          Vertex* v = &build.scene->vertices[mesh->firstVertex + local[e]];
          double nx = v->normal.x < -1.0f ? -1.0 : v->normal.x > 1.0f ? 1.0 : v->normal.x;
          double ny = v->normal.y < -1.0f ? -1.0 : v->normal.y > 1.0f ? 1.0 : v->normal.y;
          v->u = static_cast<float>((std::acos(nx) / M_PI + 0.5) * 512.0);
          v->v = static_cast<float>((std::asin(ny) / M_PI + 1.0) * 512.0);
        }
        const int8_t* row = MetaballTriangleTable[m];
        for (int n = 0; n < triangles; n++) {
          const int corners[3] = {local[row[3 * n]], local[row[3 * n + 1]], local[row[3 * n + 2]]};
          AppendFace(build, corners, NextMeshFace(build));
        }
      }
  Finish(build);
}

// Vertices are shared through the edge slots. Each triangle becomes a chain
// of faces, one per ball that reaches a corner, shaded at each corner by that
// ball's share of the field; shares too faint to show (all corners below 3)
// are dropped. The first face of the chain is the mesh's, drawn with the
// ball's first material; the rest come from MetaballOverflow with the second
// material (a ball without materials keeps the default). When the overflow
// runs out, chains are cut short.
void MetaballPolygoniseLayered(Mesh* mesh, float threshold) {
  Build build;
  if (!Begin(mesh, threshold, &build)) return;
  MetaballOverflowCount = 0;
  if (Shares.size() < size_t(build.vertexRoom) * kShareStride)
    Shares.assign(size_t(build.vertexRoom) * kShareStride, 0.0f);
  Region region;
  FindRegion(CellSize, build.balls, &region);
  ComputeField(build, region, true);
  bool full = false;
  for (int i = region.lo[0]; i <= region.hi[0] - 2 && !full; i++)
    for (int j = region.lo[1]; j <= region.hi[1] - 2 && !full; j++)
      for (int k = region.lo[2]; k <= region.hi[2] - 2; k++) {
        int base = i * kStride[0] + j * kStride[1] + k;
        int m = CaseIndex(base);
        int edges = MetaballEdgeTable[m];
        if (!edges) continue;
        int triangles = TriangleCount(m);
        int fresh = 0;
        for (int e = 0; e < 12; e++)
          if ((edges & (1 << e)) &&
              Lattice[base + CornerOffset[Edges[e].start]].edgeStamp[Edges[e].axis] != build.stamp)
            fresh++;
        if (mesh->vertexCount + fresh > build.vertexRoom ||
            mesh->faceCount + triangles > build.faceRoom) {
          full = true;
          break;
        }
        int local[12];
        for (int e = 0; e < 12; e++) {
          if (!(edges & (1 << e))) continue;
          MetaballPoint& owner = Lattice[base + CornerOffset[Edges[e].start]];
          int axis = Edges[e].axis;
          if (owner.edgeStamp[axis] == build.stamp) {
            local[e] = owner.edgeVertex[axis];
            continue;
          }
          float t;
          int made = MakeEdgeVertex(build, base, e, &t);
          Vertex* v = &build.scene->vertices[mesh->firstVertex + made];
          v->u = 127.0f + 127.0f * v->normal.x;
          v->v = 127.0f + 127.0f * v->normal.y;
          const MetaballPoint& pa = Lattice[base + CornerOffset[kEdgeCorners[e][0]]];
          const MetaballPoint& pb = Lattice[base + CornerOffset[kEdgeCorners[e][1]]];
          float* share = &Shares[size_t(made) * kShareStride];
          float sum = 0.0f;
          for (int b = 0; b < build.balls; b++) {
            share[b] = pa.contribution[b] + (pb.contribution[b] - pa.contribution[b]) * t;
            sum += share[b];
          }
          share[kMetaballMax] = sum;
          owner.edgeVertex[axis] = made;
          owner.edgeStamp[axis] = build.stamp;
          local[e] = made;
        }
        const int8_t* row = MetaballTriangleTable[m];
        for (int n = 0; n < triangles; n++) {
          const int corners[3] = {local[row[3 * n]], local[row[3 * n + 1]], local[row[3 * n + 2]]};
          const float* share[3];
          for (int c = 0; c < 3; c++) share[c] = &Shares[size_t(corners[c]) * kShareStride];
          Face* previous = nullptr;
          for (int b = 0; b < build.balls; b++) {
            if (!(share[0][b] > 0.0f || share[1][b] > 0.0f || share[2][b] > 0.0f)) continue;
            float shade[3];
            bool visible = false;
            for (int c = 0; c < 3; c++) {
              float sum = share[c][kMetaballMax];
              shade[c] = sum > 0.0f ? 255.0f * (share[c][b] / sum) : 0.0f;
              if (shade[c] >= 3.0f) visible = true;
            }
            if (!visible) continue;
            Face* face;
            if (!previous) {
              face = AppendFace(build, corners, NextMeshFace(build));
              if (Metaballs[b].materialA) face->material = Metaballs[b].materialA;
            } else {
              if (MetaballOverflowCount == kMetaballOverflowCapacity) break;
              face = AppendFace(build, corners, &MetaballOverflow[MetaballOverflowCount++]);
              if (Metaballs[b].materialB) face->material = Metaballs[b].materialB;
              previous->next = face;
            }
            for (int c = 0; c < 3; c++) face->shade[c] = shade[c];
            previous = face;
          }
        }
      }
  Finish(build);
}
