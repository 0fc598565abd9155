// Offline runs of a part of the show and the timedemo's statistics; end to
// end, the timedemo's frame checksums against the frames a capture writes.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/capture.h"
#include "show/timedemo.h"
#include "tests/process_support.h"

namespace fs = std::filesystem;

namespace {

TEST(FrameRangeTest, HoldsTheFramesWhoseInstantLiesInTheRange) {
  struct Case {
    double from, to;
    int rate;
    int64_t first, end;
  };
  const Case cases[] = {
      {-1.0, -1.0, 60, 0, INT64_MAX},  // the whole show
      {58.0, 63.0, 60, 3480, 3780},    // whole-frame times: 300 frames, 5.0 s
      {58.0, 63.0, 2, 116, 126},
      {0.5, 1.0, 3, 2, 3},             // 0.5 s falls between frames 1 and 2
      {1.0 / 3.0, -1.0, 3, 1, INT64_MAX},  // a time a hair below a frame keeps it
      {-1.0, 0.01, 60, 0, 1},
      {10.0, 10.0, 60, 600, 600},      // empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " " + std::to_string(c.to) + " @" +
                 std::to_string(c.rate));
    FrameRange r = MakeFrameRange(c.from, c.to, c.rate);
    EXPECT_EQ(r.first, c.first);
    EXPECT_EQ(r.end, c.end);
  }
  FrameRange r = MakeFrameRange(58.0, 63.0, 60);
  EXPECT_FALSE(r.Holds(3479));
  EXPECT_TRUE(r.Holds(3480));
  EXPECT_TRUE(r.Holds(3779));
  EXPECT_FALSE(r.Holds(3780));
}

TEST(TimedemoStatsTest, CountsEachFrameForEveryRowThatRanAndSumsUp) {
  const TimelineEntry table[] = {
      {0.0f, 2.0f, 0, nullptr},
      {1.0f, 3.0f, 7, nullptr},
      {5.0f, 6.0f, 0, nullptr},  // never reached
  };
  TimedemoStats stats(table, 3);
  const double ms[] = {1, 2, 3, 4, 10};
  const float at[] = {0.0f, 0.5f, 1.0f, 1.5f, 2.5f};
  for (int i = 0; i < 5; ++i) stats.Add(at[i], ms[i] / 1000.0);
  EXPECT_EQ(stats.Frames(), 5);
  EXPECT_NEAR(stats.MeanMs(), 4.0, 1e-9);
  EXPECT_NEAR(stats.WorstMs(), 10.0, 1e-9);
  EXPECT_NEAR(stats.PercentileMs(99.0), 10.0, 1e-9);
  EXPECT_NEAR(stats.PercentileMs(60.0), 3.0, 1e-9);  // nearest rank: 3 of 5
  EXPECT_NEAR(stats.PercentileMs(0.0), 1.0, 1e-9);

  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  stats.Print(out, 0.02, 0.5, 3 * 1024 * 1024);
  std::fclose(out);
  std::string printed(text, size);
  free(text);
  std::istringstream lines(printed);
  std::string header, row0, row1, row2;
  std::getline(lines, header);
  std::getline(lines, row0);
  std::getline(lines, row1);
  std::getline(lines, row2);
  auto words = [](const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    return w;
  };
  using Words = std::vector<std::string>;
  EXPECT_EQ(words(header), (Words{"row", "start", "end", "effect", "param", "frames", "mean",
                                  "ms", "worst", "ms"}));
  // Row 0 ran at 0, 0.5, 1, 1.5 s; row 1 (param 7) at 1, 1.5, 2.5 s.
  EXPECT_EQ(words(row0), (Words{"0", "0.00", "2.00", "-", "0", "4", "2.500", "4.000"}));
  EXPECT_EQ(words(row1), (Words{"1", "1.00", "3.00", "-", "7", "3", "5.667", "10.000"}));
  EXPECT_EQ(words(row2), (Words{"2", "5.00", "6.00", "-", "0", "0", "-", "-"}));
  for (const char* total : {"frames: 5\n", "frames/s: 250.0\n", "mean frame: 4.000 ms\n",
                            "99th percentile frame: 10.000 ms\n", "worst frame: 10.000 ms\n",
                            "start-up: 0.500 s\n", "peak memory: 3.0 MiB\n"})
    EXPECT_NE(printed.find(total), std::string::npos) << total << printed;
}

// The checksums a timedemo prints are those of the PNG frames a capture of
// the same part writes, frame for frame.
TEST(TimedemoEndToEnd, ChecksumsEqualTheCapturedFrames) {
  const std::string program = KV_BINARY_DIR "/kestrivane";
  if (!fs::exists(KV_BINARY_DIR "/music/elt56.mp3")) GTEST_SKIP() << "no generated assets";
  fs::path dir = fs::temp_directory_path() / ("kv-timedemo-" + std::to_string(getpid()));
  fs::remove_all(dir);
  const std::string env = "env -u DISPLAY SDL_AUDIODRIVER=dummy ";
  const std::string part = " /rate 4 /from 58 /to 61.5";
  std::string timed = RunCommand(env + "'" + program + "' /timedemo /checksum" + part + " 2>/dev/null");
  int status = -1;
  RunCommand(env + "'" + program + "' /capture '" + dir.string() + "'" + part + " >/dev/null 2>&1",
             &status);
  ASSERT_EQ(status, 0);

  std::vector<std::string> printed;
  std::istringstream lines(timed);
  for (std::string line; std::getline(lines, line);) {
    long long frame;
    char hex[40];
    if (std::sscanf(line.c_str(), "frame %lld %39s", &frame, hex) == 2) {
      EXPECT_EQ(frame, 232 + static_cast<long long>(printed.size())) << line;
      printed.push_back(hex);
    }
  }
  ASSERT_EQ(printed.size(), 14u) << timed;  // 58 s to 61.5 s at 4 frames a second
  EXPECT_NE(timed.find("frames: 14\n"), std::string::npos) << timed;
  for (size_t n = 0; n < printed.size(); ++n) {
    char name[32];
    std::snprintf(name, sizeof(name), "frame-%06zu.png", n);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / name).c_str())) << name;
    image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB words in memory
    std::vector<uint32_t> pixels(image.width * image.height);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(CaptureFrameMd5(pixels.data(), static_cast<int>(image.width),
                              static_cast<int>(image.height), static_cast<int>(image.width)),
              printed[n])
        << name;
  }
  EXPECT_FALSE(fs::exists(dir / "frame-000014.png"));
  fs::remove_all(dir);
}

}  // namespace

namespace {

// Every row of the script is named in the table by its effect.
TEST(TimedemoStatsTest, EveryScriptRowHasItsEffectName) {
  for (int i = 0; i < kTimelineRows; ++i) {
    std::string name = EffectName(Timeline[i].entry);
    EXPECT_EQ(name.size() > 6 ? name.substr(name.size() - 6) : "", "Effect") << "row " << i;
  }
  EXPECT_STREQ(EffectName(nullptr), "-");
}

}  // namespace
