#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/motion.h"
#include "engine/scene.h"
#include "engine/write_are.h"

namespace {

std::unique_ptr<Scene> NewScene(std::vector<const char*> meshes, int capacity = 4) {
  auto scene = std::make_unique<Scene>();
  EXPECT_EQ(SceneCreate(scene.get(), 0, 0, capacity, 0, 0, 0), 1);
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
  MotionParse(image.data(), image.size(), "test.are", result ? result : &local);
  return (result ? result : &local)->status;
}

void PutWord(std::vector<uint8_t>* image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) (*image)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string TempPath(const char* name) { return ::testing::TempDir() + name; }

TEST(EngineMotion, StoredFramesTurnZUpIntoYUp) {
  // One part, one frame of the floats 1..12 in file order: X axis, Y axis,
  // Z axis, origin, each (x, y, z) with z up.
  std::vector<uint8_t> image = Encode({{"Chest", {}}});
  PutWord(&image, image.size() - 4, 12);
  for (int k = 0; k < 12; k++) {
    float value = static_cast<float>(k + 1);
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    image.resize(image.size() + 4);
    PutWord(&image, image.size() - 4, bits);
  }
  ASSERT_EQ(Parse(image), MOTION_OK);
  ASSERT_EQ(MotionPartCount, 1);
  EXPECT_STREQ(MotionParts[0].name, "Chest");
  ASSERT_EQ(MotionParts[0].frameCount, 1);
  // y-up rows: X axis, the file's Z axis, the file's Y axis, origin; y and z
  // exchanged inside each row; the fourth column that of the identity.
  const float expected[16] = {1, 3, 2, 0, 7, 9, 8, 0, 4, 6, 5, 0, 10, 12, 11, 1};
  for (int e = 0; e < 16; e++) EXPECT_EQ(MotionParts[0].frames[0].m[e], expected[e]) << e;
}

TEST(EngineMotion, WrittenFileReadsBackAndReplacesThePreviousMotion) {
  std::vector<MotionTrack> parts;
  for (int p = 0; p < kMotionMaxParts; p++) {
    MotionTrack part;
    part.name = p == 0 ? std::string(kMotionNameSize - 1, 'N') : "Part" + std::to_string(p);
    int frames = p == 1 ? kMotionMaxFrames : p % 5 + 2;
    for (int f = 0; f < frames; f++) {
      Mat4 m;
      for (int e = 0; e < 16; e++) m.m[e] = static_cast<float>(p * 1000 + f * 16 + e) * 0.25f;
      part.frames.push_back(m);
    }
    parts.push_back(part);
  }
  std::string path = TempPath("round_trip.are");
  ASSERT_EQ(WriteMotionFile(path.c_str(), parts), 1);
  ASSERT_EQ(LoadMotion(path.c_str()), MOTION_OK);
  ASSERT_EQ(MotionPartCount, kMotionMaxParts);
  for (int p = 0; p < kMotionMaxParts; p++) {
    const MotionPart& part = MotionParts[p];
    EXPECT_EQ(part.name, parts[p].name);
    ASSERT_EQ(part.frameCount, static_cast<int>(parts[p].frames.size()));
    for (int f = 0; f < part.frameCount; f++)
      for (int e = 0; e < 16; e++) {
        float want = e % 4 == 3 ? (e == 15 ? 1.0f : 0.0f) : parts[p].frames[f].m[e];
        ASSERT_EQ(part.frames[f].m[e], want) << p << " " << f << " " << e;
      }
  }

  // A second, smaller motion takes the table over; a missing file and a
  // foreign one leave it as it is.
  ASSERT_EQ(WriteMotionFile(path.c_str(), {{"Hip", {Frame(1), Frame(2)}}}), 1);
  ASSERT_EQ(LoadMotion(path.c_str()), MOTION_OK);
  EXPECT_EQ(LoadMotion(TempPath("no_such_motion.are").c_str()), MOTION_MISSING);
  std::string foreign = TempPath("foreign.are");
  FILE* file = std::fopen(foreign.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("not a motion file at all, but long enough to hold a header of sixty-four", file);
  std::fclose(file);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(LoadMotion(foreign.c_str()), MOTION_HEADER_MISMATCH);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "header mismatch\n");
  ASSERT_EQ(MotionPartCount, 1);
  EXPECT_STREQ(MotionParts[0].name, "Hip");
  EXPECT_EQ(MotionParts[0].frames[1].m[12], 2.0f);
}

TEST(EngineMotion, WriterRefusesWhatTheReaderWould) {
  std::vector<MotionTrack> tooMany(kMotionMaxParts + 1, MotionTrack{"a", {}});
  MotionTrack longName{std::string(kMotionNameSize, 'x'), {}};
  MotionTrack zeroInside{std::string("a\0b", 3), {}};
  MotionTrack tooLong{"a", std::vector<Mat4>(kMotionMaxFrames + 1, Frame(0))};
  std::vector<uint8_t> image = {1, 2, 3};
  for (const auto& parts : {tooMany, {longName}, {zeroInside}, {tooLong}}) {
    EXPECT_EQ(EncodeMotion(parts, &image), 0);
    EXPECT_EQ(image.size(), 3u);
  }
  EXPECT_EQ(WriteMotionFile(TempPath("no_dir/x.are").c_str(), {{"a", {}}}), 0);
}

TEST(EngineMotion, DamagedFilesAreRefusedAndKeepThePreviousMotion) {
  const std::vector<uint8_t> valid = Encode({{"Hand_R", {Frame(1), Frame(2)}}, {"Chest", {Frame(3)}}});
  const size_t part0 = kMotionMagicSize + 4;          // "Hand_R\0" then its value count
  const size_t values0 = part0 + 7;
  const size_t part1 = values0 + 4 + 2 * 12 * 4;       // "Chest\0" then its value count
  struct Case {
    const char* what;
    int64_t length;  // cut to this many bytes; -1 keeps the length
    size_t extra;    // bytes appended
    size_t at;       // where to patch a word; 0 for none
    uint32_t word;
    int byteAt;  // a byte to change; -1 for none
    int status;
  } cases[] = {
      {"whole file", -1, 0, 0, 0, -1, MOTION_OK},
      {"trailing bytes ignored", -1, 9, 0, 0, -1, MOTION_OK},
      {"empty file", 0, 0, 0, 0, -1, MOTION_HEADER_MISMATCH},
      {"header cut short", 63, 0, 0, 0, -1, MOTION_HEADER_MISMATCH},
      {"the 0xC5 byte", -1, 0, 0, 0, 6, MOTION_HEADER_MISMATCH},
      {"first byte", -1, 0, 0, 0, 0, MOTION_HEADER_MISMATCH},
      {"terminating zero", -1, 0, 0, 0, 63, MOTION_HEADER_MISMATCH},
      {"no part count", 64, 0, 0, 0, -1, MOTION_MALFORMED},
      {"part count cut", 66, 0, 0, 0, -1, MOTION_MALFORMED},
      {"negative part count", -1, 0, 64, 0xFFFFFFFF, -1, MOTION_MALFORMED},
      {"31 parts", -1, 0, 64, 31, -1, MOTION_MALFORMED},
      {"more parts than the file has", -1, 0, 64, 3, -1, MOTION_MALFORMED},
      {"no parts", -1, 0, 64, 0, -1, MOTION_OK},
      {"ends inside a name", part0 + 3, 0, 0, 0, -1, MOTION_MALFORMED},
      {"ends inside a value count", values0 + 2, 0, 0, 0, -1, MOTION_MALFORMED},
      {"ends inside the frames", values0 + 4 + 95, 0, 0, 0, -1, MOTION_MALFORMED},
      {"ends inside the second part", part1 + 2, 0, 0, 0, -1, MOTION_MALFORMED},
      {"negative value count", -1, 0, values0, 0xFFFFFFF4, -1, MOTION_MALFORMED},
      {"values not whole frames", -1, 0, values0, 13, -1, MOTION_MALFORMED},
      {"401 frames", -1, 0, values0, 401 * 12, -1, MOTION_MALFORMED},
      {"frames beyond the file", -1, 0, values0, 400 * 12, -1, MOTION_MALFORMED},
      {"huge value count", -1, 0, values0, 0x7FFFFFF8, -1, MOTION_MALFORMED},
      {"no frames, the rest misread", -1, 0, values0, 0, -1, MOTION_MALFORMED},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Parse(Encode({{"Previous", {Frame(5), Frame(6)}}})), MOTION_OK);
    std::vector<uint8_t> image = valid;
    image.resize(image.size() + c.extra, 0xAB);
    if (c.length >= 0) image.resize(static_cast<size_t>(c.length));
    if (c.at) PutWord(&image, c.at, c.word);
    if (c.byteAt >= 0) image[c.byteAt] ^= 0x20;
    MotionResult result;
    EXPECT_EQ(Parse(image, &result), c.status) << c.what;
    if (c.status == MOTION_OK) {
      EXPECT_EQ(MotionPartCount, c.at ? 0 : 2) << c.what;
      continue;
    }
    EXPECT_FALSE(result.message.empty()) << c.what;
    EXPECT_EQ(result.message.back(), '\n') << c.what;
    ASSERT_EQ(MotionPartCount, 1) << c.what;
    EXPECT_STREQ(MotionParts[0].name, "Previous") << c.what;
    EXPECT_EQ(MotionParts[0].frames[1].m[12], 6.0f) << c.what;
  }

