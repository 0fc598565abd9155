#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "display/display.h"
#include "platform/system.h"

namespace {

// A screen in memory: the modes it gives, its surface with a chosen pitch
// (filled with 0xAB so untouched bytes show), and what it was asked.
struct FakeScreen {
  std::vector<std::string> accepted, attempts;
  int extraPitch = 0, bits = 0, pitch = 0;
  bool lockFails = false, unlockFails = false;
  std::vector<uint8_t> surface;
} screen;

std::string ModeName(int w, int h, int bits) {
  return std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits);
}
int FakeOpen(int, int) { return 1; }
int FakeSetMode(int w, int h, int bits) {
  screen.attempts.push_back(ModeName(w, h, bits));
  if (std::find(screen.accepted.begin(), screen.accepted.end(), screen.attempts.back()) ==
      screen.accepted.end())
    return 0;
  screen.bits = bits;
  screen.pitch = w * bits / 8 + screen.extraPitch;
  screen.surface.assign(static_cast<size_t>(screen.pitch) * h, 0xAB);
  return 1;
}
int FakeLock(void** pixels, int* pitch) {
  *pixels = screen.surface.data();
  *pitch = screen.pitch;
  return screen.lockFails ? 0 : 1;
}
int FakeUnlock() { return screen.unlockFails ? 0 : 1; }
int FakeClose() { return 1; }
const DisplayVideo kFake = {FakeOpen, FakeSetMode, FakeLock, FakeUnlock, FakeClose};

const std::vector<std::string> kAll = {"320x240x32", "320x240x24", "320x240x16",
                                       "640x480x32", "640x480x24", "640x480x16"};

DisplayDevice* Start(int mode, int scale, int mmx, std::vector<std::string> accepted = kAll,
                     int extraPitch = 0) {
  DisplayRelease();
  screen = FakeScreen();
  screen.accepted = accepted;
  screen.extraPitch = extraPitch;
  DisplaySetVideo(&kFake);
  return DisplayStart(mode, scale, mmx);
}

// Draws a frame through the device as the main loop does, then presents.
int Show(DisplayDevice* d, const std::vector<uint32_t>& frame) {
  d->Lock(d);
  std::memcpy(d->pixels, frame.data(), 320 * 240 * 4);
  d->Unlock(d);
  return d->Present(d);
}

uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

// The screen pixel at (x, y): 0x00RRGGBB, or the 16-bit value.
uint32_t At(int x, int y) {
  uint32_t v = 0;
  std::memcpy(&v, &screen.surface[y * screen.pitch + x * (screen.bits / 8)], screen.bits / 8);
  return screen.bits == 32 ? v & 0xFFFFFF : v;
}

TEST(Display, ModeChainAndScaleRule) {
  const std::vector<std::string> only640 = {"640x480x32"};
  struct Case {
    int index, scale;
    std::vector<std::string> accepted;
    int bits, modeHeight, scaleAfter, attempts;  // bits 0: no device
  };
  const Case cases[] = {
      {-1, 0, kAll, 32, 240, 0, 1},
      {-1, 0, {"640x480x16", "320x240x16"}, 16, 240, 0, 3},
      {-1, 0, only640, 32, 480, 1, 4},
      {-1, 2, only640, 32, 480, 2, 4},  // smoothing asked for is kept
      {-1, 7, only640, 32, 480, 1, 4},
      {-1, 0, {}, 0, 0, 0, 6},
      {3, 0, kAll, 32, 480, 0, 1},      // explicit 640 keeps the corner
      {4, 2, kAll, 24, 480, 2, 1},
      {0, 0, {"320x240x16"}, 0, 0, 0, 1},
      {6, 1, only640, 32, 480, 1, 4},   // out-of-range indices choose automatically
      {-5, 0, only640, 32, 480, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.index) + " scale " + std::to_string(c.scale));
    DisplayDevice* d = Start(c.index, c.scale, 0, c.accepted);
    EXPECT_EQ(static_cast<int>(screen.attempts.size()), c.attempts);
    ASSERT_EQ(d != nullptr, c.bits != 0);
    if (!d) continue;
    EXPECT_EQ(screen.attempts.back(), ModeName(c.modeHeight * 4 / 3, c.modeHeight, c.bits));
    EXPECT_EQ(d->bitsPerPixel, c.bits);
    EXPECT_EQ(d->modeHeight, c.modeHeight);
    EXPECT_EQ(DisplayScaleMode(), c.scaleAfter);
    EXPECT_EQ(DisplayScaleBuffer() != nullptr, c.modeHeight == 480);
  }
  Start(-1, 0, 0, {});
  EXPECT_EQ(screen.attempts, kAll);  // the automatic chain keeps table order
  EXPECT_EQ(DisplayRelease(), 1);
  EXPECT_EQ(DisplayRelease(), 0);
}

