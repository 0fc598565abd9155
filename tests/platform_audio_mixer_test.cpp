#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/system.h"

namespace {

// The virtual device of capture mode at 22050 Hz: the same mixer as the
// audio callback, pulled by the test.
class AudioMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetCaptureMode(1);
    ASSERT_EQ(PlatformAudioOpen(22050), 1);
  }
  void TearDown() override {
    PlatformAudioClose();
    PlatformSetCaptureMode(0);
  }
  std::vector<int16_t> Pull(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_EQ(PlatformAudioPull(out.data(), frames), frames);
    return out;
  }
};

PlatformAudioBuffer* Ring16(uint32_t samples, int rate, const std::vector<int16_t>& fill) {
  PlatformAudioBuffer* b = PlatformAudioBufferCreate(samples * 2, rate, 16);
  if (!b) return nullptr;
  void *p1, *p2;
  uint32_t n1, n2;
  if (!PlatformAudioBufferLock(b, 0, samples * 2, &p1, &n1, &p2, &n2)) return nullptr;
  for (uint32_t i = 0; i < samples; ++i) {
    int16_t v = fill[i % fill.size()];
    std::memcpy(static_cast<uint8_t*>(p1) + 2 * i, &v, 2);
  }
  PlatformAudioBufferUnlock(b, p1, n1, p2, n2);
  return b;
}

TEST_F(AudioMixerTest, LockRegions) {
  PlatformAudioBuffer* b = PlatformAudioBufferCreate(1000, 22050, 8);
  ASSERT_NE(b, nullptr);
  const struct {
    uint32_t offset, bytes;
    int ok;
    uint32_t first, second;
  } cases[] = {
      {0, 1000, 1, 1000, 0}, {999, 1, 1, 1, 0},     {999, 2, 1, 1, 1},
      {500, 1000, 1, 500, 500}, {1000, 1, 0, 0, 0}, {0, 0, 0, 0, 0},
      {0, 1001, 0, 0, 0},
  };
  for (const auto& c : cases) {
    void* p1 = nullptr;
    void* p2 = reinterpret_cast<void*>(1);
    uint32_t n1 = 7, n2 = 7;
    ASSERT_EQ(PlatformAudioBufferLock(b, c.offset, c.bytes, &p1, &n1, &p2, &n2), c.ok)
        << c.offset << "+" << c.bytes;
    if (!c.ok) continue;
    EXPECT_EQ(n1, c.first);
    EXPECT_EQ(n2, c.second);
    EXPECT_EQ(p2 != nullptr, c.second != 0);
    // The second region is the start of the ring: the range wrapped.
    if (c.second) {
      EXPECT_EQ(static_cast<uint8_t*>(p2) + c.offset, p1);
    }
    void *q1, *q2;
    uint32_t m1, m2;
    EXPECT_EQ(PlatformAudioBufferLock(b, 0, 10, &q1, &m1, &q2, &m2), 0) << "locked twice";
    EXPECT_EQ(PlatformAudioBufferUnlock(b, static_cast<uint8_t*>(p1) + 1, n1, p2, n2), 0);
    EXPECT_EQ(PlatformAudioBufferUnlock(b, p1, n1, p2, n2), 1);
    EXPECT_EQ(PlatformAudioBufferUnlock(b, p1, n1, p2, n2), 0) << "not locked";
  }
}

TEST_F(AudioMixerTest, CreateRefusesWhatItCannotPlay) {
  const struct {
    uint32_t bytes;
    int rate, bits;
  } cases[] = {{0, 22050, 16}, {3, 22050, 8}, {1001, 22050, 16}, {0x10000000, 22050, 16},
               {1000, 99, 16}, {1000, 200001, 16}, {1000, 22050, 12}};
  for (const auto& c : cases)
    EXPECT_EQ(PlatformAudioBufferCreate(c.bytes, c.rate, c.bits), nullptr)
        << c.bytes << " " << c.rate << " " << c.bits;
}