  // Names of 63 characters fit; 64 do not, even when terminated.
  std::vector<uint8_t> name63 = Encode({{std::string(63, 'n'), {Frame(0), Frame(1)}}});
  EXPECT_EQ(Parse(name63), MOTION_OK);
  std::vector<uint8_t> name64 = name63;
  name64.insert(name64.begin() + part0, 'n');
  EXPECT_EQ(Parse(name64), MOTION_MALFORMED);
}

TEST(EngineMotionDeathTest, DamagedFileEndsTheShowWithItsMessage) {
  std::vector<uint8_t> image = Encode({{"Hip", {Frame(1), Frame(2)}}});
  image.resize(image.size() - 1);
  std::string path = TempPath("cut.are");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(image.data(), 1, image.size(), file);
  std::fclose(file);
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
  } cases[] = {
      {1.0f, 0.0f, 0, 1},     {1.0f, 0.5f, 5, 2},    {1.0f, 1.0f, 10, 3},   {1.0f, 1.75f, 25, 4.5f},
      {1.0f, 2.0f, 0, 1},     {1.0f, 2.5f, 5, 2},    {1.0f, 5.25f, 15, 3.5f},
      {2.0f, 1.0f, 5, 2},     {3.0f, 4.5f, 20, 4},
      {1.0f, -0.5f, 20, 4},   // before the start: the motion runs backwards from its wrap
      {1.0f, -2.0f, 0, 1},
      {1.0f, 3.0e9f, 0, 1},   // beyond the integers: an even position, interval 0
  };
  for (const Case& c : cases) {
    MotionFrameDuration = c.duration;
    hip->world.m[3] = 7, hip->world.m[7] = 8, hip->world.m[11] = 9, hip->world.m[15] = 2;
    ApplyMotion(scene.get(), c.time);
    Mat4 want = Frame(c.t, c.s);
    for (int e = 0; e < 16; e++) {
      if (e % 4 == 3) continue;
      EXPECT_FLOAT_EQ(hip->world.m[e], want.m[e]) << c.time << " element " << e;
    }
    EXPECT_EQ(hip->world.m[3], 7.0f);  // the fourth column is left as it was
    EXPECT_EQ(hip->world.m[7], 8.0f);
    EXPECT_EQ(hip->world.m[11], 9.0f);
    EXPECT_EQ(hip->world.m[15], 2.0f);
  }
  MotionFrameDuration = 1.0f;
}

