#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "display/display.h"
#include "platform/capture.h"
#include "platform/system.h"
#include "tests/display_fake_screen.h"

namespace {

// Which mode a start ends in, given the modes the screen accepts.
TEST(Display, ModeChainAndScaleRule) {
  const std::vector<std::string> only640x32 = {"640x480x32"};
  const std::vector<std::string> only16 = {"320x240x16", "640x480x16"};
  struct Case {
    const char* name;
    int index, scale;
    std::vector<std::string> accepted;
    bool starts;
    int bits, modeHeight, scaleAfter, attempts;
  };
  const Case cases[] = {
      {"auto, all accepted", -1, 0, kAllModes, true, 32, 240, 0, 1},
      {"auto, 16 bits only", -1, 0, only16, true, 16, 240, 0, 3},
      {"auto, 640 only", -1, 0, only640x32, true, 32, 480, 1, 4},
      {"auto, 640 only, smoothing kept", -1, 2, only640x32, true, 32, 480, 2, 4},
      {"auto, 640 only, odd scale", -1, 7, only640x32, true, 32, 480, 1, 4},
      {"auto, none", -1, 0, {}, false, 0, 0, 0, 6},
      {"explicit 640 keeps scale 0", 3, 0, kAllModes, true, 32, 480, 0, 1},
      {"explicit 24 bits", 4, 2, kAllModes, true, 24, 480, 2, 1},
      {"explicit 320 ignores scale", 2, 1, kAllModes, true, 16, 240, 1, 1},
      {"explicit refused", 0, 0, only16, false, 32, 240, 0, 1},
      {"index too large chooses automatically", 6, 1, only640x32, true, 32, 480, 1, 4},
      {"negative index chooses automatically", -5, 0, only640x32, true, 32, 480, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DisplayDevice* d = StartOnFake(c.index, c.scale, 0, c.accepted);
    EXPECT_EQ(d != nullptr, c.starts);
    EXPECT_EQ(static_cast<int>(fakeScreen.attempts.size()), c.attempts);
    if (!d) continue;
    EXPECT_EQ(d->width, 320);
    EXPECT_EQ(d->height, 240);
    EXPECT_EQ(d->bitsPerPixel, c.bits);
    EXPECT_EQ(d->modeHeight, c.modeHeight);
    EXPECT_EQ(DisplayScaleMode(), c.scaleAfter);
    EXPECT_EQ(DisplayScaleBuffer() != nullptr, c.modeHeight == 480);
    EXPECT_EQ(d->isLocked, 0);
    EXPECT_EQ(d->pixels, nullptr);
  }
}

TEST(Display, AutomaticChainTriesModesInTableOrder) {
  StartOnFake(-1, 0, 0, {"640x480x16"});
  const std::vector<std::string> want = {"320x240x32", "320x240x24", "320x240x16",
                                         "640x480x32", "640x480x24", "640x480x16"};
  EXPECT_EQ(fakeScreen.attempts, want);
}

TEST(Display, FailedOpenGivesNoDeviceAndNothingToRelease) {
  DisplayRelease();
  fakeScreen = FakeScreen();
  fakeScreen.openFails = true;
  fakeScreen.accepted = kAllModes;
  DisplaySetVideo(&kFakeVideo);
  EXPECT_EQ(DisplayStart(0, 0, 0), nullptr);
  EXPECT_TRUE(fakeScreen.attempts.empty());
  EXPECT_EQ(DisplayRelease(), 0);
}

TEST(Display, ReleaseClosesOnceEvenAfterAFailedStart) {
  StartOnFake(0, 0, 0, {});
  EXPECT_EQ(DisplayRelease(), 1);
  EXPECT_EQ(DisplayRelease(), 0);
  EXPECT_EQ(fakeScreen.closes, 1);
}

TEST(Display, LockUnlockSemantics) {
  DisplayDevice* d = StartOnFake(2, 0, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Unlock(d), 0);  // Unlock without Lock
  ASSERT_EQ(d->Lock(d), 1);
  uint32_t* frame = d->pixels;
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(d->pitchBytes, 1280);
  EXPECT_EQ(d->pitchPixels, 320);
  frame[5] = 0x123456;
  EXPECT_EQ(d->Lock(d), 1);  // second Lock leaves the open frame as it was
  EXPECT_EQ(d->pixels, frame);
  EXPECT_EQ(frame[5], 0x123456u);
  EXPECT_EQ(d->isLocked, 1);
  EXPECT_EQ(d->Unlock(d), 1);
  EXPECT_EQ(d->Unlock(d), 0);

  // Inside Present the device describes the screen; the next Lock brings
  // the frame back.
  EXPECT_EQ(d->Present(d), 1);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(d->pixels), fakeScreen.surface.data());
  EXPECT_EQ(d->pitchBytes, 640);
  EXPECT_EQ(d->pitchPixels, 320);
  EXPECT_EQ(d->isLocked, 0);
  EXPECT_EQ(d->Lock(d), 1);
  EXPECT_EQ(d->pixels, frame);
  EXPECT_EQ(d->pitchBytes, 1280);
}

// A screen that cannot be locked skips the picture; one that cannot be
// unlocked reports failure and leaves the device marked locked.
TEST(Display, PresentFailuresSkipTheFrame) {
  DisplayDevice* d = StartOnFake(0, 0, 0);
  ASSERT_NE(d, nullptr);
  fakeScreen.lockFails = true;
  EXPECT_EQ(d->Present(d), 0);
  EXPECT_EQ(fakeScreen.surface[0], 0xAB);
  EXPECT_EQ(fakeScreen.unlocks, 0);
  fakeScreen.lockFails = false;
  fakeScreen.unlockFails = true;
  EXPECT_EQ(d->Present(d), 0);
  EXPECT_EQ(d->isLocked, 1);
  fakeScreen.unlockFails = false;
  EXPECT_EQ(d->Present(d), 1);
  EXPECT_EQ(d->isLocked, 0);
}

TEST(Display, ClearFillsTheWholeFrame) {
  for (int mmx : {0, 1}) {
    DisplayDevice* d = StartOnFake(0, 0, mmx);
    ASSERT_NE(d, nullptr);
    d->Lock(d);
    EXPECT_EQ(d->Clear(d, 0x00C0FFEE), 1);
    int wrong = 0;
    for (int i = 0; i < 320 * 240; ++i) wrong += d->pixels[i] != 0x00C0FFEEu;
    EXPECT_EQ(wrong, 0);
  }
}

// The scale buffer is black from its creation: a 640 x 480 start with an
// unknown scale mode shows black.
TEST(Display, UnknownScaleModeShowsTheBlackScaleBuffer) {
  StartOnFake(3, 2, 0);
  DisplayDevice* d = StartOnFake(3, 1, 0);
  ASSERT_NE(d, nullptr);
  d->Lock(d);
  std::fill(d->pixels, d->pixels + 320 * 240, 0xFFFFFFu);
  d->Unlock(d);
  d->Present(d);
  d = StartOnFake(5, 9, 0);
  ASSERT_NE(d, nullptr);
  d->Lock(d);
  std::fill(d->pixels, d->pixels + 320 * 240, 0xFFFFFFu);
  d->Unlock(d);
  EXPECT_EQ(d->Present(d), 1);
  int nonBlack = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) nonBlack += SurfacePixel(x, y) != 0;
  EXPECT_EQ(nonBlack, 0);
}

