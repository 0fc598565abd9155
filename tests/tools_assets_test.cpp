// The generated asset set: complete, reproducible, readable by the show's
// own loaders at the sizes the show expects, keyed pictures clean around
// their key, warp textures seamless, and a morph grid that folds nowhere.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "effects/flares.h"
#include "effects/morph.h"
#include "image/asset_names.h"
#include "image/picture.h"
#include "tests/tools_support.h"
#include "tools/generator.h"

namespace {

std::vector<AssetPicture> AllPictures() {
  std::vector<AssetPicture> all(std::begin(kGfxPictures), std::end(kGfxPictures));
  all.insert(all.end(), std::begin(kTexturePictures), std::end(kTexturePictures));
  for (const AssetBinding& b : kCityMaps) all.push_back({b.name, b.width, b.height});
  for (const AssetBinding& b : kFloorMaps) all.push_back({b.name, b.width, b.height});
  return all;
}

std::vector<uint32_t> Decode(const char* name, int* width, int* height) {
  std::vector<uint32_t> px;
  std::string message;
  EXPECT_TRUE(DecodePictureFile(AssetFile(Generated().dir, name).c_str(), &px, width, height, &message))
      << name << ": " << message;
  return px;
}

TEST(AssetSet, GenerationWritesEveryNamedFile) {
  const GeneratedSet& set = Generated();
  ASSERT_TRUE(set.ok) << set.message;
  std::set<std::string> names;
  for (const AssetPicture& p : AllPictures()) names.insert(p.name);
  for (const AssetPicture& f : kFlareSprites) {
    names.insert(f.name);
    EXPECT_EQ(std::filesystem::file_size(AssetFile(set.dir, f.name)), static_cast<uintmax_t>(f.width * f.height * 3))
        << f.name;
  }
  names.insert(kMorphGrid);
  names.insert(kSoundtrack);
  for (const std::string& n : names) EXPECT_TRUE(std::filesystem::is_regular_file(AssetFile(set.dir, n.c_str()))) << n;
  EXPECT_EQ(std::filesystem::file_size(AssetFile(set.dir, kMorphGrid)), static_cast<uintmax_t>(kMorphFileSize));
  // The city binds 43 materials to 42 files.
  std::set<std::string> cityFiles;
  for (const AssetBinding& b : kCityMaps) cityFiles.insert(b.name);
  EXPECT_EQ(cityFiles.size(), static_cast<size_t>(kCityMapFiles));
  EXPECT_EQ(std::size(kCityMaps), static_cast<size_t>(kCityMapBindings));
  // Nothing but the named files.
  size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(set.dir))
    if (e.is_regular_file()) files++;
  EXPECT_EQ(files, names.size());
}

// A place that cannot be written is reported, not passed over.
TEST(AssetSet, GenerationThatCannotWriteFailsWithAMessage) {
  std::string dir = TempDir();
  std::string blocker = dir + "/file";
  FILE* f = std::fopen(blocker.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  std::string message;
  EXPECT_EQ(GenerateAssets((blocker + "/set").c_str(), ASSETS_FLARES | ASSETS_MORPH, &message), 0);
  EXPECT_NE(message.find("cannot write"), std::string::npos) << message;
}

TEST(AssetSet, TwoGenerationsAreByteIdentical) {
  const GeneratedSet& first = Generated();
  ASSERT_TRUE(first.ok) << first.message;
  std::string second = TempDir();
  std::string message;
  ASSERT_TRUE(GenerateAssets(second.c_str(), kPictureAndSoundGroups, &message)) << message;
  size_t compared = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(first.dir)) {
    if (!e.is_regular_file()) continue;
    std::string rel = std::filesystem::relative(e.path(), first.dir).string();
    EXPECT_TRUE(ReadBytes(e.path().string()) == ReadBytes(second + "/" + rel)) << rel;
    compared++;
  }
  EXPECT_GT(compared, 90u);
}

