// Scene files: what the writer puts down the loader reads back, turned y-up
// and scaled, with materials, nodes and tracks where they belong; files that
// cannot be right are refused with what is wrong, never read past their data.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/scene.h"
#include "engine/write_3ds.h"
#include "tests/engine_3ds_support.h"

namespace {

KeySpline Tcb(float t, float c, float b, float to = 0, float from = 0) {
  return KeySpline{0, t, c, b, to, from};
}

SceneFileNode Node(uint16_t kind, const char* name, int16_t number, int16_t parent = -1) {
  SceneFileNode n = {};
  n.kind = kind, n.name = name, n.number = number, n.parent = parent;
  return n;
}

// Two meshes (the arm hangs from the body), a dummy, a camera with its
// target, two lights (the second without a colour of its own), a repeated
// material name and a group naming no material.
SceneFile TwoMeshScene() {
  SceneFile f;
  f.materials = {"red", "blue", "red"};
  f.lastFrame = 40;
  SceneFileMesh body;
  body.name = "Body";
  body.vertices = {{1, 2, 3}, {3, 2, 3}, {3, 4, 3}, {1, 4, 5}};
  body.faces = {{0, 1, 2, kFaceWrapU}, {0, 2, 3, 0}};
  body.mapping = {0, 0, 1, 0, 1, 0.5f, 0.25f, 1};
  body.groups = {{"blue", {1}}, {"red", {0}}};
  body.origin = {1, 2, 3};
  // The arm's frame is turned a quarter about z, doubled and moved to
  // (10, 0, 0): object point q lies at (10 - 2 qy, 2 qx, 2 qz).
  SceneFileMesh arm;
  arm.name = "Arm";
  arm.axes[0] = {0, 2, 0}, arm.axes[1] = {-2, 0, 0}, arm.axes[2] = {0, 0, 2};
  arm.origin = {10, 0, 0};
  arm.vertices = {{10, 0, 0}, {10, 2, 0}, {8, 0, 4}};  // q = (0,0,0), (1,0,0), (0,1,2)
  arm.faces = {{0, 1, 2, 0}};
  arm.groups = {{"ghost", {0}}};
  f.meshes = {body, arm};
  f.lights = {{"Lamp", {5, 6, 7}, true, {0.5f, 0.25f, 1}}, {"Dim", {-1, -2, -3}, false, {}}};
  f.cameras = {{"Cam", {1, 2, 3}, {4, 5, 6}, 10, 35}};

  SceneFileNode ambient = Node(kChunkAmbientNode, kAmbientNodeName, -1);
  ambient.position.keys = {{0, {9, 9, 9}, {}}};
  SceneFileNode b = Node(kChunkMeshNode, "Body", 0);
  b.flags[0] = 0x4000, b.flags[1] = 3;
  b.position.flags = kTrackRepeat;
  b.position.keys = {{0, {1, 2, 3}, Tcb(0.5f, -0.25f, 0.75f)},
                     {10, {4, 5, 6}, Tcb(0, 0, 0, 0.5f, 0.25f)},
                     {20, {7, 8, 9}, {}}};
  b.rotation.keys = {{0, 0.0f, {0, 0, 1}, {}}, {20, 1.0f, {1, 2, 3}, Tcb(0.1f, 0, 0)}};
  b.scale.keys = {{0, {1, 1, 1}, {}}, {20, {2, 3, 4}, {}}};
  SceneFileNode a = Node(kChunkMeshNode, "Arm", 1, 0);
  a.position.keys = {{0, {10, 20, 30}, {}}};
  SceneFileNode dummy = Node(kChunkMeshNode, kDummyNodeName, 2);
  dummy.instanceName = "Pivot";
  dummy.position.keys = {{5, {0, 0, 1}, {}}};
  SceneFileNode eye = Node(kChunkCameraNode, "Cam", 3);
  eye.instanceName = "Lens";  // not a dummy: read and dropped
  eye.position.keys = {{0, {1, 2, 3}, {}}};
  eye.fov.keys = {{0, 60, {}}, {40, 30, Tcb(0, 0.5f, 0)}};
  eye.roll.keys = {{0, 0, {}}, {40, -15, {}}};
  SceneFileNode target = Node(kChunkTargetNode, "Cam", 4, 3);
  target.position.keys = {{0, {4, 5, 6}, {}}};
  SceneFileNode lamp = Node(kChunkLightNode, "Lamp", 5);
  lamp.colour.keys = {{0, {1, 0.5f, 0.25f}, {}}};
  f.nodes = {ambient, b, a, dummy, eye, target, lamp};
  return f;
}

void ExpectVec(const Vec3& got, const Vec3& want, float tolerance = 0.0f) {
  EXPECT_NEAR(got.x, want.x, tolerance);
  EXPECT_NEAR(got.y, want.y, tolerance);
  EXPECT_NEAR(got.z, want.z, tolerance);
}

TEST(Engine3ds, WrittenSceneLoadsBackTurnedYUp) {
  auto loaded = Parse(Encode(TwoMeshScene()));
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  Scene* s = loaded->scene.get();
  EXPECT_EQ(s->vertexCount, 7);
  EXPECT_EQ(s->faceCount, 3);
  EXPECT_EQ(s->lastFrame, 40);
  ASSERT_EQ(s->materialCount, 4);
  Mesh *body = SceneFindMesh(s, "Body"), *arm = SceneFindMesh(s, "Arm");
  ASSERT_TRUE(body && arm);
  EXPECT_EQ(arm->firstVertex, 4);
  EXPECT_EQ(arm->firstFace, 2);
  EXPECT_EQ(body->hasMapping - arm->hasMapping, 1);

  // Into each object's own frame, then y and z swapped.
  const Vec3 want[7] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 2, 2},
                        {0, 0, 0}, {1, 0, 0}, {0, 2, 1}};
  for (int i = 0; i < 7; i++) ExpectVec(s->vertices[i].position, want[i], 1e-6f);
  EXPECT_EQ(s->vertices[2].u, 256.0f);
  EXPECT_EQ(s->vertices[2].v, -128.0f);
  EXPECT_EQ(s->faces[0].flags, kFaceWrapU);
  EXPECT_EQ(s->faces[2].index[2], 6);  // the arm's corners follow the body's vertices
  EXPECT_EQ(s->faces[2].vertex[2], &s->vertices[6]);

  // The later of two materials named alike; an unknown name keeps the default.
  EXPECT_EQ(s->faces[0].material, &s->materials[3]);
  EXPECT_EQ(s->faces[1].material, &s->materials[2]);
  EXPECT_EQ(s->faces[2].material, &s->materials[0]);

  // A light without a colour of its own takes the last one read.
  ExpectVec(s->lights[0].position, {5, 7, 6});
  ExpectVec(s->lights[1].colour, {0.5f, 0.25f, 1.0f});
  ExpectVec(s->cameras[0].position, {1, 3, 2});
  ExpectVec(s->cameras[0].target, {4, 6, 5});
  EXPECT_EQ(s->cameras[0].roll, 10.0f);
  EXPECT_EQ(s->cameras[0].lens, 35.0f);
}