TEST(EngineMotion, PartsBindByNameRetryWhenMissingAndRebindAfterReset) {
  ASSERT_EQ(Parse(Encode({{"Hand_R", {Frame(1), Frame(3)}},
                          {"Tail", {Frame(5), Frame(7)}},
                          {"Still", {Frame(9)}},
                          {"Empty", {}}})),
            MOTION_OK);
  MotionFrameDuration = 1.0f;
  auto first = NewScene({"Hand_R", "Still", "Empty"});
  ApplyMotion(first.get(), 0.5f);
  EXPECT_EQ(first->meshes[0].world.m[12], 2.0f);
  EXPECT_EQ(first->meshes[1].world.m[12], 9.0f) << "a part of one frame holds it";
  EXPECT_EQ(first->meshes[2].world.m[12], 0.0f) << "a part without frames changes nothing";
  EXPECT_EQ(MotionParts[1].mesh, nullptr);

  // The missing part is looked up again on the next call.
  Mesh* tail = SceneAddMesh(first.get(), "Tail");
  ApplyMotion(first.get(), 0.25f);
  EXPECT_EQ(MotionParts[1].mesh, tail);
  EXPECT_EQ(tail->world.m[12], 5.5f);

  // Bound parts stay with the first scene until ResetMotion.
  auto second = NewScene({"Tail", "Hand_R"});
  ApplyMotion(second.get(), 0.5f);
  EXPECT_EQ(second->meshes[1].world.m[12], 0.0f);
  EXPECT_EQ(first->meshes[0].world.m[12], 2.0f);
  ResetMotion();
  ApplyMotion(second.get(), 0.75f);
  EXPECT_EQ(MotionParts[0].mesh, &second->meshes[1]);
  EXPECT_EQ(second->meshes[1].world.m[12], 2.5f);
  EXPECT_EQ(second->meshes[0].world.m[12], 6.5f);

  // A zero frame duration gives no frame position: nothing moves.
  MotionFrameDuration = 0.0f;
  ApplyMotion(second.get(), 0.0f);
  ApplyMotion(second.get(), 1.0f);
  EXPECT_EQ(second->meshes[1].world.m[12], 2.5f);
  MotionFrameDuration = 1.0f;
}

