// Pieces of the render pipeline shared by its own source files: mesh
// culling, outcodes, face collection and fan drawing for the projector pass.
#pragma once
#include <cstdint>

#include "engine/render_pipeline.h"

// Clip planes in use: planeCount kept within the planes array.
int ActivePlanes(const Viewport* vp);
// Planes the mesh's bounding box (transformed by m) reaches across, or -1
// when the box lies wholly outside one of vp's planes.
int32_t MeshCrossingMask(const Mesh* mesh, const Mat4& m, const Viewport* vp);
// A vertex's two masks from one distance per plane: the outcode (bit i for
// each plane i of crossing that the point lies outside) is returned, and
// *inside gets bit i for each plane i of vp the point lies on the inner side
// of, by the very test ClipPolygon makes.
int32_t VertexMasks(const Viewport* vp, const Vec3& view, int32_t crossing, int32_t* inside);
// A stamp no vertex carries yet (never 0), for a new set of inside masks.
uint32_t NewClipStamp();
// Clips the polygon begun with the three corners to vp's planes, passing
// over a plane all three lie inside while no plane has cut the polygon yet;
// useMasks: the corners' inside masks, stamped stamp, are for vp's planes.
void ClipTriangle(const Viewport* vp, Vertex* const* corner, int32_t clipMask, bool useMasks,
                  uint32_t stamp);
// Appends the mesh's visible faces to vp's list; cameraSpaceOnly picks the
// triple-product facing test for every face.
void CollectFaces(Mesh* mesh, Viewport* vp, bool cameraSpaceOnly);
// Faces in vp's list, never more than it holds.
int FaceListCount(const Viewport* vp);
void DrawPolygonScaled(Viewport* vp, Material* material, float depthScale);
void DrawFan(Viewport* vp, Material* material, Vertex* const* v, int count);
// The mesh's vertex and face ranges lie within its scene's pools.
bool MeshRangesValid(const Mesh* mesh);
