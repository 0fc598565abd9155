#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "effects/frames.h"
#include "effects/morph.h"
#include "show/fade.h"

namespace {

std::string TempPath(const char* name) { return std::string(::testing::TempDir()) + "/" + name; }

MorphGrid RandomGrid(uint32_t seed) {
  std::mt19937 rng(seed);
  MorphGrid g;
  for (int r = 0; r < kMorphRows; ++r)
    for (int c = 0; c < kMorphColumns; ++c) {
      g.first[r][c] = {static_cast<int32_t>(rng()), static_cast<int32_t>(rng())};
      g.second[r][c] = {static_cast<int32_t>(rng()), static_cast<int32_t>(rng())};
    }
  return g;
}

// A file image with the given declared size and records numbered 1, 2, 3...
// field by field, so every stored value tells where it was read from.
std::vector<uint8_t> NumberedFile(int32_t columns, int32_t rows, int records) {
  std::vector<uint8_t> f(kMorphMagicSize);
  std::memcpy(f.data(), kMorphMagic, kMorphMagicSize);
  auto put = [&f](int32_t v) {
    for (int i = 0; i < 4; ++i)
      f.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  };
  put(columns);
  put(rows);
  for (int i = 0; i < records * 4; ++i) put(i + 1);
  return f;
}

// The morph grid with guard words on both sides, to catch stores outside it.
struct GuardedGrid {
  uint32_t before[16];
  MorphGrid grid;
  uint32_t after[16];
};

void FillGuarded(GuardedGrid* g, uint8_t byte) { std::memset(g, byte, sizeof *g); }

bool GuardsIntact(const GuardedGrid& g, uint8_t byte) {
  for (int i = 0; i < 16; ++i) {
    uint32_t expect = byte * 0x01010101u;
    if (g.before[i] != expect || g.after[i] != expect) return false;
  }
  return true;
}

TEST(MorphFile, SavedGridReadsBackExactly) {
  MorphGrid saved = RandomGrid(7);
  std::string path = TempPath("roundtrip.amf");
  ASSERT_EQ(SaveMorphFile(path.c_str(), saved), 1);

  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(4096);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  ASSERT_EQ(bytes.size(), 1043u);
  EXPECT_EQ(std::memcmp(bytes.data(), "QET HAR KULT MORPHEPROGRAM", 27), 0);
  EXPECT_EQ(bytes[27], 9);
  EXPECT_EQ(bytes[31], 7);

  std::memset(&Morph, 0, sizeof Morph);
  EXPECT_EQ(LoadMorphFile(path.c_str()), MORPH_FILE_OK);
  EXPECT_EQ(std::memcmp(&Morph, &saved, sizeof saved), 0);

  // The record order: row by row, first x, first y, second x, second y.
  const uint8_t* rec = bytes.data() + 35 + 16 * (2 * 9 + 5);
  int32_t secondY;
  std::memcpy(&secondY, rec + 12, 4);
  EXPECT_EQ(secondY, saved.second[2][5].y);
}

TEST(MorphFile, UnwritablePathFailsAndMissingFileLeavesGrid) {
  MorphGrid g = RandomGrid(3);
  EXPECT_EQ(SaveMorphFile("/nonexistent-dir/x/grid.amf", g), 0);
  Morph = g;
  EXPECT_EQ(LoadMorphFile(TempPath("no-such-file.amf").c_str()), MORPH_FILE_MISSING);
  EXPECT_EQ(std::memcmp(&Morph, &g, sizeof g), 0);
}

TEST(MorphFile, MalformedFilesNeverStoreOutsideTheGrid) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    int status;
    int32_t firstX00;   // expected first[0][0].x (0xABABABAB = untouched)
    int32_t firstX16;   // expected first[1][6].x
    int32_t secondY68;  // expected second[6][8].y
  };
  const int32_t untouched = static_cast<int32_t>(0xABABABABu);
  std::vector<uint8_t> badMagic = NumberedFile(9, 7, 63);
  badMagic[3] = 'x';
  std::vector<uint8_t> noTerminator = NumberedFile(9, 7, 63);
  noTerminator[26] = 'M';
  std::vector<uint8_t> shortRecords = NumberedFile(9, 7, 63);
  shortRecords.resize(35 + 16 * 10 + 6);  // record 10 has one field and a half
  const Case cases[] = {
      {"exact", NumberedFile(9, 7, 63), MORPH_FILE_OK, 1, 4 * 15 + 1, 63 * 4},
      {"wrong magic", badMagic, MORPH_FILE_BAD_MAGIC, untouched, untouched, untouched},
      {"magic without its zero", noTerminator, MORPH_FILE_BAD_MAGIC, untouched, untouched,
       untouched},
      {"only the magic", std::vector<uint8_t>(kMorphMagic, kMorphMagic + 27), MORPH_FILE_SHORT,
       untouched, untouched, untouched},
      // 12 x 9 declared: rows are 12 records apart, only 9 x 7 are kept.
      {"too wide and tall", NumberedFile(12, 9, 108), MORPH_FILE_CUT, 1, 4 * 18 + 1,
       4 * (6 * 12 + 8) + 4},
      {"negative counts", NumberedFile(-1, -5, 4), MORPH_FILE_CUT, untouched, untouched, untouched},
      {"huge counts, tiny file", NumberedFile(0x7FFFFFFF, 0x7FFFFFFF, 2), MORPH_FILE_SHORT, 1,
       untouched, untouched},
      {"smaller grid", NumberedFile(3, 2, 6), MORPH_FILE_OK, 1, untouched, untouched},
      {"cut short", shortRecords, MORPH_FILE_SHORT, 1, untouched, untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GuardedGrid g;
    FillGuarded(&g, 0xAB);
    const char* message = nullptr;
    EXPECT_EQ(MorphFileParse(c.data.data(), c.data.size(), &g.grid, &message), c.status);
    EXPECT_NE(message, nullptr);
    EXPECT_TRUE(GuardsIntact(g, 0xAB));
    EXPECT_EQ(g.grid.first[0][0].x, c.firstX00);
    EXPECT_EQ(g.grid.first[1][6].x, c.firstX16);
    EXPECT_EQ(g.grid.second[6][8].y, c.secondY68);
  }
  // A cut-short record keeps what it had read: record 10 (row 1, column 1)
  // got its first field only.
  GuardedGrid g;
  FillGuarded(&g, 0xAB);
  const char* message;
  MorphFileParse(shortRecords.data(), shortRecords.size(), &g.grid, &message);
  EXPECT_EQ(g.grid.first[1][1].x, 41);
  EXPECT_EQ(g.grid.first[1][1].y, untouched);
}

