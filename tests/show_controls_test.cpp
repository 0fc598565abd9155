// Where the scene keys and seeks land, and the window icon.
#include <gtest/gtest.h>

#include <vector>

#include "show/controls.h"

namespace {

const TimelineEntry kScript[] = {
    {0.0f, 4.0f, 0, nullptr},
    {0.0f, 4.0f, 1, nullptr},  // overlapping rows share a start
    {4.0f, 10.0f, 0, nullptr},
    {9.5f, 12.0f, 0, nullptr},
    {12.0f, 20.0f, 0, nullptr},
};
constexpr int kRows = 5;

TEST(ControlsTest, SceneKeysGoToTheRowStarts) {
  struct Case {
    double t, previous, next;
  };
  const Case cases[] = {
      {0.0, 0.0, 4.0},
      {2.0, 0.0, 4.0},
      {4.0, 0.0, 9.5},    // on a start: next moves on
      {4.5, 0.0, 9.5},    // early in a scene: previous is the scene before
      {6.0, 4.0, 9.5},
      {9.6, 4.0, 12.0},
      {13.5, 12.0, 20.0}, // the last scene: next is the end of the show
      {20.0, 12.0, 20.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t);
    EXPECT_DOUBLE_EQ(PreviousSceneStart(kScript, kRows, c.t), c.previous);
    EXPECT_DOUBLE_EQ(NextSceneStart(kScript, kRows, c.t), c.next);
  }
}

TEST(ControlsTest, SeeksStayInsideTheShow) {
  EXPECT_DOUBLE_EQ(ClampShowTime(kScript, kRows, -5.0), 0.0);
  EXPECT_DOUBLE_EQ(ClampShowTime(kScript, kRows, 7.25), 7.25);
  EXPECT_DOUBLE_EQ(ClampShowTime(kScript, kRows, 25.0), 20.0);
  EXPECT_DOUBLE_EQ(ClampShowTime(kScript, kRows, 0.0 / 0.0), 0.0);
}

TEST(ControlsTest, IconAveragesTheMiddleSquare) {
  // 6 x 4 picture: the middle 4 x 4 square is columns 1..4; a 2 x 2 icon
  // averages 2 x 2 blocks of it. The outer columns must not count.
  std::vector<uint32_t> picture(6 * 4, 0xFFFFFF);
  for (int y = 0; y < 4; ++y)
    for (int x = 1; x < 5; ++x) picture[y * 6 + x] = (x < 3 ? 0x100000 : 0x000010) * (y < 2 ? 1 : 3);
  picture[1] = 0x300000;  // one pixel of the top-left block differs
  uint32_t icon[4];
  MakeIcon(picture.data(), 6, 4, icon, 2);
  EXPECT_EQ(icon[0], 0x180000u);  // (0x30 + 3 x 0x10) / 4
  EXPECT_EQ(icon[1], 0x000010u);
  EXPECT_EQ(icon[2], 0x300000u);
  EXPECT_EQ(icon[3], 0x000030u);
}

}  // namespace
