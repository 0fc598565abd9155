// The triangle rasterizer: one screen-space triangle at a time into a 32-bit
// frame with an optional 32-bit depth buffer (larger is nearer). The caller
// stores three vertex pointers, the material and the render target into
// RasterState, then calls DrawTriangle. The material's render mode picks a
// set-up, a section walker and a span routine; the choice is cached until the
// mode changes.
#pragma once
#include <cstdint>

#include "raster/material.h"

// Render-mode bits of Material::mode. Bits not listed (0x200 marks library
// materials) do not change how a triangle is filled.
enum : int32_t {
  RM_RGBLIT = 0x2,         // per-channel light levels red, green, blue
  RM_SHADE = 0x4,          // one light level, no depth
  RM_HALF = 0x10,          // half texel plus half frame (with RM_PERSPECTIVE)
  RM_ADD = 0x20,           // saturating add onto the frame
  RM_OPACITY = 0x40,       // with RM_ADD: texel scaled by the material opacity
  RM_PERSPECTIVE = 0x100,  // u, v corrected every 16 pixels
  RM_NODEPTH = 0x400,      // no depth test or write (copy and RGB modes)
  RM_SILHOUETTE = -1,      // every covered pixel set to 0, nothing else
};

// What the rasterizer reads of a vertex. x, y in pixels with pixel centres on
// integers; z > 0 the view depth; level, red, green, blue light levels 0..255;
// u, v with 256 = one repetition of the texture. DrawTriangle writes y = 0 back
// into a vertex whose y is below 1.
struct ScreenVertex {
  float x;
  float y;
  float z;
  float level;
  float red;
  float green;
  float blue;
  float u;
  float v;
};

// Pixel (x, y) is element y * pitch + x of both buffers. depth may be null
// when only modes without depth draw into the target. Nothing outside
// width x height is ever written.
struct RenderTarget {
  uint32_t* colour;
  int32_t* depth;
  int32_t pitch;  // in pixels, for both buffers
  int32_t width;
  int32_t height;
};

using TriangleSetupFn = void (*)();
using SectionWalkerFn = void (*)(int32_t firstRow, int32_t endRow);
using SpanRoutineFn = void (*)();

// One edge of the section being walked: x at the current row and its step.
struct RasterEdge {
  float x;
  float slope;
};

// Interpolants carried by the set-ups, in this order in the arrays below.
enum : int32_t {
  RI_U = 0,  // u, or u/z in perspective modes
  RI_V,      // v, or v/z
  RI_IZ,     // 1/z
  RI_LEVEL,
  RI_RED,
  RI_GREEN,
  RI_BLUE,
  RI_COUNT,
};

struct SpanRoutines;

struct RasterStateRecord {
  // Handed over by the caller before each DrawTriangle.
  ScreenVertex* v0;
  ScreenVertex* v1;
  ScreenVertex* v2;
  Material* material;
  RenderTarget target;
  // Shadows kept apart from the texture (null for none): a texel whose stamp,
  // the element at the same index of this buffer, is at or below
  // shadowLimit reads as black. Honoured by the depth-tested add of a level,
  // the mode projector lights draw with.
  const uint32_t* shadowStamps;
  uint32_t shadowLimit;

  // The cached selection.
  int32_t mode;
  TriangleSetupFn setup;
  SectionWalkerFn walker;
  SpanRoutineFn span;
  int32_t usesDepth;          // the span routine reads the depth buffer
  uint32_t silhouetteColour;  // always 0
  const uint8_t* opacityRow;  // MulTable row taken at selection time
  const SpanRoutines* selectedSet;  // the span set the selection was made from

  // Copied from the material and the target per triangle.
  int32_t uShift;
  int32_t uMask;
  int32_t vShift;
  int32_t vMask;
  const uint32_t* texels;
  uint32_t* colourBuffer;
  int32_t* depthBuffer;
  int32_t pitch;
  int32_t width;
  int32_t height;

  // Per-triangle working values.
  ScreenVertex* sorted[3];
  int32_t rowLimit[3];  // ceil(y) of the sorted vertices, within the target
  float invArea;
  float slope01, slope02, slope12;
  int32_t longEdgeRight;      // 1 when v0-v2 is the right edge
  float ddx[RI_COUNT];        // gradients per pixel
  float ddy[RI_COUNT];        // gradients per row
  float leftValue[RI_COUNT];  // interpolants on the left edge at the current row
  float leftStep[RI_COUNT];   // their change per row along the left edge
  RasterEdge left;
  RasterEdge right;

