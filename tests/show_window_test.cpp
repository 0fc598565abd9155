// The player's keys in a real window: a virtual X display with a small
// window manager, key presses sent with xdotool, frames read back through
// the show's own F12 screenshots.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture.h"
#include "tests/process_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kProgram = KV_BINARY_DIR "/kestrivane";

bool Have(const char* program) {
  return !RunCommand(std::string("command -v ") + program + " 2>/dev/null").empty();
}

void Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string PngMd5(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return "unreadable";
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> pixels(image.width * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return "unreadable";
  return CaptureFrameMd5(pixels.data(), static_cast<int>(image.width),
                         static_cast<int>(image.height), static_cast<int>(image.width));
}

// A display of its own for the test, with a window manager (full screen is
// the window manager's to grant), torn down at the end.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* p : {"Xvfb", "xdotool", "evilwm", "xwininfo", "xprop"})
      if (!Have(p)) GTEST_SKIP() << p << " is not installed (scripts/deps.sh installs it)";
    if (!fs::exists(KV_BINARY_DIR "/music/elt56.mp3")) GTEST_SKIP() << "no generated assets";
    dir_ = fs::temp_directory_path() / ("kv-window-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (int n = 70 + getpid() % 200;; ++n)
      if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
          !fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
        display_ = ":" + std::to_string(n);
        break;
      }
    Shell("Xvfb " + display_ + " -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 & echo $! >xvfb.pid");
    for (int i = 0; i < 50 && !fs::exists("/tmp/.X11-unix/X" + display_.substr(1)); ++i) Sleep(0.1);
    Shell("DISPLAY=" + display_ + " evilwm -fn fixed >/dev/null 2>&1 & echo $! >wm.pid");
    Sleep(0.5);
  }

  void TearDown() override {
    if (dir_.empty()) return;
    Shell("for f in show.pid wm.pid xvfb.pid; do [ -f $f ] && kill $(cat $f) 2>/dev/null; done; true");
    Sleep(0.3);
    fs::remove_all(dir_);
  }

  std::string Shell(const std::string& command) {
    // cd on its own, so that a command put in the background is the
    // program itself and its pid the one to stop.
    return RunCommand("cd '" + dir_.string() + "' || exit 1; " + command);
  }

  // Starts the show in a window; its exit status goes to the file status.
  // Nothing in the background may hold the pipe the command's output is
  // read from.
  void StartShow(const std::string& args) {
    Shell("(env -u SDL_VIDEODRIVER DISPLAY=" + display_ + " SDL_AUDIODRIVER=dummy timeout 120 '" + kProgram + "' " +
          args + " >out.txt 2>err.txt; echo $? >status) </dev/null >/dev/null 2>&1 & echo $! >show.pid");
    window_ = Shell("DISPLAY=" + display_ +
                    " timeout 20 xdotool search --sync --onlyvisible --name Kestrivane | head -1");
    while (!window_.empty() && window_.back() == '\n') window_.pop_back();
    if (!window_.empty()) Shell("DISPLAY=" + display_ + " xdotool windowfocus --sync " + window_);
    Sleep(1.0);  // the first frames are drawn
  }

  void Key(const std::string& key, double settle = 0.4) {
    Shell("DISPLAY=" + display_ + " xdotool key " + key);
    Sleep(settle);
  }

  std::string Size() {
    std::string info = Shell("DISPLAY=" + display_ + " xwininfo -id " + window_);
    int w = 0, h = 0;
    size_t at = info.find("Width:");
    if (at != std::string::npos) w = std::atoi(info.c_str() + at + 6);
    at = info.find("Height:");
    if (at != std::string::npos) h = std::atoi(info.c_str() + at + 7);
    return std::to_string(w) + "x" + std::to_string(h);
  }

  // Exit status once the show has ended, -1 when it did not in time.
  int WaitForExit() {
    for (int i = 0; i < 100; ++i) {
      std::ifstream in(dir_ / "status");
      int status;
      if (in >> status) return status;
      Sleep(0.1);
    }
    return -1;
  }

  fs::path dir_;
  std::string display_;
  std::string window_;
};

TEST_F(WindowTest, KeysToggleFullScreenPauseSeekAndEnd) {
  // The frames the show has at 115.8 s and 120.8 s, made offline.
  std::string offline = RunCommand("env -u DISPLAY SDL_AUDIODRIVER=dummy '" + kProgram +
                            "' /timedemo /checksum /rate 5 /from 115.8 /to 121 2>/dev/null");
  auto md5Of = [&offline](int frame) {
    std::string key = "frame " + std::to_string(frame) + " ";
    size_t at = offline.find(key);
    return at == std::string::npos ? std::string("missing") : offline.substr(at + key.size(), 32);
  };

  StartShow("/window /start 100");
  ASSERT_FALSE(window_.empty()) << Shell("cat err.txt status");
  EXPECT_EQ(Size(), "960x720");
  // The icon, 64 x 64, made from the show's own picture.
  std::string icon = Shell("DISPLAY=" + display_ + " xprop -id " + window_ + " _NET_WM_ICON | head -c 200");
  EXPECT_NE(icon.find("Icon (64 x 64)"), std::string::npos) << icon;
  Key("alt+Return", 1.0);
  EXPECT_EQ(Size(), "1280x1024") << "Alt+Enter: full screen";
  Key("F11", 1.0);
  EXPECT_EQ(Size(), "960x720") << "F11: back to the window";

  // Paused, the frame stays: two screenshots a second apart are the same.
  Key("space");
  Key("F12", 1.0);
  Key("F12");
  std::string first = PngMd5(dir_ / "kestrivane-0001.png");
  EXPECT_EQ(first, PngMd5(dir_ / "kestrivane-0002.png"));
  EXPECT_NE(first, "unreadable");

  // Page Down goes to the next scene change (the row at 115.8 s) and Right
  // 5 s on; paused, each shows exactly the frame of that instant.
  Key("Next");
  Key("F12");
  EXPECT_EQ(PngMd5(dir_ / "kestrivane-0003.png"), md5Of(579)) << "Page Down to 115.8 s";
  Key("Right");
  Key("F12");
  EXPECT_EQ(PngMd5(dir_ / "kestrivane-0004.png"), md5Of(604)) << "Right to 120.8 s";
  std::string err = Shell("cat err.txt");
  EXPECT_NE(err.find("screenshot written to kestrivane-0004.png"), std::string::npos) << err;

  Key("space");
  Key("Escape");
  EXPECT_EQ(WaitForExit(), 0) << Shell("cat err.txt");
}

}  // namespace
