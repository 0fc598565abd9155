#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "music/mp3_player.h"
#include "music_support.h"
#include "platform/audio.h"
#include "platform/system.h"

namespace {

class MusicOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { PlatformSetDataDir(dir.path); }
  void TearDown() override {
    Mp3Shutdown();
    PlatformSetDataDir("");
    PlatformSetCaptureMode(0);
  }
  music_test::ScratchDir dir;
};

// Relative RMS difference between the mixed output (silent until the clip
// starts) and the decode on the device frames that fall on a source sample,
// at the best of the offsets near where the clip first gets loud.
double Mismatch(const std::vector<int16_t>& out, const std::vector<double> want[2], long step) {
  // want holds one value per device frame; NaN where no source sample falls.
  auto loud = [](auto at, long n) {
    long j = 0;
    while (j < n && !(std::fabs(at(j)) > 3000.0)) ++j;
    return j;
  };
  long length = long(want[0].size()), frames = long(out.size() / 2);
  long guess = loud([&](long j) { return double(out[2 * j]); }, frames) -
               loud([&](long j) { return want[0][size_t(j)]; }, length);
  double best = 1e9;
  for (long offset = std::max(0L, guess - 4); offset <= guess + 4 && offset + length <= frames;
       ++offset) {
    double diff = 0.0, power = 0.0;
    for (long j = 64; j < length - 64; j += step)
      for (int s = 0; s < 2; ++s) {
        double e = out[2 * size_t(offset + j) + s] - want[s][size_t(j)];
        diff += e * e;
        power += want[s][size_t(j)] * want[s][size_t(j)];
      }
    best = std::min(best, std::sqrt(diff / power));
  }
  return best;
}

// Decoder, channel writer, buffers, mixer and SDL device into SDL's disk
// driver, against a direct decode of the same file. Left and right carry
// different sweeps, so a swap or a leak between the sides shows as error.
TEST_F(MusicOutputTest, DiskDriverOutputMatchesADirectDecode) {
  const int frames = 26460;
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), frames, [&](int c, int i) {
    return c ? music_test::Sweep(i, frames, 3500.0, 200.0, 0.5)
             : music_test::Sweep(i, frames, 100.0, 3000.0, 0.6);
  }));
  const std::string raw = dir.path + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);
  // At the device's rate samples pass unchanged; resampled, the error is the
  // interpolator's, plus for 8 bits the quantisation noise it filters out.
  const struct {
    const char* line;
    double tolerance;
  } cases[] = {
      {"/mp3_d2", 1e-6},          {"/mp3_mono /mp3_d2 /mp3_8bit", 1e-6},
      {"", 0.0005},               {"/mp3_d4", 0.0005},
      {"/mp3_mono", 0.0005},      {"/mp3_mono /mp3_d4", 0.0005},
      {"/mp3_8bit", 0.012},       {"/mp3_8bit /mp3_d4", 0.012},
      {"/mp3_8bit /mp3_mono", 0.012}, {"/mp3_8bit /mp3_mono /mp3_d4", 0.012},
  };
  for (const auto& c : cases) {
    Mp3Player cfg = Mp3PlayerDefaults();
    Mp3ReadSwitches(&cfg, c.line);
    music_test::Decoded d = music_test::DecodeMp3(dir.Soundtrack(), cfg.downSample, cfg.eightBit);
    std::remove(raw.c_str());
    ASSERT_EQ(Mp3Start(c.line), 1) << c.line;
    ASSERT_EQ(PlatformAudioRate(), 22050);
    Mp3Play();
    const uint32_t clipBytes = uint32_t(d.left.size() + 2000) * uint32_t(d.bits / 8);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (SoundBufferPosition(Mp3ClockBuffer()) < clipBytes &&
           std::chrono::steady_clock::now() < deadline) {
      Mp3Update(0.01f);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Mp3Shutdown();
    std::vector<int16_t> out(1 << 22);
    FILE* f = std::fopen(raw.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    out.resize(std::fread(out.data(), 2, out.size(), f) & ~size_t(1));
    std::fclose(f);

    // The expected side values at the device frames where a source sample falls.
    const long step = d.rate < 22050 ? 22050 / d.rate : 1;
    std::vector<double> want[2];
    for (size_t j = 0; j * d.rate / 22050 < d.left.size(); ++j)
      for (int s = 0; s < 2; ++s) {
        size_t i = j * size_t(d.rate) / 22050;
        int v = cfg.stereo ? (s ? d.right[i] : d.left[i]) : (d.left[i] + d.right[i]) >> 1;
        want[s].push_back(d.bits == 8 ? v * 256.0 : v);
      }
    EXPECT_LT(Mismatch(out, want, step), c.tolerance) << c.line;
  }
  unsetenv("SDL_AUDIODRIVER");
}

// Pulled per video frame in capture mode, a click half a second into the
// music lands on the device frame half a second into the capture, left only.
TEST_F(MusicOutputTest, CapturedMixKeepsAClickOnItsSample) {
  ASSERT_TRUE(music_test::WriteMp3(dir.Soundtrack(), 44100, [](int c, int i) {
    return c == 0 && i >= 22050 && i < 22052 ? 0.9 : 0.0;
  }, 192));
  PlatformSetCaptureMode(1);
  ASSERT_EQ(Mp3Start(""), 1);
  Mp3Play();
  std::vector<int16_t> mix(2 * 22050);
  for (long frame = 0, pulled = 0; frame < 60; ++frame) {
    long upTo = (frame + 1) * 22050 / 60;
    ASSERT_EQ(PlatformAudioPull(&mix[2 * size_t(pulled)], int(upTo - pulled)), upTo - pulled);
    pulled = upTo;
    Mp3Update(frame / 60.0f);
  }
  size_t peak = 0;
  for (size_t j = 0; j < mix.size() / 2; ++j)
    if (std::abs(mix[2 * j]) > std::abs(mix[2 * peak])) peak = j;
  EXPECT_NEAR(double(peak), 11025.0, 1.0);
  EXPECT_GT(std::abs(mix[2 * peak]), 3000);
  EXPECT_EQ(mix[2 * peak + 1], 0);
}

}  // namespace
