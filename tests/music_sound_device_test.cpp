#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "music/sound_device.h"
#include "platform/audio.h"
#include "platform/system.h"

namespace {

// The device used here is the virtual one of capture mode: same mixer, pulled
// by the test instead of an audio thread.
class SoundDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetCaptureMode(1);
    ASSERT_EQ(SoundStart(22050, 16), 1);
  }
  void TearDown() override {
    SoundRelease();
    PlatformSetCaptureMode(0);
  }
};

TEST_F(SoundDeviceTest, VolumeTableTellingValues) {
  const struct {
    int level;
    int32_t hundredths;
  } cases[] = {{0, -10000}, {1, -5541}, {2, -4848}, {64, -1382},
               {128, -689}, {254, -3},  {255, 0}};
  const SoundDevice* d = SoundDeviceState();
  for (const auto& c : cases) EXPECT_EQ(d->VolumeTable[c.level], c.hundredths) << c.level;
}

TEST_F(SoundDeviceTest, SecondStartKeepsTheOpenDevice) {
  EXPECT_EQ(SoundStart(44100, 8), 1);
  EXPECT_EQ(SoundDeviceState()->rate, 22050);
  EXPECT_EQ(SoundDeviceState()->bits, 16);
  EXPECT_EQ(PlatformAudioRate(), 22050);
  SoundRelease();
  EXPECT_EQ(SoundDeviceState()->initialised, 0);
  EXPECT_EQ(PlatformAudioRate(), 0);
}

TEST_F(SoundDeviceTest, PlayClampsVolumeAndPan) {
  const struct {
    int volume, pan;
    int32_t keptVolume, keptPan;
    int platformVolume, platformPan;
  } cases[] = {
      {300, 200, 255, 127, 0, 10000},       {-5, -1, 0, -1, -10000, -78},
      {128, -127, 128, -127, -689, -10000}, {64, 64, 64, 64, -1382, 5039},
      {255, -200, 255, -127, 0, -10000},    {1, 1, 1, 1, -5541, 78},
  };
  SoundBuffer* b = SoundBufferCreate(4096, 22050, 16);
  ASSERT_NE(b, nullptr);
  for (const auto& c : cases) {
    SoundBufferPlay(b, 0, 22050, c.volume, c.pan);
    int volume = 1, pan = 1;
    ASSERT_EQ(PlatformAudioBufferGetVolume(b->buffer, &volume), 1);
    ASSERT_EQ(PlatformAudioBufferGetPan(b->buffer, &pan), 1);
    EXPECT_EQ(b->volume, c.keptVolume) << c.volume;
    EXPECT_EQ(b->pan, c.keptPan) << c.pan;
    EXPECT_EQ(volume, c.platformVolume) << c.volume;
    EXPECT_EQ(pan, c.platformPan) << c.pan;
  }
}

TEST_F(SoundDeviceTest, PlayKeepsTheOldRateWhenTheNewOneIsRefused) {
  SoundBuffer* b = SoundBufferCreate(4096, 44100, 16);
  ASSERT_NE(b, nullptr);
  SoundBufferPlay(b, 0, 11025, 255, 0);
  EXPECT_EQ(b->rate, 11025);
  SoundBufferPlay(b, 0, 5000000, 255, 0);
  EXPECT_EQ(b->rate, 11025);
}

TEST_F(SoundDeviceTest, LockGivesOneOrTwoRegionsAndRelocksAfterUnlocking) {
  SoundBuffer* b = SoundBufferCreate(1000, 22050, 8);
  ASSERT_NE(b, nullptr);
  uint8_t* start = nullptr;

  ASSERT_EQ(SoundBufferLock(b, 0, 1000), 1);
  start = static_cast<uint8_t*>(b->lockPointer1);
  EXPECT_EQ(b->lockBytes1, 1000u);
  EXPECT_EQ(b->lockPointer2, nullptr);
  EXPECT_EQ(b->lockBytes2, 0u);

  // Still locked: the second lock gives the first back and takes the new range.
  ASSERT_EQ(SoundBufferLock(b, 900, 300), 1);
  EXPECT_EQ(b->isLocked, 1);
  EXPECT_EQ(b->lockPointer1, start + 900);
  EXPECT_EQ(b->lockBytes1, 100u);
  EXPECT_EQ(b->lockPointer2, start);
  EXPECT_EQ(b->lockBytes2, 200u);
  EXPECT_EQ(SoundBufferUnlock(b), 1);
  EXPECT_EQ(b->isLocked, 0);
  EXPECT_EQ(SoundBufferUnlock(b), 1);  // nothing to give back

  // A refused lock leaves nothing to write through.
  EXPECT_EQ(SoundBufferLock(b, 1000, 10), 0);
  EXPECT_EQ(b->isLocked, 0);
  EXPECT_EQ(b->lockPointer1, nullptr);
  EXPECT_EQ(b->lockBytes1, 0u);
  EXPECT_EQ(SoundBufferLock(b, 0, 1001), 0);
  EXPECT_EQ(b->lockPointer1, nullptr);

  EXPECT_EQ(SoundBufferLock(nullptr, 0, 10), 0);
  EXPECT_EQ(SoundBufferPosition(nullptr), kSoundPositionUnknown);
  uint32_t size = 0;
  EXPECT_EQ(SoundBufferSize(nullptr, &size), 0);
}

TEST_F(SoundDeviceTest, PositionFollowsTheMixerAndWrapsWithTheLoop) {
  // 16-bit at twice the device rate: each device frame takes 4 bytes.
  SoundBuffer* b = SoundBufferCreate(8000, 44100, 16);
  ASSERT_NE(b, nullptr);
  uint32_t size = 0;
  ASSERT_EQ(SoundBufferSize(b, &size), 1);
  EXPECT_EQ(size, 8000u);
  b->looping = 1;
  SoundBufferPlay(b, 400, 44100, 255, 0);
  EXPECT_EQ(SoundBufferPosition(b), 400u);
  std::vector<int16_t> out(2 * 1500);
  ASSERT_EQ(PlatformAudioPull(out.data(), 1000), 1000);
  EXPECT_EQ(SoundBufferPosition(b), 4400u);
  ASSERT_EQ(PlatformAudioPull(out.data(), 1500), 1500);
  EXPECT_EQ(SoundBufferPosition(b), (4400u + 6000u) % 8000u);
  SoundBufferStop(b);
  ASSERT_EQ(PlatformAudioPull(out.data(), 100), 100);
  EXPECT_EQ(SoundBufferPosition(b), 2400u);
}

TEST(SoundDeviceRelease, StartFailsWithoutAnAudioDevice) {
  PlatformSetCaptureMode(0);
  const char* old = std::getenv("SDL_AUDIODRIVER");
  std::string saved = old ? old : "";
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  EXPECT_EQ(SoundStart(22050, 16), 0);
  EXPECT_EQ(SoundDeviceState()->initialised, 0);
  if (old)
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  else
    unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
