// The generator's bitmap font: the marks of a text span exactly the width it
// reports and the rows of its glyphs, and characters it lacks are counted.
#include <gtest/gtest.h>

#include "tools/generator.h"

namespace {

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

Box Marks(const Mask& m) {
  Box b;
  for (int y = 0; y < m.height; y++)
    for (int x = 0; x < m.width; x++)
      if (m.bits[y * m.width + x]) {
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
      }
  return b;
}

TEST(Font, TextCoversItsReportedWidthAndItsGlyphRows) {
  struct Case {
    const char* text;
    int scale;
    int rows;  // glyph rows covered: 7 above the baseline, 9 with descenders
    // (texts whose first and last glyphs reach the edges of their cells)
  } cases[] = {{"KESTRIVANE", 3, 7}, {"Kestrivane", 2, 7}, {"dog", 6, 9}, {"M", 1, 7}, {"MW", 4, 7}};
  for (const Case& c : cases) {
    Mask m = MakeMask(400, 100);
    EXPECT_EQ(TextMask(&m, c.text, 5, 3, c.scale), 0) << c.text;
    Box b = Marks(m);
    EXPECT_EQ(b.x0, 5) << c.text;
    EXPECT_EQ(b.x1 - b.x0 + 1, TextWidth(c.text, c.scale)) << c.text;
    EXPECT_EQ(b.y0, 3) << c.text;
    EXPECT_EQ(b.y1 - b.y0 + 1, c.rows * c.scale) << c.text;
  }
}

TEST(Font, CountsCharactersWithoutAGlyphButNotSpaces) {
  Mask m = MakeMask(200, 20);
  int before = FontMissingGlyphs();
  EXPECT_EQ(TextMask(&m, "a b", 0, 0, 1), 0);
  EXPECT_EQ(TextMask(&m, "a~b#", 0, 0, 1), 2);
  EXPECT_EQ(FontMissingGlyphs() - before, 2);
  // Text running off the mask is cut, never written outside it.
  Mask small = MakeMask(8, 4);
  TextMask(&small, "WWWW", -3, -2, 3);
  EXPECT_EQ(small.bits.size(), 32u);
}

}  // namespace
