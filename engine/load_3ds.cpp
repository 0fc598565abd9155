#include "engine/load_3ds.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "engine/material_library.h"
#include "engine/scene.h"
#include "image/data_file.h"
#include "platform/system.h"

namespace {

// Real files nest five or six levels deep; the limit keeps a file of nested
// headers from exhausting the stack.
constexpr int kMaxChunkDepth = 64;
constexpr size_t kChunkHeaderSize = 6;
constexpr long kMaxFileSize = 256L << 20;

// Node kinds, set by the object node chunk around a node header.
enum NodeKind {
  kNodeNone = 0,
  kNodeMesh = 1,
  kNodeCamera = 2,
  kNodeTarget = 3,
  kNodeLight = 4,
  kNodeAmbient = 7,
};

struct Chunk {
  uint16_t id;
  size_t start;  // header
  size_t data;   // just after the header
  size_t end;    // start + length
};

struct Loader;

// A handler reads its chunk and may walk its sub-chunks; *resume is where
// the walk over the enclosing range goes on (the chunk's end unless the
// handler moves it).
typedef int (*ChunkHandler)(Loader* l, const Chunk& c, int depth, size_t* resume);

struct ChunkAction {
  uint16_t id;
  ChunkHandler handle;
};

struct Pass {
  const ChunkAction* actions;
  size_t count;
};

struct HeadedNode {
  KeyNode* node;
  char name[32];
};

struct Loader {
  const uint8_t* data;
  size_t size;
  const char* fileName;
  Load3dsResult* result;
  const Pass* pass;
  Scene* scene;
  float scale;

  // Counting pass totals.
  int64_t vertices, faces, meshes, lights, cameras, dummies;

  // Filling pass state: what the chunks met so far make current.
  char objectName[32];
  Vec3 lastColour;
  Mesh* mesh;
  Dummy* dummy;
  KeyNode* node;
  int nodeKind;
  int32_t nodeNumber;
  std::vector<HeadedNode> headed;  // every node a header named, in file order
};

// ---------------------------------------------------------------------------
// Refusals

int Refuse(Loader* l, int status, const char* format, ...) {
  char line[4608];  // room for the longest path and reason
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  l->result->status = status;
  l->result->message = line;
  return 0;
}

int Malformed(Loader* l, const Chunk& c, const char* reason) {
  l->result->reason = DamagedAtByte(static_cast<long>(c.start));
  return Refuse(l, LOAD3DS_MALFORMED, "RURI: %s is damaged: %s (chunk 0x%04X at byte %zu)\n",
                l->fileName, reason, c.id, c.start);
}

int MalformedAt(Loader* l, size_t at, const char* reason) {
  l->result->reason = DamagedAtByte(static_cast<long>(at));
  return Refuse(l, LOAD3DS_MALFORMED, "RURI: %s is damaged: %s (at byte %zu)\n", l->fileName,
                reason, at);
}

int MalformedNode(Loader* l, const char* name, const char* reason) {
  return Refuse(l, LOAD3DS_MALFORMED, "RURI: %s is damaged: key-frame node \"%s\" %s\n",
                l->fileName, name, reason);
}

int OutOfMemory(Loader* l) {
  return Refuse(l, LOAD3DS_NO_MEMORY, "RURI: out of memory loading %s\n", l->fileName);
}

// ---------------------------------------------------------------------------
// Reading a chunk's data: every read is bounded by the chunk's end. A read
// past it marks the cursor cut short and yields zeros; a float that is not
// finite marks it too. Handlers check once, when they are done.

struct Cursor {
  const uint8_t* data;
  size_t pos, end;
  bool cut;
  bool nonFinite;
};

Cursor DataOf(const Loader* l, const Chunk& c) { return {l->data, c.data, c.end, false, false}; }

size_t Remaining(const Cursor& in) { return in.cut ? 0 : in.end - in.pos; }

const uint8_t* Take(Cursor* in, size_t n) {
  if (in->cut || in->end - in->pos < n) {
    in->cut = true;
    return nullptr;
  }
  const uint8_t* p = in->data + in->pos;
  in->pos += n;
  return p;
}

uint16_t U16(Cursor* in) {
  const uint8_t* p = Take(in, 2);
  return p ? static_cast<uint16_t>(p[0] | p[1] << 8) : 0;
}

int16_t S16(Cursor* in) { return static_cast<int16_t>(U16(in)); }

int32_t I32(Cursor* in) {
  const uint8_t* p = Take(in, 4);
  if (!p) return 0;
  uint32_t u = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(u);
}

void Skip(Cursor* in, size_t n) { Take(in, n); }

float F32(Cursor* in) {
  int32_t bits = I32(in);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  if (!std::isfinite(f)) {
    in->nonFinite = true;
    return 0.0f;
  }
  return f;
}

Vec3 ReadVec3(Cursor* in) {
  float x = F32(in), y = F32(in);
  return {x, y, F32(in)};
}

// A position as stored: scaled, still z-up.
Vec3 ReadScaled(Cursor* in, float scale) {
  Vec3 v = ReadVec3(in);
  v = {v.x * scale, v.y * scale, v.z * scale};
  if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) in->nonFinite = true;
  return v;
}

