#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine_owned_scene.h"
#include "engine/motion.h"
#include "engine/scene.h"
#include "engine/write_are.h"

namespace {

OwnedScene NewScene(std::vector<const char*> meshes) {
  auto scene = MakeOwnedScene();
  EXPECT_EQ(SceneCreate(scene.get(), 0, 0, 4, 0, 0, 0), 1);
  for (const char* name : meshes) SceneAddMesh(scene.get(), name);
  return scene;
}

// A frame whose translation is (t, 2t, -t) and whose X axis is scaled by s.
Mat4 Frame(float t, float s = 1.0f) {
  Mat4 m;
  MatIdentity(&m);
  m.m[0] = s;
  m.m[12] = t, m.m[13] = 2 * t, m.m[14] = -t;
  return m;
}

std::vector<uint8_t> Encode(const std::vector<MotionTrack>& parts) {
  std::vector<uint8_t> image;
  EXPECT_EQ(EncodeMotion(parts, &image), 1);
  return image;
}

int Parse(const std::vector<uint8_t>& image, MotionResult* result = nullptr) {
  MotionResult local;
  if (!result) result = &local;
  MotionParse(image.data(), image.size(), "test.are", result);
  return result->status;
}

void PutWord(std::vector<uint8_t>* image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) (*image)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string WriteTemp(const char* name, const std::string& bytes) {
  std::string path = ::testing::TempDir() + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

TEST(EngineMotion, StoredFramesTurnZUpIntoYUp) {
  // One frame of the floats 1..12 in file order: X axis, Y axis, Z axis,
  // origin, each (x, y, z) with z up.
  std::vector<uint8_t> image = Encode({{"Chest", {Frame(0)}}});
  for (int k = 0; k < 12; k++) {
    float value = static_cast<float>(k + 1);
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutWord(&image, image.size() - 48 + 4 * k, bits);
  }
  ASSERT_EQ(Parse(image), MOTION_OK);
  // y-up rows: X axis, the file's Z axis, the file's Y axis, origin, each
  // with y and z exchanged; the fourth column that of the identity.
  const float expected[16] = {1, 3, 2, 0, 7, 9, 8, 0, 4, 6, 5, 0, 10, 12, 11, 1};
  for (int e = 0; e < 16; e++) EXPECT_EQ(MotionParts[0].frames[0].m[e], expected[e]) << e;
}

TEST(EngineMotion, WrittenFileReadsBackAndMissingOrForeignFilesKeepIt) {
  std::vector<MotionTrack> parts = {{std::string(63, 'N'), {}}, {"Hip", {}}, {"Empty", {}}};
  for (int f = 0; f < kMotionMaxFrames; f++) {
    Mat4 m;
    for (int e = 0; e < 16; e++) m.m[e] = e % 4 == 3 ? (e == 15) : static_cast<float>(f * 16 + e);
    parts[0].frames.push_back(m);
  }
  parts[1].frames = {Frame(1), Frame(2, 3)};
  std::string path = ::testing::TempDir() + "round_trip.are";
  ASSERT_EQ(WriteMotionFile(path.c_str(), parts), 1);
  EXPECT_EQ(LoadMotion(path.c_str()), MOTION_OK);
  EXPECT_EQ(LoadMotion((::testing::TempDir() + "missing.are").c_str()), MOTION_MISSING);
  std::string foreign = WriteTemp("foreign.are", std::string(80, 'x'));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(LoadMotion(foreign.c_str()), MOTION_HEADER_MISMATCH);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "header mismatch\n");

  ASSERT_EQ(MotionPartCount, 3);
  for (int p = 0; p < 3; p++) {
    EXPECT_EQ(MotionParts[p].name, parts[p].name);
    ASSERT_EQ(MotionParts[p].frameCount, static_cast<int>(parts[p].frames.size()));
    for (int f = 0; f < MotionParts[p].frameCount; f++)
      ASSERT_EQ(std::memcmp(&MotionParts[p].frames[f], &parts[p].frames[f], sizeof(Mat4)), 0) << f;
  }
  // The writer makes only what the reader takes.
  std::vector<uint8_t> image;
  EXPECT_EQ(EncodeMotion({{std::string(64, 'x'), {}}}, &image), 0);
  EXPECT_EQ(EncodeMotion({{"a", std::vector<Mat4>(kMotionMaxFrames + 1)}}, &image), 0);
  EXPECT_EQ(EncodeMotion(std::vector<MotionTrack>(kMotionMaxParts + 1), &image), 0);
}

TEST(EngineMotion, DamagedFilesAreRefusedAndKeepThePreviousMotion) {
  const std::vector<uint8_t> valid =
      Encode({{"Hand_R", {Frame(1), Frame(2)}}, {"Chest", {Frame(3)}}});
  const int64_t values0 = kMotionMagicSize + 4 + 7;  // after "Hand_R\0"
  const int64_t part1 = values0 + 4 + 2 * 48;
  struct Case {
    const char* what;
    int64_t length;  // cut to this many bytes; -1 keeps the file whole
    int64_t at;      // where to patch a word; 0 for none
    uint32_t word;
    int flip;  // a byte of the header to change; -1 for none
    int status;
  } cases[] = {
      {"whole file", -1, 0, 0, -1, MOTION_OK},
      {"empty file", 0, 0, 0, -1, MOTION_HEADER_MISMATCH},
      {"the 0xC5 byte", -1, 0, 0, 6, MOTION_HEADER_MISMATCH},
      {"terminating zero", -1, 0, 0, 63, MOTION_HEADER_MISMATCH},
      {"negative part count", -1, 64, 0xFFFFFFFF, -1, MOTION_MALFORMED},
      {"31 parts", -1, 64, 31, -1, MOTION_MALFORMED},
      {"more parts than the file has", -1, 64, 3, -1, MOTION_MALFORMED},
      {"ends inside a name", values0 - 3, 0, 0, -1, MOTION_MALFORMED},
      {"ends inside a value count", values0 + 2, 0, 0, -1, MOTION_MALFORMED},
      {"ends inside the frames", part1 - 1, 0, 0, -1, MOTION_MALFORMED},
      {"negative value count", -1, values0, 0xFFFFFFF4, -1, MOTION_MALFORMED},
      {"values not whole frames", -1, values0, 13, -1, MOTION_MALFORMED},
      {"401 frames", -1, values0, 401 * 12, -1, MOTION_MALFORMED},
      {"huge value count", -1, values0, 0x7FFFFFF8, -1, MOTION_MALFORMED},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Parse(Encode({{"Previous", {Frame(5), Frame(6)}}})), MOTION_OK);
    std::vector<uint8_t> image = valid;
    if (c.length >= 0) image.resize(static_cast<size_t>(c.length));
    if (c.at) PutWord(&image, static_cast<size_t>(c.at), c.word);
    if (c.flip >= 0) image[c.flip] ^= 0x20;
    MotionResult result;
    EXPECT_EQ(Parse(image, &result), c.status) << c.what;
    if (c.status == MOTION_OK) continue;
    EXPECT_EQ(result.message.back(), '\n') << c.what;
    ASSERT_EQ(MotionPartCount, 1) << c.what;
    EXPECT_EQ(MotionParts[0].frames[1].m[12], 6.0f) << c.what;
  }
  std::vector<uint8_t> name64 = Encode({{std::string(63, 'n'), {}}});
  name64.insert(name64.begin() + kMotionMagicSize + 4, 'n');
  EXPECT_EQ(Parse(name64), MOTION_MALFORMED);
}