std::vector<uint32_t> ReadPng(const std::string& path, int* w, int* h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> out;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_BGRA;
  out.resize(image.width * image.height);
  if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) return {};
  for (uint32_t& p : out) p &= 0xFFFFFF;
  *w = static_cast<int>(image.width);
  *h = static_cast<int>(image.height);
  return out;
}

// F12 saves what the screen shows: a 16-bit screen's colours come back with
// their low bits filled, and each shot takes the next free number.
TEST(Display, ScreenshotSavesTheScreenWithTheNextFreeNumber) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("kv-shot-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  DisplayRelease();
  DisplaySetVideo(nullptr);
  PlatformSetCaptureMode(1);
  EXPECT_EQ(DisplayScreenshot(), 0);  // nothing shown yet
  DisplayDevice* d = DisplayStart(5, 1, 1);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(DisplayScreenshot(), 0);
  d->Lock(d);
  std::fill(d->pixels, d->pixels + 320 * 240, 0u);
  d->pixels[0] = Rgb(255, 0, 0);
  d->pixels[1] = Rgb(8, 4, 8);
  d->Unlock(d);
  ASSERT_EQ(d->Present(d), 1);
  std::FILE* f = std::fopen("kestrivane-0001.png", "wb");  // taken by someone else
  std::fclose(f);
  EXPECT_EQ(DisplayScreenshot(), 1);
  EXPECT_EQ(DisplayScreenshot(), 1);
  int w = 0, h = 0;
  std::vector<uint32_t> shot = ReadPng("kestrivane-0002.png", &w, &h);
  ASSERT_EQ(shot.size(), 640u * 480u);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(shot[0], Rgb(255, 0, 0));
  EXPECT_EQ(shot[640 + 1], Rgb(255, 0, 0));
  EXPECT_EQ(shot[2], Rgb(8, 4, 8));
  EXPECT_EQ(shot[4], 0u);
  EXPECT_TRUE(std::filesystem::exists("kestrivane-0003.png"));
  EXPECT_EQ(DisplayRelease(), 1);
  PlatformSetCaptureMode(0);
  std::filesystem::current_path(old);
  std::filesystem::remove_all(dir);
}

}  // namespace