TEST(Engine3ds, NodesAndTracksLoadBackWithTheirSplines) {
  auto loaded = Parse(Encode(TwoMeshScene()));
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  Scene* s = loaded->scene.get();
  KeyNode* body = &s->meshes[0].node;
  KeyNode* arm = &s->meshes[1].node;
  EXPECT_EQ(body->id * 10 + arm->id, 12);
  EXPECT_EQ(arm->parentId, 1);
  EXPECT_EQ(body->flags[0], 0x4000);
  EXPECT_EQ(s->root.hasPosition, 1);  // switched off once the hierarchy is built
  ASSERT_TRUE(body->hasPosition && body->hasRotation && body->hasScale && !body->hasFov);

  const VectorTrack& pos = body->position;
  EXPECT_EQ(pos.flags, kTrackRepeat);
  ASSERT_EQ(pos.keyCount, 3);
  const VectorKey &k1 = pos.keys[1], &k2 = pos.keys[2];
  ExpectVec(k1.value, {1, 3, 2});
  EXPECT_EQ(k1.splineFlags, 0x7);
  EXPECT_EQ(k1.tension + k1.continuity + k1.bias, 1.0f);
  EXPECT_EQ(k1.continuity, -0.25f);
  EXPECT_EQ(k2.frame, 10);
  EXPECT_EQ(k2.splineFlags, 0x18);
  EXPECT_EQ(k2.easeTo, 0.5f);
  EXPECT_EQ(k2.easeFrom, 0.25f);
  ExpectVec(pos.keys[4].value, {7, 9, 8});  // padded after the last key
  const RotationKey& turn = body->rotation.keys[2];
  EXPECT_EQ(turn.angle, 1.0f);
  ExpectVec(turn.axis, {1, 3, 2});
  EXPECT_EQ(turn.tension, 0.1f);
  ExpectVec(body->scale.keys[2].value, {2, 4, 3});

  EXPECT_STREQ(s->dummies[0].name, "Pivot");
  EXPECT_EQ(s->dummies[0].node.owner, nullptr);
  EXPECT_EQ(s->dummies[0].node.position.keys[1].frame, 5);
  const KeyNode& eye = s->cameras[0].positionNode;
  ASSERT_TRUE(eye.hasFov && eye.hasRoll);
  EXPECT_EQ(eye.fov.keys[2].value, 30.0f);
  EXPECT_EQ(eye.fov.keys[2].continuity, 0.5f);
  EXPECT_EQ(eye.roll.keys[2].value, -15.0f);
  EXPECT_EQ(s->cameras[0].targetNode.parentId, eye.id);
  ExpectVec(s->lights[0].positionNode.colour.keys[1].value, {1, 0.5f, 0.25f});  // not swapped

  // Posed: the arm's offset is carried by the body's.
  ASSERT_EQ(SceneBuildHierarchy(s), 1);
  EXPECT_EQ(arm->parent, body);
  EXPECT_EQ(s->root.hasPosition, 0);
  SceneSetFrame(s, 0.0f);
  EXPECT_EQ(arm->matrix.m[12], 11.0f);
  EXPECT_EQ(arm->matrix.m[13], 33.0f);
  EXPECT_EQ(arm->matrix.m[14], 22.0f);
}

