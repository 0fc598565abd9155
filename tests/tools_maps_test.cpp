// Generated maps against shimmer: the renderer takes the nearest texel, so a
// map seen far off or edge-on must not hold sharp bright-dark steps, street
// paint must run with the street, and the glow sprite must keep its light
// near its centre (a dot passing by the camera is drawn hundreds of pixels
// wide).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/asset_names.h"
#include "image/picture.h"
#include "tests/tools_support.h"

namespace {

struct Map {
  std::vector<int> luma;
  int width = 0;
  int height = 0;
  int At(int x, int y) const { return luma[((y + height) % height) * width + (x + width) % width]; }
};

Map Load(const char* name) {
  Map m;
  std::vector<uint32_t> px;
  std::string message;
  EXPECT_TRUE(DecodePictureFile(AssetFile(Generated().dir, name).c_str(), &px, &m.width, &m.height, &message))
      << name << ": " << message;
  for (uint32_t c : px)
    m.luma.push_back(static_cast<int>((299 * ((c >> 16) & 255) + 587 * ((c >> 8) & 255) + 114 * (c & 255)) / 1000));
  return m;
}

// The 99.5th percentile of the luma step between neighbouring texels (the
// maps tile, so the step across the wrap counts too): a few JPEG ringing
// texels do not decide it, a line of sharp paint or a grout grid does.
int SteepStep(const Map& m) {
  std::vector<int> steps;
  for (int y = 0; y < m.height; y++)
    for (int x = 0; x < m.width; x++) {
      steps.push_back(std::abs(m.At(x + 1, y) - m.At(x, y)));
      steps.push_back(std::abs(m.At(x, y + 1) - m.At(x, y)));
    }
  std::sort(steps.begin(), steps.end());
  return steps[steps.size() * 995 / 1000];
}

const char* CityMap(const char* file) {
  for (const AssetBinding& b : kCityMaps)
    if (std::string(b.name).find(file) != std::string::npos) return b.name;
  ADD_FAILURE() << "no city map " << file;
  return kCityMaps[0].name;
}

TEST(Maps, SurfacesSeenFarOffHaveNoSharpSteps) {
  ASSERT_TRUE(Generated().ok) << Generated().message;
  const struct {
    const char* name;
    int limit;
  } kCases[] = {
      // The hall behind the runway, its trims and the floor it repeats on.
      {kTexGold.name, 6},
      {kTexCatSide.name, 12},
      {kTexCatFloor.name, 14},
      // Street surfaces and facades along the streets.
      {CityMap("road1.jpg"), 16},
      {CityMap("road2.jpg"), 14},
      {CityMap("asphalt.jpg"), 8},
      {CityMap("tiles1.jpg"), 12},
      {CityMap("metal1.jpg"), 8},
      {CityMap("fence.jpg"), 12},
      {CityMap("window1.jpg"), 16},
      {CityMap("window4.jpg"), 16},
      {CityMap("build1.jpg"), 16},
  };
  for (const auto& c : kCases) {
    Map m = Load(c.name);
    ASSERT_FALSE(m.luma.empty()) << c.name;
    EXPECT_LE(SteepStep(m), c.limit) << c.name;
  }
}

// The streets lay the road map with its x axis along the street: its paint
// must change little along x and much across it.
TEST(Maps, RoadPaintRunsAlongTheStreet) {
  ASSERT_TRUE(Generated().ok) << Generated().message;
  Map m = Load(CityMap("road1.jpg"));
  ASSERT_FALSE(m.luma.empty());
  long along = 0, across = 0;
  for (int y = 0; y < m.height; y++)
    for (int x = 0; x < m.width; x++) {
      along += std::abs(m.At(x + 1, y) - m.At(x, y));
      across += std::abs(m.At(x, y + 1) - m.At(x, y));
    }
  EXPECT_GT(across, along * 5 / 4) << "along " << along << " across " << across;
  // The centre line is there: the middle rows are brighter than the tar
  // between the centre and the edge lines.
  long middle = 0, tar = 0;
  for (int x = 0; x < m.width; x++) {
    middle += m.At(x, 128);
    tar += m.At(x, 72);
  }
  EXPECT_GT(middle, tar + 10L * m.width) << "middle " << middle / m.width << " tar " << tar / m.width;
}

// Most of the glow sprite's light lies near its centre, and the centre is
// bright, so small dots still shine.
TEST(Maps, GlowSpriteKeepsItsLightNearTheCentre) {
  ASSERT_TRUE(Generated().ok) << Generated().message;
  Map m = Load(kGfxSprite.name);
  ASSERT_EQ(m.width, 256);
  double inner = 0, total = 0;
  for (int y = 0; y < m.height; y++)
    for (int x = 0; x < m.width; x++) {
      double d = std::hypot(x - 128.0, y - 128.0) / 128.0;
      total += m.At(x, y);
      if (d < 0.25) inner += m.At(x, y);
    }
  ASSERT_GT(total, 0.0);
  EXPECT_GT(inner / total, 0.5) << "share of light within a quarter radius";
  EXPECT_GT(m.At(128, 128), 200);
  EXPECT_LT(total / (m.width * m.height), 4.0) << "mean level";
}

}  // namespace
