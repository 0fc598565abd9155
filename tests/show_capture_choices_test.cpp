// Captures of a part of the show, their choices, and what is left behind
// when a capture is stopped or the show dies under it.
#include <gtest/gtest.h>
#include "tests/process_support.h"
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

  // Starts the show in the test's directory, its standard error to err.txt.
  pid_t Start(std::vector<std::string> args) {
    pid_t child = fork();
    if (child == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(99);
      std::freopen("err.txt", "w", stderr);
      unsetenv("DISPLAY");
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      std::vector<char*> argv = {const_cast<char*>(kProgram.c_str())};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(98);
    }
    return child;
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

// A run-length TGA of width x height pixels of one grey, as small as the
// format allows: a set-up that reads it spends a while decoding.
void WriteLargeTga(const fs::path& path, int width, int height) {
  std::vector<uint8_t> bytes(18, 0);
  bytes[2] = 10;  // run-length true colour
  bytes[12] = static_cast<uint8_t>(width), bytes[13] = static_cast<uint8_t>(width >> 8);
  bytes[14] = static_cast<uint8_t>(height), bytes[15] = static_cast<uint8_t>(height >> 8);
  bytes[16] = 24;
  for (int64_t left = int64_t{width} * height; left > 0; left -= 128)
    bytes.insert(bytes.end(), {0xFF, 0x80, 0x80, 0x80});
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Whether the process holds one of the files under dir open.
bool ReadsFrom(pid_t pid, const fs::path& dir) {
  std::error_code error;
  const std::string prefix = dir.string() + "/";
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    fs::path target = fs::read_symlink(fd.path(), error);
    if (!error && target.string().rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// A copy of the built data set in data made of links, all but file of
// folder, which the caller writes itself.
fs::path LinkDataExcept(const fs::path& data, const char* folder, const char* file) {
  fs::create_directories(data / folder);
  for (const auto& entry : fs::directory_iterator(kBuilt))
    if (entry.path().filename() != folder)
      fs::create_symlink(entry.path(), data / entry.path().filename());
  for (const auto& entry : fs::directory_iterator(kBuilt / folder))
    if (entry.path().filename() != file)
      fs::create_symlink(entry.path(), data / folder / entry.path().filename());
  return data;
}

// Ctrl-C or a termination request while the set-up reads the data files
// (one of them slow to decode) ends the program at once, with the signal's
// status and a line that says so; the capture, opened only once the set-up
// is done, is not made at all.
TEST_F(CaptureChoices, SignalDuringSetUpEndsAtOnceAndMakesNothing) {
  fs::path data = LinkDataExcept(dir_ / "data", "textures", "gold.tga");
  WriteLargeTga(data / "textures" / "gold.tga", 4096, 4096);
  const fs::path real = fs::canonical(data);

  const struct {
    int signal;
    const char* capture;
    int status;
  } cases[] = {{SIGTERM, "cut.mp4", 143}, {SIGINT, "frames", 130}, {SIGTERM, "frames", 143}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + " " + c.capture);
    pid_t child = Start({"/data", "data", "/capture", c.capture, "/nosound"});
    ASSERT_GT(child, 0);
    // The signal lands while a data file is open: the set-up is under way.
    using Clock = std::chrono::steady_clock;
    const auto limit = Clock::now() + std::chrono::seconds(120);
    bool reading = false;
    int raw = 0;
    while (!(reading = ReadsFrom(child, real)) && Clock::now() < limit &&
           waitpid(child, &raw, WNOHANG) == 0)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!reading) {
      kill(child, SIGKILL);
      waitpid(child, &raw, 0);
      FAIL() << "the set-up was never seen reading: " << ReadText(dir_ / "err.txt");
    }
    const auto sent = Clock::now();
    kill(child, c.signal);
    while (waitpid(child, &raw, WNOHANG) == 0 && Clock::now() - sent < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double waited = std::chrono::duration<double>(Clock::now() - sent).count();
    if (waited >= 10) {
      kill(child, SIGKILL);
      waitpid(child, &raw, 0);
    }
    std::string err = ReadText(dir_ / "err.txt");
    EXPECT_LT(waited, 2.0) << err;
    ASSERT_TRUE(WIFEXITED(raw)) << err;
    EXPECT_EQ(WEXITSTATUS(raw), c.status) << err;
    EXPECT_NE(err.find("Kestrivane: interrupted during set-up"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir_ / c.capture)) << c.capture;
    EXPECT_FALSE(fs::exists(dir_ / (std::string(c.capture) + ".sound.wav")));
  }
}

// A damaged data file read in the middle of the show ends it with status 1:
// a video is not left half made, a directory keeps its frames and a WAV
// whose header matches its length.
TEST_F(CaptureChoices, FatalExitMidShowClosesTheCapture) {
  // The data set as built, with the second dancer's first motion cut short.
  fs::path data = LinkDataExcept(dir_ / "data", "3d", "motion03.are");
  std::string motion = ReadText(kBuilt / "3d" / "motion03.are");
  ASSERT_GT(motion.size(), 3000u);
  std::ofstream(data / "3d" / "motion03.are", std::ios::binary) << motion.substr(0, 3000);

  // Every motion file is checked while the show sets up, before the capture
  // is opened: the damaged one ends the run before anything is made.
  Result video = Show("/data data /capture cut.mkv /from 86 /to 88 /rate 10");
  EXPECT_EQ(video.status, 1) << video.err;
  EXPECT_NE(video.err.find("motion03.are"), std::string::npos) << video.err;
  for (const char* left : {"cut.mkv", "cut.mkv.pictures.mkv", "cut.mkv.sound.wav"})
    EXPECT_FALSE(fs::exists(dir_ / left)) << left;
  Result early = Show("/data data /capture cut /from 86 /to 88 /rate 10");
  EXPECT_EQ(early.status, 1) << early.err;
  EXPECT_FALSE(fs::exists(dir_ / "cut"));

  // The show ended by exit(1) with a capture open: the same file cut short
  // once the set-up has checked it (the capture is made from then on), so
  // that the effect that binds it at 87 s finds it damaged. A video is not
  // left half made; a directory keeps its ten frames.
  const fs::path motionFile = data / "3d" / "motion03.are";
  const struct {
    const char* capture;
    const char* said;
  } runs[] = {{"cut.mkv", "cut.mkv was removed"}, {"cut", "cut keeps 10 frames"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.capture);
    std::ofstream(motionFile, std::ios::binary | std::ios::trunc) << motion;
    pid_t child = Start({"/data", "data", "/capture", r.capture, "/from", "86", "/to", "88",
                         "/rate", "10"});
    ASSERT_GT(child, 0);
    int raw = 0;
    bool ended = false;
    for (int i = 0; i < 60000 && !fs::exists(dir_ / r.capture); ++i) {
      if ((ended = waitpid(child, &raw, WNOHANG) == child)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ofstream(motionFile, std::ios::binary | std::ios::trunc) << motion.substr(0, 3000);
    if (!ended) waitpid(child, &raw, 0);
    std::string err = ReadText(dir_ / "err.txt");
    ASSERT_TRUE(WIFEXITED(raw)) << err;
    EXPECT_EQ(WEXITSTATUS(raw), 1) << err;
    EXPECT_NE(err.find("motion03.are"), std::string::npos) << err;
    EXPECT_NE(err.find(r.said), std::string::npos) << err;
  }
  for (const char* left : {"cut.mkv", "cut.mkv.pictures.mkv", "cut.mkv.sound.wav"})
    EXPECT_FALSE(fs::exists(dir_ / left)) << left;
  EXPECT_TRUE(fs::exists(dir_ / "cut" / "frame-000009.png"));
  EXPECT_FALSE(fs::exists(dir_ / "cut" / "frame-000010.png"));
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
