#include <SDL.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture.h"
#include "platform/system.h"
#include "platform/video.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

TEST(PlatformVideo, ExpandRowFillsLowBitsFromHighBits) {
  struct Case {
    int bits;
    std::vector<uint8_t> bytes;
    uint32_t want;
  };
  const Case cases[] = {
      {16, {0x00, 0xF8}, 0xFF0000}, {16, {0xE0, 0x07}, 0x00FF00}, {16, {0x1F, 0x00}, 0x0000FF},
      {16, {0x21, 0x08}, 0x080408}, {16, {0x00, 0x00}, 0x000000}, {16, {0xFF, 0xFF}, 0xFFFFFF},
      {16, {0x10, 0x84}, 0x848284},  // the middle of each field
      {24, {86, 52, 18}, 0x123456}, {32, {1, 2, 3, 0xEE}, 0x030201},
  };
  for (const Case& c : cases) {
    uint32_t got = 0xDEADBEEF;
    PlatformVideoExpandRow(&got, c.bytes.data(), 1, c.bits);
    EXPECT_EQ(got, c.want) << c.bits << " bits";
  }
}

// Without a window: every mode is given, the surface has exactly the mode's
// rows, and each unlocked frame reaches the capture writer expanded to RGB.
TEST(PlatformVideo, CaptureModeHandsEveryFrameToTheWriter) {
  PlatformSetCaptureMode(1);
  ASSERT_EQ(PlatformVideoOpen(0, 1), 1);
  void* pixels = nullptr;
  int pitch = 0;
  EXPECT_EQ(PlatformVideoLock(&pixels, &pitch), 0);  // no mode yet
  EXPECT_EQ(PlatformVideoSetMode(320, 240, 8), 0);
  for (int bits : {32, 24, 16}) {
    EXPECT_EQ(PlatformVideoSetMode(640, 480, bits), 1);
    ASSERT_EQ(PlatformVideoLock(&pixels, &pitch), 1);
    EXPECT_EQ(pitch, 640 * bits / 8);
  }
  EXPECT_EQ(PlatformVideoUnlock(), 1);
  EXPECT_EQ(PlatformVideoUnlock(), 0);  // not locked any more

  fs::path dir = fs::temp_directory_path() / ("kv-video-" + std::to_string(getpid()));
  fs::remove_all(dir);
  ASSERT_EQ(CaptureOpen(dir.c_str(), 30, 0), 1);
  const struct {
    int bits;
    std::vector<uint8_t> first;  // the first pixel's bytes
    uint32_t want;
  } cases[] = {{24, {86, 52, 18}, 0x123456}, {16, {0x21, 0x08}, 0x080408}};
  for (const auto& c : cases) {
    ASSERT_EQ(PlatformVideoSetMode(320, 240, c.bits), 1);
    ASSERT_EQ(PlatformVideoLock(&pixels, &pitch), 1);
    std::memset(pixels, 0, static_cast<size_t>(pitch) * 240);
    std::memcpy(pixels, c.first.data(), c.first.size());
    // The last pixel of the last row, white.
    std::memset(static_cast<uint8_t*>(pixels) + 239 * pitch + 319 * (c.bits / 8), 0xFF,
                static_cast<size_t>(c.bits / 8));
    EXPECT_EQ(PlatformVideoUnlock(), 1);
    std::vector<uint32_t> screen;
    int w = 0, h = 0;
    ASSERT_EQ(PlatformVideoReadScreen(&screen, &w, &h), 1);
    EXPECT_EQ(screen[0], c.want);
    EXPECT_EQ(screen[1], 0u);
    EXPECT_EQ(screen[239 * 320 + 319], 0xFFFFFFu);
  }
  EXPECT_EQ(CaptureFrameCount(), 2);
  EXPECT_EQ(CaptureClose(), 1);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> png(320 * 240);
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / "frame-000001.png").c_str()));
  image.format = PNG_FORMAT_BGRA;
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, png.data(), 0, nullptr));
  EXPECT_EQ(png[0] & 0xFFFFFF, 0x080408u);
  EXPECT_EQ(PlatformVideoClose(), 1);
  EXPECT_EQ(PlatformVideoClose(), 0);
  PlatformSetCaptureMode(0);
  fs::remove_all(dir);
}

