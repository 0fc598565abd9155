// Writes .are motion files for the asset generator: every part a name and
// its frames, given as engine (y-up) matrices and stored z-up, so that the
// reader gives the same matrices back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/math3d.h"

struct MotionTrack {
  std::string name;
  std::vector<Mat4> frames;
};

// The file image of parts. 0 (and out untouched) when the reader would
// refuse it: more than 30 parts, a part of more than 400 frames, or a name
// of more than 63 characters or with a zero byte inside.
int EncodeMotion(const std::vector<MotionTrack>& parts, std::vector<uint8_t>* out);

// EncodeMotion into a file at path. 0 when the parts cannot be encoded or
// the file cannot be written completely.
int WriteMotionFile(const char* path, const std::vector<MotionTrack>& parts);
