#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/capture.h"

namespace fs = std::filesystem;

namespace {

fs::path FreshDir(const char* name) {
  fs::path dir = fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<uint32_t> ReadPng(const std::string& path, int* w, int* h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> out(image.width * image.height);
  if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) return {};
  for (uint32_t& p : out) p &= 0xFFFFFF;
  *w = static_cast<int>(image.width);
  *h = static_cast<int>(image.height);
  return out;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Frames of a pattern that tells rows, columns and channels apart, written
// with a pitch wider than the row.
std::vector<uint32_t> Pattern(int w, int h, int pitch, int frame) {
  std::vector<uint32_t> px(static_cast<size_t>(pitch) * h, 0xDEADBEEF);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px[y * pitch + x] = 0xFF000000u | static_cast<uint32_t>(x * 40) << 16 |
                          static_cast<uint32_t>(y * 60) << 8 | static_cast<uint32_t>(frame * 7);
  return px;
}

// A PNG directory: one file per frame at the frame's size, the top byte of
// each pixel ignored, and a WAV whose sound is padded with silence to the
// length of the pictures.
TEST(Capture, PngDirectoryAndWavReadBack) {
  fs::path dir = FreshDir("kv-capture-png") / "new" / "frames";
  ASSERT_EQ(CaptureOpen(dir.c_str(), 25, 8000), 1);
  EXPECT_EQ(CaptureIsOpen(), 1);
  std::vector<int16_t> sound(320 * 2);
  for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<int16_t>(i * 37 - 9000);
  for (int f = 0; f < 3; ++f) {
    std::vector<uint32_t> px = Pattern(6, 4, 9, f);
    ASSERT_EQ(CaptureFrame(px.data(), 6, 4, 9), 1);
    if (f < 2) {
      ASSERT_EQ(CaptureAudio(sound.data(), 320), 1);
    }
  }
  EXPECT_EQ(CaptureFrameCount(), 3);
  ASSERT_EQ(CaptureClose(), 1);
  EXPECT_EQ(CaptureIsOpen(), 0);

  for (int f = 0; f < 3; ++f) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%06d.png", f);
    int w = 0, h = 0;
    std::vector<uint32_t> got = ReadPng((dir / name).string(), &w, &h);
    std::vector<uint32_t> want = Pattern(6, 4, 6, f);
    for (uint32_t& p : want) p &= 0xFFFFFF;
    EXPECT_EQ(w, 6);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(got, want) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "frame-000003.png"));

  std::vector<uint8_t> wav = ReadFile(dir / "sound.wav");
  const uint32_t samples = 3 * 8000 / 25;  // the length of three frames
  ASSERT_EQ(wav.size(), 44 + samples * 4);
  EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le32(wav, 4), 36 + samples * 4);
  EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(Le32(wav, 20), 0x00020001u);  // PCM, two channels
  EXPECT_EQ(Le32(wav, 24), 8000u);
  EXPECT_EQ(Le32(wav, 28), 32000u);
  EXPECT_EQ(Le32(wav, 32), 0x00100004u);  // 4 bytes per frame, 16 bits
  EXPECT_EQ(Le32(wav, 40), samples * 4);
  EXPECT_EQ(std::memcmp(wav.data() + 44, sound.data(), 1280), 0);
  EXPECT_EQ(std::memcmp(wav.data() + 44 + 1280, sound.data(), 1280), 0);
  EXPECT_EQ(std::count(wav.begin() + 44 + 2560, wav.end(), 0), 1280);
  fs::remove_all(dir.parent_path().parent_path());
}

TEST(Capture, NothingHappensWithoutAnOpenCapture) {
  uint32_t px[4] = {};
  int16_t s[4] = {};
  EXPECT_EQ(CaptureFrame(px, 2, 2, 2), 0);
  EXPECT_EQ(CaptureAudio(s, 2), 0);
  EXPECT_EQ(CaptureClose(), 0);
}

