#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
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
#include "tests/process_support.h"

namespace {

TEST(PlatformVideo, ExpandRowFillsLowBitsFromHighBits) {
  const struct {
    int bits;
    std::vector<uint8_t> bytes;
    uint32_t want;
  } cases[] = {
      {16, {0x00, 0xF8}, 0xFF0000}, {16, {0xE0, 0x07}, 0x00FF00}, {16, {0x1F, 0x00}, 0x0000FF},
      {16, {0x21, 0x08}, 0x080408}, {16, {0x10, 0x84}, 0x848284}, {24, {86, 52, 18}, 0x123456},
      {32, {1, 2, 3, 0xEE}, 0x030201},
  };
  for (const auto& c : cases) {
    uint32_t got = 0xDEADBEEF;
    PlatformVideoExpandRow(&got, c.bytes.data(), 1, c.bits);
    EXPECT_EQ(got, c.want) << c.bits << " bits";
  }
}

// Draws three frames into the surface of each depth, the first row red, and
// reads the last back as the screen shows it; with a software renderer (whose
// picture stays readable after presenting) also from the window itself, which
// proves the texture's format matches the surface.
void PresentEveryDepth(int width, int height) {
  for (int bits : {32, 24, 16}) {
    ASSERT_EQ(PlatformVideoSetMode(width, height, bits), 1) << bits << " " << SDL_GetError();
    const uint8_t red[3][4] = {{0, 0xF8}, {0, 0, 0xFF}, {0, 0, 0xFF, 0}};
    for (int frame = 0; frame < 3; ++frame) {
      void* pixels = nullptr;
      int pitch = 0;
      ASSERT_EQ(PlatformVideoLock(&pixels, &pitch), 1);
      ASSERT_EQ(pitch, width * bits / 8);
      uint8_t* p = static_cast<uint8_t*>(pixels);
      std::memset(p, 0, static_cast<size_t>(pitch) * height);
      for (int x = 0; x < width; ++x) std::memcpy(p + x * bits / 8, red[bits / 8 - 2], bits / 8);
      std::memset(p + pitch * (height - 1), 0xFF, bits / 8);
      EXPECT_EQ(PlatformVideoUnlock(), 1);
    }
    std::vector<uint32_t> screen;
    int w = 0, h = 0;
    ASSERT_EQ(PlatformVideoReadScreen(&screen, &w, &h), 1);
    EXPECT_EQ(screen[0], 0xFF0000u) << bits;
    EXPECT_EQ(screen[static_cast<size_t>(width) * (height - 1)], 0xFFFFFFu) << bits;
    EXPECT_EQ(screen[static_cast<size_t>(width)], 0u);
    SDL_Window* window = nullptr;
    for (Uint32 id = 1; !window && id < 8; ++id) window = SDL_GetWindowFromID(id);
    SDL_Renderer* renderer = window ? SDL_GetRenderer(window) : nullptr;
    SDL_RendererInfo info;
    if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0 ||
        !(info.flags & SDL_RENDERER_SOFTWARE))
      continue;
    int ww = 0, wh = 0;
    SDL_GetRendererOutputSize(renderer, &ww, &wh);
    // The middle of the frame's top row, below the bar when there is one.
    SDL_Rect top = {ww / 2, std::max(0, (wh - ww * 3 / 4) / 2), 1, 1};
    uint32_t argb = 0;
    ASSERT_EQ(SDL_RenderReadPixels(renderer, &top, SDL_PIXELFORMAT_ARGB8888, &argb, 4), 0);
    EXPECT_EQ(argb & 0xFFFFFF, 0xFF0000u) << bits << " bits in the window";
  }
  EXPECT_EQ(PlatformVideoUnlock(), 0);  // not locked
}