TEST(Engine3ds, ScaleMultipliesPositionsOnly) {
  std::vector<uint8_t> bytes = Encode(TwoMeshScene());
  auto one = Parse(bytes, 1.0f);
  auto two = Parse(bytes, 2.0f);
  ASSERT_EQ(one->ok + two->ok, 2);
  const struct {
    const char* what;
    Vec3 (*get)(Scene*);
    float factor;
  } cases[] = {
      {"vertex", [](Scene* s) { return s->vertices[3].position; }, 2},
      {"moved vertex", [](Scene* s) { return s->vertices[6].position; }, 2},
      {"camera", [](Scene* s) { return s->cameras[0].position; }, 2},
      {"target", [](Scene* s) { return s->cameras[0].target; }, 2},
      {"light", [](Scene* s) { return s->lights[0].position; }, 2},
      {"position key", [](Scene* s) { return s->meshes[0].node.position.keys[2].value; }, 2},
      {"scale key", [](Scene* s) { return s->meshes[0].node.scale.keys[2].value; }, 2},
      {"rotation axis", [](Scene* s) { return s->meshes[0].node.rotation.keys[2].axis; }, 1},
      {"colour key", [](Scene* s) { return s->lights[0].positionNode.colour.keys[1].value; }, 1},
      {"normal", [](Scene* s) { return s->vertices[0].normal; }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Vec3 p = c.get(one->scene.get()), q = c.get(two->scene.get());
    ExpectVec(q, {p.x * c.factor, p.y * c.factor, p.z * c.factor}, 1e-5f);
  }
  EXPECT_EQ(two->scene->cameras[0].positionNode.fov.keys[1].value, 60.0f);
}

// ---- crafted files ----

using W = ChunkWriter*;
using Build = std::function<void(W)>;

void Chunk(W w, uint16_t id, const Build& body = nullptr) {
  ChunkBegin(w, id);
  if (body) body(w);
  ChunkEnd(w);
}
void U16s(W w, std::initializer_list<uint16_t> v) {
  for (uint16_t x : v) ChunkU16(w, x);
}
void Floats(W w, int count, float value = 1.0f) {
  while (count--) ChunkFloat(w, value);
}
void Header(W w, uint16_t id, uint32_t length) { ChunkU16(w, id), ChunkU32(w, length); }

std::vector<uint8_t> File(const Build& editor, const Build& keyframer = nullptr) {
  ChunkWriter w;
  Chunk(&w, kChunkMain, [&](W w) {
    Chunk(w, kChunkEditor, editor);
    if (keyframer) Chunk(w, kChunkKeyframer, keyframer);
  });
  return w.bytes;
}

void Named(W w, uint16_t id, const char* name, const Build& body) {
  Chunk(w, kChunkObject, [&](W w) {
    ChunkString(w, name);
    Chunk(w, id, body);
  });
}

void Vertices(W w, uint16_t count, int written, float value = 1.0f) {
  Chunk(w, kChunkVertices, [&](W w) { ChunkU16(w, count), Floats(w, written * 3, value); });
}

void Faces(W w, uint16_t count, uint16_t c, const Build& inside = nullptr) {
  Chunk(w, kChunkFaces, [&](W w) {
    U16s(w, {count, 0, 1, c, 7});
    if (inside) inside(w);
  });
}

Build Triangle(const char* name, uint16_t corner = 2) {
  return [=](W w) {
    Named(w, kChunkMesh, name, [&](W w) { Vertices(w, 3, 3), Faces(w, 1, corner); });
  };
}

void NodeHeader(W w, const char* name, int16_t parent = -1) {
  Chunk(w, kChunkNodeHeader, [&](W w) { ChunkString(w, name), U16s(w, {0, 0, uint16_t(parent)}); });
}

Build MeshNode(const char* name, int16_t number, int16_t parent, const Build& inside = nullptr,
               uint16_t kind = kChunkMeshNode) {
  return [=](W w) {
    Chunk(w, kind, [&](W w) {
      Chunk(w, kChunkNodeNumber, [&](W w) { ChunkU16(w, uint16_t(number)); });
      NodeHeader(w, name, parent);
      if (inside) inside(w);
    });
  };
}

// A position track announcing count keys of which the caller writes the bytes.
Build Track(uint16_t count, uint16_t splineFlags) {
  return [=](W w) {
    Chunk(w, kChunkPositionTrack, [&](W w) {
      U16s(w, {0, 0, 0, 0, 0, count, 0, 0, 0, splineFlags});
      Floats(w, 3);
    });
  };
}

// Chunks nobody reads are stepped over whole, whatever they hold; a camera's
// own sub-chunks are met as its siblings; a node note goes to the log.
TEST(Engine3ds, UnknownChunksAreSkippedAndOddPlacesKept) {
  ChunkWriter w;
  Chunk(&w, kChunkMain, [](W w) {
    Chunk(w, 0x1234, Triangle("Hidden"));
    Chunk(w, kChunkEditor, [](W w) {
      Chunk(w, 0x0100, [](W w) { Floats(w, 1, 7); });
      Named(w, kChunkMesh, "Tri", [](W w) {
        Vertices(w, 3, 3, 0.0f);
        Chunk(w, 0x4170, [](W w) { ChunkU16(w, 0xFFFF); });
        Faces(w, 1, 2, [](W w) { Chunk(w, 0x4150, [](W w) { ChunkU32(w, 1); }); });
      });
      Named(w, kChunkCamera, "Eye", [](W w) {
        Floats(w, 8);
        Chunk(w, kChunkColour, [](W w) { ChunkVec3(w, {0.125f, 0.25f, 0.5f}); });
      });
      Named(w, kChunkLight, "Bulb", [](W w) {
        Floats(w, 3);
        Chunk(w, 0x4610, [](W w) { Floats(w, 3); });
      });
    });
    Chunk(w, kChunkKeyframer, [](W w) {
      Chunk(w, 0xB00A, [](W w) { ChunkU16(w, 5); });
      MeshNode("Tri", 0, -1, [](W w) {
        Chunk(w, kChunkNodeNote, [](W w) { ChunkVec3(w, {1, 2, 3}); });
        Chunk(w, 0xB0FF);
      })(w);
    });
  });
  Chunk(&w, 0x2000);  // after the main chunk

  auto loaded = Parse(w.bytes);
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  Scene* s = loaded->scene.get();
  EXPECT_EQ(s->meshCount, 1);
  EXPECT_STREQ(s->meshes[0].name, "Tri");
  EXPECT_EQ(s->faces[0].flags, 7);
  EXPECT_EQ(s->meshes[0].node.id, 1);
  ExpectVec(s->lights[0].colour, {0.125f, 0.25f, 0.5f});
  EXPECT_EQ(loaded->result.log, "1.000000 2.000000 3.000000\n");
}

TEST(Engine3ds, BadFilesAreRefusedWithWhatIsWrong) {
  const std::string damaged = "RURI: test.3ds is damaged: ";
  ChunkWriter deep;
  for (int i = 0; i < 80; i++) ChunkBegin(&deep, kChunkMain);
  while (!deep.open.empty()) ChunkEnd(&deep);
  Build tri = Triangle("Tri");
  Build material = [](W w) {
    Chunk(w, kChunkMaterial,
          [](W w) { Chunk(w, kChunkMaterialName, [](W w) { ChunkString(w, "red"); }); });
  };
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int status;
    std::string message;  // expected within the message
  } cases[] = {
      {"not a main chunk",
       {0x34, 0x12, 6, 0, 0, 0},
       LOAD3DS_FOREIGN,
       "RURI: test.3ds is not a .3ds file!\n"},
      {"chunk of length zero", File([](W w) { Header(w, 0x1234, 0); }), LOAD3DS_MALFORMED,
       damaged + "chunk shorter than its header (chunk 0x1234 at byte 12)\n"},
      {"child longer than its parent",
       File([](W w) { Header(w, 0x1234, 12); },
            [](W w) { Chunk(w, kChunkSegment, [](W w) { Floats(w, 2); }); }),
       LOAD3DS_MALFORMED, "chunk runs past the end of the chunk holding it"},
      {"header cut by its parent's end", File([](W w) { ChunkU16(w, 0x4000); }), LOAD3DS_MALFORMED,
       "chunk header cut short (at byte 12)"},
      {"nested without end", deep.bytes, LOAD3DS_MALFORMED, "chunks nested too deeply"},
      {"more vertices than the list holds",
       File([](W w) { Named(w, kChunkMesh, "T", [](W w) { Vertices(w, 5, 3); }); }),
       LOAD3DS_MALFORMED, "vertex count larger than its list"},
      {"face beyond its mesh's vertices", File([](W w) { Triangle("A")(w), Triangle("B", 3)(w); }),
       LOAD3DS_MALFORMED, "face refers to a vertex outside its mesh"},
      {"group face beyond its mesh", File([&](W w) {
         material(w);
         Named(w, kChunkMesh, "T", [](W w) {
           Vertices(w, 3, 3);
           Faces(w, 1, 2, [](W w) {
             Chunk(w, kChunkMaterialGroup, [](W w) { ChunkString(w, "red"), U16s(w, {1, 1}); });
           });
         });
       }),
       LOAD3DS_MALFORMED, "material group names a face outside its mesh"},
      {"mapping short of the vertices", File([](W w) {
         Named(w, kChunkMesh, "T", [](W w) {
           Vertices(w, 3, 3);
           Chunk(w, kChunkMapping, [](W w) { ChunkU16(w, 3), Floats(w, 4); });
         });
       }),
       LOAD3DS_MALFORMED, "mapping list shorter than its mesh"},
      {"vertex list outside a mesh", File([](W w) {
         Chunk(w, kChunkObject, [](W w) { ChunkString(w, "L"), Vertices(w, 3, 3); });
       }),
       LOAD3DS_MALFORMED, "mesh data outside a mesh"},
      {"vertex that is not a number",
       File([](W w) { Named(w, kChunkMesh, "T", [](W w) { Vertices(w, 1, 1, std::nanf("")); }); }),
       LOAD3DS_MALFORMED, "number that is not finite"},
      {"mesh among a camera's sub-chunks", File([](W w) {
         Named(w, kChunkCamera, "Eye", [](W w) { Floats(w, 8), Chunk(w, kChunkMesh); });
       }),
       LOAD3DS_MALFORMED, "object in a place that was not counted (chunk 0x4100"},
      {"more materials than a scene holds", File([&](W w) {
         for (int i = 0; i < kSceneMaterialCapacity; i++) material(w);
       }),
       LOAD3DS_MALFORMED, "defines more materials than the 256 a scene's table holds"},
      {"node naming no object", File(tri, MeshNode("Ghost", 0, -1)), LOAD3DS_UNKNOWN_OBJECT,
       "Ghost\nnoe bugga\n"},
      {"camera node naming a mesh", File(tri, MeshNode("Tri", 0, -1, nullptr, kChunkCameraNode)),
       LOAD3DS_UNKNOWN_OBJECT, "Tri\nnoe bugga\n"},
      {"node header outside an object node", File(tri, [](W w) { NodeHeader(w, "Tri"); }),
       LOAD3DS_MALFORMED, "node header outside an object node"},
      {"dummy without an instance name", File(nullptr, MeshNode(kDummyNodeName, 0, -1)),
       LOAD3DS_MALFORMED, "dummy node without an instance name"},
      {"track in a node without a header",
       File(tri, [](W w) { MeshNode("Tri", 0, -1)(w), Chunk(w, kChunkMeshNode, Track(1, 0)); }),
       LOAD3DS_MALFORMED, "key track outside a node (chunk 0xB020"},
      {"more keys than the track holds", File(tri, MeshNode("Tri", 0, -1, Track(60000, 0))),
       LOAD3DS_MALFORMED, "key count larger than its track"},
      {"key whose spline parameters are missing", File(tri, MeshNode("Tri", 0, -1, Track(1, 0x1F))),
       LOAD3DS_MALFORMED, "chunk data cut short (chunk 0xB020"},
      {"parent the file does not have", File(tri, MeshNode("Tri", 0, 7)), LOAD3DS_MALFORMED,
       damaged + "key-frame node \"Tri\" hangs from a node the file does not have\n"},
      {"two nodes each other's parent",
       File([](W w) { Triangle("A")(w), Triangle("B")(w); },
            [](W w) { MeshNode("A", 0, 1)(w), MeshNode("B", 1, 0)(w); }),
       LOAD3DS_MALFORMED, "key-frame node \"A\" is its own ancestor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto out = Parse(c.bytes);
    EXPECT_EQ(out->ok, 0);
    EXPECT_EQ(out->result.status, c.status);
    EXPECT_NE(out->result.message.find(c.message), std::string::npos) << out->result.message;
  }
}

// Every cut of a good file is refused; every single byte changed either
// loads or is refused, without reading past the data (the sanitizer build
// watches that).
TEST(Engine3ds, CutAndCorruptedFilesStayInsideTheirData) {
  std::vector<uint8_t> good = Encode(TwoMeshScene());
  for (size_t length = 0; length < good.size(); length++) {
    auto out = Parse(std::vector<uint8_t>(good.begin(), good.begin() + length));
    ASSERT_EQ(out->ok, 0) << length;
    ASSERT_EQ(out->result.status, length < 6 ? LOAD3DS_FOREIGN : LOAD3DS_MALFORMED) << length;
  }
  int refused = 0;
  for (size_t at = 0; at < good.size(); at++) {
    for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> bad = good;
      bad[at] = value;
      auto out = Parse(bad);
      if (out->ok) continue;
      refused++;
      ASSERT_EQ(out->result.message.back(), '\n') << at;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(Engine3ds, WriterRefusesWhatTheFileCannotHold) {
  const struct {
    const char* message;
    void (*spoil)(SceneFile*);
  } cases[] = {
      {"does not fit", [](SceneFile* f) { f->meshes[0].name = std::string(32, 'x'); }},
      {"face refers to a missing vertex", [](SceneFile* f) { f->meshes[0].faces[0].c = 4; }},
      {"mapping is not one (u, v) per vertex",
       [](SceneFile* f) { f->meshes[0].mapping.pop_back(); }},
      {"material group names a missing face",
       [](SceneFile* f) { f->meshes[0].groups[0].faces = {2}; }},
      {"more than 65535", [](SceneFile* f) { f->meshes[1].vertices.resize(70000, Vec3{}); }},
      {"frame beyond 16 bits", [](SceneFile* f) { f->nodes[1].position.keys[1].frame = 40000; }},
      {"dummy without a fitting instance name",
       [](SceneFile* f) { f->nodes[3].instanceName.clear(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    SceneFile f = TwoMeshScene();
    c.spoil(&f);
    std::vector<uint8_t> bytes;
    std::string message;
    EXPECT_EQ(SceneFileEncode(f, &bytes, &message), 0);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_TRUE(bytes.empty());
  }
}

std::string WriteTemp(const char* name, const std::vector<uint8_t>& bytes) {
  std::string path = ::testing::TempDir() + "/" + std::to_string(getpid()) + "_" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file) std::fwrite(bytes.data(), 1, bytes.size(), file), std::fclose(file);
  return path;
}

// The front end returns for a good file; for a bad one it ends the process
// with status 1, its message on standard output.
TEST(Engine3ds, FrontEndEndsTheShowOnBadFiles) {
  std::vector<uint8_t> bytes = Encode(TwoMeshScene());
  std::string good = WriteTemp("good.3ds", bytes);
  {
    Loaded loaded;
    EXPECT_EQ(Load3ds(loaded.scene.get(), good.c_str(), 1.0f), 1);
    EXPECT_EQ(loaded.scene->meshCount, 2);
  }
  bytes.pop_back();
  const std::string paths[] = {WriteTemp("cut.3ds", bytes),
                               WriteTemp("text.3ds", {'a', 'b', 'c', 'd', 'e', 'f', 'g'}),
                               good + ".missing"};
  const char* patterns[] = {
      "RURI: .*cut.3ds is damaged: file ends inside the chunk \\(chunk 0x4D4D at byte 0\\)",
      "RURI: .*text.3ds is not a .3ds file!", "RURI: .*good.3ds.missing not found!"};
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int i = 0; i < 3; i++) {
    EXPECT_EXIT(
        {
          std::fflush(stdout);
          dup2(STDERR_FILENO, STDOUT_FILENO);
          Load3ds(new Scene, paths[i].c_str(), 1.0f);
        },
        ::testing::ExitedWithCode(1), patterns[i]);
    std::remove(paths[i].c_str());
  }
  std::remove(good.c_str());
}

// The fuzz seeds are scenes of this writer. With KV_WRITE_SEEDS set they are
// written first; either way every committed seed must load.
TEST(Engine3ds, EveryCommittedSeedLoads) {
  const std::string directory = std::string(KV_SOURCE_DIR) + "/fuzz/seeds/3ds";
  if (std::getenv("KV_WRITE_SEEDS")) {
    mkdir(directory.c_str(), 0755);
    SceneFile full = TwoMeshScene(), mesh, camera;
    mesh.materials = {"stone"};
    mesh.meshes = {full.meshes[0]};
    mesh.nodes = {full.nodes[1]};
    camera.cameras = full.cameras;
    camera.lights = full.lights;
    camera.nodes = {full.nodes[4], full.nodes[5], full.nodes[6]};
    const std::pair<const char*, SceneFile> seeds[] = {
        {"full.3ds", full}, {"mesh.3ds", mesh}, {"camera.3ds", camera}};
    for (const auto& seed : seeds) {
      std::string message;
      ASSERT_EQ(SceneFileSave((directory + "/" + seed.first).c_str(), seed.second, &message), 1)
          << message;
    }
  }
  DIR* dir = opendir(directory.c_str());
  ASSERT_NE(dir, nullptr) << "no seeds in " << directory;
  int seeds = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    Loaded loaded;
    std::string path = directory + "/" + entry->d_name;
    EXPECT_EQ(Load3dsRead(loaded.scene.get(), path.c_str(), 1.0f, &loaded.result), 1)
        << entry->d_name << ": " << loaded.result.message;
    seeds++;
  }
  closedir(dir);
  EXPECT_GE(seeds, 3);
}

}  // namespace
