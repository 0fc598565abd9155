// Scene files: what the writer puts down the loader reads back, turned y-up,
// scaled, with materials, nodes and tracks where they belong.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/load_3ds.h"
#include "engine/scene.h"
#include "engine/write_3ds.h"

namespace {

// A loaded scene that gives its memory back.
struct Loaded {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  Load3dsResult result;
  int ok = 0;
  ~Loaded() { Load3dsRelease(scene.get()); }
};

std::unique_ptr<Loaded> Parse(const std::vector<uint8_t>& bytes, float scale = 1.0f) {
  auto loaded = std::make_unique<Loaded>();
  loaded->ok = Load3dsParse(loaded->scene.get(), bytes.data(), bytes.size(), "test.3ds", scale,
                            &loaded->result);
  return loaded;
}

std::vector<uint8_t> Encode(const SceneFile& file) {
  std::vector<uint8_t> bytes;
  std::string message;
  EXPECT_EQ(SceneFileEncode(file, &bytes, &message), 1) << message;
  return bytes;
}

KeySpline Tcb(float t, float c, float b, float to = 0, float from = 0) {
  KeySpline s = {};
  s.tension = t, s.continuity = c, s.bias = b, s.easeTo = to, s.easeFrom = from;
  return s;
}

// Two meshes (the arm hangs from the body), a dummy, a camera with its
// target, two lights (the second without a colour of its own), a repeated
// material name and a group naming no material.
SceneFile TwoMeshScene() {
  SceneFile f;
  f.materials = {"red", "blue", "red"};
  f.firstFrame = 0;
  f.lastFrame = 40;

  SceneFileMesh body;
  body.name = "Body";
  body.vertices = {{1, 2, 3}, {3, 2, 3}, {3, 4, 3}, {1, 4, 5}};
  body.faces = {{0, 1, 2, kFaceWrapU}, {0, 2, 3, 0}};
  body.mapping = {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.5f, 0.25f, 1.0f};
  body.groups = {{"blue", {1}}, {"red", {0}}};
  body.origin = {1, 2, 3};
  f.meshes.push_back(body);

  // Object frame turned a quarter about z and doubled, standing at (10, 0, 0):
  // object point q lies at (10 - 2 qy, 2 qx, 2 qz) in the file.
  SceneFileMesh arm;
  arm.name = "Arm";
  arm.axes[0] = {0, 2, 0};
  arm.axes[1] = {-2, 0, 0};
  arm.axes[2] = {0, 0, 2};
  arm.origin = {10, 0, 0};
  arm.vertices = {{10, 0, 0}, {10, 2, 0}, {8, 0, 4}};  // q = (0,0,0), (1,0,0), (0,1,2)
  arm.faces = {{0, 1, 2, 0}};
  arm.groups = {{"ghost", {0}}};
  f.meshes.push_back(arm);

  SceneFileLight lamp;
  lamp.name = "Lamp";
  lamp.position = {5, 6, 7};
  lamp.colour = {0.5f, 0.25f, 1.0f};
  SceneFileLight dim;
  dim.name = "Dim";
  dim.position = {-1, -2, -3};
  dim.hasColour = false;
  f.lights = {lamp, dim};

  SceneFileCamera cam;
  cam.name = "Cam";
  cam.position = {1, 2, 3};
  cam.target = {4, 5, 6};
  cam.roll = 10;
  cam.lens = 35;
  f.cameras = {cam};

  SceneFileNode ambient;
  ambient.kind = kChunkAmbientNode;
  ambient.name = kAmbientNodeName;
  ambient.number = -1;
  ambient.position.keys = {{0, {9, 9, 9}, {}}};

  SceneFileNode bodyNode;
  bodyNode.kind = kChunkMeshNode;
  bodyNode.name = "Body";
  bodyNode.number = 0;
  bodyNode.flags[0] = 0x4000;
  bodyNode.flags[1] = 3;
  bodyNode.position.flags = kTrackRepeat;
  bodyNode.position.keys = {{0, {1, 2, 3}, Tcb(0.5f, -0.25f, 0.75f)},
                            {10, {4, 5, 6}, Tcb(0, 0, 0, 0.5f, 0.25f)},
                            {20, {7, 8, 9}, {}}};
  bodyNode.rotation.keys = {{0, 0.0f, {0, 0, 1}, {}}, {20, 1.0f, {1, 2, 3}, Tcb(0.1f, 0, 0)}};
  bodyNode.scale.keys = {{0, {1, 1, 1}, {}}, {20, {2, 3, 4}, {}}};

  SceneFileNode armNode;
  armNode.kind = kChunkMeshNode;
  armNode.name = "Arm";
  armNode.number = 1;
  armNode.parent = 0;
  armNode.position.keys = {{0, {10, 20, 30}, {}}};

  SceneFileNode dummy;
  dummy.kind = kChunkMeshNode;
  dummy.name = kDummyNodeName;
  dummy.instanceName = "Pivot";
  dummy.number = 2;
  dummy.position.keys = {{5, {0, 0, 1}, {}}};

  SceneFileNode camNode;
  camNode.kind = kChunkCameraNode;
  camNode.name = "Cam";
  camNode.number = 3;
  camNode.position.keys = {{0, {1, 2, 3}, {}}};
  camNode.fov.keys = {{0, 60.0f, {}}, {40, 30.0f, Tcb(0, 0.5f, 0)}};
  camNode.roll.keys = {{0, 0.0f, {}}, {40, -15.0f, {}}};

  SceneFileNode targetNode;
  targetNode.kind = kChunkTargetNode;
  targetNode.name = "Cam";
  targetNode.number = 4;
  targetNode.position.keys = {{0, {4, 5, 6}, {}}};

  SceneFileNode lampNode;
  lampNode.kind = kChunkLightNode;
  lampNode.name = "Lamp";
  lampNode.number = 5;
  lampNode.colour.keys = {{0, {1, 0.5f, 0.25f}, {}}};

  f.nodes = {ambient, bodyNode, armNode, dummy, camNode, targetNode, lampNode};
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
  EXPECT_EQ(s->meshCount, 2);
  EXPECT_EQ(s->vertexCount, 7);
  EXPECT_EQ(s->faceCount, 3);
  EXPECT_EQ(s->lightCount, 2);
  EXPECT_EQ(s->cameraCount, 1);
  EXPECT_EQ(s->dummyCount, 1);
  EXPECT_EQ(s->firstFrame, 0);
  EXPECT_EQ(s->lastFrame, 40);
  ASSERT_EQ(s->materialCount, 4);
  EXPECT_STREQ(s->materials[3].name, "red");

  // Body: moved by its origin, then y and z swapped.
  Mesh* body = SceneFindMesh(s, "Body");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->firstVertex, 0);
  EXPECT_EQ(body->vertexCount, 4);
  EXPECT_EQ(body->hasMapping, 1);
  const Vec3 bodyWant[4] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 2, 2}};
  for (int i = 0; i < 4; i++) ExpectVec(s->vertices[i].position, bodyWant[i]);
  EXPECT_EQ(s->vertices[2].u, 256.0f);
  EXPECT_EQ(s->vertices[2].v, -128.0f);
  EXPECT_EQ(s->vertices[3].u, 64.0f);
  EXPECT_EQ(s->faces[0].flags, kFaceWrapU);
  EXPECT_EQ(s->faces[1].index[2], 3);
  EXPECT_EQ(s->faces[1].vertex[2], &s->vertices[3]);

  // Arm: into its own frame; its face indices follow the body's vertices.
  Mesh* arm = SceneFindMesh(s, "Arm");
  ASSERT_NE(arm, nullptr);
  EXPECT_EQ(arm->firstVertex, 4);
  EXPECT_EQ(arm->firstFace, 2);
  EXPECT_EQ(arm->hasMapping, 0);
  const Vec3 armWant[3] = {{0, 0, 0}, {1, 0, 0}, {0, 2, 1}};
  for (int i = 0; i < 3; i++) ExpectVec(s->vertices[4 + i].position, armWant[i], 1e-6f);
  EXPECT_EQ(s->faces[2].index[0], 4);
  EXPECT_EQ(s->faces[2].index[2], 6);

  // Groups: the later of two materials named alike; an unknown name leaves
  // the default.
  EXPECT_EQ(s->faces[0].material, &s->materials[3]);
  EXPECT_EQ(s->faces[1].material, &s->materials[2]);
  EXPECT_EQ(s->faces[2].material, &s->materials[0]);
  EXPECT_EQ(s->faces[2].fallbackMaterial, &s->materials[0]);

  // Lights and camera swap as they are read; a light without a colour takes
  // the last one read.
  EXPECT_STREQ(s->lights[0].name, "Lamp");
  ExpectVec(s->lights[0].position, {5, 7, 6});
  ExpectVec(s->lights[0].colour, {0.5f, 0.25f, 1.0f});
  ExpectVec(s->lights[1].colour, {0.5f, 0.25f, 1.0f});
  Camera* cam = &s->cameras[0];
  EXPECT_STREQ(cam->name, "Cam");
  ExpectVec(cam->position, {1, 3, 2});
  ExpectVec(cam->target, {4, 6, 5});
  EXPECT_EQ(cam->roll, 10.0f);
  EXPECT_EQ(cam->lens, 35.0f);
}