TEST(AssetSet, EveryPictureDecodesAtItsIntendedSize) {
  ASSERT_TRUE(Generated().ok);
  for (const AssetPicture& p : AllPictures()) {
    int w = 0, h = 0;
    std::vector<uint32_t> px = Decode(p.name, &w, &h);
    EXPECT_EQ(w, p.width) << p.name;
    EXPECT_EQ(h, p.height) << p.name;
    // Not blank: a picture has more than one colour.
    std::set<uint32_t> colours(px.begin(), px.end());
    EXPECT_GT(colours.size(), 1u) << p.name;
  }
}

// Keyed pictures: the first pixel is the key; the drawing covers a fair share
// but not all of the picture, and no pixel comes close to the key without
// being it (a blended edge would show as a tinted fringe).
TEST(AssetSet, KeyedPicturesHaveACleanKeyAndVisibleDrawing) {
  ASSERT_TRUE(Generated().ok);
  std::vector<AssetPicture> keyed(std::begin(kGfxTitles), std::end(kGfxTitles));
  keyed.insert(keyed.end(), std::begin(kGfxWords), std::end(kGfxWords));
  keyed.push_back(kGfxSilence);
  for (const AssetPicture& p : keyed) {
    int w = 0, h = 0;
    std::vector<uint32_t> px = Decode(p.name, &w, &h);
    ASSERT_FALSE(px.empty()) << p.name;
    uint32_t key = px[0];
    size_t drawn = 0, nearKey = 0;
    for (uint32_t c : px) {
      if (c == key) continue;
      drawn++;
      int dr = static_cast<int>((c >> 16) & 255) - static_cast<int>((key >> 16) & 255);
      int dg = static_cast<int>((c >> 8) & 255) - static_cast<int>((key >> 8) & 255);
      int db = static_cast<int>(c & 255) - static_cast<int>(key & 255);
      if (dr * dr + dg * dg + db * db < 80 * 80) nearKey++;
    }
    double share = static_cast<double>(drawn) / px.size();
    EXPECT_GT(share, 0.02) << p.name;
    EXPECT_LT(share, 0.7) << p.name;
    EXPECT_EQ(nearKey, 0u) << p.name;
  }
}

// The warps address textures with wrap-around: the step from the last
// column to the first (and last row to first) is no larger than steps inside.
TEST(AssetSet, WarpTexturesWrapWithoutASeam) {
  ASSERT_TRUE(Generated().ok);
  for (const AssetPicture& p : {kTexCmap1, kTexBlob}) {
    int w = 0, h = 0;
    std::vector<uint32_t> px = Decode(p.name, &w, &h);
    ASSERT_EQ(static_cast<int>(px.size()), w * h);
    auto diff = [&](int x0, int y0, int x1, int y1) {
      uint32_t a = px[y0 * w + x0], b = px[y1 * w + x1];
      int d = 0;
      for (int s = 0; s < 24; s += 8) d += std::abs(static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255));
      return d;
    };
    double inside = 0, seamX = 0, seamY = 0;
    for (int y = 0; y < h; y++) {
      inside += diff(w / 2 - 1, y, w / 2, y);
      seamX += diff(w - 1, y, 0, y);
    }
    for (int x = 0; x < w; x++) seamY += diff(x, h - 1, x, 0);
    EXPECT_LT(seamX, inside * 2.0 + w) << p.name;
    EXPECT_LT(seamY, inside * 2.0 + w) << p.name;
  }
}

