// Scene files made in memory by the writer and read back through the
// loader's parsing core, for the .3ds tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/load_3ds.h"
#include "engine/scene.h"
#include "engine/write_3ds.h"

struct Loaded {
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  Load3dsResult result;
  int ok = 0;
  ~Loaded() { Load3dsRelease(scene.get()); }
};

inline std::unique_ptr<Loaded> Parse(const std::vector<uint8_t>& bytes, float scale = 1.0f) {
  auto l = std::make_unique<Loaded>();
  l->ok = Load3dsParse(l->scene.get(), bytes.data(), bytes.size(), "test.3ds", scale, &l->result);
  return l;
}

inline std::vector<uint8_t> Encode(const SceneFile& file) {
  std::vector<uint8_t> bytes;
  std::string message;
  EXPECT_EQ(SceneFileEncode(file, &bytes, &message), 1) << message;
  return bytes;
}
