// Captures of a part of the show, their choices, and what is left behind
// when a capture is stopped or the show dies under it.
#include <gtest/gtest.h>
#include "tests/process_support.h"
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kProgram = KV_BINARY_DIR "/kestrivane";
const fs::path kBuilt = KV_BINARY_DIR;

struct Result {
  int status = -1;
  std::string err;
};

class CaptureChoices : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kBuilt / "music" / "elt56.mp3")) GTEST_SKIP() << "no generated assets";
    dir_ = fs::temp_directory_path() / ("kv-choices-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  Result Show(const std::string& args) {
    std::string command = "cd '" + dir_.string() +
                          "' && env -u DISPLAY SDL_AUDIODRIVER=dummy timeout 600 '" + kProgram +
                          "' " + args + " >out.txt 2>err.txt";
    int raw = std::system(command.c_str());
    Result r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    r.err = ReadText(dir_ / "err.txt");
    return r;
  }

  std::string Probe(const std::string& file, const std::string& entries) {
    return RunCommand("ffprobe -v error " + entries + " -of default=nw=1 '" +
                      (dir_ / file).string() + "'");
  }

  static double Field(const std::string& text, const std::string& name, size_t from = 0) {
    size_t at = text.find(name + "=", from);
    return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + name.size() + 1);
  }

  fs::path dir_;
};

// Five seconds from 58 s: 300 frames and their sound at the soundtrack's
// 44.1 kHz, the progress in plain lines when standard error is a file.
TEST_F(CaptureChoices, PartOfTheShowHasExactlyItsFramesAndSound) {
  if (RunCommand("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe is not installed";
  Result r = Show("/capture part.mp4 /from 58 /to 63");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string video = Probe("part.mp4", "-select_streams v -count_frames -show_entries "
                                        "stream=width,height,nb_read_frames,duration");
  EXPECT_EQ(Field(video, "nb_read_frames"), 300.0) << video;
  EXPECT_EQ(Field(video, "width"), 1280.0) << video;
  EXPECT_NEAR(Field(video, "duration"), 5.0, 1.0 / 60) << video;
  std::string audio = Probe("part.mp4", "-select_streams a -show_entries stream=sample_rate,duration");
  EXPECT_EQ(Field(audio, "sample_rate"), 44100.0) << audio;
  EXPECT_NEAR(Field(audio, "duration"), 5.0, 1.0 / 60) << audio;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  EXPECT_NE(r.err.find("capture:  50%    2.50 s, 150 frames\n"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "part.mp4.sound.wav"));
}

TEST_F(CaptureChoices, BadChoicesAreRefusedBeforeAnythingIsMade) {
  struct Case {
    std::string args, words;
  };
  const Case cases[] = {
      {"/capture show.mov", ".mp4, .mkv or .webm"},
      {"/capture show.mp4 /scale 9", "1 to 8"},
      {"/capture show.mp4 /quality glorious", "fast, small, best or PRESET:CRF"},
      {"/capture show.mp4 /quality medium:60", "PRESET:CRF"},
      {"/scale 2", "how a /capture is made"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Result r = Show(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "show.mov"));
  EXPECT_FALSE(fs::exists(dir_ / "show.mp4"));
}

// Ctrl-C keeps what was made as a finished video, says so, and the status
// is that of the signal.
TEST_F(CaptureChoices, InterruptKeepsAValidPart) {
  if (RunCommand("command -v ffprobe").empty()) GTEST_SKIP() << "ffprobe is not installed";
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(99);
    std::freopen("err.txt", "w", stderr);
    unsetenv("DISPLAY");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    execl(kProgram.c_str(), kProgram.c_str(), "/capture", "cut.mp4", "/rate", "10", "/scale",
          "2", static_cast<char*>(nullptr));
    _exit(98);
  }
  // Wait until some frames are made, then interrupt.
  for (int i = 0; i < 600 && ReadText(dir_ / "err.txt").find("capture:  10%") == std::string::npos;
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(child, SIGINT);
  int raw = 0;
  waitpid(child, &raw, 0);
  std::string err = ReadText(dir_ / "err.txt");
  ASSERT_TRUE(WIFEXITED(raw)) << err;
  EXPECT_EQ(WEXITSTATUS(raw), 130) << err;
  EXPECT_NE(err.find("interrupted: cut.mp4 holds the first"), std::string::npos) << err;
  std::string video = Probe("cut.mp4", "-show_entries stream=width,codec_type:format=duration");
  EXPECT_EQ(Field(video, "width"), 640.0) << video;
  EXPECT_NE(video.find("codec_type=audio"), std::string::npos) << video;
  EXPECT_GT(Field(video, "duration"), 26.0) << video;
  EXPECT_LT(Field(video, "duration"), 266.0) << video;
  EXPECT_FALSE(fs::exists(dir_ / "cut.mp4.pictures.mkv"));
  EXPECT_FALSE(fs::exists(dir_ / "cut.mp4.sound.wav"));
}

// A damaged data file read in the middle of the show ends it with status 1:
// a video is not left half made, a directory keeps its frames and a WAV
// whose header matches its length.
TEST_F(CaptureChoices, FatalExitMidShowClosesTheCapture) {
  // The data set as built, with the second dancer's first motion cut short.
  fs::path data = dir_ / "data";
  fs::create_directories(data / "3d");
  for (const auto& entry : fs::directory_iterator(kBuilt))
    if (entry.path().filename() != "3d")
      fs::create_symlink(entry.path(), data / entry.path().filename());
  for (const auto& entry : fs::directory_iterator(kBuilt / "3d"))
    if (entry.path().filename() != "motion03.are")
      fs::create_symlink(entry.path(), data / "3d" / entry.path().filename());
  std::string motion = ReadText(kBuilt / "3d" / "motion03.are");
  ASSERT_GT(motion.size(), 3000u);
  std::ofstream(data / "3d" / "motion03.are", std::ios::binary) << motion.substr(0, 3000);

  // Every motion file is checked while the show sets up, after the capture
  // opened: the damaged one ends the run before the first frame, and the
  // capture is closed on the way out.
  Result video = Show("/data data /capture cut.mkv /from 86 /to 88 /rate 10");
  EXPECT_EQ(video.status, 1) << video.err;
  EXPECT_NE(video.err.find("motion03.are"), std::string::npos) << video.err;
  EXPECT_NE(video.err.find("cut.mkv was removed"), std::string::npos) << video.err;
  for (const char* left : {"cut.mkv", "cut.mkv.pictures.mkv", "cut.mkv.sound.wav"})
    EXPECT_FALSE(fs::exists(dir_ / left)) << left;

  Result frames = Show("/data data /capture cut /from 86 /to 88 /rate 10");
  EXPECT_EQ(frames.status, 1) << frames.err;
  EXPECT_NE(frames.err.find("cut keeps 0 frames"), std::string::npos) << frames.err;
  EXPECT_FALSE(fs::exists(dir_ / "cut" / "frame-000000.png"));
  // What the directory holds is whole: a WAV whose header matches its length.
  std::string wav = ReadText(dir_ / "cut" / "sound.wav");
  ASSERT_GE(wav.size(), 44u);
  auto le32 = [&wav](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(wav[at + i]);
    return v;
  };
  EXPECT_EQ(le32(4), wav.size() - 8);
  EXPECT_EQ(le32(40), wav.size() - 44);
  EXPECT_EQ(le32(24), 44100u);
}

}  // namespace