TEST(EngineMotionDeathTest, DamagedFileEndsTheShowWithItsMessage) {
  std::vector<uint8_t> image = Encode({{"Hip", {Frame(1), Frame(2)}}});
  std::string path = WriteTemp("cut.are", std::string(image.begin(), image.end() - 1));
  MotionResult result;
  EXPECT_EQ(DecodeMotion(path.c_str(), &result), 0);
  EXPECT_NE(result.message.find(path), std::string::npos) << result.message;
  EXPECT_EXIT(LoadMotion(path.c_str()), ::testing::ExitedWithCode(1), "");
}

TEST(EngineMotion, PlaybackInterpolatesBetweenTheSamplesAroundTheTime) {
  // Three frames: two intervals that wrap at p = 2.
  ASSERT_EQ(Parse(Encode({{"Hip", {Frame(0, 1), Frame(10, 3), Frame(30, 5)}}})), MOTION_OK);
  auto scene = NewScene({"Hip"});
  Mesh* hip = &scene->meshes[0];
  struct Case {
    float duration, time;
    float t, s;  // expected translation parameter and X scale
  } cases[] =
      {
          {1, 0, 0, 1},      {1, 0.5f, 5, 2}, {1, 1, 10, 3},        {1, 1.75f, 25, 4.5f},
          {1, 2, 0, 1},      {1, 2.5f, 5, 2}, {1, 5.25f, 15, 3.5f}, {3, 4.5f, 20, 4},
          {1, -0.5f, 20, 4},  // before the start: the wrap runs backwards
          {1, 3.0e9f, 0, 1},  // beyond the integers: an even position, interval 0
      };
  for (const Case& c : cases) {
    MotionFrameDuration = c.duration;
    hip->world.m[3] = 7, hip->world.m[15] = 2;
    ApplyMotion(scene.get(), c.time);
    Mat4 want = Frame(c.t, c.s);
    want.m[3] = 7, want.m[15] = 2;  // the fourth column is left as it was
    for (int e = 0; e < 16; e++) EXPECT_FLOAT_EQ(hip->world.m[e], want.m[e]) << c.time << " " << e;
  }
  MotionFrameDuration = 1.0f;
}

