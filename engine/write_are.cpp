#include "engine/write_are.h"

#include <cstdio>
#include <cstring>

#include "engine/motion.h"

namespace {

void PutWord(std::vector<uint8_t>* out, uint32_t bits) {
  for (int i = 0; i < 4; i++) out->push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void PutFloat(std::vector<uint8_t>* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutWord(out, bits);
}

}  // namespace

int EncodeMotion(const std::vector<MotionTrack>& parts, std::vector<uint8_t>* out) {
  if (parts.size() > size_t{kMotionMaxParts}) return 0;
  for (const MotionTrack& part : parts)
    if (part.name.size() >= size_t{kMotionNameSize} || part.name.find('\0') != std::string::npos ||
        part.frames.size() > size_t{kMotionMaxFrames})
      return 0;
  std::vector<uint8_t> image(kMotionMagic, kMotionMagic + kMotionMagicSize);
  PutWord(&image, static_cast<uint32_t>(parts.size()));
  for (const MotionTrack& part : parts) {
    image.insert(image.end(), part.name.begin(), part.name.end());
    image.push_back(0);
    PutWord(&image, static_cast<uint32_t>(part.frames.size() * kMotionFrameValues));
    for (const Mat4& frame : part.frames)
      for (int k = 0; k < kMotionFrameValues; k++) PutFloat(&image, frame.m[kMotionElement[k]]);
  }
  out->swap(image);
  return 1;
}

int WriteMotionFile(const char* path, const std::vector<MotionTrack>& parts) {
  std::vector<uint8_t> image;
  if (!EncodeMotion(parts, &image)) return 0;
  FILE* file = std::fopen(path, "wb");
  if (!file) return 0;
  size_t written = std::fwrite(image.data(), 1, image.size(), file);
  int closed = std::fclose(file);
  return written == image.size() && closed == 0 ? 1 : 0;
}
