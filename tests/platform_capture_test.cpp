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
#include "tests/process_support.h"

namespace fs = std::filesystem;

namespace {

fs::path FreshDir(const char* name) {
  fs::path dir = fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// PNG frames at the frame's size with the top byte of each pixel ignored, and
// a WAV whose sound is padded with silence to the length of the pictures.
TEST(Capture, PngDirectoryAndWavReadBack) {
  fs::path dir = FreshDir("kv-capture-png") / "new" / "frames";
  ASSERT_EQ(CaptureOpen(dir.c_str(), 25, 8000), 1);
  std::vector<int16_t> sound(640);
  for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<int16_t>(i * 37 - 9000);
  // Each pixel tells its row, column and frame apart; the pitch is 9.
  auto pixel = [](int x, int y, int f) { return 0xFF000000u | x << 18 | y << 12 | f * 7; };
  std::vector<uint32_t> px(36);
  for (int f = 0; f < 3; ++f) {
    for (int i = 0; i < 36; ++i) px[i] = pixel(i % 9, i / 9, f);
    ASSERT_EQ(CaptureFrame(px.data(), 6, 4, 9), 1);
    if (f < 2) {
      EXPECT_EQ(CaptureAudio(sound.data(), 320), 1);
    }
  }
  ASSERT_EQ(CaptureClose(), 1);
  for (int f = 0; f < 3; ++f) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%06d.png", f);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / name).c_str())) << name;
    EXPECT_EQ(image.width, 6u);
    EXPECT_EQ(image.height, 4u);
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> got(24);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, got.data(), 0, nullptr));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(got[i] & 0xFFFFFF, pixel(i % 6, i / 6, f) & 0xFFFFFF);
  }
  EXPECT_FALSE(fs::exists(dir / "frame-000003.png"));

  std::ifstream in(dir / "sound.wav", std::ios::binary);
  std::vector<uint8_t> wav((std::istreambuf_iterator<char>(in)), {});
  const uint32_t samples = 3 * 8000 / 25;  // three frames long
  ASSERT_EQ(wav.size(), 44 + samples * 4);
  auto le32 = [&wav](int at) {
    uint32_t v;
    std::memcpy(&v, &wav[at], 4);
    return v;
  };
  EXPECT_EQ(std::memcmp(&wav[0], "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(&wav[8], "WAVEfmt ", 8), 0);
  EXPECT_EQ(le32(4), 36 + samples * 4);
  EXPECT_EQ(le32(20), 0x00020001u);  // PCM, two channels
  EXPECT_EQ(le32(24), 8000u);
  EXPECT_EQ(le32(28), 32000u);
  EXPECT_EQ(le32(32), 0x00100004u);  // 4 bytes a frame, 16 bits
  EXPECT_EQ(le32(40), samples * 4);
  EXPECT_EQ(std::memcmp(&wav[44], sound.data(), 1280), 0);
  EXPECT_EQ(std::memcmp(&wav[44 + 1280], sound.data(), 1280), 0);
  EXPECT_EQ(std::count(wav.begin() + 44 + 2560, wav.end(), 0), 1280);
  fs::remove_all(dir.parent_path().parent_path());
}

TEST(Capture, ClearMessagesWhenThePathCannotBeWritten) {
  fs::path dir = FreshDir("kv-capture-fail");
  fs::path file = dir / "plain-file";
  std::ofstream(file) << "x";
  std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  const struct {
    std::string path;
    bool hideFfmpeg;
    const char* words;
  } cases[] = {
      {(file / "frames").string(), false, "cannot write"},
      {file.string(), false, "cannot write"},
      {(file / "show.mp4").string(), false, "cannot write"},
      {(dir / "show.mp4").string(), true, "ffmpeg"},
      {(dir / "show.WEBM").string(), true, "ffmpeg"},
  };
  for (const auto& c : cases) {
    if (c.hideFfmpeg) setenv("PATH", dir.c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CaptureOpen(c.path.c_str(), 30, 44100), 0) << c.path;
    std::string err = testing::internal::GetCapturedStderr();
    setenv("PATH", saved.c_str(), 1);
    EXPECT_NE(err.find(c.words), std::string::npos) << c.path << ": " << err;
  }
  EXPECT_FALSE(fs::exists(dir / "show.mp4"));
  // A frame of another size fails the capture instead of breaking the file.
  ASSERT_EQ(CaptureOpen(dir.c_str(), 10, 0), 1);
  std::vector<uint32_t> px(64, 0);
  EXPECT_EQ(CaptureFrame(px.data(), 4, 4, 4), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(CaptureFrame(px.data(), 8, 4, 8), 0);
  EXPECT_EQ(CaptureClose(), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("size changed"), std::string::npos);
  fs::remove_all(dir);
}

// Through ffmpeg: four times the frame's size, as long as the frames at their
// rate, with the sound, and the colours in the right channels.
TEST(Capture, VideoThroughFfmpegHasTheRightLengthSizeAndColours) {
  if (CaptureFindProgram("ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
  fs::path dir = FreshDir("kv-capture-video");
  std::string out = (dir / "show.mp4").string();
  CaptureSetDuration(2.5);
  ASSERT_EQ(CaptureOpen(out.c_str(), 10, 22050), 1);
  std::vector<uint32_t> px(76800);
  for (int i = 0; i < 76800; ++i) px[i] = i % 320 < 160 ? 0xE01010u : 0x1010E0u;
  std::vector<int16_t> sound(2205 * 2);
  for (size_t i = 0; i < sound.size(); ++i)
    sound[i] = static_cast<int16_t>(8000 * std::sin(static_cast<double>(i) * 0.05));
  testing::internal::CaptureStderr();
  for (int f = 0; f < 25; ++f) {
    ASSERT_EQ(CaptureFrame(px.data(), 320, 240, 320), 1);
    ASSERT_EQ(CaptureAudio(sound.data(), 2205), 1);
  }
  ASSERT_EQ(CaptureClose(), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("100%"), std::string::npos);
  CaptureSetDuration(0);
  std::string probe = RunCommand(
      "ffprobe -v error -show_entries stream=codec_type,width,height -show_entries "
      "format=duration -of default=nw=1 '" + out + "'");
  EXPECT_NE(probe.find("width=1280\nheight=960"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_type=audio"), std::string::npos) << probe;
  size_t at = probe.find("duration=");
  ASSERT_NE(at, std::string::npos) << probe;
  EXPECT_NEAR(std::atof(probe.c_str() + at + 9), 2.5, 0.1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);  // temporaries gone
  std::string rgb =
      RunCommand("ffmpeg -v error -i '" + out + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  ASSERT_EQ(rgb.size(), 1280u * 960u * 3u);
  const uint8_t* left = reinterpret_cast<const uint8_t*>(&rgb[(480 * 1280 + 300) * 3]);
  const uint8_t* right = reinterpret_cast<const uint8_t*>(&rgb[(480 * 1280 + 1000) * 3]);
  EXPECT_GT(left[0], 0xC0);
  EXPECT_LT(left[2], 0x30);
  EXPECT_LT(right[0], 0x30);
  EXPECT_GT(right[2], 0xC0);
  fs::remove_all(dir);
}

}  // namespace
