#include <gtest/gtest.h>

#include <cstring>

#include <cstdlib>

#include "music/sound_device.h"
#include "platform/audio.h"
#include "platform/system.h"

namespace {

// Capture mode's virtual device: the real mixer, no audio thread.
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

TEST_F(SoundDeviceTest, StartBuildsTheVolumeTableOnce) {
  const int level[] = {0, 1, 2, 64, 128, 254, 255};
  const int hundredths[] = {-10000, -5541, -4848, -1382, -689, -3, 0};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(SoundDeviceState()->VolumeTable[level[i]], hundredths[i]);
  EXPECT_EQ(SoundStart(44100, 8), 1);
  EXPECT_EQ(SoundDeviceState()->rate, 22050);
  EXPECT_EQ(PlatformAudioRate(), 22050);
}

TEST_F(SoundDeviceTest, PlayClampsVolumeAndPan) {
  const struct {
    int volume, pan, keptVolume, keptPan, platformVolume, platformPan;
  } cases[] = {{300, 200, 255, 127, 0, 10000},        {-5, -1, 0, -1, -10000, -78},
               {128, -127, 128, -127, -689, -10000}, {64, 64, 64, 64, -1382, 5039}};
  SoundBuffer* b = SoundBufferCreate(4096, 22050, 16);
  ASSERT_NE(b, nullptr);
  for (const auto& c : cases) {
    SoundBufferPlay(b, 0, 22050, c.volume, c.pan);
    int volume = 1, pan = 1;
    PlatformAudioBufferGetVolume(b->buffer, &volume);
    PlatformAudioBufferGetPan(b->buffer, &pan);
    EXPECT_EQ(b->volume, c.keptVolume);
    EXPECT_EQ(b->pan, c.keptPan);
    EXPECT_EQ(volume, c.platformVolume) << c.volume;
    EXPECT_EQ(pan, c.platformPan) << c.pan;
  }
}

TEST_F(SoundDeviceTest, LockWrapsRelocksAndNeverLeavesARefusedRegion) {
  SoundBuffer* b = SoundBufferCreate(1000, 22050, 8);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(SoundBufferLock(b, 0, 1000), 1);
  EXPECT_EQ(b->lockPointer2, nullptr);
  // Still locked: the lock is given back first, then the wrapping range taken:
  // the last 100 bytes of the ring, then its first 200.
  ASSERT_EQ(SoundBufferLock(b, 900, 300), 1);
  EXPECT_EQ(b->lockBytes1, 100u);
  ASSERT_NE(b->lockPointer2, nullptr);
  EXPECT_EQ(b->lockBytes2, 200u);
  std::memset(b->lockPointer1, 0x11, 100);
  std::memset(b->lockPointer2, 0x22, 200);
  EXPECT_EQ(SoundBufferUnlock(b), 1);
  EXPECT_EQ(SoundBufferUnlock(b), 1);
  // The written bytes landed where the two regions map in the ring, and the
  // bytes between them kept their silence.
  ASSERT_EQ(SoundBufferLock(b, 0, 1000), 1);
  const uint8_t* ring = static_cast<const uint8_t*>(b->lockPointer1);
  EXPECT_EQ(ring[0], 0x22);
  EXPECT_EQ(ring[199], 0x22);
  EXPECT_EQ(ring[200], 0x80);
  EXPECT_EQ(ring[899], 0x80);
  EXPECT_EQ(ring[900], 0x11);
  EXPECT_EQ(ring[999], 0x11);
  EXPECT_EQ(SoundBufferUnlock(b), 1);
  for (uint32_t bytes : {10u, 1001u}) {
    EXPECT_EQ(SoundBufferLock(b, bytes == 10 ? 1000 : 0, bytes), 0);
    EXPECT_EQ(b->isLocked, 0);
    EXPECT_EQ(b->lockPointer1, nullptr);
  }
  EXPECT_EQ(SoundBufferLock(nullptr, 0, 10), 0);
  EXPECT_EQ(SoundBufferPosition(nullptr), kSoundPositionUnknown);
}

TEST(SoundDevice, StartFailsWithoutAnAudioDevice) {
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  EXPECT_EQ(SoundStart(22050, 16), 0);
  EXPECT_EQ(SoundDeviceState()->initialised, 0);
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