// Files are z-up, the scene y-up.
Vec3 SwapYZ(const Vec3& v) { return {v.x, v.z, v.y}; }

// A name is the bytes up to a zero byte, which must lie inside the chunk.
// Only the first 31 characters are kept.
void ReadName(Cursor* in, char name[32]) {
  std::memset(name, 0, 32);
  if (in->cut) return;
  const uint8_t* begin = in->data + in->pos;
  const void* zero = std::memchr(begin, 0, in->end - in->pos);
  if (!zero) {
    in->cut = true;
    return;
  }
  size_t length = static_cast<const uint8_t*>(zero) - begin;
  std::memcpy(name, begin, length < 31 ? length : 31);
  in->pos += length + 1;
}

int Finish(Loader* l, const Chunk& c, const Cursor& in) {
  if (in.cut) return Malformed(l, c, "chunk data cut short");
  if (in.nonFinite) return Malformed(l, c, "number that is not finite");
  return 1;
}

// ---------------------------------------------------------------------------
// The walk

ChunkHandler FindHandler(const Pass* pass, uint16_t id) {
  for (size_t i = 0; i < pass->count; i++)
    if (pass->actions[i].id == id) return pass->actions[i].handle;
  return nullptr;
}

// Reads the chunks of [begin, end) one after the other. Every chunk must lie
// wholly inside the range; chunks no handler knows are skipped.
int Walk(Loader* l, size_t begin, size_t end, int depth) {
  if (depth > kMaxChunkDepth) return MalformedAt(l, begin, "chunks nested too deeply");
  size_t pos = begin;
  while (pos < end) {
    if (end - pos < kChunkHeaderSize) return MalformedAt(l, pos, "chunk header cut short");
    Cursor in = {l->data, pos, end, false, false};
    Chunk c;
    c.id = U16(&in);
    uint32_t length = static_cast<uint32_t>(I32(&in));
    c.start = pos;
    c.data = pos + kChunkHeaderSize;
    if (length < kChunkHeaderSize) return Malformed(l, c, "chunk shorter than its header");
    if (length > end - pos)
      return Malformed(l, c,
                       depth == 0 ? "file ends inside the chunk"
                                  : "chunk runs past the end of the chunk holding it");
    c.end = pos + length;
    size_t resume = c.end;
    ChunkHandler handle = FindHandler(l->pass, c.id);
    if (handle && !handle(l, c, depth, &resume)) return 0;
    pos = resume;
  }
  return 1;
}

int Descend(Loader* l, const Chunk& c, int depth, size_t*) {
  return Walk(l, c.data, c.end, depth + 1);
}

// A named object: its name, then the chunk that says what it is.
int ObjectChunk(Loader* l, const Chunk& c, int depth, size_t*) {
  Cursor in = DataOf(l, c);
  char name[32];
  ReadName(&in, name);
  if (!Finish(l, c, in)) return 0;
  std::memcpy(l->objectName, name, sizeof name);
  return Walk(l, in.pos, c.end, depth + 1);
}

// A 16-bit count of records of the given size; the chunk must hold them all.
int ReadCount(Loader* l, const Chunk& c, Cursor* in, size_t recordSize, int* count,
              const char* tooLarge) {
  *count = U16(in);
  if (in->cut) return Malformed(l, c, "chunk data cut short");
  if (Remaining(*in) / recordSize < static_cast<size_t>(*count)) return Malformed(l, c, tooLarge);
  return 1;
}

// ---------------------------------------------------------------------------
// Counting pass: sizes the pools.

int CountMesh(Loader* l, const Chunk& c, int depth, size_t* resume) {
  l->meshes++;
  return Descend(l, c, depth, resume);
}

int CountVertices(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  int count;
  if (!ReadCount(l, c, &in, 12, &count, "vertex count larger than its list")) return 0;
  l->vertices += count;
  return 1;
}

int CountFaces(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  int count;
  if (!ReadCount(l, c, &in, 8, &count, "face count larger than its list")) return 0;
  l->faces += count;
  return 1;
}

int CountLight(Loader* l, const Chunk&, int, size_t*) {
  l->lights++;
  return 1;
}

int CountCamera(Loader* l, const Chunk&, int, size_t*) {
  l->cameras++;
  return 1;
}

int CountDummy(Loader* l, const Chunk&, int, size_t*) {
  l->dummies++;
  return 1;
}

