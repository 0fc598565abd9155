// The real program, run headless.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/system.h"
#include "show/show.h"

namespace {

namespace fs = std::filesystem;

struct ShowRun {
  int status;
  std::string output;  // standard output and standard error together
};

// Runs the show with a clean display and sound environment plus env.
ShowRun RunShow(const std::string& args, const std::string& env = "") {
  std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u SDL_AUDIODRIVER " +
                    env + " " KV_BINARY_DIR "/kestrivane " + args + " 2>&1";
  ShowRun run{-1, ""};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) run.output.append(buf, n);
  int status = pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

fs::path TempDir(const char* name) {
  fs::path dir = fs::temp_directory_path() / (std::string("kv_show_") + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(Program, HelpListsEverySwitch) {
  for (const char* flag : {"/help", "--help"}) {
    ShowRun run = RunShow(flag);
    EXPECT_EQ(run.status, 0);
    for (const char* s : {"/window", "/capture", "/rate", "/data", "/vblank", "/soundsync", "/log",
                          "/v n", "/b n", "/fps", "/nommx", "/onecore", "/nosound", "/mp3_8bit",
                          "/mp3_mono", "/mp3_d1", "/mp3_d2", "/mp3_d4"})
      EXPECT_NE(run.output.find(s), std::string::npos) << s;
  }
}

TEST(Program, WithoutDisplayOrSoundItSaysSoAndEndsCleanly) {
  ShowRun run = RunShow("/fps", "SDL_AUDIODRIVER=none SDL_VIDEODRIVER=none");
  EXPECT_NE(run.output.find("Kestrivane: Warning! Unable to init Direct Sound, using nosound."),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("Kestrivane: Error! Unable to init Direct Draw."), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("Average fps:"), std::string::npos);  // shutdown still ran
  EXPECT_EQ(run.status, 1);
}

TEST(Program, BadSwitchValuesAreRefused) {
  EXPECT_EQ(RunShow("/capture").status, 1);
  EXPECT_EQ(RunShow("/capture x.mp4 /rate zero").status, 1);
}

// A whole capture at one frame per second: every frame from 0 s to the
// first one past 266 s, at the virtual clock's pace.
TEST(Program, CaptureRunsTheWholeScriptOnTheVirtualClock) {
  fs::path dir = TempDir("capture");
  ShowRun run = RunShow("/capture " + (dir / "frames").string() + " /rate 1 /nosound /fps /nommx");
  ASSERT_EQ(run.status, 0) << run.output;
  size_t pngs = 0;
  for (const auto& entry : fs::directory_iterator(dir / "frames"))
    if (entry.path().extension() == ".png") ++pngs;
  EXPECT_EQ(pngs, 268u);  // t = 0, 1, ..., 266, then 267 > 266 ends the show
  size_t at = run.output.find("Average fps: ");
  ASSERT_NE(at, std::string::npos) << run.output;
  double fps = std::atof(run.output.c_str() + at + 13);
  EXPECT_NEAR(fps, 1.0, 0.01);
  fs::remove_all(dir);
}

// The asset set-up reads its files in a fixed order, and the first missing
// file ends the show with its loader's message: with two files gone, the one
// read first is the one named.
TEST(Program, AssetsAreReadInTheirFixedOrder) {
  struct Case {
    const char* gone[2];
    const char* named;
    const char* notNamed;
  } cases[] = {
      {{"3d/catwalk.3ds", "textures/face.jpg"}, "3d\\catwalk.3ds", "face.jpg"},
      {{"3d/cube2.3ds", "textures/cubetxt3.jpg"}, "3d\\cube2.3ds", "cubetxt3.jpg"},
      {{"3d/dings.3ds", "textures/cmap1.jpg"}, "textures\\cmap1.jpg", "dings.3ds"},
  };
  const fs::path built = KV_BINARY_DIR;
  if (!fs::exists(built / "3d" / "cube2.3ds")) GTEST_SKIP() << "no generated assets";
  for (const Case& c : cases) {
    fs::path dir = TempDir("order");
    for (const char* sub : {"3d", "3d2", "3d3", "gfx", "textures", "flares", "music", "data"}) {
      if (!fs::exists(built / sub)) continue;
      fs::create_directories(dir / sub);
      for (const auto& entry : fs::recursive_directory_iterator(built / sub)) {
        fs::path rel = fs::relative(entry.path(), built);
        std::error_code error;
        if (entry.is_directory())
          fs::create_directories(dir / rel, error);
        else
          fs::create_symlink(entry.path(), dir / rel, error);
        ASSERT_FALSE(error) << rel << ": " << error.message();
      }
    }
    for (const char* gone : c.gone) fs::remove(dir / gone);
    ShowRun run = RunShow("/nosound /data " + dir.string(),
                          "SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy");
    EXPECT_EQ(run.status, 1) << c.named;
    EXPECT_NE(run.output.find(c.named), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(c.notNamed), std::string::npos) << run.output;
    fs::remove_all(dir);
  }
}

TEST(KeyRecorder, AppendsCountAndTimeOnlyWhenLogging) {
  fs::path dir = TempDir("keys");
  std::string log = (dir / "debug.txt").string();
  Show.log = 0;
  RecordKey(log.c_str());
  EXPECT_FALSE(fs::exists(log));
  Show.log = 1;
  Show.keyCount = 0;
  PlatformSetVirtualMilliseconds(2500);
  Show.startInstant = 1000.0f;
  RecordKey(log.c_str());
  RecordKey(log.c_str());
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "key: 0 time: 1.500000\nkey: 1 time: 1.500000\n");
  // A log that cannot be opened loses the line, not the count.
  RecordKey((dir / "missing" / "debug.txt").string().c_str());
  EXPECT_EQ(Show.keyCount, 3);
  Show.log = 0;
  fs::remove_all(dir);
}

TEST(RunFrameTest, DoesNothingWhileStartupHasFailed) {
  Show.startupFailed = 1;
  int frames = Show.frameCount;
  EXPECT_EQ(RunFrame(), 1);
  EXPECT_EQ(Show.frameCount, frames);
  Show.startupFailed = 0;
}

}  // namespace