TEST(Engine3ds, NodesAndTracksLoadBackWithTheirSplines) {
  auto loaded = Parse(Encode(TwoMeshScene()));
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  Scene* s = loaded->scene.get();
  KeyNode* body = &SceneFindMesh(s, "Body")->node;
  KeyNode* arm = &SceneFindMesh(s, "Arm")->node;
  EXPECT_EQ(body->id, 1);
  EXPECT_EQ(body->parentId, -1);
  EXPECT_EQ(body->flags[0], 0x4000);
  EXPECT_EQ(body->flags[1], 3);
  EXPECT_EQ(arm->id, 2);
  EXPECT_EQ(arm->parentId, 1);
  EXPECT_EQ(s->root.hasPosition, 1);  // read, switched off when the hierarchy is built

  ASSERT_TRUE(body->hasPosition && body->hasRotation && body->hasScale);
  EXPECT_FALSE(body->hasFov || body->hasRoll || body->hasColour);
  const VectorTrack& pos = body->position;
  EXPECT_EQ(pos.flags, kTrackRepeat);
  ASSERT_EQ(pos.keyCount, 3);
  const VectorKey& k1 = pos.keys[1];
  EXPECT_EQ(k1.frame, 0);
  ExpectVec(k1.value, {1, 3, 2});
  EXPECT_EQ(k1.splineFlags, 0x7);
  EXPECT_EQ(k1.tension, 0.5f);
  EXPECT_EQ(k1.continuity, -0.25f);
  EXPECT_EQ(k1.bias, 0.75f);
  EXPECT_EQ(k1.easeTo, 0.0f);
  const VectorKey& k2 = pos.keys[2];
  EXPECT_EQ(k2.frame, 10);
  EXPECT_EQ(k2.splineFlags, 0x18);
  EXPECT_EQ(k2.easeTo, 0.5f);
  EXPECT_EQ(k2.easeFrom, 0.25f);
  EXPECT_EQ(k2.tension, 0.0f);
  ExpectVec(pos.keys[4].value, {7, 9, 8});  // padded after the last key
  ExpectVec(pos.keys[0].value, {1, 3, 2});

  ASSERT_EQ(body->rotation.keyCount, 2);
  const RotationKey& turn = body->rotation.keys[2];
  EXPECT_EQ(turn.frame, 20);
  EXPECT_EQ(turn.angle, 1.0f);
  ExpectVec(turn.axis, {1, 3, 2});
  EXPECT_EQ(turn.tension, 0.1f);
  ASSERT_EQ(body->scale.keyCount, 2);
  ExpectVec(body->scale.keys[2].value, {2, 4, 3});

  Dummy* dummy = &s->dummies[0];
  EXPECT_STREQ(dummy->name, "Pivot");
  EXPECT_EQ(dummy->node.owner, nullptr);
  EXPECT_EQ(dummy->node.id, 3);
  EXPECT_EQ(dummy->node.position.keys[1].frame, 5);

  Camera* cam = &s->cameras[0];
  ASSERT_TRUE(cam->positionNode.hasFov && cam->positionNode.hasRoll);
  EXPECT_EQ(cam->positionNode.fov.keys[2].value, 30.0f);
  EXPECT_EQ(cam->positionNode.fov.keys[2].continuity, 0.5f);
  EXPECT_EQ(cam->positionNode.roll.keys[2].value, -15.0f);
  EXPECT_EQ(cam->targetNode.id, 5);
  ExpectVec(cam->targetNode.position.keys[1].value, {4, 6, 5});
  ASSERT_TRUE(s->lights[0].positionNode.hasColour);
  ExpectVec(s->lights[0].positionNode.colour.keys[1].value, {1, 0.5f, 0.25f});  // not swapped

  // Posed: the arm's own offset is carried by the body's.
  ASSERT_EQ(SceneBuildHierarchy(s), 1);
  EXPECT_EQ(arm->parent, body);
  EXPECT_EQ(body->parent, &s->root);
  EXPECT_EQ(s->root.hasPosition, 0);
  SceneSetFrame(s, 0.0f);
  EXPECT_EQ(arm->matrix.m[12], 11.0f);
  EXPECT_EQ(arm->matrix.m[13], 33.0f);
  EXPECT_EQ(arm->matrix.m[14], 22.0f);
  SceneSetFrame(s, 10.0f);
  EXPECT_FLOAT_EQ(body->position.current.y, 6.0f);
}

