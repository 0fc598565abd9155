// .are motion files and their playback on a skeleton of meshes.
#include "engine/motion.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "image/data_file.h"

const char kMotionMagic[kMotionMagicSize] =
    "QET SL\xC5R TIL IGJEN MED NOK ET KULT PROGRAM OG NOK EN KUL HEADER";

const int kMotionElement[kMotionFrameValues] = {0, 2, 1, 8, 10, 9, 4, 6, 5, 12, 14, 13};

MotionPart* MotionParts = nullptr;
int32_t MotionPartCount = 0;
float MotionFrameDuration = 1.0f;

namespace {

struct Cursor {
  const uint8_t* data;
  size_t size;
  size_t at;
};

int ReadInt(Cursor* in, int32_t* value) {
  if (in->size - in->at < 4) return 0;
  const uint8_t* p = in->data + in->at;
  uint32_t bits =
      uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  std::memcpy(value, &bits, 4);
  in->at += 4;
  return 1;
}

float ReadFloatUnchecked(Cursor* in) {
  const uint8_t* p = in->data + in->at;
  uint32_t bits =
      uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  float value;
  std::memcpy(&value, &bits, 4);
  in->at += 4;
  return value;
}

[[gnu::format(printf, 4, 5)]] int Refuse(MotionResult* result, int status, size_t offset,
                                         const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  result->status = status;
  result->message = line;
  result->offset = static_cast<long>(offset);
  return 0;
}

// Walks the parts after the header. With table null it only checks that
// every count, name and frame lies inside the file and fits the table;
// otherwise it fills the table, which the check has already vouched for.
int WalkParts(Cursor in, int32_t partCount, MotionPart* table, const char* fileName,
              MotionResult* result) {
  for (int32_t n = 0; n < partCount; n++) {
    const uint8_t* start = in.data + in.at;
    const void* zero = std::memchr(start, 0, in.size - in.at);
    if (!zero)
      return Refuse(result, MOTION_MALFORMED, in.at,
                    "%s is not a valid motion file: it ends inside the name of part %d\n", fileName,
                    n);
    size_t nameLength = static_cast<size_t>(static_cast<const uint8_t*>(zero) - start);
    if (nameLength >= kMotionNameSize)
      return Refuse(
          result, MOTION_MALFORMED, in.at,
          "%s is not a valid motion file: the name of part %d is longer than %d characters\n",
          fileName, n, kMotionNameSize - 1);
    in.at += nameLength + 1;
    int32_t valueCount = 0;
    if (!ReadInt(&in, &valueCount))
      return Refuse(result, MOTION_MALFORMED, in.at,
                    "%s is not a valid motion file: it ends inside part %d\n", fileName, n);
    if (valueCount < 0 || valueCount % kMotionFrameValues != 0 ||
        valueCount / kMotionFrameValues > kMotionMaxFrames)
      return Refuse(
          result, MOTION_MALFORMED, in.at,
          "%s is not a valid motion file: part %d has %d values, not up to %d frames of %d\n",
          fileName, n, valueCount, kMotionMaxFrames, kMotionFrameValues);
    int32_t frameCount = valueCount / kMotionFrameValues;
    size_t frameBytes = size_t(valueCount) * 4;
    if (in.size - in.at < frameBytes)
      return Refuse(result, MOTION_MALFORMED, in.at,
                    "%s is not a valid motion file: it ends inside the frames of part %d\n",
                    fileName, n);
    if (!table) {
      in.at += frameBytes;
      continue;
    }
    MotionPart* part = &table[n];
    std::memset(part->name, 0, sizeof part->name);
    std::memcpy(part->name, start, nameLength);
    part->mesh = nullptr;
    part->frameCount = frameCount;
    for (int32_t f = 0; f < frameCount; f++) {
      Mat4* m = &part->frames[f];
      MatIdentity(m);
      for (int k = 0; k < kMotionFrameValues; k++)
        m->m[kMotionElement[k]] = ReadFloatUnchecked(&in);
    }
  }
  return 1;
}

int AllocateTable(MotionResult* result) {
  if (MotionParts) return 1;
  MotionPart* parts = new (std::nothrow) MotionPart[kMotionMaxParts]();
  // Zeroed by the system as it is first touched: the room of the parts and
  // frames a motion does not have never takes memory.
  Mat4* frames =
      static_cast<Mat4*>(std::calloc(size_t{kMotionMaxParts} * kMotionMaxFrames, sizeof(Mat4)));
  if (!parts || !frames) {
    delete[] parts;
    std::free(frames);
    return Refuse(result, MOTION_NO_MEMORY, 0, "Unable to allocate the motion table!\n");
  }
  // One block of frames, kMotionMaxFrames for each part.
  for (int i = 0; i < kMotionMaxParts; i++) parts[i].frames = frames + size_t(i) * kMotionMaxFrames;
  MotionParts = parts;
  return 1;
}

// Interval of a frame position: the position wrapped into 0..intervals-1,
// negative positions and those beyond the integers included.
int WrapInterval(float whole, int intervals) {
  double k = std::fmod(static_cast<double>(whole), static_cast<double>(intervals));
  if (k < 0) k += intervals;
  return static_cast<int>(k);
}

}  // namespace

