// A sample of the data set damaged the ways a broken copy is damaged
// (deleted, emptied, cut in half, overwritten in part, replaced with random
// bytes), each run through the real program: it either ends with status 1
// and names the file's full path, or keeps the design's soft fallback and
// says so with the full path, and never crashes or hangs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/process_support.h"

namespace {

namespace fs = std::filesystem;

enum Damage { kDelete, kEmpty, kHalf, kOverwrite, kRandom };
const char* const kDamageNames[] = {"deleted", "emptied", "cut in half", "overwritten in part", "random"};

enum Outcome { kFatal, kSoft };

struct WatchedRun {
  bool exited = false;
  int status = -1;
  int signal = 0;
  std::string output;
};

// Runs the program and reads its output. Once needle has appeared and the
// program has not ended within grace seconds, it is taken as going on with
// the show and stopped. A program that neither ends nor says anything
// within limit seconds is stopped too (and the run fails on its output).
WatchedRun RunWatching(const std::vector<std::string>& args, const std::string& needle, double grace, double limit) {
  WatchedRun run;
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], 1);
    dup2(pipeFd[1], 2);
    close(pipeFd[0]);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<char*> argv;
    std::string program = KV_BINARY_DIR "/kestrivane";
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFd[1]);
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  Clock::time_point seen{};
  bool open = true;
  while (true) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const bool found = run.output.find(needle) != std::string::npos;
    if (found && seen == Clock::time_point{}) seen = Clock::now();
    const bool graceOver = found && std::chrono::duration<double>(Clock::now() - seen).count() > grace;
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      // Collect what is left in the pipe.
      char buffer[4096];
      ssize_t n;
      fcntl(pipeFd[0], F_SETFL, O_NONBLOCK);
      while ((n = read(pipeFd[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, size_t(n));
      run.exited = WIFEXITED(status);
      run.status = run.exited ? WEXITSTATUS(status) : -1;
      run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      break;
    }
    if (graceOver || elapsed > limit) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    if (open) {
      pollfd p = {pipeFd[0], POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char buffer[4096];
        ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
        if (n > 0)
          run.output.append(buffer, size_t(n));
        else
          open = false;
      }
    } else {
      usleep(100000);
    }
  }
  close(pipeFd[0]);
  return run;
}