  // Span state: set by the walker, advanced in place by the span routine so
  // the next piece of a perspective row continues where this one stopped.
  int32_t count;
  uint32_t* colour;
  int32_t* depth;
  int32_t u, du;  // 16.16
  int32_t v, dv;
  int32_t z, dz;          // trunc(1e9 / z)
  int32_t level, dlevel;  // 16.16 light levels
  int32_t red, dred;
  int32_t green, dgreen;
  int32_t blue, dblue;

  // Rows left to another thread: row y is skipped when bit (y / 8) % 32 is
  // set. Zero, the default, draws every row.
  uint32_t skippedBands;
};

// The rasterizer state of the calling thread: the show's thread and the
// drawing worker of a triangle batch each have their own.
extern thread_local RasterStateRecord RasterState;

// MulTable[a * 256 + b] = a * b / 256 truncated; AddTable[a * 256 + b] =
// min(a + b, 255). Built by InitRasterizer.
extern uint8_t MulTable[256 * 256];
extern uint8_t AddTable[256 * 256];

// First call: builds the tables, selects mode 0 and clears the vertex
// pointers. Later calls do nothing.
void InitRasterizer();

// Draws the triangle handed over in RasterState; inside a triangle batch it
// is queued for the worker instead (see raster/raster_batch.h).
void DrawTriangle();
// Draws it now on the calling thread, whatever the batch.
void DrawTriangleHere();

// A shadow stamp buffer is laid out like the target it stands beside; an
// element not yet stamped holds kNoShadowStamp, or any stamp above every
// limit still to be read.
constexpr uint32_t kNoShadowStamp = 0xFFFFFFFFu;
// Stamps the fan of a polygon of count corners (triangles 0, k, k + 1) into
// stamps, laid out like target (its pitch, width and height; its buffers are
// not touched): every pixel an RM_SILHOUETTE draw of those triangles would
// cover takes stamp unless it holds a smaller one. Drawn at once on the
// calling thread, inside a batch or not, leaving RasterState as it was. A
// thread may read stamps meanwhile: an element holds either of its two
// values.
void StampShadowFan(uint32_t* stamps, const RenderTarget& target, const float* x, const float* y,
                    int count, uint32_t stamp);

// Selects the set-up, walker and span routine for a render mode; the opacity
// modes take their opacity row from RasterState.material now.
void SelectRenderMode(int32_t mode);

// Fills the material's addressing constants from its size code (1..16) and
// marks the texture ready; other codes leave the material unchanged.
void SetTextureAddressing(Material* material);

// The span family. Each draws RasterState.count pixels from RasterState.colour
// and stores the advanced state back. SpanGuard calls the selected routine
// when count >= 0. The named routines are the plain ones; SIMD sets draw the
// same pixels several at a time.
// The row walkers of a SIMD set have the span loop inlined, one walker per
// row of the mode table (a set without them walks rows with the plain
// walkers, calling the span routine through SpanGuard).
struct RowWalkers {
  SectionWalkerFn shade, addLevelTest, addLevelDepth, addOpacityDepth, addOpacity,
      rgbPerspective, rgbDepthPerspective, rgb, rgbDepth, halfDepthPerspective, copyPerspective,
      copyDepthPerspective, copyDepth;
};
struct SpanRoutines {
  SpanRoutineFn copyDepth, copy, shade, rgbDepth, rgb, halfDepth, addLevelTest, addLevelDepth,
      addOpacity, addOpacityDepth;
  RowWalkers walkers;
};
const SpanRoutines& PlainSpans();
const SpanRoutines& Sse2Spans();
const SpanRoutines& Avx2Spans();
// The set mode selection takes: plain with the SIMD paths switched off
// (HasMmx() false), otherwise AVX2 where the processor has it, else SSE2.
const SpanRoutines& ActiveSpans();
void SpanGuard();
void SpanCopyDepth();
void SpanCopy();
void SpanShade();
void SpanRgbDepth();
void SpanRgb();
void SpanHalfDepth();
void SpanAddLevelTest();
void SpanAddLevelDepth();
void SpanAddOpacity();
void SpanAddOpacityDepth();
