// Scene files that cannot be right are refused with a message naming what is
// wrong, never read past their data; the writer refuses what it cannot write.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/load_3ds.h"
#include "engine/scene.h"
#include "engine/write_3ds.h"

namespace {

using Build = std::function<void(ChunkWriter*)>;

struct Outcome {
  int ok;
  Load3dsResult result;
};

Outcome Parse(const std::vector<uint8_t>& bytes) {
  auto scene = std::make_unique<Scene>();
  Outcome out;
  out.ok = Load3dsParse(scene.get(), bytes.data(), bytes.size(), "test.3ds", 1.0f, &out.result);
  Load3dsRelease(scene.get());
  return out;
}

void Begin(ChunkWriter* w, uint16_t id) { ChunkBegin(w, id); }
void End(ChunkWriter* w) { ChunkEnd(w); }

// A raw chunk header with any length.
void Header(ChunkWriter* w, uint16_t id, uint32_t length) {
  ChunkU16(w, id);
  ChunkU32(w, length);
}

std::vector<uint8_t> File(const Build& editor, const Build& keyframer = nullptr) {
  ChunkWriter w;
  Begin(&w, kChunkMain);
  Begin(&w, kChunkEditor);
  if (editor) editor(&w);
  End(&w);
  if (keyframer) {
    Begin(&w, kChunkKeyframer);
    keyframer(&w);
    End(&w);
  }
  End(&w);
  return w.bytes;
}

void Vertices(ChunkWriter* w, uint16_t count, int written, float value = 1.0f) {
  Begin(w, kChunkVertices);
  ChunkU16(w, count);
  for (int i = 0; i < written * 3; i++) ChunkFloat(w, value * i);
  End(w);
}

void Faces(ChunkWriter* w, uint16_t count, std::vector<uint16_t> corners, const Build& inside = nullptr) {
  Begin(w, kChunkFaces);
  ChunkU16(w, count);
  for (size_t i = 0; i < corners.size(); i += 3) {
    for (size_t k = 0; k < 3; k++) ChunkU16(w, corners[i + k]);
    ChunkU16(w, 0);
  }
  if (inside) inside(w);
  End(w);
}

// A named object holding one triangle mesh whose body the caller writes.
void Object(ChunkWriter* w, const char* name, const Build& mesh) {
  Begin(w, kChunkObject);
  ChunkString(w, name);
  Begin(w, kChunkMesh);
  mesh(w);
  End(w);
  End(w);
}

void Triangle(ChunkWriter* w, const char* name = "Tri") {
  Object(w, name, [](ChunkWriter* w) {
    Vertices(w, 3, 3);
    Faces(w, 1, {0, 1, 2});
  });
}

void NodeHeader(ChunkWriter* w, const char* name, int16_t parent = -1) {
  Begin(w, kChunkNodeHeader);
  ChunkString(w, name);
  ChunkU16(w, 0);
  ChunkU16(w, 0);
  ChunkU16(w, static_cast<uint16_t>(parent));
  End(w);
}

void Node(ChunkWriter* w, uint16_t kind, const char* name, int16_t number, int16_t parent,
          const Build& inside = nullptr) {
  Begin(w, kind);
  Begin(w, kChunkNodeNumber);
  ChunkU16(w, static_cast<uint16_t>(number));
  End(w);
  NodeHeader(w, name, parent);
  if (inside) inside(w);
  End(w);
}

// A position track chunk announcing count keys, of which the caller writes
// the bytes.
void Track(ChunkWriter* w, uint16_t count, const Build& keys) {
  Begin(w, kChunkPositionTrack);
  ChunkU16(w, 0);
  for (int i = 0; i < 4; i++) ChunkU16(w, 0);
  ChunkU32(w, count);
  keys(w);
  End(w);
}

void PlainKey(ChunkWriter* w) {
  ChunkU32(w, 0);
  ChunkU16(w, 0);
  ChunkVec3(w, {1, 2, 3});
}

const std::string kDamaged = "RURI: test.3ds is damaged: ";

TEST(Engine3dsMalformed, BadFilesAreRefusedWithWhatIsWrong) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int status;
    std::string message;  // expected within the message
  };
  std::vector<uint8_t> nested;
  {
    ChunkWriter w;
    Begin(&w, kChunkMain);
    for (int i = 0; i < 80; i++) Begin(&w, kChunkEditor);
    for (int i = 0; i <= 80; i++) End(&w);
    nested = w.bytes;
  }
  const Case cases[] = {
      {"not a main chunk", {0x34, 0x12, 6, 0, 0, 0}, LOAD3DS_FOREIGN,
       "RURI: test.3ds is not a .3ds file!\n"},
      {"shorter than a header", {0x4D, 0x4D, 6, 0}, LOAD3DS_FOREIGN, "is not a .3ds file!"},
      {"chunk of length zero", File([](ChunkWriter* w) { Header(w, 0x1234, 0); }),
       LOAD3DS_MALFORMED, kDamaged + "chunk shorter than its header (chunk 0x1234 at byte 12)\n"},
      {"child longer than its parent",
       File([](ChunkWriter* w) { Header(w, 0x1234, 12); },
            [](ChunkWriter* w) {
              Begin(w, kChunkSegment);
              ChunkU32(w, 0);
              ChunkU32(w, 10);
              End(w);
            }),
       LOAD3DS_MALFORMED, "chunk runs past the end of the chunk holding it"},
      {"header cut by its parent's end", File([](ChunkWriter* w) { ChunkU16(w, 0x4000); }),
       LOAD3DS_MALFORMED, "chunk header cut short (at byte 12)"},
      {"nested without end", nested, LOAD3DS_MALFORMED, "chunks nested too deeply"},
      {"name without its zero",
       File([](ChunkWriter* w) {
         Begin(w, kChunkObject);
         ChunkU32(w, 0x41414141);
         End(w);
       }),
       LOAD3DS_MALFORMED, "chunk data cut short (chunk 0x4000"},
      {"more vertices than the list holds",
       File([](ChunkWriter* w) { Object(w, "Tri", [](ChunkWriter* w) { Vertices(w, 5, 3); }); }),
       LOAD3DS_MALFORMED, "vertex count larger than its list"},
      {"more faces than the list holds",
       File([](ChunkWriter* w) {
         Object(w, "Tri", [](ChunkWriter* w) {
           Vertices(w, 3, 3);
           Faces(w, 2, {0, 1, 2});
         });
       }),
       LOAD3DS_MALFORMED, "face count larger than its list"},
      {"face beyond its mesh's vertices",
       File([](ChunkWriter* w) {
         Triangle(w, "First");
         Object(w, "Tri", [](ChunkWriter* w) {
           Vertices(w, 3, 3);
           Faces(w, 1, {0, 1, 3});
         });
       }),
       LOAD3DS_MALFORMED, "face refers to a vertex outside its mesh"},
      {"faces before their vertices",
       File([](ChunkWriter* w) {
         Object(w, "Tri", [](ChunkWriter* w) {
           Faces(w, 1, {0, 1, 2});
           Vertices(w, 3, 3);
         });
       }),
       LOAD3DS_MALFORMED, "face refers to a vertex outside its mesh"},
      {"group face beyond its mesh",
       File([](ChunkWriter* w) {
         Begin(w, kChunkMaterial);
         Begin(w, kChunkMaterialName);
         ChunkString(w, "red");
         End(w);
         End(w);
         Object(w, "Tri", [](ChunkWriter* w) {
           Vertices(w, 3, 3);
           Faces(w, 1, {0, 1, 2}, [](ChunkWriter* w) {
             Begin(w, kChunkMaterialGroup);
             ChunkString(w, "red");
             ChunkU16(w, 1);
             ChunkU16(w, 1);
             End(w);
           });
         });
       }),
       LOAD3DS_MALFORMED, "material group names a face outside its mesh"},
      {"mapping short of the vertices",
       File([](ChunkWriter* w) {
         Object(w, "Tri", [](ChunkWriter* w) {
           Vertices(w, 3, 3);
           Begin(w, kChunkMapping);
           ChunkU16(w, 3);
           for (int i = 0; i < 4; i++) ChunkFloat(w, 0.5f);
           End(w);
         });
       }),
       LOAD3DS_MALFORMED, "mapping list shorter than its mesh"},
      {"vertex list outside a mesh",
       File([](ChunkWriter* w) {
         Begin(w, kChunkObject);
         ChunkString(w, "Loose");
         Vertices(w, 3, 3);
         End(w);
       }),
       LOAD3DS_MALFORMED, "mesh data outside a mesh"},
      {"vertex that is not a number",
       File([](ChunkWriter* w) {
         Object(w, "Tri", [](ChunkWriter* w) { Vertices(w, 1, 1, std::nanf("")); });
       }),
       LOAD3DS_MALFORMED, "number that is not finite"},
      {"camera cut short",
       File([](ChunkWriter* w) {
         Begin(w, kChunkObject);
         ChunkString(w, "Eye");
         Begin(w, kChunkCamera);
         for (int i = 0; i < 7; i++) ChunkFloat(w, 1.0f);
         End(w);
         End(w);
       }),
       LOAD3DS_MALFORMED, "chunk data cut short (chunk 0x4700"},
      {"mesh among a camera's sub-chunks",
       File([](ChunkWriter* w) {
         Begin(w, kChunkObject);
         ChunkString(w, "Eye");
         Begin(w, kChunkCamera);
         for (int i = 0; i < 8; i++) ChunkFloat(w, 1.0f);
         Begin(w, kChunkMesh);
         End(w);
         End(w);
         End(w);
       }),
       LOAD3DS_MALFORMED, "object in a place that was not counted (chunk 0x4100"},
      {"mesh inside a material",
       File([](ChunkWriter* w) {
         Begin(w, kChunkMaterial);
         Triangle(w);
         End(w);
       }),
       LOAD3DS_MALFORMED, "object in a place that was not counted"},
      {"light inside a light",
       File([](ChunkWriter* w) {
         Begin(w, kChunkObject);
         ChunkString(w, "Lamp");
         Begin(w, kChunkLight);
         ChunkVec3(w, {0, 0, 0});
         Begin(w, kChunkLight);
         ChunkVec3(w, {0, 0, 0});
         End(w);
         End(w);
         End(w);
       }),
       LOAD3DS_MALFORMED, "object in a place that was not counted"},
      {"more materials than a scene holds",
       File([](ChunkWriter* w) {
         for (int i = 0; i < kSceneMaterialCapacity; i++) {
           Begin(w, kChunkMaterial);
           Begin(w, kChunkMaterialName);
           ChunkString(w, "m" + std::to_string(i));
           End(w);
           End(w);
         }
       }),
       LOAD3DS_MALFORMED, "more materials than a scene holds"},
      {"node naming no object",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) { Node(w, kChunkMeshNode, "Ghost", 0, -1); }),
       LOAD3DS_UNKNOWN_OBJECT, "Ghost\nnoe bugga\n"},
      {"camera node naming a mesh",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) { Node(w, kChunkCameraNode, "Tri", 0, -1); }),
       LOAD3DS_UNKNOWN_OBJECT, "Tri\nnoe bugga\n"},
      {"node header outside an object node",
       File([](ChunkWriter* w) { Triangle(w); }, [](ChunkWriter* w) { NodeHeader(w, "Tri"); }),
       LOAD3DS_MALFORMED, "node header outside an object node"},
      {"dummy without an instance name",
       File(nullptr, [](ChunkWriter* w) { Node(w, kChunkMeshNode, kDummyNodeName, 0, -1); }),
       LOAD3DS_MALFORMED, "dummy node without an instance name"},
      {"track outside any node",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) { Track(w, 1, PlainKey); }),
       LOAD3DS_MALFORMED, "key track outside a node (chunk 0xB020"},
      {"track in a node without a header",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) {
              Node(w, kChunkMeshNode, "Tri", 0, -1);
              Begin(w, kChunkMeshNode);
              Track(w, 1, PlainKey);
              End(w);
            }),
       LOAD3DS_MALFORMED, "key track outside a node"},
      {"more keys than the track holds",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) {
              Node(w, kChunkMeshNode, "Tri", 0, -1,
                   [](ChunkWriter* w) { Track(w, 60000, PlainKey); });
            }),
       LOAD3DS_MALFORMED, "key count larger than its track"},
      {"key whose spline parameters are missing",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) {
              Node(w, kChunkMeshNode, "Tri", 0, -1, [](ChunkWriter* w) {
                Track(w, 1, [](ChunkWriter* w) {
                  ChunkU32(w, 0);
                  ChunkU16(w, 0x1F);
                  ChunkVec3(w, {1, 2, 3});
                });
              });
            }),
       LOAD3DS_MALFORMED, "chunk data cut short (chunk 0xB020"},
      {"parent the file does not have",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) { Node(w, kChunkMeshNode, "Tri", 0, 7); }),
       LOAD3DS_MALFORMED, kDamaged + "key-frame node \"Tri\" hangs from a node the file does not have\n"},
      {"node its own parent",
       File([](ChunkWriter* w) { Triangle(w); },
            [](ChunkWriter* w) { Node(w, kChunkMeshNode, "Tri", 3, 3); }),
       LOAD3DS_MALFORMED, "key-frame node \"Tri\" is its own ancestor"},
      {"two nodes each other's parent",
       File(
           [](ChunkWriter* w) {
             Triangle(w, "A");
             Triangle(w, "B");
             Triangle(w, "C");
           },
           [](ChunkWriter* w) {
             Node(w, kChunkMeshNode, "C", 2, -1);
             Node(w, kChunkMeshNode, "A", 0, 1);
             Node(w, kChunkMeshNode, "B", 1, 0);
           }),
       LOAD3DS_MALFORMED, "is its own ancestor"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome out = Parse(c.bytes);
    EXPECT_EQ(out.ok, 0);
    EXPECT_EQ(out.result.status, c.status);
    EXPECT_NE(out.result.message.find(c.message), std::string::npos) << out.result.message;
  }
}