void DamageFile(const fs::path& link, Damage damage) {
  // The data set is a tree of links to the built files: the damaged file is
  // made a real file of its own.
  std::vector<char> bytes;
  {
    std::ifstream in(fs::canonical(link), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove(link);
  if (damage == kDelete) return;
  std::mt19937 random(1234);
  if (damage == kEmpty) bytes.clear();
  if (damage == kHalf) bytes.resize(bytes.size() / 2);
  if (damage == kOverwrite)
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 64 && i < bytes.size(); i++) bytes[i] = char(0xFF);
  if (damage == kRandom)
    for (char& b : bytes) b = char(random());
  std::ofstream out(link, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

fs::path LinkedDataSet() {
  const fs::path built = KV_BINARY_DIR;
  fs::path dir = fs::temp_directory_path() / ("kv_faults_" + std::to_string(getpid()));
  fs::remove_all(dir);
  for (const char* sub : {"3d", "3d2", "3d3", "gfx", "textures", "flares", "music", "data"}) {
    if (!fs::exists(built / sub)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(built / sub)) {
      fs::path rel = fs::relative(entry.path(), built);
      if (entry.is_directory()) {
        fs::create_directories(dir / rel);
      } else if (entry.path().extension() != ".a" && rel.string().find("CMakeFiles") == std::string::npos) {
        fs::create_directories((dir / rel).parent_path());
        fs::create_symlink(entry.path(), dir / rel);
      }
    }
  }
  return dir;
}

TEST(FaultMatrix, DamagedFilesAreNamedAndNeverCrashTheShow) {
  if (!fs::exists(fs::path(KV_BINARY_DIR) / "3d" / "cube2.3ds")) GTEST_SKIP() << "no generated assets";
  const struct {
    const char* file;
    Damage damage;
    Outcome outcome;
    bool sound;  // run with the sound device, so the soundtrack is read
  } cases[] = {
      {"3d/cube2.3ds", kDelete, kFatal, false},
      {"3d/cube2.3ds", kEmpty, kFatal, false},
      {"3d/cube2.3ds", kHalf, kFatal, false},
      {"3d/cube2.3ds", kOverwrite, kFatal, false},
      {"3d/cube2.3ds", kRandom, kFatal, false},
      {"textures/cubetxt3.jpg", kDelete, kFatal, false},
      {"textures/cubetxt3.jpg", kEmpty, kFatal, false},
      {"textures/cubetxt3.jpg", kRandom, kFatal, false},
      {"textures/cubetxt3.jpg", kHalf, kSoft, false},  // the library recovers, with a warning
      {"gfx/title1.pcx", kEmpty, kFatal, false},
      {"gfx/title1.pcx", kHalf, kFatal, false},
      {"3d/motion03.are", kHalf, kFatal, false},  // refused at set-up, before the first frame
      {"3d/motion03.are", kDelete, kSoft, false},
      {"3d/motion03.are", kRandom, kSoft, false},  // "header mismatch"
      {"gfx/meg0.iff", kDelete, kFatal, false},
      {"gfx/meg0.iff", kEmpty, kSoft, false},
      {"data/portrait.amf", kDelete, kSoft, false},
      {"music/elt56.mp3", kDelete, kSoft, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + kDamageNames[c.damage]);
    const fs::path dir = LinkedDataSet();
    const fs::path frames = dir / "frames";
    DamageFile(dir / c.file, c.damage);
    const std::string path = (dir / c.file).string();
    std::vector<std::string> args = {"/data", dir.string(), "/capture", frames.string(), "/rate", "1"};
    if (!c.sound) args.push_back("/nosound");
    WatchedRun run = RunWatching(args, path + ": ", 2.0, 300.0);
    EXPECT_EQ(run.signal, 0) << run.output;  // killed only by this test, never by a fault
    EXPECT_NE(run.output.find(path + ": "), std::string::npos) << run.output;
    if (c.outcome == kFatal) {
      EXPECT_TRUE(run.exited) << run.output;
      EXPECT_EQ(run.status, 1) << run.output;
      // Refused during set-up: not one frame was drawn.
      size_t written = 0;
      if (fs::exists(frames))
        for (const auto& entry : fs::directory_iterator(frames)) written += entry.path().extension() == ".png";
      EXPECT_EQ(written, 0u);
    } else {
      EXPECT_FALSE(run.exited && run.status != 0) << run.output;
    }
    fs::remove_all(dir);
  }
}

// The frame as red, green, blue bytes, read back through ffmpeg.
std::string FrameRgb(const fs::path& png) {
  return RunCommand("ffmpeg -v error -i '" + png.string() + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
}

// A greyscale TGA (type 3) in place of the gold trim's texture: the reader
// leaves it undecoded with a warning naming the file, and the trim draws
// black. Under valgrind the set-up and the frame at 0.5 s (the catwalk, the
// trim in view) read no memory that was never written.
TEST(FaultMatrix, GreyscaleTgaTextureDrawsBlackCleanUnderValgrind) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "built with AddressSanitizer, which valgrind cannot run";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "built with AddressSanitizer, which valgrind cannot run";
#endif
#endif
  if (RunCommand("command -v valgrind").empty()) GTEST_SKIP() << "valgrind is not installed";
  if (RunCommand("command -v ffmpeg").empty()) GTEST_SKIP() << "ffmpeg is not installed";
  if (!fs::exists(fs::path(KV_BINARY_DIR) / "textures" / "gold.tga")) GTEST_SKIP() << "no generated assets";
  const fs::path dir = LinkedDataSet();
  const fs::path gold = dir / "textures" / "gold.tga";
  fs::remove(gold);
  {
    // 128 x 128 grey levels, a ramp that would show as light grey.
    std::string tga(18, '\0');
    tga[2] = 3;
    tga[12] = tga[14] = char(128);
    tga[16] = 8;
    for (int y = 0; y < 128; y++)
      for (int x = 0; x < 128; x++) tga += char(128 + x);
    std::ofstream(gold, std::ios::binary) << tga;
  }
  const std::string program = KV_BINARY_DIR "/kestrivane";
  const std::string part = " /nosound /from 0.5 /to 1 /rate 2 /capture ";
  int status = -1;
  RunCommand("env -u DISPLAY '" + program + "'" + part + "'" + (dir / "plain").string() + "' 2>&1", &status);
  ASSERT_EQ(status, 0);
  const std::string output =
      RunCommand("env -u DISPLAY valgrind --error-exitcode=99 --undef-value-errors=yes '" + program +
                     "' /data '" + dir.string() + "'" + part + "'" + (dir / "grey").string() + "' 2>&1",
                 &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("ERROR SUMMARY: 0 errors"), std::string::npos) << output;
  EXPECT_NE(output.find("textures\\gold.tga is left without decoded pixels"), std::string::npos) << output;
  EXPECT_NE(output.find(gold.string() + ": read with a warning"), std::string::npos) << output;

  // The trim is the only difference from the frame of the whole data set,
  // and every pixel of it that differs is black.
  const std::string plain = FrameRgb(dir / "plain" / "frame-000000.png");
  const std::string grey = FrameRgb(dir / "grey" / "frame-000000.png");
  ASSERT_EQ(plain.size(), 320u * 240 * 3);
  ASSERT_EQ(grey.size(), plain.size());
  size_t changed = 0, black = 0;
  for (size_t i = 0; i < plain.size(); i += 3) {
    if (plain.compare(i, 3, grey, i, 3) == 0) continue;
    changed++;
    black += grey.compare(i, 3, std::string(3, '\0')) == 0;
  }
  EXPECT_GT(changed, 200u);
  EXPECT_EQ(black, changed);
  fs::remove_all(dir);
}

}  // namespace