TEST_F(AudioMixerTest, VolumeAndPanInHundredthsOfADecibel) {
  const struct {
    int volume, pan;
    int left, right;
  } cases[] = {
      {0, 0, 10000, 10000},       {-600, 0, 5012, 5012},     {-10000, 0, 0, 0},
      {0, -10000, 10000, 0},      {0, 10000, 0, 10000},      {0, 600, 5012, 10000},
      {0, -2000, 10000, 1000},    {-2000, 2000, 100, 1000},  {-9999, 0, 0, 0},
  };
  PlatformAudioBuffer* b = Ring16(64, 22050, {10000});
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(PlatformAudioBufferPlay(b, 1), 1);
  for (const auto& c : cases) {
    ASSERT_EQ(PlatformAudioBufferSetVolume(b, c.volume), 1);
    ASSERT_EQ(PlatformAudioBufferSetPan(b, c.pan), 1);
    std::vector<int16_t> out = Pull(100);
    for (int j = 0; j < 100; ++j) {
      ASSERT_EQ(out[2 * j], c.left) << c.volume << " " << c.pan;
      ASSERT_EQ(out[2 * j + 1], c.right) << c.volume << " " << c.pan;
    }
  }
  EXPECT_EQ(PlatformAudioBufferSetVolume(b, 1), 0);
  EXPECT_EQ(PlatformAudioBufferSetVolume(b, -10001), 0);
  EXPECT_EQ(PlatformAudioBufferSetPan(b, 10001), 0);
}

TEST_F(AudioMixerTest, EightBitSamplesAreUnsignedAndRingsSumWithClipping) {
  const struct {
    uint8_t byte;
    int16_t alone, withLoud;
  } cases[] = {{0x80, 0, 30000}, {0xFF, 32512, 32767}, {0x00, -32768, -2768}, {0x81, 256, 30256}};
  PlatformAudioBuffer* eight = PlatformAudioBufferCreate(256, 22050, 8);
  PlatformAudioBuffer* loud = Ring16(128, 22050, {30000});
  ASSERT_NE(eight, nullptr);
  ASSERT_NE(loud, nullptr);
  PlatformAudioBufferPlay(eight, 1);
  // A new 8-bit ring is silent.
  EXPECT_EQ(Pull(10)[0], 0);
  for (const auto& c : cases) {
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(PlatformAudioBufferLock(eight, 0, 256, &p1, &n1, &p2, &n2), 1);
    std::memset(p1, c.byte, n1);
    PlatformAudioBufferUnlock(eight, p1, n1, p2, n2);
    PlatformAudioBufferStop(loud);
    EXPECT_EQ(Pull(10)[0], c.alone) << int(c.byte);
    PlatformAudioBufferPlay(loud, 1);
    EXPECT_EQ(Pull(10)[1], c.withLoud) << int(c.byte);
  }
}

// Sine rings played at rates other than the device's: the output follows the
// continuous sine, and a tone above the device's Nyquist frequency is removed
// rather than folded back.
TEST_F(AudioMixerTest, ResamplingFollowsTheSignalAndDoesNotAlias) {
  const struct {
    int rate;
    double hz;
    double maxError;  // relative RMS error against the ideal sine
    double maxLevel;  // relative RMS level when the tone must vanish
  } cases[] = {
      {44100, 1000.0, 1e-3, 0},  {11025, 3000.0, 1e-3, 0}, {48000, 5000.0, 1e-3, 0},
      {8000, 440.0, 1e-3, 0},    {44100, 15000.0, 0, 1e-3}, {48000, 12500.0, 0, 1e-3},
  };
  for (const auto& c : cases) {
    const uint32_t samples = uint32_t(c.rate);  // one second, a whole number of cycles
    std::vector<int16_t> sine(samples);
    for (uint32_t i = 0; i < samples; ++i)
      sine[i] = int16_t(std::lrint(20000.0 * std::sin(2.0 * M_PI * c.hz * i / c.rate)));
    PlatformAudioBuffer* b = Ring16(samples, c.rate, sine);
    ASSERT_NE(b, nullptr);
    PlatformAudioBufferPlay(b, 1);
    std::vector<int16_t> out = Pull(22050);
    PlatformAudioBufferStop(b);
    double diff = 0.0, level = 0.0, power = 0.0;
    for (int j = 0; j < 22050; ++j) {
      double want = 20000.0 * std::sin(2.0 * M_PI * c.hz * j / 22050.0);
      diff += (out[2 * j] - want) * (out[2 * j] - want);
      level += double(out[2 * j]) * out[2 * j];
      power += want * want;
    }
    if (c.maxError > 0) {
      EXPECT_LT(std::sqrt(diff / power), c.maxError) << c.rate << " " << c.hz;
    }
    if (c.maxLevel > 0) {
      EXPECT_LT(std::sqrt(level / power), c.maxLevel) << c.rate << " " << c.hz;
    }
  }
}