// A scene exercising every chunk the loader reads.
SceneFile RichScene() {
  SceneFile f;
  f.materials = {"a", "b"};
  SceneFileMesh mesh;
  mesh.name = "M";
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  mesh.faces = {{0, 1, 2, 0}, {0, 2, 3, kFaceWrapV}};
  mesh.mapping = {0, 0, 1, 0, 0, 1, 1, 1};
  mesh.groups = {{"b", {1, 0}}};
  f.meshes = {mesh};
  f.lights = {{"L", {1, 2, 3}, true, {1, 1, 1}}};
  f.cameras = {{"C", {0, -5, 0}, {0, 0, 0}, 0, 50}};
  SceneFileNode m = {};
  m.kind = kChunkMeshNode;
  m.name = "M";
  m.number = 0;
  m.parent = -1;
  KeySpline tcb = {};
  tcb.tension = 0.5f;
  m.position.keys = {{0, {0, 0, 0}, tcb}, {10, {1, 1, 1}, {}}};
  m.rotation.keys = {{0, 0.5f, {0, 0, 1}, {}}};
  SceneFileNode d = m;
  d.name = kDummyNodeName;
  d.instanceName = "D";
  d.number = 1;
  d.parent = 0;
  SceneFileNode c = {};
  c.kind = kChunkCameraNode;
  c.name = "C";
  c.number = 2;
  c.parent = -1;
  c.fov.keys = {{0, 45, {}}};
  c.roll.keys = {{0, 5, {}}};
  SceneFileNode l = {};
  l.kind = kChunkLightNode;
  l.name = "L";
  l.number = 3;
  l.parent = 1;
  l.colour.keys = {{0, {1, 0, 0}, {}}};
  f.nodes = {m, d, c, l};
  return f;
}