TEST(EngineMotion, DeformPosesTemplatesByTheirBonesAndReusesValidMatrices) {
  auto scene = std::make_unique<Scene>();
  ASSERT_EQ(SceneCreate(scene.get(), 8, 0, 1, 0, 0, 0), 1);
  SceneAddVertices(scene.get(), 2);  // the mesh starts after other geometry
  Mesh* mesh = SceneAddMesh(scene.get(), "skin");
  Vertex* v = MeshAddVertices(mesh, 3);
  ASSERT_NE(v, nullptr);
  Bone bones[2] = {};
  bones[0] = {0.3f, -0.2f, 1.1f, 0, {}};
  bones[1].matrixValid = 1;
  MatScaling(&bones[1].matrix, 2, 3, 4);  // valid: used as it is
  TemplatePoint points[3] = {{{1, 2, 3}, {0, 0, 1}, 0}, {{1, 1, 1}, {1, 0, 0}, 1}, {{5, 5, 5}, {0, 1, 0}, 2}};
  v[2].position = {-1, -1, -1};
  DeformMesh(mesh, bones, 2, points);

  Mat4 r;
  MatRotationEuler(&r, 0.3f, -0.2f, 1.1f);
  Vec3 p, n;
  MatTransformPoint(points[0].position, r, &p);
  MatRotateVector(points[0].normal, r, &n);
  EXPECT_EQ(bones[0].matrixValid, 1);
  EXPECT_EQ(std::memcmp(&v[0].position, &p, sizeof p), 0);
  EXPECT_EQ(std::memcmp(&v[0].normal, &n, sizeof n), 0);
  EXPECT_EQ(v[1].position.y, 3.0f);
  EXPECT_EQ(v[1].normal.x, 2.0f);
  EXPECT_EQ(v[2].position.x, -1.0f) << "a bone outside the table moves nothing";
  EXPECT_EQ(scene->vertices[0].position.x, 0.0f);
}

}  // namespace