const ChunkAction kCountActions[] = {
    {kChunkMain, Descend},           {kChunkEditor, Descend},          {kChunkKeyframer, Descend},
    {kChunkMeshNode, Descend},       {kChunkObject, ObjectChunk},      {kChunkMesh, CountMesh},
    {kChunkVertices, CountVertices}, {kChunkFaces, CountFaces},        {kChunkLight, CountLight},
    {kChunkCamera, CountCamera},     {kChunkInstanceName, CountDummy},
};
const Pass kCountPass = {kCountActions, sizeof kCountActions / sizeof kCountActions[0]};

// ---------------------------------------------------------------------------
// Filling pass: objects

// The counting walk sees fewer chunk kinds than the filling walk; an object
// it did not count has no room in the pools.
const char kNoRoom[] = "object in a place that was not counted";
const char kNoMesh[] = "mesh data outside a mesh";

int FillColour(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  Vec3 colour = ReadVec3(&in);
  if (!Finish(l, c, in)) return 0;
  l->lastColour = colour;
  return 1;
}

int FillMesh(Loader* l, const Chunk& c, int depth, size_t* resume) {
  Mesh* mesh = SceneAddMesh(l->scene, l->objectName);
  if (!mesh) return Malformed(l, c, kNoRoom);
  l->mesh = mesh;
  int ok = Descend(l, c, depth, resume);
  l->mesh = nullptr;
  return ok;
}

int FillVertices(Loader* l, const Chunk& c, int, size_t*) {
  Mesh* mesh = l->mesh;
  if (!mesh) return Malformed(l, c, kNoMesh);
  Cursor in = DataOf(l, c);
  int count;
  if (!ReadCount(l, c, &in, 12, &count, "vertex count larger than its list")) return 0;
  int first = SceneAddVertices(l->scene, count);
  if (first < 0) return Malformed(l, c, kNoRoom);
  mesh->firstVertex = first;
  mesh->vertexCount = count;
  for (int i = 0; i < count; i++)
    l->scene->vertices[first + i].position = ReadScaled(&in, l->scale);
  return Finish(l, c, in);
}

int FillFaces(Loader* l, const Chunk& c, int depth, size_t*) {
  Mesh* mesh = l->mesh;
  if (!mesh) return Malformed(l, c, kNoMesh);
  Scene* scene = l->scene;
  Cursor in = DataOf(l, c);
  int count;
  if (!ReadCount(l, c, &in, 8, &count, "face count larger than its list")) return 0;
  int first = SceneAddFaces(scene, count);
  if (first < 0) return Malformed(l, c, kNoRoom);
  mesh->firstFace = first;
  mesh->faceCount = count;
  for (int i = 0; i < count; i++) {
    int a = U16(&in), b = U16(&in), d = U16(&in);
    Face* face = &scene->faces[first + i];
    face->flags = U16(&in);
    if (a >= mesh->vertexCount || b >= mesh->vertexCount || d >= mesh->vertexCount)
      return Malformed(l, c, "face refers to a vertex outside its mesh");
    int v = mesh->firstVertex;
    FaceSetCorners(scene, face, v + a, v + b, v + d);
  }
  if (!Finish(l, c, in)) return 0;
  return Walk(l, in.pos, c.end, depth + 1);
}

// Faces of the group take the last material of that name; a name the file
// never defined leaves them on the default material.
int FillMaterialGroup(Loader* l, const Chunk& c, int, size_t*) {
  Mesh* mesh = l->mesh;
  if (!mesh) return Malformed(l, c, kNoMesh);
  Scene* scene = l->scene;
  Cursor in = DataOf(l, c);
  char name[32];
  ReadName(&in, name);
  int count;
  if (!ReadCount(l, c, &in, 2, &count, "group count larger than its list")) return 0;
  Material* material = nullptr;
  for (int i = scene->materialCount - 1; i >= 0 && !material; i--)
    if (NameEquals(scene->materials[i].name, name)) material = &scene->materials[i];
  for (int i = 0; i < count; i++) {
    int face = U16(&in);
    if (face >= mesh->faceCount)
      return Malformed(l, c, "material group names a face outside its mesh");
    if (material) scene->faces[mesh->firstFace + face].material = material;
  }
  return Finish(l, c, in);
}

