#include <gtest/gtest.h>

#include "platform/system.h"
#include "show/switches.h"

namespace {

TEST(Switches, FindSwitchIsAPlainCaseSensitiveSubstringSearch) {
  struct Case {
    const char* line;
    const char* text;
    int position;
  } cases[] = {
      {"", "/fps", 0},
      {"/", "/", 0},  // a line under two characters holds no switch
      {"/fps", "/fps", 1},
      {"x/fpsy", "/fps", 2},  // no word boundaries
      {"/FPS", "/fps", 0},    // case matters
      {"/nosound /fps /fps", "/fps", 10},
      {"/fp", "/fps", 0},  // the line ends inside the switch
      {"/vblank /v3", "/v", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(FindSwitch(c.line, c.text), c.position) << c.line;
}

TEST(Switches, IntegerSwitchReadsLikePercentI) {
  struct Case {
    const char* line;
    int value;
  } cases[] = {
      {"", -1},
      {"/vblank /v3", -1},  // the first "/v" is inside "/vblank" and no number follows
      {"/v3 /vblank", 3},
      {"/v4", 4},
      {"/v 4", 4},  // leading white space is skipped
      {"/v0x3", 3},
      {"/v010", 8},  // leading zero: octal
      {"/v-1", -1},
      {"/v+2", 2},
      {"/vx", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadIntegerSwitch(c.line, "/v", -1), c.value) << c.line;
  EXPECT_EQ(ReadIntegerSwitch("/b2 /v1", "/b", 0), 2);
}

TEST(Switches, PlatformValuesAreTakenOutBeforeTheSearch) {
  const char* argv[] = {"kestrivane", "/capture", "/tmp/v3/log.mp4", "/rate", "30",
                        "/data",      "/srv/b1",  "/fps"};
  PlatformOptions options;
  std::string line = PlatformCommandLine(8, argv, &options);
  EXPECT_EQ(line, "/fps");
  EXPECT_EQ(options.capturePath, "/tmp/v3/log.mp4");
  EXPECT_EQ(options.captureRate, 30);
  EXPECT_EQ(options.dataDir, "/srv/b1");
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(FindSwitch(line.c_str(), "/log"), 0);
  EXPECT_EQ(ReadIntegerSwitch(line.c_str(), "/v", -1), -1);

  for (const char* bad : {"0", "-3", "12x", "100000"}) {
    const char* args[] = {"kestrivane", "/rate", bad};
    PlatformOptions o;
    PlatformCommandLine(3, args, &o);
    EXPECT_FALSE(o.error.empty()) << bad;
  }
  const char* dangling[] = {"kestrivane", "/nosound", "/capture"};
  PlatformOptions o;
  EXPECT_EQ(PlatformCommandLine(3, dangling, &o), "/nosound");
  EXPECT_FALSE(o.error.empty());
}

TEST(Switches, AssetPathsUseTheDataDirectory) {
  PlatformSetDataDir("/data/dir");
  EXPECT_EQ(PlatformAssetPath("gfx\\title1.pcx"), "/data/dir/gfx/title1.pcx");
  EXPECT_EQ(PlatformAssetPath("/abs/x.jpg"), "/abs/x.jpg");
  PlatformSetDataDir("");
}

}  // namespace