TEST(Display, LockUnlockAndPresentFailures) {
  DisplayDevice* d = Start(2, 0, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Unlock(d), 0);  // Unlock without Lock
  ASSERT_EQ(d->Lock(d), 1);
  uint32_t* frame = d->pixels;
  EXPECT_EQ(d->pitchBytes, 1280);
  frame[5] = 0x123456;
  EXPECT_EQ(d->Lock(d), 1);  // a second Lock keeps the open frame
  EXPECT_EQ(d->pixels, frame);
  EXPECT_EQ(frame[5], 0x123456u);
  EXPECT_EQ(d->Unlock(d), 1);
  EXPECT_EQ(d->Unlock(d), 0);
  // Inside Present the device points at the screen; Lock brings the frame back.
  EXPECT_EQ(d->Present(d), 1);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(d->pixels), screen.surface.data());
  EXPECT_EQ(d->pitchBytes, 640);
  EXPECT_EQ(d->pitchPixels, 320);
  d->Lock(d);
  EXPECT_EQ(d->pixels, frame);
  EXPECT_EQ(d->Clear(d, 0xC0FFEE), 1);
  EXPECT_EQ(std::count(frame, frame + 76800, 0xC0FFEEu), 76800);
  // A surface that cannot be locked is not written; a failed unlock fails.
  d->Unlock(d);
  screen.surface.assign(screen.surface.size(), 0xAB);
  screen.lockFails = true;
  EXPECT_EQ(d->Present(d), 0);
  EXPECT_EQ(screen.surface[0], 0xAB);
  screen.lockFails = false;
  screen.unlockFails = true;
  EXPECT_EQ(d->Present(d), 0);
  EXPECT_EQ(d->isLocked, 1);
  EXPECT_EQ(d->Lock(d), 1);  // the next frame is drawn into the frame again
  EXPECT_EQ(d->pixels, frame);
  EXPECT_EQ(d->pitchPixels, 320);
}