// The real path through SDL on its offscreen driver: window, renderer and a
// texture for each depth, frames presented.
TEST(PlatformVideo, WindowPresentsEveryDepthOffscreen) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  PlatformCreateWindow("Kestrivane");
  ASSERT_EQ(PlatformVideoOpen(1, 0), 1) << SDL_GetError();
  for (int bits : {32, 24, 16}) {
    ASSERT_EQ(PlatformVideoSetMode(320, 240, bits), 1) << bits << ": " << SDL_GetError();
    void* pixels = nullptr;
    int pitch = 0;
    for (int frame = 0; frame < 3; ++frame) {
      ASSERT_EQ(PlatformVideoLock(&pixels, &pitch), 1);
      std::memset(pixels, frame * 60, static_cast<size_t>(pitch) * 240);
      EXPECT_EQ(PlatformVideoUnlock(), 1);
    }
  }
  SDL_Window* window = SDL_GetWindowFromID(1);
  if (!window) window = SDL_GetWindowFromID(2);
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(window), "Kestrivane");
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(PlatformVideoClose(), 1);
}

std::string SelfPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Runs one of the child tests below in a fresh process with the given
// environment and tells whether it ran and passed.
bool RunChild(const std::string& test, const std::string& environment) {
  std::string command = "env " + environment + " KV_VIDEO_CHILD=1 '" + SelfPath() +
                        "' --gtest_filter=PlatformVideoChild." + test + " 2>&1";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    if (pclose(p) != 0) {
      ADD_FAILURE() << out;
      return false;
    }
  }
  bool passed = out.find("[  PASSED  ] 1 test") != std::string::npos &&
                out.find("[  SKIPPED ]") == std::string::npos;
  if (!passed) ADD_FAILURE() << out;
  return passed;
}

TEST(PlatformVideo, NoUsableDriverFailsToOpen) {
  EXPECT_TRUE(RunChild("NoDriver", "-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11"));
}

// A real X server in memory: a full-screen and a windowed window open and
// present frames with vsync.
TEST(PlatformVideo, RealWindowUnderXvfb) {
  std::string xvfb = CaptureFindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  int number = 90 + getpid() % 400;
  while (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) ++number;
  std::string display = ":" + std::to_string(number);
  std::vector<std::string> args = {xvfb, display, "-screen", "0", "1024x768x24", "-nolisten",
                                   "tcp"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ASSERT_EQ(posix_spawn(&pid, xvfb.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
  for (int i = 0; i < 100 && !fs::exists(socket); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(fs::exists(socket));
  EXPECT_TRUE(RunChild("RealWindow", "DISPLAY=" + display + " SDL_VIDEODRIVER=x11"));
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// The child halves: skipped unless started by RunChild.
bool IsChild() { return std::getenv("KV_VIDEO_CHILD") != nullptr; }

TEST(PlatformVideoChild, NoDriver) {
  if (!IsChild()) GTEST_SKIP();
  EXPECT_EQ(PlatformVideoOpen(0, 0), 0);
  EXPECT_EQ(PlatformVideoSetMode(320, 240, 32), 0);
  EXPECT_EQ(PlatformVideoClose(), 0);
}

TEST(PlatformVideoChild, RealWindow) {
  if (!IsChild()) GTEST_SKIP();
  PlatformCreateWindow("Kestrivane");
  for (int windowed : {0, 1}) {
    ASSERT_EQ(PlatformVideoOpen(windowed, 1), 1) << SDL_GetError();
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    for (int bits : {32, 24, 16}) {
      ASSERT_EQ(PlatformVideoSetMode(640, 480, bits), 1) << SDL_GetError();
      for (int frame = 0; frame < 3; ++frame) {
        void* pixels = nullptr;
        int pitch = 0;
        ASSERT_EQ(PlatformVideoLock(&pixels, &pitch), 1);
        std::memset(pixels, 40 * frame, static_cast<size_t>(pitch) * 480);
        EXPECT_EQ(PlatformVideoUnlock(), 1);
      }
    }
    SDL_Window* window = SDL_GetKeyboardFocus();
    for (Uint32 id = 1; !window && id < 8; ++id) window = SDL_GetWindowFromID(id);
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Kestrivane");
    Uint32 flags = SDL_GetWindowFlags(window);
    EXPECT_EQ((flags & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP,
              windowed == 0);
    EXPECT_EQ(PlatformVideoClose(), 1);
  }
}

}  // namespace