// Pictures the show adds must fade to black at their edges, or each sprite
// would show as a square.
TEST(AssetSet, SpritesFadeToBlackAtTheirEdges) {
  ASSERT_TRUE(Generated().ok);
  auto darkBorder = [](const std::vector<uint32_t>& px, int w, int h) {
    int worst = 0;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        if (x != 0 && y != 0 && x != w - 1 && y != h - 1) continue;
        uint32_t c = px[y * w + x];
        worst = std::max({worst, static_cast<int>((c >> 16) & 255), static_cast<int>((c >> 8) & 255),
                          static_cast<int>(c & 255)});
      }
    return worst;
  };
  // The ghost sprites, read the way the flares read them, at the sizes of
  // the flare table.
  for (int i = 0; i < kFlareSpriteCount; i++) {
    const FlareSprite& f = FlareSprites[i];
    EXPECT_STREQ(f.fileName, kFlareSprites[i].name);
    EXPECT_EQ(f.width, kFlareSprites[i].width);
    EXPECT_EQ(f.height, kFlareSprites[i].height);
    std::vector<uint8_t> raw = ReadBytes(AssetFile(Generated().dir, f.fileName));
    std::vector<uint32_t> px(f.width * f.height);
    std::string message;
    ASSERT_TRUE(FlareSpriteParse(raw.data(), raw.size(), f.fileName, f.width, f.height, px.data(), &message))
        << message;
    EXPECT_EQ(raw, FlareSpriteBytes(i, f.width, f.height)) << f.fileName;
    EXPECT_LT(darkBorder(px, f.width, f.height), 40) << f.fileName;
    EXPECT_GT(*std::max_element(px.begin(), px.end()) & 0xFF00, 0x2000u) << f.fileName << " has no light";
  }
  for (const AssetPicture& p : {kGfxSprite, kTexLight, kTexFlower}) {
    int w = 0, h = 0;
    std::vector<uint32_t> px = Decode(p.name, &w, &h);
    EXPECT_LT(darkBorder(px, w, h), 24) << p.name;
  }
}

TEST(AssetSet, TexturesHaveSizesTheRasterizerAddresses) {
  for (const AssetPicture& p : kTexturePictures) EXPECT_NE(TextureSizeCode(p.width, p.height), 0) << p.name;
  for (const AssetBinding& b : kCityMaps) EXPECT_NE(TextureSizeCode(b.width, b.height), 0) << b.name;
  for (const AssetBinding& b : kFloorMaps) EXPECT_NE(TextureSizeCode(b.width, b.height), 0) << b.name;
}

// The grid's points sit on the features of the pictures as written: the eye
// points on dark irises, the cheek points on lighter skin, the mouth centre
// on red lips, in both portraits.
TEST(AssetSet, MorphGridPointsSitOnThePortraitsFeatures) {
  ASSERT_TRUE(Generated().ok);
  MorphGrid grid = {};
  PortraitGrid(&grid);
  const AssetPicture portraits[2] = {kGfxPortrait1, kGfxPortrait2};
  for (int side = 0; side < 2; side++) {
    int w = 0, h = 0;
    std::vector<uint32_t> px = Decode(portraits[side].name, &w, &h);
    ASSERT_EQ(w * h, 320 * 240);
    auto point = [&](int r, int c) {
      MorphPoint p = side ? grid.second[r][c] : grid.first[r][c];
      return MorphPoint{side ? p.x - 320 : p.x, p.y};
    };
    auto luma = [&](MorphPoint p) {
      uint32_t c = px[p.y * w + p.x];
      return 0.3 * ((c >> 16) & 255) + 0.59 * ((c >> 8) & 255) + 0.11 * (c & 255);
    };
    const int eyeRow = 2, noseRow = 3, mouthRow = 4;
    for (int eyeColumn : {3, 5}) {
      EXPECT_LT(luma(point(eyeRow, eyeColumn)) * 2.0, luma(point(noseRow, eyeColumn))) << side << " " << eyeColumn;
    }
    MorphPoint mouth = point(mouthRow, 4);
    uint32_t lips = px[(mouth.y + 2) * w + mouth.x];
    EXPECT_GT(static_cast<int>((lips >> 16) & 255), static_cast<int>((lips >> 8) & 255) + 60) << side;
  }
}