// Every depth, with whole-frame and row-by-row surfaces (a 24-bit pitch that
// is no whole number of pixels among them) and the frame in the corner of a
// 640 x 480 screen: each pixel converted, every other byte untouched.
TEST(Present, DirectPathEveryDepthAndPitch) {
  std::mt19937 rng(7);
  std::vector<uint32_t> frame(76800);
  for (uint32_t& p : frame) p = rng();
  const int cases[][3] = {{0, 0, 0}, {0, 0, 1}, {0, 256, 1}, {1, 0, 0}, {1, 1, 0},
                          {2, 0, 0}, {2, 6, 0}, {3, 0, 1},   {4, 0, 0}, {5, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c[0] << " extra " << c[1] << " mmx " << c[2]);
    DisplayDevice* d = Start(c[0], 0, c[2], kAll, c[1]);
    ASSERT_EQ(Show(d, frame), 1);
    int bytes = screen.bits / 8, wrong = 0, touched = 0;
    for (int y = 0; y < d->modeHeight; ++y) {
      for (int i = 0; i < screen.pitch; ++i) {
        if (y < 240 && i < 320 * bytes) continue;
        touched += screen.surface[y * screen.pitch + i] != 0xAB;
      }
      for (int x = 0; y < 240 && x < 320; ++x) {
        uint32_t p = frame[y * 320 + x], got = 0;
        std::memcpy(&got, &screen.surface[y * screen.pitch + x * bytes], bytes);
        uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        uint32_t want = bytes == 4   ? p
                        : bytes == 3 ? p & 0xFFFFFF
                                     : (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
        wrong += got != want;
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(touched, 0);
  }
}

TEST(Present, SixteenAndTwentyFourBitValues) {
  std::vector<uint32_t> frame(76800, 0);
  const uint32_t in[] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(255, 255, 255), Rgb(8, 4, 8),
                         Rgb(7, 3, 7), 0xEE000000u | Rgb(18, 52, 86)};
  std::copy(std::begin(in), std::end(in), frame.begin());
  Show(Start(2, 0, 0), frame);
  const uint32_t want16[] = {0xF800, 0x07E0, 0xFFFF, 0x0821, 0x0000};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(At(i, 0), want16[i]) << i;
  Show(Start(1, 0, 0), frame);
  const uint8_t want24[] = {86, 52, 18, 0, 0, 0};  // the sixth pixel, then the next
  EXPECT_EQ(std::memcmp(&screen.surface[15], want24, 6), 0);
  // An odd last pixel is one 16-bit store: the bytes after it stay.
  uint8_t out[8];
  std::memset(out, 0xAB, 8);
  Convert16(out, in, 12);
  const uint8_t want3[] = {0x00, 0xF8, 0xE0, 0x07, 0xFF, 0xFF, 0xAB, 0xAB};
  EXPECT_EQ(std::memcmp(out, want3, 8), 0);
}

TEST(Present, DoublingMakesTwoByTwoBlocks) {
  std::vector<uint32_t> frame(76800, 0);
  frame[0] = Rgb(255, 255, 255);
  frame[76799] = Rgb(255, 0, 0);
  for (int mode : {3, 4, 5}) {
    Show(Start(mode, 1, mode == 3), frame);
    uint32_t white = mode == 5 ? 0xFFFF : 0xFFFFFF, red = mode == 5 ? 0xF800 : 0xFF0000;
    int wrong = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x)
        wrong += At(x, y) != (x < 2 && y < 2 ? white : x >= 638 && y >= 478 ? red : 0);
    EXPECT_EQ(wrong, 0) << mode;
  }
}

// Channels are halved before adding, so low bits are lost; columns 638-639
// of the even rows and rows 477-479 are never written and stay black.
TEST(Present, SmoothingAveragesNeighboursAndLeavesBorderBlack) {
  std::vector<uint32_t> frame(76800, Rgb(255, 255, 255));
  frame[0] = Rgb(254, 254, 254);
  frame[1] = frame[320] = 0;
  frame[10 * 320 + 100] = Rgb(200, 100, 50);
  frame[10 * 320 + 101] = Rgb(100, 50, 25);
  Show(Start(3, 2, 0), frame);
  const uint32_t cases[][3] = {
      {0, 0, Rgb(254, 254, 254)}, {1, 0, Rgb(127, 127, 127)}, {2, 0, 0},
      {5, 0, Rgb(254, 254, 254)}, {0, 1, Rgb(127, 127, 127)}, {201, 20, Rgb(150, 75, 37)},
      {637, 0, Rgb(254, 254, 254)}, {638, 0, 0}, {639, 2, 0}, {638, 1, 0},
      {0, 476, Rgb(255, 255, 255)}, {0, 475, Rgb(254, 254, 254)}, {0, 477, 0}, {639, 479, 0}};
  for (const auto& c : cases) EXPECT_EQ(At(c[0], c[1]), c[2]) << c[0] << "," << c[1];
}

TEST(Present, SimdCopyMatchesPlainCopy) {
  std::mt19937 rng(11);
  std::vector<uint32_t> src(2100);
  for (uint32_t& p : src) p = rng();
  for (int bytes : {0, 4, 28, 32, 36, 2560, 8188}) {
    for (int offset : {0, 3}) {
      std::vector<uint8_t> a(8300, 0x5A), b(8300, 0x5A);
      CopyMmx(a.data() + offset, src.data() + 1, bytes);
      CopyPlain(b.data() + offset, src.data() + 1, bytes);
      EXPECT_EQ(a, b) << bytes << " at " << offset;
      EXPECT_EQ(std::memcmp(a.data() + offset, src.data() + 1, bytes), 0);
    }
  }
}

// F12 saves what the screen shows (a 16-bit screen read back with its low
// bits filled) under the next free number.
TEST(Display, ScreenshotSavesTheScreenUnderTheNextFreeNumber) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("kv-shot-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::path old = fs::current_path();
  fs::current_path(dir);
  DisplayRelease();
  DisplaySetVideo(nullptr);
  PlatformSetCaptureMode(1);
  DisplayDevice* d = DisplayStart(5, 1, 1);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(DisplayScreenshot(), 0);  // nothing shown yet
  std::vector<uint32_t> frame(76800, 0);
  frame[0] = Rgb(8, 4, 8);
  Show(d, frame);
  std::fclose(std::fopen("kestrivane-0001.png", "wb"));
  EXPECT_EQ(DisplayScreenshot(), 1);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, "kestrivane-0002.png"));
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> shot(640 * 480);
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, shot.data(), 0, nullptr));
  EXPECT_EQ(shot[641] & 0xFFFFFF, Rgb(8, 4, 8));
  EXPECT_EQ(shot[2] & 0xFFFFFF, 0u);
  DisplayRelease();
  PlatformSetCaptureMode(0);
  fs::current_path(old);
  fs::remove_all(dir);
}

}  // namespace