TEST(Engine3ds, ScaleMultipliesPositionsOnly) {
  std::vector<uint8_t> bytes = Encode(TwoMeshScene());
  auto one = Parse(bytes, 1.0f);
  auto two = Parse(bytes, 2.0f);
  ASSERT_EQ(one->ok, 1);
  ASSERT_EQ(two->ok, 1);
  Scene *a = one->scene.get(), *b = two->scene.get();
  struct Case {
    const char* what;
    Vec3 (*get)(Scene*);
    float factor;
  };
  const Case cases[] = {
      {"vertex", [](Scene* s) { return s->vertices[3].position; }, 2},
      {"moved vertex", [](Scene* s) { return s->vertices[6].position; }, 2},
      {"camera", [](Scene* s) { return s->cameras[0].position; }, 2},
      {"camera target", [](Scene* s) { return s->cameras[0].target; }, 2},
      {"light", [](Scene* s) { return s->lights[0].position; }, 2},
      {"position key", [](Scene* s) { return s->meshes[0].node.position.keys[2].value; }, 2},
      {"scale key", [](Scene* s) { return s->meshes[0].node.scale.keys[2].value; }, 2},
      {"rotation axis", [](Scene* s) { return s->meshes[0].node.rotation.keys[2].axis; }, 1},
      {"colour key", [](Scene* s) { return s->lights[0].positionNode.colour.keys[1].value; }, 1},
      {"light colour", [](Scene* s) { return s->lights[0].colour; }, 1},
      {"normal", [](Scene* s) { return s->vertices[0].normal; }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Vec3 p = c.get(a), q = c.get(b);
    ExpectVec(q, {p.x * c.factor, p.y * c.factor, p.z * c.factor}, 1e-5f);
  }
  EXPECT_EQ(b->cameras[0].lens, 35.0f);
  EXPECT_EQ(b->cameras[0].positionNode.fov.keys[1].value, 60.0f);
}

// Chunks nobody reads are stepped over whole, whatever they hold; a camera's
// own sub-chunks are met as its siblings; a node note goes to the log.
TEST(Engine3ds, UnknownChunksAreSkippedAndOddPlacesKept) {
  ChunkWriter w;
  ChunkBegin(&w, kChunkMain);
  ChunkBegin(&w, 0x1234);  // unknown, holding a mesh that must not be seen
  ChunkBegin(&w, kChunkObject);
  ChunkString(&w, "Hidden");
  ChunkBegin(&w, kChunkMesh);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkEditor);
  ChunkBegin(&w, 0x0100);  // master scale
  ChunkFloat(&w, 7.0f);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkObject);
  ChunkString(&w, "Tri");
  ChunkBegin(&w, kChunkMesh);
  ChunkBegin(&w, kChunkVertices);
  ChunkU16(&w, 3);
  for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) ChunkFloat(&w, v);
  ChunkEnd(&w);
  ChunkBegin(&w, 0x4170);  // texture placement, with odd bytes
  ChunkU16(&w, 0xFFFF);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkFaces);
  ChunkU16(&w, 1);
  for (uint16_t v : {0, 1, 2, 7}) ChunkU16(&w, v);
  ChunkBegin(&w, 0x4150);  // smoothing groups
  ChunkU32(&w, 1);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkObject);
  ChunkString(&w, "Eye");
  ChunkBegin(&w, kChunkCamera);
  for (int i = 0; i < 8; i++) ChunkFloat(&w, 1.0f);
  ChunkBegin(&w, kChunkColour);  // inside the camera: still the last colour read
  ChunkVec3(&w, {0.125f, 0.25f, 0.5f});
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkObject);
  ChunkString(&w, "Bulb");
  ChunkBegin(&w, kChunkLight);
  ChunkVec3(&w, {0, 0, 0});
  ChunkBegin(&w, 0x4610);  // spotlight data
  ChunkVec3(&w, {1, 1, 1});
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);  // editor
  ChunkBegin(&w, kChunkKeyframer);
  ChunkBegin(&w, 0xB00A);
  ChunkU16(&w, 5);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkMeshNode);
  ChunkBegin(&w, kChunkNodeNumber);
  ChunkU16(&w, 0);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkNodeHeader);
  ChunkString(&w, "Tri");
  for (uint16_t v : {0, 0, 0xFFFF}) ChunkU16(&w, v);
  ChunkEnd(&w);
  ChunkBegin(&w, kChunkNodeNote);
  ChunkVec3(&w, {1, 2, 3});
  ChunkEnd(&w);
  ChunkBegin(&w, 0xB0FF);
  ChunkEnd(&w);
  ChunkEnd(&w);
  ChunkEnd(&w);  // key-framer
  ChunkEnd(&w);  // main
  ChunkBegin(&w, 0x2000);  // after the main chunk
  ChunkEnd(&w);

  auto loaded = Parse(w.bytes);
  ASSERT_EQ(loaded->ok, 1) << loaded->result.message;
  Scene* s = loaded->scene.get();
  EXPECT_EQ(s->meshCount, 1);
  EXPECT_STREQ(s->meshes[0].name, "Tri");
  EXPECT_EQ(s->faces[0].flags, 7);
  EXPECT_EQ(s->meshes[0].node.id, 1);
  EXPECT_EQ(s->lastFrame, 0);  // no segment chunk
  ExpectVec(s->lights[0].colour, {0.125f, 0.25f, 0.5f});
  EXPECT_EQ(loaded->result.log, "1.000000 2.000000 3.000000\n");
  // Without mapping, the normal (0, -1, 0) after the swap projects to (128, 0).
  EXPECT_EQ(s->vertices[0].u, 128.0f);
  EXPECT_EQ(s->vertices[0].v, 0.0f);
}

