#include <gtest/gtest.h>

#include <vector>

#include "show/fade.h"
#include "show/show.h"
#include "show/timeline.h"

namespace {

struct Call {
  int param;
  float t, start, end, progress;
};
std::vector<Call> calls;

int Recorder(uint32_t*, float t, float start, float end, float progress, int param) {
  calls.push_back({param, t, start, end, progress});
  return 0;
}

TEST(Timeline, RowRunsFromStartUpToButNotAtEnd) {
  const TimelineEntry table[] = {{1.0f, 2.0f, 7, Recorder}, {1.5f, 3.0f, 8, Recorder}};
  struct Case {
    float t;
    std::vector<int> params;
    int running;
  } cases[] = {
      {0.5f, {}, 1},     {1.0f, {7}, 1},  {1.5f, {7, 8}, 1},  // table order is drawing order
      {2.0f, {8}, 1},    {3.0f, {}, 1},   // at the last end: nothing runs, show goes on
      {3.01f, {}, 0},
  };
  for (const Case& c : cases) {
    calls.clear();
    EXPECT_EQ(RunTimeline(nullptr, table, 2, c.t), c.running) << c.t;
    std::vector<int> params;
    for (const Call& call : calls) params.push_back(call.param);
    EXPECT_EQ(params, c.params) << c.t;
  }
  calls.clear();
  RunTimeline(nullptr, table, 1, 1.25f);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FLOAT_EQ(calls[0].progress, 0.25f);
  EXPECT_EQ(calls[0].start, 1.0f);
  EXPECT_EQ(calls[0].end, 2.0f);
}

TEST(Timeline, ShowTableEndsAfter266Seconds) {
  EXPECT_EQ(Timeline[64].end, 266.0f);
  EXPECT_EQ(Timeline[53].start, 180.6f);
  const TimelineEntry nulls[] = {{0.0f, 266.0f, 0, nullptr}};
  EXPECT_EQ(RunTimeline(nullptr, nulls, 1, 266.0f), 1);
  EXPECT_EQ(RunTimeline(nullptr, Timeline, kTimelineRows, 266.0f), 1);
  EXPECT_EQ(RunTimeline(nullptr, Timeline, kTimelineRows, 266.01f), 0);
  // Every row ends after it starts, and rows 22-25 of the envelope are the
  // only keys out of time order.
  for (int i = 0; i < kTimelineRows; ++i) EXPECT_LT(Timeline[i].start, Timeline[i].end) << i;
  for (int i = 1; i < kFadeKeys; ++i) {
    if (i == 22) continue;
    EXPECT_LE(FadeEnvelope[i - 1].time, FadeEnvelope[i].time) << i;
  }
  EXPECT_GT(FadeEnvelope[21].time, FadeEnvelope[22].time);
}

class FadeEnvelopeTest : public ::testing::Test {
 protected:
  void SetUp() override { InitFadeOperations(320, 240, 1); }
  // The frame a grey 0x808080 frame becomes at t.
  uint32_t Apply(float t, int* result = nullptr) {
    std::vector<uint32_t> frame(76800, 0x808080);
    int r = RunFadeEnvelope(frame.data(), FadeEnvelope, kFadeKeys, t);
    if (result) *result = r;
    for (uint32_t p : frame) EXPECT_EQ(p, frame[0]);
    return frame[0];
  }
};

TEST_F(FadeEnvelopeTest, LevelsFollowTheKeys) {
  struct Case {
    float t;
    uint32_t pixel;
  } cases[] = {
      {-1.0f, 0x000000},   // before the start: key 0, black
      {0.0f, 0x000000},    // key 0: darken 1
      {1.0f, 0x404040},    // halfway to key 1: darken level 127 -> 128 * 128 >> 8
      {2.0f, 0x808080},    // exact key time: that key's values
      {14.0f, 0x808080},   // keys 22-25 (13-15 s) never take effect
      {28.0f, 0x808080},   // (27.6, 29.0] interpolates from key 25: zero
      {29.3f, 0xFEFEFE},   // full flash: 128 + ((127 * 255) >> 8)
  };
  for (const Case& c : cases) EXPECT_EQ(Apply(c.t), c.pixel) << c.t;
}

TEST_F(FadeEnvelopeTest, StopsAfterTheLastKey) {
  int result = 0;
  EXPECT_EQ(Apply(224.35f, &result), 0x808080u);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Apply(224.36f, &result), 0x808080u);
  EXPECT_EQ(result, 0);
  std::vector<uint32_t> frame(76800, 0x808080);
  EXPECT_EQ(ShowFrame(frame.data(), 250.0f), 1);  // the timeline still runs
  EXPECT_EQ(ShowFrame(frame.data(), 266.5f), 0);
}

TEST(SoundClock, CountsWrapsOfTheLoopingBuffer) {
  SoundClockState s = {0, 0};
  const uint32_t size = 1638400;
  EXPECT_FLOAT_EQ(SoundClockTime(&s, size, 88200, 16, 44100), 1.0f);
  EXPECT_FLOAT_EQ(SoundClockTime(&s, size, size - 2, 16, 44100), (size - 2) / 88200.0f);
  EXPECT_FLOAT_EQ(SoundClockTime(&s, size, 100, 16, 44100), (size + 100) / 88200.0f);
  EXPECT_EQ(s.wrappedBytes, size);
  EXPECT_FLOAT_EQ(SoundClockTime(&s, size, 200, 8, 22050), (size + 200) / 22050.0f);
}

TEST(ShowClock, SecondsFromTheMillisecondCounter) {
  EXPECT_FLOAT_EQ(SecondsSince(1500, 500.0f), 1.0f);
  EXPECT_FLOAT_EQ(SecondsSince(0, 0.0f), 0.0f);
  EXPECT_FLOAT_EQ(SecondsSince(266001, 0.0f), 266.001f);
  // The counter is read unsigned: past 2^31 ms it does not turn negative.
  EXPECT_GT(SecondsSince(0x80000010u, static_cast<float>(0x80000000u)), 0.0f);
}

}  // namespace