// Every cut of a good file is refused; every single byte changed either
// loads or is refused, without reading past the data (the sanitizer build
// watches that).
TEST(Engine3dsMalformed, CutAndCorruptedFilesStayInsideTheirData) {
  std::vector<uint8_t> good;
  std::string message;
  ASSERT_EQ(SceneFileEncode(RichScene(), &good, &message), 1) << message;
  ASSERT_EQ(Parse(good).ok, 1);
  for (size_t length = 0; length < good.size(); length++) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + length);
    Outcome out = Parse(cut);
    ASSERT_EQ(out.ok, 0) << length;
    ASSERT_EQ(out.result.status, length < 6 ? LOAD3DS_FOREIGN : LOAD3DS_MALFORMED) << length;
  }
  int refused = 0;
  for (size_t at = 0; at < good.size(); at++) {
    for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> bad = good;
      bad[at] = value;
      Outcome out = Parse(bad);
      if (out.ok) continue;
      refused++;
      ASSERT_NE(out.result.status, LOAD3DS_OK) << at;
      ASSERT_EQ(out.result.message.back(), '\n') << at;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(Engine3dsMalformed, WriterRefusesWhatTheFileCannotHold) {
  struct Case {
    const char* name;
    std::function<void(SceneFile*)> spoil;
    const char* message;
  };
  const Case cases[] = {
      {"long mesh name", [](SceneFile* f) { f->meshes[0].name = std::string(32, 'x'); },
       "does not fit"},
      {"empty material name", [](SceneFile* f) { f->materials.push_back(""); }, "does not fit"},
      {"face past the vertices", [](SceneFile* f) { f->meshes[0].faces[0].c = 4; },
       "face refers to a missing vertex"},
      {"odd mapping", [](SceneFile* f) { f->meshes[0].mapping.pop_back(); },
       "mapping is not one (u, v) per vertex"},
      {"group past the faces", [](SceneFile* f) { f->meshes[0].groups[0].faces.push_back(2); },
       "material group names a missing face"},
      {"too many vertices",
       [](SceneFile* f) { f->meshes[0].vertices.resize(70000, Vec3{0, 0, 0}); },
       "more than 65535"},
      {"frame beyond 16 bits", [](SceneFile* f) { f->nodes[0].position.keys[1].frame = 40000; },
       "frame beyond 16 bits"},
      {"dummy without instance name", [](SceneFile* f) { f->nodes[1].instanceName.clear(); },
       "dummy without a fitting instance name"},
      {"node kind", [](SceneFile* f) { f->nodes[0].kind = kChunkMesh; },
       "not an object node"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SceneFile f = RichScene();
    c.spoil(&f);
    std::vector<uint8_t> bytes;
    std::string message;
    EXPECT_EQ(SceneFileEncode(f, &bytes, &message), 0);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    EXPECT_TRUE(bytes.empty());
  }
}

}  // namespace