std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "/" + std::to_string(getpid()) + "_" + name;
}

// The front end returns for a good file and ends the process with status 1,
// its message on standard output, for a bad one.
TEST(Engine3ds, FrontEndEndsTheShowOnBadFiles) {
  std::string good = TempPath("good.3ds");
  std::string message;
  ASSERT_EQ(SceneFileSave(good.c_str(), TwoMeshScene(), &message), 1) << message;
  {
    Loaded loaded;
    EXPECT_EQ(Load3ds(loaded.scene.get(), good.c_str(), 1.0f), 1);
    EXPECT_EQ(loaded.scene->meshCount, 2);
  }

  std::string bad = TempPath("bad.3ds");
  std::vector<uint8_t> bytes = Encode(TwoMeshScene());
  bytes.resize(bytes.size() - 1);
  FILE* file = std::fopen(bad.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);

  std::string foreign = TempPath("foreign.3ds");
  file = std::fopen(foreign.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("plain text, not a scene", file);
  std::fclose(file);

  std::string missing = TempPath("missing.3ds");
  const struct {
    std::string path;
    std::string pattern;
  } cases[] = {
      {missing, "RURI: .*missing.3ds not found!"},
      {bad, "RURI: .*bad.3ds is damaged: file ends inside the chunk \\(chunk 0x4D4D at byte 0\\)"},
      {foreign, "RURI: .*foreign.3ds is not a .3ds file!"},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EXIT(
        {
          std::fflush(stdout);
          dup2(STDERR_FILENO, STDOUT_FILENO);
          Scene* scene = new Scene;
          Load3ds(scene, c.path.c_str(), 1.0f);
        },
        ::testing::ExitedWithCode(1), c.pattern);
  }
  std::remove(good.c_str());
  std::remove(bad.c_str());
  std::remove(foreign.c_str());
}

// The fuzz seeds are scenes of this writer. With KV_WRITE_SEEDS set they are
// written first; either way every committed seed must load.
TEST(Engine3ds, EveryCommittedSeedLoads) {
  const std::string directory = std::string(KV_SOURCE_DIR) + "/fuzz/seeds/3ds";
  if (std::getenv("KV_WRITE_SEEDS")) {
    mkdir(directory.c_str(), 0755);
    SceneFile full = TwoMeshScene();
    SceneFile mesh;
    mesh.materials = {"stone"};
    mesh.meshes = {full.meshes[0]};
    mesh.nodes = {full.nodes[1]};
    SceneFile camera;
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
    SCOPED_TRACE(entry->d_name);
    Loaded loaded;
    EXPECT_EQ(Load3dsRead(loaded.scene.get(), (directory + "/" + entry->d_name).c_str(), 1.0f,
                          &loaded.result),
              1)
        << loaded.result.message;
    seeds++;
  }
  closedir(dir);
  EXPECT_GE(seeds, 3);
}

}  // namespace