TEST(EngineMotion, PartsBindByNameRetryWhenMissingAndRebindAfterReset) {
  ASSERT_EQ(Parse(Encode({{"Hand_R", {Frame(1), Frame(3)}},
                          {"Tail", {Frame(5), Frame(7)}},
                          {"Still", {Frame(9)}},
                          {"Empty", {}}})),
            MOTION_OK);
  auto first = NewScene({"Hand_R", "Still", "Empty"});
  ApplyMotion(first.get(), 0.5f);
  EXPECT_EQ(first->meshes[0].world.m[12], 2.0f);
  EXPECT_EQ(first->meshes[1].world.m[12], 9.0f) << "a part of one frame holds it";
  EXPECT_EQ(first->meshes[2].world.m[12], 0.0f) << "a part without frames changes nothing";

  Mesh* tail = SceneAddMesh(first.get(), "Tail");  // looked up again on the next call
  ApplyMotion(first.get(), 0.25f);
  EXPECT_EQ(tail->world.m[12], 5.5f);

  auto second = NewScene({"Tail", "Hand_R"});
  ApplyMotion(second.get(), 0.5f);
  EXPECT_EQ(second->meshes[1].world.m[12], 0.0f) << "still bound to the first scene";
  EXPECT_EQ(first->meshes[0].world.m[12], 2.0f);
  ResetMotion();
  ApplyMotion(second.get(), 0.75f);
  EXPECT_EQ(second->meshes[1].world.m[12], 2.5f);
  EXPECT_EQ(second->meshes[0].world.m[12], 6.5f);

  MotionFrameDuration = 0.0f;  // no frame position at all: nothing moves
  ApplyMotion(second.get(), 0.0f);
  ApplyMotion(second.get(), 1.0f);
  EXPECT_EQ(second->meshes[1].world.m[12], 2.5f);
  MotionFrameDuration = 1.0f;
}

TEST(EngineMotion, DeformPosesTemplatesByTheirBonesAndReusesValidMatrices) {
  OwnedScene owned = MakeOwnedScene();
  Scene& scene = *owned;
  ASSERT_EQ(SceneCreate(&scene, 8, 0, 1, 0, 0, 0), 1);
  SceneAddVertices(&scene, 2);  // the mesh starts after other geometry
  Mesh* mesh = SceneAddMesh(&scene, "skin");
  Vertex* v = MeshAddVertices(mesh, 3);
  Bone bones[2] = {{0.3f, -0.2f, 1.1f, 0, {}}, {0, 0, 0, 1, {}}};
  MatScaling(&bones[1].matrix, 2, 3, 4);  // marked valid: used as it is
  const TemplatePoint points[3] = {
      {{1, 2, 3}, {0, 0, 1}, 0}, {{1, 1, 1}, {1, 0, 0}, 1}, {{5, 5, 5}, {0, 1, 0}, 2}};
  DeformMesh(mesh, bones, 2, points);
  Mat4 r;
  MatRotationEuler(&r, 0.3f, -0.2f, 1.1f);
  Vec3 want;
  MatTransformPoint(points[0].position, r, &want);
  EXPECT_EQ(std::memcmp(&v[0].position, &want, sizeof want), 0);
  EXPECT_EQ(bones[0].matrixValid, 1);
  EXPECT_EQ(v[1].position.y, 3.0f);
  EXPECT_EQ(v[1].normal.x, 2.0f);
  EXPECT_EQ(v[2].position.x, 0.0f) << "a bone outside the table moves nothing";
}

}  // namespace