// The credits lie wholly inside the tall scroller picture: dark margins at
// both ends, text from near the top to near the bottom. The scroll moves
// about 70 rows a second, so text within 21 rows of each end is on screen
// within 0.3 s of the scroll's start and until 0.3 s before its end.
TEST(AssetSet, CreditsFitTheScrollerPicture) {
  ASSERT_TRUE(Generated().ok);
  int w = 0, h = 0;
  std::vector<uint32_t> px = Decode(kGfxScroll1.name, &w, &h);
  ASSERT_EQ(static_cast<int>(px.size()), w * h);
  auto rowLit = [&](int y) {
    for (int x = 0; x < w; x++) {
      uint32_t c = px[y * w + x];
      if (((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255) > 120) return true;
    }
    return false;
  };
  int first = -1, last = -1;
  for (int y = 0; y < h; y++)
    if (rowLit(y)) {
      if (first < 0) first = y;
      last = y;
    }
  EXPECT_GE(first, 16);
  EXPECT_LT(first, 21);
  EXPECT_LE(last, h - 16);
  EXPECT_GT(last, h - 21);
}

TEST(AssetSet, MorphGridLoadsAndFoldsNowhere) {
  ASSERT_TRUE(Generated().ok);
  std::vector<uint8_t> bytes = ReadBytes(AssetFile(Generated().dir, kMorphGrid));
  MorphGrid grid = {};
  const char* message = nullptr;
  ASSERT_EQ(MorphFileParse(bytes.data(), bytes.size(), &grid, &message), MORPH_FILE_OK) << message;
  MorphGrid expected = {};
  PortraitGrid(&expected);
  for (int r = 0; r < kMorphRows; r++)
    for (int c = 0; c < kMorphColumns; c++) {
      EXPECT_EQ(grid.first[r][c].x, expected.first[r][c].x);
      EXPECT_EQ(grid.second[r][c].y, expected.second[r][c].y);
    }
  for (int side = 0; side < 2; side++) {
    auto at = [&](int r, int c) {
      MorphPoint p = side ? grid.second[r][c] : grid.first[r][c];
      if (side) p.x -= 320;
      return p;
    };
    for (int r = 0; r < kMorphRows; r++) {
      // The outline of the grid is the picture's outline.
      EXPECT_EQ(at(r, 0).x, 0);
      EXPECT_EQ(at(r, kMorphColumns - 1).x, 320);
      for (int c = 0; c + 1 < kMorphColumns; c++) EXPECT_LT(at(r, c).x, at(r, c + 1).x) << side << " " << r << " " << c;
    }
    for (int c = 0; c < kMorphColumns; c++) {
      EXPECT_EQ(at(0, c).y, 0);
      EXPECT_EQ(at(kMorphRows - 1, c).y, 240);
      for (int r = 0; r + 1 < kMorphRows; r++) EXPECT_LT(at(r, c).y, at(r + 1, c).y) << side << " " << r << " " << c;
    }
    // Both triangles of every cell keep the orientation of the undistorted
    // grid: none is flipped or flat.
    auto cross = [](MorphPoint a, MorphPoint b, MorphPoint c) {
      return static_cast<int64_t>(b.x - a.x) * (c.y - a.y) - static_cast<int64_t>(b.y - a.y) * (c.x - a.x);
    };
    for (int r = 0; r + 1 < kMorphRows; r++)
      for (int c = 0; c + 1 < kMorphColumns; c++) {
        EXPECT_GT(cross(at(r, c), at(r, c + 1), at(r + 1, c)), 0) << side << " " << r << " " << c;
        EXPECT_LT(cross(at(r + 1, c + 1), at(r, c + 1), at(r + 1, c)), 0) << side << " " << r << " " << c;
      }
  }
  // The faces differ, so the morph moves: some inner points differ between the grids.
  int moved = 0;
  for (int r = 1; r + 1 < kMorphRows; r++)
    for (int c = 1; c + 1 < kMorphColumns; c++)
      moved += grid.first[r][c].x != grid.second[r][c].x - 320 || grid.first[r][c].y != grid.second[r][c].y;
  EXPECT_GT(moved, 20);
}

}  // namespace
