// The real program, headless: capturing the whole show to PNG frames or a
// video, refusing what it cannot write, and reporting a missing screen.
#include <gtest/gtest.h>
#include "tests/process_support.h"
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kProgram = KV_BINARY_DIR "/kestrivane";

struct RunResult {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string err;
};

fs::path FreshDir(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// Runs the program in dir with the given environment changes and arguments;
// a run that hangs is stopped (status 124).
RunResult RunShow(const fs::path& dir, const std::string& environment, const std::string& args) {
  std::string command = "cd '" + dir.string() + "' && timeout 600 env " + environment + " '" +
                        kProgram + "' " + args + " >stdout.txt 2>stderr.txt";
  int raw = std::system(command.c_str());
  RunResult r;
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.err = ReadText(dir / "stderr.txt");
  return r;
}

// No display of any kind: capture needs none, and the show must not fall
// back to an invisible one.
const char* kHeadless = "-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy";

// Frame n is taken at n / 2 s; the show ends at the first frame past its
// last row, 266 s, and that frame is still written.
TEST(CaptureEndToEnd, PngDirectoryHoldsEveryFrameAndTheSound) {
  fs::path dir = FreshDir("kv-e2e-png");
  RunResult r = RunShow(dir, kHeadless, "/capture frames /rate 2");
  ASSERT_EQ(r.status, 0) << r.err;
  auto frameName = [](int n) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%06d.png", n);
    return std::string(name);
  };
  int frames = 0;
  while (fs::exists(dir / "frames" / frameName(frames))) ++frames;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "frames"))
    files += entry.path().extension() == ".png";
  EXPECT_EQ(files, frames);  // numbered from 0 without gaps
  EXPECT_GE(frames, 532);
  EXPECT_LE(frames, 534);

  // Frames from different parts of the show differ, and none is empty.
  std::set<std::string> distinct;
  for (int n : {20, 100, 200, 300, 400, 500}) {
    std::string name = frameName(n);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / "frames" / name).c_str())) << name;
    EXPECT_EQ(image.width, 320u);
    EXPECT_EQ(image.height, 240u);
    image.format = PNG_FORMAT_RGB;
    std::string pixels(PNG_IMAGE_SIZE(image), '\0');
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    distinct.insert(pixels);
  }
  EXPECT_GE(distinct.size(), 3u);

  std::string wav = ReadText(dir / "frames" / "sound.wav");
  ASSERT_GT(wav.size(), 44u);
  auto le32 = [&wav](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(wav[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 3])) << 24;
  };
  uint32_t rate = le32(24);
  ASSERT_GT(rate, 0u);
  double seconds = (wav.size() - 44) / 4.0 / rate;
  EXPECT_NEAR(seconds, frames / 2.0, 0.5);
  size_t loud = 0;
  for (size_t i = 44; i + 1 < wav.size(); i += 2)
    loud += std::abs(static_cast<int16_t>(static_cast<uint8_t>(wav[i]) |
                                          static_cast<uint8_t>(wav[i + 1]) << 8)) > 1000;
  EXPECT_GT(loud, wav.size() / 100) << "the captured sound is silent";
  fs::remove_all(dir);
}

TEST(CaptureEndToEnd, VideoLastsAsLongAsTheScript) {
  if (RunCommand("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe is not installed";
  fs::path dir = FreshDir("kv-e2e-video");
  RunResult r = RunShow(dir, kHeadless, "/capture show.mp4 /rate 2");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string probe = RunCommand(
      "ffprobe -v error -show_entries stream=codec_type,width,height -show_entries "
      "format=duration -of default=nw=1 '" + (dir / "show.mp4").string() + "'");
  EXPECT_NE(probe.find("width=1280"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=960"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_type=audio"), std::string::npos) << probe;
  size_t at = probe.find("duration=");
  ASSERT_NE(at, std::string::npos) << probe;
  EXPECT_NEAR(std::atof(probe.c_str() + at + 9), 266.5, 1.0);
  fs::remove_all(dir);
}

TEST(CaptureEndToEnd, UnwritableCaptureEndsWithStatusOne) {
  fs::path dir = FreshDir("kv-e2e-fail");
  std::ofstream(dir / "plain-file") << "x";
  fs::create_directories(dir / "empty-bin");
  struct Case {
    std::string environment, args, words;
  };
  const Case cases[] = {
      {"", "/capture plain-file/frames", "cannot write"},
      {"", "/capture plain-file/show.mp4", "cannot write"},
      {"PATH='" + (dir / "empty-bin").string() + "'", "/capture show.mkv", "ffmpeg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    RunResult r = RunShow(dir, std::string(kHeadless) + " " + c.environment, c.args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "show.mkv"));
  fs::remove_all(dir);
}

// Without any screen the show says so and still shuts down in order.
TEST(CaptureEndToEnd, NoScreenReportsTheDisplayFailure) {
  fs::path dir = FreshDir("kv-e2e-noscreen");
  RunResult r = RunShow(dir, kHeadless, "");
  EXPECT_NE(r.status, -1) << "the program did not exit normally";
  EXPECT_NE(r.err.find("Error! Unable to init Direct Draw."), std::string::npos) << r.err;
  fs::remove_all(dir);
}

}  // namespace