TEST_F(AudioMixerTest, CursorLoopsOrStopsAtTheEnd) {
  PlatformAudioBuffer* b = Ring16(1000, 11025, {1000});
  ASSERT_NE(b, nullptr);
  uint32_t play = 1, write = 1, size = 0;
  ASSERT_EQ(PlatformAudioBufferSize(b, &size), 1);
  EXPECT_EQ(size, 2000u);
  // Half the device rate: one sample every second frame.
  PlatformAudioBufferPlay(b, 0);
  Pull(1999);
  ASSERT_EQ(PlatformAudioBufferPosition(b, &play, &write), 1);
  EXPECT_EQ(play, 1998u);
  EXPECT_NE(write, play);
  Pull(1);
  PlatformAudioBufferPosition(b, &play, nullptr);
  EXPECT_EQ(play, 0u);
  EXPECT_EQ(Pull(1)[0], 0) << "stopped at the end";

  ASSERT_EQ(PlatformAudioBufferSetPosition(b, 1990), 1);
  EXPECT_EQ(PlatformAudioBufferSetPosition(b, 2000), 0);
  PlatformAudioBufferPlay(b, 1);
  Pull(30);
  PlatformAudioBufferPosition(b, &play, nullptr);
  EXPECT_EQ(play, (1990u + 30u) % 2000u);
  EXPECT_NE(Pull(1)[0], 0) << "still looping";
}

TEST(AudioDevice, PullNeedsTheVirtualDevice) {
  int16_t out[8];
  EXPECT_EQ(PlatformAudioPull(out, 4), 0);
  EXPECT_EQ(PlatformAudioRate(), 0);
  EXPECT_EQ(PlatformAudioBufferCreate(1000, 22050, 16), nullptr);
}

// The real callback on SDL's audio thread (dummy driver): the cursor moves
// while playing and holds still once stopped.
TEST(AudioDevice, CallbackAdvancesTheCursor) {
  PlatformSetCaptureMode(0);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(PlatformAudioOpen(22050), 1);
  EXPECT_GT(PlatformAudioRate(), 0);
  int16_t out[8];
  EXPECT_EQ(PlatformAudioPull(out, 4), 0) << "a real device is not pulled";
  PlatformAudioBuffer* b = PlatformAudioBufferCreate(88200, 22050, 16);
  ASSERT_NE(b, nullptr);
  PlatformAudioBufferPlay(b, 1);
  uint32_t play = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (play == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PlatformAudioBufferPosition(b, &play, nullptr);
  }
  EXPECT_GT(play, 0u);
  PlatformAudioBufferStop(b);
  uint32_t stopped = 0, later = 0;
  PlatformAudioBufferPosition(b, &stopped, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  PlatformAudioBufferPosition(b, &later, nullptr);
  EXPECT_EQ(stopped, later);
  PlatformAudioClose();
  EXPECT_EQ(PlatformAudioRate(), 0);
}

}  // namespace
