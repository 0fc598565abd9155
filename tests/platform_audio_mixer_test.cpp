#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio.h"
#include "platform/system.h"

namespace {

// Capture mode's virtual device at 22050 Hz: the callback's mixer, pulled.
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
  // A playing, looping ring of 16-bit samples made by value(i).
  PlatformAudioBuffer* Ring(uint32_t samples, int rate, double (*value)(uint32_t, int)) {
    PlatformAudioBuffer* b = PlatformAudioBufferCreate(samples * 2, rate, 16);
    void *p1, *p2;
    uint32_t n1, n2;
    if (!b || !PlatformAudioBufferLock(b, 0, samples * 2, &p1, &n1, &p2, &n2)) return nullptr;
    for (uint32_t i = 0; i < samples; ++i) {
      int16_t v = int16_t(std::lrint(value(i, rate)));
      std::memcpy(static_cast<uint8_t*>(p1) + 2 * i, &v, 2);
    }
    PlatformAudioBufferUnlock(b, p1, n1, p2, n2);
    PlatformAudioBufferPlay(b, 1);
    return b;
  }
  std::vector<int16_t> Pull(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_EQ(PlatformAudioPull(out.data(), frames), frames);
    return out;
  }
};

TEST_F(AudioMixerTest, VolumeAndPanInHundredthsOfADecibel) {
  const struct {
    int volume, pan, left, right;
  } cases[] = {{0, 0, 10000, 10000},   {-600, 0, 5012, 5012},    {-10000, 0, 0, 0},
               {0, -10000, 10000, 0},  {0, 10000, 0, 10000},     {0, 600, 5012, 10000},
               {-2000, 2000, 100, 1000}, {-9999, 0, 0, 0}};
  PlatformAudioBuffer* b = Ring(64, 22050, [](uint32_t, int) { return 10000.0; });
  ASSERT_NE(b, nullptr);
  for (const auto& c : cases) {
    ASSERT_EQ(PlatformAudioBufferSetVolume(b, c.volume), 1);
    ASSERT_EQ(PlatformAudioBufferSetPan(b, c.pan), 1);
    std::vector<int16_t> out = Pull(100);
    EXPECT_EQ(out[198], c.left) << c.volume << " " << c.pan;
    EXPECT_EQ(out[199], c.right) << c.volume << " " << c.pan;
  }
  // A second ring adds in and the sum clips.
  PlatformAudioBufferSetVolume(b, 0);
  Ring(64, 22050, [](uint32_t, int) { return 30000.0; });
  EXPECT_EQ(Pull(10)[1], 32767);
}

// Sines played at rates other than the device's follow the continuous sine;
// a tone above the device's Nyquist frequency is removed, not folded back.
TEST_F(AudioMixerTest, ResamplingFollowsTheSignalAndDoesNotAlias) {
  const struct {
    int rate, hz;
    bool passes;
  } cases[] = {{44100, 1000, true},  {11025, 3000, true},   {48000, 5000, true},
               {8000, 440, true},    {44100, 15000, false}, {48000, 12500, false}};
  static int hz;
  for (const auto& c : cases) {
    hz = c.hz;
    // One second of a whole number of cycles, so the loop is seamless.
    PlatformAudioBuffer* b = Ring(uint32_t(c.rate), c.rate, [](uint32_t i, int rate) {
      return 20000.0 * std::sin(2.0 * M_PI * hz * i / rate);
    });
    ASSERT_NE(b, nullptr);
    std::vector<int16_t> out = Pull(22050);
    PlatformAudioBufferStop(b);
    double diff = 0.0, level = 0.0, power = 0.0;
    for (int j = 0; j < 22050; ++j) {
      double want = 20000.0 * std::sin(2.0 * M_PI * c.hz * j / 22050.0);
      diff += (out[2 * j] - want) * (out[2 * j] - want);
      level += double(out[2 * j]) * out[2 * j];
      power += want * want;
    }
    EXPECT_LT(std::sqrt((c.passes ? diff : level) / power), 1e-3) << c.rate << " " << c.hz;
  }
}

}  // namespace

namespace {

// The listener's volume scales the whole mix by the square of its fraction
// and stays within 0..100; a capture device takes the rate set for it.
TEST_F(AudioMixerTest, MasterVolumeAndCaptureRate) {
  PlatformAudioBuffer* b = Ring(64, 22050, [](uint32_t, int) { return 10000.0; });
  ASSERT_NE(b, nullptr);
  const struct {
    int set, kept, level;
  } cases[] = {{100, 100, 10000}, {50, 50, 2500}, {70, 70, 4900}, {0, 0, 0}, {-20, 0, 0},
               {140, 100, 10000}};
  for (const auto& c : cases) {
    PlatformAudioSetMasterVolume(c.set);
    EXPECT_EQ(PlatformAudioMasterVolume(), c.kept) << c.set;
    std::vector<int16_t> out = Pull(10);
    EXPECT_EQ(out[18], c.level) << c.set;
    EXPECT_EQ(out[19], c.level) << c.set;
  }
  PlatformAudioClose();
  PlatformAudioSetCaptureRate(44100);
  ASSERT_EQ(PlatformAudioOpen(22050), 1);
  EXPECT_EQ(PlatformAudioRate(), 44100);
  PlatformAudioClose();
  PlatformAudioSetCaptureRate(0);
  ASSERT_EQ(PlatformAudioOpen(22050), 1);
  EXPECT_EQ(PlatformAudioRate(), 22050);
}

// On the virtual device the locked regions are the ring itself; a wrapping
// lock still splits at the ring's end and what is written stays written.
TEST(AudioVirtualRing, WrappingLockWritesWhereTheRegionsMap) {
  PlatformSetCaptureMode(1);
  ASSERT_EQ(PlatformAudioOpen(22050), 1);
  PlatformAudioBuffer* b = PlatformAudioBufferCreate(1000, 22050, 8);
  ASSERT_NE(b, nullptr);
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  ASSERT_EQ(PlatformAudioBufferLock(b, 900, 300, &p1, &n1, &p2, &n2), 1);
  EXPECT_EQ(n1, 100u);
  EXPECT_EQ(n2, 200u);
  ASSERT_NE(p2, nullptr);
  // A second lock while one is out is refused.
  void *q1, *q2;
  uint32_t m1, m2;
  EXPECT_EQ(PlatformAudioBufferLock(b, 0, 10, &q1, &m1, &q2, &m2), 0);
  std::memset(p1, 0x11, n1);
  std::memset(p2, 0x22, n2);
  ASSERT_EQ(PlatformAudioBufferUnlock(b, p1, n1, p2, n2), 1);
  ASSERT_EQ(PlatformAudioBufferLock(b, 0, 1000, &p1, &n1, &p2, &n2), 1);
  const uint8_t* ring = static_cast<const uint8_t*>(p1);
  const struct {
    int index;
    uint8_t value;
  } expect[] = {{0, 0x22}, {199, 0x22}, {200, 0x80}, {899, 0x80}, {900, 0x11}, {999, 0x11}};
  for (const auto& e : expect) EXPECT_EQ(ring[e.index], e.value) << e.index;
  EXPECT_EQ(PlatformAudioBufferUnlock(b, p1, n1, p2, n2), 1);
  PlatformAudioClose();
  PlatformSetCaptureMode(0);
}

}  // namespace