// One (u, v) per vertex of the mesh, whatever count the chunk gives; an
// empty list (count 0, as some exporters write for unmapped meshes) is no
// mapping at all.
int FillMapping(Loader* l, const Chunk& c, int, size_t*) {
  Mesh* mesh = l->mesh;
  if (!mesh) return Malformed(l, c, kNoMesh);
  Cursor in = DataOf(l, c);
  if (U16(&in) == 0 && !in.cut) return 1;
  if (Remaining(in) / 8 < static_cast<size_t>(mesh->vertexCount))
    return Malformed(l, c, "mapping list shorter than its mesh");
  mesh->hasMapping = 1;
  Vertex* vertices = l->scene->vertices + mesh->firstVertex;
  for (int i = 0; i < mesh->vertexCount; i++) {
    vertices[i].u = F32(&in) * 256.0f;
    vertices[i].v = -F32(&in) * 256.0f;
  }
  return Finish(l, c, in);
}

}  // namespace

int MeshMatrixInverse(const Mat4& axes, Mat4* inverse) {
  // Whether the quick inverse undoes the axes: axes x inverse must be the
  // identity (rows of axes times columns of the inverse, as points are
  // transformed). It is for perpendicular axes of equal row and column
  // lengths, which is what modelling programs write for plain rotations and
  // uniform scales.
  const float* a = axes.m;
  const float* q = inverse->m;
  double worst = 0.0;
  for (int r = 0; r < 3; r++)
    for (int k = 0; k < 3; k++) {
      double sum = 0.0;
      for (int j = 0; j < 3; j++) sum += static_cast<double>(a[4 * r + j]) * q[4 * j + k];
      worst = std::max(worst, std::fabs(sum - (r == k ? 1.0 : 0.0)));
    }
  if (worst <= 1e-4) return 0;
  // The general inverse, by cofactors in double precision.
  auto at = [&](int r, int k) { return static_cast<double>(a[4 * r + k]); };
  double cof[3][3];
  for (int r = 0; r < 3; r++)
    for (int k = 0; k < 3; k++) {
      const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, k1 = (k + 1) % 3, k2 = (k + 2) % 3;
      cof[r][k] = at(r1, k1) * at(r2, k2) - at(r1, k2) * at(r2, k1);
    }
  const double det = at(0, 0) * cof[0][0] + at(0, 1) * cof[0][1] + at(0, 2) * cof[0][2];
  if (!(std::fabs(det) > 1e-30) || !std::isfinite(det)) return 0;  // flat: keep the quick one
  Mat4 general;
  MatIdentity(&general);
  for (int r = 0; r < 3; r++)
    for (int k = 0; k < 3; k++) general.m[4 * r + k] = static_cast<float>(cof[k][r] / det);
  *inverse = general;
  return 1;
}