int MotionCheck(const uint8_t* data, size_t size, const char* fileName, MotionResult* result) {
  *result = MotionResult();
  if (size < size_t{kMotionMagicSize} || std::memcmp(data, kMotionMagic, kMotionMagicSize) != 0)
    return Refuse(result, MOTION_HEADER_MISMATCH, 0, "header mismatch\n");
  Cursor in = {data, size, kMotionMagicSize};
  int32_t partCount = 0;
  if (!ReadInt(&in, &partCount))
    return Refuse(result, MOTION_MALFORMED, in.at,
                  "%s is not a valid motion file: it ends after the header\n", fileName);
  if (partCount < 0 || partCount > kMotionMaxParts)
    return Refuse(result, MOTION_MALFORMED, in.at - 4,
                  "%s is not a valid motion file: %d parts, at most %d\n", fileName, partCount,
                  kMotionMaxParts);
  return WalkParts(in, partCount, nullptr, fileName, result);
}

int MotionParse(const uint8_t* data, size_t size, const char* fileName, MotionResult* result) {
  if (!MotionCheck(data, size, fileName, result)) return 0;
  Cursor in = {data, size, kMotionMagicSize};
  int32_t partCount = 0;
  ReadInt(&in, &partCount);
  if (!AllocateTable(result)) return 0;
  WalkParts(in, partCount, MotionParts, fileName, result);
  MotionPartCount = partCount;
  return 1;
}

namespace {

// Reads the file image (at most kMotionMaxFileSize bytes) and hands it to
// parse, which either checks it or loads it.
int ReadMotion(const char* fileName, MotionResult* result,
               int (*parse)(const uint8_t*, size_t, const char*, MotionResult*)) {
  *result = MotionResult();
  std::string reason;
  FILE* file = OpenDataFile(fileName, &reason);
  if (!file) {
    Refuse(result, MOTION_MISSING, 0, "%s not found\n", fileName);
    result->reason = reason;
    return 0;
  }
  // Room for what the file holds (up to the limit), not the limit itself.
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  std::rewind(file);
  size_t room = length >= 0 && size_t(length) < kMotionMaxFileSize ? size_t(length) + 1
                                                                   : kMotionMaxFileSize;
  std::vector<uint8_t> data(room);
  size_t size = std::fread(data.data(), 1, data.size(), file);
  int readError = std::ferror(file);
  std::fclose(file);
  if (readError) {
    Refuse(result, MOTION_MALFORMED, 0, "%s cannot be read\n", fileName);
    result->reason = "read error";
    return 0;
  }
  if (!parse(data.data(), size, fileName, result)) {
    if (result->status == MOTION_HEADER_MISMATCH)
      result->reason = "not a motion file (header mismatch): the previous motion stays";
    else if (result->status == MOTION_MALFORMED)
      result->reason = DamagedAtByte(result->offset);
    return 0;
  }
  return 1;
}

// The line on standard error that names the file, for every outcome but
// success.
void ReportMotion(const char* fileName, const MotionResult& result) {
  if (result.status == MOTION_OK || result.status == MOTION_NO_MEMORY) return;
  std::string reason = result.reason;
  if (result.status == MOTION_MISSING) reason += ": the previous motion stays";
  ReportDataFile(fileName, reason);
}

[[noreturn]] void EndWithMotionMessage(const char* fileName, const MotionResult& result) {
  std::fputs(result.message.c_str(), stdout);
  std::fflush(stdout);
  ReportMotion(fileName, result);
  std::exit(1);
}

}  // namespace

