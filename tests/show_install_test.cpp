// The program as a user meets it: its options, its version, where it finds
// its data, and an installed copy run from elsewhere.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture.h"
#include "platform/system.h"
#include "show/switches.h"
#include "tests/process_support.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;  // standard output
  std::string err;  // standard error
};

fs::path TempDir(const char* name) {
  fs::path dir = fs::temp_directory_path() /
                 (std::string("kv_install_") + name + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// Runs command in dir without a display, sound on the dummy driver, the
// user's data places pointed at empty directories, plus env.
Result RunIn(const std::string& command, const fs::path& dir, const std::string& env = "") {
  fs::path err = dir / ".stderr";
  std::string line = "cd '" + dir.string() +
                     "' && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "
                     "SDL_AUDIODRIVER=dummy XDG_DATA_HOME=/nonexistent/home "
                     "XDG_DATA_DIRS=/nonexistent/share " +
                     env + " " + command + " 2>'" + err.string() + "'";
  Result result{-1, "", ""};
  FILE* p = popen(line.c_str(), "r");
  if (!p) return result;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;) result.out.append(buf, n);
  int status = pclose(p);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = ReadText(err);
  fs::remove(err);
  return result;
}

const std::string kProgram = KV_BINARY_DIR "/kestrivane";

TEST(Arguments, DashWordsHelpAndVersion) {
  struct Case {
    std::vector<const char*> args;
    ArgumentVerdict verdict;
    const char* refused;
  } cases[] = {
      {{}, ARGUMENTS_RUN, ""},
      {{"/window", "/fps"}, ARGUMENTS_RUN, ""},
      {{"--window"}, ARGUMENTS_REFUSED, "--window"},
      {{"-w"}, ARGUMENTS_REFUSED, "-w"},
      {{"-"}, ARGUMENTS_REFUSED, "-"},
      {{"--HELP"}, ARGUMENTS_REFUSED, "--HELP"},
      {{"/v", "-1"}, ARGUMENTS_RUN, ""},  // a signed value, not an option
      {{"/start", "-0.5"}, ARGUMENTS_RUN, ""},
      {{"--help"}, ARGUMENTS_HELP, ""},
      {{"x/helpx"}, ARGUMENTS_HELP, ""},  // "/" switches are found anywhere
      {{"--version"}, ARGUMENTS_VERSION, ""},
      {{"/nosound", "/version"}, ARGUMENTS_VERSION, ""},
      {{"/VERSION"}, ARGUMENTS_RUN, ""},
      {{"--version", "--help"}, ARGUMENTS_HELP, ""},
      {{"--help", "--bogus"}, ARGUMENTS_REFUSED, "--bogus"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"kestrivane"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    PlatformOptions options;
    std::string line = PlatformCommandLine(static_cast<int>(argv.size()), argv.data(), &options);
    std::string refused;
    EXPECT_EQ(CheckArguments(static_cast<int>(argv.size()), argv.data(), line.c_str(), &refused),
              c.verdict)
        << line;
    EXPECT_EQ(refused, c.refused) << line;
  }
}

TEST(Arguments, DisplayModeOutsideTheListIsWarnedAbout) {
  for (int mode = -1; mode <= 5; ++mode) EXPECT_EQ(DisplayModeWarning(mode), "") << mode;
  for (int mode : {-2, 6, 17}) {
    std::string warning = DisplayModeWarning(mode);
    EXPECT_NE(warning.find("/v " + std::to_string(mode)), std::string::npos) << warning;
    EXPECT_NE(warning.find("automatic"), std::string::npos) << warning;
  }
}

TEST(Program, OptionsVersionAndUsage) {
  fs::path dir = TempDir("options");
  struct Case {
    const char* args;
    int status;
    const char* out;  // expected start of standard output
    const char* err;  // expected part of standard error
  } cases[] = {
      {"--version", 0, "kestrivane " KV_PROJECT_VERSION "\n", ""},
      {"/version", 0, "kestrivane " KV_PROJECT_VERSION "\n", ""},
      {"--window", 2, "", "unknown option --window"},
      {"/window -x", 2, "", "unknown option -x"},
      {"--help", 0, "Usage: kestrivane", ""},
  };
  for (const Case& c : cases) {
    Result r = RunIn(kProgram + " " + c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.args << "\n" << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    if (c.status == 2) {
      EXPECT_NE(r.err.find("Usage: kestrivane"), std::string::npos) << r.err;
    }
  }
  fs::remove_all(dir);
}

// Without a display the show cannot start, says why, and points at /capture;
// an unknown display mode is warned about first.
TEST(Program, WithoutADisplayTheMessageSuggestsCapture) {
  fs::path dir = TempDir("nodisplay");
  Result r = RunIn(kProgram + " /nosound /v 9", dir, "SDL_VIDEODRIVER=none");
  EXPECT_EQ(r.status, 1);
  size_t warning = r.err.find("Kestrivane: Warning: /v 9 is not a display mode");
  size_t error = r.err.find("Kestrivane: Error! Unable to init Direct Draw.");
  size_t hint = r.err.find("/capture PATH");
  ASSERT_NE(warning, std::string::npos) << r.err;
  ASSERT_NE(error, std::string::npos) << r.err;
  ASSERT_NE(hint, std::string::npos) << r.err;
  EXPECT_LT(warning, error);
  EXPECT_LT(error, hint);
  fs::remove_all(dir);
}

// The program copied away from its data finds none and lists where it looked.
TEST(Program, CopiedWithoutDataSaysWhereItLooked) {
  fs::path dir = TempDir("copied");
  fs::create_directories(dir / "bin");
  fs::copy_file(kProgram, dir / "bin" / "kestrivane");
  Result r = RunIn((dir / "bin" / "kestrivane").string() + " /nosound", dir,
                 "HOME=" + dir.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("Unable to init"), std::string::npos) << r.err;  // it stopped first
  for (std::string place : {(dir / "bin").string(), (dir / "share" / "kestrivane").string(),
                            std::string("/nonexistent/home/kestrivane"),
                            std::string("/nonexistent/share/kestrivane")})
    EXPECT_NE(r.err.find(place + "  ("), std::string::npos) << place << "\n" << r.err;
  EXPECT_EQ(r.err.rfind("Kestrivane: no data set found", 0), 0u) << r.err;
  fs::remove_all(dir);
}

// Starts the program copied away from its data (so it fails at once) with
// environment env and says whether it is still there after a second and a
// half: waiting for a message box to be closed. Ends it either way.
bool WaitsOnAMessageBox(const fs::path& copy, const std::vector<std::string>& env) {
  pid_t pid = fork();
  if (pid == 0) {
    for (const char* name : {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "DISPLAY"}) unsetenv(name);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    setenv("XDG_DATA_HOME", "/nonexistent/home", 1);
    setenv("XDG_DATA_DIRS", "/nonexistent/share", 1);
    setenv("HOME", "/nonexistent", 1);
    freopen("/dev/null", "w", stderr);
    execl(copy.c_str(), copy.c_str(), "/nosound", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  bool running = waitpid(pid, nullptr, WNOHANG) == 0;
  if (running) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return running;
}

// With a display, a start-up failure waits in a message box; without one,
// or in a capture, it only goes to standard error and the program ends.
TEST(Program, StartupFailureIsShownInABoxWithADisplay) {
  ASSERT_FALSE(CaptureFindProgram("Xvfb").empty()) << "Xvfb is missing (scripts/deps.sh test)";
  fs::path dir = TempDir("box");
  fs::copy_file(kProgram, dir / "kestrivane");
  XServer server("800x600x24", 500 + getpid() % 400);
  const std::string& display = server.display();
  EXPECT_TRUE(WaitsOnAMessageBox(dir / "kestrivane", {"DISPLAY=" + display}));
  EXPECT_FALSE(
      WaitsOnAMessageBox(dir / "kestrivane", {"DISPLAY=" + display, "SDL_VIDEODRIVER=offscreen"}));
  EXPECT_FALSE(WaitsOnAMessageBox(dir / "kestrivane", {}));
  fs::remove_all(dir);
}

bool PngOfSize(const fs::path& path, int size) {
  std::string bytes = ReadText(path);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  auto be32 = [&bytes](size_t at) {
    return (static_cast<uint8_t>(bytes[at]) << 24) | (static_cast<uint8_t>(bytes[at + 1]) << 16) |
           (static_cast<uint8_t>(bytes[at + 2]) << 8) | static_cast<uint8_t>(bytes[at + 3]);
  };
  return static_cast<int>(be32(16)) == size && static_cast<int>(be32(20)) == size;
}

// cmake --install into a fresh prefix; then the installed program, run from
// another directory with no build tree in reach, captures the show.
TEST(Install, InstalledProgramRunsFromElsewhere) {
  fs::path root = TempDir("prefix");
  fs::path prefix = root / "usr";
  Result install = RunIn(std::string(KV_CMAKE_COMMAND) + " --install '" KV_BINARY_DIR
                       "' --prefix '" + prefix.string() + "'",
                       root);
  ASSERT_EQ(install.status, 0) << install.out << install.err;

  fs::path share = prefix / "share";
  EXPECT_TRUE(fs::is_regular_file(prefix / "bin" / "kestrivane"));
  EXPECT_TRUE(fs::is_regular_file(share / "kestrivane" / kPlatformDataMarker));
  for (int size : {16, 24, 32, 48, 64, 128, 192}) {
    std::string n = std::to_string(size);
    EXPECT_TRUE(PngOfSize(share / "icons" / "hicolor" / (n + "x" + n) / "apps" / "kestrivane.png",
                          size))
        << size;
  }

  // The launcher entry is valid and names the program and the icon.
  fs::path desktop = share / "applications" / "kestrivane.desktop";
  std::string entry = ReadText(desktop);
  EXPECT_NE(entry.find("\nExec=kestrivane\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=kestrivane\n"), std::string::npos) << entry;
  if (CaptureFindProgram("desktop-file-validate").empty()) {
    ADD_FAILURE() << "desktop-file-validate is missing (scripts/deps.sh test installs it)";
  } else {
    EXPECT_EQ(RunIn("desktop-file-validate '" + desktop.string() + "'", root).status, 0);
  }

  // The manual page formats without warnings and lists every switch of the
  // usage and every key.
  fs::path manual = share / "man" / "man6" / "kestrivane.6";
  Result groff = RunIn("groff -man -ww -z '" + manual.string() + "'", root);
  EXPECT_EQ(groff.status, 0);
  EXPECT_EQ(groff.err, "");
  std::string page = std::regex_replace(ReadText(manual), std::regex(R"(\\-)"), "-");
  Result help = RunIn((prefix / "bin" / "kestrivane").string() + " /help", root);
  std::set<std::string> switches;
  std::regex word(R"((^|[ ,])((/|--)[a-z][a-z0-9_]*))");
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);)
    for (std::sregex_iterator m(line.begin(), line.end(), word), end; m != end; ++m)
      switches.insert((*m)[2]);
  EXPECT_GT(switches.size(), 20u);
  for (const std::string& s : switches) EXPECT_NE(page.find(s), std::string::npos) << s;
  for (const char* key : {"Escape", "F12", "F11", "Alt+Enter", "Space", "Left", "Right",
                          "Page Up", "Page Down", "Home"})
    EXPECT_NE(page.find(key), std::string::npos) << key;

  // Run from another directory: only the installed tree holds the data. A
  // five-second part becomes a video whose sound is at the soundtrack's rate.
  fs::path work = root / "work";
  fs::create_directories(work);
  Result capture = RunIn((prefix / "bin" / "kestrivane").string() +
                             " /capture part.mp4 /from 58 /to 63",
                         work, "HOME=" + work.string());
  ASSERT_EQ(capture.status, 0) << capture.err;
  EXPECT_EQ(capture.err.find("Warning"), std::string::npos) << capture.err;
  ASSERT_TRUE(fs::is_regular_file(work / "part.mp4"));
  Result probe = RunIn("ffprobe -v error -show_entries stream=codec_type,sample_rate:format=duration "
                       "-of default=nw=1 part.mp4",
                       work);
  ASSERT_EQ(probe.status, 0) << probe.err;
  EXPECT_NE(probe.out.find("codec_type=video"), std::string::npos) << probe.out;
  EXPECT_NE(probe.out.find("sample_rate=44100"), std::string::npos) << probe.out;
  size_t at = probe.out.find("duration=");
  ASSERT_NE(at, std::string::npos) << probe.out;
  double duration = std::stod(probe.out.substr(at + 9));
  EXPECT_NEAR(duration, 5.0, 1.0 / 60 + 1e-3) << probe.out;
  fs::remove_all(root);
}

}  // namespace