namespace {

// The object's axes and origin. Its inverse moves the vertices, which the
// file gives in world space, into the object's own frame.
int FillMeshMatrix(Loader* l, const Chunk& c, int, size_t*) {
  Mesh* mesh = l->mesh;
  if (!mesh) return Malformed(l, c, kNoMesh);
  Cursor in = DataOf(l, c);
  Mat4 m;
  MatIdentity(&m);
  for (int row = 0; row < 3; row++)
    for (int col = 0; col < 3; col++) m.m[4 * row + col] = F32(&in);
  const Mat4 axes = m;
  MatDivideColumnsBySquaredLength(&m);
  Vec3 origin = ReadScaled(&in, l->scale);
  MatTransposeRotation(&m);
  if (!Finish(l, c, in)) return 0;
  MeshMatrixInverse(axes, &m);
  mesh->fileMatrix = m;
  Vertex* vertices = l->scene->vertices + mesh->firstVertex;
  for (int i = 0; i < mesh->vertexCount; i++) {
    Vec3 d;
    VecSub(vertices[i].position, origin, &d);
    MatTransformPoint(d, m, &vertices[i].position);
  }
  return 1;
}

// The light's colour is the colour chunk read last when its sub-chunks are
// done: its own, or the one before it in the file.
int FillLight(Loader* l, const Chunk& c, int depth, size_t*) {
  Light* light = SceneAddLight(l->scene, l->objectName);
  if (!light) return Malformed(l, c, kNoRoom);
  Cursor in = DataOf(l, c);
  light->position = SwapYZ(ReadScaled(&in, l->scale));
  if (!Finish(l, c, in)) return 0;
  if (!Walk(l, in.pos, c.end, depth + 1)) return 0;
  light->colour = l->lastColour;
  return 1;
}

// The walk goes on right after the camera's 32 bytes, so its sub-chunks are
// met as if they were the camera's siblings.
int FillCamera(Loader* l, const Chunk& c, int, size_t* resume) {
  Camera* camera = SceneAddCamera(l->scene, l->objectName);
  if (!camera) return Malformed(l, c, kNoRoom);
  Cursor in = DataOf(l, c);
  camera->position = SwapYZ(ReadScaled(&in, l->scale));
  camera->target = SwapYZ(ReadScaled(&in, l->scale));
  camera->roll = F32(&in);
  camera->lens = F32(&in);
  if (!Finish(l, c, in)) return 0;
  *resume = in.pos;
  return 1;
}

int FillMaterialName(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  char name[32];
  ReadName(&in, name);
  if (!Finish(l, c, in)) return 0;
  if (!MaterialAdd(l->scene, name)) {
    l->result->reason = "more than 256 materials";
    return Refuse(l, LOAD3DS_MALFORMED,
                  "RURI: %s defines more materials than the %d a scene's table holds\n", l->fileName,
                  kSceneMaterialCapacity);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Filling pass: key-frame nodes

// Each object node chunk starts without a current node: its tracks belong to
// the node its own header names, never to the one before.
int FillNode(Loader* l, const Chunk& c, int depth, size_t* resume) {
  switch (c.id) {
    case kChunkAmbientNode:
      l->nodeKind = kNodeAmbient;
      break;
    case kChunkMeshNode:
      l->nodeKind = kNodeMesh;
      break;
    case kChunkCameraNode:
      l->nodeKind = kNodeCamera;
      break;
    case kChunkTargetNode:
      l->nodeKind = kNodeTarget;
      break;
    default:
      l->nodeKind = kNodeLight;
      break;
  }
  l->node = nullptr;
  int ok = Descend(l, c, depth, resume);
  l->node = nullptr;
  return ok;
}

int FillSegment(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  int32_t first = I32(&in), last = I32(&in);
  if (!Finish(l, c, in)) return 0;
  l->scene->firstFrame = first;
  l->scene->lastFrame = last;
  return 1;
}

// The node of the named object of the current kind, or null.
KeyNode* SceneFindNode(Scene* scene, int kind, const char* name) {
  switch (kind) {
    case kNodeMesh:
      for (int i = 0; i < scene->meshCount; i++)
        if (NameEquals(scene->meshes[i].name, name)) return &scene->meshes[i].node;
      return nullptr;
    case kNodeCamera:
    case kNodeTarget:
      for (int i = 0; i < scene->cameraCount; i++)
        if (NameEquals(scene->cameras[i].name, name))
          return kind == kNodeCamera ? &scene->cameras[i].positionNode
                                     : &scene->cameras[i].targetNode;
      return nullptr;
    case kNodeLight:
      for (int i = 0; i < scene->lightCount; i++)
        if (NameEquals(scene->lights[i].name, name)) return &scene->lights[i].positionNode;
      return nullptr;
    case kNodeAmbient:
      return &scene->root;
  }
  return nullptr;
}

// Node numbers are stored plus one, and -1 stands for none.
int32_t NodeId(int32_t number) { return number + 1 == 0 ? -1 : number + 1; }

int FillNodeHeader(Loader* l, const Chunk& c, int, size_t*) {
  Scene* scene = l->scene;
  Cursor in = DataOf(l, c);
  char name[32];
  ReadName(&in, name);
  uint16_t flags0 = U16(&in), flags1 = U16(&in);
  int32_t parent = S16(&in);
  if (!Finish(l, c, in)) return 0;

  KeyNode* node;
  if (NameEquals(name, kDummyNodeName)) {
    // The dummy pool is sized by the instance-name chunks that name dummies.
    Dummy* dummy = SceneAddDummy(scene, "");
    if (!dummy) return Malformed(l, c, "dummy node without an instance name");
    node = &dummy->node;
    node->owner = nullptr;
    l->dummy = dummy;
  } else if (NameEquals(name, kAmbientNodeName)) {
    node = &scene->root;
  } else {
    if (l->nodeKind == kNodeNone) return Malformed(l, c, "node header outside an object node");
    node = SceneFindNode(scene, l->nodeKind, name);
    if (!node) return Refuse(l, LOAD3DS_UNKNOWN_OBJECT, "%s\nnoe bugga\n", name);
  }
  node->hasRotation = node->hasPosition = node->hasScale = 0;
  node->hasColour = node->hasFov = node->hasRoll = 0;
  node->flags[0] = flags0;
  node->flags[1] = flags1;
  node->parentId = NodeId(parent);
  node->id = NodeId(l->nodeNumber);
  l->node = node;
  if (node != &scene->root) {
    HeadedNode headed = {node, {}};
    std::memcpy(headed.name, name, sizeof name);
    l->headed.push_back(headed);
  }
  return 1;
}

// The instance name belongs to a dummy; on any other node it is read and
// dropped, so it never renames a dummy met earlier.
int FillInstanceName(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  char name[32];
  ReadName(&in, name);
  if (!Finish(l, c, in)) return 0;
  if (l->dummy && l->node == &l->dummy->node) SetName(l->dummy->name, name);
  return 1;
}

int FillNodeNote(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  Vec3 v = ReadVec3(&in);
  if (!Finish(l, c, in)) return 0;
  char line[160];
  std::snprintf(line, sizeof line, "%f %f %f\n", v.x, v.y, v.z);
  l->result->log += line;
  return 1;
}

int FillPivot(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  ReadVec3(&in);
  return Finish(l, c, in);
}

int FillNodeNumber(Loader* l, const Chunk& c, int, size_t*) {
  Cursor in = DataOf(l, c);
  int32_t number = S16(&in);
  if (!Finish(l, c, in)) return 0;
  l->nodeNumber = number;
  return 1;
}

// Track chunk: flags, 8 unused bytes, key count and 2 more, then the keys.
// The count is held against the smallest key of the track's kind before the
// key array is sized by it.
template <typename Track>
int TrackStart(Loader* l, const Chunk& c, Cursor* in, size_t valueSize, Track* track, int* count) {
  if (!l->node) return Malformed(l, c, "key track outside a node");
  int flags = U16(in);
  Skip(in, 8);
  if (!ReadCount(l, c, in, 6 + valueSize, count, "key count larger than its track")) return 0;
  Skip(in, 2);
  std::free(track->keys);  // a repeated track replaces the first
  track->keys = nullptr;
  if (!TrackAllocate(track, *count)) return OutOfMemory(l);
  track->flags = flags;
  return 1;
}

// Frame, spline flags, and one parameter for each of flag bits 0 to 4.
int ReadKeyStart(Cursor* in, KeySpline* spline) {
  int frame = S16(in);
  Skip(in, 2);
  *spline = KeySpline{};
  spline->splineFlags = U16(in);
  float* parameters[5] = {&spline->tension, &spline->continuity, &spline->bias, &spline->easeTo,
                          &spline->easeFrom};
  for (int bit = 0; bit < 5; bit++)
    if (spline->splineFlags & (1 << bit)) *parameters[bit] = F32(in);
  return frame;
}

int ReadVectorTrack(Loader* l, const Chunk& c, VectorTrack* track, bool position) {
  Cursor in = DataOf(l, c);
  int count;
  if (!TrackStart(l, c, &in, 12, track, &count)) return 0;
  for (int i = 0; i < count && !in.cut; i++) {
    KeySpline spline;
    int frame = ReadKeyStart(&in, &spline);
    Vec3 value = position ? SwapYZ(ReadScaled(&in, l->scale)) : ReadVec3(&in);
    TrackAddKey(track, frame, value, spline);
  }
  return Finish(l, c, in);
}

int FillPositionTrack(Loader* l, const Chunk& c, int, size_t*) {
  if (l->node) l->node->hasPosition = 1;
  return ReadVectorTrack(l, c, l->node ? &l->node->position : nullptr, true);
}

int FillScaleTrack(Loader* l, const Chunk& c, int, size_t*) {
  if (l->node) l->node->hasScale = 1;
  return ReadVectorTrack(l, c, l->node ? &l->node->scale : nullptr, true);
}

int FillColourTrack(Loader* l, const Chunk& c, int, size_t*) {
  if (l->node) l->node->hasColour = 1;
  return ReadVectorTrack(l, c, l->node ? &l->node->colour : nullptr, false);
}

int FillRotationTrack(Loader* l, const Chunk& c, int, size_t*) {
  RotationTrack* track = l->node ? &l->node->rotation : nullptr;
  if (l->node) l->node->hasRotation = 1;
  Cursor in = DataOf(l, c);
  int count;
  if (!TrackStart(l, c, &in, 16, track, &count)) return 0;
  for (int i = 0; i < count && !in.cut; i++) {
    KeySpline spline;
    int frame = ReadKeyStart(&in, &spline);
    float angle = F32(&in);
    Vec3 axis = SwapYZ(ReadVec3(&in));
    TrackAddKey(track, frame, axis, angle, spline);
  }
  return Finish(l, c, in);
}

int ReadScalarTrack(Loader* l, const Chunk& c, ScalarTrack* track) {
  Cursor in = DataOf(l, c);
  int count;
  if (!TrackStart(l, c, &in, 4, track, &count)) return 0;
  for (int i = 0; i < count && !in.cut; i++) {
    KeySpline spline;
    int frame = ReadKeyStart(&in, &spline);
    TrackAddKey(track, frame, F32(&in), spline);
  }
  return Finish(l, c, in);
}

int FillFovTrack(Loader* l, const Chunk& c, int, size_t*) {
  if (l->node) l->node->hasFov = 1;
  return ReadScalarTrack(l, c, l->node ? &l->node->fov : nullptr);
}

int FillRollTrack(Loader* l, const Chunk& c, int, size_t*) {
  if (l->node) l->node->hasRoll = 1;
  return ReadScalarTrack(l, c, l->node ? &l->node->roll : nullptr);
}

const ChunkAction kFillActions[] = {
    {kChunkColour, FillColour},
    {kChunkMain, Descend},
    {kChunkEditor, Descend},
    {kChunkMaterial, Descend},
    {kChunkKeyframer, Descend},
    {kChunkObject, ObjectChunk},
    {kChunkMesh, FillMesh},
    {kChunkVertices, FillVertices},
    {kChunkFaces, FillFaces},
    {kChunkMaterialGroup, FillMaterialGroup},
    {kChunkMapping, FillMapping},
    {kChunkMeshMatrix, FillMeshMatrix},
    {kChunkLight, FillLight},
    {kChunkCamera, FillCamera},
    {kChunkMaterialName, FillMaterialName},
    {kChunkAmbientNode, FillNode},
    {kChunkMeshNode, FillNode},
    {kChunkCameraNode, FillNode},
    {kChunkTargetNode, FillNode},
    {kChunkLightNode, FillNode},
    {kChunkSegment, FillSegment},
    {kChunkNodeHeader, FillNodeHeader},
    {kChunkInstanceName, FillInstanceName},
    {kChunkNodeNote, FillNodeNote},
    {kChunkPivot, FillPivot},
    {kChunkPositionTrack, FillPositionTrack},
    {kChunkRotationTrack, FillRotationTrack},
    {kChunkScaleTrack, FillScaleTrack},
    {kChunkFovTrack, FillFovTrack},
    {kChunkRollTrack, FillRollTrack},
    {kChunkColourTrack, FillColourTrack},
    {kChunkNodeNumber, FillNodeNumber},
};
const Pass kFillPass = {kFillActions, sizeof kFillActions / sizeof kFillActions[0]};

// Every node a header named must hang from the root through parents the file
// has; otherwise the hierarchy would silently leave it, and all below it,
// unposed.
int CheckHierarchy(Loader* l) {
  std::set<int32_t> ids;
  std::multimap<int32_t, const HeadedNode*> byParent;
  for (const HeadedNode& h : l->headed) {
    if (h.node->id != -1) ids.insert(h.node->id);
    byParent.emplace(h.node->parentId, &h);
  }
  for (const HeadedNode& h : l->headed)
    if (h.node->parentId != -1 && !ids.count(h.node->parentId))
      return MalformedNode(l, h.name, "hangs from a node the file does not have");

  // Level by level from the root; the scene links kSceneHierarchyDepth
  // levels, so a file that needs more is refused rather than left partly
  // unposed.
  std::set<const KeyNode*> reached;
  std::set<int32_t> expanded = {-1};
  std::vector<int32_t> level = {-1};
  for (int depth = 1; !level.empty(); depth++) {
    std::vector<int32_t> next;
    for (int32_t id : level) {
      auto range = byParent.equal_range(id);
      for (auto it = range.first; it != range.second; ++it) {
        const KeyNode* node = it->second->node;
        if (depth > kSceneHierarchyDepth)
          return Refuse(l, LOAD3DS_MALFORMED,
                        "RURI: %s nests key-frame node \"%s\" deeper than the %d levels a scene links\n",
                        l->fileName, it->second->name, kSceneHierarchyDepth);
        reached.insert(node);
        if (node->id != -1 && expanded.insert(node->id).second) next.push_back(node->id);
      }
    }
    level.swap(next);
  }
  for (const HeadedNode& h : l->headed)
    if (!reached.count(h.node)) return MalformedNode(l, h.name, "is its own ancestor");
  return 1;
}

int ReadRefusal(Load3dsResult* result, int status, const char* format, const char* fileName) {
  char line[4608];
  std::snprintf(line, sizeof line, format, fileName);
  result->status = status;
  result->message = line;
  return 0;
}

void ReleaseNode(KeyNode* node) {
  std::free(node->rotation.keys);
  std::free(node->position.keys);
  std::free(node->scale.keys);
  std::free(node->colour.keys);
  std::free(node->fov.keys);
  std::free(node->roll.keys);
  std::free(node->children);
}

}  // namespace

int Load3dsParse(Scene* scene, const uint8_t* data, size_t size, const char* fileName, float scale,
                 Load3dsResult* result) {
  *result = Load3dsResult();
  std::memset(static_cast<void*>(scene), 0, sizeof *scene);
  Loader l = {};
  l.data = data;
  l.size = size;
  l.fileName = fileName;
  l.result = result;
  l.scene = scene;
  l.scale = scale;

  if (size < kChunkHeaderSize || (data[0] | data[1] << 8) != kChunkMain)
  {
    result->reason = "not a .3ds file: no main chunk at byte 0";
    return Refuse(&l, LOAD3DS_FOREIGN, "RURI: %s is not a .3ds file!\n", fileName);
  }

  // Only the main chunk is read: bytes after it (zero padding, an end-of-file
  // mark) belong to no chunk and are ignored.
  size_t used = size;
  {
    const uint32_t mainLength =
        static_cast<uint32_t>(data[2] | data[3] << 8 | data[4] << 16) | static_cast<uint32_t>(data[5]) << 24;
    if (mainLength >= kChunkHeaderSize && mainLength < size) used = mainLength;
  }
  l.pass = &kCountPass;
  if (!Walk(&l, 0, used, 0)) return 0;
  if (l.vertices > INT32_MAX || l.faces > INT32_MAX ||
      l.meshes + l.dummies + 2 * l.cameras + 2 * l.lights > INT32_MAX)
    return MalformedAt(&l, 0, "more objects than a scene holds");
  if (!SceneCreate(scene, static_cast<int>(l.vertices), static_cast<int>(l.faces),
                   static_cast<int>(l.meshes), static_cast<int>(l.lights),
                   static_cast<int>(l.cameras), static_cast<int>(l.dummies)))
    return OutOfMemory(&l);

  l.pass = &kFillPass;
  if (!Walk(&l, 0, used, 0)) return 0;
  if (!CheckHierarchy(&l)) return 0;

  for (int i = 0; i < scene->meshCount; i++) {
    Mesh* mesh = &scene->meshes[i];
    Vertex* vertices = scene->vertices + mesh->firstVertex;
    for (int k = 0; k < mesh->vertexCount; k++) vertices[k].position = SwapYZ(vertices[k].position);
    MeshComputeNormals(mesh);
    MeshComputeFaceMapping(mesh);
    MeshComputeBounds(mesh);
  }
  return 1;
}

int Load3dsRead(Scene* scene, const char* fileName, float scale, Load3dsResult* result) {
  *result = Load3dsResult();
  std::memset(static_cast<void*>(scene), 0, sizeof *scene);
  std::string reason;
  FILE* file = OpenDataFile(fileName, &reason);
  if (!file) {
    ReadRefusal(result, LOAD3DS_NOT_FOUND, "RURI: %s not found!\n", fileName);
    result->reason = reason;
    return 0;
  }
  // A length the file system cannot tell, or one no scene comes near (a
  // directory may report either), is a file that cannot be read.
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  std::rewind(file);
  uint8_t* data = nullptr;
  size_t got = 0;
  if (length >= 0 && length <= kMaxFileSize) {
    data = static_cast<uint8_t*>(std::malloc(length > 0 ? length : 1));
    if (data) got = std::fread(data, 1, static_cast<size_t>(length), file);
  }
  std::fclose(file);
  int ok = 0;
  if (length < 0 || length > kMaxFileSize || (data && got != static_cast<size_t>(length))) {
    ReadRefusal(result, LOAD3DS_MALFORMED, "RURI: %s cannot be read\n", fileName);
    result->reason = length > kMaxFileSize ? "larger than any scene" : "read error";
  }
  else if (!data)
    ReadRefusal(result, LOAD3DS_NO_MEMORY, "RURI: out of memory loading %s\n", fileName);
  else
    ok = Load3dsParse(scene, data, got, fileName, scale, result);
  std::free(data);
  return ok;
}

int Load3ds(Scene* scene, const char* fileName, float scale) {
  Load3dsResult result;
  int ok = Load3dsRead(scene, fileName, scale, &result);
  std::fputs(result.log.c_str(), stdout);
  if (ok || result.status == LOAD3DS_NO_MEMORY) {
    std::fflush(stdout);
    return ok;
  }
  std::fputs(result.message.c_str(), stdout);
  std::fflush(stdout);
  ReportDataFile(fileName, result.reason.empty() ? std::string("refused") : result.reason);
  std::exit(1);
}

void Load3dsRelease(Scene* scene) {
  if (scene->meshes)
    for (int i = 0; i < scene->capacity.meshes; i++) ReleaseNode(&scene->meshes[i].node);
  if (scene->cameras)
    for (int i = 0; i < scene->capacity.cameras; i++) {
      ReleaseNode(&scene->cameras[i].positionNode);
      ReleaseNode(&scene->cameras[i].targetNode);
    }
  if (scene->lights)
    for (int i = 0; i < scene->capacity.lights; i++) {
      ReleaseNode(&scene->lights[i].positionNode);
      ReleaseNode(&scene->lights[i].targetNode);
    }
  if (scene->dummies)
    for (int i = 0; i < scene->capacity.dummies; i++) ReleaseNode(&scene->dummies[i].node);
  ReleaseNode(&scene->root);
  std::free(scene->vertices);
  std::free(scene->faces);
  std::free(scene->meshes);
  std::free(scene->lights);
  std::free(scene->cameras);
  std::free(scene->dummies);
  std::free(scene->nodes);
  std::memset(static_cast<void*>(scene), 0, sizeof *scene);
}