int DecodeMotion(const char* fileName, MotionResult* result) {
  return ReadMotion(fileName, result, MotionParse);
}

int CheckMotionFile(const char* fileName, MotionResult* result) {
  return ReadMotion(fileName, result, MotionCheck);
}

int LoadMotion(const char* fileName) {
  MotionResult result;
  DecodeMotion(fileName, &result);
  switch (result.status) {
    case MOTION_OK:
      break;
    case MOTION_MISSING:
      ReportMotion(fileName, result);
      break;
    case MOTION_HEADER_MISMATCH:
      std::fputs(result.message.c_str(), stdout);
      std::fflush(stdout);
      ReportMotion(fileName, result);
      break;
    default:
      EndWithMotionMessage(fileName, result);
  }
  return result.status;
}

void CheckMotionFiles(const char* const* fileNames, int count) {
  for (int i = 0; i < count; i++) {
    MotionResult result;
    CheckMotionFile(fileNames[i], &result);
    if (result.status == MOTION_MALFORMED) EndWithMotionMessage(fileNames[i], result);
    ReportMotion(fileNames[i], result);  // a missing or foreign file, said before the show starts
  }
}

void ResetMotion() {
  for (int i = 0; i < MotionPartCount; i++) MotionParts[i].mesh = nullptr;
}

// Playback runs through frameCount - 1 intervals: the last sample is only
// reached as the end of the last interval, then the motion starts over. A
// part of one frame holds that pose; a part without frames is left alone.
// A position that is not a number (a zero frame duration) changes nothing.
void ApplyMotion(Scene* scene, float time) {
  float p = time / MotionFrameDuration;
  if (!std::isfinite(p)) return;
  float whole = std::floor(p);
  float f = p - whole;
  for (int i = 0; i < MotionPartCount; i++) {
    MotionPart* part = &MotionParts[i];
    if (!part->mesh) {
      part->mesh = SceneFindMesh(scene, part->name);
      if (!part->mesh) continue;
    }
    if (part->frameCount < 1) continue;
    int k = part->frameCount == 1 ? 0 : WrapInterval(whole, part->frameCount - 1);
    const float* a = part->frames[k].m;
    const float* b = part->frameCount == 1 ? a : part->frames[k + 1].m;
    float* world = part->mesh->world.m;
    for (int row = 0; row < 4; row++)
      for (int column = 0; column < 3; column++) {
        int e = row * 4 + column;
        world[e] = a[e] + (b[e] - a[e]) * f;
      }
  }
}

void DeformMesh(Mesh* mesh, Bone* bones, int boneCount, const TemplatePoint* templates) {
  Vertex* vertices = mesh->scene->vertices + mesh->firstVertex;
  for (int i = 0; i < mesh->vertexCount; i++) {
    const TemplatePoint& point = templates[i];
    if (point.boneIndex < 0 || point.boneIndex >= boneCount) continue;
    Bone* bone = &bones[point.boneIndex];
    if (!bone->matrixValid) {
      MatRotationEuler(&bone->matrix, bone->a, bone->b, bone->c);
      bone->matrixValid = 1;
    }
    MatTransformPoint(point.position, bone->matrix, &vertices[i].position);
    MatRotateVector(point.normal, bone->matrix, &vertices[i].normal);
  }
}