// ---- the filler and the whole morph ----

class MorphRender : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFadeOperations(320, 240, 0);
    MorphSetup();
    std::mt19937 rng(11);
    first.resize(kFramePixels);
    second.resize(kFramePixels);
    for (auto& p : first) p = rng() & 0xFFFFFF;
    for (auto& p : second) p = rng() & 0xFFFFFF;
  }
  // A grid over the whole picture whose inner points differ between the two
  // pictures, as an authored grid does.
  static MorphGrid BentGrid() {
    MorphGrid g;
    for (int r = 0; r < kMorphRows; ++r)
      for (int c = 0; c < kMorphColumns; ++c) {
        bool inner = r > 0 && r < kMorphRows - 1 && c > 0 && c < kMorphColumns - 1;
        g.first[r][c] = {40 * c, 40 * r};
        g.second[r][c] = {320 + 40 * c + (inner ? (r * 7 + c * 3) % 13 - 6 : 0),
                          40 * r + (inner ? (r * 5 + c * 11) % 15 - 7 : 0)};
      }
    return g;
  }
  static uint32_t Scaled255(uint32_t p) {
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) out |= ((((p >> s) & 0xFF) * 255) >> 8) << s;
    return out;
  }
  std::vector<uint32_t> first, second;
};

TEST_F(MorphRender, EndsShowOnePictureUndistorted) {
  Morph = BentGrid();
  // t = 1 ends on the second picture, t = 0 on the first; t outside 0..1 is
  // held at the ends. The cross-fade at level 255 or 0 scales by 255/256.
  struct Case {
    float t;
    bool showsSecond;
  } cases[] = {{1.0f, true}, {3.5f, true}, {0.0f, false}, {-2.0f, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t);
    std::vector<uint32_t> t1(kFramePixels, 0x123456), t2(kFramePixels, 0x654321);
    RenderMorph(t1.data(), t2.data(), first.data(), second.data(), c.t);
    const std::vector<uint32_t>& expect = c.showsSecond ? second : first;
    int wrong = 0;
    for (int i = 0; i < kFramePixels; ++i) wrong += t1[i] != Scaled255(expect[i]);
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(MorphRender, EmptyGridDrawsNoPixel) {
  std::memset(&Morph, 0, sizeof Morph);
  std::vector<uint8_t> bad = {'n', 'o', 't'};
  bad.resize(1043, 0);
  const char* message;
  EXPECT_EQ(MorphFileParse(bad.data(), bad.size(), &Morph, &message), MORPH_FILE_BAD_MAGIC);
  std::vector<uint32_t> t1(kFramePixels, 0x00ABCDEF), t2(kFramePixels, 0x00FEDCBA);
  RenderMorph(t1.data(), t2.data(), first.data(), second.data(), 0.3f);
  for (int i = 0; i < kFramePixels; i += 97) ASSERT_EQ(t2[i], 0x00FEDCBAu);
}

TEST_F(MorphRender, FillerClampsAndSkipsDegenerateTriangles) {
  struct ClampCase {
    float x, y, cx, cy;
  } clamps[] = {
      {318.5f, 239.0f, 320.0f, 240.0f}, {318.0f, 238.9f, 318.0f, 238.9f},
      {-5.0f, -0.0f, 0.0f, 0.0f},       {0.99f, 1.0f, 0.0f, 1.0f},
      {1e30f, -1e30f, 320.0f, 0.0f},
  };
  std::vector<uint32_t> target(kFramePixels, 0);
  for (const ClampCase& c : clamps) {
    MorphVertex a = {c.x, c.y, 0, 0}, b = a, d = a;
    DrawMorphTriangle(&a, &b, &d, target.data(), first.data());
    EXPECT_EQ(a.x, c.cx) << c.x;
    EXPECT_EQ(a.y, c.cy) << c.y;
  }
  struct Degenerate {
    const char* name;
    MorphVertex a, b, c;
  } flat[] = {
      {"one scanline", {10, 20.2f, 0, 0}, {100, 20.9f, 5, 5}, {50, 20.5f, 9, 9}},
      {"zero area", {10, 10, 0, 0}, {20, 20, 5, 5}, {40, 40, 9, 9}},
      {"one point", {30, 30, 1, 1}, {30, 30, 2, 2}, {30, 30, 3, 3}},
  };
  for (auto& f : flat) {
    DrawMorphTriangle(&f.a, &f.b, &f.c, target.data(), first.data());
    int drawn = 0;
    for (uint32_t p : target) drawn += p != 0;
    EXPECT_EQ(drawn, 0) << f.name;
  }
}

TEST_F(MorphRender, TexturesOffThePictureAreHeldAtItsEdge) {
  std::vector<uint32_t> target(kFramePixels, 0);
  MorphVertex a = {0, 0, -5000, -5000}, b = {320, 0, 90000, -5000}, c = {0, 240, -5000, 1e9f};
  DrawMorphTriangle(&a, &b, &c, target.data(), first.data());
  EXPECT_EQ(target[0], first[0]);  // held at column 0, row 0
}

}  // namespace