// Without a window every mode is given and each unlocked frame reaches the
// capture writer as RGB.
TEST(PlatformVideo, CaptureModeHandsEveryFrameToTheWriter) {
  PlatformSetCaptureMode(1);
  ASSERT_EQ(PlatformVideoOpen(0, 1), 1);
  EXPECT_EQ(PlatformVideoSetMode(320, 240, 8), 0);
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kv-video-" + std::to_string(getpid()));
  ASSERT_EQ(CaptureOpen(dir.c_str(), 30, 0), 1);
  PresentEveryDepth(640, 480);
  EXPECT_EQ(CaptureFrameCount(), 9);
  EXPECT_EQ(CaptureClose(), 1);
  EXPECT_EQ(PlatformVideoClose(), 1);
  EXPECT_EQ(PlatformVideoClose(), 0);
  PlatformSetCaptureMode(0);
  std::filesystem::remove_all(dir);
}

TEST(PlatformVideo, WindowPresentsEveryDepthOffscreen) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);  // so the window can be read back
  PlatformCreateWindow("Kestrivane");
  ASSERT_EQ(PlatformVideoOpen(1, 0), 1) << SDL_GetError();
  PresentEveryDepth(320, 240);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(PlatformVideoClose(), 1);
}

// Runs one PlatformVideoChild test in a fresh process with the given
// environment; true when it ran and passed.
bool RunChild(const std::string& test, const std::string& environment) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  self[n > 0 ? n : 0] = 0;
  std::string command = "env " + environment + " KV_VIDEO_CHILD=1 '" + self +
                        "' --gtest_filter=PlatformVideoChild." + test + " 2>&1";
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  char buf[4096];
  for (size_t got; p && (got = std::fread(buf, 1, sizeof(buf), p)) > 0;) out.append(buf, got);
  bool passed = p && pclose(p) == 0 && out.find("[  PASSED  ] 1 test") != std::string::npos &&
                out.find("[  SKIPPED ]") == std::string::npos;
  EXPECT_TRUE(passed) << out;
  return passed;
}

// No display: neither a named driver nor SDL's invisible fallback will do.
TEST(PlatformVideo, NoUsableDriverFailsToOpen) {
  RunChild("NoDriver", "-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11");
  RunChild("NoDriver", "-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER");
}

// A real X server in memory: full-screen and windowed, every depth, vsync.
TEST(PlatformVideo, RealWindowUnderXvfb) {
  if (CaptureFindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
  XServer server("1024x768x24", 90 + getpid() % 400);
  RunChild("RealWindow", "DISPLAY=" + server.display() + " SDL_VIDEODRIVER=x11");
}

// The halves of the two tests above that run in the child process. They are
// registered only there (KV_VIDEO_CHILD set), so an ordinary run neither
// lists nor skips them.
void ChildNoDriver() {
  EXPECT_EQ(PlatformVideoOpen(0, 0), 0);
  EXPECT_EQ(PlatformVideoSetMode(320, 240, 32), 0);
}

void ChildRealWindow() {
  PlatformCreateWindow("Kestrivane");
  for (int windowed : {0, 1}) {
    ASSERT_EQ(PlatformVideoOpen(windowed, 1), 1) << SDL_GetError();
    PresentEveryDepth(640, 480);
    SDL_Window* window = nullptr;
    for (Uint32 id = 1; !window && id < 8; ++id) window = SDL_GetWindowFromID(id);
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Kestrivane");
    bool fullScreen = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) ==
                      SDL_WINDOW_FULLSCREEN_DESKTOP;
    EXPECT_EQ(fullScreen, windowed == 0);
    EXPECT_EQ(PlatformVideoClose(), 1);
  }
}

class ChildTest : public testing::Test {
 public:
  explicit ChildTest(void (*body)()) : body_(body) {}
  void TestBody() override { body_(); }

 private:
  void (*body_)();
};

const bool childTestsRegistered = [] {
  if (!std::getenv("KV_VIDEO_CHILD")) return false;
  const struct {
    const char* name;
    void (*body)();
  } children[] = {{"NoDriver", ChildNoDriver}, {"RealWindow", ChildRealWindow}};
  for (const auto& child : children) {
    void (*body)() = child.body;
    testing::RegisterTest("PlatformVideoChild", child.name, nullptr, nullptr, __FILE__, __LINE__,
                          [body]() -> ChildTest* { return new ChildTest(body); });
  }
  return true;
}();

}  // namespace