// Misuse and write failures end in failure from CaptureClose, not in a
// broken file reported as good.
TEST(Capture, FrameSizeChangeFailsTheCapture) {
  fs::path dir = FreshDir("kv-capture-size");
  ASSERT_EQ(CaptureOpen(dir.c_str(), 10, 0), 1);
  std::vector<uint32_t> px(64, 0);
  EXPECT_EQ(CaptureFrame(px.data(), 4, 4, 4), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(CaptureFrame(px.data(), 8, 4, 8), 0);
  EXPECT_EQ(CaptureFrame(px.data(), 4, 4, 4), 0);  // later frames dropped
  EXPECT_EQ(CaptureFrame(px.data(), 4, 4, 3), 0);  // pitch shorter than a row
  EXPECT_EQ(CaptureClose(), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("frame size changed"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "sound.wav"));  // no sound asked for
  fs::remove_all(dir);
}

TEST(Capture, ClearMessagesWhenThePathCannotBeWritten) {
  fs::path dir = FreshDir("kv-capture-fail");
  fs::path file = dir / "plain-file";
  std::ofstream(file) << "x";
  const char* savedPath = std::getenv("PATH");
  std::string saved = savedPath ? savedPath : "";
  struct Case {
    std::string path;
    bool hideFfmpeg;
    const char* words;
  };
  const Case cases[] = {
      {(file / "frames").string(), false, "cannot write"},
      {file.string(), false, "cannot write"},
      {(file / "show.mp4").string(), false, "cannot write"},
      {(dir / "show.mp4").string(), true, "ffmpeg"},
      {(dir / "show.WEBM").string(), true, "ffmpeg"},
      {"", false, "no file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.hideFfmpeg) setenv("PATH", dir.c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CaptureOpen(c.path.c_str(), 30, 44100), 0);
    std::string err = testing::internal::GetCapturedStderr();
    setenv("PATH", saved.c_str(), 1);
    EXPECT_NE(err.find(c.words), std::string::npos) << err;
    EXPECT_EQ(CaptureIsOpen(), 0);
  }
  EXPECT_FALSE(fs::exists(dir / "show.mp4"));
  fs::remove_all(dir);
}

TEST(Capture, FindProgramSearchesPath) {
  fs::path dir = FreshDir("kv-capture-find");
  fs::path tool = dir / "kv-tool";
  std::ofstream(tool) << "#!/bin/sh\n";
  fs::permissions(tool, fs::perms::owner_all);
  const char* savedPath = std::getenv("PATH");
  std::string saved = savedPath ? savedPath : "";
  setenv("PATH", ("/nonexistent:" + dir.string()).c_str(), 1);
  EXPECT_EQ(CaptureFindProgram("kv-tool"), tool.string());
  EXPECT_EQ(CaptureFindProgram("kv-missing"), "");
  fs::create_directories(dir / "kv-dir");
  EXPECT_EQ(CaptureFindProgram("kv-dir"), "");
  setenv("PATH", saved.c_str(), 1);
  fs::remove_all(dir);
}

// Through ffmpeg: the video is four times the frame's size, lasts as long as
// the frames at their rate, carries the sound, and keeps the colours (the
// frame's byte order is what ffmpeg reads).
TEST(Capture, VideoThroughFfmpegHasTheRightLengthSizeAndColours) {
  if (CaptureFindProgram("ffmpeg").empty() || CaptureFindProgram("ffprobe").empty())
    GTEST_SKIP() << "ffmpeg is not installed";
  fs::path dir = FreshDir("kv-capture-video");
  fs::path out = dir / "show.mp4";
  const int rate = 10, audioRate = 22050, frames = 25;
  CaptureSetDuration(frames / static_cast<double>(rate));
  ASSERT_EQ(CaptureOpen(out.c_str(), rate, audioRate), 1);
  std::vector<uint32_t> px(320 * 240);
  std::vector<int16_t> sound(audioRate / rate * 2);
  for (size_t i = 0; i < sound.size(); ++i)
    sound[i] = static_cast<int16_t>(8000 * std::sin(static_cast<double>(i) * 0.05));
  testing::internal::CaptureStderr();
  for (int f = 0; f < frames; ++f) {
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) px[y * 320 + x] = x < 160 ? 0xE01010u : 0x1010E0u;
    ASSERT_EQ(CaptureFrame(px.data(), 320, 240, 320), 1);
    ASSERT_EQ(CaptureAudio(sound.data(), audioRate / rate), 1);
  }
  ASSERT_EQ(CaptureClose(), 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("100%"), std::string::npos) << err;
  CaptureSetDuration(0);

  std::string probe = RunCommand(
      "ffprobe -v error -show_entries stream=codec_type,width,height -show_entries "
      "format=duration -of default=nw=1 '" + out.string() + "'");
  EXPECT_NE(probe.find("width=1280"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=960"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_type=audio"), std::string::npos) << probe;
  size_t at = probe.find("duration=");
  ASSERT_NE(at, std::string::npos) << probe;
  double duration = std::atof(probe.c_str() + at + 9);
  EXPECT_NEAR(duration, 2.5, 0.1);
  EXPECT_FALSE(fs::exists(out.string() + ".sound.wav"));  // temporaries removed
  EXPECT_FALSE(fs::exists(out.string() + ".pictures.mkv"));

  std::string rgb = RunCommand("ffmpeg -v error -i '" + out.string() +
                        "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  ASSERT_EQ(rgb.size(), 1280u * 960u * 3u);
  auto near = [&](int x, int y, int r, int g, int b) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(rgb.data()) + (y * 1280 + x) * 3;
    return std::abs(p[0] - r) < 12 && std::abs(p[1] - g) < 12 && std::abs(p[2] - b) < 12;
  };
  EXPECT_TRUE(near(300, 480, 0xE0, 0x10, 0x10));
  EXPECT_TRUE(near(1000, 480, 0x10, 0x10, 0xE0));
  fs::remove_all(dir);
}

}  // namespace
